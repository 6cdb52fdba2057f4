#include "e2e/Harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

ProgramUnderTest g_program;

// The time stamp that opens every log line: "YYYY/MM/DD HH:MM:SS  ".
const size_t STAMP_LENGTH = 21;

}  // namespace

const ProgramUnderTest& Program()
{
    return g_program;
}

std::string ConvertEncoding(const std::string& in, const char* from, const char* to)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::string out(in.size() * 4 + 16, '\0');
    char* pIn = const_cast<char*>(in.data());
    size_t nIn = in.size();
    char* pOut = &out[0];
    size_t nOut = out.size();
    size_t rc = iconv(cd, &pIn, &nIn, &pOut, &nOut);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return std::string();
    out.resize(out.size() - nOut);
    return out;
}

bool EndsWithLowerHex(const std::string& line, const std::string& prefix, unsigned long* pValue)
{
    if (line.size() <= prefix.size() || line.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string digits = line.substr(prefix.size());
    if (digits.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    *pValue = std::stoul(digits, nullptr, 16);
    return true;
}

Scenario::Scenario()
{
    char pattern[] = "/tmp/tandemix-e2e-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr)
        ADD_FAILURE() << "cannot make a temporary folder";
    else
        m_dir = dir;
}

Scenario::~Scenario()
{
    if (m_dir.empty())
        return;
    std::error_code ec;
    // Make everything removable again: some scenarios take rights away.
    for (auto it = fs::recursive_directory_iterator(m_dir, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_dir, ec);
}

std::string Scenario::HostPath(const std::string& rel) const
{
    return rel.empty() ? m_dir : m_dir + "/" + rel;
}

std::string Scenario::ProgramPath(const std::string& rel) const
{
    std::string path = HostPath(rel);
    if (!IsWindows())
        return path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

std::string Scenario::ToProgramText(const std::string& utf8) const
{
    return IsWindows() ? ConvertEncoding(utf8, "UTF-8", "CP932") : utf8;
}

std::string Scenario::FromProgramText(const std::string& bytes) const
{
    return IsWindows() ? ConvertEncoding(bytes, "CP932", "UTF-8") : bytes;
}

void Scenario::WriteIni(const std::string& utf8Text) const
{
    std::string text = utf8Text;
    if (IsWindows()) {
        std::string crlf;
        for (char c : text) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        text = ToProgramText(crlf);
        EXPECT_FALSE(text.empty()) << "the settings cannot be written in Shift-JIS";
    }
    WriteFile("Tandemix.ini", text);
}

void Scenario::WriteFile(const std::string& rel, const std::string& bytes) const
{
    fs::path path(HostPath(rel));
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << rel;
}

std::string Scenario::ReadFile(const std::string& rel) const
{
    std::ifstream in(HostPath(rel), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Scenario::Exists(const std::string& rel) const
{
    struct stat st;
    return lstat(HostPath(rel).c_str(), &st) == 0;
}

void Scenario::MakeFolder(const std::string& rel) const
{
    fs::create_directories(HostPath(rel));
}

void Scenario::SetMTime(const std::string& rel, time_t t) const
{
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    EXPECT_EQ(0, utimensat(AT_FDCWD, HostPath(rel).c_str(), times, AT_SYMLINK_NOFOLLOW)) << rel;
}

time_t Scenario::GetMTime(const std::string& rel) const
{
    struct stat st;
    if (lstat(HostPath(rel).c_str(), &st) != 0)
        return 0;
    return st.st_mtime;
}

std::vector<std::string> Scenario::ListTree(const std::string& rel) const
{
    std::vector<std::string> entries;
    fs::path root(HostPath(rel));
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string name = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && !it->is_symlink())
            name += "/";
        entries.push_back(name);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

pid_t Scenario::Start() const
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(m_dir.c_str()) != 0)
            _exit(127);
        // Nothing may wait for an answer on a terminal.
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        // No display: the program runs headless whatever its display level.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (g_program.bWindows)
            execl(g_program.wineRun.c_str(), g_program.wineRun.c_str(), g_program.path.c_str(), static_cast<char*>(nullptr));
        else
            execl(g_program.path.c_str(), g_program.path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int Scenario::Wait(pid_t pid, int timeoutSeconds) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end within " << timeoutSeconds << " s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int Scenario::Run(int timeoutSeconds) const
{
    return Wait(Start(), timeoutSeconds);
}

std::vector<std::string> Scenario::ReadLogLines(const std::string& rel) const
{
    std::string text = FromProgramText(ReadFile(rel));
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line.size() >= STAMP_LENGTH ? line.substr(STAMP_LENGTH) : line);
    }
    return lines;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg.rfind("--program=native:", 0) == 0) {
            g_program.path = arg.substr(17);
        } else if (arg.rfind("--program=windows:", 0) == 0) {
            g_program.bWindows = true;
            g_program.path = arg.substr(18);
        } else if (arg.rfind("--wine=", 0) == 0) {
            g_program.wineRun = arg.substr(7);
        }
    }
    // The program runs in a scenario's own folder: its path must not be relative.
    if (!g_program.path.empty())
        g_program.path = fs::absolute(g_program.path).string();
    if (!g_program.wineRun.empty())
        g_program.wineRun = fs::absolute(g_program.wineRun).string();
    if (g_program.path.empty()) {
        fprintf(stderr, "usage: tandemix_e2e --program=native:PATH | --program=windows:PATH --wine=WINE_RUN\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
