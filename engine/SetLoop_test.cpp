#include "engine/SetLoop.h"

#include "support/EngineFixture.h"

namespace {

typedef std::vector<std::string> Lines;

const bool WINDOWS_FORMS = PATH_SEP == '\\';

class SetLoopTest : public EngineTest {
protected:
    SetLoopTest() { m_fake.AddFolder(A("D:/bk")); }

    // The lines that open and close sets.
    Lines SetLines()
    {
        Lines sets;
        for (const std::string& line : LogLines()) {
            if (line.rfind("バックアップセット", 0) == 0)
                sets.push_back(line);
        }
        return sets;
    }

    static void SetAfterCommand(BackupSet* pSet, const char* pszCommand)
    {
        snprintf(pSet->szAfterCommand, sizeof(pSet->szAfterCommand), "%s", pszCommand);
    }
};

struct KindCase {
    const char* pszSource;
    const char* pszFile;      // a file in the source
    const char* pszCopy;      // where it lands
    const char* pszItem;      // the type-2 item that is rotated
    const char* pszKindLine;  // the detail line naming the kind (its start)
    bool bCompletes;          // completion line and after-command
    bool bWindowsOnly;        // drive roots and shares
};

class SourceKindTest : public SetLoopTest, public testing::WithParamInterface<KindCase> {};

TEST_P(SourceKindTest, LandsWhereItBelongs)
{
    const KindCase& c = GetParam();
    if (c.bWindowsOnly && !WINDOWS_FORMS)
        GTEST_SKIP() << "drive roots and shares exist on Windows only";
    m_fake.AddFile(A(c.pszFile), 100, "a");
    if (c.bWindowsOnly)
        m_fake.FailStatus(A(c.pszSource), FAKE_ERROR_NOT_FOUND);  // roots have no status of their own
    const std::string item = A(c.pszItem);
    if (!m_fake.IsFolder(item))
        m_fake.AddFile(item, 50, "previous");
    BackupSet* pSet = AddSet(1, A(c.pszSource), A("D:/bk/"));
    pSet->nTopGenerations = 1;
    SetAfterCommand(pSet, "after");

    RunBackupSets();

    EXPECT_EQ("a", m_fake.Content(A(c.pszCopy)));
    const size_t nSep = item.find_last_of(PATH_SEP);
    const std::string generation = item.substr(0, nSep + 1) + "1_" + item.substr(nSep + 1);
    EXPECT_EQ((std::vector<FakeFileServices::FromTo>{{item, generation}}), m_fake.m_renamed);
    Lines lines = LogLines();
    EXPECT_EQ(1u, CountPrefix(lines, c.pszKindLine));
    EXPECT_EQ(c.bCompletes ? 1u : 0u, CountPrefix(lines, "バックアップセット 1 ... バックアップ完了"));
    EXPECT_EQ(c.bCompletes ? Lines{"after"} : Lines{}, m_fake.m_shellOpens);
    EXPECT_EQ(0, g_bRunFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SourceKindTest,
    testing::Values(KindCase{"C:/data", "C:/data/sub/a.txt", "D:/bk/data/sub/a.txt", "D:/bk/data",
                             "バックアップ元はフォルダでした attr=10", true, false},
                    KindCase{"C:/data/", "C:/data/a.txt", "D:/bk/data/a.txt", "D:/bk/data",
                             "バックアップ元はフォルダでした attr=10", true, false},
                    KindCase{"C:/data/a.txt", "C:/data/a.txt", "D:/bk/a.txt", "D:/bk/a.txt",
                             "バックアップ元はファイルでした attr=", true, false},
                    KindCase{"C:/", "C:/a.txt", "D:/bk/a.txt", "D:/bk", "バックアップ元はルート(", false, true},
                    KindCase{"//srv/pub", "//srv/pub/a.txt", "D:/bk/a.txt", "D:/bk", "バックアップ元は共有エントリ(",
                             false, true}));

TEST_F(SetLoopTest, RunsTheSetsThatAreThereUnderTheirOwnNumbers)
{
    m_fake.AddFile(A("C:/one/a.txt"), 100, "1");
    m_fake.AddFile(A("C:/three/a.txt"), 100, "3");
    AddSet(1, A("C:/one"), A("D:/bk/"));
    AddSet(3, A("C:/three"), A("D:/bk/"));
    m_pConfig->m_bSetRefused[1] = 1;  // set 2's destination did not fit
    m_pConfig->m_nSetCount = 300;     // more than the table holds

    RunBackupSets();

    EXPECT_EQ((Lines{"バックアップセット 1 ... バックアップ開始", "バックアップセット 1 ... バックアップ完了",
                     "バックアップセット 2 ... コピー先が長すぎるのでバックアップしません",
                     "バックアップセット 3 ... バックアップ開始", "バックアップセット 3 ... バックアップ完了"}),
              SetLines());
    EXPECT_EQ("3", m_fake.Content(A("D:/bk/three/a.txt")));
    EXPECT_EQ(1, g_bRunFailed);
}

TEST_F(SetLoopTest, NoSetsNoLines)
{
    AddSet(1, A("C:/one"), A("D:/bk/"));
    m_pConfig->m_nSetCount = 0;
    RunBackupSets();
    EXPECT_TRUE(LogLines().empty());
}

struct UnreadableCase {
    const char* pszName;
    const char* pszSource;
    void (*pfnBreak)(FakeFileServices& fake, const std::string& source);
    const char* pszLine;  // what the result line says after the source
    bool bWindowsOnly;
};

class UnreadableSourceTest : public SetLoopTest, public testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableSourceTest, CostsNoOlderCopiesAndFailsTheRun)
{
    const UnreadableCase& c = GetParam();
    if (c.bWindowsOnly && !WINDOWS_FORMS)
        GTEST_SKIP() << "drive roots and shares exist on Windows only";
    m_fake.AddFile(A("C:/data/a.txt"), 100, "a");
    m_fake.AddFile(A("D:/bk/data/a.txt"), 50, "older");
    m_fake.AddFile(A("D:/bk/a.txt"), 50, "older");
    m_fake.AddFile(A("D:/bk/gone"), 50, "older");
    c.pfnBreak(m_fake, A(c.pszSource));
    const Lines before = m_fake.AllPaths();
    BackupSet* pSet = AddSet(1, A(c.pszSource), A("D:/bk/"));
    pSet->nTopGenerations = 3;
    SetAfterCommand(pSet, "after");

