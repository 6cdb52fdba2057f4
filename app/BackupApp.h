// The application object: one backup pass per start.
#pragma once

#include "platform/WinApp.h"

class CBackupApp : public CWinApp {
public:
    BOOL InitInstance() override;
};

// The worker thread: opens the run log, runs every set, closes the log and
// sets g_bWorkerDone as its very last act.
void RunBackup(void* pArg);

// Starts RunBackup on a new thread after clearing the flags it shares with
// the user-interface thread.  FALSE when no thread could be started; the
// caller must not wait for it then.
BOOL StartWorker(void* pArg);

// Waits until the worker StartWorker started has ended, to its thread's
// very end (it has set g_bWorkerDone before); nothing when none runs.
void JoinWorker();
