// The POSIX file operations behind FileServices that are more than one
// system call.  Each returns 0 or the errno value of the failure.
//
// They work on a name relative to a folder descriptor.  Below a tree root
// that folder was reached component by component with O_NOFOLLOW, so no
// link met on the way stands in for a folder; elsewhere the folder is
// AT_FDCWD and the name a whole path, resolved as the system does.
#pragma once

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "PlatformTypes.h"

// A name relative to a folder descriptor.  bBelowRoot: the name is never
// followed when it is a link, whatever the caller asked.
struct FilePlace {
    int fdDir;
    std::string name;
    bool bBelowRoot;
};

// A finished copy whose temporary still waits for its final name.
struct PendingRename {
    int fdFile;          // the temporary, still open and locked (owned) until it has its name
    std::string temp;    // the temporary's name beside the destination
    long long nBytes;    // data written
    dev_t device;        // file system that holds it
};

// Copies from to the file to without ever leaving a partial file under its
// name: the data goes into a temporary beside it, which gets the source's
// mode, owner (as root), extended attributes and times.  A link is copied
// as a link unless bFollowLink (honoured only outside tree roots); a FIFO
// or a device node is made anew.  At most the size seen when the source was
// opened is copied, holes stay holes, and a source whose size or time moved
// while it was copied is copied once more, then given up with
// COPY_ERROR_SOURCE_CHANGED.  A regular file's temporary is locked (flock)
// from its creation until it has its name, so that another run's sweep
// passes over it.  The temporary is renamed at once unless pPending is
// given: a regular file's rename is then left to the caller, described
// there.  Progress is reported unless nFlags holds FOF_SILENT; an abort
// there sets *pbAborted and returns ECANCELED.  pszFrom and pszTo are the
// paths, for the progress report.
int CopyEntry(const FilePlace& from, const char* pszFrom, const FilePlace& to, const char* pszTo, UINT nFlags,
              BOOL* pbAborted, BOOL bFollowLink, PendingRename* pPending);

// A flag of CopyEntry beside CopyFile's: the data is cloned from the source
// (the file system shares its blocks) or the copy fails, never read and
// written.
const UINT COPY_CLONE_ONLY = 0x20000;

// TRUE when this process may keep owners and privileged attributes.
bool IsRoot();

// TRUE for an error that says the file system does not do this at all.
bool Unsupported(int nError);

// Attributes in the kernel's own name spaces (security., trusted.), which
// only root can set.
bool IsPrivilegedAttribute(const char* pszName);

// The names of fd's extended attributes, each ended by a NUL (none where the
// file system has none); 0, or errno.
int ListAttributes(int fd, std::vector<char>& names);

// Reads attribute pszName of fd into value; 0, or errno (ENODATA when absent).
int ReadAttribute(int fd, const char* pszName, std::vector<char>& value);

// TRUE when the complete copy previous (described by stPrevious) still
// stands for the regular file from (stFrom) as a copy made now would: the
// same size, modification time (exactly, or at most nMargin seconds older
// than from's), permission bits, owner and group when run as root, and
// extended attributes (those a copy keeps).
bool IsUnchangedCopy(const FilePlace& from, const struct stat& stFrom, const FilePlace& previous,
                     const struct stat& stPrevious, int nMargin);

// Gives fdTo (described by dst) the mode, owner (as root), extended
// attributes of fdFrom (described by src) wherever they differ; times are
// left to the caller.  With pHeldMode the mode is not set but left there for
// the caller (NO_MODE when it needs no change).  A mode or owner the file
// system refuses is passed over, as is an attribute it does not support;
// any other attribute failure is returned.
const mode_t NO_MODE = static_cast<mode_t>(-1);
int CopyAttributes(int fdFrom, const struct stat& src, int fdTo, const struct stat& dst, mode_t* pHeldMode = nullptr);

// Removes the temporaries an interrupted copy left in the open folder fdDir,
// but never a name that the source folder fdSourceDir holds, nor a
// temporary that a running copy holds locked.
void RemoveStaleTemporaries(int fdDir, int fdSourceDir);

// TRUE when a syncfs of the file system that holds fd puts a file's data
// on disk: a local disk file system.  A network or FUSE one may never pass
// that flush on to its server, so each of its copies is flushed itself.
bool SyncReachesDisk(int fd);

// TRUE for an entry that is no file to copy: a socket, or a device node
// when not root (only root can make one).  The walk passes over it.
bool IsPassedOver(mode_t mode);

// Makes pszFolder and every missing folder above it.
int CreateFolderPath(const char* pszFolder);

// Removes the entry name in fdDir and, when it is a folder, everything in
// it, never following a symbolic link.  A missing entry is not an error.
int DeleteTreeAt(int fdDir, const char* pszName);

// Starts pszCommand detached from this process (its own session, standard
// streams on /dev/null, never waited for): an executable file is run
// directly, anything else is handed to xdg-open.  The command is one path
// or URL, never split into arguments and never given to a shell.
int StartDetached(const char* pszCommand);

// The kernel calls with which the copy moves a file's data, in the order it
// tries them, the progress report between chunks, and the calls that put
// the data on disk.  Tests put their own in place to reach the slower ways,
// to make the copy fail half-way or to abort it, or to see a network file
// system; DefaultCopyDataCalls() gives the real ones.
struct CopyDataCalls {
    int (*pfnClone)(int fdTo, int fdFrom);                          // whole file: ioctl FICLONE
    ssize_t (*pfnCopyRange)(int fdFrom, int fdTo, size_t nBytes);   // at both files' offsets
    ssize_t (*pfnWrite)(int fd, const void* pData, size_t nBytes);  // after read()
    BOOL (*pfnProgress)(const char* pszFrom, const char* pszTo, long long nDone, long long nTotal);
    int (*pfnStatFs)(int fd, struct statfs* pInfo);                 // fstatfs: which file system
    int (*pfnSyncData)(int fd);                                     // fdatasync of one copy
};
extern CopyDataCalls g_copyDataCalls;
CopyDataCalls DefaultCopyDataCalls();

// Called with a folder's path just before a listing opens it, after its
// parent's listing named it: where a test swaps the folder for a link.
extern void (*g_pfnBeforeOpenFolder)(const char* pszFolder);
