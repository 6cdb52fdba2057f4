#include "platform/RunLock.h"

#include <gtest/gtest.h>

#include "support/TestFiles.h"

namespace {

// The lock follows the settings folder, not the spelling of its path.
TEST(RunLockTest, OneHolderPerSettingsFolderUnderAnySpelling)
{
    TempDir first;
    TempDir second;
    const std::string path = first.Join("Tandemix.ini");
    const std::string respelled = first.Join(std::string(".") + PATH_SEP_STR + "Tandemix.ini");
    std::string why;
    CRunLock running;
    CRunLock another;
    CRunLock elsewhere;
    ASSERT_EQ(RUN_LOCK_TAKEN, running.Acquire(path.c_str(), why)) << why;
    EXPECT_EQ(RUN_LOCK_BUSY, another.Acquire(respelled.c_str(), why));
    EXPECT_EQ(RUN_LOCK_TAKEN, elsewhere.Acquire(second.Join("Tandemix.ini").c_str(), why)) << why;
    running.Release();
    EXPECT_EQ(RUN_LOCK_TAKEN, another.Acquire(path.c_str(), why)) << why;
}

}  // namespace
