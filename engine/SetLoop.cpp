#include "engine/SetLoop.h"

#include <cstdio>
#include <cstring>

#include "config/BackupConfig.h"
#include "engine/BackupFile.h"
#include "engine/BackupFolder.h"
#include "engine/BackupReport.h"
#include "engine/Generations.h"
#include "engine/OwnNames.h"
#include "engine/PathUtils.h"
#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"
#include "platform/PathForms.h"

namespace {

enum SourceKind { SOURCE_DRIVE_ROOT, SOURCE_FOLDER, SOURCE_FILE, SOURCE_SHARE_ROOT, SOURCE_MISSING };

SourceKind ClassifySource(const char* pszSource, CFileStatus& status)
{
    if (IsDriveRoot(pszSource)) {
        WriteLogNaming(LOG_DETAIL, "バックアップ元はルート(", pszSource, ")でした");
        return SOURCE_DRIVE_ROOT;
    }
    // A link that the user named is backed up as what it points to.
    if (GetFileServices().GetStatus(pszSource, status, TRUE)) {
        WriteLogNaming(LOG_DETAIL, "バックアップ元(", pszSource, ")は存在しました");
        if ((status.m_attribute & FILE_ATTR_DIRECTORY) != 0) {
            WriteLogFormat(LOG_DETAIL, "バックアップ元はフォルダでした attr=%x", static_cast<unsigned>(status.m_attribute));
            return SOURCE_FOLDER;
        }
        WriteLogFormat(LOG_DETAIL, "バックアップ元はファイルでした attr=%x", static_cast<unsigned>(status.m_attribute));
        return SOURCE_FILE;
    }
    if (IsSharePath(pszSource)) {
        WriteLogNaming(LOG_DETAIL, "バックアップ元は共有エントリ(", pszSource, ")でした");
        return SOURCE_SHARE_ROOT;
    }
    return SOURCE_MISSING;
}

// Writes a result line about a source that was left out, with the system's
// error text, and counts the run as failed.
void ReportSource(const char* pszSource, const char* pszWhat, DWORD dwError)
{
    NoteRunFailure();
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "バックアップ元(%s)%s  エラー=%s", pszSource, pszWhat, szError);
}

void ReportSet(int nSetNumber, const char* pszWhat)
{
    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... %s", nSetNumber, pszWhat);
    NoteRunFailure();
}

// What one set is to do, worked out before anything at the destination is
// touched.
struct SetPlan {
    SourceKind nKind;
    char szSrcFolder[PATH_BUFFER];   // folder handed to the engine, ends with a separator
    char szItem[PATH_BUFFER];        // type-2 item: the set's top-level destination item
    char szDstFolder[PATH_BUFFER];   // folder the engine copies into, ends with a separator
    char szName[PATH_BUFFER];        // single file: its name
};

// Copies pszPath into pszOut followed by one separator, unless it already
// ends with one.
BOOL CopyAsFolder(char* pszOut, size_t nSize, const char* pszPath)
{
    return SafeCopy(pszOut, nSize, pszPath) && (EndsWithSeparator(pszOut) || SafeCat(pszOut, nSize, PATH_SEP_STR));
}

// Copies the set's source into pszOut without the separators at its end:
// "data" and "data/" name one folder, and trailing separators would leave
// an empty name.
BOOL TrimSource(const BackupSet* pSet, char* pszOut, size_t nSize)
{
    if (!SafeCopy(pszOut, nSize, pSet->szSource))
        return FALSE;
    while (strlen(pszOut) > 1 && EndsWithSeparator(pszOut))
        pszOut[strlen(pszOut) - 1] = '\0';
    return TRUE;
}

