// Starting a run: the settings file, its reader and the one-run-at-a-time
// rule, seen from outside.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "e2e/Harness.h"

namespace {

// The descriptor that a held run's stderr goes to.
int g_nStderrFd = -1;

void SendStderrToPipe()
{
    if (dup2(g_nStderrFd, 2) < 0)
        _exit(126);
}

class Settings : public Backup {
protected:
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

// Whatever stands under the settings file's name, a run that cannot read
// real settings backs up nothing, says why in one line and ends with 3: a
// scheduled run started in the wrong folder must not look like a backup
// that had nothing to do, and a FIFO or a device must not hold it or fill
// its memory.
TEST_F(Settings, WithoutReadableSettingsTheRunDoesNotStart)
{
    const struct {
        const char* pszWhat;
        bool bPosixOnly;
        std::function<void()> make;
    } cases[] = {
        {"missing", false, [] {}},
        {"a FIFO", true, [this] { mkfifo(HostPath("Tandemix.ini").c_str(), 0600); }},
        {"a link to /dev/zero", true,
         [this] { symlink("/dev/zero", HostPath("Tandemix.ini").c_str()); }},
        {"over 16 MiB", false,
         [this] {
             WriteIni("[全般]\n画面表示レベル=0\n");
             truncate(HostPath("Tandemix.ini").c_str(), 16 * 1024 * 1024 + 1);
         }},
        // What Notepad saves as "Unicode": text, but not in any encoding
        // the reader takes, so no [全般].
        {"UTF-16", false,
         [this] { WriteFile("Tandemix.ini", std::string("\xFF\xFE[\0a\0]\0\r\0\n\0", 12)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        if (c.bPosixOnly && IsWindows())
            continue;
        c.make();
        const Lines before = ListTree();
        EXPECT_EQ(3, RunKeepingStderr());
        const Lines lines = StderrLines();
        remove(HostPath("stderr.txt").c_str());
        EXPECT_EQ(before, ListTree());
        if (!IsWindows()) {
            EXPECT_EQ(1u, lines.size());
            EXPECT_NE(std::string::npos, lines.empty() ? 0 : lines[0].find(HostPath("Tandemix.ini")));
        }
        remove(HostPath("Tandemix.ini").c_str());
    }
}

// What Notepad saves (UTF-8, with or without a byte-order mark) reads as
// settings on both systems; so does a file of 4 MB and 256 sets, which is
// read once, not once for each of its 2,000 keys.
TEST_F(Settings, UTF8AndLargeSettingsAreRead)
{
    WriteFile("data/a.txt", "a");
    std::string large = "[全般]\r\nバックアップセット数=256\r\n画面表示レベル=0\r\nログファイル名=run.log\r\n";
    for (int n = 1; n <= 256; n++) {
        large += "[バックアップセット" + std::to_string(n) + "]\r\n";
        while (large.size() < static_cast<size_t>(n) * 16000)
            large += "; " + std::string(200, 'c') + "\r\n";
        large += "バックアップ元=" + ProgramPath("data") + "\r\nバックアップ先=" + ProgramPath("bk" + std::to_string(n % 2)) +
                 "\r\n対象外拡張子=tmp\r\n";
    }
    const struct {
        const char* pszWhat;
        std::string bytes;
        size_t nSets;
    } cases[] = {
        {"UTF-8", "[全般]\r\nバックアップセット数=1\r\nログファイル名=run.log\r\n画面表示レベル=0\r\n[バックアップセット1]\r\n"
                  "バックアップ元=" + ProgramPath("data") + "\r\nバックアップ先=" + ProgramPath("bk0") + "\r\n", 1},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + large.substr(0, large.find("; ")) + "バックアップ元=" +
                                           ProgramPath("data") + "\r\nバックアップ先=" + ProgramPath("bk1") + "\r\n", 1},
        {"4 MB", large, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        // 256 sets take Wine 10 s, and the reader is the same.
        if (IsWindows() && c.nSets > 1)
            continue;
        WriteFile("Tandemix.ini", c.bytes);
        EXPECT_EQ(0, Run());
        EXPECT_EQ(2 * c.nSets, CountPrefix(Log(), "バックアップセット ")) << c.bytes.size();  // start, end
    }
    EXPECT_EQ("a", ReadFile("bk0/data/a.txt") + ReadFile("bk1/data/a.txt").substr(1));
}

// One Latin-1 byte in a comment of a UTF-8 file: the file is still read as
// UTF-8, the set runs, and the line is named.
TEST_F(Settings, AStrayByteIsNamedAndTheRestIsRead)
{
    if (IsWindows())
        GTEST_SKIP() << "the Windows program shows no standard error";
    WriteSettings({Set("data", "bk")});
    WriteFile("Tandemix.ini", "; caf\xE9\n" + ReadFile("Tandemix.ini"));
    WriteFile("data/a.txt", "a");
    EXPECT_EQ(0, RunKeepingStderr());
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
    const Lines lines = StderrLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("1 行目")) << lines[0];
}

// While a run holds its lock, a second run ends at once with status 3 and
// touches nothing; the first then finishes as if alone.  The first is held
// at a known point: the line on stderr that says its log cannot be written
// (a folder stands under the log's name), into a pipe that is already full.
TEST_F(Settings, ASecondRunOnTheSameSettingsDoesNotStart)
{
    if (IsWindows())
        GTEST_SKIP() << "a Windows run cannot be held at a known point from here; the lock has a unit test";
    WriteSettings({Set("data", "bk")});
    WriteFile("data/a.txt", "a");
    ASSERT_EQ(0, mkdir(HostPath("run.log").c_str(), 0700));
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC | O_NONBLOCK));
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    while (write(fds[1], "x", 1) == 1) {
    }
    fcntl(fds[1], F_SETFL, 0);
    g_nStderrFd = fds[1];
    const pid_t first = Start(&SendStderrToPipe);
    close(fds[1]);
    const bool bHeld = WaitUntil([&] { return HoldsFlock(first); });

    EXPECT_TRUE(bHeld) << "the first run never took its lock";
    EXPECT_EQ(3, RunKeepingStderr());
    EXPECT_EQ(1u, StderrLines().size());
    EXPECT_FALSE(Exists("bk"));

    // Reading the pipe empty lets the first run go on, to its end.
    std::thread drain([fd = fds[0]] {
        char buffer[4096];
        fcntl(fd, F_SETFL, 0);
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
    });
    EXPECT_EQ(1, Wait(first));
    drain.join();
    close(fds[0]);
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
}

// An ordinary user can read root's settings folder and file, and lock
// either: neither stops or delays root's run.
TEST_F(Settings, NoOtherUserCanHoldTheRunLock)
{
    if (IsWindows() || geteuid() != 0)
        GTEST_SKIP() << "needs root on POSIX to run as another user";
    WriteSettings({Set("data", "bk")});
    WriteFile("data/a.txt", "a");
    ASSERT_EQ(0, chmod(HostPath("").c_str(), 0755));
    ASSERT_EQ(0, chmod(HostPath("Tandemix.ini").c_str(), 0644));
    // The holder runs as nobody, locks all it can reach and waits to be
    // killed; the harness ends it with the test.
    const pid_t holder = Start([] {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(126);
        const int fdFolder = open(".", O_RDONLY | O_DIRECTORY);
        const int fdFile = open("Tandemix.ini", O_RDONLY);
        if (flock(fdFolder, LOCK_EX) != 0 || flock(fdFile, LOCK_EX) != 0)
            _exit(125);
        for (;;)
            pause();
    });
    ASSERT_TRUE(WaitUntil([&] { return HoldsFlock(holder); }));
    EXPECT_EQ(0, Run());
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
}

}  // namespace
