#include "e2e/Harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/TextCodec.h"

namespace fs = std::filesystem;

namespace {

std::string g_program;  // the program under test
std::string g_wineRun;  // scripts/wine-run, for the Windows program
bool g_bSanitized = false;

// What RunKeepingStderr's child does before the program starts.
std::string g_stderrPath;
void (*g_pfnThenInChild)() = nullptr;

void KeepStderr()
{
    const int fd = open(g_stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0)
        _exit(126);
    if (g_pfnThenInChild != nullptr)
        g_pfnThenInChild();
}

}  // namespace

bool Scenario::IsWindows()
{
    return !g_wineRun.empty();
}

std::string Scenario::HostPath(const std::string& rel) const
{
    return rel.empty() ? m_dir.Path() : m_dir.Join(rel);
}

std::string Scenario::ProgramPath(const std::string& rel) const
{
    std::string path = HostPath(rel);
    if (!IsWindows())
        return path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

void Scenario::WriteIni(const std::string& utf8Text) const
{
    std::string text = utf8Text;
    if (IsWindows()) {
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_TRUE(ConvertText(crlf, ENCODING_UTF8, ENCODING_SHIFT_JIS, text)) << "the settings cannot be written in Shift-JIS";
    }
    WriteFile("Tandemix.ini", text);
}

void Scenario::WriteFile(const std::string& rel, const std::string& bytes, time_t mtime) const
{
    fs::create_directories(fs::path(HostPath(rel)).parent_path());
    EXPECT_TRUE(WriteFileBytes(HostPath(rel), bytes)) << rel;
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    EXPECT_TRUE(mtime == 0 || utimensat(AT_FDCWD, HostPath(rel).c_str(), times, 0) == 0) << rel;
}

bool Scenario::Exists(const std::string& rel) const
{
    struct stat st;
    return lstat(HostPath(rel).c_str(), &st) == 0;
}

size_t Scenario::CountFiles(const std::string& rel, const std::string& part) const
{
    size_t n = 0;
    for (const std::string& entry : ListTree(rel))
        n += entry.back() != '/' && entry.find(part) != std::string::npos ? 1 : 0;
    return n;
}

bool Scenario::WaitUntil(const std::function<bool()>& bDone, int nSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
    while (!bDone()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool Scenario::IsSanitized()
{
    return g_bSanitized;
}

Scenario::~Scenario()
{
    for (pid_t pid : m_running) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

pid_t Scenario::Start(void (*pfnInChild)(), const Lines& args) const
{
    std::vector<const char*> argv;
    if (IsWindows())
        argv.push_back(g_wineRun.c_str());
    argv.push_back(g_program.c_str());
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid > 0)
        m_running.push_back(pid);
    if (pid == 0) {
        // No terminal to answer on, no display: the program runs headless.
        int devnull = open("/dev/null", O_RDONLY);
        if (chdir(m_dir.Path().c_str()) != 0 || devnull < 0 || dup2(devnull, 0) < 0)
            _exit(127);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (pfnInChild != nullptr)
            pfnInChild();
        execv(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    return pid;
}

int Scenario::RunKeepingStderr(void (*pfnInChild)(), const Lines& args) const
{
    g_stderrPath = HostPath("stderr.txt");
    g_pfnThenInChild = pfnInChild;
    return Wait(Start(&KeepStderr, args));
}

int Scenario::Wait(pid_t pid) const
{
    int status = 0;
    const bool bEnded = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }, 120);
    if (!bEnded) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    m_running.erase(std::remove(m_running.begin(), m_running.end(), pid), m_running.end());
    if (!bEnded) {
        ADD_FAILURE() << "the program did not end within 120 s";
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

Mounted::~Mounted()
{
    if (!path.empty())
        (void)std::system(("umount '" + path + "' 2>/dev/null || umount -l '" + path + "'").c_str());
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    bool bWindows = false;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg.rfind("--program=native:", 0) == 0)
            g_program = fs::absolute(arg.substr(17)).string();
        if (arg.rfind("--program=windows:", 0) == 0)
            g_program = fs::absolute(arg.substr(18)).string();
        if (arg.rfind("--wine=", 0) == 0)
            g_wineRun = fs::absolute(arg.substr(7)).string();
        bWindows = bWindows || arg.rfind("--program=windows:", 0) == 0;
        g_bSanitized = g_bSanitized || arg == "--sanitized";
    }
    if (g_program.empty() || bWindows == g_wineRun.empty()) {
        fprintf(stderr, "usage: tandemix_e2e --program=native:PATH | --program=windows:PATH --wine=WINE_RUN\n");
        return 2;
    }
    if (bWindows) {
        // Wine's first start after a while brings up its server and may
        // bring the prefix up to date; no scenario should be the one to
        // meet that, so a command that does nothing goes first.
        (void)std::system(("'" + g_wineRun + "' cmd /c exit </dev/null >/dev/null 2>&1").c_str());
    }
    return RUN_ALL_TESTS();
}

void Backup::WriteSettings(const Lines& sets, const std::string& general, int nLevel) const
{
    std::string ini = "[全般]\n画面表示レベル=" + std::to_string(nLevel) + "\nログファイル名=run.log\nバックアップセット数=" +
                      std::to_string(sets.size()) + "\n" + general;
    for (size_t i = 0; i < sets.size(); i++)
        ini += "[バックアップセット" + std::to_string(i + 1) + "]\n" + sets[i];
    WriteIni(ini);
}

std::string Backup::Set(const std::string& src, const std::string& dst, const std::string& more) const
{
    return "バックアップ元=" + ProgramPath(src) + "\nバックアップ先=" + ProgramPath(dst) + "\n" + more;
}

std::string Backup::CopyLine(const std::string& src, const std::string& dst) const
{
    return "  コピーします  " + ProgramPath(src) + " => " + ProgramPath(dst);
}

std::string Backup::Rel(std::string rel) const
{
    std::replace(rel.begin(), rel.end(), '/', Sep());
    return rel;
}
