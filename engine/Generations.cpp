#include "engine/Generations.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/BackupReport.h"
#include "engine/PathUtils.h"
#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"

// A rotation of item x with count N, planned over the slots S that existed
// (slot 0 is x, slot k is k_x), makes these changes in this order:
//
//   1. the complete new copy takes the swap name .x.tandemix-swap-N-S
//      (type 1: copied there and on disk; type 2: its staging .x.tandemix-new
//      renamed; a folder where a file stood: made there empty);
//   2. when N and N-1 are both in S, N is renamed to .x.tandemix-old;
//   3. each k in S below N, from the top, is renamed to k+1;
//   4. the swap name is renamed to x;
//   5. .x.tandemix-old is deleted.
//
// A rename that fails in 2-4 undoes the renames made, newest first, then
// renames the swap copy to .x.tandemix-new and deletes it.  An undo that
// fails stops where it is: the names are then those of some point of 2-4,
// which the next run rolls forward.
//
// Where a run can stop, and what the next run's recovery does, before
// anything else touches x:
//
//   stopped                      names beside x                  next run
//   ---------------------------  ------------------------------  ---------------------------
//   before 1                     .x.tandemix-new (type 2: part   deletes .x.tandemix-new: it
//                                of a copy), or nothing of ours  is never complete
//   after 1, or after some of    the swap name, and the slots    reads N and S from the swap
//   2-4 (also an undo that       as they stand after the first   name, finds the one j whose
//   stopped part way)            j renames of the plan           names match, makes the renames
//                                                                after j, then deletes the aside
//   after 4, or in 5             .x.tandemix-old alone (a        deletes it
//                                whole or partly deleted copy)
//   undo, after the swap copy    .x.tandemix-new (complete)      deletes it, as before 1
//   went back to its new name
//   names that match no point    (a name moved by hand, two      result line; x is left alone
//   of the plan                  swap names)                     in that run
//
// No two points of one plan leave the same names: each rename fills a name
// higher than any name the later renames free.  Only .x.tandemix-new and
// .x.tandemix-old are ever deleted in place, and neither holds a copy that
// is still wanted, so a delete that is cut leaves nothing partial under a
// name a user restores from.  Earlier versions put the oldest generation of
// a whole folder under .tandemix-old; what they left there was being
// dropped, so recovery deletes it too.
//
// The invariant: a complete copy is never deleted, nor left incomplete under
// a generation name, before a newer complete copy has taken its place.

namespace {

const char MOVE_LINE[] = "    %s => %s";
const char LEFT_ALONE[] = "  中断した世代の入れ替えを終えられないので手を付けません  ";

const int SLOT_ASIDE = CRotation::SLOT_ASIDE;
const int SLOT_SWAP = CRotation::SLOT_SWAP;

struct Rename {
    int nFrom;
    int nTo;
};
// The aside's rename, one per slot below the count, the swap's.
const int MAX_RENAMES = MAX_GENERATIONS + 2;

unsigned Bit(int nSlot)
{
    return 1u << nSlot;
}

// The renames of a rotation planned with count nCount over the slots
// nSlots, in the order they are made.
int ListRenames(int32_t nCount, unsigned nSlots, Rename* aRenames)
{
    int n = 0;
    // The oldest goes only when a younger copy moves onto its name.
    if ((nSlots & Bit(nCount)) != 0 && (nSlots & Bit(nCount - 1)) != 0)
        aRenames[n++] = Rename{nCount, SLOT_ASIDE};
    for (int k = nCount - 1; k >= 0; k--) {
        if ((nSlots & Bit(k)) != 0)
            aRenames[n++] = Rename{k, k + 1};
    }
    aRenames[n++] = Rename{SLOT_SWAP, 0};
    return n;
}

// Every name of the rotation, formed before anything is touched: a name
// that does not fit stops it with nothing moved, and no path is ever cut
// into another name.
BOOL FormNames(const char* pszItem, int32_t nCount, unsigned nSlots, CRotation::Names& names)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!GetFolderPart(szFolder, sizeof szFolder, pszItem) || !GetFileNamePart(szName, sizeof szName, pszItem))
        return FALSE;
    // Without a name ("D:\bk\", or an empty path) the generations would be
    // "1_" beside the destination, or the destination itself would move.
    if (szName[0] == '\0' || !SafeCopy(names.aszPath[0], sizeof names.aszPath[0], pszItem))
        return FALSE;
    for (int n = 1; n <= nCount; n++) {
        if (!FormGenerationPath(names.aszPath[n], sizeof names.aszPath[n], szFolder, szName, n))
            return FALSE;
    }
    return FormHiddenPath(names.aszPath[SLOT_ASIDE], PATH_BUFFER, szFolder, szName, HIDDEN_OLD) &&
           FormHiddenPath(names.aszPath[SLOT_SWAP], PATH_BUFFER, szFolder, szName, HIDDEN_SWAP, nCount, nSlots) &&
           FormHiddenPath(names.szNew, sizeof names.szNew, szFolder, szName, HIDDEN_NEW);
}

