#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/IniFile.h"

namespace {

bool WriteAll(int fd, const std::string& bytes)
{
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file by a complete new version: a reader (or a crash) sees
// the old file or the new one, never half of either.  The temporary file
// lies in the same folder, so the rename stays on one file system.
bool ReplaceFile(const std::string& target, const std::string& bytes, const struct stat* pOld)
{
    static std::atomic<unsigned> s_nCounter{0};
    const size_t nSlash = target.rfind('/');
    const std::string folder = nSlash == std::string::npos ? std::string() : target.substr(0, nSlash + 1);
    const std::string name = nSlash == std::string::npos ? target : target.substr(nSlash + 1);

    std::string temp;
    int fd = -1;
    for (int nTry = 0; nTry < 100 && fd < 0; nTry++) {
        temp = folder + "." + name + "." + std::to_string(getpid()) + "."
               + std::to_string(s_nCounter.fetch_add(1)) + ".tmp";
        // Only we can read the temporary until it has the old file's mode:
        // the settings may be private.  A new file is left to the umask, as
        // any new file is.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, pOld != nullptr ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool bOk = WriteAll(fd, bytes);
    if (bOk && pOld != nullptr) {
        // Run as root on a user's file, the file stays the user's; where
        // that cannot be done the owner is ours, as for any rewritten file.
        const int nChown = fchown(fd, pOld->st_uid, pOld->st_gid);
        (void)nChown;
        bOk = fchmod(fd, pOld->st_mode & 07777) == 0;
    }
    if (bOk)
        bOk = fsync(fd) == 0;
    if (close(fd) != 0)
        bOk = false;
    if (bOk)
        bOk = rename(temp.c_str(), target.c_str()) == 0;
    if (!bOk)
        unlink(temp.c_str());
    return bOk;
}

}  // namespace

DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer)
{
    std::string cwd(256, '\0');
    for (;;) {
        if (getcwd(&cwd[0], cwd.size()) != nullptr)
            break;
        if (errno != ERANGE || cwd.size() > (1u << 20))
            return 0;
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(strlen(cwd.c_str()));
    if (cwd.size() + 1 > nSize)
        return static_cast<DWORD>(cwd.size() + 1);
    memcpy(pszBuffer, cwd.c_str(), cwd.size() + 1);
    return static_cast<DWORD>(cwd.size());
}

ProfileStatus ReadProfileBytes(const char* pszFile, std::string& bytes)
{
    bytes.clear();
    // Asked before opening: opening a device can have effects of its own,
    // and a FIFO would hold the run until someone writes into it.
    struct stat st;
    if (stat(pszFile, &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PROFILE_MISSING : PROFILE_UNREADABLE;
    if (!S_ISREG(st.st_mode))
        return PROFILE_NOT_A_FILE;
    if (st.st_size > static_cast<off_t>(PROFILE_SIZE_LIMIT))
        return PROFILE_TOO_LARGE;
    const int fd = open(pszFile, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return PROFILE_UNREADABLE;
    // Something else may have taken the name since: it is asked again, and
    // the read stops one byte past the limit however the file grows.
    ProfileStatus nStatus = PROFILE_READ;
    if (fstat(fd, &st) != 0)
        nStatus = PROFILE_UNREADABLE;
    else if (!S_ISREG(st.st_mode))
        nStatus = PROFILE_NOT_A_FILE;
    else
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    while (nStatus == PROFILE_READ) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<size_t>(n));
            if (bytes.size() > PROFILE_SIZE_LIMIT)
                nStatus = PROFILE_TOO_LARGE;
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            nStatus = PROFILE_UNREADABLE;  // an I/O error
        }
    }
    close(fd);
    if (nStatus != PROFILE_READ)
        bytes.clear();
    return nStatus;
}

DWORD CProfile::ReadString(const char* pszSection, const char* pszKey, char* pszBuffer, DWORD nSize) const
{
    return ReadIniString(m_text, pszSection, pszKey, pszBuffer, nSize);
}

BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile)
{
    if (pszFile == nullptr)
        return FALSE;
    // Through a symbolic link, the file it points to is the one replaced.
    std::string target = pszFile;
    char* pszReal = realpath(pszFile, nullptr);
    if (pszReal != nullptr) {
        target = pszReal;
        free(pszReal);
    }

    std::string bytes;
    const ProfileStatus nRead = ReadProfileBytes(target.c_str(), bytes);
    struct stat old;
    const bool bExists = nRead == PROFILE_READ && stat(target.c_str(), &old) == 0;
    if (!bExists && nRead != PROFILE_MISSING)
        return FALSE;

    CIniText text;
    text.Assign(bytes);
    std::string updated;
    if (!SetIniString(text, pszSection, pszKey, pszValue, updated))
        return FALSE;
    if (bExists && updated == bytes)
        return TRUE;
    return ReplaceFile(target, updated, bExists ? &old : nullptr) ? TRUE : FALSE;
}
