#include "platform/RunLock.h"

#include <cstdio>

std::string RunLockFileName(unsigned long long nVolume, unsigned long long nIndex)
{
    char szName[64];
    snprintf(szName, sizeof szName, "settings-%llx-%llx.lock", nVolume, nIndex);
    return szName;
}
