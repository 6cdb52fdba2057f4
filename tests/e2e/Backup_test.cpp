// Whole backup runs of the real program on real folders.
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "e2e/Harness.h"

namespace {

TEST_F(Backup, RoadOfOneFileGivesTheLayoutAndTheLinesInOrder)
{
    WriteFile("data/sub/a.txt", "road", BASE_TIME);
    // Set 1 has no destination: only set 2 runs, under its own number.
    WriteSettings({"バックアップ元=" + ProgramPath("data") + "\n", Set("data", "bk")});
    EXPECT_EQ(0, Run());

    EXPECT_EQ((Lines{"data/", "data/sub/", "data/sub/a.txt"}), ListTree("bk"));
    EXPECT_EQ("road", ReadFile("bk/data/sub/a.txt"));
    struct stat st;
    ASSERT_EQ(0, stat(HostPath("bk/data/sub/a.txt").c_str(), &st));
    EXPECT_EQ(BASE_TIME, st.st_mtime);

    const std::string src = ProgramPath("data") + Sep();
    Lines log = Log();
    ASSERT_EQ(12u, log.size());
    // The attributes in lower-case hexadecimal, the folder bit among them.
    const std::string attr = "バックアップ元はフォルダでした attr=";
    EXPECT_TRUE(log[3].rfind(attr, 0) == 0 && log[3].find_first_not_of("0123456789abcdef", attr.size()) == std::string::npos &&
                (std::stoul(log[3].substr(attr.size()), nullptr, 16) & 0x10) != 0)
        << log[3];
    log[3] = "(attr)";
    EXPECT_EQ((Lines{
                  "Tandemix start.",
                  "バックアップセット 2 ... バックアップ開始",
                  "バックアップ元(" + ProgramPath("data") + ")は存在しました",
                  "(attr)",
                  "  フォルダのコピー開始 " + src + "*.*",
                  "  次のフォルダを発見 " + Rel("sub/"),
                  "  フォルダのコピー開始 " + src + Rel("sub/*.*"),
                  "  ファイルを発見 " + Rel("sub/a.txt"),
                  CopyLine("data/sub/a.txt", "bk/data/sub/a.txt"),
                  "  フォルダのコピー終了 " + src + Rel("sub/*.*"),
                  "  フォルダのコピー終了 " + src + "*.*",
                  "バックアップセット 2 ... バックアップ完了",
              }),
              log);
}

TEST_F(Backup, CopyDecisionsFollowTheTimesAndTheMargin)
{
    const struct {
        int nMargin;
        int nSourceLater;  // seconds the source is later than the destination copy
        bool bCopied;
        const char* pszOld = "old";
    } cases[] = {
        {0, 0, false},     // equal times
        {60, 60, false},   // not more than the margin
        {60, 61, true},
        {-5, 1, true},     // a negative margin acts like none
        {0, -100, false},  // a newer destination copy is left alone
        {60, 0, true, ""}, // a copy of another size is no copy (left by a crash)
    };
    Lines sets;
    for (size_t i = 0; i < std::size(cases); i++) {
        const std::string n = std::to_string(i + 1);
        WriteFile("src" + n + "/a.txt", "new", BASE_TIME + cases[i].nSourceLater);
        WriteFile("bk" + n + "/a.txt", cases[i].pszOld, BASE_TIME);
        sets.push_back(Set("src" + n + "/a.txt", "bk" + n, "タイムスタンプ比較マージン=" + std::to_string(cases[i].nMargin) + "\n"));
    }
    WriteSettings(sets);
    EXPECT_EQ(0, Run());

    for (size_t i = 0; i < std::size(cases); i++) {
        EXPECT_EQ(cases[i].bCopied ? "new" : cases[i].pszOld, ReadFile("bk" + std::to_string(i + 1) + "/a.txt")) << i + 1;
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(cases[i].bCopied ? 1u : 0u, CountPrefix(Log(), CopyLine("src" + n + "/a.txt", "bk" + n + "/a.txt"))) << n;
    }
}

TEST_F(Backup, TypeOneKeepsTheOlderCopyOfEachReplacedFile)
{
    WriteSettings({Set("data", "bk", "世代数=1\n世代管理タイプ=1\n")});
    for (int run = 1; run <= 3; run++) {
        WriteFile("data/a.txt", "v" + std::to_string(run), BASE_TIME + run * 10);
        EXPECT_EQ(0, Run()) << "run " << run;
    }
    EXPECT_EQ((Lines{"data/", "data/1_a.txt", "data/a.txt"}), ListTree("bk"));
    EXPECT_EQ("v3" "v2", ReadFile("bk/data/a.txt") + ReadFile("bk/data/1_a.txt"));
}

// Type 2 end to end, a folder and a single file: the new copy is made
// under a hidden name and takes the item's place.
TEST_F(Backup, TypeTwoMakesAGenerationOfTheWholeItemEveryRun)
{
    WriteFile("data/a.txt", "same", BASE_TIME);
    WriteFile("data/sub/b.txt", "same", BASE_TIME);
    WriteSettings({Set("data", "bk", "世代数=3\n世代管理タイプ=2\n"), Set("data/a.txt", "one", "世代数=1\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 3; run++) {
        EXPECT_EQ(0, Run()) << "run " << run;
        WriteFile("bk/data/run" + std::to_string(run), "");  // travels with its copy
    }
    EXPECT_EQ((Lines{"1_a.txt", "a.txt"}), ListTree("one"));
    EXPECT_EQ((Lines{"1_data/", "1_data/a.txt", "1_data/run2", "1_data/sub/", "1_data/sub/b.txt",
                     "2_data/", "2_data/a.txt", "2_data/run1", "2_data/sub/", "2_data/sub/b.txt",
                     "data/", "data/a.txt", "data/run3", "data/sub/", "data/sub/b.txt"}),
              ListTree("bk"));
    const Lines log = Log();
    EXPECT_EQ(1u, CountPrefix(log, "  タイプ２の世代を作ります 世代数=3"));
    EXPECT_EQ(3u, CountPrefix(log, "  コピーします  "));
}

TEST_F(Backup, ExcludedExtensionsAndFoldersAreLeftOutButTheRootIsNever)
{
    for (const char* rel : {"cache/.hidden", "cache/a.txt", "cache/b.TMP", "cache/cache/x.txt", "cache/sub/c.txt",
                            "cache/sub/Cache/deep/y.txt", "cache/sub/d.tmp.gz"})
        WriteFile(rel, "x", BASE_TIME);
    WriteSettings({Set("cache", "bk", "対象外拡張子=tmp, bak\n対象外フォルダ名=cache\n")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"cache/", "cache/.hidden", "cache/a.txt", "cache/sub/", "cache/sub/c.txt", "cache/sub/d.tmp.gz"}), ListTree("bk"));

    const Lines log = Log();
    const std::string excluded = "  対象外フォルダ名に指定されたフォルダなのでコピーせず ";
    EXPECT_EQ(1u, CountPrefix(log, excluded + ProgramPath("cache/cache") + Sep() + "*.*"));
    EXPECT_EQ(1u, CountPrefix(log, excluded + ProgramPath("cache/sub/Cache") + Sep() + "*.*"));
    EXPECT_EQ(2u, CountPrefix(log, excluded));
    EXPECT_EQ(1u, CountPrefix(log, "  ファイルを発見 b.TMP"));  // found, only not copied
    EXPECT_EQ(4u, CountPrefix(log, "  コピーします  "));
}

// A killed run's temporary goes with the next run's first copy into its
// folder.  A name that only looks like one stays, and so does one that the
// source folder holds itself (copied once, never again), and on POSIX one
// that a copy still going holds locked.
TEST_F(Backup, TheSweepTakesOnlyTheTemporariesOfAKilledRun)
{
    WriteFile("data/.notes.tandemix-backup", "the user's own", BASE_TIME);
    WriteFile("bk/data/.a.txt.tandemix-Ab12Cd", "left by a killed run");
    WriteFile("bk/data/.a.tandemix-abc", "not ours");
    WriteFile("bk/data/.b.txt.tandemix-Live01", "another run's, being written");
    const int fdLive = IsWindows() ? -1 : open(HostPath("bk/data/.b.txt.tandemix-Live01").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_TRUE(IsWindows() || flock(fdLive, LOCK_EX) == 0);
    WriteSettings({Set("data", "bk")});
    for (int run = 1; run <= 2; run++) {
        WriteFile("data/a.txt", "a" + std::to_string(run), BASE_TIME + run);  // a copy into the folder every run
        EXPECT_EQ(0, Run()) << "run " << run;
    }
    if (fdLive >= 0)
        close(fdLive);
    Lines kept{".a.tandemix-abc", ".b.txt.tandemix-Live01", ".notes.tandemix-backup", "a.txt"};
    if (IsWindows())
        kept.erase(kept.begin() + 1);
    EXPECT_EQ(kept, ListTree("bk/data"));
    EXPECT_EQ(0u, CountPrefix(Log(), CopyLine("data/.notes.tandemix-backup", "bk/data/.notes.tandemix-backup")));
}

TEST_F(Backup, AResultsOnlyLogHoldsExactlyTheResultLines)
{
    WriteFile("one/a.txt", "a", BASE_TIME);
    WriteFile("two/c.txt", "c", BASE_TIME);
    WriteFile("bk2/two", "in the way");  // a file where set 2's item folder goes: removed, with a detail line
    WriteSettings({Set("one", "bk1"), Set("two", "bk2")}, "コピー結果のみログ=1\n");
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"Tandemix start.", "バックアップセット 1 ... バックアップ開始", CopyLine("one/a.txt", "bk1/one/a.txt"),
                     "バックアップセット 1 ... バックアップ完了", "バックアップセット 2 ... バックアップ開始",
                     CopyLine("two/c.txt", "bk2/two/c.txt"), "バックアップセット 2 ... バックアップ完了"}),
              Log());
    EXPECT_EQ("c", ReadFile("bk2/two/c.txt"));
}

