// The window system on Windows is always there, and the windows that a run
// without a progress window shows (the shell's copy window, the not-ready
// message box) run on the worker's own thread: nothing to open or pump.
#include "platform/WindowSystem.h"

BOOL OpenWindowSystem()
{
    return TRUE;
}

void PumpWindowSystem()
{
}

void SetQuestionCancelFlag(const std::atomic<short>*)
{
}

void OpenWindowSystemOnDemand()
{
}
