// The state of one backup run that the engine owns: the cancel request, the
// outcome flags behind the exit status, and where progress is reported.
// The user-interface thread writes the cancel flag; everything else is
// written by the worker.  Atomics make each write visible without locks.
#pragma once

#include <atomic>

#include "platform/ExitStatus.h"

// 1 once the user has cancelled (Cancel button, or a signal on POSIX).
extern std::atomic<short> g_bCancel;
// How many failures (a copy, a rotation, a set) the run has had.
extern std::atomic<long> g_nRunFailures;
// The user aborted a shell copy.
extern std::atomic<short> g_bRunAborted;

// Counts one failure: the run will end with EXIT_FAILED.
void NoteRunFailure();

// Clears the flags above, before a run starts.
void ResetRunState();

// Exit status of a run that started: all well, failed or cancelled.
int GetRunExitStatus();

// The texts the engine shows while it works.
enum ProgressItem { PROGRESS_SET_NUMBER, PROGRESS_SOURCE, PROGRESS_DEST, PROGRESS_CHECKING, PROGRESS_COPYING };

// Whoever shows the progress (a window); without one the engine reports to
// nobody.  Must not wait for the window.
class ProgressSink {
public:
    virtual ~ProgressSink() {}
    virtual void SetText(ProgressItem nItem, const char* pszText) = 0;
};

// Puts a sink in place (null: none).  Set before the worker starts.
void SetProgressSink(ProgressSink* pSink);

// Shows a text; nothing without a sink or once Cancel has been pressed, so
// that the window keeps what it showed when the user cancelled.
void ReportProgress(ProgressItem nItem, const char* pszText);

// TRUE when a sink would hear ReportProgress: lets callers skip formatting.
bool IsProgressShown();
