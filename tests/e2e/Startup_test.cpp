// The program's start and end, and the run log, seen from outside.
#include <cctype>

#include "e2e/Harness.h"

namespace {

class Startup : public Scenario {};

const char* const GENERAL_WITH_LOG =
    "[全般]\n"
    "画面表示レベル=0\n"
    "ログファイル名=run.log\n";

// "YYYY/MM/DD HH:MM:SS  " with digits where the pattern has them.
bool IsTimeStamp(const std::string& text)
{
    const std::string shape = "0000/00/00 00:00:00  ";
    if (text.size() < shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); i++) {
        bool ok = shape[i] == '0' ? isdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

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
    EXPECT_TRUE(IsTimeStamp(raw)) << raw;
    EXPECT_EQ(21 + std::string("Tandemix start.").size() + lineEnd.size(), raw.size()) << raw;
    EXPECT_EQ("Tandemix start." + lineEnd, raw.substr(21)) << raw;
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
