#include "engine/BackupFile.h"

#include <cstdio>
#include <string>

#include "engine/BackupReport.h"
#include "engine/ExclusionFilters.h"
#include "engine/Generations.h"
#include "engine/OwnNames.h"
#include "engine/PathUtils.h"
#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"

namespace {

// Worker thread only.
long g_nCopiesStarted = 0;
char g_szSharedRoot[PATH_BUFFER] = "";

const char TIME_PATTERN[] = "%Y%m%d%H%M%S";

// A file's time as the compare line shows it.  Files of one folder often
// share a time (an unpacked archive, a copy), and a local time costs more
// to format than the rest of the line: each side keeps its last one
// (worker thread only).
struct FileTimeText {
    const char* Of(CTime time)
    {
        if (time != last) {
            last = time;
            text = time.Format(TIME_PATTERN);
        }
        return text.c_str();
    }

    CTime last = CTime(-1);
    std::string text;
};

// Queries the destination, putting a medium that is not ready to the user
// until it answers or the user gives up.  FALSE when the user gave up;
// otherwise bExists tells whether a destination copy is there (any other
// failure of the query counts as a missing copy).
BOOL QueryDestination(const char* pszDstPath, CFileStatus& status, BOOL& bExists)
{
    FileServices& services = GetFileServices();
    for (;;) {
        if (services.GetStatus(pszDstPath, status)) {
            bExists = TRUE;
            return TRUE;
        }
        if (services.GetLastError() != ERROR_NOT_READY) {
            bExists = FALSE;
            return TRUE;
        }
        char szText[128];
        int nLength = snprintf(szText, sizeof(szText), "ドライブ %c の準備ができていません。", pszDstPath[0]);
        if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szText))
            return FALSE;
        if (services.ShowMessageBox(szText, "Tandemix", MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDCANCEL)
            return FALSE;
    }
}

// A margin of 0 or less asks for a source at least one second later; a
// margin m above 0 for one more than m seconds later.
BOOL IsCopyDue(CTime srcTime, CTime dstTime, short nMargin)
{
    if (srcTime <= dstTime)
        return FALSE;
    if (nMargin != 0 && srcTime <= dstTime + CTimeSpan(nMargin))
        return FALSE;
    return TRUE;
}

// Neither time is later than the other by more than the margin.
BOOL TimesCountAsEqual(CTime srcTime, CTime dstTime, short nMargin)
{
    const CTimeSpan margin(nMargin > 0 ? nMargin : 0);
    return srcTime <= dstTime + margin && dstTime <= srcTime + margin;
}

// Shares the file with the earlier copy of the item when that copy still
// stands for it; TRUE when it did, after a detail line.  Anything else
// (changed, no earlier copy, a file system without links) is left to the
// copy, silently: sharing saves work, and never fails a file.
BOOL ShareWithEarlierCopy(const char* pszSrcPath, const char* pszRelName, const char* pszDstPath, const BackupSet* pSet)
{
    char szPrevious[PATH_BUFFER];
    if (g_szSharedRoot[0] == '\0' || !SafeCopy(szPrevious, sizeof(szPrevious), g_szSharedRoot) ||
        !SafeCat(szPrevious, sizeof(szPrevious), pszRelName))
        return FALSE;
    if (GetFileServices().ShareFile(pszSrcPath, szPrevious, pszDstPath, pSet->nTimeMargin) == SHARE_NONE)
        return FALSE;
    ++g_nCopiesStarted;  // the set's flush must take it in
    WriteLogFormat(LOG_DETAIL, "  前回のコピーを共有します  %s => %s", szPrevious, pszDstPath);
    return TRUE;
}

short StopFlag(short nStop)
{
    return g_bCancel != 0 ? 1 : nStop;
}

// The item keeps the copy it has; 0, for the stop flag.
short ReportNotReplaced(const char* pszDstPath)
{
    WriteLogNaming(LOG_RESULT, "  世代を作れなかったのでコピーしません  ", pszDstPath, "");
    NoteRunFailure();
    return 0;
}

