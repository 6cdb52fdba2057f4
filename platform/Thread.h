// The run's worker thread: started, and later waited for to its very end.
// A process that ends while a thread of its own is still on its way out
// can be killed instead of ending with its status (Wine did so about one
// run in thirty), so the program never ends before the worker has.
#pragma once

#include <cstdint>

// Runs pfnStart(pArg) on a new thread; 0 when none could be started.
uintptr_t StartThread(void (*pfnStart)(void*), void* pArg);

// Waits until the thread StartThread gave has ended, and lets it go.
void JoinThread(uintptr_t thread);
