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

namespace {

HANDLE WakeEvent()
{
    static HANDLE s_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return s_hEvent;
}

}  // namespace

void WaitServingWindowSystem(const std::atomic<short>* pbDone)
{
    // The event ends the wait at once; the time-out only guards a wake that
    // could not be made.
    while (pbDone->load() == 0)
        WaitForSingleObject(WakeEvent(), 100);
}

void SetFlagAndWake(std::atomic<short>* pbFlag)
{
    *pbFlag = 1;
    SetEvent(WakeEvent());
}