// Copies one file to pszTo with the copy line before it; bCopied tells
// whether the copy is there.  Returns the stop flag of an aborted copy.
short CopyOne(const char* pszSrcPath, const char* pszTo, UINT nFlags, BOOL bFollowLink, BOOL& bCopied)
{
    nFlags |= FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    if (g_pConfig == nullptr || g_pConfig->m_bShowShellProgress == 0)
        nFlags |= FOF_SILENT;
    WriteLogFormat(LOG_RESULT, "  コピーします  %s => %s", pszSrcPath, pszTo);
    FileServices& services = GetFileServices();
    BOOL bAborted = FALSE;
    ++g_nCopiesStarted;
    bCopied = services.CopyFile(pszSrcPath, pszTo, nFlags, &bAborted, bFollowLink) == 0;
    // A file deleted since its folder was listed is no loss, whether it
    // went before its status query or before its copy.
    DWORD dwError = services.GetLastError();
    if (!bCopied && !IsMissingError(dwError)) {
        WriteLogFormat(LOG_RESULT, "SHFileOperation()でエラーが返りました  code=%lx", static_cast<unsigned long>(dwError));
        ReportFailure("  コピーできませんでした  ", pszTo, dwError);
    }
    if (!bAborted)
        return 0;
    g_bRunAborted = 1;
    return 1;
}

}  // namespace

void SetSharedCopyRoot(const char* pszPrevRoot)
{
    if (!SafeCopy(g_szSharedRoot, sizeof(g_szSharedRoot), pszPrevRoot))
        g_szSharedRoot[0] = '\0';
}

long GetCopiesStarted()
{
    return g_nCopiesStarted;
}

short BackupFile(const char* pszSrcFolder, const char* pszDstFolder, const char* pszRelName, BackupSet* pSet,
                 BOOL bFollowLink)
{
    FileServices& services = GetFileServices();
    char szSrcPath[PATH_BUFFER];
    char szDstPath[PATH_BUFFER];
    if (!SafeCopy(szSrcPath, sizeof(szSrcPath), pszSrcFolder) ||
        !SafeCat(szSrcPath, sizeof(szSrcPath), pszRelName)) {
        if (IsTargetExtension(pszRelName, pSet) != 0)
            ReportTooLong(pszSrcFolder, pszRelName);
        return StopFlag(0);
    }
    if (!SafeCopy(szDstPath, sizeof(szDstPath), pszDstFolder) ||
        !SafeCat(szDstPath, sizeof(szDstPath), pszRelName)) {
        if (IsTargetExtension(pszRelName, pSet) != 0)
            ReportTooLong(pszDstFolder, pszRelName);
        return StopFlag(0);
    }

    CFileStatus srcStatus;
    if (!services.GetStatus(szSrcPath, srcStatus, bFollowLink)) {
        // An entry that vanished since its folder was listed is no loss;
        // one that is there but cannot be queried is left out of the backup.
        DWORD dwError = services.GetLastError();
        if (!IsMissingError(dwError) && IsTargetExtension(pszRelName, pSet) != 0)
            ReportFailure("  ファイルを読めないのでコピーしません  ", szSrcPath, dwError);
        return StopFlag(0);
    }
    // What recovery had to leave as it was stays so in this run.
    if (IsTargetExtension(pszRelName, pSet) == 0 || IsItemHeld(szDstPath))
        return StopFlag(0);
    // A socket (or a device node that only root could make again) holds no
    // data to back up: passed over, never a failure.
    if ((srcStatus.m_attribute & FILE_ATTR_DEVICE) != 0) {
        WriteLogNaming(LOG_DETAIL, "  コピーできない種類のファイルなのでコピーせず ", szSrcPath, "");
        return StopFlag(0);
    }
    ReportProgress(PROGRESS_CHECKING, szSrcPath);
    CTime srcTime = srcStatus.m_mtime;

    CFileStatus dstStatus;
    BOOL bExists = FALSE;
    if (!QueryDestination(szDstPath, dstStatus, bExists)) {
        WriteLogDetail("メディアの準備ができていないのでバックアップしません");
        NoteRunFailure();
        return StopFlag(0);
    }

    // With type-1 generations the copy that is replaced becomes
    // generation 1; a copy known to be cut (the source's time, another
    // size) is no generation and is replaced as it is.
    BOOL bRotate = bExists && pSet->nFileGenerations >= 1;
    if (bExists) {
        // Two local times to format for every file that has a copy: only
        // when the line is written.
        if (IsLogWritten(LOG_DETAIL)) {
            static FileTimeText s_srcText;
            static FileTimeText s_dstText;
            WriteLogFormat(LOG_DETAIL, "  コピー先に同名ファイルを発見  タイムスタンプ from:to = %s:%s , マージン=%d",
                           s_srcText.Of(srcTime), s_dstText.Of(dstStatus.m_mtime), pSet->nTimeMargin);
        }
        // A copy whose size differs while the times count as equal is no
        // copy (a crash can leave a file's name and time on disk before its
        // data); a newer copy is never replaced.
        if (!IsCopyDue(srcTime, dstStatus.m_mtime, pSet->nTimeMargin)) {
            if (srcStatus.m_size == dstStatus.m_size || !TimesCountAsEqual(srcTime, dstStatus.m_mtime, pSet->nTimeMargin))
                return StopFlag(0);
            bRotate = FALSE;
        }
    }

    if (!bExists && ShareWithEarlierCopy(szSrcPath, pszRelName, szDstPath, pSet))
        return StopFlag(0);

    ReportProgress(PROGRESS_COPYING, szDstPath);
    BOOL bCopied = FALSE;
    if (!bRotate)
        return StopFlag(CopyOne(szSrcPath, szDstPath, 0, bFollowLink, bCopied));
    // The new copy is written beside the old one and on disk before any
    // generation moves: the item always has a complete copy under its name,
    // and a copy that fails costs no generation.
    CRotation rotation;
    if (!rotation.Plan(szDstPath, &pSet->nFileGenerations, GENERATIONS_FILE, szSrcPath))
        return StopFlag(ReportNotReplaced(szDstPath));
    short nStop = CopyOne(szSrcPath, rotation.SwapPath(), COPY_FINISH_NOW, bFollowLink, bCopied);
    if (bCopied && !rotation.Finish())
        ReportNotReplaced(szDstPath);
    return StopFlag(nStop);
}

