// Runs in which a careless setting, an interruption or an unfriendly disk
// could cost a backup: nothing may be lost, and what could not be done is
// reported with exit status 1.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "e2e/Harness.h"

namespace {

const uid_t NOBODY = 65534;

// Runs the child as an ordinary user, for what root is never refused.
void BecomeNobody()
{
    if (setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
        _exit(126);
}

class Safety : public Backup {
protected:
    // The scenario folder opened to an ordinary user, or false when only
    // root could arrange that.
    bool OpenToNobody() const
    {
        if (IsWindows() || geteuid() != 0)
            return false;
        return chmod(HostPath("").c_str(), 0777) == 0;
    }

    void Own(const std::string& rel, uid_t uid, mode_t mode) const
    {
        ASSERT_EQ(0, chown(HostPath(rel).c_str(), uid, uid)) << rel;
        ASSERT_EQ(0, chmod(HostPath(rel).c_str(), mode)) << rel;
    }
};

TEST_F(Safety, ASetWhoseItemIsOrHoldsItsSourceIsRefused)
{
    WriteFile("x/data/a.txt", "only copy", BASE_TIME);
    WriteFile("y/a.txt", "only copy", BASE_TIME);
    WriteFile("p/n/q/n/a.txt", "only copy", BASE_TIME);
    const std::string type2 = "世代数=1\n世代管理タイプ=2\n";
    // The folder's item is the folder itself; the file's is the file; the
    // last one's, p/n, lies two levels above its source.
    WriteSettings({Set("x/data", "x", type2), Set("y/a.txt", "y", type2), Set("p/n/q/n", "p", type2)});
    for (int run = 1; run <= 2; run++) {
        EXPECT_EQ(1, Run()) << "run " << run;
        EXPECT_EQ((Lines{"a.txt"}), ListTree("x/data"));
        EXPECT_EQ((Lines{"a.txt"}), ListTree("y"));
        EXPECT_EQ((Lines{"n/", "n/q/", "n/q/n/", "n/q/n/a.txt"}), ListTree("p"));
        EXPECT_EQ("only copy", ReadFile("x/data/a.txt") + ReadFile("y/a.txt").substr(9) + ReadFile("p/n/q/n/a.txt").substr(9));
    }
    const Lines log = Log();
    for (int n : {1, 2, 3})
        EXPECT_EQ(1u, CountPrefix(log, "バックアップセット " + std::to_string(n) + " ... バックアップ先がバックアップ元と重なる"));
}

// However the destination comes to lie inside the source, two levels down
// or bound into it (where no way up from the destination leads), the walk
// passes over the backup when it meets it.
TEST_F(Safety, TheWalkNeverCopiesTheBackupIntoItself)
{
    for (const std::string source : {"x", "y"}) {
        WriteFile(source + "/a.txt", "a", BASE_TIME);
        WriteFile(source + "/sub/b.txt", "b", BASE_TIME);
    }
    // As on any run after the first, the destinations are there already.
    for (const char* pszFolder : {"x/bk/daily", "y/mnt", "bk"})
        std::filesystem::create_directories(HostPath(pszFolder));
    Mounted bound;
    if (!IsWindows() && geteuid() == 0 &&
        std::system(("mount --bind '" + HostPath("bk") + "' '" + HostPath("y/mnt") + "' 2>/dev/null").c_str()) == 0)
        bound.path = HostPath("y/mnt");
    WriteSettings({Set("x", "x/bk/daily"), Set("y", "bk")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"a.txt", "bk/", "sub/", "sub/b.txt"}), ListTree("x/bk/daily/x"));
    const std::string passed = "  バックアップ先のフォルダなのでコピーせず ";
    EXPECT_EQ(1u, CountPrefix(Log(), passed + ProgramPath("x/bk/daily")));
    // Binding a folder into another needs root and mount on Linux.
    if (!bound.path.empty()) {
        EXPECT_EQ((Lines{"a.txt", "sub/", "sub/b.txt"}), ListTree("bk/y"));
        EXPECT_EQ(1u, CountPrefix(Log(), passed + ProgramPath("y/mnt")));
    }
}

// A tree deeper than a walk by recursion survives, walked with a few
// hundred descriptors on Linux: every file whose copy's path fits a path
// buffer is copied, and the first folder beyond is named.
TEST_F(Safety, ATreeOfAnyDepthIsWalkedWithFewDescriptors)
{
    if (IsWindows())
        GTEST_SKIP() << "Wine 8 resolves a path component by component: 250 levels took 22 s there, 500 levels 92 s";
    const int LEVELS = 2000;
    const size_t PATH_BYTES = 4096;  // the program's path buffers, terminator included
    // In memory where root can have it: on a busy disk this took 20 s.
    Mounted memory;
    std::filesystem::create_directories(HostPath("t"));
    if (geteuid() == 0 && std::system(("mount -t tmpfs tmpfs '" + HostPath("t") + "' 2>/dev/null").c_str()) == 0)
        memory.path = HostPath("t");
    // A file on every fourth level, the deepest 2,000 folders down.
    std::string rel;
    for (int k = 0; k <= LEVELS; k += 4, rel += "d/d/d/d/")
        WriteFile("t/src/" + rel + "f" + std::to_string(k), "f" + std::to_string(k));
    // The copy's paths are longer than the source's by this name: the
    // deepest folders fit the source's buffer but not the copy's.
    const std::string dest = "t/" + std::string(150, 'b');
    // Results only: the walk's own lines of such paths would fill megabytes.
    WriteSettings({Set("t/src", dest)}, "コピー結果のみログ=1\n");
    EXPECT_EQ(1, Run([] {
        const struct rlimit limit = {200, 200};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            _exit(126);
    }));

    const std::string copy = ProgramPath(dest) + "/src/";
    Lines missing;
    rel.clear();
    for (int k = 0; k <= LEVELS && copy.size() + rel.size() < PATH_BYTES; k++, rel += "d/") {
        const std::string name = "f" + std::to_string(k);
        if (k % 4 == 0 && copy.size() + rel.size() + name.size() < PATH_BYTES && ReadFile(dest + "/src/" + rel + name) != name)
            missing.push_back(name);
    }
    EXPECT_EQ(Lines(), missing);
    EXPECT_FALSE(Exists(dest + "/src/" + rel));
    EXPECT_EQ(1u, CountPrefix(Log(), "  パスが長すぎるのでコピーしません  " + copy + rel));
    // Deeper than the test's own clean-up goes, where no memory was mounted.
    (void)std::system(("rm -rf '" + HostPath("t") + "'").c_str());
}

// Were the rotation done before the copy, runs stopped part way would push
// every complete copy out.
TEST_F(Safety, InterruptedTypeTwoRunsKeepEveryCompleteCopy)
{
    if (IsWindows())
        GTEST_SKIP() << "signals stop the POSIX program only";
    const int nFiles = 600;
    for (int i = 0; i < nFiles; i++)
        WriteFile("data/d" + std::to_string(i % 10) + "/f" + std::to_string(i), std::string(4096, 'x'), BASE_TIME);
    WriteSettings({Set("data", "bk", "世代数=3\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 2; run++)
        ASSERT_EQ(0, Run()) << "run " << run;

    for (int nSignal : {SIGTERM, SIGKILL}) {
        const pid_t pid = Start();
        const bool bStarted = WaitUntil([&] { return CountFiles("bk/.data.tandemix-new") > 0; });
        kill(pid, nSignal);
        Wait(pid);
        ASSERT_TRUE(bStarted) << nSignal;
        EXPECT_EQ(static_cast<size_t>(nFiles), CountFiles("bk/data")) << nSignal;
        EXPECT_EQ(static_cast<size_t>(nFiles), CountFiles("bk/1_data")) << nSignal;
    }

    EXPECT_EQ(0, Run());
    for (const char* pszCopy : {"bk/data", "bk/1_data", "bk/2_data"})
        EXPECT_EQ(static_cast<size_t>(nFiles), CountFiles(pszCopy)) << pszCopy;
    EXPECT_FALSE(Exists("bk/.data.tandemix-new"));
    EXPECT_FALSE(Exists("bk/3_data"));
}

// The last step of the rotation (a.txt => 1_a.txt) cannot be done: an
// ordinary user may not move root's file out of a sticky folder.  The fake
// fails every step of a rotation; this is the one real immovable file.
TEST_F(Safety, ARotationThatCannotFinishPutsEveryGenerationBack)
{
    if (!OpenToNobody())
        GTEST_SKIP() << "needs root on POSIX to make a file another user cannot move";
    WriteFile("data/a.txt", "v5", BASE_TIME + 100);
    const char* apszVersions[] = {"a.txt", "1_a.txt", "2_a.txt", "3_a.txt"};
    for (int n = 0; n < 4; n++) {
        WriteFile(std::string("bk/data/") + apszVersions[n], "v" + std::to_string(4 - n), BASE_TIME);
        Own(std::string("bk/data/") + apszVersions[n], n == 0 ? 0 : NOBODY, 0644);
    }
    Own("bk/data", 0, 01777);
    WriteSettings({Set("data", "bk", "世代数=3\n世代管理タイプ=1\n")});
    for (int run = 1; run <= 3; run++)
        EXPECT_EQ(1, Run(BecomeNobody)) << "run " << run;
    EXPECT_EQ("v4" "v3" "v2" "v1", ReadFile("bk/data/a.txt") + ReadFile("bk/data/1_a.txt") +
                                       ReadFile("bk/data/2_a.txt") + ReadFile("bk/data/3_a.txt"));
    EXPECT_EQ(1u, CountPrefix(Log(), "  世代の名前変更に失敗しました "));
}

// A folder that can be listed but not entered (mode 0644) hides every file
// in it; its earlier copies must stay.
TEST_F(Safety, AFolderThatCannotBeEnteredCostsNoEarlierCopy)
{
    if (!OpenToNobody())
        GTEST_SKIP() << "needs an ordinary user, which root can make on POSIX";
    WriteFile("data/a.txt", "a", BASE_TIME);
    WriteSettings({Set("data", "bk", "世代数=2\n世代管理タイプ=2\n")});
    ASSERT_EQ(0, Run());
    Own("data", 0, 0644);
    for (int run = 1; run <= 3; run++)
        EXPECT_EQ(1, Run(BecomeNobody)) << "run " << run;
    Own("data", 0, 0755);
    EXPECT_EQ("a", ReadFile("bk/data/a.txt"));
}

// An ordinary user backs up a read-only tree: the copies get their names in
// a read-only folder before it gets its mode, and the oldest copy goes,
// read-only folders and all.
TEST_F(Safety, AnOrdinaryUserRotatesACopyOfAReadOnlyTree)
{
    if (!OpenToNobody())
        GTEST_SKIP() << "needs an ordinary user, which root can make on POSIX";
    WriteFile("data/b.txt", "b", BASE_TIME);
    WriteFile("data/ro/a.txt", "a", BASE_TIME);
    std::filesystem::create_directories(HostPath("bk"));
    Own("bk", NOBODY, 0755);
    Own("data/ro/a.txt", 0, 0444);
    Own("data/ro", 0, 0555);
    Own("data", 0, 0555);
    WriteSettings({Set("data", "bk", "世代数=1\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 3; run++)
        EXPECT_EQ(0, Run(BecomeNobody)) << "run " << run;
    EXPECT_EQ((Lines{"1_data/", "1_data/b.txt", "1_data/ro/", "1_data/ro/a.txt", "data/", "data/b.txt", "data/ro/",
                     "data/ro/a.txt"}),
              ListTree("bk"));
    struct stat st;
    ASSERT_EQ(0, stat(HostPath("bk/data/ro").c_str(), &st));
    EXPECT_EQ(0555u, st.st_mode & 07777);
}

// Type 1 with the source's own 3_x beside x: the rotation of x would put an
// old x over the copy of 3_x.
TEST_F(Safety, ASourceNameThatLooksLikeAGenerationIsNeverOverwritten)
{
    WriteFile("data/3_x", "the real 3_x", BASE_TIME);
    WriteSettings({Set("data", "bk", "世代数=3\n世代管理タイプ=1\n")});
    for (int run = 0; run <= 5; run++) {
        WriteFile("data/x", "x" + std::to_string(run), BASE_TIME + 10 * (run + 1));
        EXPECT_EQ(run == 0 ? 0 : 1, Run()) << "run " << run;
    }
    EXPECT_EQ("the real 3_x", ReadFile("bk/data/3_x"));
    EXPECT_EQ(1u, CountPrefix(Log(), "  バックアップ元に世代と同じ名前があるので世代を作りません  " + ProgramPath("data/3_x")));
}

// Names a rotation would use that hold someone else's copy: a folder under
// a type-1 generation name (the backup of a source folder deleted since),
// the source's own 1_sub beside a file that a folder replaces, and a second
// set whose item is a first set's generation.  None is moved or written.
TEST_F(Safety, ACopyUnderANameARotationWouldUseIsNeverTaken)
{
    WriteFile("data/x.txt", "x1", BASE_TIME);
    WriteFile("data/1_x.txt/keep.txt", "a folder's", BASE_TIME);
    WriteFile("data/sub", "a file, once", BASE_TIME);
    WriteFile("data/1_sub", "the user's own 1_sub", BASE_TIME);
    WriteFile("two/a.txt", "set 2's", BASE_TIME);
    WriteFile("y/1_two/b.txt", "set 3's", BASE_TIME);
    const std::string type1 = "世代数=1\n世代管理タイプ=1\n";
    WriteSettings({Set("data", "bk", type1), Set("two", "bk2", "世代数=1\n世代管理タイプ=2\n"), Set("y/1_two", "bk2")});
    ASSERT_EQ(1, Run());
    std::filesystem::remove_all(HostPath("data/1_x.txt"));
    std::filesystem::remove(HostPath("data/sub"));
    WriteFile("data/x.txt", "x2", BASE_TIME + 10);
    WriteFile("data/sub/f.txt", "f", BASE_TIME);
    EXPECT_EQ(1, Run());

    EXPECT_EQ("x1" "a folder's", ReadFile("bk/data/x.txt") + ReadFile("bk/data/1_x.txt/keep.txt"));
    EXPECT_EQ("a file, once" "the user's own 1_sub", ReadFile("bk/data/sub") + ReadFile("bk/data/1_sub"));
    EXPECT_EQ((Lines{"1_two/", "1_two/a.txt", "two/", "two/a.txt"}), ListTree("bk2"));
    const Lines log = Log();
    EXPECT_EQ(1u, CountPrefix(log, "  世代の名前にフォルダがあるので世代を作りません  " + ProgramPath("bk/data/1_x.txt")));
    EXPECT_EQ(1u, CountPrefix(log, "  バックアップ元に世代と同じ名前があるので世代を作りません  " + ProgramPath("data/1_sub")));
    EXPECT_EQ(1u, CountPrefix(log, "バックアップセット 3 ... バックアップ先(" + ProgramPath("bk2/1_two") +
                                       ")がバックアップセット 2 の世代の名前なのでバックアップしません"));
}

// With the destination the source itself, the walk meets the item, its
// generations and the new copy being made: it copies none of them.
TEST_F(Safety, ATypeTwoBackupInsideItsSourceNeverCopiesItself)
{
    WriteFile("data/a.txt", "a", BASE_TIME);
    WriteSettings({Set("data", "data", "世代数=2\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 3; run++)
        EXPECT_EQ(0, Run()) << "run " << run;
    EXPECT_EQ((Lines{"1_data/", "1_data/a.txt", "2_data/", "2_data/a.txt", "a.txt", "data/", "data/a.txt"}),
              ListTree("data"));
}

// Someone who can write into a source folder that root backs up makes x a
// link to a folder outside, lets it be backed up as a link, then makes x a
// real folder holding a file dated in the future.  The backup must never
// write, rename or delete through its old copy of the link.
TEST_F(Safety, AReplacedLinkNeverLeadsTheBackupOutOfItsTree)
{
    if (IsWindows())
        GTEST_SKIP() << "symbolic links are a POSIX matter here";
    for (const char* pszGenerations : {"", "世代数=1\n世代管理タイプ=1\n"}) {
        SCOPED_TRACE(pszGenerations);
        std::filesystem::remove_all(HostPath("src"));
        std::filesystem::remove_all(HostPath("bk"));
        WriteFile("victim/keep.txt", "victim's", BASE_TIME);
        WriteFile("src/a.txt", "a", BASE_TIME);
        std::filesystem::create_directory_symlink(HostPath("victim"), HostPath("src/x"));
        WriteSettings({Set("src", "bk", pszGenerations)});
        ASSERT_EQ(0, Run());
        std::filesystem::remove(HostPath("src/x"));
        WriteFile("src/x/keep.txt", "planted", time(nullptr) + 100000);
        EXPECT_EQ(0, Run());
        EXPECT_EQ((Lines{"keep.txt"}), ListTree("victim"));
        EXPECT_EQ("victim's", ReadFile("victim/keep.txt"));
        EXPECT_EQ("planted", ReadFile("bk/src/x/keep.txt"));
        // With generations the old link is kept as one, still a link.
        EXPECT_EQ(pszGenerations[0] != '\0', std::filesystem::is_symlink(HostPath("bk/src/1_x")));
    }
}

// A file name that holds a line end and the text of a log line is copied as
// it is, but cannot add a line to the log.  Its path is longer than a
// Windows-sized buffer takes: Linux backs up every path the kernel does,
// and every name, even one that leaves its temporary no room to spare.
TEST_F(Safety, ANameCannotForgeALogLineAndALongPathIsBackedUp)
{
    if (IsWindows())
        GTEST_SKIP() << "Windows names hold no control characters; its long paths have a test of their own";
    std::string deep = "data";
    while (deep.size() < 1500)
        deep += "/" + std::string(200, 'd');
    const std::string name = deep + "/x\n2026/01/01 00:00:00  バックアップセット 9 ... バックアップ完了";
    const std::string longest = deep + "/" + std::string(255, 'n');
    WriteFile(name, "forged", BASE_TIME);
    WriteFile(longest, "longest", BASE_TIME);
    WriteSettings({Set("data", "bk")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ("forged", ReadFile("bk/" + name));
    EXPECT_EQ("longest", ReadFile("bk/" + longest));
    bool bEscaped = false;
    for (const std::string& line : Log()) {
        EXPECT_NE(0u, line.rfind("バックアップセット 9", 0)) << line;
        bEscaped = bEscaped || line.find("x\\n2026/01/01") != std::string::npos;
    }
    EXPECT_TRUE(bEscaped);
}

}  // namespace