// The item a set's copy lands in: the destination folder plus the source's
// own name, or the destination folder itself for a root (bRoot, or a
// source without a name of its own, as "/").
BOOL FormItem(const BackupSet* pSet, BOOL bRoot, char* pszOut, size_t nSize)
{
    char szTrimmed[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!TrimSource(pSet, szTrimmed, sizeof(szTrimmed)) || !GetFileNamePart(szName, sizeof(szName), szTrimmed))
        return FALSE;
    if (bRoot || szName[0] == '\0')
        return CopyWithoutSeparator(pszOut, nSize, pSet->szDest);
    return SafeCopy(pszOut, nSize, pSet->szDest) && SafeCat(pszOut, nSize, szName);
}

// Fills the paths of the plan; FALSE, after a result line, when one does
// not fit.
BOOL PlanPaths(const BackupSet* pSet, SetPlan& plan)
{
    BOOL bFits = TRUE;
    plan.szName[0] = '\0';
    if (plan.nKind == SOURCE_FOLDER) {
        // A folder without a name of its own ("/") is a root: copied
        // straight into the destination folder.
        char szTrimmed[PATH_BUFFER];
        bFits = TrimSource(pSet, szTrimmed, sizeof(szTrimmed)) && GetFileNamePart(plan.szName, sizeof(plan.szName), szTrimmed) &&
                CopyAsFolder(plan.szSrcFolder, sizeof(plan.szSrcFolder), szTrimmed) &&
                FormItem(pSet, FALSE, plan.szItem, sizeof(plan.szItem)) &&
                CopyAsFolder(plan.szDstFolder, sizeof(plan.szDstFolder), plan.szItem);
    } else if (plan.nKind == SOURCE_FILE) {
        // Straight into the destination folder, under its own name.
        bFits = GetFileNamePart(plan.szName, sizeof(plan.szName), pSet->szSource) &&
                GetFolderPart(plan.szSrcFolder, sizeof(plan.szSrcFolder), pSet->szSource) &&
                FormItem(pSet, FALSE, plan.szItem, sizeof(plan.szItem)) &&
                SafeCopy(plan.szDstFolder, sizeof(plan.szDstFolder), pSet->szDest);
    } else {
        // A drive root or a share root goes straight into the destination
        // folder, which is itself the item.
        bFits = CopyAsFolder(plan.szSrcFolder, sizeof(plan.szSrcFolder), pSet->szSource) &&
                FormItem(pSet, TRUE, plan.szItem, sizeof(plan.szItem)) &&
                CopyAsFolder(plan.szDstFolder, sizeof(plan.szDstFolder), plan.szItem);
    }
    if (!bFits)
        ReportTooLong(pSet->szSource);
    return bFits;
}

// A source that cannot be read must not cost older copies: this runs
// before any rotation or folder is made.
BOOL CanReadSource(const BackupSet* pSet, const SetPlan& plan)
{
    FileServices& services = GetFileServices();
    BOOL bReadable = plan.nKind == SOURCE_FILE ? services.CanRead(pSet->szSource, TRUE)
                                                : services.CanList(plan.szSrcFolder);
    if (!bReadable)
        ReportSource(pSet->szSource, "を読めないのでバックアップしません", services.GetLastError());
    return bReadable;
}

// TRUE when the two identities are one object.
BOOL IsSameObject(const FileIdentity& a, const FileIdentity& b)
{
    return a.nVolume == b.nVolume && a.nIndex == b.nIndex;
}

// TRUE when the object outer is the folder at pszInner or one of the
// folders above it.  A part of pszInner that does not exist yet is in
// whatever holds the rest.  The way up from there goes through "..", which
// the system resolves as it resolves the path, links included.
BOOL IsSameOrAbove(const FileIdentity& outer, const char* pszInner)
{
    char szPath[PATH_BUFFER];
    if (!SafeCopy(szPath, sizeof(szPath), pszInner))
        return FALSE;
    FileServices& services = GetFileServices();
    FileIdentity identity;
    while (!services.GetIdentity(szPath, identity)) {
        while (strlen(szPath) > 1 && EndsWithSeparator(szPath))
            szPath[strlen(szPath) - 1] = '\0';
        char szParent[PATH_BUFFER];
        if (!GetFolderPart(szParent, sizeof(szParent), szPath) || szParent[0] == '\0' ||
            strcmp(szParent, szPath) == 0 || !SafeCopy(szPath, sizeof(szPath), szParent))
            return FALSE;
    }
    FileIdentity previous = {};
    for (int nLevel = 0;; nLevel++) {
        if (nLevel > 0 && !services.GetIdentity(szPath, identity))
            return FALSE;
        if (IsSameObject(identity, outer))
            return TRUE;
        // The parent of a root is the root itself.
        if (nLevel > 0 && IsSameObject(identity, previous))
            return FALSE;
        previous = identity;
        if ((!EndsWithSeparator(szPath) && !SafeCat(szPath, sizeof(szPath), PATH_SEP_STR)) ||
            !SafeCat(szPath, sizeof(szPath), ".."))
            return FALSE;
    }
}

