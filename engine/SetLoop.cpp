#include "engine/SetLoop.h"

#include <cstdio>
#include <cstring>

#include "app/Globals.h"
#include "app/resource.h"
#include "config/BackupConfig.h"
#include "engine/BackupFile.h"
#include "engine/BackupFolder.h"
#include "engine/BackupReport.h"
#include "engine/Generations.h"
#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"
#include "platform/Text.h"

namespace {

enum SourceKind { SOURCE_DRIVE_ROOT, SOURCE_FOLDER, SOURCE_FILE, SOURCE_SHARE_ROOT, SOURCE_MISSING };

// Drive letters and shares are forms of a backslash-separated system; where
// the separator is '/', "x:/" and "//x" are ordinary paths.
const bool WINDOWS_FORMS = PATH_SEP == '\\';

BOOL IsDriveRoot(const char* pszPath)
{
    size_t nLength = strlen(pszPath);
    return WINDOWS_FORMS && nLength >= 3 && pszPath[nLength - 2] == ':' && pszPath[nLength - 1] == PATH_SEP;
}

BOOL IsShareRoot(const char* pszPath)
{
    return WINDOWS_FORMS && strlen(pszPath) >= 3 && pszPath[0] == PATH_SEP && pszPath[1] == PATH_SEP;
}

// Whether the path's last character is a separator.  Read character by
// character: a Shift-JIS character whose second byte is 0x5C is no separator.
BOOL EndsWithSeparator(const char* pszPath)
{
    const char* pszLast = nullptr;
    for (const char* p = pszPath; *p != '\0'; p += CharLength(p))
        pszLast = p;
    return pszLast != nullptr && *pszLast == PATH_SEP && pszLast[1] == '\0';
}

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
    if (IsShareRoot(pszSource)) {
        WriteLogNaming(LOG_DETAIL, "バックアップ元は共有エントリ(", pszSource, ")でした");
        return SOURCE_SHARE_ROOT;
    }
    return SOURCE_MISSING;
}

// Writes a result line about a source that was left out, with the system's
// error text, and counts the run as failed.
void ReportSource(const char* pszSource, const char* pszWhat, DWORD dwError)
{
    g_bRunFailed = 1;
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    char szAfter[512];
    int nLength = snprintf(szAfter, sizeof(szAfter), ")%s  エラー=%s", pszWhat, szError);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szAfter))
        nLength = snprintf(szAfter, sizeof(szAfter), ")%s", pszWhat);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szAfter))
        return;
    WriteLogNaming(LOG_RESULT, "バックアップ元(", pszSource, szAfter);
}