BOOL ReportFailedDelete(const char* pszPath, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "  世代の削除に失敗しました %s (%s)", pszPath, szError);
    NoteRunFailure();
    return FALSE;
}

BOOL ReportFailedRename(const char* pszFrom, const char* pszTo, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "  世代の名前変更に失敗しました %s => %s (%s)", pszFrom, pszTo, szError);
    NoteRunFailure();
    return FALSE;
}

BOOL ReportLeftAlone(const char* pszPath)
{
    WriteLogNaming(LOG_RESULT, LEFT_ALONE, pszPath, "");
    NoteRunFailure();
    return FALSE;
}

// One rename of a rotation, with its move line; the set-aside name stays
// out of the log, as it is no generation.
BOOL MakeRename(const CRotation::Names& names, int nFrom, int nTo)
{
    const char* pszFrom = names.aszPath[nFrom];
    const char* pszTo = names.aszPath[nTo];
    if (nFrom != SLOT_ASIDE && nTo != SLOT_ASIDE)
        WriteLogFormat(LOG_DETAIL, MOVE_LINE, pszFrom, pszTo);
    if (!GetFileServices().RenameFile(pszFrom, pszTo))
        return ReportFailedRename(pszFrom, pszTo, GetFileServices().GetLastError());
    return TRUE;
}

// Deletes the set-aside oldest generation, when there is one.
BOOL DeleteAside(const char* pszAside)
{
    FileServices& services = GetFileServices();
    if (!services.Exists(pszAside))
        return TRUE;
    return services.DeleteTree(pszAside) || ReportFailedDelete(pszAside, services.GetLastError());
}

BOOL RefuseNames(const char* pszItem)
{
    WriteLogFormat(LOG_RESULT, "  世代名を作れないので世代を作りません %s", pszItem);
    return FALSE;
}

int32_t CapCount(int32_t* pnCountField)
{
    if (*pnCountField > MAX_GENERATIONS)
        *pnCountField = MAX_GENERATIONS;
    return *pnCountField;
}

// The leftovers of one item's rotations found in a folder.
struct Leftovers {
    std::string stem;
    bool bNew = false;
    bool bAside = false;
    std::vector<HiddenName> swaps;
};

// Rolls a rotation that a run left part way forward from its swap name.
BOOL RollForward(const char* pszFolder, const char* pszName, const HiddenName& swap)
{
    std::unique_ptr<CRotation::Names> pNames(new CRotation::Names);
    CRotation::Names& names = *pNames;
    char szItem[PATH_BUFFER];
    char szSwap[PATH_BUFFER];
    if (!SafeCopy(szItem, sizeof szItem, pszFolder) || !SafeCat(szItem, sizeof szItem, pszName) ||
        !FormNames(szItem, swap.nCount, swap.nSlots, names)) {
        FormHiddenPath(szSwap, sizeof szSwap, pszFolder, pszName, HIDDEN_SWAP, swap.nCount, swap.nSlots);
        return ReportLeftAlone(szSwap);
    }
    WriteLogNaming(LOG_DETAIL, "  中断した世代の入れ替えを終えます  ", names.aszPath[SLOT_SWAP], "");

    FileServices& services = GetFileServices();
    unsigned nFound = 0;
    for (int nSlot = 0; nSlot <= SLOT_SWAP; nSlot++) {
        if ((nSlot <= swap.nCount || nSlot >= SLOT_ASIDE) && services.Exists(names.aszPath[nSlot]))
            nFound |= Bit(nSlot);
    }
    Rename aRenames[MAX_RENAMES];
    const int nRenames = ListRenames(swap.nCount, swap.nSlots, aRenames);
    unsigned nExpected = swap.nSlots | Bit(SLOT_SWAP);
    int nDone = 0;
    while (nDone < nRenames && nExpected != nFound) {
        nExpected = (nExpected & ~Bit(aRenames[nDone].nFrom)) | Bit(aRenames[nDone].nTo);
        nDone++;
    }
    // The swap name is there, so the last rename is not made yet.
    if (nExpected != nFound || nDone == nRenames)
        return ReportLeftAlone(names.aszPath[SLOT_SWAP]);
    for (; nDone < nRenames; nDone++) {
        if (!MakeRename(names, aRenames[nDone].nFrom, aRenames[nDone].nTo))
            return ReportLeftAlone(names.aszPath[SLOT_SWAP]);
    }
    return DeleteAside(names.aszPath[SLOT_ASIDE]);
}