    RunBackupSets();

    EXPECT_EQ(before, m_fake.AllPaths());
    EXPECT_TRUE(m_fake.m_events.empty());
    EXPECT_TRUE(m_fake.m_shellOpens.empty());
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("バックアップセット 1 ... バックアップ開始", lines.front());
    EXPECT_EQ(0u, lines.back().rfind("バックアップ元(" + A(c.pszSource) + ")" + c.pszLine, 0)) << lines.back();
    EXPECT_EQ(0u, CountPrefix(lines, "バックアップセット 1 ... バックアップ完了"));
    EXPECT_EQ(1, g_bRunFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, UnreadableSourceTest,
    testing::Values(
        UnreadableCase{"UnlistableFolder", "C:/data",
                       [](FakeFileServices& fake, const std::string& source) {
                           fake.FailList(source, FAKE_ERROR_ACCESS_DENIED);
                       },
                       "を読めないのでバックアップしません  エラー=", false},
        UnreadableCase{"UnreadableFile", "C:/data/a.txt",
                       [](FakeFileServices& fake, const std::string& source) {
                           fake.FailRead(source, FAKE_ERROR_ACCESS_DENIED);
                       },
                       "を読めないのでバックアップしません  エラー=", false},
        UnreadableCase{"Missing", "C:/gone", [](FakeFileServices&, const std::string&) {},
                       "が見つからないのでバックアップしません  エラー=", false},
        UnreadableCase{"AbsentDrive", "E:/",
                       [](FakeFileServices& fake, const std::string& source) {
                           fake.FailDrive(source, ERROR_NOT_READY);
                       },
                       "を読めないのでバックアップしません  エラー=", true},
        UnreadableCase{"UnreachableShare", "//srv/pub",
                       [](FakeFileServices& fake, const std::string& source) {
                           fake.FailDrive(source, FAKE_ERROR_NOT_FOUND);
                       },
                       "を読めないのでバックアップしません  エラー=", true}),
    [](const testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.pszName); });

TEST_F(SetLoopTest, AFailedTypeTwoRotationLeavesTheSetUncopied)
{
    m_fake.AddFile(A("C:/data/a.txt"), 100, "new");
    m_fake.AddFile(A("D:/bk/data/a.txt"), 50, "older");
    m_fake.FailRename(A("D:/bk/data"), FAKE_ERROR_ACCESS_DENIED);
    BackupSet* pSet = AddSet(1, A("C:/data"), A("D:/bk/"));
    pSet->nTopGenerations = 2;
    SetAfterCommand(pSet, "after");

    RunBackupSets();

    EXPECT_EQ("older", m_fake.Content(A("D:/bk/data/a.txt")));
    EXPECT_TRUE(m_fake.m_copied.empty());
    EXPECT_TRUE(m_fake.m_shellOpens.empty());
    Lines lines = LogLines();
    EXPECT_TRUE(HasLine(lines, "バックアップセット 1 ... 世代を作れなかったのでバックアップしません"));
    EXPECT_EQ(0u, CountPrefix(lines, "バックアップセット 1 ... バックアップ完了"));
    EXPECT_EQ(1, g_bRunFailed);
}

TEST_F(SetLoopTest, ACancelFinishesTheSetInHandAndStartsNoOther)
{
    m_fake.AddFile(A("C:/one/a.txt"), 100, "1");
    m_fake.AddFile(A("C:/two/a.txt"), 100, "2");
    m_fake.AddFile(A("C:/two/b.txt"), 100, "2");
    m_fake.AddFile(A("C:/three/a.txt"), 100, "3");
    for (int n = 1; n <= 3; n++)
        SetAfterCommand(AddSet(n, A(n == 1 ? "C:/one" : n == 2 ? "C:/two" : "C:/three"), A("D:/bk/")), "after");
    m_fake.m_cancelWhenCopying = A("C:/two/a.txt");

    RunBackupSets();

    EXPECT_EQ((Lines{"after"}), m_fake.m_shellOpens);  // set 1's only
    EXPECT_FALSE(m_fake.IsFile(A("D:/bk/two/b.txt")));
    EXPECT_FALSE(m_fake.IsFolder(A("D:/bk/three")));
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("バックアップセット 2 ... バックアップ完了", lines.back());
    EXPECT_EQ(0u, CountPrefix(lines, "バックアップセット 2 ... シェル実行"));
    EXPECT_EQ(0u, CountPrefix(lines, "バックアップセット 3"));
}

TEST_F(SetLoopTest, ACancelWhileNoFileIsInHandStillStartsNoFurtherSet)
{
    m_fake.AddFolder(A("C:/empty"));
    m_fake.AddFile(A("C:/two/a.txt"), 100, "2");
    SetAfterCommand(AddSet(1, A("C:/empty"), A("D:/bk/")), "after");
    AddSet(2, A("C:/two"), A("D:/bk/"));
    // Set 1 has no file that could carry the cancel up as a stop flag.
    m_fake.m_cancelWhenListing = A("C:/empty/");

    RunBackupSets();

    EXPECT_TRUE(m_fake.m_shellOpens.empty());
    EXPECT_FALSE(m_fake.IsFolder(A("D:/bk/two")));
    EXPECT_EQ((Lines{"バックアップセット 1 ... バックアップ開始", "バックアップセット 1 ... バックアップ完了"}), SetLines());
}

TEST_F(SetLoopTest, TheAfterCommandLineNamesItAndFollowsTheCompletion)
{
    m_fake.AddFile(A("C:/one/a.txt"), 100, "1");
    SetAfterCommand(AddSet(1, A("C:/one"), A("D:/bk/")), "notify --done");
    RunBackupSets();
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("バックアップセット 1 ... バックアップ完了", lines[lines.size() - 2]);
    EXPECT_EQ("バックアップセット 1 ... シェル実行 notify --done", lines.back());
    EXPECT_EQ((Lines{"notify --done"}), m_fake.m_shellOpens);
}

TEST_F(SetLoopTest, ASetThatCopiedIsFlushedOneThatDidNotIsNot)
{
    m_fake.AddFile(A("C:/one/a.txt"), 100, "1");
    m_fake.AddFile(A("C:/two/a.txt"), 100, "2");
    m_fake.AddFile(A("D:/bk/two/a.txt"), 100, "2");
    AddSet(1, A("C:/one"), A("D:/bk/"));
    AddSet(2, A("C:/two"), A("D:/bk/"));
    RunBackupSets();
    ASSERT_EQ(1u, m_fake.m_flushed.size());
    EXPECT_EQ(0u, m_fake.m_flushed[0].rfind(A("D:/bk/one")));
}

TEST_F(SetLoopTest, AnUnchangedTreeCostsTwoStatusQueriesPerFileAndNoWrites)
{
    const int nFolders = 30;
    const int nFilesPerFolder = 100;
    for (int f = 0; f < nFolders; f++) {
        for (int i = 0; i < nFilesPerFolder; i++) {
            const std::string rel = "/d" + std::to_string(f) + "/f" + std::to_string(i) + ".txt";
            m_fake.AddFile(A("C:/data") + P(rel), 1000 + i, "x");
            m_fake.AddFile(A("D:/bk/data") + P(rel), 1000 + i, "x");
        }
    }
    BackupSet* pSet = AddSet(1, A("C:/data"), A("D:/bk/"));
    pSet->nFileGenerations = 3;
    m_fake.m_nStatusQueries = 0;
    m_fake.m_nWrites = 0;

    RunBackupSets();

    EXPECT_LE(m_fake.m_nStatusQueries, 2 * nFolders * nFilesPerFolder + 1);
    EXPECT_EQ(0, m_fake.m_nWrites);
    EXPECT_EQ(0u, CountPrefix(LogLines(), "  コピーします"));
}

}  // namespace
