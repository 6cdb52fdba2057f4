#include "log/RunLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/BackupConfig.h"

namespace fs = std::filesystem;

namespace {

class RunLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_path = (fs::temp_directory_path() / ("tandemix-log-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".log")).string();
        m_pConfig = new CBackupConfig("no-such-settings-file.ini");
        g_pConfig = m_pConfig;
    }
    void TearDown() override
    {
        CloseRunLog();
        g_pConfig = nullptr;
        delete m_pConfig;
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    std::vector<std::string> Texts() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::vector<std::string> texts;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            texts.push_back(line.substr(21));
        }
        return texts;
    }

    std::string m_path;
    CBackupConfig* m_pConfig = nullptr;
};

TEST_F(RunLogTest, NothingIsWrittenOrKeptWhileTheLogIsClosed)
{
    WriteLog(LOG_RESULT, "lost");
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLog(LOG_RESULT, "kept");
    CloseRunLog();
    WriteLog(LOG_RESULT, "after the close");
    EXPECT_EQ(std::vector<std::string>{"kept"}, Texts());
}

TEST_F(RunLogTest, ResultsOnlyDropsDetailLinesAndIsReadOnEveryCall)
{
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLog(LOG_RESULT, "result 1");
    WriteLogDetail("detail 1");
    WriteLog(7, "odd kind 1");
    m_pConfig->m_bLogResultsOnly = 2;
    WriteLog(LOG_RESULT, "result 2");
    WriteLogDetail("detail 2");
    WriteLog(7, "odd kind 2");
    CloseRunLog();
    EXPECT_EQ((std::vector<std::string>{"result 1", "detail 1", "odd kind 1", "result 2"}), Texts());
}

TEST_F(RunLogTest, TextKeepsItsOwnLeadingBlanksAfterTheStamp)
{
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLog(LOG_RESULT, "  two blanks");
    CloseRunLog();
    std::ifstream in(m_path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    EXPECT_EQ("    two blanks", line.substr(19));
}

TEST_F(RunLogTest, FormattedLineThatDoesNotFitIsRefusedNotCut)
{
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    std::string fits(1000, 'a');
    std::string tooLong(1024, 'b');
    EXPECT_TRUE(WriteLogFormat(LOG_RESULT, "%s", fits.c_str()));
    EXPECT_FALSE(WriteLogFormat(LOG_RESULT, "%s", tooLong.c_str()));
    CloseRunLog();
    EXPECT_EQ(std::vector<std::string>{fits}, Texts());
}

TEST_F(RunLogTest, OpenFailsInAMissingFolder)
{
    std::string path = m_path + ".missing/run.log";
    EXPECT_FALSE(OpenRunLog(path.c_str()));
    EXPECT_EQ(0, g_bLogOpen);
    WriteLog(LOG_RESULT, "nowhere");
    EXPECT_FALSE(fs::exists(path));
}

// A disk that fills up during the run: logging stops, nothing else does.
TEST_F(RunLogTest, WriteFailureClosesTheLog)
{
    if (PATH_SEP != '/')
        GTEST_SKIP() << "needs the POSIX device that is always full";
    ASSERT_TRUE(OpenRunLog("/dev/full"));
    for (int i = 0; i < 10000 && g_bLogOpen == 1; i++)
        WriteLog(LOG_RESULT, "a line that the disk has no room for");
    EXPECT_EQ(0, g_bLogOpen);
}

}  // namespace
