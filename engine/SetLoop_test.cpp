#include "engine/SetLoop.h"

#include "support/EngineFixture.h"

namespace {

typedef FakeFileServices Fake;

const bool WINDOWS_FORMS = PATH_SEP == '\\';

class SetLoopTest : public EngineTest {
protected:
    SetLoopTest() { m_fake.AddFolder(WinPath("D:/bk")); }
};

// Roots go straight into the destination folder, which is itself the type-2
// item; such a set has no completion line and no after-command.
TEST_F(SetLoopTest, DriveAndShareRootsLandInTheDestinationFolderItself)
{
    if (!WINDOWS_FORMS)
        GTEST_SKIP() << "drive roots and shares exist on Windows only";
    m_fake.AddFile(WinPath("C:/a.txt"), 100, "drive");
    m_fake.AddFile(WinPath("//srv/pub/b.txt"), 100, "share");
    m_fake.AddFile(WinPath("D:/bk1/old.txt"), 50, "old1");
    m_fake.AddFile(WinPath("D:/bk2/old.txt"), 50, "old2");
    // Roots have no status of their own.
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("C:/"), FAKE_ERROR_NOT_FOUND);
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("//srv/pub"), FAKE_ERROR_NOT_FOUND);
    AddSet(1, WinPath("C:/"), WinPath("D:/bk1/"), "after")->nTopGenerations = 1;
    AddSet(2, WinPath("//srv/pub"), WinPath("D:/bk2/"), "after")->nTopGenerations = 1;

    RunBackupSets();

    EXPECT_EQ("drive", m_fake.Content(WinPath("D:/bk1/a.txt")));
    EXPECT_EQ("old1", m_fake.Content(WinPath("D:/1_bk1/old.txt")));
    EXPECT_EQ("share", m_fake.Content(WinPath("D:/bk2/b.txt")));
    EXPECT_EQ("old2", m_fake.Content(WinPath("D:/1_bk2/old.txt")));
    const Lines lines = LogLines();
    EXPECT_EQ(1u, CountPrefix(lines, "バックアップ元はルート(" + WinPath("C:/") + ")でした"));
    EXPECT_EQ(1u, CountPrefix(lines, "バックアップ元は共有エントリ(" + WinPath("//srv/pub") + ")でした"));
    EXPECT_EQ(0u, CountPrefix(lines, "バックアップセット 1 ... バックアップ完了"));
    EXPECT_TRUE(m_fake.m_shellOpens.empty());
    EXPECT_EQ(0, g_nRunFailures);
}

// A subfolder that cannot be listed, whose listing breaks off, or that
// cannot even be asked for, or a file that cannot be queried, leaves data
// out and is reported; what vanished since its folder was listed leaves
// nothing out.
TEST_F(SetLoopTest, UnreadableEntriesAreReportedAndTheWalkGoesOn)
{
    m_fake.AddFile(WinPath("C:/src/a/x.txt"), 100, "x");
    m_fake.AddFile(WinPath("C:/src/b.txt"), 100, "b");
    m_fake.AddFolder(WinPath("C:/src/c"));
    m_fake.AddFile(WinPath("C:/src/d.txt"), 100, "d");
    m_fake.AddFile(WinPath("C:/src/e.txt"), 100, "e");
    m_fake.AddFile(WinPath("C:/src/f/x.txt"), 100, "x");
    m_fake.AddFile(WinPath("C:/src/g/x.txt"), 100, "x");
    m_fake.Fail(Fake::FAIL_LIST, WinPath("C:/src/a"), FAKE_ERROR_ACCESS_DENIED);
    m_fake.Fail(Fake::FAIL_LIST, WinPath("C:/src/c"), FAKE_ERROR_NOT_FOUND);
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("C:/src/c"), FAKE_ERROR_NOT_FOUND);
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("C:/src/d.txt"), FAKE_ERROR_ACCESS_DENIED);
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("C:/src/e.txt"), FAKE_ERROR_NOT_FOUND);
    m_fake.Fail(Fake::FAIL_LISTING, WinPath("C:/src/f"), FAKE_ERROR_ACCESS_DENIED);
    m_fake.Fail(Fake::FAIL_LIST, WinPath("C:/src/g"), FAKE_ERROR_ACCESS_DENIED);
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("C:/src/g"), FAKE_ERROR_ACCESS_DENIED);
    AddSet(1, WinPath("C:/src"), WinPath("D:/bk/"));

    RunBackupSets();

    const Lines lines = LogLines();
    EXPECT_EQ(3u, CountPrefix(lines, "  フォルダを読めないのでコピーしません  "));
    for (const char* pszFolder : {"C:/src/a/", "C:/src/f/", "C:/src/g/"})
        EXPECT_EQ(1u, CountPrefix(lines, "  フォルダを読めないのでコピーしません  " + WinPath(pszFolder) + "  エラー="));
    EXPECT_EQ(1u, CountPrefix(lines, "  ファイルを読めないのでコピーしません  "));
    EXPECT_EQ(1u, CountPrefix(lines, "  ファイルを読めないのでコピーしません  " + WinPath("C:/src/d.txt") + "  エラー="));
    EXPECT_EQ("b", m_fake.Content(WinPath("D:/bk/src/b.txt")));
    EXPECT_NE(0, g_nRunFailures);
}

