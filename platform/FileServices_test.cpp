// The real file services of this platform on real folders: what both
// platforms share.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/File.h"
#include "support/TestFiles.h"

namespace {

FileServices& Real() { return GetRealFileServices(); }

#define SEP PATH_SEP_STR

// A rename never lands on an existing name: an older copy is never lost to
// one.  Failures are FALSE with an error.
TEST(RealFileServicesTest, RenameNeverReplacesAndFailuresComeWithAnError)
{
    TempDir dir;
    ASSERT_TRUE(Real().CreateDirectory(dir.Join("data").c_str()));
    ASSERT_TRUE(WriteFileBytes(dir.Join("data" SEP "in.txt"), "IN"));
    ASSERT_TRUE(WriteFileBytes(dir.Join("a.txt"), "A") && WriteFileBytes(dir.Join("b.txt"), "B"));
    ASSERT_TRUE(CFile::Rename(dir.Join("data").c_str(), dir.Join("1_data").c_str()));
    EXPECT_EQ("IN", ReadFileBytes(dir.Join("1_data" SEP "in.txt")));
    EXPECT_FALSE(CFile::Rename(dir.Join("b.txt").c_str(), dir.Join("a.txt").c_str()));
    EXPECT_NE(0u, Real().GetLastError());
    EXPECT_EQ("B", ReadFileBytes(dir.Join("b.txt")));
    EXPECT_EQ("A", ReadFileBytes(dir.Join("a.txt")));

    EXPECT_TRUE(CFile::Remove(dir.Join("b.txt").c_str()));
    EXPECT_FALSE(CFile::Remove(dir.Join("b.txt").c_str()));
    EXPECT_NE(0u, Real().GetLastError());
    EXPECT_FALSE(CFile::Remove(dir.Join("1_data").c_str()));
    EXPECT_TRUE(Real().Exists(dir.Join("1_data").c_str()));
}

// Hidden and read-only entries go too, by either delete (on Windows the
// read-only attribute stops a plain one); what is already gone is no
// failure.
TEST(RealFileServicesTest, DeleteTreeRemovesANestedTree)
{
    TempDir dir;
    const std::string top = dir.Join("1_data");
    ASSERT_TRUE(Real().CreateDirectory(top.c_str()));
    ASSERT_TRUE(Real().CreateDirectory(dir.Join("1_data" SEP "sub").c_str()));
    ASSERT_TRUE(WriteFileBytes(dir.Join("1_data" SEP ".hidden"), "x"));
    namespace fs = std::filesystem;
    for (const std::string& readOnly : {dir.Join("1_data" SEP "sub" SEP "ro.txt"), dir.Join("1_ro.txt")}) {
        ASSERT_TRUE(WriteFileBytes(readOnly, "x"));
        fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    ASSERT_TRUE(WriteFileBytes(dir.Join("keep.txt"), "x"));

    EXPECT_TRUE(Real().DeleteTree(top.c_str()));
    EXPECT_FALSE(Real().Exists(top.c_str()));
    EXPECT_TRUE(Real().RemoveFile(dir.Join("1_ro.txt").c_str()));
    EXPECT_EQ(Lines{"keep.txt"}, ListTree(dir.Path()));
    EXPECT_TRUE(Real().DeleteTree(top.c_str()));
}

}  // namespace
