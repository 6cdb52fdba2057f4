// The real file services of this platform on real folders: what both
// platforms share.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/File.h"
#include "support/TestFiles.h"

namespace {

FileServices& Real()
{
    return GetRealFileServices();
}

#define SEP PATH_SEP_STR

class RealFileServicesTest : public testing::Test {
protected:
    std::string Make(const std::string& rel, const std::string& content = "x")
    {
        EXPECT_TRUE(WriteFileBytes(m_dir.Join(rel), content)) << rel;
        return m_dir.Join(rel);
    }
    std::string MakeFolder(const std::string& rel)
    {
        EXPECT_TRUE(Real().CreateDirectory(m_dir.Join(rel).c_str())) << rel;
        return m_dir.Join(rel);
    }

    TempDir m_dir;
};

TEST_F(RealFileServicesTest, StatusOfAFileAFolderAndAMissingEntry)
{
    const std::string file = Make("a.txt", "12345");
    ASSERT_TRUE(SetFileMTime(file, 1500000000));
    const std::string folder = MakeFolder("sub");

    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(file.c_str(), status));
    EXPECT_EQ(1500000000, status.m_mtime.GetTime());
    EXPECT_EQ(5, status.m_size);
    EXPECT_EQ(0, status.m_attribute & (FILE_ATTR_DIRECTORY | 0x80));
    EXPECT_TRUE(Real().CanRead(file.c_str()));
    EXPECT_FALSE(Real().CanList(file.c_str()));

    ASSERT_TRUE(CFile::GetStatus(folder.c_str(), status));
    EXPECT_EQ(FILE_ATTR_DIRECTORY, status.m_attribute & (FILE_ATTR_DIRECTORY | 0x80));
    EXPECT_FALSE(Real().CanRead(folder.c_str()));
    EXPECT_TRUE(Real().CanList(folder.c_str()));

    for (const std::string& missing : {m_dir.Join("none"), m_dir.Join("none" SEP "deeper")}) {
        EXPECT_FALSE(Real().GetStatus(missing.c_str(), status)) << missing;
        EXPECT_NE(0u, Real().GetLastError()) << missing;
        EXPECT_NE(static_cast<DWORD>(ERROR_NOT_READY), Real().GetLastError()) << missing;
        EXPECT_FALSE(Real().Exists(missing.c_str())) << missing;
        EXPECT_FALSE(Real().CanList(missing.c_str())) << missing;
    }
}

// The engine's loop: FindNextFile before each entry, ending after the entry
// for which it returned FALSE.
TEST_F(RealFileServicesTest, ListingHoldsDotsAndHiddenEntriesAndEndsWithFalse)
{
    Make("a.txt");
    Make(".hidden");
    MakeFolder("sub");
    Make("sub" SEP "inner.txt");
    MakeFolder("empty");
    const struct {
        std::string pattern;
        std::vector<std::string> names;  // sorted; folders end with '/'
    } cases[] = {
        {m_dir.Join("*.*"), {"../", "./", ".hidden", "a.txt", "empty/", "sub/"}},
        {m_dir.Join("empty" SEP "*.*"), {"../", "./"}},
        {m_dir.Join("none" SEP "*.*"), {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        int nFalse = 0;
        CFileFind find;
        for (BOOL bMore = find.FindFile(c.pattern.c_str()); bMore;) {
            bMore = find.FindNextFile();
            nFalse += bMore ? 0 : 1;
            names.push_back(std::string(find.GetFileName()) + (find.IsDirectory() ? "/" : ""));
            EXPECT_EQ(names.back() == "./" || names.back() == "../", find.IsDots() != FALSE);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(c.names, names) << c.pattern;
        EXPECT_EQ(c.names.empty() ? 0 : 1, nFalse) << c.pattern;
    }
}

TEST_F(RealFileServicesTest, RemoveAndRenameReportFailuresAsFalseWithAnError)
{
    const std::string folder = MakeFolder("data");
    Make("data" SEP "in.txt", "IN");
    const std::string file = Make("a.txt", "A");
    const std::string moved = m_dir.Join("1_a.txt");
    ASSERT_TRUE(CFile::Rename(file.c_str(), moved.c_str()));
    EXPECT_EQ("A", ReadFileBytes(moved));
    ASSERT_TRUE(CFile::Rename(folder.c_str(), m_dir.Join("1_data").c_str()));
    EXPECT_EQ("IN", ReadFileBytes(m_dir.Join("1_data" SEP "in.txt")));

    // Never onto an existing name: an older copy is never lost to a rename.
    const std::string other = Make("b.txt", "B");
    EXPECT_FALSE(CFile::Rename(other.c_str(), moved.c_str()));
    EXPECT_NE(0u, Real().GetLastError());
    EXPECT_EQ("B", ReadFileBytes(other));
    EXPECT_EQ("A", ReadFileBytes(moved));

    EXPECT_TRUE(CFile::Remove(other.c_str()));
    EXPECT_FALSE(Real().Exists(other.c_str()));
    EXPECT_FALSE(CFile::Remove(other.c_str()));
    EXPECT_NE(0u, Real().GetLastError());
    EXPECT_FALSE(CFile::Remove(m_dir.Join("1_data").c_str()));
    EXPECT_TRUE(Real().Exists(m_dir.Join("1_data").c_str()));
}

TEST_F(RealFileServicesTest, DeleteTreeRemovesANestedTree)
{
    const std::string top = MakeFolder("1_data");
    MakeFolder("1_data" SEP "sub");
    MakeFolder("1_data" SEP "sub" SEP "deeper");
    Make("1_data" SEP ".hidden");
    const std::string readOnly = Make("1_data" SEP "sub" SEP "deeper" SEP "ro.txt");
    namespace fs = std::filesystem;
    fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string beside = Make("keep.txt");

    EXPECT_TRUE(Real().DeleteTree(top.c_str()));
    EXPECT_FALSE(Real().Exists(top.c_str()));
    EXPECT_TRUE(Real().Exists(beside.c_str()));
    EXPECT_TRUE(Real().DeleteTree(top.c_str()));  // nothing left to delete is no failure
}

TEST_F(RealFileServicesTest, CopyMakesMissingFoldersAndKeepsContentAndTime)
{
    const UINT nSilent = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    const std::string source = Make("a.txt", std::string("line 1\r\nline 2\0end", 18));
    ASSERT_TRUE(SetFileMTime(source, 1400000000));
    const std::string dest = m_dir.Join("bk" SEP "deeper" SEP "a.txt");
    BOOL bAborted = TRUE;
    ASSERT_EQ(0, Real().CopyFile(source.c_str(), dest.c_str(), nSilent, &bAborted));
    EXPECT_FALSE(bAborted);
    EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(dest));
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(dest.c_str(), status));
    EXPECT_EQ(1400000000, status.m_mtime.GetTime());

    // A second copy replaces the first without asking.
    ASSERT_TRUE(WriteFileBytes(source, "new"));
    ASSERT_EQ(0, Real().CopyFile(source.c_str(), dest.c_str(), nSilent, &bAborted));
    EXPECT_EQ("new", ReadFileBytes(dest));

    // The shell may leave no error of its own; the log needs a code.
    const std::string nowhere = m_dir.Join("bk2" SEP "a.txt");
    EXPECT_NE(0, Real().CopyFile(m_dir.Join("none.txt").c_str(), nowhere.c_str(), nSilent, &bAborted));
    EXPECT_NE(0u, Real().GetLastError());
    EXPECT_FALSE(Real().Exists(nowhere.c_str()));
}

}  // namespace