void ReportSet(int nSetNumber, const char* pszWhat)
{
    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... %s", nSetNumber, pszWhat);
    g_bRunFailed = 1;
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

// The destination folder itself, without its trailing separator.
BOOL CopyDestinationItem(char* pszOut, size_t nSize, const char* pszDest)
{
    if (!SafeCopy(pszOut, nSize, pszDest))
        return FALSE;
    if (EndsWithSeparator(pszOut))
        pszOut[strlen(pszOut) - 1] = '\0';
    return TRUE;
}

// Fills the paths of the plan; FALSE, after a result line, when one does
// not fit.
BOOL PlanPaths(const BackupSet* pSet, SetPlan& plan)
{
    BOOL bFits = TRUE;
    plan.szName[0] = '\0';
    if (plan.nKind == SOURCE_FOLDER) {
        // "data" and "data/" name one folder, which is copied under its own
        // name; trailing separators would leave an empty name.
        char szTrimmed[PATH_BUFFER];
        bFits = SafeCopy(szTrimmed, sizeof(szTrimmed), pSet->szSource);
        while (bFits && strlen(szTrimmed) > 1 && EndsWithSeparator(szTrimmed))
            szTrimmed[strlen(szTrimmed) - 1] = '\0';
        bFits = bFits && GetFileNamePart(plan.szName, sizeof(plan.szName), szTrimmed) &&
                CopyAsFolder(plan.szSrcFolder, sizeof(plan.szSrcFolder), szTrimmed);
        if (bFits && plan.szName[0] != '\0') {
            bFits = SafeCopy(plan.szItem, sizeof(plan.szItem), pSet->szDest) &&
                    SafeCat(plan.szItem, sizeof(plan.szItem), plan.szName);
        } else if (bFits) {
            // A folder without a name of its own ("/") is a root: copied
            // straight into the destination folder.
            bFits = CopyDestinationItem(plan.szItem, sizeof(plan.szItem), pSet->szDest);
        }
        bFits = bFits && CopyAsFolder(plan.szDstFolder, sizeof(plan.szDstFolder), plan.szItem);
    } else if (plan.nKind == SOURCE_FILE) {
        // Straight into the destination folder, under its own name.
        bFits = GetFileNamePart(plan.szName, sizeof(plan.szName), pSet->szSource) &&
                GetFolderPart(plan.szSrcFolder, sizeof(plan.szSrcFolder), pSet->szSource) &&
                SafeCopy(plan.szItem, sizeof(plan.szItem), pSet->szDest) &&
                SafeCat(plan.szItem, sizeof(plan.szItem), plan.szName) &&
                SafeCopy(plan.szDstFolder, sizeof(plan.szDstFolder), pSet->szDest);
    } else {
        // A drive root or a share root goes straight into the destination
        // folder, which is itself the item.
        bFits = CopyAsFolder(plan.szSrcFolder, sizeof(plan.szSrcFolder), pSet->szSource) &&
                CopyDestinationItem(plan.szItem, sizeof(plan.szItem), pSet->szDest) &&
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

// Runs one set; returns the stop flag.
short RunSet(int nSetNumber, BackupSet* pSet)
{
    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップ開始", nSetNumber);
    if (g_bCancel == 0 && g_pProgressDlg != nullptr) {
        char szNumber[16];
        snprintf(szNumber, sizeof(szNumber), "%d", nSetNumber);
        SetProgressLabel(IDC_SETNUMBER, szNumber);
        SetProgressLabel(IDC_SOURCE, pSet->szSource);
        SetProgressLabel(IDC_DEST, pSet->szDest);
    }

    FileServices& services = GetFileServices();
    CFileStatus status;
    SetPlan plan;
    plan.nKind = ClassifySource(pSet->szSource, status);
    if (plan.nKind == SOURCE_MISSING) {
        ReportSource(pSet->szSource, "が見つからないのでバックアップしません", services.GetLastError());
        return 0;
    }
    if (!PlanPaths(pSet, plan) || !CanReadSource(pSet, plan))
        return 0;

    if (!RotateTopGenerations(plan.szItem, pSet)) {
        ReportSet(nSetNumber, "世代を作れなかったのでバックアップしません");
        return 0;
    }

    long nCopiesBefore = GetCopiesStarted();
    short nStop;
    if (plan.nKind == SOURCE_FILE) {
        // The shell copy makes a missing destination folder itself.
        nStop = BackupFile(plan.szSrcFolder, plan.szDstFolder, plan.szName, pSet, TRUE);
    } else {
        CreateFolderChain(plan.szDstFolder);
        nStop = BackupFolder(plan.szSrcFolder, nullptr, plan.szDstFolder, pSet);
    }
    // A set that has finished is on disk, whatever happens to the run after
    // it, and under its names before its after-command sees it.
    services.FinishCopies(nullptr, nullptr);
    if (GetCopiesStarted() != nCopiesBefore)
        services.FlushFileSystem(plan.szDstFolder);

    if (plan.nKind == SOURCE_DRIVE_ROOT || plan.nKind == SOURCE_SHARE_ROOT)
        return nStop;

    WriteLogFormat(LOG_RESULT, "バックアップセット %d ... バックアップ完了", nSetNumber);
    if (nStop == 0 && g_bCancel == 0 && pSet->szAfterCommand[0] != '\0') {
        if (WriteLogFormat(LOG_DETAIL, "バックアップセット %d ... シェル実行 %s", nSetNumber, pSet->szAfterCommand))
            services.ShellOpen(pSet->szAfterCommand);
        else
            ReportSet(nSetNumber, "実行するコマンドが長すぎるのでシェル実行しません");
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
            if (g_pConfig->m_bSetRefused[nIndex] != 0)
                ReportSet(nIndex + 1, "コピー先が長すぎるのでバックアップしません");
            continue;
        }
        FileServices& services = GetFileServices();
        services.SetTreeRoots(pSet->szSource, pSet->szDest);
        nStop = RunSet(nIndex + 1, pSet);
        services.FinishCopies(nullptr, nullptr);
        services.SetTreeRoots(nullptr, nullptr);
    }
}
