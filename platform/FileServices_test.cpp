// The real file services of this platform on real temporary folders: the
// behaviour both platforms share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/File.h"
#include "support/TempDir.h"

namespace {

FileServices& Real()
{
    return GetRealFileServices();
}

const UINT SILENT_COPY = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;

struct Listed {
    std::string name;
    bool bDirectory;
    bool operator<(const Listed& other) const { return name < other.name; }
    bool operator==(const Listed& other) const { return name == other.name && bDirectory == other.bDirectory; }
};

// Walks a listing the way the engine does: FindNextFile before each entry,
// the loop ends after the entry for which it returned FALSE.
std::vector<Listed> ListWithFind(const std::string& pattern, int* pnFalseResults = nullptr)
{
    std::vector<Listed> listed;
    CFileFind find;
    BOOL bMore = find.FindFile(pattern.c_str());
    int nFalse = 0;
    while (bMore) {
        bMore = find.FindNextFile();
        if (!bMore)
            ++nFalse;
        listed.push_back(Listed{find.GetFileName(), find.IsDirectory() != FALSE});
        EXPECT_EQ(find.IsDots() != FALSE, listed.back().name == "." || listed.back().name == "..");
    }
    if (pnFalseResults != nullptr)
        *pnFalseResults = nFalse;
    std::sort(listed.begin(), listed.end());
    return listed;
}

class RealFileServicesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    std::string Make(const std::string& rel, const std::string& content = "x")
    {
        std::string path = m_dir.Join(rel);
        EXPECT_TRUE(WriteFileBytes(path, content)) << path;
        return path;
    }
    std::string MakeFolder(const std::string& rel)
    {
        std::string path = m_dir.Join(rel);
        EXPECT_TRUE(Real().CreateDirectory(path.c_str())) << path;
        return path;
    }

    TempDir m_dir;
};

TEST_F(RealFileServicesTest, StatusOfFileAndFolder)
{
    std::string file = Make("a.txt", "12345");
    ASSERT_TRUE(SetFileMTime(file, 1500000000));
    std::string folder = MakeFolder("sub");

    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(file.c_str(), status));
    EXPECT_EQ(status.m_mtime.GetTime(), 1500000000);
    EXPECT_EQ(status.m_size, 5);
    EXPECT_EQ(status.m_attribute & FILE_ATTR_DIRECTORY, 0);
    EXPECT_EQ(status.m_attribute & 0x80, 0);

    ASSERT_TRUE(CFile::GetStatus(folder.c_str(), status));
    EXPECT_EQ(status.m_attribute & FILE_ATTR_DIRECTORY, FILE_ATTR_DIRECTORY);
    EXPECT_EQ(status.m_attribute & 0x80, 0);
}

TEST_F(RealFileServicesTest, MissingEntriesFailWithAnErrorThatIsNotNotReady)
{
    const std::string missing[] = {m_dir.Join("none"), m_dir.Join("none" PATH_SEP_STR "deeper")};
    for (const std::string& path : missing) {
        CFileStatus status;
        EXPECT_FALSE(Real().GetStatus(path.c_str(), status)) << path;
        DWORD dwError = Real().GetLastError();
        EXPECT_NE(dwError, 0u) << path;
        EXPECT_NE(dwError, ERROR_NOT_READY) << path;
        EXPECT_FALSE(Real().Exists(path.c_str())) << path;
        EXPECT_FALSE(Real().CanList(path.c_str())) << path;
        EXPECT_FALSE(Real().CanRead(path.c_str())) << path;
    }
}

TEST_F(RealFileServicesTest, ListsEveryEntryWithDotsAndReportsTheLastByFalse)
{
    Make("a.txt");
    Make(".hidden");
    MakeFolder("sub");
    Make("sub" PATH_SEP_STR "inner.txt");

    int nFalse = 0;
    std::vector<Listed> listed = ListWithFind(m_dir.Join("*.*"), &nFalse);
    std::vector<Listed> expected = {{".", true}, {"..", true}, {".hidden", false}, {"a.txt", false}, {"sub", true}};
    EXPECT_EQ(listed, expected);
    // FALSE comes exactly once, together with the last entry.
    EXPECT_EQ(nFalse, 1);
}