// Acts on what one item's rotations left in a folder.  pszName is the
// item's name, or null when it cannot be told from a shortened stem.
BOOL RecoverLeftovers(const char* pszFolder, const char* pszName, const Leftovers& found)
{
    FileServices& services = GetFileServices();
    char szPath[PATH_BUFFER];
    BOOL bFits = SafeCopy(szPath, sizeof szPath, pszFolder) && SafeCat(szPath, sizeof szPath, ".") &&
                 SafeCat(szPath, sizeof szPath, found.stem.c_str()) && SafeCat(szPath, sizeof szPath, ".tandemix-");
    if (!bFits)
        return ReportLeftAlone(pszFolder);
    const size_t nPrefix = strlen(szPath);
    if (found.bNew) {
        if (!SafeCat(szPath, sizeof szPath, "new"))
            return ReportLeftAlone(pszFolder);
        WriteLogNaming(LOG_DETAIL, "  前回の未完了のコピーを削除します  ", szPath, "");
        if (!services.DeleteTree(szPath)) {
            ReportFailure("  前回の未完了のコピーを削除できません  ", szPath, services.GetLastError());
            return FALSE;
        }
    }
    if (found.swaps.size() > 1 || (found.swaps.size() == 1 && pszName == nullptr)) {
        const HiddenName& swap = found.swaps[0];
        snprintf(szPath + nPrefix, sizeof szPath - nPrefix, "swap-%d-%03x", static_cast<int>(swap.nCount), swap.nSlots);
        return ReportLeftAlone(szPath);
    }
    if (found.swaps.size() == 1)
        return RollForward(pszFolder, pszName, found.swaps[0]);
    if (found.bAside) {
        szPath[nPrefix] = '\0';
        if (!SafeCat(szPath, sizeof szPath, "old"))
            return ReportLeftAlone(pszFolder);
        WriteLogNaming(LOG_DETAIL, "  前回退けた世代を削除します  ", szPath, "");
        return DeleteAside(szPath);
    }
    return TRUE;
}

// What earlier versions set aside for a whole folder was being dropped.
void DeleteFolderAside(const char* pszFolder)
{
    char szPath[PATH_BUFFER];
    if (!SafeCopy(szPath, sizeof szPath, pszFolder) || !SafeCat(szPath, sizeof szPath, ".tandemix-old"))
        return;
    WriteLogNaming(LOG_DETAIL, "  前回退けた世代を削除します  ", szPath, "");
    if (!GetFileServices().DeleteTree(szPath))
        ReportFailedDelete(szPath, GetFileServices().GetLastError());
}

// Adds a hidden name to the leftovers of its stem.
void Collect(std::vector<Leftovers>& all, const HiddenName& hidden)
{
    Leftovers* pFound = nullptr;
    for (Leftovers& leftovers : all) {
        if (leftovers.stem == hidden.szStem)
            pFound = &leftovers;
    }
    if (pFound == nullptr) {
        all.emplace_back();
        pFound = &all.back();
        pFound->stem = hidden.szStem;
    }
    if (hidden.nKind == HIDDEN_NEW)
        pFound->bNew = true;
    else if (hidden.nKind == HIDDEN_OLD)
        pFound->bAside = true;
    else
        pFound->swaps.push_back(hidden);
}

// Lists a folder (pszFolder ends with a separator); FALSE when it cannot
// be listed, which for a folder that does not exist yet means that there
// is nothing to recover.
template <typename Fn>
BOOL ListFolder(const char* pszFolder, Fn fnEntry)
{
    char szPattern[PATH_BUFFER];
    if (!SafeCopy(szPattern, sizeof szPattern, pszFolder) || !SafeCat(szPattern, sizeof szPattern, "*.*"))
        return FALSE;
    std::unique_ptr<DirectoryReader> pReader(GetFileServices().OpenDirectory(szPattern));
    if (!pReader)
        return FALSE;
    DirEntry entry;
    while (pReader->Next(entry))
        fnEntry(entry.szName);
    return TRUE;
}

