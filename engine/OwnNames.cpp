#include "engine/OwnNames.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/BackupReport.h"
#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"
#include "platform/Text.h"

namespace {

// What one name in a folder may take on every file system we write to.
const size_t NAME_LIMIT = 255;

// A name up to this long is its own stem.  A longer one is cut to at most
// this many bytes and given '~' and 16 hex digits, so a shortened stem is
// at least 214 bytes long and no item's name equals one.  The longest
// hidden name is then "." + 217 + ".tandemix-swap-N-MMM", 238 bytes.
const size_t STEM_LIMIT = 200;

const char MARK[] = ".tandemix-";
const char NEW_SUFFIX[] = "new";
const char OLD_SUFFIX[] = "old";
const char SWAP_SUFFIX[] = "swap-";
// "swap-" N "-" MMM
const size_t SWAP_TAIL = sizeof SWAP_SUFFIX - 1 + 5;
const char FOLDER_ASIDE_NAME[] = ".tandemix-old";

// FNV-1a: the stem only has to tell long names apart from each other; a
// clash costs no data, as a rotation never starts on names that are taken
// and recovery leaves alone what it cannot tell apart.
unsigned long long HashName(const char* pszName)
{
    unsigned long long nHash = 14695981039346656037ULL;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszName); *p != '\0'; p++) {
        nHash ^= *p;
        nHash *= 1099511628211ULL;
    }
    return nHash;
}

BOOL FormName(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName)
{
    return strlen(pszName) <= NAME_LIMIT && SafeCopy(pszOut, nSize, pszFolder) && SafeCat(pszOut, nSize, pszName);
}

BOOL IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

BOOL FormStem(char* pszOut, size_t nSize, const char* pszName)
{
    size_t nLength = strlen(pszName);
    if (nLength <= STEM_LIMIT)
        return SafeCopy(pszOut, nSize, pszName);
    char szHash[24];
    snprintf(szHash, sizeof szHash, "~%016llx", HashName(pszName));
    size_t nKeep = CharBoundaryAtOrBefore(pszName, STEM_LIMIT);
    if (nKeep + strlen(szHash) >= nSize)
        return FALSE;
    memcpy(pszOut, pszName, nKeep);
    pszOut[nKeep] = '\0';
    return SafeCat(pszOut, nSize, szHash);
}

BOOL FormGenerationPath(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, int n)
{
    char szName[NAME_BUFFER];
    int nLength = snprintf(szName, sizeof szName, "%d_%s", n, pszName);
    return nLength >= 0 && static_cast<size_t>(nLength) < sizeof szName && FormName(pszOut, nSize, pszFolder, szName);
}

BOOL FormHiddenPath(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, HiddenKind nKind,
                    int32_t nCount, unsigned nSlots)
{
    char szStem[NAME_BUFFER];
    if (!FormStem(szStem, sizeof szStem, pszName))
        return FALSE;
    char szName[NAME_BUFFER + 32];
    int nLength;
    if (nKind == HIDDEN_SWAP)
        nLength = snprintf(szName, sizeof szName, ".%s%s%s%d-%03x", szStem, MARK, SWAP_SUFFIX, static_cast<int>(nCount),
                           nSlots);
    else
        nLength = snprintf(szName, sizeof szName, ".%s%s%s", szStem, MARK, nKind == HIDDEN_NEW ? NEW_SUFFIX : OLD_SUFFIX);
    return nLength >= 0 && static_cast<size_t>(nLength) < sizeof szName && FormName(pszOut, nSize, pszFolder, szName);
}

