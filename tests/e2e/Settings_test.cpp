// Starting a run: the settings file, its reader and the one-run-at-a-time
// rule, seen from outside; and what a hostile name does to the log.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "e2e/Harness.h"

namespace {

// Where the child's stderr goes (set before Start; the child inherits it).
std::string g_stderrPath;

void SendStderrToFile()
{
    const int fd = open(g_stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0)
        _exit(126);
}

class Settings : public Backup {
protected:
    Settings() { g_stderrPath = HostPath("stderr.txt"); }

    // Runs the program with its stderr kept in stderr.txt.
    int RunKeepingStderr() const { return Run(&SendStderrToFile); }
    Lines StderrLines() const { return SplitLines(ReadFile("stderr.txt")); }

    // True once process pid holds a flock lock.
    static bool HoldsFlock(pid_t pid)
    {
        std::ifstream locks("/proc/locks");
        const std::string needle = " " + std::to_string(pid) + " ";
        for (std::string line; std::getline(locks, line);) {
            if (line.find(" FLOCK ") != std::string::npos && line.find(needle) != std::string::npos)
                return true;
        }
        return false;
    }
};

// A scheduled run started in the wrong folder must not look like a backup
// that had nothing to do.
TEST_F(Settings, WithoutTheSettingsFileTheRunDoesNotStart)
{
    EXPECT_EQ(3, RunKeepingStderr());
    EXPECT_EQ(Lines{"stderr.txt"}, ListTree());
    if (!IsWindows()) {
        const Lines lines = StderrLines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(std::string::npos, lines[0].find(HostPath("Tandemix.ini"))) << lines[0];
    }
}

// One Latin-1 byte in a comment of a UTF-8 file: the file is still read as
// UTF-8, the set runs, and the line is named.
TEST_F(Settings, AStrayByteIsNamedAndTheRestIsRead)
{
    if (IsWindows())
        GTEST_SKIP() << "the Windows program reads Shift-JIS only";
    WriteSettings({Set("data", "bk")});
    WriteFile("Tandemix.ini", "; caf\xE9\n" + ReadFile("Tandemix.ini"));
    WriteFile("data/a.txt", "a");
    EXPECT_EQ(0, RunKeepingStderr());
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
    const Lines lines = StderrLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("1 行目")) << lines[0];
}

// While a run holds the settings file (here: waiting to open its log, a
// pipe nobody reads yet), a second run ends at once with status 3 and
// touches nothing; the first then finishes as if alone.
TEST_F(Settings, ASecondRunOnTheSameSettingsDoesNotStart)
{
    if (IsWindows())
        GTEST_SKIP() << "a Windows run cannot be held at a known point from here; the lock has a unit test";
    WriteSettings({Set("data", "bk")});
    WriteFile("data/a.txt", "a");
    ASSERT_EQ(0, mkfifo(HostPath("run.log").c_str(), 0600));
    const pid_t first = Start();
    ASSERT_TRUE(WaitUntil([&] { return HoldsFlock(first); })) << "the first run never took its lock";

    EXPECT_EQ(3, RunKeepingStderr());
    EXPECT_EQ(1u, StderrLines().size());
    EXPECT_FALSE(Exists("bk"));

    const std::string log = ReadFile("run.log");  // lets the first run go on
    EXPECT_EQ(0, Wait(first));
    EXPECT_NE(std::string::npos, log.find("Tandemix start.")) << log;
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
}

}  // namespace
