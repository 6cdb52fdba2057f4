#include "platform/PathForms.h"

#include <cstring>

BOOL EndsWithSeparator(const char* pszPath)
{
    size_t nLength = strlen(pszPath);
    return nLength > 0 && pszPath[nLength - 1] == PATH_SEP;
}

BOOL IsDriveRoot(const char* pszPath)
{
    size_t nLength = strlen(pszPath);
    return BACKSLASH_PATHS && nLength >= 3 && pszPath[nLength - 2] == ':' && pszPath[nLength - 1] == PATH_SEP;
}

BOOL IsSharePath(const char* pszPath)
{
    return BACKSLASH_PATHS && strlen(pszPath) >= 3 && pszPath[0] == PATH_SEP && pszPath[1] == PATH_SEP;
}

BOOL IsShareRoot(const char* pszPath)
{
    if (!IsSharePath(pszPath))
        return FALSE;
    int nSeparators = 0;
    for (const char* p = pszPath; *p != '\0'; p++)
        nSeparators += *p == PATH_SEP ? 1 : 0;
    return nSeparators == 4;
}
