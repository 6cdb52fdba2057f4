// The program's resources on POSIX: the generated tables of app/, with the
// icons made into images by the GTK module.
#include "platform/Resources.h"

#include <cstring>

#include "platform/posix/WindowModule.h"

HICON LoadAppIcon(UINT nIDResource)
{
    CWindowModule* pModule = GetWindowModule();
    const IconResource* pIcon = FindIconResource(nIDResource);
    return pModule != nullptr && pIcon != nullptr ? pModule->LoadIcon(pIcon) : nullptr;
}

BOOL LoadAppString(UINT nID, char* pszBuf, int nBufSize)
{
    if (nBufSize <= 0)
        return FALSE;
    pszBuf[0] = '\0';
    const char* pszText = FindStringResource(nID);
    if (pszText == nullptr)
        return FALSE;
    size_t nLength = std::strlen(pszText);
    if (nLength > static_cast<size_t>(nBufSize - 1)) {
        nLength = static_cast<size_t>(nBufSize - 1);
        while (nLength > 0 && (static_cast<unsigned char>(pszText[nLength]) & 0xC0) == 0x80)
            --nLength;
    }
    std::memcpy(pszBuf, pszText, nLength);
    pszBuf[nLength] = '\0';
    return nLength > 0;
}
