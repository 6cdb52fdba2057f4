// What only the Windows services do: drive roots, attribute bits from the
// file system, Shift-JIS names whose second byte is a backslash.
#include <gtest/gtest.h>

#include <string>

#include "platform/File.h"
#include "support/TempDir.h"

namespace {

FileServices& Real()
{
    return GetRealFileServices();
}

TEST(Win32FileServicesTest, ADriveRootHasNoStatusButCanBeListed)
{
    CFileStatus status;
    EXPECT_FALSE(Real().GetStatus("C:\\", status));
    EXPECT_NE(Real().GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_FALSE(Real().Exists("C:\\"));
    EXPECT_TRUE(Real().CanList("C:\\"));
    EXPECT_TRUE(Real().CanList("C:"));
}

TEST(Win32FileServicesTest, ReportsAttributeBitsAndTruncatesTimesToSeconds)
{
    TempDir dir;
    std::string path = dir.Join("a.txt");
    ASSERT_TRUE(WriteFileBytes(path, "x"));
    HANDLE hFile = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    // 1500000000.9 s after 1970, in 100 ns ticks after 1601.
    unsigned long long nTicks = 116444736000000000ULL + 15000000009ULL * 1000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(nTicks);
    ft.dwHighDateTime = static_cast<DWORD>(nTicks >> 32);
    EXPECT_TRUE(SetFileTime(hFile, nullptr, nullptr, &ft));
    CloseHandle(hFile);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));

    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(status.m_mtime.GetTime(), 1500000000);
    EXPECT_EQ(status.m_attribute & (FILE_ATTR_HIDDEN | FILE_ATTR_READONLY | FILE_ATTR_DIRECTORY),
              FILE_ATTR_HIDDEN | FILE_ATTR_READONLY);

    CFileFind find;
    ASSERT_TRUE(find.FindFile(dir.Join("*.*").c_str()));
    bool bListed = false;
    for (BOOL bMore = TRUE; bMore;) {
        bMore = find.FindNextFile();
        bListed = bListed || std::string(find.GetFileName()) == "a.txt";
    }
    EXPECT_TRUE(bListed);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32FileServicesTest, NamesEndingInASecondByteBackslashAreNotCutThere)
{
    TempDir dir;
    // 表 and ソ end with the byte 0x5C in Shift-JIS.
    const std::string names[] = {"\x95\x5C", "\x83\x5C"};
    for (const std::string& name : names) {
        std::string folder = dir.Join(name);
        ASSERT_TRUE(Real().CreateDirectory(folder.c_str()));
        ASSERT_TRUE(WriteFileBytes(folder + "\\in.txt", "x"));
        EXPECT_TRUE(Real().CanList(folder.c_str()));
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(folder.c_str(), status));
        EXPECT_EQ(status.m_attribute & FILE_ATTR_DIRECTORY, FILE_ATTR_DIRECTORY);
    }
}

TEST(Win32FileServicesTest, ShellOpenStartsABatchFile)
{
    TempDir dir;
    std::string marker = dir.Join("marker.txt");
    std::string script = dir.Join("run me.bat");
    ASSERT_TRUE(WriteFileBytes(script, "@echo started> \"" + marker + "\"\r\n"));

    Real().ShellOpen(script.c_str());
    // Generous: this waits for a process to start, it does not time it.
    for (int nTry = 0; nTry < 600 && ReadFileBytes(marker).empty(); ++nTry)
        Sleep(50);
    EXPECT_EQ(ReadFileBytes(marker).substr(0, 7), "started");
}

}  // namespace
