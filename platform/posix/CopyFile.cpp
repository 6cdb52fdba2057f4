#include "platform/posix/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <memory>
#include <new>
#include <vector>

#include "platform/FileServices.h"
#include "platform/posix/CopyProgress.h"
#include "platform/Text.h"

namespace {

const size_t COPY_RANGE_CHUNK = 4 * 1024 * 1024;
// Small enough that what one read brings in is still in the core's cache
// when the write takes it out: a megabyte made the copy of the data itself
// cost half as much again.
const size_t READ_WRITE_CHUNK = 128 * 1024;

int CloneFile(int fdTo, int fdFrom)
{
    return ioctl(fdTo, FICLONE, fdFrom);
}

ssize_t CopyRange(int fdFrom, int fdTo, size_t nBytes)
{
    return copy_file_range(fdFrom, nullptr, fdTo, nullptr, nBytes, 0);
}

ssize_t WriteSome(int fd, const void* pData, size_t nBytes)
{
    return write(fd, pData, nBytes);
}

int StatFs(int fd, struct statfs* pInfo)
{
    return fstatfs(fd, pInfo);
}

int SyncData(int fd)
{
    return fdatasync(fd);
}

// The temporary name beside the destination: hidden, recognisably ours, and
// short enough for the file system's name limit even for a long name.
const char TEMP_MARK[] = ".tandemix-";
const size_t TEMP_RANDOM = 6;

std::string TempTemplate(const std::string& name)
{
    const size_t MAX_NAME_PART = 200;
    size_t nKeep = name.size() <= MAX_NAME_PART ? name.size() : CharBoundaryAtOrBefore(name.c_str(), MAX_NAME_PART);
    std::string temp = ".";
    temp.append(name, 0, nKeep);
    temp += TEMP_MARK;
    temp.append(TEMP_RANDOM, 'X');
    return temp;
}

bool IsTemporaryName(const char* pszName)
{
    const size_t nMark = sizeof TEMP_MARK - 1;
    size_t nLength = strlen(pszName);
    if (pszName[0] != '.' || nLength < 1 + nMark + TEMP_RANDOM)
        return false;
    const char* pszTail = pszName + nLength - TEMP_RANDOM;
    if (memcmp(pszTail - nMark, TEMP_MARK, nMark) != 0)
        return false;
    for (size_t i = 0; i < TEMP_RANDOM; ++i) {
        if (!isalnum(static_cast<unsigned char>(pszTail[i])))
            return false;
    }
    return true;
}

// Replaces the trailing XXXXXX with random letters and digits; mkstemp does
// this for files, but a symbolic link needs a name of its own.
void FillTempName(std::string& path)
{
    static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        // Only the spread of names suffers; a clash is retried by the caller.
        unsigned long long n = static_cast<unsigned long long>(getpid()) * 2654435761ULL ^
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&path));
        for (unsigned char& c : random) {
            c = static_cast<unsigned char>(n);
            n = n * 6364136223846793005ULL + 1442695040888963407ULL;
        }
    }
    size_t nStart = path.size() - 6;
    for (size_t i = 0; i < 6; ++i)
        path[nStart + i] = ALPHABET[random[i] % (sizeof ALPHABET - 1)];
}

int WriteAll(int fd, const char* pData, size_t nBytes)
{
    while (nBytes > 0) {
        ssize_t n = g_copyDataCalls.pfnWrite(fd, pData, nBytes);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        pData += n;
        nBytes -= static_cast<size_t>(n);
    }
    return 0;
}

class CopyJob {
public:
    CopyJob(const char* pszFrom, const char* pszTo, BOOL bShowProgress, BOOL bCloneOnly)
        : m_pszFrom(pszFrom), m_pszTo(pszTo), m_bShowProgress(bShowProgress), m_bCloneOnly(bCloneOnly),
          m_bAborted(FALSE)
    {
    }

    BOOL Aborted() const { return m_bAborted; }

