#include "platform/FileServices.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <locale.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "platform/posix/MessageBox.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/TreeRoot.h"

namespace {

// errno itself is overwritten by any later call (a log write, a label
// update), so the error of our last failed operation is kept apart.
thread_local DWORD t_dwLastError = 0;

BOOL Fail(int nError)
{
    t_dwLastError = static_cast<DWORD>(nError);
    return FALSE;
}

BOOL FailWithErrno()
{
    return Fail(errno);
}

BYTE AttributesOf(const char* pszPath, const struct stat& st)
{
    BYTE attribute = S_ISDIR(st.st_mode) ? FILE_ATTR_DIRECTORY : FILE_ATTR_ARCHIVE;
    if (IsPassedOver(st.st_mode))
        attribute |= FILE_ATTR_DEVICE;
    if ((st.st_mode & S_IWUSR) == 0)
        attribute |= FILE_ATTR_READONLY;
    const char* pszSlash = strrchr(pszPath, '/');
    const char* pszName = pszSlash != nullptr ? pszSlash + 1 : pszPath;
    if (pszName[0] == '.' && strcmp(pszName, ".") != 0 && strcmp(pszName, "..") != 0)
        attribute |= FILE_ATTR_HIDDEN;
    return attribute;
}

BOOL CopyName(const char* pszName, DirEntry& entry)
{
    size_t nLength = strlen(pszName);
    if (nLength >= sizeof entry.szName)
        return FALSE;
    memcpy(entry.szName, pszName, nLength + 1);
    return TRUE;
}

class PosixDirectoryReader : public DirectoryReader {
public:
    explicit PosixDirectoryReader(DIR* pDir) : m_pDir(pDir) {}
    ~PosixDirectoryReader() override { closedir(m_pDir); }

    BOOL Next(DirEntry& entry) override
    {
        for (;;) {
            errno = 0;
            struct dirent* pEntry = readdir(m_pDir);
            if (pEntry == nullptr) {
                if (errno != 0) {
                    m_dwError = static_cast<DWORD>(errno);
                    Fail(errno);
                }
                return FALSE;
            }
            // Linux names are at most 255 bytes; this never skips one.
            if (!CopyName(pEntry->d_name, entry))
                continue;
            if (pEntry->d_type == DT_UNKNOWN) {
                struct stat st;
                entry.bDirectory = fstatat(dirfd(m_pDir), pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(st.st_mode);
            } else {
                // A link to a folder is DT_LNK: the walk backs it up as a
                // link instead of following it.
                entry.bDirectory = pEntry->d_type == DT_DIR;
            }
            entry.bFolderLink = FALSE;
            return TRUE;
        }
    }

private:
    DIR* m_pDir;
};

// What FindFirstFile gives for a name without wildcards: the entry itself.
class SingleEntryReader : public DirectoryReader {
public:
    explicit SingleEntryReader(const DirEntry& entry) : m_entry(entry), m_bDone(FALSE) {}

