// What only the POSIX services do: nanosecond times and modes, symbolic
// links, the fail-safe copy.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/posix/PosixFiles.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

FileServices& Real() { return GetRealFileServices(); }

const UINT SILENT_COPY = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;

// Replacements for the copy's kernel calls: the slower ways, a write that
// fails after the first megabyte as on a full disk, a writer appending to
// the source while it is copied (always, or the first time only), and
// Cancel pressed once data has moved.
const size_t FAIL_AFTER = 1024 * 1024;
size_t g_nWritten = 0;
std::string g_growing;
int g_nGrowths = 0;
int (*const CloneUnsupported)(int, int) = [](int, int) { return errno = EOPNOTSUPP, -1; };
ssize_t (*const CopyRangeUnsupported)(int, int, size_t) = [](int, int, size_t) -> ssize_t { return errno = ENOSYS, -1; };
ssize_t (*const CopyRangeGivesNothing)(int, int, size_t) = [](int, int, size_t) -> ssize_t { return 0; };
BOOL (*const AbortOnceStarted)(const char*, const char*, long long, long long) =
    [](const char*, const char*, long long nDone, long long) -> BOOL { return nDone == 0; };

ssize_t WriteThenFail(int fd, const void* pData, size_t nBytes)
{
    ssize_t n = g_nWritten < FAIL_AFTER ? write(fd, pData, std::min(nBytes, FAIL_AFTER - g_nWritten)) : -1;
    errno = ENOSPC;
    g_nWritten += n > 0 ? static_cast<size_t>(n) : 0;
    return n;
}

ssize_t CopyRangeWhileGrowing(int fdFrom, int fdTo, size_t nBytes)
{
    const std::string more(3 * 1024 * 1024, 'g');
    int fd = open(g_growing.c_str(), O_WRONLY | O_APPEND);
    EXPECT_EQ(static_cast<ssize_t>(more.size()), write(fd, more.data(), more.size()));
    close(fd);
    ++g_nGrowths;
    return copy_file_range(fdFrom, nullptr, fdTo, nullptr, nBytes, 0);
}

ssize_t CopyRangeGrowingOnce(int fdFrom, int fdTo, size_t nBytes)
{
    return g_nGrowths == 0 ? CopyRangeWhileGrowing(fdFrom, fdTo, nBytes)
                           : copy_file_range(fdFrom, nullptr, fdTo, nullptr, nBytes, 0);
}

// Writes data with its zero bytes [nHole, nHoleEnd) left as a hole.
bool WriteSparse(const std::string& path, const std::string& data, size_t nHole, size_t nHoleEnd)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool bDone = fd >= 0 && pwrite(fd, data.data(), nHole, 0) == static_cast<ssize_t>(nHole) &&
                 pwrite(fd, data.data() + nHoleEnd, data.size() - nHoleEnd, static_cast<off_t>(nHoleEnd)) ==
                     static_cast<ssize_t>(data.size() - nHoleEnd);
    return close(fd) == 0 && bDone;
}

// The calls a case puts in place of the real ones (null: the real one).
CopyDataCalls Calls(int (*pfnClone)(int, int), ssize_t (*pfnCopyRange)(int, int, size_t),
                    ssize_t (*pfnWrite)(int, const void*, size_t) = nullptr,
                    BOOL (*pfnProgress)(const char*, const char*, long long, long long) = nullptr)
{
    return CopyDataCalls{pfnClone, pfnCopyRange, pfnWrite, pfnProgress, nullptr, nullptr};
}

class PosixFileServicesTest : public testing::Test {
protected:
    std::string Make(const std::string& rel, const std::string& content = "x")
    {
        fs::create_directories(fs::path(m_dir.Join(rel)).parent_path());
        EXPECT_TRUE(WriteFileBytes(m_dir.Join(rel), content)) << rel;
        return m_dir.Join(rel);
    }
    std::string MakeLink(const std::string& rel, const std::string& target)
    {
        EXPECT_EQ(0, symlink(target.c_str(), m_dir.Join(rel).c_str())) << rel;
        return m_dir.Join(rel);
    }
    int Copy(const std::string& from, const std::string& to, BOOL bFollowLink = FALSE)
    {
        BOOL bAborted = FALSE;
        return Real().CopyFile(m_dir.Join(from).c_str(), m_dir.Join(to).c_str(), SILENT_COPY, &bAborted, bFollowLink);
    }

    TempDir m_dir;
};

