// The program's start and end, and the run log, seen from outside.
#include <sys/resource.h>

#include <cstring>
#include <ctime>

#include "e2e/Harness.h"

namespace {

class Startup : public Scenario {};

std::string LocalStamp(time_t t)
{
    char szStamp[32];
    strftime(szStamp, sizeof szStamp, "%Y/%m/%d %H:%M:%S  ", localtime(&t));
    return szStamp;
}

// The log of an earlier run is replaced by exactly one line, stamped with
// the local time, in the program's encoding and line end.
TEST_F(Startup, LogHoldsExactlyTheStartLine)
{
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=run.log\n");
    WriteFile("run.log", std::string(100000, 'o') + "\n");
    const std::string before = LocalStamp(time(nullptr));
    EXPECT_EQ(0, Run());
    const std::string after = LocalStamp(time(nullptr));

    const std::string raw = ReadFile("run.log");
    const std::string line = std::string("Tandemix start.") + (IsWindows() ? "\r\n" : "\n");
    ASSERT_EQ(before.size() + line.size(), raw.size()) << raw;
    EXPECT_EQ(line, raw.substr(before.size()));
    EXPECT_LE(before, raw.substr(0, before.size()));
    EXPECT_GE(after, raw.substr(0, before.size()));
}

TEST_F(Startup, ALogThatCannotBeMadeOrHasNoNameIsSilentlyAbsent)
{
    for (const char* pszName : {"missing/run.log", ""}) {
        WriteIni(std::string("[全般]\n画面表示レベル=1\nログファイル名=") + pszName + "\n");
        EXPECT_EQ(0, Run()) << pszName;
        EXPECT_EQ(Lines{"Tandemix.ini"}, ListTree()) << pszName;
    }
}

// Without room for the worker's stack the run cannot start: it must say so
// in its exit status at once, not wait for a worker that never comes.
void LeaveNoRoomForAThreadStack()
{
    struct rlimit stack = {4000000000UL, 4000000000UL};
    struct rlimit space = {2000000000UL, 2000000000UL};
    setrlimit(RLIMIT_STACK, &stack);
    setrlimit(RLIMIT_AS, &space);
}

TEST_F(Startup, AWorkerThatCannotStartEndsTheRunWithStatus3)
{
    if (IsWindows() || IsSanitized())
        GTEST_SKIP() << "needs a plain native program";
    WriteIni("[全般]\n画面表示レベル=0\nログファイル名=run.log\n");
    EXPECT_EQ(3, Run(&LeaveNoRoomForAThreadStack));
    EXPECT_EQ(Lines{"Tandemix.ini"}, ListTree());
}

}  // namespace