// A set whose type-2 item is its source, or holds it, would rotate or
// overwrite the very data it backs up.  Checked before anything is
// touched, by identity, so that no spelling of the paths hides it.
BOOL OverlapsSource(int nSetNumber, const BackupSet* pSet, const SetPlan& plan)
{
    FileIdentity item;
    if (!GetFileServices().GetIdentity(plan.szItem, item) || !IsSameOrAbove(item, pSet->szSource))
        return FALSE;
    WriteLogFormat(LOG_RESULT, "バックアップ元(%s)とバックアップ先(%s)が重なるのでバックアップしません", pSet->szSource,
                   plan.szItem);
    ReportSet(nSetNumber, "バックアップ先がバックアップ元と重なるのでバックアップしません");
    return TRUE;
}

// The item of another set of the run, worked out from its settings alone:
// its source is not looked at, so a root is told by its form.
BOOL GetSetItem(const BackupSet* pSet, char* pszOut, size_t nSize)
{
    char szShare[PATH_BUFFER];
    const BOOL bRoot = IsDriveRoot(pSet->szSource) ||
                       (CopyAsFolder(szShare, sizeof(szShare), pSet->szSource) && IsShareRoot(szShare));
    return FormItem(pSet, bRoot, pszOut, nSize);
}

// TRUE when two folders are one, by identity where both exist.
BOOL IsSameFolder(const char* pszA, const char* pszB)
{
    FileIdentity a;
    FileIdentity b;
    FileServices& services = GetFileServices();
    if (services.GetIdentity(pszA, a) && services.GetIdentity(pszB, b))
        return IsSameObject(a, b);
    return strcmp(pszA, pszB) == 0;
}

// A set whose item has a name that another set's item owns in the same
// folder (a generation, or a hidden name of its rotations) would be rotated
// away by that set, or take its place: it is refused before anything is
// touched.
BOOL ClashesWithAnotherSet(int nSetNumber, const SetPlan& plan)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    // Each set would otherwise look at every other: a settings file of
    // hundreds of sets spent a fifth of its start-up here.
    if (!GetFolderPart(szFolder, sizeof(szFolder), plan.szItem) || !GetFileNamePart(szName, sizeof(szName), plan.szItem) ||
        !MayBeOwnedName(szName))
        return FALSE;
    for (int nIndex = 0; nIndex < g_pConfig->m_nSetCount && nIndex < MAX_BACKUP_SETS; nIndex++) {
        const BackupSet* pOther = g_pConfig->m_pSets[nIndex];
        if (pOther == nullptr || nIndex + 1 == nSetNumber)
            continue;
        int32_t nCount = pOther->nTopGenerations > 0 ? pOther->nTopGenerations : pOther->nFileGenerations;
        char szOther[PATH_BUFFER];
        char szOtherFolder[PATH_BUFFER];
        char szOtherName[PATH_BUFFER];
        if (nCount <= 0 || !GetSetItem(pOther, szOther, sizeof(szOther)) ||
            !GetFolderPart(szOtherFolder, sizeof(szOtherFolder), szOther) ||
            !GetFileNamePart(szOtherName, sizeof(szOtherName), szOther) || szOtherName[0] == '\0' ||
            !IsOwnedName(szOtherName, nCount, szName) || !IsSameFolder(szFolder, szOtherFolder))
            continue;
        WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップ先(%s)がバックアップセット %d の世代の名前なのでバックアップしません",
                       nSetNumber, plan.szItem, nIndex + 1);
        NoteRunFailure();
        return TRUE;
    }
    return FALSE;
}