    BOOL Next(DirEntry& entry) override
    {
        if (m_bDone)
            return FALSE;
        entry = m_entry;
        m_bDone = TRUE;
        return TRUE;
    }

private:
    DirEntry m_entry;
    BOOL m_bDone;
};

// File systems that take names differing only in case for one name, by
// their statfs type: FAT, exFAT, NTFS (the old driver and ntfs3) and the
// SMB clients.  Treating a case-sensitive share as one of them leaves out
// one of two such names, with a line in the log; the other way round one
// copy would silently overwrite the other.
const unsigned long CASE_FOLDING_FILE_SYSTEMS[] = {0x4d44, 0x2011bab0, 0x5346544e, 0x7366746e,
                                                   0x517b, 0xff534d42, 0xfe534d42};
const unsigned long EXT4_MAGIC = 0xef53;
const unsigned long F2FS_MAGIC = 0xf2f52010;
const int CASEFOLD_FLAG = 0x40000000;  // FS_CASEFOLD_FL, missing from older headers

// A descriptor closed when it goes out of scope.
class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Reset(-1); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// How many finished copies wait for one flush before their names: enough
// that the flush costs little per file, few enough that their names take
// little memory and a stop or a crash loses little work.  A flush per file
// cost four to ten times as much as none.  Each waiting copy keeps its
// temporary open (its lock), and two batches may wait at once: they leave
// room under the limit of open files for everything else, the walk's
// listings and chains above all (a deep tree's take well over a hundred).
const size_t BATCH_FILES = 512;
const size_t BATCH_FILES_LEAST = 16;
const size_t OTHER_OPEN_FILES = 160;
const long long BATCH_BYTES = 256LL * 1024 * 1024;
// How many copies on a network file system are flushed at once.
const size_t OWN_FLUSHES_AT_ONCE = 8;

size_t BatchFiles()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return BATCH_FILES;
    rlim_t nRoom = limit.rlim_cur > OTHER_OPEN_FILES ? (limit.rlim_cur - OTHER_OPEN_FILES) / 2 : 0;
    return nRoom >= BATCH_FILES ? BATCH_FILES : nRoom >= BATCH_FILES_LEAST ? static_cast<size_t>(nRoom) : BATCH_FILES_LEAST;
}

class PosixFileServices : public FileServices {
public:
    // A flush still under way must not outlive its batch.
    ~PosixFileServices() override
    {
        if (m_flusher.joinable())
            m_flusher.join();
    }

    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink) override
    {
        FilePlace place;
        struct stat st;
        if (!Place(pszPath, false, place) || fstatat(place.fdDir, place.name.c_str(), &st, NoFollow(place, bFollowLink)) != 0)
            return FailWithErrno();
        status.m_mtime = CTime(st.st_mtim.tv_sec);
        status.m_size = static_cast<long long>(st.st_size);
        status.m_attribute = AttributesOf(pszPath, st);
        return TRUE;
    }

    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override
    {
        FilePlace place;
        struct stat st;
        if (!Place(pszPath, false, place) || fstatat(place.fdDir, place.name.c_str(), &st, NoFollow(place, TRUE)) != 0)
            return FailWithErrno();
        identity.nVolume = static_cast<unsigned long long>(st.st_dev);
        identity.nIndex = static_cast<unsigned long long>(st.st_ino);
        return TRUE;
    }

    void SetTreeRoots(const char* pszSourceRoot, const char* pszDestRoot) override
    {
        // Copies still pending belong to the set that ends here.  A folder is
        // known by its device and inode only while its set runs: a later
        // folder may take a deleted one's inode.
        FinishBatch();
        m_cleaned.clear();
        m_syncKinds.clear();
        m_source.Set(pszSourceRoot);
        m_dest.Set(pszDestRoot);
        m_previous.Clear();
    }

    void SetPreviousCopyRoot(const char* pszRoot) override
    {
        m_previous.Set(pszRoot);
    }

    ShareResult ShareFile(const char* pszFrom, const char* pszPrevious, const char* pszTo, int nMargin) override
    {
        // Each place stands on its own root's chain (the earlier copy has a
        // root of its own, so that going to and fro between it and the new
        // copy opens no folder twice); a descriptor is held only where a
        // later place could move the chain it belongs to.
        FilePlace from, previous;
        CFd fromDir, previousDir;
        struct stat stFrom, stPrevious;
        if (!PlaceBefore(pszFrom, pszPrevious, from, fromDir) ||
            fstatat(from.fdDir, from.name.c_str(), &stFrom, from.bBelowRoot ? AT_SYMLINK_NOFOLLOW : 0) != 0 ||
            !PlaceBefore(pszPrevious, pszTo, previous, previousDir) ||
            fstatat(previous.fdDir, previous.name.c_str(), &stPrevious, AT_SYMLINK_NOFOLLOW) != 0 ||
            !IsUnchangedCopy(from, stFrom, previous, stPrevious, nMargin))
            return SHARE_NONE;

        // A clone is a file of its own, so nothing done to one copy reaches
        // the other: it comes first where the file system makes them.  One
        // refusal is enough to know a file system does not.
        if (m_noClone.count(stPrevious.st_dev) == 0) {
            BOOL bAborted = FALSE;
            if (CopyOne(pszPrevious, pszTo, FOF_SILENT | COPY_CLONE_ONLY, &bAborted, FALSE) == 0)
                return SHARE_CLONED;
            m_noClone.insert(stPrevious.st_dev);
            if (!PlaceBefore(pszPrevious, pszTo, previous, previousDir))
                return SHARE_NONE;
        }
        FilePlace to;
        if (!Place(pszTo, false, to) ||
            linkat(previous.fdDir, previous.name.c_str(), to.fdDir, to.name.c_str(), 0) != 0)
            return SHARE_NONE;
        return SHARE_LINKED;
    }