// Every way of moving the data gives the same file, holes kept, with the
// source's mode and times to the nanosecond; a copy that fails, is aborted
// half-way or whose source keeps changing leaves the old destination, or
// none, and no temporary file.  A source that changed once is copied again.
TEST_F(PosixFileServicesTest, CopyIsWholeOrNotAtAll)
{
    const struct {
        const char* pszWhat;
        CopyDataCalls calls;
        mode_t mode;
        bool bOldCopy;
        DWORD dwError;  // 0: the copy succeeds
    } cases[] = {
        {"kernel's choice", Calls(nullptr, nullptr), 0755, true, 0},
        {"read and write", Calls(CloneUnsupported, CopyRangeUnsupported), 0400, false, 0},
        {"copy_file_range gives nothing", Calls(CloneUnsupported, CopyRangeGivesNothing), 0664, false, 0},
        {"source changes once while copied", Calls(CloneUnsupported, CopyRangeGrowingOnce), 0644, true, 0},
        {"source keeps changing", Calls(CloneUnsupported, CopyRangeWhileGrowing), 0644, true, COPY_ERROR_SOURCE_CHANGED},
        {"write fails", Calls(CloneUnsupported, CopyRangeUnsupported, WriteThenFail), 0640, true, ENOSPC},
        {"write fails, no old copy", Calls(CloneUnsupported, CopyRangeUnsupported, WriteThenFail), 0640, false, ENOSPC},
        {"aborted in the progress window", Calls(nullptr, nullptr, nullptr, AbortOnceStarted), 0640, true, ECANCELED},
    };
    // Larger than the chunks, and not a multiple of them, with a hole.
    const size_t MIB = 1024 * 1024;
    std::string data(9 * MIB + 123, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = i >= 2 * MIB && i < 7 * MIB ? '\0' : static_cast<char>((i * 2654435761u) >> 13);
    const std::string source = m_dir.Join("big.bin");
    const std::string dest = Make("bk/big.bin");
    const CopyDataCalls saved = g_copyDataCalls;
    g_growing = source;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        chmod(source.c_str(), 0644);
        ASSERT_TRUE(WriteSparse(source, data, 2 * MIB, 7 * MIB));
        unlink(dest.c_str());
        ASSERT_TRUE(!c.bOldCopy || WriteFileBytes(dest, "old copy"));
        ASSERT_EQ(0, chmod(source.c_str(), c.mode));
        struct timespec times[2] = {{1300000000, 987654321}, {1400000000, 123456789}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, source.c_str(), times, 0));
        g_copyDataCalls.pfnClone = c.calls.pfnClone != nullptr ? c.calls.pfnClone : saved.pfnClone;
        g_copyDataCalls.pfnCopyRange = c.calls.pfnCopyRange != nullptr ? c.calls.pfnCopyRange : saved.pfnCopyRange;
        g_copyDataCalls.pfnWrite = c.calls.pfnWrite != nullptr ? c.calls.pfnWrite : saved.pfnWrite;
        g_copyDataCalls.pfnProgress = c.calls.pfnProgress != nullptr ? c.calls.pfnProgress : saved.pfnProgress;
        g_nWritten = 0;
        g_nGrowths = 0;
        BOOL bAborted = TRUE;
        const UINT nFlags = c.calls.pfnProgress != nullptr ? FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR : SILENT_COPY;
        const int nResult = Real().CopyFile(source.c_str(), dest.c_str(), nFlags, &bAborted);
        g_copyDataCalls = saved;

        EXPECT_EQ(c.dwError == ECANCELED, bAborted != FALSE);
        if (c.dwError == 0) {
            EXPECT_EQ(0, nResult);
            struct stat src, dst;  // before the reads below change the access times
            ASSERT_EQ(0, stat(source.c_str(), &src));
            ASSERT_EQ(0, stat(dest.c_str(), &dst));
            EXPECT_EQ(c.mode, dst.st_mode & 07777);
            EXPECT_TRUE(dst.st_mtim.tv_sec == src.st_mtim.tv_sec && dst.st_mtim.tv_nsec == src.st_mtim.tv_nsec);
            // Only a source read once still has the access time it was given.
            EXPECT_TRUE(g_nGrowths > 0 || (dst.st_atim.tv_sec == times[0].tv_sec && dst.st_atim.tv_nsec == times[0].tv_nsec));
            EXPECT_LE(dst.st_blocks, src.st_blocks);
            EXPECT_TRUE(ReadFileBytes(dest) == ReadFileBytes(source));
        } else {
            EXPECT_NE(0, nResult);
            EXPECT_EQ(c.dwError, Real().GetLastError());
            EXPECT_EQ(c.bOldCopy ? "old copy" : "", ReadFileBytes(dest));
        }
        EXPECT_EQ(Lines(c.dwError == 0 || c.bOldCopy ? 1 : 0, "big.bin"), ListTree(m_dir.Join("bk")));
    }
}

