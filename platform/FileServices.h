// The one seam between the backup engine and the operating system's file,
// shell and message services.  The engine reaches the disk only through
// GetFileServices(), and lists folders with the framework's CFileFind over
// the same seam; tests put a fake in its place with SetFileServices().
#pragma once

#include <string>

#include "PlatformTypes.h"
#include "platform/Time.h"

// Attribute bits of CFileStatus::m_attribute (the low eight Windows bits).
const BYTE FILE_ATTR_READONLY = 0x01;
const BYTE FILE_ATTR_HIDDEN = 0x02;
const BYTE FILE_ATTR_DIRECTORY = 0x10;
const BYTE FILE_ATTR_ARCHIVE = 0x20;
// An entry that is no file to copy: on POSIX a socket, or a device node that
// only root could make again.  The walk passes over it.
const BYTE FILE_ATTR_DEVICE = 0x40;

// A flag of CopyFile beside the shell's FOF_* flags (which fit 16 bits): the
// copy's data is on disk before it takes its name, and it has its name when
// CopyFile returns, never left to a batch: for a caller whose next step
// depends on it.
const UINT COPY_FINISH_NOW = 0x10000;

// CopyFile's error when the source's size or time moved while it was copied,
// twice in a row: the copy would have been torn.  A code of the range that
// Windows leaves to applications, so that no system error is ever taken for
// it; FormatSystemError gives its text on both platforms.
const DWORD COPY_ERROR_SOURCE_CHANGED = 0x20000001;

struct CFileStatus {
    CTime m_mtime;       // modification time, whole seconds
    long long m_size;    // bytes
    BYTE m_attribute;    // FILE_ATTR_*; 0x80 is never set
};

// One entry of a folder listing.
struct DirEntry {
    // Long name, without a folder.  A Windows name of 255 UTF-16 units takes
    // up to 765 bytes of UTF-8; a name cut short would be another name.
    char szName[768];
    BOOL bDirectory;     // a real folder; on POSIX a symbolic link never is
    // Windows: a junction or a link to a folder (bDirectory is FALSE).  The
    // walk never enters one: it may lead anywhere, the backup itself
    // included, and a delete of its copy would reach its target.
    BOOL bFolderLink;
};

// What makes a file-system object the same object under any spelling of
// its path: device and inode on POSIX, volume serial and file index on
// Windows.
struct FileIdentity {
    unsigned long long nVolume;
    unsigned long long nIndex;
};

// How ShareFile made a file of a new copy.
enum ShareResult {
    SHARE_NONE,    // nothing made: the caller copies
    SHARE_CLONED,  // a file of its own that shares the earlier copy's blocks
    SHARE_LINKED,  // a hard link: the same file as the earlier copy
};

// Called for each deferred copy whose final rename failed (see FinishCopies),
// and for each folder whose time, held back until the copies into it had
// their names, could not be set (bFolder TRUE, pszTo the folder).
typedef void (*CopyFailureFn)(const char* pszTo, DWORD dwError, BOOL bFolder, void* pContext);

// An open folder listing.  Deleting it closes it.
class DirectoryReader {
public:
    virtual ~DirectoryReader() {}
    // Fills the next entry; FALSE when there is none left, or when reading
    // the listing failed part way (GetError() tells the two apart).  "."
    // and ".." are passed through, as the platform returns them.
    virtual BOOL Next(DirEntry& entry) = 0;
    // The error that cut the listing short; 0 while it has not failed.  A
    // listing that fails is no end of the folder: what it did not name
    // would be left out of the backup.
    DWORD GetError() const { return m_dwError; }

protected:
    DWORD m_dwError = 0;
};

class FileServices {
public:
    virtual ~FileServices() {}