// The name of the one item in the folder whose stem this is: an entry, or
// a generation's name without its "k_".  Type 1 plans a rotation only for
// an item that is there, and that copy is under the item's name or 1_ at
// every point of it, so one of them is found.
BOOL FindItemName(const char* pszFolder, const std::string& stem, std::string& name)
{
    int nFound = 0;
    ListFolder(pszFolder, [&](const char* pszEntry) {
        const char* apszCandidates[] = {pszEntry, pszEntry[0] >= '1' && pszEntry[0] <= '9' && pszEntry[1] == '_'
                                                      ? pszEntry + 2 : nullptr};
        for (const char* pszCandidate : apszCandidates) {
            char szStem[NAME_BUFFER];
            if (pszCandidate != nullptr && FormStem(szStem, sizeof szStem, pszCandidate) && stem == szStem &&
                name != pszCandidate) {
                name = pszCandidate;
                nFound++;
            }
        }
    });
    return nFound == 1;
}

// Worker thread only: the items recovery left alone in this set, as their
// folder and stem.
std::vector<std::string> g_held;

void Hold(const char* pszFolder, const std::string& stem)
{
    g_held.push_back(std::string(pszFolder) + stem);
}

}  // namespace

BOOL CRotation::Plan(const char* pszItem, int32_t* pnCountField, GenerationType nType, const char* pszSrcPath)
{
    Names& names = *m_pNames;
    m_nType = nType;
    m_nCount = CapCount(pnCountField);
    m_nSlots = 0;
    if (m_nCount <= 0 || !FormNames(pszItem, m_nCount, 0, names))
        return RefuseNames(pszItem);
    FileServices& services = GetFileServices();
    for (int n = 0; n <= m_nCount; n++) {
        CFileStatus status;
        if (!services.GetStatus(names.aszPath[n], status))
            continue;
        // A folder under a type-1 name is the backup of a source folder,
        // not a generation of a file: moving or dropping it would lose it.
        if (nType == GENERATIONS_FILE && (status.m_attribute & FILE_ATTR_DIRECTORY) != 0) {
            WriteLogNaming(LOG_RESULT, "  世代の名前にフォルダがあるので世代を作りません  ", names.aszPath[n], "");
            return FALSE;
        }
        m_nSlots |= Bit(n);
    }
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    char szSwapName[NAME_BUFFER];
    if (!GetFolderPart(szFolder, sizeof szFolder, pszItem) || !GetFileNamePart(szName, sizeof szName, pszItem) ||
        !FormHiddenPath(szSwapName, sizeof szSwapName, "", szName, HIDDEN_SWAP, m_nCount, m_nSlots) ||
        !SafeCopy(names.aszPath[SLOT_SWAP], PATH_BUFFER, szFolder) ||
        !SafeCat(names.aszPath[SLOT_SWAP], PATH_BUFFER, szSwapName))
        return FALSE;
    if (pszSrcPath != nullptr && SourceHoldsOwnedName(pszSrcPath, m_nCount, szSwapName))
        return FALSE;
    // Recovery has cleared these, unless it had to leave them.
    for (int nSlot : {SLOT_SWAP, SLOT_ASIDE}) {
        if (services.Exists(names.aszPath[nSlot]))
            return ReportLeftAlone(names.aszPath[nSlot]);
    }
    WriteLogFormat(LOG_DETAIL, nType == GENERATIONS_FILE ? "  タイプ１の世代を作ります 世代数=%d" : "  タイプ２の世代を作ります 世代数=%d",
                   m_nCount);
    return TRUE;
}

BOOL CRotation::TakeNewCopy(const char* pszNewCopy)
{
    const char* pszSwap = SwapPath();
    WriteLogFormat(LOG_DETAIL, MOVE_LINE, pszNewCopy, pszSwap);
    if (!GetFileServices().RenameFile(pszNewCopy, pszSwap))
        return ReportFailedRename(pszNewCopy, pszSwap, GetFileServices().GetLastError());
    return TRUE;
}