// The walk passes over every folder of the backup itself wherever it meets
// one (a destination inside the source, a source of "/" or "D:\", a
// destination that is the source): the destination folder, the folder
// copied into, the item, its generations and the hidden names beside it.
void GuardWalk(const BackupSet* pSet, const SetPlan& plan, const char* pszCopyFolder)
{
    ClearWalkGuard();
    GuardFolder(pSet->szDest);
    GuardFolder(pszCopyFolder);
    GuardFolder(plan.szItem);
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!GetFolderPart(szFolder, sizeof(szFolder), plan.szItem) || !GetFileNamePart(szName, sizeof(szName), plan.szItem))
        return;
    int32_t nCount = pSet->nTopGenerations > 0 ? pSet->nTopGenerations : pSet->nFileGenerations;
    char szPath[PATH_BUFFER];
    for (int n = 1; n <= nCount && n <= MAX_GENERATIONS; n++) {
        if (FormGenerationPath(szPath, sizeof(szPath), szFolder, szName, n))
            GuardFolder(szPath);
    }
    for (HiddenKind nKind : {HIDDEN_NEW, HIDDEN_OLD}) {
        if (FormHiddenPath(szPath, sizeof(szPath), szFolder, szName, nKind))
            GuardFolder(szPath);
    }
}

// A copy whose name came after its data, in a batch, and failed then: the
// same line as a copy that failed at once, and which copy it was.  A folder
// whose time waited for those names is reported as any folder whose
// attributes could not be set.
void ReportUnfinishedCopy(const char* pszTo, DWORD dwError, BOOL bFolder, void*)
{
    if (bFolder) {
        ReportFailure("  フォルダの属性をコピーできませんでした  ", pszTo, dwError);
        return;
    }
    WriteLogFormat(LOG_RESULT, "SHFileOperation()でエラーが返りました  code=%lx", static_cast<unsigned long>(dwError));
    ReportFailure("  コピーを仕上げられませんでした  ", pszTo, dwError);
}

// Copies the set's source into pszDstFolder (ending with a separator).
short CopySource(BackupSet* pSet, const SetPlan& plan, const char* pszDstFolder)
{
    if (plan.nKind == SOURCE_FILE) {
        CreateFolderChain(pszDstFolder);
        return BackupFile(plan.szSrcFolder, pszDstFolder, plan.szName, pSet, TRUE);
    }
    // The folder copied into is made like every folder below it.
    char szFolder[PATH_BUFFER];
    char szParent[PATH_BUFFER];
    if (!CopyWithoutSeparator(szFolder, sizeof(szFolder), pszDstFolder) ||
        !GetFolderPart(szParent, sizeof(szParent), szFolder)) {
        ReportTooLong(pszDstFolder);
        return 0;
    }
    CreateFolderChain(szParent);
    if (!MakeDestinationFolder(plan.szSrcFolder, nullptr, pszDstFolder, pSet))
        return 0;
    GuardWalk(pSet, plan, pszDstFolder);
    return BackupFolder(plan.szSrcFolder, nullptr, pszDstFolder, pSet);
}

// With unchanged-file sharing on, the new copy takes what has not changed
// from the item's present copy: a folder item's files lie below it, a
// single file is the item itself.
void ShareFromItem(const BackupSet* pSet, const SetPlan& plan)
{
    CFileStatus status;
    if (pSet->bShareUnchanged == 0 || !GetFileServices().GetStatus(plan.szItem, status))
        return;
    char szRoot[PATH_BUFFER];
    if (plan.nKind == SOURCE_FILE) {
        if (GetFolderPart(szRoot, sizeof(szRoot), plan.szItem))
            SetSharedCopyRoot(szRoot);
        return;
    }
    if ((status.m_attribute & FILE_ATTR_DIRECTORY) != 0 && CopyAsFolder(szRoot, sizeof(szRoot), plan.szItem)) {
        GetFileServices().SetPreviousCopyRoot(plan.szItem);
        SetSharedCopyRoot(szRoot);
    }
}

