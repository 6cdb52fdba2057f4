#include "platform/Text.h"

#include <cstring>

size_t CharBoundaryAtOrBefore(const char* s, size_t limit)
{
    size_t offset = 0;
    while (offset < limit && s[offset] != '\0') {
        size_t next = offset + static_cast<size_t>(CharLength(s + offset));
        if (next > limit)
            break;
        offset = next;
    }
    return offset;
}

size_t CopyTextCut(char* pszOut, size_t nSize, const char* pszText, size_t nLength)
{
    if (nLength >= nSize)
        nLength = CharBoundaryAtOrBefore(pszText, nSize - 1);
    memcpy(pszOut, pszText, nLength);
    pszOut[nLength] = '\0';
    return nLength;
}
