#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

std::string FindOnPath(const char* pszProgram)
{
    const char* pszPath = getenv("PATH");
    std::string list = pszPath != nullptr ? pszPath : "/usr/local/bin:/usr/bin:/bin";
    size_t nStart = 0;
    while (nStart <= list.size()) {
        size_t nEnd = list.find(':', nStart);
        if (nEnd == std::string::npos)
            nEnd = list.size();
        std::string folder = list.substr(nStart, nEnd - nStart);
        if (folder.empty())
            folder = ".";
        std::string candidate = folder + "/" + pszProgram;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        nStart = nEnd + 1;
    }
    return std::string();
}

}  // namespace

int StartDetached(const char* pszCommand)
{
    if (pszCommand == nullptr || *pszCommand == '\0')
        return ENOENT;

    // Everything the child needs is prepared here: between fork and exec a
    // threaded process may only make async-signal-safe calls.
    std::string program;
    const char* argv[3] = {nullptr, nullptr, nullptr};
    struct stat st;
    if (stat(pszCommand, &st) == 0 && S_ISREG(st.st_mode) && access(pszCommand, X_OK) == 0) {
        program = pszCommand;
        argv[0] = pszCommand;
    } else {
        program = FindOnPath("xdg-open");
        if (program.empty())
            return ENOENT;
        argv[0] = "xdg-open";
        argv[1] = pszCommand;
    }
    int fdNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fdNull < 0)
        return errno;

    // Two forks: the middle process ends at once and is reaped here, so the
    // command belongs to no one and never becomes our zombie.
    pid_t pid = fork();
    if (pid < 0) {
        int nError = errno;
        close(fdNull);
        return nError;
    }
    if (pid == 0) {
        setsid();
        pid_t pidCommand = fork();
        if (pidCommand != 0)
            _exit(pidCommand < 0 ? 1 : 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction standard = {};
        standard.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &standard, nullptr);
        dup2(fdNull, STDIN_FILENO);
        dup2(fdNull, STDOUT_FILENO);
        dup2(fdNull, STDERR_FILENO);
        close_range(3, ~0U, 0);
        execve(program.c_str(), const_cast<char* const*>(argv), environ);
        _exit(127);
    }
    close(fdNull);
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
