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

// The times decide, within the margin; only when they count as equal does
// another size mean a cut copy, which is replaced as it is rather than kept
// as a generation.  A file gone before its copy costs nothing and is no
// failure; any other failed copy is reported with the system's words.
TEST_F(BackupFileTest, TheTimesDecideAndACutOrFailedCopyCostsNoGeneration)
{
    const struct {
        const char* pszWhat;
        time_t srcTime;
        const char* pszSource;
        DWORD dwCopyError;
        const char* pszCopy;   // D:/bk/a.txt afterwards
        const char* pszFirst;  // D:/bk/1_a.txt
    } cases[] = {
        {"newer source", 2000, "new", 0, "new", "old"},
        {"newer copy of another size", 500, "older source", 0, "old", ""},
        {"cut copy", 1000, "whole", 0, "whole", ""},
        {"gone before its copy", 2000, "new", FAKE_ERROR_NOT_FOUND, "old", ""},
        {"copy refused", 2000, "new", FAKE_ERROR_ACCESS_DENIED, "old", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        Fake fake;
        ScopedFileServices use(fake);
        RestartRun();
        fake.AddFile(WinPath("C:/src/a.txt"), c.srcTime, c.pszSource);
        fake.AddFile(WinPath("D:/bk/a.txt"), 1000, "old");
        if (c.dwCopyError != 0)
            fake.Fail(Fake::FAIL_COPY, WinPath("C:/src/a.txt"), c.dwCopyError);
        m_pSet->nFileGenerations = 1;
        EXPECT_EQ(0, Run());
        EXPECT_EQ(c.pszCopy, fake.Content(WinPath("D:/bk/a.txt")));
        EXPECT_EQ(c.pszFirst, fake.Content(WinPath("D:/bk/1_a.txt")));
        const Lines lines = LogLines();
        const bool bFailed = c.dwCopyError == FAKE_ERROR_ACCESS_DENIED;
        EXPECT_EQ(bFailed, g_nRunFailures != 0);
        EXPECT_EQ(bFailed ? 1u : 0u, CountPrefix(lines, "SHFileOperation()でエラーが返りました  code=5"));
        EXPECT_EQ(bFailed ? 1u : 0u, CountPrefix(lines, "  コピーできませんでした  " + WinPath("D:/bk/.a.txt.tandemix-swap-1-001") + "  エラー="));
    }
}

}  // namespace
