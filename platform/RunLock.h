// One run at a time per settings file.  Two runs on the same file would
// rotate and copy into the same destinations at once, so a second run is
// turned away at the start.  The lock is one that the system drops when its
// process ends, however it ends: a killed run never blocks the next one.
#pragma once

#include "PlatformTypes.h"

class CRunLock {
public:
    CRunLock();
    ~CRunLock();

    // Takes the lock of the settings file at pszSettingsPath (a full path).
    // FALSE only when another holder has it.  On Windows the lock belongs to
    // the calling thread, which must also release it.  Where the system cannot lock
    // at all (a file system without locks) the run is not held up: TRUE.
    BOOL Acquire(const char* pszSettingsPath);
    void Release();

private:
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    intptr_t m_nHandle;  // a folder's descriptor on POSIX, a mutex on Windows
};

// Says why a run could not start: one line on stderr on POSIX; on Windows a
// message box when bShowWindow (display levels 2 and 3), else nothing, as a
// scheduled run at levels 0 and 1 must never wait for a click.
void ReportRunNotStarted(const char* pszText, BOOL bShowWindow);
