// The GTK side of the window system that code outside the dialogs uses from
// the worker thread: whether a display is open, and the main thread's hand
// for work that must run there.  (POSIX only.)
#pragma once

// TRUE once OpenWindowSystem has opened a display.  Any thread.
bool IsWindowSystemOpen();

// Runs pfn(pData) on the main thread when it next serves the window
// system.  Any thread; never waits.
void RunOnWindowThread(void (*pfn)(void* pData), void* pData);

// Asks a question with Retry and Cancel in a message box shown by the main
// thread and waits for the answer (IDRETRY or IDCANCEL).  Gives up with
// IDCANCEL once the flag set by SetQuestionCancelFlag is set.  FALSE when
// there is no display: the caller asks some other way.
bool AskRetryCancelInWindow(const char* pszText, const char* pszCaption, int* pnAnswer);