    // Copies the data of fdFrom (nTotal bytes when it was looked at) into
    // the empty file fdTo, both at offset 0.  bSparse: the source has holes
    // (fewer blocks than its size), which the copy keeps, as cp does: only
    // the parts that hold data are written, each at its own offset.
    int CopyData(int fdFrom, int fdTo, long long nTotal, bool bSparse)
    {
        if (!Progress(0, nTotal))
            return ECANCELED;
        // Sharing the source's extents costs nothing on file systems that
        // can, and keeps its holes; the others refuse and the data is copied.
        int nClone = nTotal > 0 ? g_copyDataCalls.pfnClone(fdTo, fdFrom) : 0;
        if (nClone != 0 && m_bCloneOnly)
            return errno;
        if (nTotal > 0 && nClone == 0) {
            // The clone takes the file as it is now; what was appended since
            // it was opened is not ours to copy.
            struct stat st;
            if (fstat(fdTo, &st) != 0)
                return errno;
            if (st.st_size > nTotal && ftruncate(fdTo, nTotal) != 0)
                return errno;
            return Progress(nTotal, nTotal) ? 0 : ECANCELED;
        }

        m_bReadWrite = false;
        m_bRangeWorked = false;
        long long nAt = 0;
        long long nWritten = 0;  // where the data written so far ends
        while (nAt < nTotal) {
            long long nStart = nAt;
            long long nEnd = nTotal;
            if (bSparse && !NextData(fdFrom, nAt, nTotal, nStart, nEnd))
                bSparse = false;  // the file system cannot tell: all of it is data
            if (nStart >= nTotal)
                break;
            if (bSparse && (lseek(fdFrom, nStart, SEEK_SET) < 0 || lseek(fdTo, nStart, SEEK_SET) < 0))
                return errno;
            long long nDone = 0;
            int nError = CopyPart(fdFrom, fdTo, nStart, nEnd - nStart, nTotal, nDone);
            if (nError != 0)
                return nError;
            nWritten = nStart + nDone;
            // A source that shrank has nothing more to give.
            if (nDone < nEnd - nStart)
                break;
            nAt = nEnd;
        }
        // A hole at the end has no data to write: the size says where the
        // file ends.
        if (nWritten < nTotal && bSparse && ftruncate(fdTo, nTotal) != 0)
            return errno;
        return 0;
    }

private:
    // The next part that holds data at or after nAt: [nStart, nEnd), nStart
    // at nTotal when there is none.  false when the file system cannot say.
    static bool NextData(int fd, long long nAt, long long nTotal, long long& nStart, long long& nEnd)
    {
        off_t nData = lseek(fd, nAt, SEEK_DATA);
        if (nData < 0) {
            nStart = nAt;
            nEnd = nTotal;
            if (errno != ENXIO)
                return false;
            nStart = nTotal;  // nothing but a hole up to the end
            return true;
        }
        off_t nHole = lseek(fd, nData, SEEK_HOLE);
        nStart = nData < nTotal ? nData : nTotal;
        nEnd = nHole < 0 || nHole > nTotal ? nTotal : nHole;
        return true;
    }

