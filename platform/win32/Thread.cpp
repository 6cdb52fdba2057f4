#include "platform/Thread.h"

#include <process.h>
#include <windows.h>

namespace {

struct ThreadStart {
    void (*pfnStart)(void*);
    void* pArg;
};

unsigned __stdcall RunThread(void* pData)
{
    ThreadStart start = *static_cast<ThreadStart*>(pData);
    delete static_cast<ThreadStart*>(pData);
    start.pfnStart(start.pArg);
    return 0;
}

}  // namespace

uintptr_t StartThread(void (*pfnStart)(void*), void* pArg)
{
    ThreadStart* pStart = new ThreadStart{pfnStart, pArg};
    // The runtime library's own start, so that the thread may use it; the
    // handle stays open until JoinThread.
    uintptr_t thread = _beginthreadex(nullptr, 0, RunThread, pStart, 0, nullptr);
    if (thread == 0)
        delete pStart;
    return thread;
}

void JoinThread(uintptr_t thread)
{
    HANDLE hThread = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
}
