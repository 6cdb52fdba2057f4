#include "platform/Signals.h"

#include <csignal>

namespace {

std::atomic<short>* g_pbCancelFlag = nullptr;

void OnCancelSignal(int)
{
    // Only a lock-free store: the worker finishes the file in hand and winds up.
    if (g_pbCancelFlag != nullptr)
        g_pbCancelFlag->store(1);
}

}  // namespace

void InstallCancelSignals(std::atomic<short>* pbCancel)
{
    static_assert(std::atomic<short>::is_always_lock_free, "the cancel flag is set from a signal handler");
    g_pbCancelFlag = pbCancel;
    struct sigaction action = {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}