BOOL MakeDestinationFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot, BackupSet* pSet)
{
    // Both folders, with and without their separators.
    char szSrcFolder[PATH_BUFFER];
    char szDstFolder[PATH_BUFFER];
    char szSource[PATH_BUFFER];
    char szPath[PATH_BUFFER];
    if (!SafeCopy(szSrcFolder, sizeof(szSrcFolder), pszSrcRoot) || !SafeCat(szSrcFolder, sizeof(szSrcFolder), pszRelPath) ||
        !SafeCopy(szDstFolder, sizeof(szDstFolder), pszDstRoot) || !SafeCat(szDstFolder, sizeof(szDstFolder), pszRelPath) ||
        !CopyWithoutSeparator(szPath, sizeof(szPath), szDstFolder) ||
        !CopyWithoutSeparator(szSource, sizeof(szSource), szSrcFolder)) {
        ReportTooLong(pszDstRoot, pszRelPath);
        return FALSE;
    }
    FileServices& services = GetFileServices();
    auto cannotMake = [&] {
        ReportFailure("  フォルダを作れないのでコピーしません  ", szPath, services.GetLastError());
        return FALSE;
    };
    CFileStatus status;
    if (services.GetStatus(szPath, status)) {
        if ((status.m_attribute & FILE_ATTR_DIRECTORY) != 0) {
            if (pSet->nFileGenerations >= 1)
                RecoverFolder(szDstFolder, szSrcFolder);
            return TRUE;
        }
        if (IsItemHeld(szPath))
            return FALSE;
        WriteLogNaming(LOG_DETAIL, "  フォルダの名前にあったファイルを退けます ", szPath, "");
        if (pSet->nFileGenerations >= 1) {
            // A rotation whose new copy is the new, empty folder.
            CRotation rotation;
            if (!rotation.Plan(szPath, &pSet->nFileGenerations, GENERATIONS_FILE, szSource))
                return ReportNotReplaced(szPath);
            if (!services.CreateDirectory(rotation.SwapPath()))
                return cannotMake();
            return rotation.Finish() || ReportNotReplaced(szPath);
        }
        if (!services.RemoveFile(szPath))
            return cannotMake();
    }
    return services.CreateDirectory(szPath) || cannotMake();
}