    void FinishCopies(CopyFailureFn pfnFailed, void* pContext) override
    {
        FinishBatch();
        std::vector<Failure> failures;
        failures.swap(m_failures);
        for (const Failure& failure : failures) {
            if (pfnFailed != nullptr)
                pfnFailed(failure.path.c_str(), failure.dwError, failure.bFolder, pContext);
        }
    }

    BOOL FinishFolder(const char* pszSrcFolder, const char* pszDstFolder) override
    {
        CFd src(OpenFolder(pszSrcFolder));
        if (src.Get() < 0)
            return FailWithErrno();
        CFd dst(OpenFolder(pszDstFolder));
        if (dst.Get() < 0)
            return FailWithErrno();
        struct stat stSrc, stDst;
        if (fstat(src.Get(), &stSrc) != 0 || fstat(dst.Get(), &stDst) != 0)
            return FailWithErrno();
        // A rename still to come into this folder would move its time again,
        // and a mode without write permission (a read-only source folder)
        // would refuse it: both wait behind the renames.
        bool bWait = !m_filling.copies.empty() || !m_flushing.copies.empty();
        mode_t mode = NO_MODE;
        int nError = CopyAttributes(src.Get(), stSrc, dst.Get(), stDst, bWait ? &mode : nullptr);
        bool bTime = stDst.st_mtim.tv_sec != stSrc.st_mtim.tv_sec || stDst.st_mtim.tv_nsec != stSrc.st_mtim.tv_nsec;
        if (bWait && (bTime || mode != NO_MODE)) {
            m_filling.folders.push_back(FolderFinish{pszDstFolder, stSrc.st_atim, stSrc.st_mtim, bTime, mode});
        } else if (bTime) {
            struct timespec times[2] = {stSrc.st_atim, stSrc.st_mtim};
            if (futimens(dst.Get(), times) != 0 && nError == 0)
                nError = errno;
        }
        return nError == 0 ? TRUE : Fail(nError);
    }

    DWORD GetLastError() override { return t_dwLastError; }

