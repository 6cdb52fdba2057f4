#include "log/RunLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/BackupConfig.h"
#include "support/TestFiles.h"

namespace {

class RunLogTest : public testing::Test {
protected:
    RunLogTest() : m_config("no-such-settings-file.ini") { g_pConfig = &m_config; }
    ~RunLogTest() override
    {
        CloseRunLog();
        g_pConfig = nullptr;
    }

    TempDir m_temp;
    const std::string m_path = m_temp.Join("run.log");
    CBackupConfig m_config;
};

// The filter is read on every call, and a line that does not fit its buffer
// is refused whole rather than cut.
TEST_F(RunLogTest, ResultsOnlyDropsDetailLinesAndLongLinesAreRefused)
{
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLog(LOG_RESULT, "result 1");
    WriteLogDetail("detail 1");
    m_config.m_bLogResultsOnly = 2;
    WriteLog(LOG_RESULT, "result 2");
    WriteLogDetail("detail 2");
    WriteLog(7, "odd kind");
    EXPECT_TRUE(WriteLogFormat(LOG_RESULT, "%s", std::string(1023, 'a').c_str()));
    EXPECT_FALSE(WriteLogFormat(LOG_RESULT, "%s", std::string(1024, 'b').c_str()));
    CloseRunLog();
    EXPECT_EQ((std::vector<std::string>{"result 1", "detail 1", "result 2", std::string(1023, 'a')}),
              ReadLogTexts(m_path));
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
