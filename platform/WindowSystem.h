// The window system as the program's start-up and waits see it.
#pragma once

#include <atomic>

#include "WindowTypes.h"

// Connects to the window system.  FALSE when none can be used (on POSIX:
// no display could be opened); Windows always has one.
BOOL OpenWindowSystem();

// Lets the main thread open the window system when another thread first
// needs it (PumpWindowSystem serves the request) instead of at once, so that
// a run that shows no window never loads it.  Nothing on Windows.
void OpenWindowSystemOnDemand();

// Runs what waits for the window system on the main thread, for a wait of
// the main thread that has no window of its own (on POSIX the shell-like
// copy window and the not-ready question of a run without a progress
// window).  Nothing on Windows, where those windows run on the worker.
void PumpWindowSystem();

// Waits on the main thread until *pbDone is set, meanwhile serving the
// window system for other threads as PumpWindowSystem does.  The wait ends
// as soon as another thread sets the flag through SetFlagAndWake.
void WaitServingWindowSystem(const std::atomic<short>* pbDone);
void SetFlagAndWake(std::atomic<short>* pbFlag);

// A question that the worker puts through the main thread gives up, with
// the answer Cancel, once *pbCancel is set: the main thread may then be
// waiting for the worker and unable to take the answer.  Nothing on Windows,
// where the worker asks on its own thread.
void SetQuestionCancelFlag(const std::atomic<short>* pbCancel);
