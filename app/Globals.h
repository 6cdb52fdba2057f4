// State shared by the user-interface thread and the worker thread.  Each
// flag is written by one side only; atomics make every write visible to the
// other side without locks.  (g_pConfig lives with the settings, g_bLogOpen
// and g_logFile with the run log.)
#pragma once

#include <atomic>

class CProgressDlg;

// The progress dialog; null without a window.  Set before the worker starts.
extern CProgressDlg* g_pProgressDlg;
// 0 while the worker runs, 1 once it has finished (its last act).
extern std::atomic<short> g_bWorkerDone;
// 1 once the user has cancelled (Cancel button, or a signal on POSIX).
extern std::atomic<short> g_bCancel;

// Outcome of the run, for the process exit status.
extern std::atomic<short> g_bRunFailed;    // a copy, rotation or set failed
extern std::atomic<short> g_bRunAborted;   // the user aborted a shell copy

// Exit status of a run that started: 0 all well, 1 something failed, 2 cancelled.
int GetRunExitStatus();

// Sets a label of the progress window to a text.  Does nothing without a
// window or once Cancel has been pressed; never waits for the window.
void SetProgressLabel(int nID, const char* pszText);
