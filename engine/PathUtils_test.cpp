#include "engine/PathUtils.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "config/BackupConfig.h"
#include "engine/FileServicesProbe_test.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"

namespace {

// Tables are written with backslashes, which may stand beside Shift-JIS
// characters whose second byte is 0x5C.
std::string P(const std::string& path)
{
    return NativePath(path, '\\');
}

BOOL IsShiftJisBuild()
{
    return PATH_SEP == '\\';
}

// A character of more than one byte that the platform's narrow strings
// really use: 表 in Shift-JIS (second byte 0x5C), or in UTF-8.
std::string WideChar()
{
    return IsShiftJisBuild() ? "\x95\x5C" : "\xE8\xA1\xA8";
}

struct SplitCase {
    const char* pszPath;
    const char* pszName;
    const char* pszFolder;
};

void ExpectSplit(const std::string& path, const std::string& name, const std::string& folder)
{
    char szName[PATH_BUFFER];
    char szFolder[PATH_BUFFER];
    memset(szName, 'x', sizeof(szName));
    memset(szFolder, 'x', sizeof(szFolder));
    EXPECT_TRUE(GetFileNamePart(szName, sizeof(szName), path.c_str()));
    EXPECT_TRUE(GetFolderPart(szFolder, sizeof(szFolder), path.c_str()));
    EXPECT_EQ(name, szName);
    EXPECT_EQ(folder, szFolder);
}

TEST(PathSplitTest, SeparatorCases)
{
    const SplitCase cases[] = {
        {"C:\\data\\report.txt", "report.txt", "C:\\data\\"},
        {"report.txt", "report.txt", ""},
        {"C:\\data\\", "", "C:\\data\\"},
        {"", "", ""},
        {"\\\\server\\share\\a.txt", "a.txt", "\\\\server\\share\\"},
        // A lead byte right before the terminator stands alone.
        {"data\\a\x95", "a\x95", "data\\"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.pszPath);
        ExpectSplit(P(c.pszPath), P(c.pszName), P(c.pszFolder));
    }
}

TEST(PathSplitTest, SecondByteBackslashIsNoSeparator)
{
    if (!IsShiftJisBuild())
        GTEST_SKIP() << "Shift-JIS paths occur on Windows only";
    const SplitCase cases[] = {
        {"C:\\\x95\x5C\\a.txt", "a.txt", "C:\\\x95\x5C\\"},
        {"C:\\data\\\x95\x5C", "\x95\x5C", "C:\\data\\"},
        {"\x83\x5C\x83\x74\x83\x67", "\x83\x5C\x83\x74\x83\x67", ""},
        {"C:\\\x83\x5C\x83\x74\x83\x67\\", "", "C:\\\x83\x5C\x83\x74\x83\x67\\"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.pszPath);
        ExpectSplit(c.pszPath, c.pszName, c.pszFolder);
    }
}

TEST(PathSplitTest, ScanStopsAtOffset1024)
{
    std::string path1024 = std::string(1020, 'a') + PATH_SEP + "bcd";
    ASSERT_EQ(1024u, path1024.size());
    char szBig[2048];
    EXPECT_TRUE(GetFileNamePart(szBig, sizeof(szBig), path1024.c_str()));
    EXPECT_STREQ("bcd", szBig);
    EXPECT_TRUE(GetFolderPart(szBig, sizeof(szBig), path1024.c_str()));
    EXPECT_EQ(path1024.substr(0, 1021), szBig);

    std::string path1025 = path1024 + "e";
    EXPECT_FALSE(GetFileNamePart(szBig, sizeof(szBig), path1025.c_str()));
    EXPECT_STREQ("", szBig);
    EXPECT_FALSE(GetFolderPart(szBig, sizeof(szBig), path1025.c_str()));
    EXPECT_STREQ("", szBig);

    // A character that begins at offset 1023 is read whole, so the path is
    // split even though it runs past 1024 bytes.
    std::string straddling = std::string(1022, 'a') + PATH_SEP + WideChar();
    EXPECT_TRUE(GetFileNamePart(szBig, sizeof(szBig), straddling.c_str()));
    EXPECT_EQ(WideChar(), szBig);
}

TEST(PathSplitTest, PartTooLongForTheOutputIsRefused)
{
    std::string path = P("dir\\name.txt");
    char szOut[8];
    EXPECT_FALSE(GetFileNamePart(szOut, sizeof(szOut), path.c_str()));
    EXPECT_STREQ("", szOut);
    char szExact[9];
    EXPECT_TRUE(GetFileNamePart(szExact, sizeof(szExact), path.c_str()));
    EXPECT_STREQ("name.txt", szExact);
    char szFolder[4];
    EXPECT_FALSE(GetFolderPart(szFolder, sizeof(szFolder), path.c_str()));
    EXPECT_STREQ("", szFolder);

    // A folder part of 1024 bytes does not fit a path buffer.
    std::string longFolder = std::string(1023, 'a') + PATH_SEP;
    char szPath[PATH_BUFFER];
    EXPECT_FALSE(GetFolderPart(szPath, sizeof(szPath), longFolder.c_str()));
    EXPECT_STREQ("", szPath);
}

enum BoundedOp { OP_COPY, OP_CAT };

struct BoundedCase {
    const char* pszWhat;
    BoundedOp nOp;
    std::string initial;
    const char* pszSrc;  // null allowed
    size_t nSize;
    std::string expected;
    BOOL bExpected;
};

TEST(SafeCopyCatTest, NeverWritesPastTheBuffer)
{
    const std::string wide = WideChar();
    // The wide character straddles the last byte of the room.
    const std::string copyCut = "123456" + wide;
    const std::string catCut = "def" + wide;
    const BoundedCase cases[] = {
        {"copy null", OP_COPY, "old", nullptr, 8, "", TRUE},
        {"copy exact fit", OP_COPY, "", "1234567", 8, "1234567", TRUE},
        {"copy one over", OP_COPY, "", "12345678", 8, "1234567", FALSE},
        {"copy cut before a wide character", OP_COPY, "", copyCut.c_str(), 8, "123456", FALSE},
        {"copy into one byte", OP_COPY, "", "a", 1, "", FALSE},
        {"cat null", OP_CAT, "abc", nullptr, 8, "abc", TRUE},
        {"cat exact fit", OP_CAT, "abc", "defg", 8, "abcdefg", TRUE},
        {"cat one over", OP_CAT, "abc", "defgh", 8, "abcdefg", FALSE},
        {"cat cut before a wide character", OP_CAT, "abc", catCut.c_str(), 8, "abcdef", FALSE},
        {"cat onto a full buffer", OP_CAT, "abcdefg", "h", 8, "abcdefg", FALSE},
    };
    for (const BoundedCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        // The buffer sits inside a larger one whose tail must stay untouched.
        char szArea[32];
        memset(szArea, '#', sizeof(szArea));
        memcpy(szArea, c.initial.c_str(), c.initial.size() + 1);
        BOOL bResult = c.nOp == OP_COPY ? SafeCopy(szArea, c.nSize, c.pszSrc) : SafeCat(szArea, c.nSize, c.pszSrc);
        EXPECT_EQ(c.bExpected, bResult);
        EXPECT_EQ(c.expected, szArea);
        for (size_t i = c.nSize; i < sizeof(szArea); i++)
            ASSERT_EQ('#', szArea[i]) << "byte " << i;
    }
}

class CreateFolderChainTest : public testing::Test {
protected:
    std::string Root() const { return m_temp.Path() + PATH_SEP; }
    BOOL IsFolder(const std::string& path)
    {
        CFileStatus status;
        return GetRealFileServices().GetStatus(path.c_str(), status) &&
            (status.m_attribute & FILE_ATTR_DIRECTORY) != 0;
    }

