// What only the POSIX services do: nanosecond times and modes, symbolic
// links, the fail-safe copy, the detached start.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/File.h"
#include "platform/posix/MessageBox.h"
#include "platform/posix/PosixFiles.h"
#include "support/TempDir.h"

namespace {

FileServices& Real()
{
    return GetRealFileServices();
}

const UINT SILENT_COPY = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* pDir = opendir(folder.c_str());
    if (pDir == nullptr)
        return names;
    while (struct dirent* pEntry = readdir(pDir)) {
        if (strcmp(pEntry->d_name, ".") != 0 && strcmp(pEntry->d_name, "..") != 0)
            names.push_back(pEntry->d_name);
    }
    closedir(pDir);
    std::sort(names.begin(), names.end());
    return names;
}

bool SetTimes(const std::string& path, struct timespec atime, struct timespec mtime, int nFlags = 0)
{
    struct timespec times[2] = {atime, mtime};
    return utimensat(AT_FDCWD, path.c_str(), times, nFlags) == 0;
}

bool SameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string Pattern(size_t nBytes)
{
    std::string bytes(nBytes, '\0');
    unsigned n = 12345;
    for (char& c : bytes) {
        n = n * 1103515245u + 12345u;
        c = static_cast<char>(n >> 16);
    }
    return bytes;
}

// Puts test versions of the copy's kernel calls in place for one scope.
class CopyCallsOverride {
public:
    CopyCallsOverride() : m_saved(g_copyDataCalls) {}
    ~CopyCallsOverride() { g_copyDataCalls = m_saved; }

private:
    CopyDataCalls m_saved;
};

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

// Failures after the first megabyte, as a full disk or a dying medium.
const size_t FAIL_AFTER = 1024 * 1024;
size_t g_nWritten = 0;

ssize_t WriteThenFail(int fd, const void* pData, size_t nBytes)
{
    if (g_nWritten >= FAIL_AFTER) {
        errno = ENOSPC;
        return -1;
    }
    size_t nAllowed = std::min(nBytes, FAIL_AFTER - g_nWritten);
    ssize_t n = write(fd, pData, nAllowed);
    if (n > 0)
        g_nWritten += static_cast<size_t>(n);
    return n;
}

ssize_t CopyRangeThenFail(int fdFrom, int fdTo, size_t nBytes)
{
    if (g_nWritten >= FAIL_AFTER) {
        errno = EIO;
        return -1;
    }
    ssize_t n = copy_file_range(fdFrom, nullptr, fdTo, nullptr, std::min(nBytes, FAIL_AFTER - g_nWritten), 0);
    if (n > 0)
        g_nWritten += static_cast<size_t>(n);
    return n;
}

int g_nProgressCalls = 0;

// The user presses Cancel in the progress window once data has been copied.
BOOL AbortOnceStarted(const char*, const char*, long long nDone, long long nTotal)
{
    ++g_nProgressCalls;
    EXPECT_LE(nDone, nTotal);
    return nDone == 0 ? TRUE : FALSE;
}

class PosixFileServicesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    std::string Make(const std::string& rel, const std::string& content = "x")
    {
        std::string path = m_dir.Join(rel);
        EXPECT_TRUE(WriteFileBytes(path, content)) << path;
        return path;
    }
    std::string MakeFolder(const std::string& rel)
    {
        std::string path = m_dir.Join(rel);
        EXPECT_EQ(mkdir(path.c_str(), 0777), 0) << path;
        return path;
    }
    std::string MakeLink(const std::string& rel, const std::string& target)
    {
        std::string path = m_dir.Join(rel);
        EXPECT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
        return path;
    }

    TempDir m_dir;
};