    DirectoryReader* OpenDirectory(const char* pszPattern) override
    {
        static const char ALL[] = "*.*";
        const size_t nAll = sizeof ALL - 1;
        size_t nLength = strlen(pszPattern);
        if (nLength >= nAll && strcmp(pszPattern + nLength - nAll, ALL) == 0 &&
            (nLength == nAll || pszPattern[nLength - nAll - 1] == '/')) {
            std::string folder(pszPattern, nLength - nAll);
            if (folder.empty())
                folder = ".";
            if (g_pfnBeforeOpenFolder != nullptr)
                g_pfnBeforeOpenFolder(folder.c_str());
            int fd = OpenFolder(folder.c_str());
            DIR* pDir = fd >= 0 ? fdopendir(fd) : nullptr;
            if (pDir == nullptr) {
                FailWithErrno();
                if (fd >= 0)
                    close(fd);
                return nullptr;
            }
            return new PosixDirectoryReader(pDir);
        }

        // Any other pattern is taken as one exact name.
        FilePlace place;
        struct stat st;
        if (!Place(pszPattern, false, place) ||
            fstatat(place.fdDir, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            FailWithErrno();
            return nullptr;
        }
        const char* pszSlash = strrchr(pszPattern, '/');
        DirEntry entry;
        if (!CopyName(pszSlash != nullptr ? pszSlash + 1 : pszPattern, entry)) {
            Fail(ENAMETOOLONG);
            return nullptr;
        }
        entry.bDirectory = S_ISDIR(st.st_mode);
        entry.bFolderLink = FALSE;
        return new SingleEntryReader(entry);
    }

    BOOL CanList(const char* pszFolder) override
    {
        CFd fd(OpenFolder(pszFolder));
        if (fd.Get() < 0)
            return FailWithErrno();
        // A folder that can be read but not entered lists names whose
        // status and contents cannot be had: nothing of it could be copied.
        return faccessat(fd.Get(), ".", X_OK, AT_EACCESS) == 0 ? TRUE : FailWithErrno();
    }

    BOOL IsCaseInsensitive(const char* pszFolder) override
    {
        CFd fd(OpenFolder(pszFolder));
        struct statfs info;
        if (fd.Get() < 0 || fstatfs(fd.Get(), &info) != 0)
            return FailWithErrno();
        const unsigned long nType = static_cast<unsigned long>(info.f_type);
        for (unsigned long nFolding : CASE_FOLDING_FILE_SYSTEMS) {
            if (nType == nFolding)
                return TRUE;
        }
        // These fold case only in folders made to (chattr +F), and their
        // subfolders, which inherit it.
        if (nType != EXT4_MAGIC && nType != F2FS_MAGIC)
            return FALSE;
        int nFlags = 0;
        return ioctl(fd.Get(), FS_IOC_GETFLAGS, &nFlags) == 0 && (nFlags & CASEFOLD_FLAG) != 0;
    }

    BOOL CanRead(const char* pszPath, BOOL bFollowLink) override
    {
        FilePlace place;
        if (!Place(pszPath, false, place))
            return FailWithErrno();
        struct stat st;
        int nNoFollow = NoFollow(place, bFollowLink);
        if (nNoFollow != 0 && fstatat(place.fdDir, place.name.c_str(), &st, nNoFollow) == 0 && S_ISLNK(st.st_mode)) {
            // A link is backed up as its target text: reading it means
            // reading that.
            char c;
            return readlinkat(place.fdDir, place.name.c_str(), &c, 1) >= 0 ? TRUE : FailWithErrno();
        }
        int fd = openat(place.fdDir, place.name.c_str(),
                        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (nNoFollow != 0 ? O_NOFOLLOW : 0));
        if (fd < 0)
            return FailWithErrno();
        // A folder opens for reading here but is not a file to copy, as on
        // Windows, where it does not open.
        int nError = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
        close(fd);
        return nError == 0 ? TRUE : Fail(nError);
    }

    BOOL Exists(const char* pszPath) override
    {
        FilePlace place;
        struct stat st;
        return Place(pszPath, false, place) && fstatat(place.fdDir, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
            ? TRUE
            : FailWithErrno();
    }

    BOOL CreateDirectory(const char* pszPath) override
    {
        // Below a root a folder is ours alone until its walk is done and it
        // gets its source's mode; the name held by a link or a file fails
        // with EEXIST either way.
        FilePlace place;
        return Place(pszPath, false, place) &&
                mkdirat(place.fdDir, place.name.c_str(), place.bBelowRoot ? 0700 : 0777) == 0
            ? TRUE
            : FailWithErrno();
    }

    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink) override
    {
        if (pbAborted != nullptr)
            *pbAborted = FALSE;
        int nError = CopyOne(pszFrom, pszTo, nFlags, pbAborted, bFollowLink);
        // Out of descriptors, as a low limit may leave the copy: the waiting
        // copies get their names and let theirs go, and it is tried again.
        if (nError == EMFILE && (!m_filling.copies.empty() || !m_flushing.copies.empty())) {
            FinishBatch();
            nError = CopyOne(pszFrom, pszTo, nFlags, pbAborted, bFollowLink);
        }
        if (nError != 0)
            Fail(nError);
        // A full batch goes now; after the copy, as it moves the chains.
        if (m_filling.copies.size() >= m_nBatchFiles || m_nPendingBytes >= BATCH_BYTES)
            StartFlush();
        return nError;
    }

    BOOL DeleteTree(const char* pszPath) override
    {
        FilePlace place;
        if (!PlaceForChange(pszPath, place))
            return FailWithErrno();
        int nError = DeleteTreeAt(place.fdDir, place.name.c_str());
        return nError == 0 ? TRUE : Fail(nError);
    }

    BOOL RemoveFile(const char* pszPath) override
    {
        FilePlace place;
        return Place(pszPath, false, place) && unlinkat(place.fdDir, place.name.c_str(), 0) == 0 ? TRUE
                                                                                                    : FailWithErrno();
    }

    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        FilePlace from, to;
        if (!PlaceForChange(pszFrom, from))
            return FailWithErrno();
        // The second place may move the chain the first one stands on.
        CFd fromDir(from.fdDir == AT_FDCWD ? -1 : fcntl(from.fdDir, F_DUPFD_CLOEXEC, 0));
        if (from.fdDir != AT_FDCWD && fromDir.Get() < 0)
            return FailWithErrno();
        int fdFrom = from.fdDir == AT_FDCWD ? AT_FDCWD : fromDir.Get();
        if (!Place(pszTo, false, to))
            return FailWithErrno();
        // Windows refuses to rename onto an existing name; plain rename()
        // would silently replace a file there, and the generation rotation
        // relies on a failed rename leaving the older copy alone.
        if (renameat2(fdFrom, from.name.c_str(), to.fdDir, to.name.c_str(), RENAME_NOREPLACE) == 0)
            return TRUE;
        if (errno != EINVAL && errno != ENOSYS)
            return FailWithErrno();
        // File systems without RENAME_NOREPLACE: check, then rename.
        struct stat st;
        if (fstatat(to.fdDir, to.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return Fail(EEXIST);
        return renameat(fdFrom, from.name.c_str(), to.fdDir, to.name.c_str()) == 0 ? TRUE : FailWithErrno();
    }

    void ShellOpen(const char* pszCommand) override
    {
        int nError = StartDetached(pszCommand);
        if (nError != 0)
            Fail(nError);
    }

    void FlushFileSystem(const char* pszPath) override
    {
        // syncfs needs a descriptor on the file system: the nearest folder
        // that exists (never a device or FIFO, whose open has effects).
        std::string path = pszPath;
        for (;;) {
            struct stat st;
            if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                break;
            size_t nSlash = path.find_last_of('/');
            if (nSlash == std::string::npos) {
                path = ".";
                break;
            }
            path.resize(nSlash == 0 ? 1 : nSlash);
            if (path == "/")
                break;
        }
        int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            FailWithErrno();
            return;
        }
        if (syncfs(fd) != 0)
            FailWithErrno();
        close(fd);
    }

    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT) override
    {
        return AskRetryCancel(pszText, pszCaption);
    }

private:
    struct Failure {
        std::string path;
        DWORD dwError;
        BOOL bFolder;  // a folder's time, not a copy's name
    };
    struct Pending {
        std::string to;
        std::string temp;
        dev_t device;
        int fd;         // the temporary, open and locked until it has its name
        bool bSyncOwn;  // flushed on its own: its file system's syncfs may not reach the disk
        int nError;     // of that flush
    };
    // A folder's time and mode, held back until the copies into it have
    // their names (bTime false, mode NO_MODE: that one is not to be set).
    struct FolderFinish {
        std::string path;
        struct timespec atime;
        struct timespec mtime;
        bool bTime;
        mode_t mode;
    };
    struct SyncFile {
        dev_t device;
        int fd;      // one of the batch's copies on it, not owned
        int nError;  // of its flush
    };
    // Copies whose names wait for their data to reach the disk, a file per
    // file system to flush for them, and the folders that wait for their
    // names.
    struct Batch {
        std::vector<Pending> copies;
        std::vector<SyncFile> syncFiles;
        std::vector<FolderFinish> folders;
    };

