#include "engine/BackupFolder.h"

#include <cstdio>
#include <cstring>

#include "app/Globals.h"
#include "engine/BackupFile.h"
#include "engine/BackupReport.h"
#include "engine/ExclusionFilters.h"
#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/File.h"
#include "platform/FileServices.h"

namespace {

const char ALL_ENTRIES[] = "*.*";

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
    if (!services.Exists(szFolder))
        return;
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    char szAfter[300];
    int nLength = snprintf(szAfter, sizeof(szAfter), "  エラー=%s", szError);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szAfter))
        szAfter[0] = '\0';
    WriteLogNaming(LOG_RESULT, "  フォルダを読めないのでコピーしません  ", szFolder, szAfter);
    g_bRunFailed = 1;
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

// Gives the copy of a folder whose walk has finished what it keeps of its
// source folder.
void FinishWalkedFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot)
{
    char szSrcFolder[PATH_BUFFER];
    char szDstFolder[PATH_BUFFER];
    if (SafeCopy(szSrcFolder, sizeof(szSrcFolder), pszSrcRoot) && SafeCat(szSrcFolder, sizeof(szSrcFolder), pszRelPath) &&
        SafeCopy(szDstFolder, sizeof(szDstFolder), pszDstRoot) && SafeCat(szDstFolder, sizeof(szDstFolder), pszRelPath))
        GetFileServices().FinishFolder(szSrcFolder, szDstFolder);
}

}  // namespace

short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot, BackupSet* pSet)
{
    char szPattern[PATH_BUFFER];
    BOOL bPatternFits = SafeCopy(szPattern, sizeof(szPattern), pszSrcRoot) &&
                        SafeCat(szPattern, sizeof(szPattern), pszRelPath) &&
                        SafeCat(szPattern, sizeof(szPattern), ALL_ENTRIES);
    if (IsTargetFolder(pszRelPath, pSet) == 0) {
        // Excluded either way; a pattern too long for the line is shown cut.
        char szShown[PATH_BUFFER];
        JoinForLog(szShown, sizeof(szShown), pszSrcRoot, pszRelPath, ALL_ENTRIES);
        WriteLogNaming(LOG_DETAIL, "  対象外フォルダ名に指定されたフォルダなのでコピーせず ", szShown, "");
        return 0;
    }
    // The end line has the start line's length, so a start line that fits
    // guarantees the end line.
    if (!bPatternFits || !WriteLogFormat(LOG_DETAIL, "  フォルダのコピー開始 %s", szPattern)) {
        ReportTooLong(pszSrcRoot, pszRelPath);
        return 0;
    }

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
        char szEntryRel[PATH_BUFFER];
        if (!SafeCopy(szEntryRel, sizeof(szEntryRel), pszRelPath) ||
            !SafeCat(szEntryRel, sizeof(szEntryRel), finder.GetFileName()) ||
            (bDirectory && !SafeCat(szEntryRel, sizeof(szEntryRel), PATH_SEP_STR))) {
            ReportLongEntry(pszSrcRoot, pszRelPath, finder.GetFileName(), bDirectory, pSet);
            continue;
        }
        if (bDirectory) {
            if (!WriteLogFormat(LOG_DETAIL, "  次のフォルダを発見 %s", szEntryRel)) {
                ReportLongEntry(pszSrcRoot, pszRelPath, finder.GetFileName(), bDirectory, pSet);
                continue;
            }
            if (IsTargetFolder(szEntryRel, pSet) != 0) {
                char szEntryDst[PATH_BUFFER];
                if (!SafeCopy(szEntryDst, sizeof(szEntryDst), pszDstRoot) ||
                    !SafeCat(szEntryDst, sizeof(szEntryDst), szEntryRel)) {
                    ReportTooLong(pszDstRoot, szEntryRel);
                    continue;
                }
                CreateFolderChain(szEntryDst);
            }
            nStop = BackupFolder(pszSrcRoot, szEntryRel, pszDstRoot, pSet);
        } else {
            if (!WriteLogFormat(LOG_DETAIL, "  ファイルを発見 %s", szEntryRel)) {
                ReportLongEntry(pszSrcRoot, pszRelPath, finder.GetFileName(), bDirectory, pSet);
                continue;
            }
            nStop = BackupFile(pszSrcRoot, pszDstRoot, szEntryRel, pSet);
        }
    }
    finder.Close();
    FinishWalkedFolder(pszSrcRoot, pszRelPath, pszDstRoot);

    WriteLogFormat(LOG_DETAIL, "  フォルダのコピー終了 %s", szPattern);
    return nStop;
}
