#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The names of fd's extended attributes that a copy made by this process
// carries, sorted; false when they cannot be read.
bool ListKeptAttributes(int fd, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> buffer;
    if (ListAttributes(fd, buffer) != 0)
        return false;
    const bool bRoot = IsRoot();
    for (size_t nPos = 0; nPos < buffer.size(); nPos += strlen(&buffer[nPos]) + 1) {
        if (bRoot || !IsPrivilegedAttribute(&buffer[nPos]))
            names.push_back(&buffer[nPos]);
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool SameExtendedAttributes(int fdA, int fdB)
{
    std::vector<std::string> namesA, namesB;
    if (!ListKeptAttributes(fdA, namesA) || !ListKeptAttributes(fdB, namesB) || namesA != namesB)
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
    if (IsRoot() && (stFrom.st_uid != stPrevious.st_uid || stFrom.st_gid != stPrevious.st_gid))
        return false;
    const int fdFrom = OpenForAttributes(from);
    if (fdFrom < 0)
        return false;
    const int fdPrevious = OpenForAttributes(previous);
    const bool bSame = fdPrevious >= 0 && SameExtendedAttributes(fdFrom, fdPrevious);
    if (fdPrevious >= 0)
        close(fdPrevious);
    close(fdFrom);
    return bSame;
}