    static int NoFollow(const FilePlace& place, BOOL bFollowLink)
    {
        return place.bBelowRoot || !bFollowLink ? AT_SYMLINK_NOFOLLOW : 0;
    }

    // Where pszPath lands: below a registered root, a name in its folder's
    // descriptor; elsewhere (and for a root itself) the whole path.  FALSE
    // with errno set when a folder on the way cannot be reached.
    BOOL Place(const char* pszPath, bool bCreateFolders, FilePlace& place)
    {
        size_t nRoot = 0;
        CTreeRoot* pRoot = RootOf(pszPath, &nRoot);
        if (pRoot == nullptr || !SplitBelowRoot(pszPath + nRoot, m_names)) {
            if (pRoot != nullptr) {
                errno = EINVAL;
                return FALSE;
            }
            place.fdDir = AT_FDCWD;
            place.name = pszPath;
            place.bBelowRoot = false;
            return TRUE;
        }
        if (m_names.empty()) {
            place.fdDir = AT_FDCWD;
            place.name = pszPath;
            place.bBelowRoot = false;
            return TRUE;
        }
        int nError = 0;
        place.fdDir = pRoot->Reach(m_names, m_names.size() - 1, bCreateFolders, &nError);
        if (place.fdDir < 0) {
            errno = nError;
            return FALSE;
        }
        place.name = m_names.back();
        place.bBelowRoot = true;
        return TRUE;
    }