// Copies a set that keeps type-2 generations: the new copy is made beside
// the item and takes the item's place only once it is complete, so a run
// that is cancelled, killed or fails part way leaves every earlier copy as
// it was.  Sets the stop flag; FALSE when the set could not be done at all.
BOOL CopyWithTopGenerations(int nSetNumber, BackupSet* pSet, const SetPlan& plan, short& nStop)
{
    nStop = 0;
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    char szStaging[PATH_BUFFER];
    char szStagingFolder[PATH_BUFFER];
    char szNewItem[PATH_BUFFER];
    if (!GetFolderPart(szFolder, sizeof(szFolder), plan.szItem) || !GetFileNamePart(szName, sizeof(szName), plan.szItem) ||
        !FormHiddenPath(szStaging, sizeof(szStaging), szFolder, szName, HIDDEN_NEW) ||
        !CopyAsFolder(szStagingFolder, sizeof(szStagingFolder), szStaging) ||
        !SafeCopy(szNewItem, sizeof(szNewItem), plan.nKind == SOURCE_FILE ? szStagingFolder : szStaging) ||
        (plan.nKind == SOURCE_FILE && !SafeCat(szNewItem, sizeof(szNewItem), plan.szName))) {
        ReportTooLong(plan.szItem);
        return FALSE;
    }
    if (!CheckGenerationNames(plan.szItem, &pSet->nTopGenerations)) {
        ReportSet(nSetNumber, "世代を作れなかったのでバックアップしません");
        return FALSE;
    }

    long nFailuresBefore = g_nRunFailures;
    ShareFromItem(pSet, plan);
    nStop = CopySource(pSet, plan, szStagingFolder);
    SetSharedCopyRoot(nullptr);
    GetFileServices().SetPreviousCopyRoot(nullptr);
    GetFileServices().FinishCopies(ReportUnfinishedCopy, nullptr);
    CFileStatus status;
    if (nStop != 0 || g_bCancel != 0 || g_nRunFailures != nFailuresBefore ||
        !GetFileServices().GetStatus(szNewItem, status)) {
        WriteLogNaming(LOG_RESULT, "  コピーが完了しなかったので世代を作りません  ", szStaging, "");
        NoteRunFailure();
        return TRUE;
    }
    CRotation rotation;
    if (!rotation.Plan(plan.szItem, &pSet->nTopGenerations, GENERATIONS_TOP, nullptr) ||
        !rotation.TakeNewCopy(szNewItem)) {
        ReportSet(nSetNumber, "世代を作れなかったのでバックアップしません");
        return FALSE;
    }
    // A single file's copy was made in a folder of its own, now empty: it
    // goes without a word (one left behind goes with the next run).
    if (plan.nKind == SOURCE_FILE)
        GetFileServices().DeleteTree(szStaging);
    if (!rotation.Finish()) {
        ReportSet(nSetNumber, "世代を作れなかったのでバックアップしません");
        return FALSE;
    }
    return TRUE;
}

