#include "platform/posix/PosixFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The names of fd's extended attributes that a copy made by this process
// carries, sorted; false when they cannot be read.
bool ListKeptAttributes(int fd, bool bRoot, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> buffer;
    if (ListAttributes(fd, buffer) != 0)
        return false;
    for (size_t nPos = 0; nPos < buffer.size(); nPos += strlen(&buffer[nPos]) + 1) {
        if (bRoot || !IsPrivilegedAttribute(&buffer[nPos]))
            names.push_back(&buffer[nPos]);
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool SameExtendedAttributes(int fdA, int fdB, bool bRoot)
{
    std::vector<std::string> namesA, namesB;
    if (!ListKeptAttributes(fdA, bRoot, namesA) || !ListKeptAttributes(fdB, bRoot, namesB) || namesA != namesB)
        return false;
    std::vector<char> valueA, valueB;
    for (const std::string& name : namesA) {
        if (ReadAttribute(fdA, name.c_str(), valueA) != 0 || ReadAttribute(fdB, name.c_str(), valueB) != 0 ||
            valueA != valueB)
            return false;
    }
    return true;
}

// Opens a regular file only to read its attributes: never through a link,
// never blocking on a FIFO swapped in since its status was read.
int OpenForAttributes(const FilePlace& place)
{
    return openat(place.fdDir, place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// listxattrat (Linux 6.13) lists a file's extended attributes by a name in
// a folder's descriptor, as fstatat reads its status: no open, no close.
// C libraries older than the call do not name it; its number is 465 on
// each architecture listed here.  Elsewhere the files are opened.
#if defined(SYS_listxattrat)
const long LISTXATTRAT = SYS_listxattrat;
#elif defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__arm__) || defined(__riscv)
const long LISTXATTRAT = 465;
#else
const long LISTXATTRAT = -1;
#endif

// True when the file at place is seen to have no extended attribute at
// all, asked without opening it and never following a link at the name.
// Most files have none, and this spares two opens and two closes a file;
// false (look closer) for anything else, an older kernel included.
bool SeenWithoutAttributes(const FilePlace& place)
{
    static std::atomic<bool> s_bNoCall(LISTXATTRAT < 0);
    if (s_bNoCall.load(std::memory_order_relaxed) || !place.bBelowRoot)
        return false;
    long n = syscall(LISTXATTRAT, place.fdDir, place.name.c_str(), AT_SYMLINK_NOFOLLOW, nullptr, 0);
    // An older kernel, or a sandbox that refuses calls it does not know.
    if (n < 0 && (errno == ENOSYS || errno == EPERM))
        s_bNoCall.store(true, std::memory_order_relaxed);
    return n == 0;
}

bool SameTime(const struct timespec& from, const struct timespec& previous, int nMargin)
{
    if (nMargin <= 0)
        return from.tv_sec == previous.tv_sec && from.tv_nsec == previous.tv_nsec;
    // A source older than its copy is another file, whatever the margin.
    if (from.tv_sec < previous.tv_sec || (from.tv_sec == previous.tv_sec && from.tv_nsec < previous.tv_nsec))
        return false;
    return from.tv_sec - previous.tv_sec <= nMargin;
}

}  // namespace

bool IsUnchangedCopy(const FilePlace& from, const struct stat& stFrom, const FilePlace& previous,
                     const struct stat& stPrevious, int nMargin)
{
    if (!S_ISREG(stFrom.st_mode) || !S_ISREG(stPrevious.st_mode) || stFrom.st_size != stPrevious.st_size ||
        (stFrom.st_mode & 07777) != (stPrevious.st_mode & 07777) ||
        !SameTime(stFrom.st_mtim, stPrevious.st_mtim, nMargin))
        return false;
    const bool bRoot = IsRoot();
    if (bRoot && (stFrom.st_uid != stPrevious.st_uid || stFrom.st_gid != stPrevious.st_gid))
        return false;
    if (SeenWithoutAttributes(from) && SeenWithoutAttributes(previous))
        return true;
    const int fdFrom = OpenForAttributes(from);
    if (fdFrom < 0)
        return false;
    const int fdPrevious = OpenForAttributes(previous);
    const bool bSame = fdPrevious >= 0 && SameExtendedAttributes(fdFrom, fdPrevious, bRoot);
    if (fdPrevious >= 0)
        close(fdPrevious);
    close(fdFrom);
    return bSame;
}