BOOL CRotation::Finish()
{
    const Names& names = *m_pNames;
    FileServices& services = GetFileServices();
    Rename aRenames[MAX_RENAMES];
    const int nRenames = ListRenames(m_nCount, m_nSlots, aRenames);
    int nDone = 0;
    while (nDone < nRenames && MakeRename(names, aRenames[nDone].nFrom, aRenames[nDone].nTo))
        nDone++;
    if (nDone == nRenames) {
        // Every copy has its new name; only now is the oldest let go.  If
        // it cannot be, the next run deletes it.
        DeleteAside(names.aszPath[SLOT_ASIDE]);
        return TRUE;
    }
    // Every name back, newest first; where one cannot go back, the rest
    // stays as it is for the next run to roll forward.
    while (nDone > 0) {
        nDone--;
        if (!MakeRename(names, aRenames[nDone].nTo, aRenames[nDone].nFrom))
            return FALSE;
    }
    // The new copy is given up: under its "new" name it is never taken for
    // a complete one.
    WriteLogFormat(LOG_DETAIL, MOVE_LINE, names.aszPath[SLOT_SWAP], names.szNew);
    if (services.RenameFile(names.aszPath[SLOT_SWAP], names.szNew))
        services.DeleteTree(names.szNew);
    else
        ReportFailedRename(names.aszPath[SLOT_SWAP], names.szNew, services.GetLastError());
    return FALSE;
}

BOOL CheckGenerationNames(const char* pszItem, int32_t* pnCountField)
{
    std::unique_ptr<CRotation::Names> pNames(new CRotation::Names);
    return FormNames(pszItem, CapCount(pnCountField), 0, *pNames) || RefuseNames(pszItem);
}

BOOL RecoverItem(const char* pszItem)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    char szStem[NAME_BUFFER];
    if (!GetFolderPart(szFolder, sizeof szFolder, pszItem) || !GetFileNamePart(szName, sizeof szName, pszItem) ||
        szName[0] == '\0' || !FormStem(szStem, sizeof szStem, szName))
        return TRUE;
    std::vector<Leftovers> found;
    BOOL bFolderAside = FALSE;
    ListFolder(szFolder, [&](const char* pszEntry) {
        HiddenName hidden;
        if (IsFolderAsideName(pszEntry))
            bFolderAside = TRUE;
        else if (ParseHiddenName(pszEntry, hidden) && strcmp(hidden.szStem, szStem) == 0)
            Collect(found, hidden);
    });
    if (bFolderAside)
        DeleteFolderAside(szFolder);
    return found.empty() || RecoverLeftovers(szFolder, szName, found[0]);
}

void RecoverFolder(const char* pszDstFolder, const char* pszSrcFolder)
{
    std::vector<Leftovers> found;
    BOOL bFolderAside = FALSE;
    FileServices& services = GetFileServices();
    ListFolder(pszDstFolder, [&](const char* pszEntry) {
        HiddenName hidden;
        BOOL bFolderName = IsFolderAsideName(pszEntry);
        if (!bFolderName && !ParseHiddenName(pszEntry, hidden))
            return;
        // The source's own file of that name was backed up under it.
        char szSource[PATH_BUFFER];
        CFileStatus status;
        if (SafeCopy(szSource, sizeof szSource, pszSrcFolder) && SafeCat(szSource, sizeof szSource, pszEntry) &&
            services.GetStatus(szSource, status))
            return;
        if (bFolderName)
            bFolderAside = TRUE;
        else
            Collect(found, hidden);
    });
    if (bFolderAside)
        DeleteFolderAside(pszDstFolder);
    for (const Leftovers& leftovers : found) {
        std::string name = leftovers.stem;
        char szStem[NAME_BUFFER];
        BOOL bKnown = FormStem(szStem, sizeof szStem, name.c_str()) && name == szStem;
        if (!bKnown && !leftovers.swaps.empty()) {
            name.clear();
            bKnown = FindItemName(pszDstFolder, leftovers.stem, name);
        }
        if (!RecoverLeftovers(pszDstFolder, bKnown ? name.c_str() : nullptr, leftovers))
            Hold(pszDstFolder, leftovers.stem);
    }
}

BOOL IsItemHeld(const char* pszItem)
{
    if (g_held.empty())
        return FALSE;
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    char szStem[NAME_BUFFER];
    if (!GetFolderPart(szFolder, sizeof szFolder, pszItem) || !GetFileNamePart(szName, sizeof szName, pszItem) ||
        !FormStem(szStem, sizeof szStem, szName))
        return FALSE;
    const std::string key = std::string(szFolder) + szStem;
    for (const std::string& held : g_held) {
        if (held == key)
            return TRUE;
    }
    return FALSE;
}

void ClearHeldItems()
{
    g_held.clear();
}
