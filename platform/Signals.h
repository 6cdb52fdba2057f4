// Cancelling a run without a window: on POSIX, SIGINT, SIGTERM and SIGHUP
// set the cancel flag, as the Cancel button does.  Nothing on Windows.
#pragma once

#include <atomic>

void InstallCancelSignals(std::atomic<short>* pbCancel);
