// Helpers for bench/run that a shell does too slowly or too coarsely.
//
//   benchtool tree DIR FILES FOLDERS FILE_BYTES LARGE LARGE_BYTES
//       Makes DIR with FILES small files spread over FOLDERS folders
//       (DIR/dN/fI.dat, I in folder I % FOLDERS) plus LARGE large files
//       (DIR/largeN.bin).  Contents are pseudo-random, every time an hour old.
//   benchtool change DIR FILES FOLDERS EVERY
//       Rewrites every EVERY-th small file with new bytes of the same size and
//       a modification time 10 s later than its own: an edit that size-and-time
//       tools all notice.
//   benchtool time [-C DIR] [-s PATH] -- COMMAND ARG...
//       Runs COMMAND (in DIR, output discarded) and prints "SECONDS MAXRSS_KIB
//       STATUS".  With -s the clock keeps running over a syncfs() of PATH's
//       file system after the command ends, so tools that do not flush are
//       timed like tools that do.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

uint64_t NextRandom(uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

void FillRandom(std::vector<char>& buf, uint64_t seed)
{
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i + 8 <= buf.size(); i += 8) {
        const uint64_t n = NextRandom(state);
        memcpy(&buf[i], &n, 8);
    }
}

bool WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool WriteFile(const std::string& path, uint64_t nBytes, uint64_t seed, const timespec& mtime)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        perror(path.c_str());
        return false;
    }
    std::vector<char> buf(nBytes < (1u << 20) ? ((nBytes + 7) & ~uint64_t(7)) : (1u << 20));
    bool bOk = true;
    for (uint64_t done = 0; bOk && done < nBytes; ++seed) {
        FillRandom(buf, seed);
        const uint64_t n = nBytes - done < buf.size() ? nBytes - done : buf.size();
        bOk = WriteAll(fd, buf.data(), n);
        done += n;
    }
    const timespec times[2] = { mtime, mtime };
    bOk = bOk && futimens(fd, times) == 0;
    if (close(fd) != 0 || !bOk) {
        perror(path.c_str());
        return false;
    }
    return true;
}

std::string SmallName(const std::string& dir, unsigned long i, unsigned long nFolders)
{
    return dir + "/d" + std::to_string(i % nFolders) + "/f" + std::to_string(i) + ".dat";
}

int MakeTree(char** argv)
{
    const std::string dir = argv[0];
    const unsigned long nFiles = strtoul(argv[1], nullptr, 10);
    const unsigned long nFolders = strtoul(argv[2], nullptr, 10);
    const uint64_t nFileBytes = strtoull(argv[3], nullptr, 10);
    const unsigned long nLarge = strtoul(argv[4], nullptr, 10);
    const uint64_t nLargeBytes = strtoull(argv[5], nullptr, 10);
    if (nFolders == 0 || mkdir(dir.c_str(), 0755) != 0) {
        perror(dir.c_str());
        return 1;
    }
    timespec then;
    clock_gettime(CLOCK_REALTIME, &then);
    then.tv_sec -= 3600;
    then.tv_nsec = 0;
    for (unsigned long i = 0; i < nFolders && i < nFiles; ++i) {
        const std::string sub = dir + "/d" + std::to_string(i);
        if (mkdir(sub.c_str(), 0755) != 0) {
            perror(sub.c_str());
            return 1;
        }
    }
    for (unsigned long i = 0; i < nFiles; ++i)
        if (!WriteFile(SmallName(dir, i, nFolders), nFileBytes, i, then))
            return 1;
    for (unsigned long i = 0; i < nLarge; ++i)
        if (!WriteFile(dir + "/large" + std::to_string(i) + ".bin", nLargeBytes, (i + 1) << 40, then))
            return 1;
    return 0;
}

int ChangeFiles(char** argv)
{
    const std::string dir = argv[0];
    const unsigned long nFiles = strtoul(argv[1], nullptr, 10);
    const unsigned long nFolders = strtoul(argv[2], nullptr, 10);
    const unsigned long nEvery = strtoul(argv[3], nullptr, 10);
    if (nFolders == 0 || nEvery == 0)
        return 2;
    unsigned long nChanged = 0;
    for (unsigned long i = 0; i < nFiles; i += nEvery) {
        const std::string path = SmallName(dir, i, nFolders);
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            perror(path.c_str());
            return 1;
        }
        timespec later = st.st_mtim;
        later.tv_sec += 10;
        if (!WriteFile(path, static_cast<uint64_t>(st.st_size), (uint64_t(i) << 20) ^ uint64_t(later.tv_sec), later))
            return 1;
        ++nChanged;
    }
    fprintf(stderr, "%lu files changed\n", nChanged);
    return 0;
}

double Seconds(const timespec& a, const timespec& b)
{
    return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) / 1e9;
}

int TimeCommand(int argc, char** argv)
{
    const char* pszDir = nullptr;
    const char* pszSync = nullptr;
    int i = 0;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (strcmp(argv[i], "-C") == 0 && i + 1 < argc)
            pszDir = argv[++i];
        else if (strcmp(argv[i], "-s") == 0 && i + 1 < argc)
            pszSync = argv[++i];
        else
            return 2;
    }
    if (i + 1 >= argc)
        return 2;
    char** ppszCommand = argv + i + 1;

    timespec t0;
    timespec t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 1;
    }
    if (pid == 0) {
        const int fdNull = open("/dev/null", O_RDWR);
        if (fdNull >= 0) {
            dup2(fdNull, 1);
            dup2(fdNull, 2);
        }
        if (pszDir != nullptr && chdir(pszDir) != 0)
            _exit(126);
        execvp(ppszCommand[0], ppszCommand);
        _exit(127);
    }
    int status = 0;
    rusage usage;
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) {
            perror("wait4");
            return 1;
        }
    if (pszSync != nullptr) {
        const int fd = open(pszSync, O_RDONLY | O_CLOEXEC);
        if (fd < 0 || syncfs(fd) != 0) {
            perror(pszSync);
            return 1;
        }
        close(fd);
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    printf("%.6f %ld %d\n", Seconds(t0, t1), usage.ru_maxrss, code);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 8 && strcmp(argv[1], "tree") == 0)
        return MakeTree(argv + 2);
    if (argc >= 6 && strcmp(argv[1], "change") == 0)
        return ChangeFiles(argv + 2);
    if (argc >= 4 && strcmp(argv[1], "time") == 0)
        return TimeCommand(argc - 2, argv + 2);
    fprintf(stderr, "usage: benchtool tree|change|time ... (see the top of BenchTool.cpp)\n");
    return 2;
}
