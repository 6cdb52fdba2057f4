// Preloaded into the native program by the GUI test (LD_PRELOAD) to hold a
// copy half-way.  A source named "held..." goes over 64 KB at a time: the
// second piece after a second and a half (the copy window shows for copies
// that take over a second), the third once the file named by
// TANDEMIX_TEST_RELEASE exists.  (On a file system that clones, such as
// btrfs, no data would go through here: the test works on tmpfs.)
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" ssize_t copy_file_range(int fdIn, off64_t* pOffIn, int fdOut, off64_t* pOffOut, size_t nBytes,
                                   unsigned nFlags)
{
    typedef ssize_t (*PFN)(int, off64_t*, int, off64_t*, size_t, unsigned);
    static PFN pfnReal = reinterpret_cast<PFN>(dlsym(RTLD_NEXT, "copy_file_range"));
    const size_t PIECE = 64 * 1024;
    const char* pszRelease = std::getenv("TANDEMIX_TEST_RELEASE");
    char szLink[64];
    char szPath[4096] = "";
    std::snprintf(szLink, sizeof szLink, "/proc/self/fd/%d", fdIn);
    ssize_t n = readlink(szLink, szPath, sizeof szPath - 1);
    if (pszRelease != nullptr && n > 0 && (szPath[n] = '\0', std::strstr(szPath, "/held") != nullptr)) {
        off_t nDone = lseek(fdIn, 0, SEEK_CUR);
        if (nDone == static_cast<off_t>(PIECE))
            usleep(1500 * 1000);
        while (nDone >= static_cast<off_t>(2 * PIECE) && access(pszRelease, F_OK) != 0)
            usleep(10 * 1000);
        if (nBytes > PIECE)
            nBytes = PIECE;
    }
    return pfnReal(fdIn, pOffIn, fdOut, pOffOut, nBytes, nFlags);
}
