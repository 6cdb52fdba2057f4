#include "platform/StdioFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/ErrorText.h"
#include "platform/FileServices.h"
#include "platform/Text.h"

namespace {

// Bytes gathered before they are written.
const size_t WRITE_BYTES = 64 * 1024;

bool WriteAll(int fd, const std::string& bytes)
{
    for (size_t nDone = 0; nDone < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

// Unlinks the name, keeping what it named open (for neither reading nor
// writing) in fdHeld, so that its pages and blocks are let go when fdHeld
// is closed, not now.  False, with errno set, when the name stays.
bool UnlinkHeld(int fdFolder, const char* pszName, int& fdHeld)
{
    fdHeld = openat(fdFolder, pszName, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (unlinkat(fdFolder, pszName, 0) == 0)
        return true;
    const int nError = errno;
    if (fdHeld != -1)
        close(fdHeld);
    fdHeld = -1;
    errno = nError;
    return false;
}

}  // namespace

// The bytes are gathered and written a large block at a time.  fdEarlier,
// when not -1, holds the earlier log, whose name is gone: it is let go, and
// with it the file's pages and blocks, at the first write.  The run log
// writes a long log from a thread of its own, so freeing a log of
// megabytes (about a millisecond) is not the walk's to wait for.
struct CStdioFile::Stream {
    // Writes what is gathered; false when it could not all be written.
    bool Flush()
    {
        if (fdEarlier != -1) {
            close(fdEarlier);
            fdEarlier = -1;
        }
        bFailed = bFailed || !WriteAll(fd, gathered);
        gathered.clear();
        return !bFailed;
    }

    const int fd;
    int fdEarlier;
    std::string gathered;
    bool bFailed;
};

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags, std::string& why)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    // The earlier file gives way to a new one instead of being truncated:
    // whatever stands under the name (a link, a FIFO, another user's file
    // in a shared folder) is never opened, and a run killed at any point
    // leaves either no log or its own, never the previous run's looking like
    // its own.  It is also much cheaper than truncating megabytes, which the
    // file system flushes at close.
    const std::string path = pszFileName;
    const size_t nSlash = path.rfind('/');
    const std::string folder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : path.substr(0, nSlash);
    const std::string name = nSlash == std::string::npos ? path : path.substr(nSlash + 1);
    const int fdFolder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder < 0) {
        why = SystemErrorText(static_cast<DWORD>(errno));
        return FALSE;
    }
    mode_t nMode = 0600;
    struct stat st;
    int fd = -1;
    int fdEarlier = -1;
    if (name.empty()) {
        why = SystemErrorText(static_cast<DWORD>(EISDIR));
    } else if (fstatat(fdFolder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            why = SystemErrorText(static_cast<DWORD>(errno));
    } else if (S_ISLNK(st.st_mode)) {
        why = "シンボリックリンクです";
    } else if (!S_ISREG(st.st_mode)) {
        why = "通常のファイルではありません";
    } else if (st.st_uid != geteuid()) {
        why = "別のユーザーのファイルです";
    } else if (UnlinkHeld(fdFolder, name.c_str(), fdEarlier)) {
        nMode = st.st_mode & 07777;
    } else if (errno == EACCES || errno == EPERM) {
        // A log made for the user in a folder only others may change (say
        // under /var/log) is written in place, once it is seen to be the
        // very file looked at above.
        fd = openat(fdFolder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat opened;
        int nError = fd < 0 ? errno : 0;
        if (nError == 0 && (fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino))
            nError = ESTALE;  // something else took the name meanwhile
        if (nError == 0 && ftruncate(fd, 0) != 0)
            nError = errno;
        if (nError != 0) {
            why = SystemErrorText(static_cast<DWORD>(nError));
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
    } else {
        why = SystemErrorText(static_cast<DWORD>(errno));
    }
    if (why.empty() && fd < 0) {
        fd = openat(fdFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0)
            why = SystemErrorText(static_cast<DWORD>(errno));
        else if (nMode != 0600)
            (void)fchmod(fd, nMode);  // a mode the file system refuses leaves it private
    }
    close(fdFolder);
    if (fd < 0) {
        if (fdEarlier != -1)
            close(fdEarlier);
        return FALSE;
    }
    m_pStream = new Stream{fd, fdEarlier, std::string(), false};
    return TRUE;
}

BOOL CStdioFile::WriteBytes(const char* pBytes, size_t nLength)
{
    if (m_pStream == nullptr)
        return FALSE;
    m_pStream->gathered.append(pBytes, nLength);
    return m_pStream->gathered.size() < WRITE_BYTES || m_pStream->Flush();
}

BOOL CStdioFile::Close()
{
    bool bWritten = true;
    if (m_pStream != nullptr) {
        bWritten = m_pStream->Flush();
        bWritten = close(m_pStream->fd) == 0 && bWritten;
        delete m_pStream;
        m_pStream = nullptr;
    }
    return bWritten ? TRUE : FALSE;
}

BOOL CStdioFile::WriteString(const char* pText, size_t nLength)
{
    if (m_nEncoding != ENCODING_SHIFT_JIS)
        return WriteBytes(pText, nLength);
    const std::string text(pText, nLength);
    std::string converted;
    if (ConvertText(text, ENCODING_NATIVE, ENCODING_SHIFT_JIS, converted))
        return WriteBytes(converted.data(), converted.size());
    // Some character has no Shift-JIS form: each such character is written
    // as '?', so that the file stays Shift-JIS throughout and the rest of
    // the line reads as it should.
    std::string marked;
    std::string one;
    for (const char* p = text.c_str(); *p != '\0';) {
        const int nCharLength = CharLength(p);
        if (ConvertText(std::string(p, static_cast<size_t>(nCharLength)), ENCODING_NATIVE, ENCODING_SHIFT_JIS, one))
            marked += one;
        else
            marked += '?';
        p += nCharLength;
    }
    return WriteBytes(marked.data(), marked.size());
}