TEST_F(PosixFileServicesTest, CopyKeepsModeAndTimesToTheNanosecond)
{
    const mode_t modes[] = {0640, 0755, 0400};
    for (mode_t mode : modes) {
        std::string source = Make("a.txt", "data");
        ASSERT_EQ(chmod(source.c_str(), mode), 0);
        ASSERT_TRUE(SetTimes(source, {1300000000, 987654321}, {1400000000, 123456789}));
        std::string dest = m_dir.Join("bk/a.txt");

        BOOL bAborted = TRUE;
        ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0) << std::oct << mode;
        struct stat st;
        ASSERT_EQ(lstat(dest.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_TRUE(SameTime(st.st_mtim, {1400000000, 123456789})) << st.st_mtim.tv_nsec;
        EXPECT_TRUE(SameTime(st.st_atim, {1300000000, 987654321})) << st.st_atim.tv_nsec;
        EXPECT_EQ(ReadFileBytes(dest), "data");
        EXPECT_EQ(Names(m_dir.Join("bk")), std::vector<std::string>{"a.txt"});
        unlink(source.c_str());
    }
}

TEST_F(PosixFileServicesTest, LinkIsCopiedAsALinkWithItsOwnTime)
{
    std::string link = MakeLink("ln", "../elsewhere/target");
    ASSERT_TRUE(SetTimes(link, {1300000000, 5}, {1400000000, 777}, AT_SYMLINK_NOFOLLOW));
    std::string dest = m_dir.Join("bk/ln");

    BOOL bAborted = TRUE;
    ASSERT_EQ(Real().CopyFile(link.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    struct stat st;
    ASSERT_EQ(lstat(dest.c_str(), &st), 0);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(SameTime(st.st_mtim, {1400000000, 777}));
    char szTarget[64] = {};
    ASSERT_GT(readlink(dest.c_str(), szTarget, sizeof szTarget - 1), 0);
    EXPECT_STREQ(szTarget, "../elsewhere/target");
    EXPECT_EQ(Names(m_dir.Join("bk")), std::vector<std::string>{"ln"});

    // Followed on request: the file it names is copied.
    std::string file = Make("file.txt", "content");
    std::string toFile = MakeLink("to-file", "file.txt");
    ASSERT_EQ(Real().CopyFile(toFile.c_str(), dest.c_str(), SILENT_COPY, &bAborted, TRUE), 0);
    ASSERT_EQ(lstat(dest.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadFileBytes(dest), "content");
}

TEST_F(PosixFileServicesTest, CopyReplacesALinkAtTheDestinationNotWhatItPointsTo)
{
    std::string outside = Make("outside.txt", "keep me");
    MakeFolder("bk");
    std::string dest = MakeLink("bk/a.txt", outside);
    std::string source = Make("a.txt", "new");

    BOOL bAborted = TRUE;
    ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    struct stat st;
    ASSERT_EQ(lstat(dest.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadFileBytes(dest), "new");
    EXPECT_EQ(ReadFileBytes(outside), "keep me");
}

TEST_F(PosixFileServicesTest, EveryWayOfMovingTheDataGivesTheSameFile)
{
    struct Case {
        const char* pszName;
        int (*pfnClone)(int, int);
        ssize_t (*pfnCopyRange)(int, int, size_t);
    };
    const Case cases[] = {
        {"kernel's choice", nullptr, nullptr},
        {"no clone", CloneUnsupported, nullptr},
        {"read and write", CloneUnsupported, CopyRangeUnsupported},
        {"copy_file_range gives nothing", CloneUnsupported, CopyRangeGivesNothing},
    };
    // Larger than the chunks, and not a multiple of them.
    std::string data = Pattern(9 * 1024 * 1024 + 123);
    std::string source = Make("big.bin", data);
    ASSERT_TRUE(SetTimes(source, {1300000000, 1}, {1400000000, 2}));
    for (const Case& c : cases) {
        CopyCallsOverride restore;
        if (c.pfnClone != nullptr)
            g_copyDataCalls.pfnClone = c.pfnClone;
        if (c.pfnCopyRange != nullptr)
            g_copyDataCalls.pfnCopyRange = c.pfnCopyRange;
        std::string dest = m_dir.Join("bk/big.bin");
        unlink(dest.c_str());
        BOOL bAborted = TRUE;
        ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0) << c.pszName;
        EXPECT_TRUE(ReadFileBytes(dest) == data) << c.pszName;
        struct stat st;
        ASSERT_EQ(stat(dest.c_str(), &st), 0);
        EXPECT_TRUE(SameTime(st.st_mtim, {1400000000, 2})) << c.pszName;
    }
}

TEST_F(PosixFileServicesTest, CopyInterruptedHalfWayLeavesTheOldDestinationAndNoTemporaryFile)
{
    struct Case {
        const char* pszName;
        ssize_t (*pfnCopyRange)(int, int, size_t);
        ssize_t (*pfnWrite)(int, const void*, size_t);
        int nError;
        bool bOldCopy;
    };
    const Case cases[] = {
        {"write fails, old copy", CopyRangeUnsupported, WriteThenFail, ENOSPC, true},
        {"write fails, no old copy", CopyRangeUnsupported, WriteThenFail, ENOSPC, false},
        {"copy_file_range fails, old copy", CopyRangeThenFail, nullptr, EIO, true},
    };
    std::string source = Make("big.bin", Pattern(3 * 1024 * 1024));
    MakeFolder("bk");
    std::string dest = m_dir.Join("bk/big.bin");
    for (const Case& c : cases) {
        unlink(dest.c_str());
        if (c.bOldCopy) {
            ASSERT_TRUE(WriteFileBytes(dest, "old copy"));
        }
        CopyCallsOverride restore;
        g_copyDataCalls.pfnClone = CloneUnsupported;
        g_copyDataCalls.pfnCopyRange = c.pfnCopyRange;
        if (c.pfnWrite != nullptr)
            g_copyDataCalls.pfnWrite = c.pfnWrite;
        g_nWritten = 0;

        BOOL bAborted = TRUE;
        EXPECT_NE(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0) << c.pszName;
        EXPECT_EQ(Real().GetLastError(), static_cast<DWORD>(c.nError)) << c.pszName;
        EXPECT_FALSE(bAborted) << c.pszName;
        EXPECT_EQ(g_nWritten, FAIL_AFTER) << c.pszName;
        if (c.bOldCopy) {
            EXPECT_EQ(ReadFileBytes(dest), "old copy") << c.pszName;
            EXPECT_EQ(Names(m_dir.Join("bk")), std::vector<std::string>{"big.bin"}) << c.pszName;
        } else {
            EXPECT_TRUE(Names(m_dir.Join("bk")).empty()) << c.pszName;
        }
    }
}

TEST_F(PosixFileServicesTest, AbortInTheProgressWindowStopsTheCopyAndCleansUp)
{
    std::string source = Make("big.bin", Pattern(9 * 1024 * 1024));
    MakeFolder("bk");
    std::string dest = Make("bk/big.bin", "old copy");
    CopyCallsOverride restore;
    g_copyDataCalls.pfnProgress = AbortOnceStarted;

    g_nProgressCalls = 0;
    BOOL bAborted = FALSE;
    EXPECT_NE(Real().CopyFile(source.c_str(), dest.c_str(), FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR, &bAborted), 0);
    EXPECT_TRUE(bAborted);
    EXPECT_EQ(g_nProgressCalls, 2);
    EXPECT_EQ(ReadFileBytes(dest), "old copy");
    EXPECT_EQ(Names(m_dir.Join("bk")), std::vector<std::string>{"big.bin"});

    // A silent copy shows no progress, so nobody can abort it.
    g_nProgressCalls = 0;
    EXPECT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    EXPECT_FALSE(bAborted);
    EXPECT_EQ(g_nProgressCalls, 0);
}

TEST_F(PosixFileServicesTest, FlushFindsTheNearestFolderThatExists)
{
    CFileStatus status;
    ASSERT_FALSE(Real().GetStatus(m_dir.Join("none").c_str(), status));
    Real().FlushFileSystem(m_dir.Join("bk/not/yet/made.txt").c_str());
    // A failed open or syncfs would have left its own error.
    EXPECT_EQ(Real().GetLastError(), static_cast<DWORD>(ENOENT));
}

TEST_F(PosixFileServicesTest, CopyRefusesWhatIsNeitherAFileNorALink)
{
    std::string fifo = m_dir.Join("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string folder = MakeFolder("folder");
    std::string blocker = Make("blocker");
    const std::string sources[] = {fifo, folder};
    BOOL bAborted = TRUE;
    for (const std::string& source : sources) {
        EXPECT_NE(Real().CopyFile(source.c_str(), m_dir.Join("bk/x").c_str(), SILENT_COPY, &bAborted), 0) << source;
    }
    // A file where a destination folder should be is not replaced.
    std::string file = Make("a.txt");
    EXPECT_NE(Real().CopyFile(file.c_str(), (blocker + "/a.txt").c_str(), SILENT_COPY, &bAborted), 0);
    EXPECT_EQ(ReadFileBytes(blocker), "x");
}

TEST_F(PosixFileServicesTest, CopyToTheLongestNameStillFindsRoomForItsTemporaryFile)
{
    std::string name(255, 'n');
    std::string source = Make("a.txt", "long");
    std::string dest = m_dir.Join("bk/" + name);
    BOOL bAborted = TRUE;
    ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    EXPECT_EQ(ReadFileBytes(dest), "long");
}

TEST_F(PosixFileServicesTest, DeleteTreeNeverFollowsALinkOutOfTheTree)
{
    MakeFolder("outside");
    std::string kept = Make("outside/keep.txt", "kept");
    std::string tree = MakeFolder("1_data");
    MakeFolder("1_data/sub");
    MakeLink("1_data/to-outside", m_dir.Join("outside"));
    MakeLink("1_data/sub/to-file", kept);
    Make("1_data/sub/a.txt");

    EXPECT_TRUE(Real().DeleteTree(tree.c_str()));
    EXPECT_FALSE(Real().Exists(tree.c_str()));
    EXPECT_EQ(ReadFileBytes(kept), "kept");

    // A link handed over itself goes, and only the link.
    std::string link = MakeLink("link", m_dir.Join("outside"));
    EXPECT_TRUE(Real().DeleteTree(link.c_str()));
    EXPECT_FALSE(Real().Exists(link.c_str()));
    EXPECT_EQ(ReadFileBytes(kept), "kept");
}

TEST_F(PosixFileServicesTest, ALinkIsItselfUnlessFollowed)
{
    MakeFolder("folder");
    std::string link = MakeLink("link", m_dir.Join("folder"));
    CFileStatus status;
    ASSERT_TRUE(Real().GetStatus(link.c_str(), status));
    EXPECT_EQ(status.m_attribute & FILE_ATTR_DIRECTORY, 0);
    ASSERT_TRUE(Real().GetStatus(link.c_str(), status, TRUE));
    EXPECT_EQ(status.m_attribute & FILE_ATTR_DIRECTORY, FILE_ATTR_DIRECTORY);

    std::string dangling = MakeLink("dangling", "nowhere");
    EXPECT_TRUE(Real().GetStatus(dangling.c_str(), status));
    EXPECT_TRUE(Real().Exists(dangling.c_str()));
    EXPECT_TRUE(Real().CanRead(dangling.c_str()));
    EXPECT_FALSE(Real().GetStatus(dangling.c_str(), status, TRUE));

    // In a listing too: the walk must not descend through it.
    CFileFind find;
    ASSERT_TRUE(find.FindFile(m_dir.Join("*.*").c_str()));
    int nSeen = 0;
    for (BOOL bMore = TRUE; bMore;) {
        bMore = find.FindNextFile();
        std::string name = find.GetFileName();
        if (name == "link" || name == "dangling") {
            EXPECT_FALSE(find.IsDirectory()) << name;
            ++nSeen;
        } else if (name == "folder") {
            EXPECT_TRUE(find.IsDirectory());
            ++nSeen;
        }
    }
    EXPECT_EQ(nSeen, 3);
}

TEST_F(PosixFileServicesTest, HiddenAndReadOnlyBitsComeFromTheNameAndTheMode)
{
    std::string hidden = Make(".profile");
    std::string readOnly = Make("ro.txt");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    CFileStatus status;
    ASSERT_TRUE(Real().GetStatus(hidden.c_str(), status));
    EXPECT_EQ(status.m_attribute & (FILE_ATTR_HIDDEN | FILE_ATTR_READONLY), FILE_ATTR_HIDDEN);
    ASSERT_TRUE(Real().GetStatus(readOnly.c_str(), status));
    EXPECT_EQ(status.m_attribute & (FILE_ATTR_HIDDEN | FILE_ATTR_READONLY), FILE_ATTR_READONLY);
}

TEST_F(PosixFileServicesTest, LastErrorBelongsToTheThreadThatFailed)
{
    CFileStatus status;
    ASSERT_FALSE(Real().GetStatus(m_dir.Join("none").c_str(), status));
    std::thread other([this] {
        std::string file = Make("file");
        CFileStatus otherStatus;
        EXPECT_FALSE(Real().GetStatus((file + "/below").c_str(), otherStatus));
        EXPECT_EQ(Real().GetLastError(), static_cast<DWORD>(ENOTDIR));
    });
    other.join();
    EXPECT_EQ(Real().GetLastError(), static_cast<DWORD>(ENOENT));
}

TEST_F(PosixFileServicesTest, ShellOpenRunsAnExecutableDetachedWithoutSplittingItsPath)
{
    std::string marker = m_dir.Join("marker");
    std::string script = Make("run me.sh", "#!/bin/sh\necho started > '" + marker + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);

    Real().ShellOpen(script.c_str());
    // Generous: this waits for a process to start, it does not time it.
    for (int nTry = 0; nTry < 600 && ReadFileBytes(marker).empty(); ++nTry)
        usleep(50 * 1000);
    EXPECT_EQ(ReadFileBytes(marker), "started\n");
}

TEST(AskRetryCancelTest, ReadsAnswersUntilOneIsUnderstood)
{
    struct Case {
        const char* pszInput;
        int nAnswer;
    };
    const Case cases[] = {
        {"r\n", IDRETRY},
        {"  R\n", IDRETRY},
        {"c\n", IDCANCEL},
        {"x\nmaybe\nr\n", IDRETRY},
        {"", IDCANCEL},
        {"x\n", IDCANCEL},
    };
    for (const Case& c : cases) {
        std::string input = c.pszInput;
        FILE* pIn = fmemopen(&input[0], input.size() + 1, "r");
        ASSERT_NE(pIn, nullptr);
        char* pszOutput = nullptr;
        size_t nOutput = 0;
        FILE* pOut = open_memstream(&pszOutput, &nOutput);
        ASSERT_NE(pOut, nullptr);
        EXPECT_EQ(AskRetryCancelOn(pIn, pOut, "ドライブ E の準備ができていません。", "Tandemix"), c.nAnswer)
            << c.pszInput;
        fclose(pOut);
        fclose(pIn);
        EXPECT_NE(strstr(pszOutput, "Tandemix: ドライブ E の準備ができていません。"), nullptr);
        free(pszOutput);
    }
}

}  // namespace