    // Copies nBytes from both files' offsets (nBase in the file); nDone
    // says how many came, fewer when the source ended first.
    int CopyPart(int fdFrom, int fdTo, long long nBase, long long nBytes, long long nTotal, long long& nDone)
    {
        nDone = 0;
        while (nDone < nBytes && !m_bReadWrite) {
            ssize_t n = g_copyDataCalls.pfnCopyRange(fdFrom, fdTo, Chunk(COPY_RANGE_CHUNK, nDone, nBytes));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (m_bRangeWorked || !CopyRangeUnsupported(errno))
                    return errno;
                m_bReadWrite = true;
            } else if (n == 0) {
                // Some file systems (/proc, some FUSE ones) report a size but
                // give nothing through copy_file_range.
                if (m_bRangeWorked)
                    return 0;
                m_bReadWrite = true;
            } else {
                m_bRangeWorked = true;
                nDone += n;
                if (!Progress(nBase + nDone, nTotal))
                    return ECANCELED;
            }
        }
        return m_bReadWrite ? ReadWrite(fdFrom, fdTo, nBase, nBytes, nTotal, nDone) : 0;
    }

    // A writer appending faster than we copy must not make the copy
    // endless: the size seen at the open is all that is copied.
    static size_t Chunk(size_t nChunk, long long nDone, long long nTotal)
    {
        long long nLeft = nTotal - nDone;
        return nLeft < static_cast<long long>(nChunk) ? static_cast<size_t>(nLeft) : nChunk;
    }

    static bool CopyRangeUnsupported(int nError)
    {
        return nError == ENOSYS || nError == EXDEV || nError == EOPNOTSUPP || nError == EINVAL ||
            nError == EBADF || nError == EPERM || nError == ETXTBSY;
    }

    int ReadWrite(int fdFrom, int fdTo, long long nBase, long long nBytes, long long nTotal, long long& nDone)
    {
        // One buffer for every copy of this thread, made once and never
        // cleared: a fresh zeroed buffer for each file cost more than
        // copying a small file does.
        thread_local std::unique_ptr<char[]> t_pBuffer;
        if (!t_pBuffer)
            t_pBuffer.reset(new (std::nothrow) char[READ_WRITE_CHUNK]);
        if (!t_pBuffer)
            return ENOMEM;
        char* pBuffer = t_pBuffer.get();
        while (nDone < nBytes) {
            ssize_t n = read(fdFrom, pBuffer, Chunk(READ_WRITE_CHUNK, nDone, nBytes));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (n == 0)
                return 0;
            int nError = WriteAll(fdTo, pBuffer, static_cast<size_t>(n));
            if (nError != 0)
                return nError;
            nDone += n;
            if (!Progress(nBase + nDone, nTotal))
                return ECANCELED;
        }
        return 0;
    }

    BOOL Progress(long long nDone, long long nTotal)
    {
        if (!m_bShowProgress)
            return TRUE;
        if (!g_copyDataCalls.pfnProgress(m_pszFrom, m_pszTo, nDone, nTotal))
            m_bAborted = TRUE;
        return !m_bAborted;
    }

    const char* m_pszFrom;
    const char* m_pszTo;
    BOOL m_bShowProgress;
    BOOL m_bCloneOnly;  // a clone or nothing: the data is never read
    BOOL m_bAborted;
    bool m_bReadWrite = false;    // copy_file_range cannot serve this file
    bool m_bRangeWorked = false;  // it has moved some of its data
};

// Makes a new temporary for name in fdDir with pfnMake (which returns 0 or
// errno, EEXIST asking for another name).
template <typename Make>
int MakeTemporary(const std::string& name, std::string& temp, Make make)
{
    temp = TempTemplate(name);
    int nError = EEXIST;
    for (int nTry = 0; nTry < 100 && nError == EEXIST; ++nTry) {
        FillTempName(temp);
        nError = make(temp.c_str());
    }
    return nError;
}

}  // namespace

bool IsRoot()
{
    return geteuid() == 0;
}

bool Unsupported(int nError)
{
    return nError == ENOTSUP || nError == EOPNOTSUPP || nError == ENOSYS;
}

// Attributes in the kernel's own name spaces can be set by root only; an
// ordinary user cannot keep them, as it cannot keep an owner.
bool IsPrivilegedAttribute(const char* pszName)
{
    return strncmp(pszName, "security.", 9) == 0 || strncmp(pszName, "trusted.", 8) == 0;
}

// The mode a copy owned by uid and gid keeps of its source's: a set-id bit
// on a copy owned by someone else would hand that someone's rights to the
// source's owner, or the reverse.
mode_t KeptMode(const struct stat& source, uid_t uid, gid_t gid)
{
    mode_t mode = source.st_mode & 07777;
    if (uid != source.st_uid || gid != source.st_gid)
        mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));
    return mode;
}

