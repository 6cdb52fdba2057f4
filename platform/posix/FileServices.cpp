#include "platform/FileServices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Text.h"
#include "platform/posix/MessageBox.h"
#include "platform/posix/PosixFiles.h"

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
                if (errno != 0)
                    Fail(errno);
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

class PosixFileServices : public FileServices {
public:
    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink) override
    {
        struct stat st;
        if ((bFollowLink ? stat(pszPath, &st) : lstat(pszPath, &st)) != 0)
            return FailWithErrno();
        status.m_mtime = CTime(st.st_mtim.tv_sec);
        status.m_size = static_cast<long long>(st.st_size);
        status.m_attribute = AttributesOf(pszPath, st);
        return TRUE;
    }

    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override
    {
        struct stat st;
        if (stat(pszPath, &st) != 0)
            return FailWithErrno();
        identity.nVolume = static_cast<unsigned long long>(st.st_dev);
        identity.nIndex = static_cast<unsigned long long>(st.st_ino);
        return TRUE;
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
            else if (folder.size() > 1)
                folder.pop_back();
            DIR* pDir = opendir(folder.c_str());
            if (pDir == nullptr) {
                FailWithErrno();
                return nullptr;
            }
            return new PosixDirectoryReader(pDir);
        }

        // Any other pattern is taken as one exact name.
        struct stat st;
        if (lstat(pszPattern, &st) != 0) {
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
        return new SingleEntryReader(entry);
    }

    BOOL CanList(const char* pszFolder) override
    {
        DIR* pDir = opendir(pszFolder);
        if (pDir == nullptr)
            return FailWithErrno();
        closedir(pDir);
        return TRUE;
    }

    BOOL CanRead(const char* pszPath, BOOL bFollowLink) override
    {
        struct stat st;
        if (!bFollowLink && lstat(pszPath, &st) == 0 && S_ISLNK(st.st_mode)) {
            // A link is backed up as its target text: reading it means
            // reading that.
            char c;
            return readlink(pszPath, &c, 1) >= 0 ? TRUE : FailWithErrno();
        }
        int fd = open(pszPath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
        struct stat st;
        return lstat(pszPath, &st) == 0 ? TRUE : FailWithErrno();
    }

    BOOL CreateDirectory(const char* pszPath) override
    {
        return mkdir(pszPath, 0777) == 0 ? TRUE : FailWithErrno();
    }

    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink) override
    {
        int nError = CopyFileSafely(pszFrom, pszTo, nFlags, pbAborted, bFollowLink);
        if (nError != 0)
            Fail(nError);
        return nError;
    }

    BOOL DeleteTree(const char* pszPath) override
    {
        int nError = DeleteTreeNoFollow(pszPath);
        return nError == 0 ? TRUE : Fail(nError);
    }

    BOOL RemoveFile(const char* pszPath) override
    {
        return unlink(pszPath) == 0 ? TRUE : FailWithErrno();
    }

    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        // Windows refuses to rename onto an existing name; plain rename()
        // would silently replace a file there, and the generation rotation
        // relies on a failed rename leaving the older copy alone.
        if (renameat2(AT_FDCWD, pszFrom, AT_FDCWD, pszTo, RENAME_NOREPLACE) == 0)
            return TRUE;
        if (errno != EINVAL && errno != ENOSYS)
            return FailWithErrno();
        // File systems without RENAME_NOREPLACE: check, then rename.
        struct stat st;
        if (lstat(pszTo, &st) == 0)
            return Fail(EEXIST);
        return rename(pszFrom, pszTo) == 0 ? TRUE : FailWithErrno();
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
};

}  // namespace

FileServices& GetRealFileServices()
{
    static PosixFileServices services;
    return services;
}

BOOL IsMissingError(DWORD dwError)
{
    return dwError == ENOENT || dwError == ENOTDIR;
}

void FormatSystemError(DWORD dwError, char* pszOut, size_t nSize)
{
    if (nSize == 0)
        return;
    char szBuffer[256];
    const char* pszText = strerror_r(static_cast<int>(dwError), szBuffer, sizeof szBuffer);
    size_t nLength = strlen(pszText);
    if (nLength >= nSize)
        nLength = CharBoundaryAtOrBefore(pszText, nSize - 1);
    memcpy(pszOut, pszText, nLength);
    pszOut[nLength] = '\0';
}
