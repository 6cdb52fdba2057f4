// The real file services of this platform on real folders: what both
// platforms share.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

}  // namespace
