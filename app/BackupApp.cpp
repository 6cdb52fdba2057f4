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
#include "platform/WindowSystem.h"

namespace {

// A run starts only with its settings file, and only when no other run holds
// that file: without settings it would back up nothing and end as a success,
// and two runs would rotate and copy into the same destinations at once.
BOOL CanStartRun(CRunLock& runLock)
{
    const CBackupConfig& config = *g_pConfig;
    const std::string path = config.m_szIniPath[0] != '\0' ? config.m_szIniPath : "Tandemix.ini";
    if (!config.m_bFileFound) {
        ReportRunNotStarted(("設定ファイル " + path + " が見つからないか読めないため、バックアップを始めません").c_str(),
                            config.m_bShowWindow);
        return FALSE;
    }
    if (!runLock.Acquire(config.m_szIniPath)) {
        ReportRunNotStarted(("設定ファイル " + path + " で別のバックアップが実行中のため、バックアップを始めません").c_str(),
                            config.m_bShowWindow);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL StartWorker(void* pArg)
{
    // Cleared here, before the thread exists, so that a Cancel pressed in the
    // moment before the worker runs is not lost.
    ResetRunState();
    g_bWorkerDone = 0;
    return _beginthread(RunBackup, 0, pArg) != static_cast<uintptr_t>(-1);
}

void RunBackup(void*)
{
    if (g_pConfig->m_szLogFile[0] != '\0') {
        g_logFile.SetTextEncoding(g_pConfig->m_nTextEncoding);
        if (OpenRunLog(g_pConfig->m_szLogFile))
            WriteLog(LOG_RESULT, "Tandemix start.");
    }
    RunBackupSets();
    CloseRunLog();
    SetFlagAndWake(&g_bWorkerDone);
}

BOOL CBackupApp::InitInstance()
{
    g_bLogOpen = 0;
    g_pConfig = new CBackupConfig("Tandemix.ini");
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
            m_nExitCode = GetRunExitStatus();
        } else {
            m_nExitCode = EXIT_NOT_STARTED;
        }
    }

    delete g_pConfig;
    g_pConfig = nullptr;
    return FALSE;
}
