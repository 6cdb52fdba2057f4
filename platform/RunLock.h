// One run at a time per settings file.  Two runs on the same file would
// rotate and copy into the same destinations at once, so a second run is
// turned away at the start.  The lock is one that the system drops when its
// process ends, however it ends: a killed run never blocks the next one.
//
// The lock is a file held exclusively, in a folder that only the run's user
// can write: nobody else can hold it, so no other user can stop or delay a
// run.  It is named after the identity of the folder that holds the settings
// file (device and inode; volume serial and file index on Windows): the
// file's name is fixed, so every spelling of that folder (a link, a mapped
// drive and its share, a short name) finds the same lock, and the window's
// write-back, which replaces the file itself by a rename, does not change
// it.  Two runs of one user on one settings file therefore never overlap;
// runs of two users are two users' business.
//
// Where the lock folder is, and why (POSIX):
// - root: /run/tandemix, a folder of the system's run-time tree.
// - any other user, and root without /run: ~/.cache/tandemix, in the home
//   folder of the password database (never $HOME or $XDG_RUNTIME_DIR, which
//   a cron run, a login and sudo set differently: two runs that look in
//   different places would both start).
// - without a usable home folder (system users such as nobody):
//   /run/user/UID/tandemix, else /tmp/tandemix-UID.
// The folder is made 0700 where missing, opened without following a link,
// and used only when it belongs to the user and nobody else can write it.
// On Windows it is the user's local application data, Tandemix\.
#pragma once

#include <string>

#include "PlatformTypes.h"

enum RunLockResult {
    RUN_LOCK_TAKEN,
    RUN_LOCK_BUSY,         // another run holds it
    RUN_LOCK_UNAVAILABLE,  // no lock could be had: the run must not start
};

class CRunLock {
public:
    CRunLock();
    ~CRunLock();

    // Takes the lock of the settings file at pszSettingsPath (a full path).
    // For RUN_LOCK_UNAVAILABLE, why says what stood in the way.
    RunLockResult Acquire(const char* pszSettingsPath, std::string& why);
    void Release();

private:
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    intptr_t m_nHandle;  // the lock file: a descriptor on POSIX, a handle on Windows
};

// The lock file's name for a settings folder, the same on both systems.
std::string RunLockFileName(unsigned long long nVolume, unsigned long long nIndex);

// Tells the user something the run cannot do, in one line on stderr on
// POSIX; on Windows in a message box when bShowWindow (display levels 2 and
// 3), else nothing, as a scheduled run at levels 0 and 1 must never wait
// for a click.
void ReportToUser(const char* pszText, BOOL bShowWindow);
