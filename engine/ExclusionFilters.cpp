#include "engine/ExclusionFilters.h"

#include <cstring>

#include "platform/Text.h"

namespace {

// The settings reader keeps list entries to 255 bytes, so a longer name can
// never be on a list: it is a target without being compared.
const size_t MAX_LISTED_NAME = 255;

char FoldAsciiCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares nLength bytes of pszName, which end at a character boundary of
// the string they lie in, with the whole of pszEntry.  Only single-byte
// characters fold A-Z: the second byte of a Shift-JIS character can be a
// letter's value, and folding it would make different characters equal.
BOOL IsSameName(const char* pszName, size_t nLength, const char* pszEntry)
{
    if (strlen(pszEntry) != nLength)
        return FALSE;
    size_t nOffset = 0;
    while (nOffset < nLength) {
        size_t nChar = static_cast<size_t>(CharLength(pszName + nOffset));
        if (nChar == 1) {
            if (FoldAsciiCase(pszName[nOffset]) != FoldAsciiCase(pszEntry[nOffset]))
                return FALSE;
        } else if (memcmp(pszName + nOffset, pszEntry + nOffset, nChar) != 0) {
            return FALSE;
        }
        nOffset += nChar;
    }
    return TRUE;
}

BOOL IsListed(const char* pszName, size_t nLength, short nCount, char* const* ppszList)
{
    if (nLength > MAX_LISTED_NAME)
        return FALSE;
    int nEntries = nCount < MAX_LIST_ENTRIES ? nCount : MAX_LIST_ENTRIES;
    for (int i = 0; i < nEntries; i++) {
        if (ppszList[i] != nullptr && IsSameName(pszName, nLength, ppszList[i]))
            return TRUE;
    }
    return FALSE;
}

}  // namespace

short IsTargetFolder(const char* pszRelPath, const BackupSet* pSet)
{
    if (pszRelPath == nullptr || pSet == nullptr || pszRelPath[0] == '\0')
        return 1;
    // The separators are found character by character; the last one is only
    // dropped when it really is a separator and not the second byte of a
    // double-byte character at the end of the name.
    size_t nOffset = 0;
    size_t nStart = 0;       // start of the component being read
    size_t nPrevStart = 0;   // start of the component before it
    while (pszRelPath[nOffset] != '\0') {
        size_t nChar = static_cast<size_t>(CharLength(pszRelPath + nOffset));
        if (nChar == 1 && pszRelPath[nOffset] == PATH_SEP) {
            nPrevStart = nStart;
            nStart = nOffset + 1;
        }
        nOffset += nChar;
    }
    size_t nEnd = nOffset;
    if (nStart == nOffset) {
        if (nOffset == 1)
            return 1;  // the walk's root written as one separator
        nEnd = nOffset - 1;
        nStart = nPrevStart;
    }
    return IsListed(pszRelPath + nStart, nEnd - nStart, pSet->nExcludedFolderCount,
                    pSet->pszExcludedFolder)
        ? 0
        : 1;
}

short IsTargetExtension(const char* pszName, const BackupSet* pSet)
{
    if (pszName == nullptr || pSet == nullptr)
        return 1;
    // 0x2E is never the second byte of a double-byte character (nor part of
    // a UTF-8 sequence), so a plain byte search finds the last dot.
    const char* pszDot = strrchr(pszName, '.');
    if (pszDot == nullptr || pszDot[1] == '\0')
        return 1;
    const char* pszExt = pszDot + 1;
    return IsListed(pszExt, strlen(pszExt), pSet->nExcludedExtCount, pSet->pszExcludedExt) ? 0 : 1;
}