// Entries are handled in the order of the listing, each subfolder to its
// end before the next entry.
TEST_F(SetLoopTest, TheWalkFollowsTheListingDepthFirst)
{
    for (const char* pszRel : {"a.txt", "b/c.txt", "b/d/e.txt", "b/f.txt", "g.txt"})
        m_fake.AddFile(WinPath("C:/src/") + NativePath(pszRel), 100, "x");
    AddSet(1, WinPath("C:/src"), WinPath("D:/bk/"));

    RunBackupSets();

    Lines expected;
    for (const char* pszRel : {"a.txt", "b/c.txt", "b/d/e.txt", "b/f.txt", "g.txt"})
        expected.push_back(WinPath("D:/bk/src/") + NativePath(pszRel));
    EXPECT_EQ(expected, m_fake.m_copies);
}

// Onto a folder that takes names differing only in case for one, the later
// of two such names in the listing is left out and reported with the
// earlier, file or folder alike; names the set excludes clash with nothing.
TEST_F(SetLoopTest, NamesThatDifferOnlyInCaseNeverShareACopy)
{
    if (WINDOWS_FORMS)
        GTEST_SKIP() << "the test's own folders cannot hold both names there; the end-to-end test has them";
    for (const char* pszRel : {"Docs/a.txt", "docs", "report.txt", "x.TMP", "x.tmp", "Ärger.txt", "ärger.txt"})
        m_fake.AddFile("/C/src/" + std::string(pszRel), 100, pszRel);
    m_fake.m_foldingCase = "/D/bk";
    BackupSet* pSet = AddSet(1, "/C/src", "/D/bk/");
    pSet->pszExcludedExt[0] = new char[4];
    snprintf(pSet->pszExcludedExt[0], 4, "tmp");
    pSet->nExcludedExtCount = 1;

    RunBackupSets();

    EXPECT_EQ((Lines{"/D/bk/src/Docs/a.txt", "/D/bk/src/report.txt", "/D/bk/src/Ärger.txt"}), m_fake.m_copies);
    const Lines lines = LogLines();
    const std::string clash = "  大文字と小文字だけが違う名前なのでコピーしません  /C/src/";
    EXPECT_EQ(2u, CountPrefix(lines, "  大文字と小文字だけが違う名前"));
    EXPECT_EQ(1u, CountPrefix(lines, clash + "docs  先の名前=Docs"));
    EXPECT_EQ(1u, CountPrefix(lines, clash + "ärger.txt  先の名前=Ärger.txt"));
    EXPECT_NE(0, g_nRunFailures);
}

