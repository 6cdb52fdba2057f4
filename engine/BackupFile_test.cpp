#include "engine/BackupFile.h"

#include "support/EngineFixture.h"

namespace {

class BackupFileTest : public EngineTest {
protected:
    BackupFileTest() : m_pSet(AddSet(1, A("C:/src"), A("D:/bk/")))
    {
        m_fake.AddFile(A("C:/src/sub/a.txt"), 2000, "new");
        m_fake.AddFolder(A("D:/bk/sub"));
    }

    short Run(const char* pszRel = "sub/a.txt") { return BackupFile(m_src.c_str(), m_dst.c_str(), P(pszRel).c_str(), m_pSet); }

    BackupSet* m_pSet;
    std::string m_src = A("C:/src/");
    std::string m_dst = A("D:/bk/");
};

TEST_F(BackupFileTest, CopiesAMissingFileWithTheShellFlags)
{
    for (short nShow : {0, 1}) {
        m_pConfig->m_bShowShellProgress = nShow;
        m_fake.m_copyFlags.clear();
        m_fake.RemoveFile(A("D:/bk/sub/a.txt").c_str());
        EXPECT_EQ(0, Run());
        EXPECT_EQ("new", m_fake.Content(A("D:/bk/sub/a.txt")));
        EXPECT_EQ((std::vector<UINT>{nShow != 0 ? 0x210u : 0x214u}), m_fake.m_copyFlags);
    }
    EXPECT_EQ(0, g_bRunFailed);
    EXPECT_EQ((std::vector<std::string>{"  コピーします  " + A("C:/src/sub/a.txt") + " => " + A("D:/bk/sub/a.txt"),
                                        "  コピーします  " + A("C:/src/sub/a.txt") + " => " + A("D:/bk/sub/a.txt")}),
              LogLines());
}

TEST_F(BackupFileTest, AMissingSourceOrAnExcludedExtensionLeavesNoTrace)
{
    AddExcludedExt(m_pSet, "TXT");
    EXPECT_EQ(0, Run("sub/a.txt"));
    EXPECT_EQ(0, Run("sub/gone.dat"));
    EXPECT_TRUE(m_fake.m_events.empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(0, g_bRunFailed);
}

TEST_F(BackupFileTest, ANotReadyDestinationIsAskedAboutUntilTheUserGivesUp)
{
    m_fake.FailStatus(A("D:/bk/sub/a.txt"), ERROR_NOT_READY);
    m_fake.QueueMessageBoxAnswer(IDRETRY);
    m_fake.QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(0, Run());

    ASSERT_EQ(2u, m_fake.m_messageBoxes.size());
    std::string text = std::string("ドライブ ") + A("D:/")[0] + " の準備ができていません。";
    for (const auto& box : m_fake.m_messageBoxes) {
        EXPECT_EQ(text, box.text);
        EXPECT_EQ("Tandemix", box.caption);
        EXPECT_EQ(0x35u, box.nStyle);
    }
    EXPECT_TRUE(m_fake.m_copied.empty());
    EXPECT_EQ((std::vector<std::string>{"メディアの準備ができていないのでバックアップしません"}), LogLines());
    EXPECT_EQ(1, g_bRunFailed);
}

TEST_F(BackupFileTest, RetryCopiesOnceTheMediumIsBack)
{
    m_fake.FailStatus(A("D:/bk/sub/a.txt"), ERROR_NOT_READY, 1);
    m_fake.QueueMessageBoxAnswer(IDRETRY);
    EXPECT_EQ(0, Run());
    EXPECT_EQ(1u, m_fake.m_messageBoxes.size());
    EXPECT_EQ("new", m_fake.Content(A("D:/bk/sub/a.txt")));
}

TEST_F(BackupFileTest, AFailedCopyIsLoggedWithItsCodeAndTheRunGoesOn)
{
    m_fake.FailCopy(A("D:/bk/sub/a.txt"), FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Run());
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("SHFileOperation()でエラーが返りました  code=5", lines[1]);
    EXPECT_EQ(1, g_bRunFailed);
    EXPECT_EQ(0, g_bRunAborted);
}

TEST_F(BackupFileTest, ACopyTheUserAbortedStopsTheRun)
{
    m_fake.AbortCopy(A("D:/bk/sub/a.txt"));
    EXPECT_EQ(1, Run());
    EXPECT_EQ(1, g_bRunAborted);
}

TEST_F(BackupFileTest, ACancelAlreadySetStillCopiesTheFileInHandButStops)
{
    g_bCancel = 1;
    EXPECT_EQ(1, Run());
    EXPECT_EQ("new", m_fake.Content(A("D:/bk/sub/a.txt")));
    AddExcludedExt(m_pSet, "txt");
    EXPECT_EQ(1, Run());
}

TEST_F(BackupFileTest, AFailedRotationLeavesTheCopyAndItsGenerationsAlone)
{
    m_pSet->nFileGenerations = 2;
    m_fake.AddFile(A("D:/bk/sub/a.txt"), 1000, "old");
    m_fake.AddFile(A("D:/bk/sub/1_a.txt"), 500, "g1");
    m_fake.FailRename(A("D:/bk/sub/a.txt"), FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Run());
    EXPECT_EQ("old", m_fake.Content(A("D:/bk/sub/a.txt")));
    // Wherever the rotation left it, the older copy is still there.
    EXPECT_TRUE(m_fake.Content(A("D:/bk/sub/1_a.txt")) == "g1" || m_fake.Content(A("D:/bk/sub/2_a.txt")) == "g1");
    EXPECT_TRUE(m_fake.m_copied.empty());
    EXPECT_TRUE(HasLine(LogLines(), "  世代を作れなかったのでコピーしません  " + A("D:/bk/sub/a.txt")));
    EXPECT_EQ(1, g_bRunFailed);
}

TEST_F(BackupFileTest, PathsThatDoNotFitAreReportedAndNeverCut)
{
    // 1023 bytes of folder leave no room for the name.
    std::string longFolder = A("C:/") + std::string(1020, 'x') + PATH_SEP_STR;
    m_fake.AddFile(longFolder + "a.txt", 2000, "x");
    EXPECT_EQ(0, BackupFile(longFolder.c_str(), m_dst.c_str(), "a.txt", m_pSet));
    // Source and destination fit, the copy line does not: nothing is moved.
    std::string name = std::string(500, 'n');
    std::string srcFolder = A("C:/s/");
    std::string dstFolder = A("D:/d/");
    m_fake.AddFile(srcFolder + name, 2000, "new");
    m_fake.AddFile(dstFolder + name, 1000, "old");
    m_pSet->nFileGenerations = 3;
    EXPECT_EQ(0, BackupFile(srcFolder.c_str(), dstFolder.c_str(), name.c_str(), m_pSet));

    EXPECT_TRUE(m_fake.m_events.empty());
    EXPECT_EQ("old", m_fake.Content(dstFolder + name));
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ(2u, CountPrefix(lines, "  パスが長すぎるのでコピーしません  "));
    EXPECT_EQ(1u, CountPrefix(lines, "  パスが長すぎるのでコピーしません  " + longFolder.substr(0, 100)));
    EXPECT_EQ(1u, CountPrefix(lines, "  パスが長すぎるのでコピーしません  " + srcFolder + name));
    for (const std::string& line : lines)
        EXPECT_LT(line.size(), 1024u);
    EXPECT_EQ(1, g_bRunFailed);
}

}  // namespace