// On a file system whose syncfs may never reach its server (here one that
// says it is FUSE), each copy's data is flushed while it still has its
// temporary's name.
std::atomic<int> g_nSyncedUnnamed(0);

int SyncDataNoting(int fd)
{
    char szPath[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), szPath, sizeof szPath);
    g_nSyncedUnnamed += fs::path(std::string(szPath, n > 0 ? static_cast<size_t>(n) : 0)).filename().string()[0] == '.';
    return fdatasync(fd);
}

TEST_F(PosixFileServicesTest, ANetworkCopyIsFlushedBeforeItHasItsName)
{
    const CopyDataCalls saved = g_copyDataCalls;
    g_copyDataCalls.pfnStatFs = [](int fd, struct statfs* pInfo) {
        int nResult = fstatfs(fd, pInfo);
        pInfo->f_type = FUSE_SUPER_MAGIC;
        return nResult;
    };
    g_copyDataCalls.pfnSyncData = SyncDataNoting;
    fs::create_directory(m_dir.Join("dst"));
    Real().SetTreeRoots(m_dir.Join("src").c_str(), m_dir.Join("dst").c_str());
    for (const std::string name : {"f1", "f2", "f3"}) {
        Make("src/" + name, name);
        EXPECT_EQ(0, Copy("src/" + name, "dst/sub/" + name)) << name;
    }
    Real().SetTreeRoots(nullptr, nullptr);
    g_copyDataCalls = saved;
    EXPECT_EQ(3, g_nSyncedUnnamed.load());
    EXPECT_EQ((Lines{"sub/", "sub/f1", "sub/f2", "sub/f3"}), ListTree(m_dir.Join("dst")));
}

// Followed on request, a link's file is copied over a link at the
// destination, not into what that link points to.  Neither a link handed
// to DeleteTree nor one inside the tree takes anything outside with it.
TEST_F(PosixFileServicesTest, ALinkIsReplacedOrRemovedNeverWrittenThrough)
{
    const std::string kept = Make("outside/keep.txt", "keep me");
    Make("file.txt", "content");
    MakeLink("to-file", "file.txt");
    fs::create_directories(m_dir.Join("bk"));
    MakeLink("bk/ln", kept);
    ASSERT_EQ(0, Copy("to-file", "bk/ln", TRUE));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_dir.Join("bk/ln"))));
    EXPECT_EQ("content", ReadFileBytes(m_dir.Join("bk/ln")));

    Make("1_data/sub/a.txt");
    MakeLink("1_data/to-outside", m_dir.Join("outside"));
    MakeLink("1_data/sub/to-file", kept);
    MakeLink("link", m_dir.Join("outside"));
    for (const char* rel : {"1_data", "link"}) {
        EXPECT_TRUE(Real().DeleteTree(m_dir.Join(rel).c_str())) << rel;
        EXPECT_FALSE(Real().Exists(m_dir.Join(rel).c_str())) << rel;
    }
    EXPECT_EQ("keep me", ReadFileBytes(kept));
}

// The walk listed the folder; before it opens it, someone swaps it for a
// link to a folder outside.
void SwapForLink(const char* pszFolder)
{
    const std::string folder(pszFolder, strlen(pszFolder) - 1);  // without its trailing '/'
    fs::rename(folder, folder + "-moved");
    fs::create_directory_symlink(fs::path(folder).parent_path().parent_path() / "outside", folder);
}

