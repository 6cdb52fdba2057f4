#include "platform/StdioFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/ErrorText.h"
#include "platform/FileServices.h"
#include "platform/Text.h"

namespace {

// Bytes gathered before they go to the writer.
const size_t HAND_OVER_BYTES = 64 * 1024;

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

}  // namespace

// A detailed log of a large tree runs to megabytes, and the kernel's work of
// taking them in would add to the walk's own: the bytes are gathered here
// and written by a thread of their own, in the order they came.
struct CStdioFile::Stream {
    explicit Stream(int fdFile) : fd(fdFile)
    {
        try {
            writer = std::thread([this] { WriteHandedOver(); });
        } catch (const std::system_error&) {
            // Without a thread of its own the log is written as it is handed over.
        }
    }

    // Gives the gathered bytes to the writer once it is done with the last;
    // false when a write has failed.
    bool HandOver()
    {
        if (!writer.joinable()) {
            bFailed = bFailed || !WriteAll(fd, gathered);
            gathered.clear();
            return !bFailed;
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !bHandedOver; });
        if (bFailed)
            return false;
        handedOver.swap(gathered);
        gathered.clear();
        bHandedOver = true;
        changed.notify_all();
        return true;
    }

    // Writes what is handed over until told to stop.
    void WriteHandedOver()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return bHandedOver || bStop; });
            if (!bHandedOver)
                return;
            lock.unlock();
            const bool bWritten = WriteAll(fd, handedOver);
            lock.lock();
            bFailed = bFailed || !bWritten;
            bHandedOver = false;
            changed.notify_all();
        }
    }

    // Hands over the rest and closes the file once the writer has written
    // it: the writer stops only with nothing handed over.  False when some
    // of it could not be written.
    bool Finish()
    {
        HandOver();
        if (writer.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                bStop = true;
            }
            changed.notify_all();
            writer.join();
        }
        return close(fd) == 0 && !bFailed;
    }

    const int fd;
    std::string gathered;    // the worker's, until handed over
    std::string handedOver;  // the writer's while bHandedOver
    std::mutex mutex;
    std::condition_variable changed;
    bool bHandedOver = false;
    bool bStop = false;
    bool bFailed = false;
    std::thread writer;
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
    } else if (unlinkat(fdFolder, name.c_str(), 0) == 0) {
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
    if (fd < 0)
        return FALSE;
    m_pStream = new Stream(fd);
    return TRUE;
}

BOOL CStdioFile::WriteBytes(const std::string& bytes)
{
    if (m_pStream == nullptr)
        return FALSE;
    m_pStream->gathered += bytes;
    return m_pStream->gathered.size() < HAND_OVER_BYTES || m_pStream->HandOver();
}

BOOL CStdioFile::Close()
{
    bool bWritten = true;
    if (m_pStream != nullptr) {
        bWritten = m_pStream->Finish();
        delete m_pStream;
        m_pStream = nullptr;
    }
    return bWritten ? TRUE : FALSE;
}

BOOL CStdioFile::WriteString(const std::string& text)
{
    if (m_nEncoding != ENCODING_SHIFT_JIS)
        return WriteBytes(text);
    std::string converted;
    if (ConvertText(text, ENCODING_NATIVE, ENCODING_SHIFT_JIS, converted))
        return WriteBytes(converted);
    // Some character has no Shift-JIS form: each such character is written
    // as '?', so that the file stays Shift-JIS throughout and the rest of
    // the line reads as it should.
    std::string marked;
    std::string one;
    for (const char* p = text.c_str(); *p != '\0';) {
        const int nLength = CharLength(p);
        if (ConvertText(std::string(p, static_cast<size_t>(nLength)), ENCODING_NATIVE, ENCODING_SHIFT_JIS, one))
            marked += one;
        else
            marked += '?';
        p += nLength;
    }
    return WriteBytes(marked);
}
