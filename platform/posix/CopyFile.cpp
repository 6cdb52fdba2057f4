#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CopyProgress.h"
#include "platform/Text.h"

namespace {

const size_t COPY_RANGE_CHUNK = 4 * 1024 * 1024;
const size_t READ_WRITE_CHUNK = 1024 * 1024;

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

// Splits a file path into its folder (without the separator; "." when there
// is none, "/" for the root) and its name.
void SplitPath(const char* pszPath, std::string& folder, std::string& name)
{
    const char* pszSlash = strrchr(pszPath, '/');
    if (pszSlash == nullptr) {
        folder = ".";
        name = pszPath;
    } else {
        folder.assign(pszPath, pszSlash == pszPath ? 1 : static_cast<size_t>(pszSlash - pszPath));
        name = pszSlash + 1;
    }
}

// The temporary name beside the destination: hidden, recognisably ours, and
// short enough for the file system's name limit even for a long name.
std::string TempTemplate(const std::string& folder, const std::string& name)
{
    const size_t MAX_NAME_PART = 200;
    size_t nKeep = name.size() <= MAX_NAME_PART ? name.size() : CharBoundaryAtOrBefore(name.c_str(), MAX_NAME_PART);
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += '.';
    path.append(name, 0, nKeep);
    path += ".tandemix-XXXXXX";
    return path;
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
    CopyJob(const char* pszFrom, const char* pszTo, BOOL bShowProgress)
        : m_pszFrom(pszFrom), m_pszTo(pszTo), m_bShowProgress(bShowProgress), m_bAborted(FALSE)
    {
    }

    BOOL Aborted() const { return m_bAborted; }

    // Copies the data of fdFrom (nTotal bytes when it was looked at) into
    // the empty file fdTo, both at offset 0.
    int CopyData(int fdFrom, int fdTo, long long nTotal)
    {
        if (!Progress(0, nTotal))
            return ECANCELED;
        // Sharing the source's extents costs nothing on file systems that
        // can; the others refuse and the data is copied.
        if (nTotal > 0 && g_copyDataCalls.pfnClone(fdTo, fdFrom) == 0)
            return Progress(nTotal, nTotal) ? 0 : ECANCELED;

        long long nDone = 0;
        for (;;) {
            ssize_t n = g_copyDataCalls.pfnCopyRange(fdFrom, fdTo, COPY_RANGE_CHUNK);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (nDone == 0 && CopyRangeUnsupported(errno))
                    return ReadWrite(fdFrom, fdTo, nTotal);
                return errno;
            }
            if (n == 0) {
                // Some file systems (/proc, some FUSE ones) report a size but
                // give nothing through copy_file_range.
                if (nDone == 0 && nTotal > 0)
                    return ReadWrite(fdFrom, fdTo, nTotal);
                return 0;
            }
            nDone += n;
            if (!Progress(nDone, nTotal))
                return ECANCELED;
        }
    }

private:
    static bool CopyRangeUnsupported(int nError)
    {
        return nError == ENOSYS || nError == EXDEV || nError == EOPNOTSUPP || nError == EINVAL ||
            nError == EBADF || nError == EPERM || nError == ETXTBSY;
    }