// Nothing at the destination is rotated or made for a source that cannot
// be read; the run goes on and is counted as failed.
TEST_F(SetLoopTest, UnreadableSourcesCostNoOlderCopies)
{
    const struct {
        const char* pszSource;
        Fake::FaultKind nKind;
        DWORD dwError;
        bool bWindowsOnly;
    } cases[] = {
        {"C:/data", Fake::FAIL_LIST, FAKE_ERROR_ACCESS_DENIED, false},
        {"C:/data/a.txt", Fake::FAIL_READ, FAKE_ERROR_ACCESS_DENIED, false},
        {"C:/damaged", Fake::FAIL_STATUS, FAKE_ERROR_ACCESS_DENIED, false},  // a status error other than "not there"
        {"E:/", Fake::FAIL_DRIVE, ERROR_NOT_READY, true},               // an absent drive
        {"//srv/pub", Fake::FAIL_DRIVE, FAKE_ERROR_NOT_FOUND, true},    // an unreachable share
    };
    m_fake.AddFile(WinPath("C:/data/a.txt"), 100, "a");
    int n = 0;
    for (const auto& c : cases) {
        if (c.bWindowsOnly && !WINDOWS_FORMS)
            continue;
        const std::string dest = WinPath("D:/bk" + std::to_string(++n) + "/");
        m_fake.AddFile(dest + "a.txt", 50, "older");
        m_fake.AddFile(dest + "data" + PATH_SEP_STR "a.txt", 50, "older");
        m_fake.Fail(c.nKind, WinPath(c.pszSource), c.dwError);
        AddSet(n, WinPath(c.pszSource), dest, "after")->nTopGenerations = 3;
    }
    const Lines before = m_fake.AllPaths();

    RunBackupSets();

    EXPECT_EQ(before, m_fake.AllPaths());
    EXPECT_EQ(Lines(), m_fake.m_copies);
    EXPECT_TRUE(m_fake.m_shellOpens.empty());
    const Lines lines = LogLines();
    for (const auto& c : cases) {
        if (!c.bWindowsOnly || WINDOWS_FORMS) {
            EXPECT_EQ(1u, CountPrefix(lines, "バックアップ元(" + WinPath(c.pszSource) + ")を読めないのでバックアップしません  エラー="))
                << c.pszSource;
        }
    }
    EXPECT_EQ(0u, CountPrefix(lines, "  フォルダのコピー開始"));
    EXPECT_NE(0, g_nRunFailures);
}

// A type-2 set makes its new copy beside the item and rotates only a
// complete one; what a killed run left of a new copy never reaches it.
TEST_F(SetLoopTest, TypeTwoReplacesTheItemOnlyWithACompleteCopy)
{
    const struct {
        const char* pszWhat;
        bool bCancel;
        Fake::FaultKind nFault;
        const char* pszFault;  // where it strikes, or null
        const char* pszItem;   // content of D:/bk/data/a.txt afterwards
        const char* pszFirst;  // of D:/bk/1_data/a.txt
    } cases[] = {
        {"complete", false, Fake::FAIL_DRIVE, nullptr, "new", "older"},
        {"cancelled", true, Fake::FAIL_DRIVE, nullptr, "older", "oldest"},
        // The new copy is empty: no more complete than one that lost a file.
        {"the listing breaks off", false, Fake::FAIL_LISTING, "C:/data", "older", "oldest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        Fake fake;
        ScopedFileServices use(fake);
        RestartRun();
        fake.AddFile(WinPath("C:/data/a.txt"), 100, "new");
        fake.AddFile(WinPath("C:/data/b.txt"), 100, "new");
        fake.AddFile(WinPath("D:/bk/data/a.txt"), 50, "older");
        fake.AddFile(WinPath("D:/bk/1_data/a.txt"), 40, "oldest");
        fake.AddFile(WinPath("D:/bk/2_data/a.txt"), 30, "dropped");
        fake.AddFile(WinPath("D:/bk/.data.tandemix-new/gone.txt"), 30, "deleted from the source since");
        if (c.bCancel)
            fake.m_cancelWhenCopying = WinPath("C:/data/a.txt");
        if (c.pszFault != nullptr)
            fake.Fail(c.nFault, WinPath(c.pszFault), FAKE_ERROR_ACCESS_DENIED);
        AddSet(1, WinPath("C:/data"), WinPath("D:/bk/"), "after")->nTopGenerations = 2;

        RunBackupSets();

        EXPECT_EQ(c.pszItem, fake.Content(WinPath("D:/bk/data/a.txt")));
        EXPECT_EQ(c.pszFirst, fake.Content(WinPath("D:/bk/1_data/a.txt")));
        for (const std::string& path : fake.AllPaths())
            EXPECT_EQ(std::string::npos, path.find("gone.txt")) << path;
        EXPECT_EQ(c.bCancel || c.pszFault != nullptr, g_nRunFailures != 0 || g_bCancel != 0);
        const Lines lines = LogLines();
        EXPECT_EQ(1u, CountPrefix(lines, "バックアップセット 1 ... バックアップ完了"));
        EXPECT_EQ(c.bCancel ? 1u : 0u, CountPrefix(lines, "バックアップセット 1 ... バックアップを中止しました"));
        EXPECT_EQ(!c.bCancel ? Lines{"after"} : Lines(), fake.m_shellOpens);
    }
}

}  // namespace
