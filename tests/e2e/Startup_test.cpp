// The program's start and end, and the run log, seen from outside.
#include <regex>

#include "e2e/Harness.h"

namespace {

class Startup : public Scenario {};

const char* const GENERAL_WITH_LOG =
    "[全般]\n"
    "画面表示レベル=0\n"
    "ログファイル名=run.log\n";

TEST_F(Startup, WithoutSettingsRunsNothingAndCreatesNothing)
{
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(ListTree().empty());
}

TEST_F(Startup, LogHoldsTheStartLineInTheProgramsEncodingAndLineEnd)
{
    WriteIni(GENERAL_WITH_LOG);
    EXPECT_EQ(0, Run());
    const std::string raw = ReadFile("run.log");
    const std::string lineEnd = IsWindows() ? "\r\n" : "\n";
    std::regex line("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}  Tandemix start\\." + lineEnd + "$");
    EXPECT_TRUE(std::regex_match(raw, line)) << raw;
    // The stamp is the local time of the run.
    time_t now = time(nullptr);
    char today[16];
    strftime(today, sizeof(today), "%Y/%m/%d", localtime(&now));
    EXPECT_EQ(0u, raw.find(today)) << raw;
}

TEST_F(Startup, ALogFromAnEarlierRunIsReplaced)
{
    WriteIni(GENERAL_WITH_LOG);
    std::string old;
    for (int i = 0; i < 10000; i++)
        old += "2001/01/01 00:00:00  an old line\n";
    WriteFile("run.log", old);
    EXPECT_EQ(0, Run());
    EXPECT_EQ(std::vector<std::string>{"Tandemix start."}, ReadLogLines("run.log"));
}

TEST_F(Startup, ALogInAMissingFolderIsSilentlyAbsent)
{
    WriteIni("[全般]\n画面表示レベル=1\nログファイル名=missing/run.log\n");
    EXPECT_EQ(0, Run());
    EXPECT_EQ(std::vector<std::string>{"Tandemix.ini"}, ListTree());
}

TEST_F(Startup, AnEmptyLogNameCreatesNoFile)
{
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=\n");
    EXPECT_EQ(0, Run());
    EXPECT_EQ(std::vector<std::string>{"Tandemix.ini"}, ListTree());
}

TEST_F(Startup, ResultsOnlySettingStillWritesTheStartLine)
{
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=run.log\nコピー結果のみログ=2\n");
    EXPECT_EQ(0, Run());
    EXPECT_EQ(std::vector<std::string>{"Tandemix start."}, ReadLogLines("run.log"));
}

}  // namespace