// Below a set's roots a link never stands in for a folder, on either side:
// every operation through one fails and the tree it points to stays as it
// was.  The roots themselves are reached as written, links and all.
TEST_F(PosixFileServicesTest, BelowARootNoLinkStandsInForAFolder)
{
    const std::string kept = Make("outside/f.txt", "outside");
    fs::create_directories(m_dir.Join("outside/sub"));
    Make("src/sub/f.txt", "inside");
    Make("src/real/f.txt", "inside");
    Make("dst/file", "a file");
    MakeLink("src/linked", m_dir.Join("outside"));
    MakeLink("dst/data", m_dir.Join("outside"));
    Real().SetTreeRoots(m_dir.Join("src").c_str(), m_dir.Join("dst/").c_str());
    auto path = [&](const char* pszRel) { return m_dir.Join(pszRel); };
    auto list = [&](const char* pszRel) {
        return std::unique_ptr<DirectoryReader>(Real().OpenDirectory(path(pszRel).c_str())) != nullptr;
    };
    CFileStatus status;
    const struct {
        const char* pszWhat;
        std::function<bool()> op;
    } cases[] = {
        {"status", [&] { return Real().GetStatus(path("dst/data/f.txt").c_str(), status, TRUE) != FALSE; }},
        {"folder on a link", [&] { return Real().CreateDirectory(path("dst/data").c_str()) != FALSE; }},
        {"folder on a file", [&] { return Real().CreateDirectory(path("dst/file").c_str()) != FALSE; }},
        {"copy into", [&] { return Copy("src/real/f.txt", "dst/data/f.txt") == 0; }},
        {"rename", [&] { return Real().RenameFile(path("dst/data/f.txt").c_str(), path("dst/data/1_f.txt").c_str()) != FALSE; }},
        {"delete tree", [&] { return Real().DeleteTree(path("dst/data/sub").c_str()) != FALSE; }},
        {"list", [&] { return list("src/linked/*.*"); }},
        {"can list", [&] { return Real().CanList(path("src/linked").c_str()) != FALSE; }},
        {"list a folder swapped since its parent's listing", [&] {
             g_pfnBeforeOpenFolder = SwapForLink;
             bool bListed = list("src/sub/*.*");
             g_pfnBeforeOpenFolder = nullptr;
             return bListed;
         }},
        {"can read", [&] { return Real().CanRead(path("src/linked/f.txt").c_str(), TRUE) != FALSE; }},
        {"copy from", [&] { return Copy("src/linked/f.txt", "dst/f.txt") == 0; }},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.op()) << c.pszWhat;
        // Not ENOTDIR, which would pass for an entry that has gone.
        const DWORD dwError = Real().GetLastError();
        EXPECT_TRUE(dwError == ELOOP || dwError == EEXIST) << c.pszWhat << ": " << dwError;
    }
    Real().FinishCopies(nullptr, nullptr);
    EXPECT_EQ((Lines{"f.txt", "sub/"}), ListTree(m_dir.Join("outside")));
    EXPECT_EQ("outside", ReadFileBytes(kept));
    EXPECT_EQ((Lines{"data/", "file"}), ListTree(m_dir.Join("dst")));

    MakeLink("source-link", m_dir.Join("src"));
    ASSERT_TRUE(Real().GetStatus(path("source-link").c_str(), status, TRUE));
    EXPECT_EQ(FILE_ATTR_DIRECTORY, status.m_attribute & FILE_ATTR_DIRECTORY);
    Real().SetTreeRoots(m_dir.Join("source-link").c_str(), m_dir.Join("dst").c_str());
    EXPECT_TRUE(Real().CanList(path("source-link/").c_str()));
    EXPECT_EQ(0, Copy("source-link/real/f.txt", "dst/real/f.txt"));
    Real().SetTreeRoots(nullptr, nullptr);
    EXPECT_EQ("inside", ReadFileBytes(path("dst/real/f.txt")));
}

// An ordinary user cannot give a copy its source's owner: the copy, its
// own, loses the set-id bits that would hand it that owner's rights.  (Root
// keeps owner and bits, as the end-to-end copy test shows.)
TEST_F(PosixFileServicesTest, ACopyThatCannotKeepItsOwnerLosesItsSetIdBits)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to make a file an ordinary user cannot own";
    const uid_t NOBODY = 65534;
    ASSERT_EQ(0, chmod(m_dir.Path().c_str(), 0777));
    ASSERT_EQ(0, chmod(Make("setid", "#!/bin/sh\n").c_str(), 06755));
    pid_t pid = fork();
    if (pid == 0)
        _exit(setgid(NOBODY) == 0 && setuid(NOBODY) == 0 && Copy("setid", "copy") == 0 ? 0 : 1);
    int nStatus = -1;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    EXPECT_EQ(0, nStatus);
    struct stat st;
    ASSERT_EQ(0, stat(m_dir.Join("copy").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    EXPECT_EQ(NOBODY, st.st_uid);
}

}  // namespace
