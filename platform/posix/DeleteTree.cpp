#include "platform/posix/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Opens the folder pszName in fdDir to empty it.  A folder of ours that we
// may not read, write or search (the copy of a read-only source folder) is
// first given those rights, as one would by hand before deleting it.  Root
// needs no such thing, and another user's folder is not ours to change.
// The change never follows a link: a link there is no folder to empty.
int OpenToEmpty(int fdDir, const char* pszName)
{
    const int OPEN_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(fdDir, pszName, OPEN_FLAGS);
    uid_t uid = geteuid();
    if (uid == 0 || (fd < 0 && errno != EACCES))
        return fd;
    int nError = errno;
    struct stat st;
    if ((fd >= 0 ? fstat(fd, &st) : fstatat(fdDir, pszName, &st, AT_SYMLINK_NOFOLLOW)) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != uid || (st.st_mode & S_IRWXU) == S_IRWXU) {
        errno = nError;
        return fd;
    }
    mode_t mode = (st.st_mode & 07777) | S_IRWXU;
    if (fd >= 0) {
        (void)fchmod(fd, mode);
        return fd;
    }
    if (fchmodat(fdDir, pszName, mode, AT_SYMLINK_NOFOLLOW) != 0) {
        errno = nError;
        return -1;
    }
    return openat(fdDir, pszName, OPEN_FLAGS);
}

// Removes everything inside the open folder fdFolder (which it closes).
// Each level is reached through its parent's descriptor with O_NOFOLLOW,
// so a symbolic link met anywhere is removed as a link and nothing outside
// the tree is touched, even if the tree changes under us.  Goes on after a
// failure and returns the first error.
int RemoveContents(int fdFolder)
{
    DIR* pDir = fdopendir(fdFolder);
    if (pDir == nullptr) {
        int nError = errno;
        close(fdFolder);
        return nError;
    }
    int nFirstError = 0;
    for (;;) {
        errno = 0;
        struct dirent* pEntry = readdir(pDir);
        if (pEntry == nullptr) {
            if (errno != 0 && nFirstError == 0)
                nFirstError = errno;
            break;
        }
        const char* pszName = pEntry->d_name;
        if (strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0)
            continue;
        bool bFolder = pEntry->d_type == DT_DIR;
        if (pEntry->d_type == DT_UNKNOWN) {
            struct stat st;
            bFolder = fstatat(dirfd(pDir), pszName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        int nError = 0;
        if (bFolder) {
            int fdChild = OpenToEmpty(dirfd(pDir), pszName);
            if (fdChild < 0)
                nError = errno;
            else
                nError = RemoveContents(fdChild);
            if (nError == 0 && unlinkat(dirfd(pDir), pszName, AT_REMOVEDIR) != 0)
                nError = errno;
        } else if (unlinkat(dirfd(pDir), pszName, 0) != 0) {
            nError = errno;
        }
        if (nError != 0 && nFirstError == 0)
            nFirstError = nError;
    }
    closedir(pDir);
    return nFirstError;
}

}  // namespace

int DeleteTreeAt(int fdDir, const char* pszName)
{
    struct stat st;
    if (fstatat(fdDir, pszName, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode))
        return unlinkat(fdDir, pszName, 0) == 0 || errno == ENOENT ? 0 : errno;

    int fdFolder = OpenToEmpty(fdDir, pszName);
    if (fdFolder < 0)
        return errno;
    int nError = RemoveContents(fdFolder);
    if (unlinkat(fdDir, pszName, AT_REMOVEDIR) != 0 && nError == 0)
        nError = errno;
    return nError;
}
