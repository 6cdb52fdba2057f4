// State of the application shared by the user-interface thread and the
// worker thread.  The run's own state (cancel, outcome) is the engine's, in
// engine/RunState.h; g_pConfig lives with the settings, g_bLogOpen and
// g_logFile with the run log.
#pragma once

#include <atomic>

#include "engine/RunState.h"

class CProgressDlg;

// The progress dialog; null without a window.  Set before the worker starts.
extern CProgressDlg* g_pProgressDlg;
// 0 while the worker runs, 1 once it has finished (its last act).
extern std::atomic<short> g_bWorkerDone;