    // Status of an entry.  FALSE for a missing entry, a medium that is not
    // ready (GetLastError() == ERROR_NOT_READY), and on Windows for a drive
    // root or share root, which have no entry of their own.  On POSIX a
    // symbolic link is reported as itself unless bFollowLink is TRUE.
    virtual BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink = FALSE) = 0;

    // Identity of the object at pszPath, following links.  FALSE with the
    // error when it cannot be queried.
    virtual BOOL GetIdentity(const char* pszPath, FileIdentity& identity) = 0;

    // The roots of the trees of the set about to run: the set's source and
    // its destination folder.  Each root itself is reached as the user wrote
    // it (links followed); on POSIX nothing below a root is ever reached
    // through a link, on either side.  Null clears the roots.
    virtual void SetTreeRoots(const char* pszSourceRoot, const char* pszDestRoot)
    {
        (void)pszSourceRoot;
        (void)pszDestRoot;
    }

    // The complete earlier copy of the set's item that ShareFile takes files
    // from while the set builds its new copy (null: none).  A root like
    // those of SetTreeRoots: nothing below it is reached through a link.
    virtual void SetPreviousCopyRoot(const char* pszRoot) { (void)pszRoot; }

    // Makes pszTo share the data of pszPrevious, an earlier copy of pszFrom
    // below the previous-copy root, instead of copying pszFrom, when that
    // copy still stands for it: the same size, the same modification time
    // (exactly, or at most nMargin seconds older), the same permission bits
    // (attributes on Windows), owner and group when run as root, and
    // extended attributes.  A clone where the file system can make one,
    // else a hard link.  SHARE_NONE, with nothing made, when the two differ
    // or neither can be made: sharing saves work and space, and is never a
    // reason for a failure.
    virtual ShareResult ShareFile(const char* pszFrom, const char* pszPrevious, const char* pszTo, int nMargin)
    {
        (void)pszFrom;
        (void)pszPrevious;
        (void)pszTo;
        (void)nMargin;
        return SHARE_NONE;
    }

    // A copy may leave its data in a temporary beside the destination and
    // put it under its name later, so that a batch of copies reaches the
    // disk with one flush before any of their names do.  This finishes every
    // copy still pending; pfnFailed hears of each whose rename failed (its
    // temporary is removed, the destination keeps what it held), and of each
    // folder time that waited for them and could not be set.
    virtual void FinishCopies(CopyFailureFn pfnFailed, void* pContext)
    {
        (void)pfnFailed;
        (void)pContext;
    }

    // Gives a destination folder what it keeps of its source folder, once the
    // walk of that folder has finished (on POSIX: permission bits, owner when
    // run as root, extended attributes, and the modification time last, as
    // the walk has changed it).  Only what differs is written.  FALSE with
    // the error when something could not be set.
    virtual BOOL FinishFolder(const char* pszSrcFolder, const char* pszDstFolder)
    {
        (void)pszSrcFolder;
        (void)pszDstFolder;
        return TRUE;
    }

    // The system's error of the last failed call on this thread.
    virtual DWORD GetLastError() = 0;

    // Starts a listing.  pszPattern is a folder followed by "*.*" (and a
    // separator before it).  Null when the listing cannot start; an empty
    // folder is a listing with no entries, or null with GetLastError() not
    // telling it apart on Windows, where the caller asks CanList.  Any other
    // pattern is taken as one exact name: a listing of that entry alone.
    virtual DirectoryReader* OpenDirectory(const char* pszPattern) = 0;

    // TRUE when the folder can be listed, also when it is empty.
    virtual BOOL CanList(const char* pszFolder) = 0;

    // TRUE when the destination folder takes names that differ only in case
    // for one name (FAT, exFAT, NTFS, SMB, a case-folding ext4 or f2fs
    // folder; on Windows always): two such source names would land on one
    // copy.  FALSE also when it cannot be told.
    virtual BOOL IsCaseInsensitive(const char* pszFolder)
    {
        (void)pszFolder;
        return FALSE;
    }

    // TRUE when the file can be opened for reading (never for a folder).  On
    // POSIX a link that is not followed is readable when its target text is.
    virtual BOOL CanRead(const char* pszPath, BOOL bFollowLink = FALSE) = 0;

    // TRUE when an entry of any kind has this exact name.
    virtual BOOL Exists(const char* pszPath) = 0;

    // Makes one folder; FALSE with the error when it could not.
    virtual BOOL CreateDirectory(const char* pszPath) = 0;

    // Copies one file to a destination file path, replacing it, creating a
    // missing destination folder.  nFlags are the shell's FOF_* flags (the
    // copy shows progress unless FOF_SILENT is set).  Returns 0 on success,
    // else non-zero with GetLastError() set; *pbAborted is TRUE when the
    // user aborted the copy, never for a copy that failed.  The copy is
    // fail-safe: a temporary file beside the destination, renamed over it
    // once complete, with the source's modification time (on POSIX to the
    // nanosecond, with its mode; a symbolic link is copied as a link unless
    // bFollowLink is TRUE).
    virtual int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted,
                         BOOL bFollowLink = FALSE) = 0;

    // Deletes a folder with everything in it, never following a link out of
    // it.  FALSE with the error when anything is left; TRUE when there was
    // nothing to delete.
    virtual BOOL DeleteTree(const char* pszPath) = 0;

    // Deletes one file (on POSIX also a symbolic link).  FALSE with the error.
    virtual BOOL RemoveFile(const char* pszPath) = 0;

    // Renames a file or folder.  FALSE with the error, also when pszTo
    // exists: it is never replaced (POSIX follows Windows here).
    virtual BOOL RenameFile(const char* pszFrom, const char* pszTo) = 0;

    // Opens a command or document the way the shell's "open" does, without
    // waiting for it.  The outcome is not reported.
    virtual void ShellOpen(const char* pszCommand) = 0;

    // Puts what was written to the file system that holds pszPath on disk.
    virtual void FlushFileSystem(const char* pszPath) = 0;

    // Asks the user a question with Retry and Cancel (nStyle as MessageBox's
    // style); returns IDRETRY or IDCANCEL.
    virtual int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) = 0;
};

// The services in force: the real ones unless a test has put others there.
FileServices& GetFileServices();

// Puts pServices in force (null restores the real ones); returns the
// services that were in force.
FileServices* SetFileServices(FileServices* pServices);

// The real services of this platform (one instance, never deleted).
FileServices& GetRealFileServices();

// TRUE when the error says that the entry is not there (any more): such an
// entry vanished between a listing and a query, which is no failure.
BOOL IsMissingError(DWORD dwError);

// Sets key to what tells a name apart on a folder that ignores case
// (IsCaseInsensitive): two names have one key exactly when such a folder
// takes them for one name.  The key is no text to show.
void MakeCaseKey(const char* pszName, std::string& key);

// Text of a system error, for log lines ("Permission denied", ...), in
// UTF-8.
void FormatSystemError(DWORD dwError, char* pszOut, size_t nSize);
