#include <pthread.h>
#include <time.h>

#include "PlatformTypes.h"
#include "platform/Thread.h"

namespace {

struct ThreadStart {
    void (*pfnStart)(void*);
    void* pArg;
};

void* RunThread(void* pData)
{
    ThreadStart start = *static_cast<ThreadStart*>(pData);
    delete static_cast<ThreadStart*>(pData);
    start.pfnStart(start.pArg);
    return nullptr;
}

}  // namespace

uintptr_t StartThread(void (*pfnStart)(void*), void* pArg)
{
    ThreadStart* pStart = new ThreadStart{pfnStart, pArg};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunThread, pStart) != 0) {
        delete pStart;
        return 0;
    }
    return static_cast<uintptr_t>(thread);
}

void JoinThread(uintptr_t thread)
{
    pthread_join(static_cast<pthread_t>(thread), nullptr);
}

void Sleep(DWORD dwMilliseconds)
{
    struct timespec delay;
    delay.tv_sec = dwMilliseconds / 1000;
    delay.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0) {
    }
}
