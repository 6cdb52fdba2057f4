#include "engine/BackupFolder.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/RunState.h"
#include "engine/BackupFile.h"
#include "engine/BackupReport.h"
#include "engine/ExclusionFilters.h"
#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/File.h"
#include "platform/FileServices.h"
#include "platform/PathForms.h"

namespace {

const char ALL_ENTRIES[] = "*.*";

// Worker thread only.
std::vector<FileIdentity> g_guarded;

// TRUE when the source folder is the backup itself; the detail line says so.
BOOL IsGuardedFolder(const char* pszSrcRoot, const char* pszRelPath)
{
    if (g_guarded.empty())
        return FALSE;
    char szFolder[PATH_BUFFER];
    FileIdentity identity;
    if (!SafeCopy(szFolder, sizeof(szFolder), pszSrcRoot) || !SafeCat(szFolder, sizeof(szFolder), pszRelPath) ||
        !GetFileServices().GetIdentity(szFolder, identity))
        return FALSE;
    for (const FileIdentity& guarded : g_guarded) {
        if (identity.nVolume == guarded.nVolume && identity.nIndex == guarded.nIndex) {
            WriteLogNaming(LOG_DETAIL, "  バックアップ先のフォルダなのでコピーせず ", szFolder, "");
            return TRUE;
        }
    }
    return FALSE;
}

// Gives the copy of a folder whose walk has finished what it keeps of its
// source folder.
void FinishWalkedFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot)
{
    char szSrcFolder[PATH_BUFFER];
    char szDstFolder[PATH_BUFFER];
    FileServices& services = GetFileServices();
    if (SafeCopy(szSrcFolder, sizeof(szSrcFolder), pszSrcRoot) && SafeCat(szSrcFolder, sizeof(szSrcFolder), pszRelPath) &&
        SafeCopy(szDstFolder, sizeof(szDstFolder), pszDstRoot) && SafeCat(szDstFolder, sizeof(szDstFolder), pszRelPath) &&
        !services.FinishFolder(szSrcFolder, szDstFolder))
        ReportFailure("  フォルダの属性をコピーできませんでした  ", szDstFolder, services.GetLastError());
}

// A listing that could not start is an empty folder, a folder removed since
// its parent was listed, or one that cannot be read.  Only the last leaves
// files out of the backup, so only it is reported.  Kept out of
// BackupFolder so that its buffers are not on the stack of every level.
void ReportUnlistableFolder(const char* pszSrcRoot, const char* pszRelPath)
{
    char szFolder[PATH_BUFFER];
    if (!SafeCopy(szFolder, sizeof(szFolder), pszSrcRoot) || !SafeCat(szFolder, sizeof(szFolder), pszRelPath))
        return;
    FileServices& services = GetFileServices();
    if (services.CanList(szFolder))
        return;
    DWORD dwError = services.GetLastError();
    // Asked for without its separator, as Windows finds no entry named
    // "folder\"; a root keeps it.
    char szEntry[PATH_BUFFER];
    const BOOL bRoot = szFolder[1] == '\0' || IsDriveRoot(szFolder) || IsShareRoot(szFolder);
    const BOOL bCopied = bRoot ? SafeCopy(szEntry, sizeof(szEntry), szFolder)
                               : CopyWithoutSeparator(szEntry, sizeof(szEntry), szFolder);
    if (!bCopied || !services.Exists(szEntry))
        return;
    ReportFailure("  フォルダを読めないのでコピーしません  ", szFolder, dwError);
}

// An entry whose relative path does not fit: left out, and reported unless
// the set excludes it anyway.
void ReportLongEntry(const char* pszSrcRoot, const char* pszRelPath, const char* pszName, BOOL bDirectory,
                     const BackupSet* pSet)
{
    if (bDirectory) {
        char szFolder[PATH_BUFFER];
        if (SafeCopy(szFolder, sizeof(szFolder), pszName) && SafeCat(szFolder, sizeof(szFolder), PATH_SEP_STR) &&
            IsTargetFolder(szFolder, pSet) == 0)
            return;
    } else if (IsTargetExtension(pszName, pSet) == 0) {
        return;
    }
    ReportTooLong(pszSrcRoot, pszRelPath, pszName);
}

}  // namespace

