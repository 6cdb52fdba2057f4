// The program's start and end, and the run log, seen from outside.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <functional>

#include "e2e/Harness.h"

namespace {

class Startup : public Backup {};

std::string LocalStamp(time_t t)
{
    char szStamp[32];
    strftime(szStamp, sizeof szStamp, "%Y/%m/%d %H:%M:%S  ", localtime(&t));
    return szStamp;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The log of an earlier run gives way to exactly one line, stamped with the
// local time, in the program's encoding and line end, and keeps its mode; a
// new log lists names that nobody else should read: it is private.
TEST_F(Startup, LogHoldsExactlyTheStartLine)
{
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=run.log\n");
    WriteFile("run.log", std::string(100000, 'o') + "\n");
    chmod(HostPath("run.log").c_str(), 0640);
    const std::string before = LocalStamp(time(nullptr));
    EXPECT_EQ(0, Run());
    const std::string after = LocalStamp(time(nullptr));

    const std::string raw = ReadFile("run.log");
    const std::string line = std::string("Tandemix start.") + (IsWindows() ? "\r\n" : "\n");
    ASSERT_EQ(before.size() + line.size(), raw.size()) << raw;
    EXPECT_EQ(line, raw.substr(before.size()));
    EXPECT_LE(before, raw.substr(0, before.size()));
    EXPECT_GE(after, raw.substr(0, before.size()));
    if (!IsWindows()) {
        EXPECT_EQ(0640u, ModeOf(HostPath("run.log")));
        remove(HostPath("run.log").c_str());
        EXPECT_EQ(0, Run());
        EXPECT_EQ(0600u, ModeOf(HostPath("run.log")));
    }
}

const uid_t NOBODY = 65534;

void BecomeNobody()
{
    if (setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
        _exit(126);
}

void LeaveRoomForAFewLines()
{
    struct rlimit size = {4096, 4096};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &size);
}

// A log that was asked for but cannot be written is never silently absent:
// the backup goes on, one line on stderr says why, and the run ends with 1.
// Nor is a log ever written through a link, into another user's file or
// into anything but a regular file, such as what an ordinary user plants
// in a shared folder that root's settings name.
TEST_F(Startup, ALogThatCannotBeWrittenFailsTheRun)
{
    const bool bRoot = !IsWindows() && geteuid() == 0;
    const struct {
        const char* pszWhat;
        std::string name;
        bool bRun;
        std::function<void()> make;
        void (*pfnInChild)();
        int nStatus;
    } cases[] = {
        // A log made for the user in a folder that only root may change is
        // written in place.  First, while nobody may still make bk.
        {"its own log in a folder it cannot change", "ro/run.log", bRoot,
         [this] {
             chmod(HostPath("").c_str(), 0777);
             mkdir(HostPath("ro").c_str(), 0755);
             WriteFile("ro/run.log", "old");
             chown(HostPath("ro/run.log").c_str(), NOBODY, NOBODY);
         },
         &BecomeNobody, 0},
        {"no log", "", true, [] {}, nullptr, 0},
        {"no such folder", "missing/run.log", true, [] {}, nullptr, 1},
        {"a folder", "run.log", true, [this] { mkdir(HostPath("run.log").c_str(), 0700); }, nullptr, 1},
        {"too long a name", std::string(400, 'l'), true, [] {}, nullptr, 1},
        {"a full disk", "run.log", !IsWindows(), [] {}, &LeaveRoomForAFewLines, 1},
        {"another user's link", "shared/run.log", bRoot,
         [this] {
             WriteFile("secret", "root's");
             mkdir(HostPath("shared").c_str(), 01777);
             chmod(HostPath("shared").c_str(), 01777);
             symlink(HostPath("secret").c_str(), HostPath("shared/run.log").c_str());
             lchown(HostPath("shared/run.log").c_str(), NOBODY, NOBODY);
         },
         nullptr, 1},
        {"another user's file", "shared/run.log", bRoot,
         [this] {
             remove(HostPath("shared/run.log").c_str());
             WriteFile("shared/run.log", "nobody's");
             chown(HostPath("shared/run.log").c_str(), NOBODY, NOBODY);
         },
         nullptr, 1},
    };
    for (int i = 0; i < 60; i++)
        WriteFile("data/" + std::to_string(i) + std::string(80, 'n'), "n");
    for (const auto& c : cases) {
        if (!c.bRun)
            continue;
        SCOPED_TRACE(c.pszWhat);
        c.make();
        WriteIni("[全般]\n画面表示レベル=0\nバックアップセット数=1\nログファイル名=" + c.name + "\n[バックアップセット1]\n" +
                 Set("data", "bk"));
        EXPECT_EQ(c.nStatus, RunKeepingStderr(c.pfnInChild));
        EXPECT_EQ(60u, CountFiles("bk"));
        if (!IsWindows()) {
            EXPECT_EQ(c.nStatus == 0 ? 0u : 1u, StderrLines().size());
        }
    }
    if (bRoot) {
        EXPECT_EQ("Tandemix start.", ReadLogTexts(HostPath("ro/run.log"), 0).at(0));
        EXPECT_EQ("root's", ReadFile("secret"));
        EXPECT_EQ("nobody's", ReadFile("shared/run.log"));
    }
}

void StdoutToStderr()
{
    dup2(2, 1);
}

// An argument never starts a backup: --help and --version answer and end,
// anything else is refused (Linux); Windows ignores arguments, as scheduled
// tasks may pass some, but answers "/?".
TEST_F(Startup, ArgumentsNeverStartABackup)
{
    WriteFile("data/a.txt", "a");
    WriteSettings({Set("data", "bk", "世代数=1\n世代管理タイプ=2\n")});
    const struct {
        Lines args;
        int nStatus;
        const char* pszSaid;
    } cases[] = {
        {{"--help"}, 0, "man tandemix"}, {{"-h"}, 0, "man tandemix"},     {{"--version"}, 0, "Tandemix "},
        {{"-V"}, 0, "Tandemix "},        {{"--dry-run"}, 3, "--dry-run"}, {{"--help", "foo"}, 3, "--help"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        if (IsWindows())
            break;
        EXPECT_EQ(c.nStatus, RunKeepingStderr(&StdoutToStderr, c.args));
        EXPECT_NE(std::string::npos, ReadFile("stderr.txt").find(c.pszSaid));
        EXPECT_EQ((Lines{"Tandemix.ini", "data/", "data/a.txt", "stderr.txt"}), ListTree());
    }
    if (IsWindows()) {
        EXPECT_EQ(0, Wait(Start(nullptr, {"/?"})));
        EXPECT_EQ((Lines{"Tandemix.ini", "data/", "data/a.txt"}), ListTree());
    }
}

// Without room for the worker's stack the run cannot start: it must say so
// in its exit status at once, not wait for a worker that never comes.
void LeaveNoRoomForAThreadStack()
{
    struct rlimit stack = {4000000000UL, 4000000000UL};
    struct rlimit space = {2000000000UL, 2000000000UL};
    setrlimit(RLIMIT_STACK, &stack);
    setrlimit(RLIMIT_AS, &space);
}

TEST_F(Startup, AWorkerThatCannotStartEndsTheRunWithStatus3)
{
    if (IsWindows() || IsSanitized())
        GTEST_SKIP() << "needs a plain native program";
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=run.log\n");
    EXPECT_EQ(3, Run(&LeaveNoRoomForAThreadStack));
    EXPECT_EQ(Lines{"Tandemix.ini"}, ListTree());
}

}  // namespace
