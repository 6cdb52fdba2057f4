// Whole backup runs of the real program on real folders.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Harness.h"

namespace {

typedef std::vector<std::string> Lines;

// An old enough time for every file that a test dates itself.
const time_t BASE_TIME = 1600000000;

class Backup : public Scenario {
protected:
    // A relative path with the program's separator, as the log shows it.
    std::string Rel(const std::string& rel) const
    {
        std::string text = rel;
        std::replace(text.begin(), text.end(), '/', Sep());
        return text;
    }

    // Settings with a log, no window and the given sets.
    void WriteSettings(const std::vector<std::string>& sets, const std::string& general = "") const
    {
        std::string ini = "[全般]\n画面表示レベル=0\nログファイル名=run.log\nバックアップセット数=" +
                          std::to_string(sets.size()) + "\n" + general;
        for (size_t i = 0; i < sets.size(); i++)
            ini += "[バックアップセット" + std::to_string(i + 1) + "]\n" + sets[i];
        WriteIni(ini);
    }

    std::string SetText(const std::string& src, const std::string& dst, const std::string& more = "") const
    {
        return "バックアップ元=" + ProgramPath(src) + "\nバックアップ先=" + ProgramPath(dst) + "\n" + more;
    }

    Lines Log() const { return ReadLogLines("run.log"); }

    // The log lines from the start line of set n up to the next set's.
    Lines SetLines(int n) const
    {
        Lines all = Log();
        Lines lines;
        const std::string start = "バックアップセット " + std::to_string(n) + " ... バックアップ開始";
        bool in = false;
        for (const std::string& line : all) {
            if (line.rfind("バックアップセット ", 0) == 0 && line.find("バックアップ開始") != std::string::npos)
                in = line == start;
            if (in)
                lines.push_back(line);
        }
        return lines;
    }

    static size_t Count(const Lines& lines, const std::string& prefix)
    {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        }));
    }

    static bool Has(const Lines& lines, const std::string& line)
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static std::string Stamp(time_t t)
    {
        struct tm local;
        localtime_r(&t, &local);
        char text[32];
        strftime(text, sizeof(text), "%Y%m%d%H%M%S", &local);
        return text;
    }

    void WriteDated(const std::string& rel, const std::string& text, time_t t) const
    {
        WriteFile(rel, text);
        SetMTime(rel, t);
    }
};

TEST_F(Backup, RoadOfOneFileGivesTheLayoutAndTheLinesInOrder)
{
    WriteDated("data/sub/a.txt", "road", BASE_TIME);
    // Set 1 has no destination: only set 2 runs, under its own number.
    WriteSettings({"バックアップ元=" + ProgramPath("data") + "\n", SetText("data", "bk")});
    EXPECT_EQ(0, Run());

    EXPECT_EQ((Lines{"data/", "data/sub/", "data/sub/a.txt"}), ListTree("bk"));
    EXPECT_EQ("road", ReadFile("bk/data/sub/a.txt"));
    EXPECT_EQ(BASE_TIME, GetMTime("bk/data/sub/a.txt"));

    const std::string src = ProgramPath("data");
    const std::string sep(1, Sep());
    Lines log = Log();
    ASSERT_EQ(12u, log.size());
    unsigned long attr = 0;
    ASSERT_TRUE(EndsWithLowerHex(log[3], "バックアップ元はフォルダでした attr=", &attr)) << log[3];
    EXPECT_NE(0u, attr & 0x10);
    log[3] = "(attr)";
    EXPECT_EQ((Lines{
                  "Tandemix start.",
                  "バックアップセット 2 ... バックアップ開始",
                  "バックアップ元(" + src + ")は存在しました",
                  "(attr)",
                  "  フォルダのコピー開始 " + src + sep + "*.*",
                  "  次のフォルダを発見 sub" + sep,
                  "  フォルダのコピー開始 " + src + sep + "sub" + sep + "*.*",
                  "  ファイルを発見 " + Rel("sub/a.txt"),
                  "  コピーします  " + ProgramPath("data/sub/a.txt") + " => " + ProgramPath("bk/data/sub/a.txt"),
                  "  フォルダのコピー終了 " + src + sep + "sub" + sep + "*.*",
                  "  フォルダのコピー終了 " + src + sep + "*.*",
                  "バックアップセット 2 ... バックアップ完了",
              }),
              log);
}

