// What only the Windows services do: a drive root has no entry of its own.
#include <gtest/gtest.h>

#include "platform/File.h"

namespace {

TEST(Win32FileServicesTest, ADriveRootHasNoStatusButCanBeListed)
{
    FileServices& real = GetRealFileServices();
    CFileStatus status;
    EXPECT_FALSE(real.GetStatus("C:\\", status));
    EXPECT_NE(static_cast<DWORD>(ERROR_NOT_READY), real.GetLastError());
    EXPECT_TRUE(real.CanList("C:\\"));
}

}  // namespace