TEST_F(RealFileServicesTest, FindFileOnAMissingFolderOrOneExactName)
{
    EXPECT_TRUE(ListWithFind(m_dir.Join("none" PATH_SEP_STR "*.*")).empty());

    Make("only.txt");
    std::vector<Listed> listed = ListWithFind(m_dir.Join("only.txt"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "only.txt");
    EXPECT_TRUE(ListWithFind(m_dir.Join("other.txt")).empty());
}

TEST_F(RealFileServicesTest, EmptyFolderCanBeListed)
{
    std::string folder = MakeFolder("empty");
    EXPECT_TRUE(Real().CanList(folder.c_str()));
    std::vector<Listed> listed = ListWithFind(folder + PATH_SEP + "*.*");
    std::vector<Listed> expected = {{".", true}, {"..", true}};
    EXPECT_EQ(listed, expected);
}

TEST_F(RealFileServicesTest, CreateDirectoryFailsWhenItExistsOrItsParentIsMissing)
{
    std::string folder = MakeFolder("new");
    EXPECT_TRUE(Real().Exists(folder.c_str()));
    EXPECT_FALSE(Real().CreateDirectory(folder.c_str()));
    EXPECT_NE(Real().GetLastError(), 0u);
    std::string orphan = m_dir.Join("none" PATH_SEP_STR "new");
    EXPECT_FALSE(Real().CreateDirectory(orphan.c_str()));
    EXPECT_FALSE(Real().Exists(orphan.c_str()));
}

TEST_F(RealFileServicesTest, RemoveDeletesAFileAndReportsFailures)
{
    std::string file = Make("a.txt");
    std::string folder = MakeFolder("sub");
    EXPECT_TRUE(CFile::Remove(file.c_str()));
    EXPECT_FALSE(Real().Exists(file.c_str()));

    EXPECT_FALSE(CFile::Remove(file.c_str()));
    EXPECT_NE(Real().GetLastError(), 0u);
    EXPECT_FALSE(CFile::Remove(folder.c_str()));
    EXPECT_TRUE(Real().Exists(folder.c_str()));
}

TEST_F(RealFileServicesTest, RenameMovesFilesAndFoldersButNeverOntoAnExistingName)
{
    std::string file = Make("a.txt", "A");
    std::string moved = m_dir.Join("1_a.txt");
    ASSERT_TRUE(CFile::Rename(file.c_str(), moved.c_str()));
    EXPECT_FALSE(Real().Exists(file.c_str()));
    EXPECT_EQ(ReadFileBytes(moved), "A");

    MakeFolder("data");
    Make("data" PATH_SEP_STR "in.txt", "IN");
    ASSERT_TRUE(CFile::Rename(m_dir.Join("data").c_str(), m_dir.Join("1_data").c_str()));
    EXPECT_EQ(ReadFileBytes(m_dir.Join("1_data" PATH_SEP_STR "in.txt")), "IN");

    // Both names stay as they were: an older copy is never lost to a rename.
    std::string other = Make("b.txt", "B");
    EXPECT_FALSE(CFile::Rename(other.c_str(), moved.c_str()));
    EXPECT_NE(Real().GetLastError(), 0u);
    EXPECT_EQ(ReadFileBytes(other), "B");
    EXPECT_EQ(ReadFileBytes(moved), "A");

    EXPECT_FALSE(CFile::Rename(m_dir.Join("none").c_str(), m_dir.Join("none2").c_str()));
}

TEST_F(RealFileServicesTest, DeleteTreeRemovesANestedTree)
{
    std::string top = MakeFolder("1_data");
    MakeFolder("1_data" PATH_SEP_STR "sub");
    MakeFolder("1_data" PATH_SEP_STR "sub" PATH_SEP_STR "deeper");
    Make("1_data" PATH_SEP_STR "a.txt");
    Make("1_data" PATH_SEP_STR ".hidden");
    std::string readOnly = Make("1_data" PATH_SEP_STR "sub" PATH_SEP_STR "deeper" PATH_SEP_STR "ro.txt");
    std::error_code ec;
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove, ec);
    ASSERT_FALSE(ec);
    std::string beside = Make("keep.txt");

    EXPECT_TRUE(Real().DeleteTree(top.c_str()));
    EXPECT_FALSE(Real().Exists(top.c_str()));
    EXPECT_TRUE(Real().Exists(beside.c_str()));
    // Nothing left to delete is not a failure.
    EXPECT_TRUE(Real().DeleteTree(top.c_str()));
}

TEST_F(RealFileServicesTest, CopyMakesMissingFoldersAndKeepsContentAndTime)
{
    std::string source = Make("a.txt", std::string("line 1\r\nline 2\0end", 18));
    ASSERT_TRUE(SetFileMTime(source, 1400000000));
    std::string dest = m_dir.Join("bk" PATH_SEP_STR "deeper" PATH_SEP_STR "a.txt");

    BOOL bAborted = TRUE;
    ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    EXPECT_FALSE(bAborted);
    EXPECT_EQ(ReadFileBytes(dest), ReadFileBytes(source));
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(dest.c_str(), status));
    EXPECT_EQ(status.m_mtime.GetTime(), 1400000000);

    // A second copy replaces the first without asking.
    WriteFileBytes(source, "new");
    ASSERT_EQ(Real().CopyFile(source.c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    EXPECT_EQ(ReadFileBytes(dest), "new");
}

TEST_F(RealFileServicesTest, FailedCopyReportsAnErrorAndLeavesNoDestination)
{
    std::string dest = m_dir.Join("bk" PATH_SEP_STR "a.txt");
    BOOL bAborted = TRUE;
    EXPECT_NE(Real().CopyFile(m_dir.Join("none.txt").c_str(), dest.c_str(), SILENT_COPY, &bAborted), 0);
    // The shell may leave no error of its own behind; the log needs a code.
    EXPECT_NE(Real().GetLastError(), 0u);
    EXPECT_FALSE(bAborted);
    EXPECT_FALSE(Real().Exists(dest.c_str()));
}

TEST_F(RealFileServicesTest, CanReadAFileAndCanListAFolder)
{
    std::string file = Make("a.txt");
    std::string folder = MakeFolder("sub");
    EXPECT_TRUE(Real().CanRead(file.c_str()));
    EXPECT_FALSE(Real().CanRead(folder.c_str()));
    EXPECT_TRUE(Real().CanList(folder.c_str()));
    EXPECT_FALSE(Real().CanList(file.c_str()));
    EXPECT_TRUE(Real().Exists(file.c_str()));
    EXPECT_TRUE(Real().Exists(folder.c_str()));
}

TEST(FormatSystemErrorTest, GivesTextThatFitsTheBuffer)
{
    char szText[256];
    FormatSystemError(2, szText, sizeof szText);
    EXPECT_GT(strlen(szText), 0u);

    char szShort[8];
    memset(szShort, 'X', sizeof szShort);
    FormatSystemError(2, szShort, sizeof szShort);
    EXPECT_LT(strlen(szShort), sizeof szShort);
}

}  // namespace