// Runs one set; returns the stop flag.
short RunSet(int nSetNumber, BackupSet* pSet)
{
    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップ開始", nSetNumber);
    if (IsProgressShown()) {
        char szNumber[16];
        snprintf(szNumber, sizeof(szNumber), "%d", nSetNumber);
        ReportProgress(PROGRESS_SET_NUMBER, szNumber);
        ReportProgress(PROGRESS_SOURCE, pSet->szSource);
        ReportProgress(PROGRESS_DEST, pSet->szDest);
    }

    FileServices& services = GetFileServices();
    CFileStatus status;
    SetPlan plan;
    plan.nKind = ClassifySource(pSet->szSource, status);
    if (plan.nKind == SOURCE_MISSING) {
        // Only a source that is not there is missing; one that cannot be
        // queried (a damaged file system, a permission) is unreadable.
        DWORD dwError = services.GetLastError();
        ReportSource(pSet->szSource,
                     IsMissingError(dwError) ? "が見つからないのでバックアップしません" : "を読めないのでバックアップしません",
                     dwError);
        return 0;
    }
    if (!PlanPaths(pSet, plan) || !CanReadSource(pSet, plan) || OverlapsSource(nSetNumber, pSet, plan) ||
        ClashesWithAnotherSet(nSetNumber, plan))
        return 0;

    // Below these roots nothing is reached through a link.  The item may be
    // the destination folder itself (a root source), so the destination's
    // root is the folder that holds the item.
    char szDestRoot[PATH_BUFFER];
    if (!GetFolderPart(szDestRoot, sizeof(szDestRoot), plan.szItem)) {
        ReportTooLong(plan.szItem);
        return 0;
    }
    services.SetTreeRoots(pSet->szSource, szDestRoot);

    long nCopiesBefore = GetCopiesStarted();
    short nStop = 0;
    BOOL bDone = TRUE;
    ClearHeldItems();
    if ((pSet->nTopGenerations > 0 || pSet->nFileGenerations > 0) && !RecoverItem(plan.szItem)) {
        ReportSet(nSetNumber, "世代を作れなかったのでバックアップしません");
        bDone = FALSE;
    } else if (pSet->nTopGenerations > 0) {
        bDone = CopyWithTopGenerations(nSetNumber, pSet, plan, nStop);
    } else {
        nStop = CopySource(pSet, plan, plan.szDstFolder);
        services.FinishCopies(ReportUnfinishedCopy, nullptr);
    }
    // A set that has finished is on disk, whatever happens to the run after it.
    if (GetCopiesStarted() != nCopiesBefore)
        services.FlushFileSystem(szDestRoot);
    services.SetTreeRoots(nullptr, nullptr);

    // Log readers look for the completion line: a cancelled set says so
    // before it.
    if (nStop != 0 || g_bCancel != 0)
        WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップを中止しました", nSetNumber);
    if (!bDone || plan.nKind == SOURCE_DRIVE_ROOT || plan.nKind == SOURCE_SHARE_ROOT)
        return nStop;

    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップ完了", nSetNumber);
    if (nStop == 0 && g_bCancel == 0 && pSet->szAfterCommand[0] != '\0') {
        WriteLogFormat(LOG_DETAIL, "バックアップセット %d ... シェル実行 %s", nSetNumber, pSet->szAfterCommand);
        services.ShellOpen(pSet->szAfterCommand);
    }
    return nStop;
}

}  // namespace

void RunBackupSets()
{
    short nStop = 0;
    // The count is read again before every pass, as the settings own it.
    for (int nIndex = 0; nIndex < g_pConfig->m_nSetCount; ++nIndex) {
        // A cancel that came while no file was in hand has not reached the
        // stop flag; it still ends the run before the next set.
        if (nStop != 0 || g_bCancel != 0)
            break;
        if (nIndex >= MAX_BACKUP_SETS)
            continue;
        BackupSet* pSet = g_pConfig->m_pSets[nIndex];
        if (pSet == nullptr) {
            static const char* const apszRefusals[] = {"", "コピー先が長すぎるのでバックアップしません",
                                                       "バックアップ元が長すぎるのでバックアップしません",
                                                       "バックアップ後実行が長すぎるのでバックアップしません"};
            const BYTE nRefusal = g_pConfig->m_bSetRefused[nIndex];
            if (nRefusal != SET_ACCEPTED && nRefusal <= SET_COMMAND_TOO_LONG)
                ReportSet(nIndex + 1, apszRefusals[nRefusal]);
            continue;
        }
        nStop = RunSet(nIndex + 1, pSet);
    }
}
