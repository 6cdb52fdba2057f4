// What only a Linux copy can show: what it keeps of files, links and
// folders, and a power cut in the middle of a first backup, simulated on a
// loop-mounted ext4 image.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Harness.h"

namespace fs = std::filesystem;

namespace {

class Posix : public Backup {
protected:
    bool Shell(const std::string& command) const { return std::system(command.c_str()) == 0; }
};

// Modes, owners, times and attributes of files, links and folders come
// through as they are, and a rerun writes nothing but what changed: here
// only one folder's time, so no other entry's change time moves.
TEST_F(Posix, ACopyKeepsWhatCpDashAKeepsAndARerunTouchesNothing)
{
    if (IsWindows())
        GTEST_SKIP() << "Linux only";
    const bool bRoot = geteuid() == 0;
    const struct {
        const char* pszRel;
        char kind;    // d: folder, f: file, l: link
        mode_t mode;
        uid_t owner;  // as root only
    } entries[] = {
        {"data/private", 'd', 0700, 1234}, {"data/shared", 'd', 02750, 1235}, {"data/tmp", 'd', 01777, 0},
        {"data/private/a.txt", 'f', 0600, 1234}, {"data/shared/tool", 'f', 04755, 1235}, {"data/tmp/link", 'l', 0, 1236},
    };
    for (const auto& e : entries) {
        const std::string path = HostPath(e.pszRel);
        if (e.kind == 'l')
            ASSERT_EQ(0, symlink("../private/a.txt", path.c_str()));
        else if (e.kind == 'f')
            WriteFile(e.pszRel, e.pszRel);
        else
            fs::create_directories(path);
        ASSERT_TRUE(!bRoot || lchown(path.c_str(), e.owner, e.owner) == 0);
        ASSERT_TRUE(e.kind == 'l' || chmod(path.c_str(), e.mode) == 0);
    }
    ASSERT_EQ(0, setxattr(HostPath("data/private/a.txt").c_str(), "user.tag", "kept", 4, 0));
    // Deepest first: dating an entry moves nothing but itself.
    for (size_t i = sizeof entries / sizeof entries[0]; i-- > 0;) {
        struct timespec times[2] = {{1500000000, 0}, {1500000000, 123456789}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, HostPath(entries[i].pszRel).c_str(), times, AT_SYMLINK_NOFOLLOW));
    }
    WriteSettings({Set("data", "bk")});
    std::vector<struct stat> copies;
    for (int run = 1; run <= 2; run++) {
        // A folder whose time alone changed: no copy goes into it.
        struct timespec retimed[2] = {{1600000000, 0}, {1600000000, 5}};
        ASSERT_TRUE(run == 1 || utimensat(AT_FDCWD, HostPath("data/tmp").c_str(), retimed, 0) == 0);
        ASSERT_EQ(0, Run()) << "run " << run;
        for (size_t i = 0; i < sizeof entries / sizeof entries[0]; i++) {
            const char* pszRel = entries[i].pszRel;
            struct stat src, dst;
            ASSERT_EQ(0, lstat(HostPath(pszRel).c_str(), &src));
            ASSERT_EQ(0, lstat(HostPath(std::string("bk/") + pszRel).c_str(), &dst)) << pszRel;
            // An ordinary user keeps no set-id bit on a file it does not own.
            const mode_t kept = bRoot || src.st_uid == geteuid() ? src.st_mode : src.st_mode & ~(S_ISUID | S_ISGID);
            EXPECT_EQ(kept, dst.st_mode) << pszRel;
            EXPECT_TRUE(!bRoot || (dst.st_uid == src.st_uid && dst.st_gid == src.st_gid)) << pszRel;
            EXPECT_TRUE(dst.st_mtim.tv_sec == src.st_mtim.tv_sec && dst.st_mtim.tv_nsec == src.st_mtim.tv_nsec)
                << pszRel;
            if (run == 1) {
                copies.push_back(dst);
            } else if (std::string(pszRel) != "data/tmp") {
                EXPECT_TRUE(dst.st_ctim.tv_sec == copies[i].st_ctim.tv_sec && dst.st_ctim.tv_nsec == copies[i].st_ctim.tv_nsec)
                    << pszRel << " was written again";
            }
        }
    }
    char szTag[8] = {};
    EXPECT_EQ(4, getxattr(HostPath("bk/data/private/a.txt").c_str(), "user.tag", szTag, sizeof szTag));
}

