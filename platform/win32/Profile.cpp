#include "platform/Profile.h"

#include "platform/Text.h"

DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer)
{
    return GetCurrentDirectoryA(nSize, pszBuffer);
}

DWORD ReadProfileString(const char* pszSection, const char* pszKey, const char* pszDefault,
                        char* pszBuffer, DWORD nSize, const char* pszFile)
{
    if (pszBuffer == nullptr || nSize == 0)
        return 0;
    DWORD nLength = GetPrivateProfileStringA(pszSection, pszKey, pszDefault, pszBuffer, nSize, pszFile);
    if (nLength >= nSize)
        nLength = nSize - 1;
    pszBuffer[nLength] = '\0';
    // A value cut to fit the buffer can end in the first byte of a
    // double-byte character whose second byte did not fit; drop that half.
    if (nLength == nSize - 1 && nLength > 0) {
        DWORD i = 0;
        while (i < nLength) {
            const DWORD nChar = static_cast<DWORD>(CharLength(pszBuffer + i));
            if (nChar == 1 && i + 1 == nLength && IsLeadByte(static_cast<unsigned char>(pszBuffer[i]))) {
                pszBuffer[i] = '\0';
                nLength = i;
                break;
            }
            i += nChar;
        }
    }
    return nLength;
}

BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile)
{
    return WritePrivateProfileStringA(pszSection, pszKey, pszValue, pszFile);
}

TextEncoding GetProfileEncoding(const char*)
{
    return ENCODING_NATIVE;
}