// Reads attribute pszName of fd into value; 0, or errno (ENODATA when absent).
int ReadAttribute(int fd, const char* pszName, std::vector<char>& value)
{
    for (;;) {
        ssize_t n = fgetxattr(fd, pszName, nullptr, 0);
        if (n < 0)
            return errno;
        value.resize(static_cast<size_t>(n));
        n = fgetxattr(fd, pszName, value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<size_t>(n));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
}

int ListAttributes(int fd, std::vector<char>& names)
{
    for (;;) {
        ssize_t n = flistxattr(fd, nullptr, 0);
        if (n <= 0) {
            names.clear();
            return n == 0 || Unsupported(errno) ? 0 : errno;
        }
        names.resize(static_cast<size_t>(n));
        n = flistxattr(fd, names.data(), names.size());
        if (n >= 0) {
            names.resize(static_cast<size_t>(n));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
}

namespace {

// Extended attributes (and with them POSIX ACLs): each one the copy lacks or
// holds with another value is written.  *pbWrote tells whether any was.
int CopyExtendedAttributes(int fdFrom, int fdTo, bool* pbWrote)
{
    std::vector<char> names;
    int nListed = ListAttributes(fdFrom, names);
    if (nListed != 0)
        return nListed;
    int nFirstError = 0;
    std::vector<char> value, current;
    for (size_t nPos = 0; nPos < names.size(); nPos += strlen(&names[nPos]) + 1) {
        const char* pszName = &names[nPos];
        int nError = ReadAttribute(fdFrom, pszName, value);
        if (nError == ENODATA)
            continue;
        if (nError == 0 && ReadAttribute(fdTo, pszName, current) == 0 && current == value)
            continue;
        if (nError == 0) {
            *pbWrote = true;
            if (fsetxattr(fdTo, pszName, value.data(), value.size(), 0) != 0)
                nError = errno;
        }
        if (nError == 0 || Unsupported(nError) ||
            ((nError == EPERM || nError == EACCES) && IsPrivilegedAttribute(pszName) && !IsRoot()))
            continue;
        if (nFirstError == 0)
            nFirstError = nError;
    }
    return nFirstError;
}

// Gives a link's or a node's temporary its source's times and then its
// name; the temporary goes on failure.  A temporary that vanished before
// its name (another run's sweep took it while it was new) is ESTALE: the
// copy is worth one more try.
int NameTemporary(const FilePlace& to, const std::string& temp, const struct stat& source)
{
    struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (utimensat(to.fdDir, temp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
        renameat(to.fdDir, temp.c_str(), to.fdDir, to.name.c_str()) != 0) {
        int nError = errno == ENOENT ? ESTALE : errno;
        unlinkat(to.fdDir, temp.c_str(), 0);
        return nError;
    }
    return 0;
}

int CopyLink(const FilePlace& from, const FilePlace& to, const struct stat& source)
{
    // The link may change between the status query and readlink; a target
    // that fills the buffer is read again with a larger one.
    std::vector<char> target(static_cast<size_t>(source.st_size > 0 ? source.st_size : 64) + 1);
    for (;;) {
        ssize_t n = readlinkat(from.fdDir, from.name.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<size_t>(n) < target.size()) {
            target[static_cast<size_t>(n)] = '\0';
            break;
        }
        target.resize(target.size() * 2);
    }

    std::string temp;
    int nError = MakeTemporary(to.name, temp, [&](const char* pszTemp) {
        return symlinkat(target.data(), to.fdDir, pszTemp) == 0 ? 0 : errno;
    });
    if (nError != 0)
        return nError;
    // A link's own mode means nothing; its owner is kept as root, and a
    // refusal (vfat) costs only the owner, so what fchownat says is let go
    // (the distribution's fortified headers want it taken).
    if (IsRoot()) {
        const int nOwned = fchownat(to.fdDir, temp.c_str(), source.st_uid, source.st_gid, AT_SYMLINK_NOFOLLOW);
        (void)nOwned;
    }
    return NameTemporary(to, temp, source);
}

// A FIFO or a device node has no data: it is made anew, as the source has
// it.  Any user can make a FIFO; a device node needs root, and an ordinary
// user's walk passes over one (IsPassedOver).
int CopyNode(const FilePlace& to, const struct stat& source)
{
    std::string temp;
    int nError = MakeTemporary(to.name, temp, [&](const char* pszTemp) {
        return mknodat(to.fdDir, pszTemp, (source.st_mode & S_IFMT) | S_IRUSR | S_IWUSR, source.st_rdev) == 0 ? 0 : errno;
    });
    if (nError != 0)
        return nError;
    // The owner before the mode, as a change of owner clears the set-id
    // bits; refusals cost only what was refused, as for a file.  Nothing
    // here opens the node, whose open may have effects.
    bool bRoot = IsRoot();
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if ((bRoot || source.st_gid != gid) &&
        fchownat(to.fdDir, temp.c_str(), bRoot ? source.st_uid : static_cast<uid_t>(-1), source.st_gid,
                 AT_SYMLINK_NOFOLLOW) == 0) {
        uid = bRoot ? source.st_uid : uid;
        gid = source.st_gid;
    }
    (void)fchmodat(to.fdDir, temp.c_str(), KeptMode(source, uid, gid), AT_SYMLINK_NOFOLLOW);
    return NameTemporary(to, temp, source);
}

// TRUE when the source moved while it was copied: its size, or its time
// to the nanosecond (a rewrite of the same size within a second is one).
bool Moved(int fdFrom, const struct stat& before, int* pnError)
{
    struct stat after;
    if (fstat(fdFrom, &after) != 0) {
        *pnError = errno;
        return false;
    }
    return after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec;
}

int CopyRegular(const FilePlace& from, const FilePlace& to, BOOL bFollowLink, BOOL bFlushNow, CopyJob& job,
                PendingRename* pPending)
{
    // O_NONBLOCK keeps a FIFO swapped in after the status query from
    // blocking the open; the type is checked again on the open file.
    int nFollow = from.bBelowRoot || !bFollowLink ? O_NOFOLLOW : 0;
    int fdFrom = openat(from.fdDir, from.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | nFollow);
    if (fdFrom < 0)
        return errno;
    // These are the size and time the copy stands for, taken from the open
    // file before any of it is read.
    struct stat source;
    int nError = 0;
    if (fstat(fdFrom, &source) != 0)
        nError = errno;
    else if (!S_ISREG(source.st_mode))
        nError = S_ISDIR(source.st_mode) ? EISDIR : ENOTSUP;
    if (nError != 0) {
        close(fdFrom);
        return nError;
    }

    // The temporary is locked from its creation until it has its name (the
    // lock goes with the last descriptor of it), so that a sweep by another
    // run passes over it.  A name whose lock a sweep took first, between
    // the creation and the lock, is that sweep's to delete: another one is
    // made.  Where there are no locks (ENOLCK), there is nothing to hold.
    std::string temp;
    int fdTo = -1;
    nError = MakeTemporary(to.name, temp, [&](const char* pszTemp) {
        fdTo = openat(to.fdDir, pszTemp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fdTo < 0)
            return errno;
        if (flock(fdTo, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
            return 0;
        close(fdTo);
        fdTo = -1;
        return EEXIST;
    });
    if (nError != 0) {
        close(fdFrom);
        return nError;
    }

    nError = job.CopyData(fdFrom, fdTo, static_cast<long long>(source.st_size),
                          source.st_blocks * 512 < source.st_size);
    struct stat made;
    if (nError == 0 && fstat(fdTo, &made) != 0)
        nError = errno;
    if (nError == 0)
        nError = CopyAttributes(fdFrom, source, fdTo, made);
    // A file rewritten while it was copied would leave a torn copy that
    // carries the time of the file before: it is not put in place.
    if (nError == 0 && Moved(fdFrom, source, &nError))
        nError = COPY_ERROR_SOURCE_CHANGED;
    // The times go on last: every write before them would move them again.
    struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (nError == 0 && futimens(fdTo, times) != 0)
        nError = errno;
    // Without a batch to flush it, a copy that must be on disk before its
    // name is flushed on its own.
    if (nError == 0 && pPending == nullptr && bFlushNow && g_copyDataCalls.pfnSyncData(fdTo) != 0)
        nError = errno;
    // What keeps the lock until the name is there.
    int fdHeld = nError == 0 ? fcntl(fdTo, F_DUPFD_CLOEXEC, 0) : -1;
    if (nError == 0 && fdHeld < 0)
        nError = errno;
    // A network file system may report a failed write only here.
    if (close(fdTo) != 0 && nError == 0)
        nError = errno;
    close(fdFrom);
    if (nError == 0 && pPending != nullptr) {
        pPending->fdFile = fdHeld;
        pPending->temp = temp;
        pPending->nBytes = static_cast<long long>(source.st_size);
        pPending->device = made.st_dev;
        return 0;
    }
    if (nError == 0 && renameat(to.fdDir, temp.c_str(), to.fdDir, to.name.c_str()) != 0)
        nError = errno == ENOENT ? ESTALE : errno;
    if (nError != 0)
        unlinkat(to.fdDir, temp.c_str(), 0);
    if (fdHeld >= 0)
        close(fdHeld);
    return nError;
}

}  // namespace

CopyDataCalls DefaultCopyDataCalls()
{
    CopyDataCalls calls;
    calls.pfnClone = CloneFile;
    calls.pfnCopyRange = CopyRange;
    calls.pfnWrite = WriteSome;
    calls.pfnProgress = ReportCopyProgress;
    calls.pfnStatFs = StatFs;
    calls.pfnSyncData = SyncData;
    return calls;
}

CopyDataCalls g_copyDataCalls = DefaultCopyDataCalls();

int CopyAttributes(int fdFrom, const struct stat& src, int fdTo, const struct stat& dst, mode_t* pHeldMode)
{
    // The owner first: a change of owner clears the set-id bits and the
    // file capabilities, which are then put back from the source.
    struct stat now = dst;
    bool bRoot = IsRoot();
    bool bChanged = false;
    if ((bRoot && dst.st_uid != src.st_uid) || dst.st_gid != src.st_gid) {
        // An ordinary user may still give a group it belongs to; a refusal
        // (vfat, or a group not ours) only means the owner is not kept.
        if (fchown(fdTo, bRoot ? src.st_uid : static_cast<uid_t>(-1), src.st_gid) == 0)
            bChanged = true;
    }
    int nError = CopyExtendedAttributes(fdFrom, fdTo, &bChanged);
    if (bChanged && fstat(fdTo, &now) != 0)
        return errno;
    mode_t mode = KeptMode(src, now.st_uid, now.st_gid);
    if (pHeldMode != nullptr)
        *pHeldMode = (now.st_mode & 07777) != mode ? mode : NO_MODE;
    // vfat and exfat refuse most modes: the data is worth more than them.
    else if ((now.st_mode & 07777) != mode)
        (void)fchmod(fdTo, mode);
    return nError;
}

void RemoveStaleTemporaries(int fdDir, int fdSourceDir)
{
    int fdList = openat(fdDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdList < 0)
        return;
    DIR* pDir = fdopendir(fdList);
    if (pDir == nullptr) {
        close(fdList);
        return;
    }
    // Only our own names, and never a folder.  A user's file may look like
    // ours (the pattern is no secret): one that the source folder holds is
    // a copy like any other.
    while (struct dirent* pEntry = readdir(pDir)) {
        const char* pszName = pEntry->d_name;
        struct stat st;
        if (!IsTemporaryName(pszName) || fstatat(dirfd(pDir), pszName, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode))
            continue;
        struct stat inSource;
        if (fstatat(fdSourceDir, pszName, &inSource, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
            continue;
        if (!S_ISREG(st.st_mode)) {
            // A link's or a node's temporary lives for a few calls; a copy
            // whose temporary goes in between tries once more.
            unlinkat(dirfd(pDir), pszName, 0);
            continue;
        }
        // A file's temporary is locked by the copy that writes it: one whose
        // lock cannot be had belongs to a run still going.  One we cannot
        // open cannot be told apart, and stays.
        int fd = openat(dirfd(pDir), pszName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat locked;
        if ((flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) && fstat(fd, &locked) == 0 &&
            fstatat(dirfd(pDir), pszName, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == locked.st_ino &&
            st.st_dev == locked.st_dev)
            unlinkat(dirfd(pDir), pszName, 0);
        close(fd);
    }
    closedir(pDir);
}

bool SyncReachesDisk(int fd)
{
    // The file systems whose syncfs writes the files' data to their own
    // disk.  Anything else (NFS, SMB, FUSE, Ceph, 9p, or one not known
    // here) gets a flush of each copy: slower, but the data is there
    // before the name.
    static const unsigned long LOCAL[] = {
        EXT4_SUPER_MAGIC, XFS_SUPER_MAGIC, BTRFS_SUPER_MAGIC, F2FS_SUPER_MAGIC, MSDOS_SUPER_MAGIC,
        EXFAT_SUPER_MAGIC, NILFS_SUPER_MAGIC, REISERFS_SUPER_MAGIC, TMPFS_MAGIC, RAMFS_MAGIC,
        OVERLAYFS_SUPER_MAGIC,  // syncfs passes on to its upper layer
        0x5346544E,  // ntfs
        0x7366746E,  // ntfs3
        0x3153464A,  // jfs
        0x482B,      // hfsplus
        0xCA451A4E,  // bcachefs
        0x2FC12FC1,  // zfs
    };
    struct statfs info;
    if (g_copyDataCalls.pfnStatFs(fd, &info) != 0)
        return false;
    for (unsigned long nType : LOCAL) {
        if (static_cast<unsigned long>(info.f_type) == nType)
            return true;
    }
    return false;
}

bool IsPassedOver(mode_t mode)
{
    return S_ISSOCK(mode) || ((S_ISCHR(mode) || S_ISBLK(mode)) && !IsRoot());
}

int CreateFolderPath(const char* pszFolder)
{
    std::string path = pszFolder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    // Make each folder from the top down; those that exist are passed.
    for (size_t nPos = 1; nPos <= path.size(); ++nPos) {
        if (nPos < path.size() && path[nPos] != '/')
            continue;
        std::string prefix = path.substr(0, nPos);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    if (stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int CopyEntry(const FilePlace& from, const char* pszFrom, const FilePlace& to, const char* pszTo, UINT nFlags,
              BOOL* pbAborted, BOOL bFollowLink, PendingRename* pPending)
{
    if (pbAborted != nullptr)
        *pbAborted = FALSE;
    if (to.name.empty())
        return EISDIR;

    // A source rewritten while it was copied, or a temporary that vanished
    // before its name, is worth one more try; a file that keeps changing
    // is left for a later run.
    int nError = 0;
    for (int nTry = 0; nTry < 2; ++nTry) {
        struct stat source;
        int nFollow = from.bBelowRoot || !bFollowLink ? AT_SYMLINK_NOFOLLOW : 0;
        if (fstatat(from.fdDir, from.name.c_str(), &source, nFollow) != 0)
            return errno;
        if (S_ISDIR(source.st_mode))
            return EISDIR;
        if (S_ISLNK(source.st_mode)) {
            nError = CopyLink(from, to, source);
        } else if (S_ISFIFO(source.st_mode) || S_ISCHR(source.st_mode) || S_ISBLK(source.st_mode)) {
            nError = CopyNode(to, source);
        } else if (!S_ISREG(source.st_mode)) {
            return ENOTSUP;
        } else {
            CopyJob job(pszFrom, pszTo, (nFlags & FOF_SILENT) == 0, (nFlags & COPY_CLONE_ONLY) != 0);
            nError = CopyRegular(from, to, bFollowLink, (nFlags & COPY_FINISH_NOW) != 0, job, pPending);
            if (job.Aborted()) {
                if (pbAborted != nullptr)
                    *pbAborted = TRUE;
                return ECANCELED;
            }
        }
        if (nError != COPY_ERROR_SOURCE_CHANGED && nError != ESTALE)
            break;
    }
    return nError;
}