    // Place for a rename or delete: when the entry is a folder, the copies
    // pending inside it are finished first and the chains, which may hold
    // it, are let go.
    BOOL PlaceForChange(const char* pszPath, FilePlace& place)
    {
        struct stat st;
        if (!Place(pszPath, false, place))
            return FALSE;
        if (fstatat(place.fdDir, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            return TRUE;
        FinishBatch();
        m_source.Forget();
        m_dest.Forget();
        m_previous.Forget();
        return Place(pszPath, false, place);
    }

    // The registered root pszPath lies below (the deepest), with the length
    // of its path in *pnRoot; nullptr when there is none.
    CTreeRoot* RootOf(const char* pszPath, size_t* pnRoot)
    {
        CTreeRoot* pRoot = nullptr;
        *pnRoot = 0;
        for (CTreeRoot* pCandidate : {&m_source, &m_dest, &m_previous}) {
            size_t n = pCandidate->Match(pszPath);
            if (n > *pnRoot) {
                *pnRoot = n;
                pRoot = pCandidate;
            }
        }
        return pRoot;
    }

    // Place, with the folder's descriptor held by held when the later place
    // pszLater stands on the same root's chain and so could close it.
    BOOL PlaceBefore(const char* pszPath, const char* pszLater, FilePlace& place, CFd& held)
    {
        if (!Place(pszPath, false, place))
            return FALSE;
        size_t nRoot;
        if (place.fdDir == AT_FDCWD || RootOf(pszPath, &nRoot) != RootOf(pszLater, &nRoot))
            return TRUE;
        held.Reset(fcntl(place.fdDir, F_DUPFD_CLOEXEC, 0));
        place.fdDir = held.Get();
        return held.Get() >= 0;
    }

    // A readable descriptor of the folder pszFolder, or -1 with errno set.
    int OpenFolder(const char* pszFolder)
    {
        FilePlace place;
        if (!Place(pszFolder, false, place))
            return -1;
        if (place.bBelowRoot)
            return OpenFolderNoFollow(place.fdDir, place.name.c_str(), O_RDONLY);
        return open(place.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    int CopyOne(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink)
    {
        size_t nLength = strlen(pszTo);
        if (nLength == 0 || pszTo[nLength - 1] == '/')
            return EISDIR;
        FilePlace to;
        CFd toDir;
        if (!Place(pszTo, true, to))
            return errno;
        if (!to.bBelowRoot) {
            // Outside the roots: the folder by its path, made when missing.
            std::string folder = to.name;
            size_t nSlash = folder.find_last_of('/');
            to.name = nSlash == std::string::npos ? folder : folder.substr(nSlash + 1);
            folder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : folder.substr(0, nSlash);
            int nError = CreateFolderPath(folder.c_str());
            if (nError != 0)
                return nError;
            toDir.Reset(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (toDir.Get() < 0)
                return errno;
            to.fdDir = toDir.Get();
        } else {
            // The chain is shared with the source's place below.
            toDir.Reset(fcntl(to.fdDir, F_DUPFD_CLOEXEC, 0));
            if (toDir.Get() < 0)
                return errno;
            to.fdDir = toDir.Get();
        }

        FilePlace from;
        if (!Place(pszFrom, false, from))
            return errno;
        RemoveStaleTemporariesOnce(to.fdDir, from);
        // Deferred renames need FinishCopies, which only a caller that set
        // the roots knows to call.
        PendingRename pending = {-1, std::string(), 0, 0};
        int nError = CopyEntry(from, pszFrom, to, pszTo, nFlags, pbAborted, bFollowLink,
                               to.bBelowRoot && (nFlags & COPY_FINISH_NOW) == 0 ? &pending : nullptr);
        if (nError == 0 && pending.fdFile >= 0)
            Defer(pszTo, pending);
        return nError;
    }

    // The sweep of a destination folder, at its first copy of the set: the
    // source folder of that copy says which names are the user's own.
    void RemoveStaleTemporariesOnce(int fdDir, const FilePlace& from)
    {
        struct stat st;
        if (fstat(fdDir, &st) != 0 || !m_cleaned.insert(std::make_pair(st.st_dev, st.st_ino)).second)
            return;
        if (from.fdDir != AT_FDCWD) {
            RemoveStaleTemporaries(fdDir, from.fdDir);
            return;
        }
        // A source folder that cannot be opened cannot say: no sweep.
        size_t nSlash = from.name.find_last_of('/');
        std::string folder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : from.name.substr(0, nSlash);
        CFd source(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (source.Get() >= 0)
            RemoveStaleTemporaries(fdDir, source.Get());
    }

    // TRUE when the file system of a waiting copy is flushed whole by its
    // syncfs; asked once a set for each.
    bool SyncReachesDiskOf(const PendingRename& pending)
    {
        for (const auto& kind : m_syncKinds) {
            if (kind.first == pending.device)
                return kind.second;
        }
        bool bWhole = SyncReachesDisk(pending.fdFile);
        m_syncKinds.emplace_back(pending.device, bWhole);
        return bWhole;
    }

    void Defer(const char* pszTo, PendingRename& pending)
    {
        bool bSyncOwn = !SyncReachesDiskOf(pending);
        // One open file per file system is all a syncfs needs.
        bool bHaveSync = false;
        for (const SyncFile& sync : m_filling.syncFiles)
            bHaveSync = bHaveSync || sync.device == pending.device;
        if (!bSyncOwn && !bHaveSync)
            m_filling.syncFiles.push_back(SyncFile{pending.device, pending.fdFile, 0});
        m_filling.copies.push_back(Pending{pszTo, pending.temp, pending.device, pending.fdFile, bSyncOwn, 0});
        m_nPendingBytes += pending.nBytes;
    }

    // Puts every pending copy's data on disk, then their names, then the
    // times of the folders that waited for them.
    void FinishBatch()
    {
        StartFlush();
        CompleteFlush();
    }

    // A flush that fails (a write error surfacing now) fails every copy
    // waiting on that file system, or the one copy it was for: their data
    // may not be there.
    static void FlushBatch(Batch* pBatch)
    {
        for (SyncFile& sync : pBatch->syncFiles)
            sync.nError = syncfs(sync.fd) == 0 ? 0 : errno;
        // A copy flushed on its own waits for its server's answer: a few
        // flushes at once share those waits, and the server's disk can
        // commit them together.
        std::atomic<size_t> nNext(0);
        std::vector<Pending>& copies = pBatch->copies;
        auto flushOwn = [&nNext, &copies] {
            for (size_t i = nNext++; i < copies.size(); i = nNext++) {
                if (copies[i].bSyncOwn)
                    copies[i].nError = g_copyDataCalls.pfnSyncData(copies[i].fd) == 0 ? 0 : errno;
            }
        };
        size_t nOwn = 0;
        for (const Pending& copy : copies)
            nOwn += copy.bSyncOwn ? 1 : 0;
        std::vector<std::thread> helpers;
        try {
            while (helpers.size() + 1 < nOwn && helpers.size() + 1 < OWN_FLUSHES_AT_ONCE)
                helpers.emplace_back(flushOwn);
        } catch (const std::system_error&) {
            // Fewer at once, then.
        }
        flushOwn();
        for (std::thread& helper : helpers)
            helper.join();
    }

    // The filling batch is flushed on a thread of its own while the copy
    // goes on, once the batch before it has its names: the copy no longer
    // stands still while the disk writes.
    void StartFlush()
    {
        CompleteFlush();
        std::swap(m_filling, m_flushing);
        m_nPendingBytes = 0;
        if (m_flushing.copies.empty())
            return;
        try {
            m_flusher = std::thread(FlushBatch, &m_flushing);
        } catch (const std::system_error&) {
            FlushBatch(&m_flushing);  // no thread to be had: the copy waits
        }
    }

    // Waits for the flush under way, then gives its copies their names and
    // its folders their modes and times.
    void CompleteFlush()
    {
        if (m_flusher.joinable())
            m_flusher.join();
        for (const Pending& copy : m_flushing.copies) {
            FilePlace place = {-1, std::string(), false};
            int nError = copy.nError;
            for (const SyncFile& sync : m_flushing.syncFiles)
                nError = sync.device == copy.device && nError == 0 ? sync.nError : nError;
            if (nError == 0 && !Place(copy.to.c_str(), false, place))
                nError = errno;
            if (nError == 0 && renameat(place.fdDir, copy.temp.c_str(), place.fdDir, place.name.c_str()) != 0)
                nError = errno;
            if (nError != 0) {
                if (place.fdDir != -1 || Place(copy.to.c_str(), false, place))
                    unlinkat(place.fdDir, copy.temp.c_str(), 0);
                m_failures.push_back(Failure{copy.to, static_cast<DWORD>(nError), FALSE});
            }
            close(copy.fd);
        }
        for (const FolderFinish& folder : m_flushing.folders) {
            FilePlace place;
            int nNoFollow = 0;
            int nError = 0;
            if (!Place(folder.path.c_str(), false, place))
                nError = errno;
            else
                nNoFollow = place.bBelowRoot ? AT_SYMLINK_NOFOLLOW : 0;
            // A mode the file system refuses (vfat) is passed over, as for
            // any copy.
            if (nError == 0 && folder.mode != NO_MODE)
                (void)fchmodat(place.fdDir, place.name.c_str(), folder.mode, nNoFollow);
            struct timespec times[2] = {folder.atime, folder.mtime};
            if (nError == 0 && folder.bTime && utimensat(place.fdDir, place.name.c_str(), times, nNoFollow) != 0)
                nError = errno;
            if (nError != 0)
                m_failures.push_back(Failure{folder.path, static_cast<DWORD>(nError), TRUE});
        }
        m_flushing.copies.clear();
        m_flushing.syncFiles.clear();
        m_flushing.folders.clear();
    }

    CTreeRoot m_source;
    CTreeRoot m_dest;
    CTreeRoot m_previous;  // the earlier copy ShareFile takes files from
    std::set<dev_t> m_noClone;  // file systems that refused a clone
    std::vector<std::string> m_names;  // scratch for Place
    Batch m_filling;   // takes the copies as they are made
    Batch m_flushing;  // flushed by m_flusher while it runs
    std::thread m_flusher;
    long long m_nPendingBytes = 0;
    std::vector<Failure> m_failures;
    std::set<std::pair<dev_t, ino_t>> m_cleaned;  // folders rid of stale temporaries this run
    std::vector<std::pair<dev_t, bool>> m_syncKinds;  // file systems this set: does their syncfs reach the disk
    const size_t m_nBatchFiles = BatchFiles();  // copies a batch takes
};

}  // namespace

void (*g_pfnBeforeOpenFolder)(const char* pszFolder) = nullptr;

FileServices& GetRealFileServices()
{
    static PosixFileServices services;
    return services;
}

BOOL IsMissingError(DWORD dwError)
{
    return dwError == ENOENT || dwError == ENOTDIR;
}

void MakeCaseKey(const char* pszName, std::string& key)
{
    // Upper case by the Unicode tables, as the case-folding file systems
    // compare; without them (no C.UTF-8 locale), A-Z alone.
    static const locale_t s_utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    key.clear();
    for (const char* p = pszName; *p != '\0';) {
        const int nLength = CharLength(p);
        unsigned long nCode = static_cast<unsigned char>(*p);
        if (nLength > 1) {
            nCode &= 0xffu >> (nLength + 1);
            for (int i = 1; i < nLength; i++)
                nCode = (nCode << 6) | (static_cast<unsigned char>(p[i]) & 0x3fu);
        } else if (nCode >= 0x80) {
            nCode += 0x110000;  // a byte that is no character stays itself
        }
        if (nCode >= 'a' && nCode <= 'z')
            nCode -= 'a' - 'A';
        else if (nCode < 0x110000 && s_utf8 != static_cast<locale_t>(nullptr))
            nCode = static_cast<unsigned long>(towupper_l(static_cast<wint_t>(nCode), s_utf8));
        key.append(reinterpret_cast<const char*>(&nCode), sizeof nCode);
        p += nLength;
    }
}

void FormatSystemError(DWORD dwError, char* pszOut, size_t nSize)
{
    if (nSize == 0)
        return;
    char szBuffer[256];
    const char* pszText = dwError == COPY_ERROR_SOURCE_CHANGED
        ? "File changed while it was copied"
        : strerror_r(static_cast<int>(dwError), szBuffer, sizeof szBuffer);
    size_t nLength = strlen(pszText);
    if (nLength >= nSize)
        nLength = CharBoundaryAtOrBefore(pszText, nSize - 1);
    memcpy(pszOut, pszText, nLength);
    pszOut[nLength] = '\0';
}
