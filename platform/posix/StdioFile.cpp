#include "platform/StdioFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

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
    // it: the writer stops only with nothing handed over.
    void Finish()
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
        close(fd);
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

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    const int fd = open(pszFileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

void CStdioFile::Close()
{
    if (m_pStream != nullptr) {
        m_pStream->Finish();
        delete m_pStream;
        m_pStream = nullptr;
    }
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
