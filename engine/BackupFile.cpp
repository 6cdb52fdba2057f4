#include "engine/BackupFile.h"

#include <cstdio>
#include <string>

#include "engine/BackupReport.h"
#include "engine/ExclusionFilters.h"
#include "engine/Generations.h"
#include "engine/PathUtils.h"
#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"

namespace {

// Worker thread only.
long g_nCopiesStarted = 0;

const char TIME_PATTERN[] = "%Y%m%d%H%M%S";

// A file's time as the compare line shows it.  Files of one folder often
// share a time (an unpacked archive, a copy), and a local time costs more
// to format than the rest of the line: the last one is kept (worker thread
// only).
std::string FormatFileTime(CTime time)
{
    static CTime s_last(-1);
    static std::string s_text;
    if (time != s_last) {
        s_last = time;
        s_text = time.Format(TIME_PATTERN);
    }
    return s_text;
}

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

// The rotation of x moves or deletes the names k_x beside its copy.  When
// the source folder holds such a name itself, its copy is one of them, and
// the rotation would overwrite it with an older x: x is not replaced then.
BOOL HasGenerationNamesInSource(const char* pszSrcPath, int32_t nCount)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!GetFolderPart(szFolder, sizeof(szFolder), pszSrcPath) || !GetFileNamePart(szName, sizeof(szName), pszSrcPath))
        return FALSE;
    FileServices& services = GetFileServices();
    for (int32_t n = 1; n <= nCount && n <= 9; n++) {
        char szClash[PATH_BUFFER];
        int nLength = snprintf(szClash, sizeof(szClash), "%s%d_%s", szFolder, static_cast<int>(n), szName);
        if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szClash))
            continue;
        CFileStatus status;
        if (services.GetStatus(szClash, status)) {
            WriteLogNaming(LOG_RESULT, "  バックアップ元に世代と同じ名前があるので世代を作りません  ", szClash, "");
            return TRUE;
        }
    }
    return FALSE;
}

short StopFlag(short nStop)
{
    return g_bCancel != 0 ? 1 : nStop;
}

}  // namespace

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
    if (IsTargetExtension(pszRelName, pSet) == 0)
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

    if (bExists) {
        // Two local times to format for every file that has a copy: only
        // when the line is written.
        if (IsLogWritten(LOG_DETAIL)) {
            std::string srcText = FormatFileTime(srcTime);
            std::string dstText = dstStatus.m_mtime == srcTime ? srcText : FormatFileTime(dstStatus.m_mtime);
            WriteLogFormat(LOG_DETAIL, "  コピー先に同名ファイルを発見  タイムスタンプ from:to = %s:%s , マージン=%d",
                           srcText.c_str(), dstText.c_str(), pSet->nTimeMargin);
        }
        // A copy whose size differs is no copy, whatever its time says (a
        // crash can leave a file's name and time on disk before its data).
        if (!IsCopyDue(srcTime, dstStatus.m_mtime, pSet->nTimeMargin) && srcStatus.m_size == dstStatus.m_size)
            return StopFlag(0);
    }

    if (bExists && pSet->nFileGenerations >= 1 &&
        (HasGenerationNamesInSource(szSrcPath, pSet->nFileGenerations) || !RotateFileGenerations(szDstPath, pSet))) {
        WriteLogNaming(LOG_RESULT, "  世代を作れなかったのでコピーしません  ", szDstPath, "");
        NoteRunFailure();
        return StopFlag(0);
    }

    ReportProgress(PROGRESS_COPYING, szDstPath);
    UINT nFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    if (g_pConfig == nullptr || g_pConfig->m_bShowShellProgress == 0)
        nFlags |= FOF_SILENT;
    WriteLogFormat(LOG_RESULT, "  コピーします  %s => %s", szSrcPath, szDstPath);

    short nStop = 0;
    BOOL bAborted = FALSE;
    ++g_nCopiesStarted;
    if (services.CopyFile(szSrcPath, szDstPath, nFlags, &bAborted, bFollowLink) != 0) {
        unsigned long nError = services.GetLastError();
        WriteLogFormat(LOG_RESULT, "SHFileOperation()でエラーが返りました  code=%lx", nError);
        NoteRunFailure();
    }
    if (bAborted) {
        g_bRunAborted = 1;
        nStop = 1;
    }
    return StopFlag(nStop);
}