void ClearWalkGuard()
{
    g_guarded.clear();
}

void GuardFolder(const char* pszPath)
{
    FileIdentity identity;
    if (GetFileServices().GetIdentity(pszPath, identity))
        g_guarded.push_back(identity);
}

// The paths of one level of the walk.  A path may be as deep as it is long,
// so they live on the heap: on the stack, a few buffers a level would
// overflow it long before the deepest path a buffer holds.
struct WalkPaths {
    char szPattern[PATH_BUFFER];
    char szEntryRel[PATH_BUFFER];
    char szEntryDst[PATH_BUFFER];
};

short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot, BackupSet* pSet)
{
    std::unique_ptr<WalkPaths> pPaths(new (std::nothrow) WalkPaths);
    if (!pPaths) {
        ReportTooLong(pszSrcRoot, pszRelPath);
        return 0;
    }
    char (&szPattern)[PATH_BUFFER] = pPaths->szPattern;
    char (&szEntryRel)[PATH_BUFFER] = pPaths->szEntryRel;
    char (&szEntryDst)[PATH_BUFFER] = pPaths->szEntryDst;
    BOOL bPatternFits = SafeCopy(szPattern, sizeof(szPattern), pszSrcRoot) &&
                        SafeCat(szPattern, sizeof(szPattern), pszRelPath) &&
                        SafeCat(szPattern, sizeof(szPattern), ALL_ENTRIES);
    if (IsTargetFolder(pszRelPath, pSet) == 0) {
        WriteLogFormat(LOG_DETAIL, "  対象外フォルダ名に指定されたフォルダなのでコピーせず %s%s%s", pszSrcRoot,
                       pszRelPath != nullptr ? pszRelPath : "", ALL_ENTRIES);
        return 0;
    }
    if (!bPatternFits) {
        ReportTooLong(pszSrcRoot, pszRelPath);
        return 0;
    }
    WriteLogFormat(LOG_DETAIL, "  フォルダのコピー開始 %s", szPattern);

    short nStop = 0;
    CFileFind finder;
    BOOL bMore = finder.FindFile(szPattern);
    if (!bMore)
        ReportUnlistableFolder(pszSrcRoot, pszRelPath);
    while (bMore && nStop == 0) {
        bMore = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        BOOL bDirectory = finder.IsDirectory();
        if (!SafeCopy(szEntryRel, sizeof(szEntryRel), pszRelPath) ||
            !SafeCat(szEntryRel, sizeof(szEntryRel), finder.GetFileName()) ||
            (bDirectory && !SafeCat(szEntryRel, sizeof(szEntryRel), PATH_SEP_STR))) {
            ReportLongEntry(pszSrcRoot, pszRelPath, finder.GetFileName(), bDirectory, pSet);
            continue;
        }
        if (bDirectory) {
            WriteLogFormat(LOG_DETAIL, "  次のフォルダを発見 %s", szEntryRel);
            if (IsTargetFolder(szEntryRel, pSet) != 0) {
                if (!SafeCopy(szEntryDst, sizeof(szEntryDst), pszDstRoot) ||
                    !SafeCat(szEntryDst, sizeof(szEntryDst), szEntryRel)) {
                    ReportTooLong(pszDstRoot, szEntryRel);
                    continue;
                }
                if (IsGuardedFolder(pszSrcRoot, szEntryRel) || !MakeDestinationFolder(pszSrcRoot, szEntryRel, pszDstRoot, pSet))
                    continue;
            }
            nStop = BackupFolder(pszSrcRoot, szEntryRel, pszDstRoot, pSet);
        } else {
            WriteLogFormat(LOG_DETAIL, "  ファイルを発見 %s", szEntryRel);
            nStop = BackupFile(pszSrcRoot, pszDstRoot, szEntryRel, pSet);
        }
    }
    finder.Close();

    WriteLogFormat(LOG_DETAIL, "  フォルダのコピー終了 %s", szPattern);
    FinishWalkedFolder(pszSrcRoot, pszRelPath, pszDstRoot);
    return nStop;
}
