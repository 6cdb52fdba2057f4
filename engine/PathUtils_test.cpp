#include "engine/PathUtils.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/BackupConfig.h"
#include "platform/File.h"
#include "support/FakeFileServices.h"

namespace {

// Tables are written with backslashes; this gives the native form.
std::string Backslashed(const std::string& path)
{
    return NativePath(path, '\\');
}

const bool DRIVE_ROOTS = PATH_SEP == '\\';

// A character of more than one byte: 表 (its Shift-JIS form ends in 0x5C).
const std::string WIDE = "表";

TEST(PathSplitTest, NameAndFolderParts)
{
    const struct {
        const char* pszPath;
        const char* pszName;
        const char* pszFolder;
    } cases[] = {
        {"C:\\data\\report.txt", "report.txt", "C:\\data\\"},
        {"report.txt", "report.txt", ""},
        {"C:\\data\\", "", "C:\\data\\"},
        {"", "", ""},
        {"\\\\server\\share\\a.txt", "a.txt", "\\\\server\\share\\"},
        {"data\\a\x95", "a\x95", "data\\"},  // a stray byte before the terminator stands alone
        {"C:\\表\\a.txt", "a.txt", "C:\\表\\"},
        {"C:\\data\\表", "表", "C:\\data\\"},
        {"ソフト", "ソフト", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszPath);
        const std::string path = Backslashed(c.pszPath);
        char szName[PATH_BUFFER];
        char szFolder[PATH_BUFFER];
        EXPECT_TRUE(GetFileNamePart(szName, sizeof szName, path.c_str()));
        EXPECT_TRUE(GetFolderPart(szFolder, sizeof szFolder, path.c_str()));
        EXPECT_EQ(Backslashed(c.pszName), szName);
        EXPECT_EQ(Backslashed(c.pszFolder), szFolder);
    }
}

TEST(PathSplitTest, ScanStopsAtThePathBufferAndPartsMustFitTheirBuffer)
{
    const std::string pathFull = std::string(PATH_BUFFER - 4, 'a') + PATH_SEP + "bcd";
    char szBig[2 * PATH_BUFFER];
    EXPECT_TRUE(GetFileNamePart(szBig, sizeof szBig, pathFull.c_str()));
    EXPECT_STREQ("bcd", szBig);
    EXPECT_TRUE(GetFolderPart(szBig, sizeof szBig, pathFull.c_str()));
    EXPECT_EQ(pathFull.substr(0, PATH_BUFFER - 3), szBig);
    EXPECT_FALSE(GetFileNamePart(szBig, sizeof szBig, (pathFull + "e").c_str()));
    EXPECT_STREQ("", szBig);
    EXPECT_FALSE(GetFolderPart(szBig, sizeof szBig, (pathFull + "e").c_str()));
    EXPECT_STREQ("", szBig);
    // A character that begins at the last offset is read whole.
    EXPECT_TRUE(GetFileNamePart(szBig, sizeof szBig, (std::string(PATH_BUFFER - 2, 'a') + PATH_SEP + WIDE).c_str()));
    EXPECT_EQ(WIDE, szBig);

    char szName[8];
    EXPECT_FALSE(GetFileNamePart(szName, sizeof szName, Backslashed("dir\\name.txt").c_str()));
    EXPECT_STREQ("", szName);
    char szFolder[PATH_BUFFER];
    EXPECT_FALSE(GetFolderPart(szFolder, sizeof szFolder, (std::string(PATH_BUFFER - 1, 'a') + PATH_SEP).c_str()));
    EXPECT_STREQ("", szFolder);
}

TEST(SafeCopyCatTest, NeverWritesPastTheBuffer)
{
    // The wide character straddles the last byte of the room.
    const std::string copyCut = "123456" + WIDE;
    const std::string catCut = "def" + WIDE;
    const struct {
        const char* pszWhat;
        bool bCat;
        std::string initial;
        const char* pszSrc;
        size_t nSize;
        std::string expected;
        BOOL bExpected;
    } cases[] = {
        {"copy null", false, "old", nullptr, 8, "", TRUE},
        {"copy exact fit", false, "", "1234567", 8, "1234567", TRUE},
        {"copy one over", false, "", "12345678", 8, "1234567", FALSE},
        {"copy cut before a wide character", false, "", copyCut.c_str(), 8, "123456", FALSE},
        {"copy into one byte", false, "", "a", 1, "", FALSE},
        {"cat null", true, "abc", nullptr, 8, "abc", TRUE},
        {"cat exact fit", true, "abc", "defg", 8, "abcdefg", TRUE},
        {"cat one over", true, "abc", "defgh", 8, "abcdefg", FALSE},
        {"cat cut before a wide character", true, "abc", catCut.c_str(), 8, "abcdef", FALSE},
        {"cat onto a full buffer", true, "abcdefg", "h", 8, "abcdefg", FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        // The buffer sits inside a larger one whose tail must stay untouched.
        char szArea[32];
        memset(szArea, '#', sizeof szArea);
        memcpy(szArea, c.initial.c_str(), c.initial.size() + 1);
        EXPECT_EQ(c.bExpected, c.bCat ? SafeCat(szArea, c.nSize, c.pszSrc) : SafeCopy(szArea, c.nSize, c.pszSrc));
        EXPECT_EQ(c.expected, szArea);
        EXPECT_EQ(std::string(sizeof szArea - c.nSize, '#'), std::string(szArea + c.nSize, sizeof szArea - c.nSize));
    }
}

// On real folders: each folder needs the one above it made first.
TEST(CreateFolderChainTest, MakesTheMissingFoldersButNotTheNameNorOverAFile)
{
    TempDir temp;
    const std::string root = temp.Path() + PATH_SEP;
    CreateFolderChain((root + Backslashed("bk\\a\\b\\file.txt")).c_str());
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus((root + Backslashed("bk\\a\\b")).c_str(), status));
    EXPECT_EQ(FILE_ATTR_DIRECTORY, status.m_attribute & FILE_ATTR_DIRECTORY);
    EXPECT_FALSE(CFile::GetStatus((root + Backslashed("bk\\a\\b\\file.txt")).c_str(), status));

    ASSERT_TRUE(WriteFileBytes(root + "f", "not a folder"));
    CreateFolderChain((root + Backslashed("f\\a\\")).c_str());
    EXPECT_EQ("not a folder", ReadFileBytes(root + "f"));
}

}  // namespace