    int ReadWrite(int fdFrom, int fdTo, long long nTotal)
    {
        std::vector<char> buffer(READ_WRITE_CHUNK);
        long long nDone = 0;
        for (;;) {
            ssize_t n = read(fdFrom, buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (n == 0)
                return 0;
            int nError = WriteAll(fdTo, buffer.data(), static_cast<size_t>(n));
            if (nError != 0)
                return nError;
            nDone += n;
            if (!Progress(nDone, nTotal))
                return ECANCELED;
        }
    }

    BOOL Progress(long long nDone, long long nTotal)
    {
        if (!m_bShowProgress)
            return TRUE;
        // A file that grew while it is copied would otherwise show more
        // than all of it.
        if (nDone > nTotal)
            nTotal = nDone;
        if (!g_copyDataCalls.pfnProgress(m_pszFrom, m_pszTo, nDone, nTotal))
            m_bAborted = TRUE;
        return !m_bAborted;
    }

    const char* m_pszFrom;
    const char* m_pszTo;
    BOOL m_bShowProgress;
    BOOL m_bAborted;
};

int CopyLink(const char* pszFrom, const char* pszTo, const struct stat& source)
{
    // The link may change between lstat and readlink; a target that fills
    // the buffer is read again with a larger one.
    std::vector<char> target(static_cast<size_t>(source.st_size > 0 ? source.st_size : 64) + 1);
    for (;;) {
        ssize_t n = readlink(pszFrom, target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<size_t>(n) < target.size()) {
            target[static_cast<size_t>(n)] = '\0';
            break;
        }
        target.resize(target.size() * 2);
    }

    std::string folder, name;
    SplitPath(pszTo, folder, name);
    std::string temp = TempTemplate(folder, name);
    int nError = EEXIST;
    for (int nTry = 0; nTry < 100 && nError == EEXIST; ++nTry) {
        FillTempName(temp);
        nError = symlink(target.data(), temp.c_str()) == 0 ? 0 : errno;
    }
    if (nError != 0)
        return nError;

    struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 || rename(temp.c_str(), pszTo) != 0) {
        nError = errno;
        unlink(temp.c_str());
        return nError;
    }
    return 0;
}

int CopyRegular(const char* pszFrom, const char* pszTo, BOOL bFollowLink, CopyJob& job)
{
    // O_NONBLOCK keeps a FIFO swapped in after the status query from
    // blocking the open; the type is checked again on the open file.
    int fdFrom = open(pszFrom, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (bFollowLink ? 0 : O_NOFOLLOW));
    if (fdFrom < 0)
        return errno;
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

    std::string folder, name;
    SplitPath(pszTo, folder, name);
    std::string temp = TempTemplate(folder, name);
    int fdTo = mkostemp(&temp[0], O_CLOEXEC);
    if (fdTo < 0) {
        nError = errno;
        close(fdFrom);
        return nError;
    }

    nError = job.CopyData(fdFrom, fdTo, static_cast<long long>(source.st_size));
    struct timespec times[2] = {source.st_atim, source.st_mtim};
    // The times go on last: every write before them would move them again.
    if (nError == 0 && fchmod(fdTo, source.st_mode & 07777) != 0)
        nError = errno;
    if (nError == 0 && futimens(fdTo, times) != 0)
        nError = errno;
    // A network file system may report a failed write only here.
    if (close(fdTo) != 0 && nError == 0)
        nError = errno;
    close(fdFrom);
    if (nError == 0 && rename(temp.c_str(), pszTo) != 0)
        nError = errno;
    if (nError != 0)
        unlink(temp.c_str());
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
    return calls;
}

CopyDataCalls g_copyDataCalls = DefaultCopyDataCalls();

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

int CopyFileSafely(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink)
{
    if (pbAborted != nullptr)
        *pbAborted = FALSE;
    size_t nLength = strlen(pszTo);
    if (nLength == 0 || pszTo[nLength - 1] == '/')
        return EISDIR;

    struct stat source;
    if ((bFollowLink ? stat(pszFrom, &source) : lstat(pszFrom, &source)) != 0)
        return errno;
    if (S_ISDIR(source.st_mode))
        return EISDIR;
    if (!S_ISREG(source.st_mode) && !S_ISLNK(source.st_mode))
        return ENOTSUP;

    std::string folder, name;
    SplitPath(pszTo, folder, name);
    int nError = CreateFolderPath(folder.c_str());
    if (nError != 0)
        return nError;

    if (S_ISLNK(source.st_mode))
        return CopyLink(pszFrom, pszTo, source);

    CopyJob job(pszFrom, pszTo, (nFlags & FOF_SILENT) == 0);
    nError = CopyRegular(pszFrom, pszTo, bFollowLink, job);
    if (job.Aborted()) {
        if (pbAborted != nullptr)
            *pbAborted = TRUE;
        return ECANCELED;
    }
    return nError;
}