    TempDir m_temp;
    FileServicesProbe m_probe;
};

TEST_F(CreateFolderChainTest, CreatesTheMissingFoldersOutermostFirst)
{
    ASSERT_FALSE(m_temp.Path().empty());
    CreateFolderChain((Root() + P("bk\\a\\b\\")).c_str());
    std::vector<std::string> expected = {Root() + "bk", Root() + P("bk\\a"), Root() + P("bk\\a\\b")};
    EXPECT_EQ(expected, m_probe.m_created);
    EXPECT_TRUE(IsFolder(Root() + P("bk\\a\\b")));

    // Existing folders are only tested, never made again.
    m_probe.m_created.clear();
    CreateFolderChain((Root() + P("bk\\a\\c\\")).c_str());
    EXPECT_EQ(std::vector<std::string>{Root() + P("bk\\a\\c")}, m_probe.m_created);
}

TEST_F(CreateFolderChainTest, TrailingNameIsNotCreated)
{
    CreateFolderChain((Root() + P("bk\\a\\file.txt")).c_str());
    EXPECT_TRUE(IsFolder(Root() + P("bk\\a")));
    EXPECT_FALSE(GetRealFileServices().Exists((Root() + P("bk\\a\\file.txt")).c_str()));
}

TEST_F(CreateFolderChainTest, FileInTheWayStopsThatFolder)
{
    ASSERT_TRUE(WriteFileBytes(Root() + "bk", "not a folder"));
    CreateFolderChain((Root() + P("bk\\a\\")).c_str());
    EXPECT_EQ("not a folder", ReadFileBytes(Root() + "bk"));
    for (const std::string& created : m_probe.m_created)
        EXPECT_NE(Root() + "bk", created);
    EXPECT_FALSE(IsFolder(Root() + P("bk\\a")));
}

TEST_F(CreateFolderChainTest, EmptyPathDoesNothing)
{
    CreateFolderChain("");
    EXPECT_TRUE(m_probe.m_existsAsked.empty());
    EXPECT_TRUE(m_probe.m_created.empty());
}

TEST_F(CreateFolderChainTest, DriveIsNeverTestedNorCreated)
{
    if (!IsShiftJisBuild())
        GTEST_SKIP() << "drive letters occur on Windows only";
    // The temporary folder lies on a drive ("C:\users\..."): the walk starts
    // with the drive component, which must be passed over.
    ASSERT_EQ(':', m_temp.Path()[1]);
    CreateFolderChain((Root() + "bk\\").c_str());
    std::string drive = m_temp.Path().substr(0, 2);
    for (const std::string& asked : m_probe.m_existsAsked)
        EXPECT_NE(drive, asked);
    for (const std::string& created : m_probe.m_created)
        EXPECT_NE(drive, created);
    EXPECT_TRUE(IsFolder(Root() + "bk"));
}

TEST_F(CreateFolderChainTest, SecondByteBackslashStaysInTheName)
{
    if (!IsShiftJisBuild())
        GTEST_SKIP() << "Shift-JIS paths occur on Windows only";
    const std::string soft = "\x83\x5C\x83\x74\x83\x67";  // ソフト
    CreateFolderChain((Root() + soft + "\\").c_str());
    EXPECT_EQ(std::vector<std::string>{Root() + soft}, m_probe.m_created);
    EXPECT_TRUE(IsFolder(Root() + soft));
}

TEST_F(CreateFolderChainTest, ColonInsideAPathIsAnOrdinaryCharacter)
{
    if (IsShiftJisBuild())
        GTEST_SKIP() << "Windows names cannot end with a colon";
    CreateFolderChain((Root() + "notes:/").c_str());
    EXPECT_TRUE(IsFolder(Root() + "notes:"));
}

}  // namespace