TEST_F(Backup, TheAfterCommandIsOpenedOnceAFolderSetHasFinished)
{
    WriteFile("data/a.txt", "a", BASE_TIME);
    const std::string script = IsWindows() ? "after me.bat" : "after me.sh";
    if (IsWindows())
        WriteFile(script, "@echo done> \"" + ProgramPath("marker") + "\"\r\n");
    else
        WriteFile(script, "#!/bin/sh\necho done > '" + HostPath("marker") + "'\n");
    ASSERT_EQ(0, chmod(HostPath(script).c_str(), 0755));
    WriteSettings({Set("data", "bk", "バックアップ後実行=" + ProgramPath(script) + "\n")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ("バックアップセット 1 ... シェル実行 " + ProgramPath(script), Log().back());
    // The command runs on its own; wait for its mark.
    WaitUntil([&] { return ReadFile("marker").size() >= 4; }, 30);
    EXPECT_EQ("done", ReadFile("marker").substr(0, 4));
}

TEST_F(Backup, ASignalFinishesTheFileInHandAndStartsNothingMore)
{
    if (IsWindows())
        GTEST_SKIP() << "signals cancel the POSIX program only";
    const int nFiles = 3000;
    for (int i = 0; i < nFiles; i++)
        WriteFile("data/f" + std::to_string(i), std::string(4096, 'x'), BASE_TIME);
    WriteFile("second/b.txt", "b", BASE_TIME);
    WriteSettings({Set("data", "bk", "バックアップ後実行=/bin/true\n"), Set("second", "bk2")});

    const pid_t pid = Start();
    // Cancel once the walk is under way: as soon as its first copy is there.
    ASSERT_TRUE(WaitUntil([&] { return !ListTree("bk/data").empty(); }));
    kill(pid, SIGTERM);
    EXPECT_EQ(2, Wait(pid));

    const Lines log = Log();
    const Lines copied = ListTree("bk/data");
    // Every copy that was begun was finished, and the walk stopped short.
    EXPECT_EQ(copied.size(), CountPrefix(log, "  コピーします  "));
    EXPECT_LT(copied.size(), static_cast<size_t>(nFiles));
    for (const std::string& rel : copied)
        EXPECT_EQ(4096u, ReadFile("bk/data/" + rel).size()) << rel;
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ((Lines{"  フォルダのコピー終了 " + ProgramPath("data") + "/*.*", "バックアップセット 1 ... バックアップを中止しました",
                     "バックアップセット 1 ... バックアップ完了"}),
              Lines(log.end() - 3, log.end()));
    EXPECT_FALSE(Exists("bk2"));
}

}  // namespace