TEST_F(Backup, ASingleFileLandsDirectlyInTheDestination)
{
    WriteDated("data/a.txt", "single", BASE_TIME);
    WriteSettings({SetText("data/a.txt", "bk")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"a.txt"}), ListTree("bk"));
    EXPECT_EQ("single", ReadFile("bk/a.txt"));
    Lines lines = SetLines(1);
    EXPECT_EQ(1u, Count(lines, "バックアップ元はファイルでした attr="));
    EXPECT_TRUE(Has(lines, "  コピーします  " + ProgramPath("data/a.txt") + " => " + ProgramPath("bk/a.txt")));
    EXPECT_TRUE(Has(lines, "バックアップセット 1 ... バックアップ完了"));
}

TEST_F(Backup, CopyDecisionsFollowTheTimesAndTheMargin)
{
    struct Case {
        int nMargin;
        int nSourceLater;   // seconds the source is later than the destination copy
        bool bCopied;
    };
    const Case cases[] = {
        {0, 0, false},     // equal times
        {60, 60, false},   // not more than the margin
        {60, 61, true},
        {-5, 1, true},     // a negative margin acts like none
        {0, -100, false},  // a newer destination copy is left alone
        {0, 1, true},
    };
    std::vector<std::string> sets;
    for (size_t i = 0; i < std::size(cases); i++) {
        const std::string n = std::to_string(i + 1);
        WriteDated("src" + n + "/a.txt", "new", BASE_TIME + cases[i].nSourceLater);
        WriteDated("bk" + n + "/a.txt", "old", BASE_TIME);
        sets.push_back(SetText("src" + n + "/a.txt", "bk" + n,
                               "タイムスタンプ比較マージン=" + std::to_string(cases[i].nMargin) + "\n"));
    }
    WriteSettings(sets);
    EXPECT_EQ(0, Run());

    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE("case " + std::to_string(i + 1));
        const std::string n = std::to_string(i + 1);
        const Case& c = cases[i];
        EXPECT_EQ(c.bCopied ? "new" : "old", ReadFile("bk" + n + "/a.txt"));
        Lines lines = SetLines(static_cast<int>(i + 1));
        Lines found;
        for (const std::string& line : lines) {
            if (line.rfind("  コピー先に同名", 0) == 0)
                found.push_back(line);
        }
        EXPECT_EQ((Lines{"  コピー先に同名ファイルを発見  タイムスタンプ from:to = " + Stamp(BASE_TIME + c.nSourceLater) +
                         ":" + Stamp(BASE_TIME) + " , マージン=" + std::to_string(c.nMargin)}),
                  found);
        EXPECT_EQ(c.bCopied ? 1u : 0u, Count(lines, "  コピーします  "));
    }
}

TEST_F(Backup, AMissingDestinationCopyIsCopiedWithoutTouchingGenerationsBesideIt)
{
    WriteDated("data/a.txt", "new", BASE_TIME + 50);
    WriteDated("bk/1_a.txt", "g1", BASE_TIME);
    WriteDated("bk/2_a.txt", "g2", BASE_TIME);
    WriteSettings({SetText("data/a.txt", "bk", "世代数=3\n世代管理タイプ=1\n")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"1_a.txt", "2_a.txt", "a.txt"}), ListTree("bk"));
    EXPECT_EQ("new", ReadFile("bk/a.txt"));
    EXPECT_EQ("g1", ReadFile("bk/1_a.txt"));
    EXPECT_EQ("g2", ReadFile("bk/2_a.txt"));
    EXPECT_EQ(0u, Count(Log(), "  タイプ１の世代を作ります"));
}

