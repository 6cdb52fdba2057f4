#include <pthread.h>
#include <time.h>

#include "PlatformTypes.h"

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

uintptr_t _beginthread(void (*pfnStart)(void*), unsigned nStackSize, void* pArg)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return static_cast<uintptr_t>(-1);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (nStackSize != 0)
        pthread_attr_setstacksize(&attr, nStackSize);
    ThreadStart* pStart = new ThreadStart{pfnStart, pArg};
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, RunThread, pStart);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete pStart;
        return static_cast<uintptr_t>(-1);
    }
    return static_cast<uintptr_t>(thread);
}

void Sleep(DWORD dwMilliseconds)
{
    struct timespec delay;
    delay.tv_sec = dwMilliseconds / 1000;
    delay.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0) {
    }
}
