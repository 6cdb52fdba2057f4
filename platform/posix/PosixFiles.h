// The POSIX file operations behind FileServices that are more than one
// system call.  Each returns 0 or the errno value of the failure.
#pragma once

#include <sys/types.h>

#include "PlatformTypes.h"

// Copies pszFrom to the file path pszTo without ever leaving a partial file
// under pszTo: the data goes into a temporary file beside it, which gets the
// source's mode and times and is then renamed over pszTo.  A symbolic link
// is copied as a link unless bFollowLink.  Missing folders above pszTo are
// made.  Progress is reported unless nFlags holds FOF_SILENT; an abort there
// sets *pbAborted and returns ECANCELED.
int CopyFileSafely(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink);

// Makes pszFolder and every missing folder above it.
int CreateFolderPath(const char* pszFolder);

// Removes pszPath and, when it is a folder, everything in it, never
// following a symbolic link.  A missing path is not an error.
int DeleteTreeNoFollow(const char* pszPath);

// Starts pszCommand detached from this process (its own session, standard
// streams on /dev/null, never waited for): an executable file is run
// directly, anything else is handed to xdg-open.  The command is one path
// or URL, never split into arguments and never given to a shell.
int StartDetached(const char* pszCommand);

// The kernel calls with which the copy moves a file's data, in the order it
// tries them, and the progress report between chunks.  Tests put their own
// in place to reach the slower ways, to make the copy fail half-way or to
// abort it; DefaultCopyDataCalls() gives the real ones.
struct CopyDataCalls {
    int (*pfnClone)(int fdTo, int fdFrom);                          // whole file: ioctl FICLONE
    ssize_t (*pfnCopyRange)(int fdFrom, int fdTo, size_t nBytes);   // at both files' offsets
    ssize_t (*pfnWrite)(int fd, const void* pData, size_t nBytes);  // after read()
    BOOL (*pfnProgress)(const char* pszFrom, const char* pszTo, long long nDone, long long nTotal);
};
extern CopyDataCalls g_copyDataCalls;
CopyDataCalls DefaultCopyDataCalls();