TEST_F(Backup, TypeOneKeepsTheOlderCopiesOfEachReplacedFileOverThreeRuns)
{
    WriteSettings({SetText("data", "bk", "世代数=2\n世代管理タイプ=1\n")});
    WriteDated("data/keep.txt", "same", BASE_TIME);
    for (int run = 1; run <= 3; run++) {
        WriteDated("data/a.txt", "v" + std::to_string(run), BASE_TIME + run * 10);
        EXPECT_EQ(0, Run()) << "run " << run;
    }
    EXPECT_EQ((Lines{"data/", "data/1_a.txt", "data/2_a.txt", "data/a.txt", "data/keep.txt"}), ListTree("bk"));
    EXPECT_EQ("v3", ReadFile("bk/data/a.txt"));
    EXPECT_EQ("v2", ReadFile("bk/data/1_a.txt"));
    EXPECT_EQ("v1", ReadFile("bk/data/2_a.txt"));
    Lines log = Log();
    EXPECT_TRUE(Has(log, "  タイプ１の世代を作ります 世代数=2"));
    EXPECT_EQ(1u, Count(log, "  コピーします  "));
}

TEST_F(Backup, TypeOneCountAboveNineKeepsNine)
{
    WriteDated("data/a.txt", "new", BASE_TIME + 100);
    WriteDated("bk/data/a.txt", "old", BASE_TIME);
    for (int n = 1; n <= 9; n++)
        WriteDated("bk/data/" + std::to_string(n) + "_a.txt", "g" + std::to_string(n), BASE_TIME);
    WriteSettings({SetText("data", "bk", "世代数=12\n世代管理タイプ=1\n")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ("new", ReadFile("bk/data/a.txt"));
    EXPECT_EQ("old", ReadFile("bk/data/1_a.txt"));
    for (int n = 2; n <= 9; n++)
        EXPECT_EQ("g" + std::to_string(n - 1), ReadFile("bk/data/" + std::to_string(n) + "_a.txt"));
    EXPECT_FALSE(Exists("bk/data/10_a.txt"));
    EXPECT_TRUE(Has(Log(), "  タイプ１の世代を作ります 世代数=9"));
}

TEST_F(Backup, TypeTwoMakesAGenerationOfTheWholeItemEveryRun)
{
    WriteDated("data/a.txt", "same", BASE_TIME);
    WriteDated("data/sub/b.txt", "same", BASE_TIME);
    WriteSettings({SetText("data", "bk", "世代数=3\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 3; run++) {
        EXPECT_EQ(0, Run()) << "run " << run;
        // A mark of each run travels with its copy.
        WriteFile("bk/data/run" + std::to_string(run), "");
    }
    EXPECT_EQ((Lines{"1_data/", "1_data/a.txt", "1_data/run2", "1_data/sub/", "1_data/sub/b.txt",
                     "2_data/", "2_data/a.txt", "2_data/run1", "2_data/sub/", "2_data/sub/b.txt",
                     "data/", "data/a.txt", "data/run3", "data/sub/", "data/sub/b.txt"}),
              ListTree("bk"));
    Lines log = Log();
    EXPECT_TRUE(Has(log, "  タイプ２の世代を作ります 世代数=3"));
    EXPECT_EQ(2u, Count(log, "  コピーします  "));
}

TEST_F(Backup, ExcludedExtensionsAndFoldersAreLeftOutButTheRootIsNever)
{
    for (const char* rel : {"cache/a.txt", "cache/b.TMP", "cache/cache/x.txt", "cache/sub/c.txt",
                            "cache/sub/Cache/deep/y.txt", "cache/sub/d.tmp.gz"})
        WriteDated(rel, "x", BASE_TIME);
    WriteSettings({SetText("cache", "bk", "対象外拡張子=tmp, bak\n対象外フォルダ名=cache\n")});
    EXPECT_EQ(0, Run());
    EXPECT_EQ((Lines{"cache/", "cache/a.txt", "cache/sub/", "cache/sub/c.txt", "cache/sub/d.tmp.gz"}),
              ListTree("bk"));

    Lines log = Log();
    const std::string sep(1, Sep());
    EXPECT_TRUE(Has(log, "  次のフォルダを発見 cache" + sep));
    EXPECT_TRUE(Has(log, "  対象外フォルダ名に指定されたフォルダなのでコピーせず " + ProgramPath("cache/cache") + sep + "*.*"));
    EXPECT_TRUE(Has(log, "  次のフォルダを発見 " + Rel("sub/Cache/")));
    EXPECT_TRUE(Has(log, "  対象外フォルダ名に指定されたフォルダなのでコピーせず " + ProgramPath("cache/sub/Cache") + sep + "*.*"));
    // An excluded file is still found; it is only not copied.
    EXPECT_TRUE(Has(log, "  ファイルを発見 b.TMP"));
    EXPECT_EQ(3u, Count(log, "  コピーします  "));
    EXPECT_EQ(0u, Count(log, "  ファイルを発見 " + Rel("cache/")));
    EXPECT_EQ(2u, Count(log, "  対象外フォルダ名"));
}

TEST_F(Backup, AResultsOnlyLogHoldsExactlyTheResultLines)
{
    WriteDated("one/a.txt", "a", BASE_TIME);
    WriteDated("one/sub/b.txt", "b", BASE_TIME);
    WriteDated("two/c.txt", "c", BASE_TIME);
    // A file where set 2's destination folder should be: its copy fails.
    WriteFile("bk2/two", "in the way");
    WriteSettings({SetText("one", "bk1"), SetText("two", "bk2")}, "コピー結果のみログ=1\n");
    // Wine's shell marks a copy that it could not make as aborted
    // (ERROR_CANCELLED), which stops the run there: set 2 is the last set,
    // so only the exit status differs.
    EXPECT_EQ(IsWindows() ? 2 : 1, Run());

    Lines log = Log();
    ASSERT_EQ(9u, log.size());
    // The walk's order is the platform's: compare set 1's copy lines as a set.
    Lines copies(log.begin() + 2, log.begin() + 4);
    std::sort(copies.begin(), copies.end());
    const std::string copyA = "  コピーします  " + ProgramPath("one/a.txt") + " => " + ProgramPath("bk1/one/a.txt");
    const std::string copyB = "  コピーします  " + ProgramPath("one/sub/b.txt") + " => " + ProgramPath("bk1/one/sub/b.txt");
    EXPECT_EQ((Lines{std::min(copyA, copyB), std::max(copyA, copyB)}), copies);
    EXPECT_EQ("Tandemix start.", log[0]);
    EXPECT_EQ("バックアップセット 1 ... バックアップ開始", log[1]);
    EXPECT_EQ("バックアップセット 1 ... バックアップ完了", log[4]);
    EXPECT_EQ("バックアップセット 2 ... バックアップ開始", log[5]);
    EXPECT_EQ("  コピーします  " + ProgramPath("two/c.txt") + " => " + ProgramPath("bk2/two/c.txt"), log[6]);
    unsigned long code = 0;
    EXPECT_TRUE(EndsWithLowerHex(log[7], "SHFileOperation()でエラーが返りました  code=", &code)) << log[7];
    EXPECT_EQ("バックアップセット 2 ... バックアップ完了", log[8]);
    EXPECT_EQ("in the way", ReadFile("bk2/two"));
}

TEST_F(Backup, AMissingSourceIsReportedAndItsOlderBackupsAreUntouched)
{
    WriteDated("bk1/gone/a.txt", "last", BASE_TIME);
    WriteDated("bk1/1_gone/a.txt", "before", BASE_TIME);
    WriteDated("here/b.txt", "b", BASE_TIME);
    WriteSettings({SetText("gone", "bk1", "世代数=3\n世代管理タイプ=2\n"), SetText("here", "bk2")});
    EXPECT_EQ(1, Run());

    EXPECT_EQ((Lines{"1_gone/", "1_gone/a.txt", "gone/", "gone/a.txt"}), ListTree("bk1"));
    EXPECT_EQ("last", ReadFile("bk1/gone/a.txt"));
    Lines set1 = SetLines(1);
    ASSERT_EQ(2u, set1.size());
    EXPECT_EQ(0u, set1[1].rfind("バックアップ元(" + ProgramPath("gone") + ")が見つからないのでバックアップしません  エラー=", 0))
        << set1[1];
    // The next set still runs.
    EXPECT_EQ("b", ReadFile("bk2/here/b.txt"));
    EXPECT_TRUE(Has(Log(), "バックアップセット 2 ... バックアップ完了"));
}

// Linux only from here: links, signals and the after-command's start.

TEST_F(Backup, TheWalkCopiesLinksAsLinksAndANamedLinkAsItsTarget)
{
    if (IsWindows())
        GTEST_SKIP() << "symbolic links are a POSIX matter";
    WriteDated("data/a.txt", "target", BASE_TIME);
    MakeFolder("data/sub");
    ASSERT_EQ(0, symlink("a.txt", HostPath("data/link").c_str()));
    ASSERT_EQ(0, symlink("sub", HostPath("data/dlink").c_str()));
    ASSERT_EQ(0, symlink(HostPath("data/a.txt").c_str(), HostPath("named").c_str()));
    WriteSettings({SetText("data", "bk"), SetText("named", "bk2")});
    EXPECT_EQ(0, Run());

    char target[64] = {};
    ASSERT_GT(readlink(HostPath("bk/data/link").c_str(), target, sizeof(target) - 1), 0);
    EXPECT_STREQ("a.txt", target);
    struct stat st;
    ASSERT_EQ(0, lstat(HostPath("bk/data/dlink").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(0, lstat(HostPath("bk2/named").c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ("target", ReadFile("bk2/named"));
}

TEST_F(Backup, TheAfterCommandIsOpenedOnceAFolderSetHasFinished)
{
    if (IsWindows())
        GTEST_SKIP() << "the marker script is a POSIX shell script";
    WriteDated("data/a.txt", "a", BASE_TIME);
    const std::string script = HostPath("after.sh");
    WriteFile("after.sh", "#!/bin/sh\necho done > '" + HostPath("marker") + "'\n");
    ASSERT_EQ(0, chmod(script.c_str(), 0755));
    WriteSettings({SetText("data", "bk", "バックアップ後実行=" + script + "\n")});
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(Has(Log(), "バックアップセット 1 ... シェル実行 " + script));
    // The command runs on its own; wait for its mark.
    for (int i = 0; i < 3000 && !Exists("marker"); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ("done\n", ReadFile("marker"));
}

TEST_F(Backup, ASignalFinishesTheFileInHandAndStartsNothingMore)
{
    if (IsWindows())
        GTEST_SKIP() << "signals cancel the POSIX program only";
    const int nFiles = 3000;
    for (int i = 0; i < nFiles; i++)
        WriteDated("data/f" + std::to_string(i), std::string(4096, 'x'), BASE_TIME);
    WriteDated("second/b.txt", "b", BASE_TIME);
    WriteFile("after.sh", "#!/bin/sh\ntouch '" + HostPath("marker") + "'\n");
    ASSERT_EQ(0, chmod(HostPath("after.sh").c_str(), 0755));
    WriteSettings({SetText("data", "bk", "バックアップ後実行=" + HostPath("after.sh") + "\n"), SetText("second", "bk2")});

    pid_t pid = Start();
    // Cancel once the walk is under way: as soon as its first copy is there.
    bool bStarted = false;
    for (int i = 0; i < 6000 && !bStarted; i++) {
        bStarted = !ListTree("bk/data").empty();
        if (!bStarted)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(bStarted);
    kill(pid, SIGTERM);
    EXPECT_EQ(2, Wait(pid));

    Lines log = Log();
    const size_t nCopied = ListTree("bk/data").size();
    // Every copy that was begun was finished, and the walk stopped short.
    EXPECT_EQ(nCopied, Count(log, "  コピーします  "));
    EXPECT_LT(nCopied, static_cast<size_t>(nFiles));
    for (const std::string& rel : ListTree("bk/data"))
        EXPECT_EQ(4096u, ReadFile("bk/data/" + rel).size()) << rel;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("  フォルダのコピー終了 " + ProgramPath("data") + "/*.*", log[log.size() - 2]);
    EXPECT_EQ("バックアップセット 1 ... バックアップ完了", log.back());
    EXPECT_EQ(0u, Count(log, "バックアップセット 2"));
    EXPECT_EQ(0u, Count(log, "バックアップセット 1 ... シェル実行"));
    EXPECT_FALSE(Exists("bk2"));
}

}  // namespace
