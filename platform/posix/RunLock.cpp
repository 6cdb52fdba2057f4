#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

CRunLock::CRunLock() : m_nHandle(-1) {}

CRunLock::~CRunLock()
{
    Release();
}

BOOL CRunLock::Acquire(const char* pszSettingsPath)
{
    Release();
    // The lock is on the folder that holds the settings file, not on the
    // file itself: the window's write-back replaces the file by a rename,
    // and a lock on the old file would no longer guard the new one.  The
    // file's name is fixed, so one folder is one settings file, whatever
    // spelling or link leads to it.
    const std::string path = pszSettingsPath;
    const size_t nSlash = path.rfind('/');
    const std::string folder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : path.substr(0, nSlash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return TRUE;
    int nResult;
    do {
        nResult = flock(fd, LOCK_EX | LOCK_NB);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        const int nError = errno;
        close(fd);
        return nError == EWOULDBLOCK ? FALSE : TRUE;
    }
    m_nHandle = fd;
    return TRUE;
}

void CRunLock::Release()
{
    if (m_nHandle >= 0) {
        close(static_cast<int>(m_nHandle));
        m_nHandle = -1;
    }
}

void ReportRunNotStarted(const char* pszText, BOOL)
{
    fprintf(stderr, "Tandemix: %s\n", pszText);
}
