#include "engine/BackupFile.h"

#include "support/EngineFixture.h"

namespace {

typedef FakeFileServices Fake;

class BackupFileTest : public EngineTest {
protected:
    BackupFileTest() : m_pSet(AddSet(1, WinPath("C:/src"), WinPath("D:/bk/")))
    {
        m_fake.AddFile(WinPath("C:/src/a.txt"), 2000, "new");
        m_fake.AddFile(WinPath("D:/bk/a.txt"), 1000, "old");
    }

    short Run() { return BackupFile(WinPath("C:/src/").c_str(), WinPath("D:/bk/").c_str(), "a.txt", m_pSet); }

    BackupSet* m_pSet;
};

TEST_F(BackupFileTest, NotReadyDestinationIsPutToTheUserUntilItIsBackOrTheUserGivesUp)
{
    const std::string question = "ドライブ " + WinPath("D:/").substr(0, 1) + " の準備ができていません。";
    m_fake.Fail(Fake::FAIL_STATUS, WinPath("D:/bk/a.txt"), ERROR_NOT_READY, 2);
    m_fake.m_answers = {IDRETRY, IDCANCEL};
    EXPECT_EQ(0, Run());
    EXPECT_EQ(Lines(2, question), m_fake.m_messages);
    EXPECT_EQ("old", m_fake.Content(WinPath("D:/bk/a.txt")));
    EXPECT_NE(0, g_nRunFailures);

    m_fake.Fail(Fake::FAIL_STATUS, WinPath("D:/bk/a.txt"), ERROR_NOT_READY, 1);
    m_fake.m_answers.push_back(IDRETRY);
    EXPECT_EQ(0, Run());
    EXPECT_EQ(Lines(3, question), m_fake.m_messages);
    EXPECT_EQ("new", m_fake.Content(WinPath("D:/bk/a.txt")));
    const Lines lines = LogLines();
    EXPECT_EQ("メディアの準備ができていないのでバックアップしません", lines.at(0));
    EXPECT_EQ(1u, CountPrefix(lines, "  コピーします  "));
}

// A path that does not fit a path buffer is reported and never cut into
// another name; a log line that does not fit never leaves a file out.
TEST_F(BackupFileTest, PathsThatDoNotFitAreReportedAndLongLinesAreNoReason)
{
    const std::string longFolder = WinPath("C:/") + std::string(PATH_BUFFER - 4, 'x') + PATH_SEP_STR;
    EXPECT_EQ(0, BackupFile(longFolder.c_str(), WinPath("D:/bk/").c_str(), "a.txt", m_pSet));
    EXPECT_TRUE(m_fake.m_copies.empty());
    EXPECT_NE(0, g_nRunFailures);

    const std::string name(250, 'n');
    std::string deep;
    while (deep.size() < PATH_BUFFER / 2 - 300)
        deep += std::string(200, 'd') + PATH_SEP_STR;
    m_fake.AddFile(WinPath("C:/s/") + deep + name, 2000, "new");
    EXPECT_EQ(0, BackupFile(WinPath("C:/s/").c_str(), WinPath("D:/d/").c_str(), (deep + name).c_str(), m_pSet));
    EXPECT_EQ("new", m_fake.Content(WinPath("D:/d/") + deep + name));

    const Lines lines = LogLines();
    const std::string tooLong = "  パスが長すぎるのでコピーしません  ";
    EXPECT_EQ(1u, CountPrefix(lines, tooLong + longFolder.substr(0, 100)));
    EXPECT_EQ(1u, CountPrefix(lines, "  コピーします  " + WinPath("C:/s/") + deep));
}

}  // namespace
