// What only the POSIX services do: nanosecond times and modes, symbolic
// links, the fail-safe copy, the detached start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/posix/PosixFiles.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

FileServices& Real()
{
    return GetRealFileServices();
}

const UINT SILENT_COPY = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;

bool SetTimes(const std::string& path, struct timespec atime, struct timespec mtime, int nFlags = 0)
{
    struct timespec times[2] = {atime, mtime};
    return utimensat(AT_FDCWD, path.c_str(), times, nFlags) == 0;
}

bool IsTime(const struct timespec& t, time_t nSeconds, long nNanoseconds)
{
    return t.tv_sec == nSeconds && t.tv_nsec == nNanoseconds;
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Replacements for the copy's kernel calls: the slower ways, and failures
// after the first megabyte, as a full disk or a dying medium would give.
const size_t FAIL_AFTER = 1024 * 1024;
size_t g_nWritten = 0;

int CloneUnsupported(int, int)
{
    errno = EOPNOTSUPP;
    return -1;
}

ssize_t CopyRangeUnsupported(int, int, size_t)
{
    errno = ENOSYS;
    return -1;
}

ssize_t CopyRangeGivesNothing(int, int, size_t)
{
    return 0;
}

ssize_t WriteThenFail(int fd, const void* pData, size_t nBytes)
{
    ssize_t n = g_nWritten < FAIL_AFTER ? write(fd, pData, std::min(nBytes, FAIL_AFTER - g_nWritten)) : -1;
    errno = ENOSPC;
    g_nWritten += n > 0 ? static_cast<size_t>(n) : 0;
    return n;
}

ssize_t CopyRangeThenFail(int fdFrom, int fdTo, size_t nBytes)
{
    ssize_t n = g_nWritten < FAIL_AFTER
        ? copy_file_range(fdFrom, nullptr, fdTo, nullptr, std::min(nBytes, FAIL_AFTER - g_nWritten), 0)
        : -1;
    errno = EIO;
    g_nWritten += n > 0 ? static_cast<size_t>(n) : 0;
    return n;
}

// The user presses Cancel in the progress window once data has moved.
BOOL AbortOnceStarted(const char*, const char*, long long nDone, long long)
{
    return nDone == 0 ? TRUE : FALSE;
}

class PosixFileServicesTest : public testing::Test {
protected:
    std::string Make(const std::string& rel, const std::string& content = "x")
    {
        EXPECT_TRUE(WriteFileBytes(m_dir.Join(rel), content)) << rel;
        return m_dir.Join(rel);
    }
    std::string MakeLink(const std::string& rel, const std::string& target)
    {
        EXPECT_EQ(0, symlink(target.c_str(), m_dir.Join(rel).c_str())) << rel;
        return m_dir.Join(rel);
    }

    TempDir m_dir;
};

TEST_F(PosixFileServicesTest, LinkIsCopiedAsALinkAndALinkAtTheDestinationIsReplaced)
{
    const std::string link = MakeLink("ln", "../elsewhere/target");
    ASSERT_TRUE(SetTimes(link, {1300000000, 5}, {1400000000, 777}, AT_SYMLINK_NOFOLLOW));
    const std::string dest = m_dir.Join("bk/ln");
    BOOL bAborted = TRUE;
    ASSERT_EQ(0, Real().CopyFile(link.c_str(), dest.c_str(), SILENT_COPY, &bAborted));
    struct stat st;
    ASSERT_EQ(0, lstat(dest.c_str(), &st));
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(IsTime(st.st_mtim, 1400000000, 777));
    EXPECT_EQ("../elsewhere/target", fs::read_symlink(dest).string());

    // Followed on request: the file it names is copied, over the link at
    // the destination, not into what that link points to.
    const std::string outside = Make("outside.txt", "keep me");
    fs::remove(dest);
    MakeLink("bk/ln", outside);
    Make("file.txt", "content");
    const std::string toFile = MakeLink("to-file", "file.txt");
    ASSERT_EQ(0, Real().CopyFile(toFile.c_str(), dest.c_str(), SILENT_COPY, &bAborted, TRUE));
    ASSERT_EQ(0, lstat(dest.c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ("content", ReadFileBytes(dest));
    EXPECT_EQ("keep me", ReadFileBytes(outside));
}

// Every way of moving the data gives the same file, with the source's mode
// and times to the nanosecond; a copy that fails or is aborted half-way
// leaves the old destination, or none, and no temporary file.
TEST_F(PosixFileServicesTest, CopyIsWholeOrNotAtAll)
{
    const struct {
        const char* pszWhat;
        CopyDataCalls calls;
        mode_t mode;
        bool bOldCopy;
        int nError;  // 0: the copy succeeds
    } cases[] = {
        {"kernel's choice", {nullptr, nullptr, nullptr, nullptr}, 0640, false, 0},
        {"no clone", {CloneUnsupported, nullptr, nullptr, nullptr}, 0755, true, 0},
        {"read and write", {CloneUnsupported, CopyRangeUnsupported, nullptr, nullptr}, 0400, false, 0},
        {"copy_file_range gives nothing", {CloneUnsupported, CopyRangeGivesNothing, nullptr, nullptr}, 0664, false, 0},
        {"write fails", {CloneUnsupported, CopyRangeUnsupported, WriteThenFail, nullptr}, 0640, true, ENOSPC},
        {"write fails, no old copy", {CloneUnsupported, CopyRangeUnsupported, WriteThenFail, nullptr}, 0640, false, ENOSPC},
        {"copy_file_range fails", {CloneUnsupported, CopyRangeThenFail, nullptr, nullptr}, 0640, true, EIO},
        {"aborted in the progress window", {nullptr, nullptr, nullptr, AbortOnceStarted}, 0640, true, ECANCELED},
    };
    // Larger than the chunks, and not a multiple of them.
    std::string data(9 * 1024 * 1024 + 123, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string source = Make("big.bin", data);
    ASSERT_EQ(0, mkdir(m_dir.Join("bk").c_str(), 0777));
    const std::string dest = m_dir.Join("bk/big.bin");
    const CopyDataCalls saved = g_copyDataCalls;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        unlink(dest.c_str());
        ASSERT_TRUE(!c.bOldCopy || WriteFileBytes(dest, "old copy"));
        ASSERT_EQ(0, chmod(source.c_str(), c.mode));
        ASSERT_TRUE(SetTimes(source, {1300000000, 987654321}, {1400000000, 123456789}));
        g_copyDataCalls.pfnClone = c.calls.pfnClone != nullptr ? c.calls.pfnClone : saved.pfnClone;
        g_copyDataCalls.pfnCopyRange = c.calls.pfnCopyRange != nullptr ? c.calls.pfnCopyRange : saved.pfnCopyRange;
        g_copyDataCalls.pfnWrite = c.calls.pfnWrite != nullptr ? c.calls.pfnWrite : saved.pfnWrite;
        g_copyDataCalls.pfnProgress = c.calls.pfnProgress != nullptr ? c.calls.pfnProgress : saved.pfnProgress;
        g_nWritten = 0;
        BOOL bAborted = TRUE;
        const UINT nFlags = c.calls.pfnProgress != nullptr ? FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR : SILENT_COPY;
        const int nResult = Real().CopyFile(source.c_str(), dest.c_str(), nFlags, &bAborted);
        g_copyDataCalls = saved;

        EXPECT_EQ(c.nError == ECANCELED, bAborted != FALSE);
        if (c.nError == 0) {
            EXPECT_EQ(0, nResult);
            struct stat st;  // before the read below changes the access time
            ASSERT_EQ(0, stat(dest.c_str(), &st));
            EXPECT_EQ(c.mode, st.st_mode & 07777);
            EXPECT_TRUE(IsTime(st.st_mtim, 1400000000, 123456789)) << st.st_mtim.tv_nsec;
            EXPECT_TRUE(IsTime(st.st_atim, 1300000000, 987654321)) << st.st_atim.tv_nsec;
            EXPECT_TRUE(ReadFileBytes(dest) == data);
        } else {
            EXPECT_NE(0, nResult);
            EXPECT_EQ(static_cast<DWORD>(c.nError), Real().GetLastError());
            EXPECT_EQ(c.bOldCopy ? "old copy" : "", ReadFileBytes(dest));
        }
        EXPECT_EQ(std::vector<std::string>(c.nError == 0 || c.bOldCopy ? 1 : 0, "big.bin"), Names(m_dir.Join("bk")));
    }
}

TEST_F(PosixFileServicesTest, CopyRefusesAPipeAndFindsRoomForTheLongestName)
{
    ASSERT_EQ(0, mkfifo(m_dir.Join("fifo").c_str(), 0600));
    BOOL bAborted = TRUE;
    EXPECT_NE(0, Real().CopyFile(m_dir.Join("fifo").c_str(), m_dir.Join("bk/x").c_str(), SILENT_COPY, &bAborted));
    const std::string dest = m_dir.Join("bk/" + std::string(255, 'n'));
    ASSERT_EQ(0, Real().CopyFile(Make("a.txt", "long").c_str(), dest.c_str(), SILENT_COPY, &bAborted));
    EXPECT_EQ("long", ReadFileBytes(dest));
}

TEST_F(PosixFileServicesTest, DeleteTreeNeverFollowsALinkOutOfTheTree)
{
    fs::create_directories(m_dir.Join("outside"));
    fs::create_directories(m_dir.Join("1_data/sub"));
    const std::string kept = Make("outside/keep.txt", "kept");
    MakeLink("1_data/to-outside", m_dir.Join("outside"));
    MakeLink("1_data/sub/to-file", kept);
    Make("1_data/sub/a.txt");
    EXPECT_TRUE(Real().DeleteTree(m_dir.Join("1_data").c_str()));
    EXPECT_FALSE(Real().Exists(m_dir.Join("1_data").c_str()));
    EXPECT_EQ("kept", ReadFileBytes(kept));

    // A link handed over itself goes, and only the link.
    const std::string link = MakeLink("link", m_dir.Join("outside"));
    EXPECT_TRUE(Real().DeleteTree(link.c_str()));
    EXPECT_FALSE(Real().Exists(link.c_str()));
    EXPECT_EQ("kept", ReadFileBytes(kept));
}

TEST_F(PosixFileServicesTest, ALinkIsItselfUnlessFollowed)
{
    fs::create_directories(m_dir.Join("folder"));
    const std::string link = MakeLink("link", m_dir.Join("folder"));
    CFileStatus status;
    ASSERT_TRUE(Real().GetStatus(link.c_str(), status));
    EXPECT_EQ(0, status.m_attribute & FILE_ATTR_DIRECTORY);
    ASSERT_TRUE(Real().GetStatus(link.c_str(), status, TRUE));
    EXPECT_EQ(FILE_ATTR_DIRECTORY, status.m_attribute & FILE_ATTR_DIRECTORY);
    const std::string dangling = MakeLink("dangling", "nowhere");
    EXPECT_TRUE(Real().GetStatus(dangling.c_str(), status));
    EXPECT_TRUE(Real().CanRead(dangling.c_str()));
    EXPECT_FALSE(Real().GetStatus(dangling.c_str(), status, TRUE));

    // In a listing too: the walk must not descend through it.
    CFileFind find;
    ASSERT_TRUE(find.FindFile(m_dir.Join("*.*").c_str()));
    for (BOOL bMore = TRUE; bMore;) {
        bMore = find.FindNextFile();
        EXPECT_EQ(std::string(find.GetFileName()) == "folder" || find.IsDots(), find.IsDirectory() != FALSE)
            << find.GetFileName();
    }

    // Hidden by its name, read-only by its mode.
    ASSERT_EQ(0, chmod(Make(".profile").c_str(), 0444));
    ASSERT_TRUE(Real().GetStatus(m_dir.Join(".profile").c_str(), status));
    EXPECT_EQ(FILE_ATTR_HIDDEN | FILE_ATTR_READONLY, status.m_attribute & (FILE_ATTR_HIDDEN | FILE_ATTR_READONLY));
}

TEST_F(PosixFileServicesTest, ShellOpenRunsAnExecutableDetachedWithoutSplittingItsPath)
{
    const std::string marker = m_dir.Join("marker");
    const std::string script = Make("run me.sh", "#!/bin/sh\necho started > '" + marker + "'\n");
    ASSERT_EQ(0, chmod(script.c_str(), 0755));
    Real().ShellOpen(script.c_str());
    // Generous: this waits for a process to start, it does not time it.
    for (int nTry = 0; nTry < 600 && ReadFileBytes(marker).empty(); ++nTry)
        usleep(50 * 1000);
    EXPECT_EQ("started\n", ReadFileBytes(marker));
}

}  // namespace