// A FIFO (and, as root, a device node) is made anew with its mode, owner
// and times; a socket is passed over with a detail line; a sparse file
// keeps its holes.  None of them stops a type-2 set from completing.
TEST_F(Posix, SpecialFilesNeverFailASet)
{
    if (IsWindows())
        GTEST_SKIP() << "Linux only";
    const bool bRoot = geteuid() == 0;
    fs::create_directories(HostPath("data"));
    ASSERT_EQ(0, mkfifo(HostPath("data/fifo").c_str(), 0640));
    ASSERT_EQ(0, mknod(HostPath("data/socket").c_str(), S_IFSOCK | 0600, 0));
    ASSERT_TRUE(!bRoot || mknod(HostPath("data/null").c_str(), S_IFCHR | 0620, makedev(1, 3)) == 0);
    ASSERT_TRUE(!bRoot || lchown(HostPath("data/fifo").c_str(), 1234, 1235) == 0);
    const int fd = open(HostPath("data/sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_EQ(5, pwrite(fd, "data!", 5, 16 << 20));
    EXPECT_EQ(0, close(fd));
    for (const char* pszRel : {"data/fifo", "data/socket", "data/sparse", "data/null"}) {
        struct timespec times[2] = {{BASE_TIME, 0}, {BASE_TIME, 123456789}};
        ASSERT_TRUE(utimensat(AT_FDCWD, HostPath(pszRel).c_str(), times, 0) == 0 || !Exists(pszRel)) << pszRel;
    }
    WriteSettings({Set("data", "bk", "世代数=1\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 2; run++)
        EXPECT_EQ(0, Run()) << "run " << run;

    EXPECT_EQ(bRoot ? (Lines{"fifo", "null", "sparse"}) : (Lines{"fifo", "sparse"}), ListTree("bk/1_data"));
    for (const char* pszName : {"fifo", "sparse", "null"}) {
        struct stat src, dst;
        if (lstat(HostPath(std::string("data/") + pszName).c_str(), &src) != 0)
            continue;
        ASSERT_EQ(0, lstat(HostPath(std::string("bk/data/") + pszName).c_str(), &dst)) << pszName;
        EXPECT_EQ(src.st_mode, dst.st_mode) << pszName;
        EXPECT_EQ(src.st_rdev, dst.st_rdev) << pszName;
        EXPECT_TRUE(!bRoot || (dst.st_uid == src.st_uid && dst.st_gid == src.st_gid)) << pszName;
        EXPECT_TRUE(dst.st_mtim.tv_sec == src.st_mtim.tv_sec && dst.st_mtim.tv_nsec == src.st_mtim.tv_nsec) << pszName;
        EXPECT_EQ(src.st_size, dst.st_size) << pszName;
        EXPECT_LE(dst.st_blocks, src.st_blocks) << pszName;
    }
    EXPECT_EQ(ReadFile("data/sparse"), ReadFile("bk/data/sparse"));
    EXPECT_EQ(1u, CountPrefix(Log(), "  コピーできない種類のファイルなのでコピーせず " + ProgramPath("data/socket")));
}

// A process that has not ended; a zombie has (though kill() still finds
// it), and it is left for Wait() to reap.
bool IsRunning(pid_t pid)
{
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// Sizes from a few bytes to a few blocks, each file its own bytes.
std::string Content(int i)
{
    return std::string(static_cast<size_t>(1 + (i * 7919) % 9000), static_cast<char>('a' + i % 26)) + std::to_string(i);
}

// The image is copied while the program is stopped: the copy is what the
// disk held at that instant, as after a power cut.  Checked and mounted,
// every file it holds under its real name must be whole.
TEST_F(Posix, APowerCutLeavesNoWrongFileUnderItsName)
{
    if (IsWindows() || geteuid() != 0 || access("/dev/loop-control", F_OK) != 0 || !Shell("command -v mkfs.ext4 e2fsck >/dev/null"))
        GTEST_SKIP() << "needs root, loop devices, mkfs.ext4 and e2fsck";
    const int FILES = 6000;
    for (int i = 0; i < FILES; i++)
        WriteFile("src/f" + std::to_string(i), Content(i), 1600000000);
    const std::string image = HostPath("disk.img");
    Mounted disk;
    fs::create_directories(HostPath("mnt"));
    if (!Shell("truncate -s 256M '" + image + "' && mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1 && mount -o loop,commit=1 '" +
               image + "' '" + HostPath("mnt") + "'"))
        GTEST_SKIP() << "cannot make and loop-mount an ext4 image here";
    disk.path = HostPath("mnt");
    WriteSettings({Set("src", "mnt")});

    auto copied = [&] {
        std::error_code ec;
        return std::distance(fs::directory_iterator(HostPath("mnt/src"), ec), fs::directory_iterator());
    };
    pid_t pid = Start();
    int nSnapshots = 0;
    for (long nAt : {FILES / 4, FILES * 2 / 3}) {
        // Waits on the copy's progress, not on a clock; the run may end first.
        WaitUntil([&] { return copied() >= nAt || !IsRunning(pid); }, 120);
        if (kill(pid, SIGSTOP) != 0 || !IsRunning(pid))
            break;
        // Long enough for the file system's one-second commit to write what
        // it would have.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_TRUE(Shell("cp --sparse=always '" + image + "' '" + HostPath("snap" + std::to_string(nSnapshots++)) + "'"));
        kill(pid, SIGCONT);
    }
    EXPECT_EQ(0, Wait(pid));
    ASSERT_EQ(2, nSnapshots) << "the run ended before the second instant";

    Lines wrong;
    size_t nChecked = 0;
    for (int n = 0; n < nSnapshots; n++) {
        const std::string at = "at" + std::to_string(n);
        fs::create_directories(HostPath(at));
        // 0: clean, 1: errors corrected; anything more is a broken image.
        ASSERT_LE(std::system(("e2fsck -fy '" + HostPath("snap" + std::to_string(n)) + "' >/dev/null 2>&1").c_str()) >> 8, 1);
        Mounted view;
        ASSERT_TRUE(Shell("mount -o loop,ro '" + HostPath("snap" + std::to_string(n)) + "' '" + HostPath(at) + "'"));
        view.path = HostPath(at);
        for (const std::string& name : ListTree(at + "/src")) {
            if (name[0] == '.')
                continue;  // a temporary: the source's names have no dot
            if (ReadFile(at + "/src/" + name) != Content(std::stoi(name.substr(1))) && wrong.size() < 5)
                wrong.push_back(name + " in snapshot " + std::to_string(n));
            ++nChecked;
        }
    }
    EXPECT_EQ(Lines(), wrong);
    // The instants fell where some files had their names.
    EXPECT_GT(nChecked, 0u);
}

}  // namespace