BOOL ParseHiddenName(const char* pszEntry, HiddenName& name)
{
    const size_t nLength = strlen(pszEntry);
    const size_t nMark = sizeof MARK - 1;
    if (pszEntry[0] != '.' || nLength < 1 + 1 + nMark + 3)
        return FALSE;
    size_t nTail = 3;
    if (memcmp(pszEntry + nLength - 3, NEW_SUFFIX, 3) == 0) {
        name.nKind = HIDDEN_NEW;
    } else if (memcmp(pszEntry + nLength - 3, OLD_SUFFIX, 3) == 0) {
        name.nKind = HIDDEN_OLD;
    } else {
        // "swap-N-MMM": N from 1 to the most generations, and no slot above N.
        nTail = SWAP_TAIL;
        if (nLength < 1 + 1 + nMark + nTail)
            return FALSE;
        const char* pszTail = pszEntry + nLength - nTail;
        const size_t nSwap = sizeof SWAP_SUFFIX - 1;
        if (memcmp(pszTail, SWAP_SUFFIX, nSwap) != 0 || pszTail[nSwap] < '1' ||
            pszTail[nSwap] > '0' + MAX_GENERATIONS || pszTail[nSwap + 1] != '-' || !IsHexDigit(pszTail[nSwap + 2]) ||
            !IsHexDigit(pszTail[nSwap + 3]) || !IsHexDigit(pszTail[nSwap + 4]))
            return FALSE;
        name.nKind = HIDDEN_SWAP;
        name.nCount = pszTail[nSwap] - '0';
        name.nSlots = static_cast<unsigned>(strtoul(pszTail + nSwap + 2, nullptr, 16));
        if ((name.nSlots >> (name.nCount + 1)) != 0)
            return FALSE;
    }
    const size_t nStem = nLength - nTail - nMark - 1;
    if (memcmp(pszEntry + 1 + nStem, MARK, nMark) != 0 || nStem >= sizeof name.szStem)
        return FALSE;
    memcpy(name.szStem, pszEntry + 1, nStem);
    name.szStem[nStem] = '\0';
    return TRUE;
}

BOOL IsFolderAsideName(const char* pszEntry)
{
    return strcmp(pszEntry, FOLDER_ASIDE_NAME) == 0;
}

BOOL IsOwnedName(const char* pszItemName, int32_t nCount, const char* pszEntry)
{
    HiddenName hidden;
    char szStem[NAME_BUFFER];
    if (ParseHiddenName(pszEntry, hidden))
        return FormStem(szStem, sizeof szStem, pszItemName) && strcmp(hidden.szStem, szStem) == 0;
    // "k_" followed by the item's name, k from 1 to the count.
    return pszEntry[0] >= '1' && pszEntry[0] < '1' + (nCount < MAX_GENERATIONS ? nCount : MAX_GENERATIONS) &&
           pszEntry[1] == '_' && strcmp(pszEntry + 2, pszItemName) == 0;
}

BOOL MayBeOwnedName(const char* pszEntry)
{
    HiddenName hidden;
    return ParseHiddenName(pszEntry, hidden) ||
           (pszEntry[0] >= '1' && pszEntry[0] < '1' + MAX_GENERATIONS && pszEntry[1] == '_');
}

BOOL SourceHoldsOwnedName(const char* pszSrcPath, int32_t nCount, const char* pszSwapName)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!GetFolderPart(szFolder, sizeof szFolder, pszSrcPath) || !GetFileNamePart(szName, sizeof szName, pszSrcPath) ||
        szName[0] == '\0')
        return FALSE;
    // The generations first, then the hidden names: 1 to the count, then
    // the new copy's, the set-aside's and this rotation's swap name.
    FileServices& services = GetFileServices();
    const int32_t nLast = (nCount < MAX_GENERATIONS ? nCount : MAX_GENERATIONS) + 3;
    for (int32_t n = 1; n <= nLast; n++) {
        char szClash[PATH_BUFFER];
        BOOL bFormed;
        if (n <= nLast - 3)
            bFormed = FormGenerationPath(szClash, sizeof szClash, szFolder, szName, n);
        else if (n < nLast)
            bFormed = FormHiddenPath(szClash, sizeof szClash, szFolder, szName, n == nLast - 2 ? HIDDEN_NEW : HIDDEN_OLD);
        else
            bFormed = SafeCopy(szClash, sizeof szClash, szFolder) && SafeCat(szClash, sizeof szClash, pszSwapName);
        CFileStatus status;
        if (bFormed && services.GetStatus(szClash, status)) {
            WriteLogNaming(LOG_RESULT, "  バックアップ元に世代と同じ名前があるので世代を作りません  ", szClash, "");
            return TRUE;
        }
    }
    return FALSE;
}
