#include "engine/BackupFolder.h"

#include "support/EngineFixture.h"

namespace {

class BackupFolderTest : public EngineTest {
protected:
    BackupFolderTest() : m_pSet(AddSet(1, A("C:/src"), A("D:/bk/")))
    {
        m_fake.AddFile(A("C:/src/a/x.txt"), 100, "x");
        m_fake.AddFile(A("C:/src/b.txt"), 100, "b");
        m_fake.AddFolder(A("C:/src/c"));
        m_fake.AddFolder(A("D:/bk"));
    }

    short Run() { return BackupFolder(m_src.c_str(), nullptr, m_dst.c_str(), m_pSet); }

    std::string Pattern(const std::string& rel) const { return m_src + P(rel) + "*.*"; }
    std::string Copy(const std::string& rel) const
    {
        return "  コピーします  " + m_src + P(rel) + " => " + m_dst + P(rel);
    }

    // After a stop in a/x.txt: the end lines of both levels, nothing more.
    void ExpectStoppedInA()
    {
        std::vector<std::string> lines = LogLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ("  フォルダのコピー終了 " + Pattern("a/"), lines[lines.size() - 2]);
        EXPECT_EQ("  フォルダのコピー終了 " + Pattern(""), lines.back());
        EXPECT_FALSE(m_fake.IsFile(A("D:/bk/b.txt")));
        EXPECT_FALSE(m_fake.IsFolder(A("D:/bk/c")));
    }

    BackupSet* m_pSet;
    std::string m_src = A("C:/src/");
    std::string m_dst = A("D:/bk/");
};

TEST_F(BackupFolderTest, WalksDepthFirstInListingOrderAndMakesFoldersFirst)
{
    EXPECT_EQ(0, Run());
    EXPECT_EQ((std::vector<std::string>{
                  "  フォルダのコピー開始 " + Pattern(""),
                  "  次のフォルダを発見 " + P("a/"),
                  "  フォルダのコピー開始 " + Pattern("a/"),
                  "  ファイルを発見 " + P("a/x.txt"),
                  Copy("a/x.txt"),
                  "  フォルダのコピー終了 " + Pattern("a/"),
                  "  ファイルを発見 b.txt",
                  Copy("b.txt"),
                  "  次のフォルダを発見 " + P("c/"),
                  "  フォルダのコピー開始 " + Pattern("c/"),
                  "  フォルダのコピー終了 " + Pattern("c/"),
                  "  フォルダのコピー終了 " + Pattern(""),
              }),
              LogLines());
    EXPECT_EQ((std::vector<std::string>{"mkdir " + A("D:/bk/a"),
                                        "copy " + A("C:/src/a/x.txt") + " -> " + A("D:/bk/a/x.txt"),
                                        "copy " + A("C:/src/b.txt") + " -> " + A("D:/bk/b.txt"),
                                        "mkdir " + A("D:/bk/c")}),
              m_fake.m_events);
}

TEST_F(BackupFolderTest, AnAbortedCopyStopsEveryLevelAfterIt)
{
    m_fake.AbortCopy(A("C:/src/a/x.txt"));
    EXPECT_EQ(1, Run());
    ExpectStoppedInA();
    EXPECT_EQ(1, g_bRunAborted);
}

TEST_F(BackupFolderTest, ACancelStopsEveryLevelAfterTheFileInHand)
{
    m_fake.m_cancelWhenCopying = A("C:/src/a/x.txt");
    EXPECT_EQ(1, Run());
    ExpectStoppedInA();
    EXPECT_EQ("x", m_fake.Content(A("D:/bk/a/x.txt")));
    EXPECT_EQ(0, g_bRunAborted);
}

TEST_F(BackupFolderTest, AnExcludedFolderIsFoundButNeitherMadeNorWalked)
{
    AddExcludedFolder(m_pSet, "A");
    EXPECT_EQ(0, Run());
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ("  次のフォルダを発見 " + P("a/"), lines[1]);
    EXPECT_EQ("  対象外フォルダ名に指定されたフォルダなのでコピーせず " + Pattern("a/"), lines[2]);
    EXPECT_FALSE(m_fake.IsFolder(A("D:/bk/a")));
    EXPECT_EQ(0u, CountPrefix(lines, "  ファイルを発見 " + P("a/")));
}

TEST_F(BackupFolderTest, AFolderThatCannotBeListedIsReportedOneThatVanishedIsNot)
{
    m_fake.FailList(A("C:/src/a"), FAKE_ERROR_ACCESS_DENIED);
    m_fake.FailList(A("C:/src/c"), FAKE_ERROR_NOT_FOUND);
    m_fake.FailStatus(A("C:/src/c"), FAKE_ERROR_NOT_FOUND);
    EXPECT_EQ(0, Run());
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ(1u, CountPrefix(lines, "  フォルダを読めないのでコピーしません  " + A("C:/src/a/") + "  エラー="));
    EXPECT_EQ(1u, CountPrefix(lines, "  フォルダを読めないのでコピーしません  "));
    // The walk went on past both.
    EXPECT_EQ("b", m_fake.Content(A("D:/bk/b.txt")));
    EXPECT_TRUE(HasLine(lines, "  フォルダのコピー終了 " + Pattern("c/")));
    EXPECT_EQ(1, g_bRunFailed);
}

TEST_F(BackupFolderTest, AnEntryTooLongForItsPathIsReportedAndTheWalkGoesOn)
{
    // Root and relative path leave less room than the deepest folder's
    // lines need.
    std::string deep = std::string(250, 'd') + PATH_SEP_STR;
    std::string rel = deep + deep + deep + deep;  // 1004 bytes
    m_fake.AddFile(m_src + rel + "x.txt", 100, "l");
    m_fake.AddFile(m_src + "z.txt", 100, "z");  // listed after the deep folder
    EXPECT_EQ(0, Run());
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ(1u, CountPrefix(lines, "  パスが長すぎるのでコピーしません  "));
    EXPECT_EQ(1u, CountPrefix(lines, "  パスが長すぎるのでコピーしません  " + m_src + rel.substr(0, 100)));
    EXPECT_EQ("z", m_fake.Content(A("D:/bk/z.txt")));
    for (const std::string& line : lines)
        EXPECT_LT(line.size(), 1024u);
    EXPECT_EQ(1, g_bRunFailed);
}

}  // namespace
