#include "engine/PathUtils.h"

#include <cstring>

#include "config/BackupConfig.h"
#include "platform/FileServices.h"
#include "platform/PathForms.h"
#include "platform/Text.h"

namespace {

// Walks the path a character at a time, so that a Shift-JIS second byte
// 0x5C is never taken for a separator.  Fails when a character begins at
// offset PATH_BUFFER or beyond: such a path cannot have come from a path
// buffer.
// *pnLastSep is the offset of the last separator, or -1 when there is none;
// *pnLength the length of the path.
BOOL ScanSeparators(const char* pszPath, long* pnLastSep, size_t* pnLength)
{
    size_t nOffset = 0;
    long nLastSep = -1;
    while (pszPath[nOffset] != '\0') {
        if (nOffset >= static_cast<size_t>(PATH_BUFFER))
            return FALSE;
        if (pszPath[nOffset] == PATH_SEP)
            nLastSep = static_cast<long>(nOffset);
        nOffset += static_cast<size_t>(CharLength(pszPath + nOffset));
    }
    *pnLastSep = nLastSep;
    *pnLength = nOffset;
    return TRUE;
}

BOOL RefusePart(char* pszOut, size_t nSize)
{
    if (nSize > 0)
        pszOut[0] = '\0';
    return FALSE;
}

// Copies nLength bytes and a terminator, or leaves an empty output when they
// do not fit: a part cut short would name a different file.
BOOL CopyPart(char* pszOut, size_t nSize, const char* pszStart, size_t nLength)
{
    if (nLength >= nSize)
        return RefusePart(pszOut, nSize);
    memcpy(pszOut, pszStart, nLength);
    pszOut[nLength] = '\0';
    return TRUE;
}

}  // namespace

BOOL GetFileNamePart(char* pszOut, size_t nSize, const char* pszPath)
{
    long nLastSep;
    size_t nLength;
    if (!ScanSeparators(pszPath, &nLastSep, &nLength))
        return RefusePart(pszOut, nSize);
    size_t nStart = static_cast<size_t>(nLastSep + 1);
    return CopyPart(pszOut, nSize, pszPath + nStart, nLength - nStart);
}

BOOL GetFolderPart(char* pszOut, size_t nSize, const char* pszPath)
{
    long nLastSep;
    size_t nLength;
    if (!ScanSeparators(pszPath, &nLastSep, &nLength))
        return RefusePart(pszOut, nSize);
    return CopyPart(pszOut, nSize, pszPath, static_cast<size_t>(nLastSep + 1));
}

BOOL SafeCopy(char* pszOut, size_t nSize, const char* pszSrc)
{
    if (nSize == 0)
        return FALSE;
    pszOut[0] = '\0';
    return SafeCat(pszOut, nSize, pszSrc);
}

BOOL SafeCat(char* pszOut, size_t nSize, const char* pszSrc)
{
    size_t nUsed = strnlen(pszOut, nSize);
    if (nUsed >= nSize)
        return FALSE;  // no terminator inside the buffer: nothing safe to do
    if (pszSrc == nullptr)
        return TRUE;
    size_t nRoom = nSize - 1 - nUsed;
    size_t nLength = strnlen(pszSrc, nRoom + 1);
    BOOL bFits = nLength <= nRoom;
    if (!bFits)
        nLength = CharBoundaryAtOrBefore(pszSrc, nRoom);
    memcpy(pszOut + nUsed, pszSrc, nLength);
    pszOut[nUsed + nLength] = '\0';
    return bFits;
}

BOOL CopyWithoutSeparator(char* pszOut, size_t nSize, const char* pszPath)
{
    if (!SafeCopy(pszOut, nSize, pszPath))
        return FALSE;
    if (EndsWithSeparator(pszOut))
        pszOut[strlen(pszOut) - 1] = '\0';
    return TRUE;
}

void CreateFolderChain(const char* pszPath)
{
    // Byte n of the prefix is byte n of the path, so each prefix names a
    // folder of the path exactly.
    char szPrefix[PATH_BUFFER];
    size_t nOffset = 0;
    BOOL bSeenSep = FALSE;
    while (pszPath[nOffset] != '\0') {
        while (pszPath[nOffset] == PATH_SEP) {
            if (nOffset + 1 >= sizeof(szPrefix))
                return;
            szPrefix[nOffset] = pszPath[nOffset];
            nOffset++;
            bSeenSep = TRUE;
        }
        while (pszPath[nOffset] != '\0' && pszPath[nOffset] != PATH_SEP) {
            size_t nChar = static_cast<size_t>(CharLength(pszPath + nOffset));
            // A folder whose name does not fit a path buffer cannot be used by
            // anything after us either; it and everything below it are left.
            if (nOffset + nChar >= sizeof(szPrefix))
                return;
            memcpy(szPrefix + nOffset, pszPath + nOffset, nChar);
            nOffset += nChar;
        }
        szPrefix[nOffset] = '\0';
        // Only a separator after the component makes it a folder; the text
        // after the last separator is a file name.  A first component that
        // ends with a colon is a drive ("C:"), which has no entry of its own;
        // further down a colon is an ordinary character where the platform
        // allows it in names.
        BOOL bDrive = !bSeenSep && nOffset > 0 && szPrefix[nOffset - 1] == ':';
        if (nOffset > 0 && pszPath[nOffset] == PATH_SEP && !bDrive) {
            FileServices& services = GetFileServices();
            if (!services.Exists(szPrefix))
                services.CreateDirectory(szPrefix);
        }
    }
}
