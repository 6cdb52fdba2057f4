#include "app/BackupApp.h"

#include <cstdio>
#include <string>

#include "app/Globals.h"
#include "app/ProgressDlg.h"
#include "app/resource.h"
#include "config/BackupConfig.h"
#include "engine/SetLoop.h"
#include "log/RunLog.h"
#include "platform/RunLock.h"
#include "platform/SignalClick.h"
#include "platform/Signals.h"
#include "platform/Thread.h"
#include "platform/WindowSystem.h"

namespace {

// What keeps a run from starting, in the words the user reads.
const char* NotStartedReason(SettingsState nState)
{
    switch (nState) {
    case SETTINGS_MISSING:
        return "が見つからないか読めない";
    case SETTINGS_NOT_A_FILE:
        return "が通常のファイルではない";
    case SETTINGS_TOO_LARGE:
        return "が大きすぎる (16 MiB 超) ";
    case SETTINGS_NO_GENERAL:
        return "に [全般] セクションがない (文字コードか形式の違うファイル) ";
    case SETTINGS_READ:
        break;
    }
    return "";
}

// A run starts only with its settings file, and only with its lock: without
// settings it would back up nothing and end as a success, and two runs would
// rotate and copy into the same destinations at once.
BOOL CanStartRun(CRunLock& runLock)
{
    const CBackupConfig& config = *g_pConfig;
    const std::string path = config.m_szIniPath[0] != '\0' ? config.m_szIniPath : "Tandemix.ini";
    std::string text;
    if (config.m_nState != SETTINGS_READ) {
        text = "設定ファイル " + path + " " + NotStartedReason(config.m_nState) + "ため、バックアップを始めません";
    } else {
        std::string why;
        switch (runLock.Acquire(config.m_szIniPath, why)) {
        case RUN_LOCK_TAKEN:
            return TRUE;
        case RUN_LOCK_BUSY:
            text = "設定ファイル " + path + " で別のバックアップが実行中のため、バックアップを始めません";
            break;
        case RUN_LOCK_UNAVAILABLE:
            text = "実行中の印 (ロックファイル) を置けないため、バックアップを始めません: " + why;
            break;
        }
    }
    ReportToUser(text.c_str(), config.m_bShowWindow);
    return FALSE;
}

// The keys on a line that does not decode may read as missing or garbled;
// a hand-edited file deserves to be told which line to look at.
void WarnOfBadLine(const CBackupConfig& config)
{
    if (config.m_nState == SETTINGS_READ && config.m_nBadLine > 0)
        fprintf(stderr, "Tandemix: %s の %zu 行目は %s として読めません\n", config.m_szIniPath, config.m_nBadLine,
                config.m_nTextEncoding == ENCODING_SHIFT_JIS ? "Shift-JIS" : "UTF-8");
}

// A log that was asked for but cannot be written is a failure of the run,
// which goes on without it.
void ReportLogProblem(const std::string& text)
{
    NoteRunFailure();
    ReportToUser(text.c_str(), g_pConfig->m_bShowWindow);
}

}  // namespace

namespace {

uintptr_t s_worker = 0;  // the worker's thread while it may still run

}  // namespace

BOOL StartWorker(void* pArg)
{
    // Cleared here, before the thread exists, so that a Cancel pressed in the
    // moment before the worker runs is not lost.
    ResetRunState();
    g_bWorkerDone = 0;
    s_worker = StartThread(RunBackup, pArg);
    return s_worker != 0;
}

void JoinWorker()
{
    if (s_worker != 0)
        JoinThread(s_worker);
    s_worker = 0;
}

void RunBackup(void*)
{
    const std::string logName = g_pConfig->m_szLogFile;
    if (g_pConfig->m_bLogNameTooLong) {
        ReportLogProblem("ログファイル名が長すぎるため、ログなしでバックアップします");
    } else if (!logName.empty()) {
        g_logFile.SetTextEncoding(g_pConfig->m_nTextEncoding);
        std::string why;
        if (OpenRunLog(logName.c_str(), why))
            WriteLog(LOG_RESULT, "Tandemix start.");
        else
            ReportLogProblem("ログファイル " + logName + " を書けないため、ログなしでバックアップします: " + why);
    }
    RunBackupSets();
    if (!CloseRunLog())
        ReportLogProblem("ログファイル " + logName + " に書けなかった行があります");
    SetFlagAndWake(&g_bWorkerDone);
}

BOOL CBackupApp::InitInstance()
{
    g_bLogOpen = 0;
    g_pConfig = new CBackupConfig("Tandemix.ini");
    WarnOfBadLine(*g_pConfig);
    CRunLock runLock;
    if (!CanStartRun(runLock)) {
        m_nExitCode = EXIT_NOT_STARTED;
        delete g_pConfig;
        g_pConfig = nullptr;
        return FALSE;
    }
    InstallCancelSignals(&g_bCancel);
    SetQuestionCancelFlag(&g_bCancel);

    BOOL bWindow = g_pConfig->m_bShowWindow != 0;
    if (bWindow && !OpenWindowSystem()) {
        std::fputs("Tandemix: ディスプレイを開けないため、ウィンドウなしで実行します\n", stderr);
        bWindow = FALSE;
    }

    if (bWindow) {
        // The dialog's initialisation starts the worker, and the dialog ends
        // only once the worker has finished.
        CProgressDlg dlg;
        m_pMainWnd = &dlg;
        INT_PTR nResult;
        {
            CSignalClick signalClick(&dlg, IDC_CANCELBUTTON);
            nResult = dlg.DoModal();
        }
        InstallCancelSignals(&g_bCancel);
        m_pMainWnd = nullptr;
        JoinWorker();
        if (dlg.HasStartedWorker())
            m_nExitCode = GetRunExitStatus();
        else if (nResult == -1)
            bWindow = FALSE;   // no window could be made: the backup runs without one
        else
            m_nExitCode = EXIT_NOT_STARTED;
    }
    if (!bWindow) {
        // Without a progress window the copy may still show its own, and a
        // medium that is not ready is asked about in a message box at every
        // display level (on POSIX the main thread draws both, opening the
        // window system only when one is first wanted); no display simply
        // means neither.
        OpenWindowSystemOnDemand();
        if (StartWorker(this)) {
            WaitServingWindowSystem(&g_bWorkerDone);
            JoinWorker();
            m_nExitCode = GetRunExitStatus();
        } else {
            m_nExitCode = EXIT_NOT_STARTED;
        }
    }

    delete g_pConfig;
    g_pConfig = nullptr;
    return FALSE;
}
