// Preloaded into the native program by the GUI test (LD_PRELOAD) to hold one
// copy half-way, so that the copy window can be looked at.  For a source
// whose name holds "held", the data goes over 64 KB at a time: the second
// piece only after a second and a half (the copy window shows for copies
// that take over a second), the third only once the file named by
// TANDEMIX_TEST_RELEASE exists.  Such a file is never cloned, as a clone
// would copy it at once.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const size_t PIECE = 64 * 1024;

bool IsHeld(int fd)
{
    char szLink[64];
    char szPath[4096];
    std::snprintf(szLink, sizeof szLink, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(szLink, szPath, sizeof szPath - 1);
    if (n <= 0 || std::getenv("TANDEMIX_TEST_RELEASE") == nullptr)
        return false;
    szPath[n] = '\0';
    const char* pszName = std::strrchr(szPath, '/');
    return std::strstr(pszName != nullptr ? pszName : szPath, "held") != nullptr;
}

}  // namespace

extern "C" ssize_t copy_file_range(int fdIn, off64_t* pOffIn, int fdOut, off64_t* pOffOut, size_t nBytes,
                                   unsigned nFlags)
{
    typedef ssize_t (*PFN)(int, off64_t*, int, off64_t*, size_t, unsigned);
    static PFN pfnReal = reinterpret_cast<PFN>(dlsym(RTLD_NEXT, "copy_file_range"));
    if (IsHeld(fdIn)) {
        off_t nDone = lseek(fdIn, 0, SEEK_CUR);
        if (nDone == static_cast<off_t>(PIECE))
            usleep(1500 * 1000);
        while (nDone >= static_cast<off_t>(2 * PIECE) && access(std::getenv("TANDEMIX_TEST_RELEASE"), F_OK) != 0)
            usleep(10 * 1000);
        if (nBytes > PIECE)
            nBytes = PIECE;
    }
    return pfnReal(fdIn, pOffIn, fdOut, pOffOut, nBytes, nFlags);
}

extern "C" int ioctl(int fd, unsigned long nRequest, ...)
{
    typedef int (*PFN)(int, unsigned long, ...);
    static PFN pfnReal = reinterpret_cast<PFN>(dlsym(RTLD_NEXT, "ioctl"));
    // Every request the program makes takes one argument: a pointer, or for
    // FICLONE the source's descriptor.
    va_list args;
    va_start(args, nRequest);
    uintptr_t nArg = va_arg(args, uintptr_t);
    va_end(args);
    if (nRequest == FICLONE && IsHeld(static_cast<int>(nArg))) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return pfnReal(fd, nRequest, nArg);
}
