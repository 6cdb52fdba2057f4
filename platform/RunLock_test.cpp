#include "platform/RunLock.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/TestFiles.h"

namespace {

// Each Acquire runs on a thread of its own, as each run's would in its own
// process (on Windows a mutex's owner is a thread).
BOOL AcquireElsewhere(CRunLock& lock, const std::string& path)
{
    BOOL bTaken = FALSE;
    std::thread([&] { bTaken = lock.Acquire(path.c_str()); }).join();
    return bTaken;
}

TEST(RunLockTest, OneHolderPerSettingsFile)
{
    TempDir first;
    TempDir second;
    const std::string path = first.Join("Tandemix.ini");
    CRunLock running;
    CRunLock another;
    CRunLock elsewhere;
    ASSERT_TRUE(running.Acquire(path.c_str()));
    EXPECT_FALSE(AcquireElsewhere(another, path));
    EXPECT_TRUE(AcquireElsewhere(elsewhere, second.Join("Tandemix.ini")));
    running.Release();
    EXPECT_TRUE(AcquireElsewhere(another, path));
}

}  // namespace
