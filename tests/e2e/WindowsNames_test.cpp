// Names of every script, paths beyond the classic limit, and copies that
// fail or are cut short: what a Windows program can easily lose or misreport.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "e2e/Harness.h"

namespace {

class Names : public Backup {
protected:
    void WriteOneSet(int nLevel) const { WriteSettings({Set("data", "bk")}, "", nLevel); }
    size_t CountTemporaries() const { return CountFiles("bk/data", ".tandemix-"); }
};

// The Windows log is Shift-JIS: what it cannot spell shows as '?'.  At
// level 1 the shell copies, the other tests cover the silent copy.
TEST_F(Names, EveryNameIsBackedUpUnderItsOwnName)
{
    const struct {
        const char* pszName;
        const char* pszLogged;  // in the Windows log
    } cases[] = {
        {"한국어.txt", "???.txt"},
        {"emoji😀.txt", "emoji?.txt"},
        {"café.txt", "caf?.txt"},
        {"日本語.txt", "日本語.txt"},
    };
    for (const auto& c : cases)
        WriteFile(std::string("data/") + c.pszName, c.pszName, BASE_TIME);
    WriteOneSet(1);
    EXPECT_EQ(0, Run());
    for (const auto& c : cases) {
        EXPECT_EQ(c.pszName, ReadFile(std::string("bk/data/") + c.pszName));
        EXPECT_EQ(1u, CountPrefix(Log(), std::string("  ファイルを発見 ") + (IsWindows() ? c.pszLogged : c.pszName))) << c.pszName;
    }
    EXPECT_EQ(4u, CountPrefix(Log(), "  コピーします  "));
}

// Windows takes names that differ only in case for one: the later of two
// such names is left out and reported on every run, and neither copy
// replaces the other, nor churns a generation, run after run.
TEST_F(Names, NamesThatDifferOnlyInCaseShareNoCopy)
{
    if (!IsWindows())
        GTEST_SKIP() << "needs a destination that ignores case: Linux has one only on a FAT or case-folding image";
    WriteFile("data/Report.txt", "upper", BASE_TIME);
    WriteFile("data/report.txt", "lower!", BASE_TIME);
    WriteSettings({Set("data", "bk", "世代数=2\n世代管理タイプ=1\n")});
    for (int run = 1; run <= 2; run++) {
        EXPECT_EQ(1, Run()) << "run " << run;
        EXPECT_EQ(1u, CountPrefix(Log(), "  大文字と小文字だけが違う名前なのでコピーしません  ")) << "run " << run;
        EXPECT_EQ(run == 1 ? 1u : 0u, CountPrefix(Log(), "  コピーします  ")) << "run " << run;
    }
    const Lines copies = ListTree("bk/data");
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(ReadFile("data/" + copies[0]), ReadFile("bk/data/" + copies[0]));
}

TEST_F(Names, APathOfThreeHundredCharactersIsBackedUp)
{
    const std::string rel = "data/" + std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c') + ".txt";
    WriteFile(rel, "deep", BASE_TIME);
    WriteOneSet(0);
    EXPECT_EQ(0, Run());
    ASSERT_GT(ProgramPath("bk/" + rel.substr(5)).size(), 300u);
    EXPECT_EQ("deep", ReadFile("bk/" + rel));
    struct stat st;
    ASSERT_EQ(0, stat(HostPath("bk/" + rel).c_str(), &st));
    EXPECT_EQ(BASE_TIME, st.st_mtime);
}

// A copy that fails is logged with its error and the run goes on: it is no
// cancel, with or without the shell's own progress (levels 0 and 1).
TEST_F(Names, AFailedCopyIsReportedAndTheRunGoesOn)
{
    for (int nLevel : {0, 1}) {
        SCOPED_TRACE(nLevel);
        // A folder holds b.txt's name: its copy fails at the final rename.
        // A file in the place of the folder sub is an older state of the
        // source: it gives way, and sub is copied.
        WriteFile("bk/data/b.txt/in the way", "");
        WriteFile("bk/data/sub", "");
        const time_t later = time(nullptr) + 100000;  // newer than those
        for (const char* pszName : {"a.txt", "b.txt", "c.txt", "sub/d.txt"})
            WriteFile(std::string("data/") + pszName, pszName, later);
        WriteOneSet(nLevel);
        EXPECT_EQ(1, Run());
        EXPECT_EQ("a.txt" "c.txt" "sub/d.txt",
                  ReadFile("bk/data/a.txt") + ReadFile("bk/data/c.txt") + ReadFile("bk/data/sub/d.txt"));
        EXPECT_EQ(1u, CountPrefix(Log(), "SHFileOperation()でエラーが返りました  code="));
        EXPECT_EQ(0u, CountTemporaries());
        EXPECT_EQ("バックアップセット 1 ... バックアップ完了", Log().back());
        std::filesystem::remove_all(HostPath("bk"));
    }
}

// Killed in the middle of a copy, the program leaves no partial file under
// the real name; the next run copies it and leaves no temporary behind.
TEST_F(Names, AKilledCopyLeavesNoPartialFileAndTheNextRunTidiesUp)
{
    if (!IsWindows())
        GTEST_SKIP() << "the POSIX copy's own tests cover its temporaries";
    const off_t nSize = 256 << 20;
    WriteFile("data/big.bin", "", BASE_TIME);
    ASSERT_EQ(0, truncate(HostPath("data/big.bin").c_str(), nSize));
    WriteOneSet(0);

    const pid_t pid = Start();
    const bool bCopying = WaitUntil([&] { return CountTemporaries() > 0; });
    kill(pid, SIGKILL);
    Wait(pid);
    ASSERT_TRUE(bCopying) << "the copy was never seen under way";
    EXPECT_FALSE(Exists("bk/data/big.bin"));

    EXPECT_EQ(0, Run());
    struct stat st;
    ASSERT_EQ(0, stat(HostPath("bk/data/big.bin").c_str(), &st));
    EXPECT_EQ(nSize, st.st_size);
    EXPECT_EQ(0u, CountTemporaries());
}

}  // namespace
