// The fake's behaviour where it is not obvious from its header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/File.h"
#include "support/FakeFileServices.h"

namespace {

std::vector<std::string> ListWithFind(const std::string& pattern)
{
    std::vector<std::string> names;
    CFileFind find;
    for (BOOL bMore = find.FindFile(pattern.c_str()); bMore;) {
        bMore = find.FindNextFile();
        names.push_back(std::string(find.GetFileName()) + (find.IsDirectory() ? "/" : ""));
    }
    return names;
}

TEST(FakeFileServicesTest, ListsDotsThenChildrenByNameThroughTheFrameworkClass)
{
    FakeFileServices fake;
    fake.AddFile(NativePath("C:/src/b.txt"), 1);
    fake.AddFile(NativePath("C:/src/sub/deep.txt"), 1);
    fake.AddFolder(NativePath("C:/src/a"));
    // 表 ends with the byte 0x5C in Shift-JIS: one name, not a folder "\x95".
    fake.AddFile(NativePath("C:/src/\x95\x5C/in.txt"), 1);
    {
        ScopedFileServices use(fake);
        std::vector<std::string> expected = {"./", "../", "a/", "b.txt", "sub/", "\x95\x5C/"};
        EXPECT_EQ(ListWithFind(NativePath("C:/src/*.*")), expected);
        EXPECT_EQ(ListWithFind(NativePath("C:/src/b.txt")), std::vector<std::string>{"b.txt"});
        EXPECT_TRUE(ListWithFind(NativePath("C:/none/*.*")).empty());
    }
    EXPECT_EQ(&GetFileServices(), &GetRealFileServices());
    EXPECT_EQ(fake.Children(NativePath("C:/src/\x95\x5C")), std::vector<std::string>{"in.txt"});
}

TEST(FakeFileServicesTest, ADriveFaultCoversEverythingBelowAndCanClear)
{
    FakeFileServices fake;
    fake.AddFile(NativePath("E:/bk/a.txt"), 100, "old");
    fake.AddFile(NativePath("C:/src/a.txt"), 200, "new");
    fake.FailDrive("E:", ERROR_NOT_READY, 1);

    CFileStatus status;
    EXPECT_FALSE(fake.GetStatus(NativePath("E:/bk/a.txt").c_str(), status));
    EXPECT_EQ(fake.GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_TRUE(fake.GetStatus(NativePath("E:/bk/a.txt").c_str(), status));
    EXPECT_EQ(status.m_mtime.GetTime(), 100);
    EXPECT_EQ(fake.m_nStatusQueries, 2);

    fake.FailDrive(NativePath("E:/"), ERROR_NOT_READY);
    BOOL bAborted = TRUE;
    EXPECT_NE(fake.CopyFile(NativePath("C:/src/a.txt").c_str(), NativePath("E:/bk/a.txt").c_str(), 0x214, &bAborted), 0);
    EXPECT_EQ(fake.Content(NativePath("E:/bk/a.txt")), "old");
    EXPECT_EQ(fake.m_events, std::vector<std::string>{"copy " + NativePath("C:/src/a.txt") + " -> " +
                                                      NativePath("E:/bk/a.txt") + " FAILED"});
}

TEST(FakeFileServicesTest, RenameMovesAWholeFolderButNeverOntoAnExistingName)
{
    FakeFileServices fake;
    fake.AddFile(NativePath("D:/bk/data/sub/a.txt"), 5, "a");
    fake.AddFolder(NativePath("D:/bk/2_data"));

    EXPECT_FALSE(fake.RenameFile(NativePath("D:/bk/data").c_str(), NativePath("D:/bk/2_data").c_str()));
    EXPECT_EQ(fake.GetLastError(), FAKE_ERROR_EXISTS);
    EXPECT_TRUE(fake.RenameFile(NativePath("D:/bk/data").c_str(), NativePath("D:/bk/1_data").c_str()));

    std::vector<std::string> expected = {NativePath("D:/"), NativePath("D:/bk/"), NativePath("D:/bk/1_data/"),
                                         NativePath("D:/bk/1_data/sub/"), NativePath("D:/bk/1_data/sub/a.txt"),
                                         NativePath("D:/bk/2_data/")};
    EXPECT_EQ(fake.AllPaths(), expected);
    EXPECT_EQ(fake.m_nWrites, 2);
    EXPECT_EQ(fake.m_renamed.size(), 1u);
}

TEST(FakeFileServicesTest, CopyMakesFoldersSilentlyAndAnAbortChangesNothing)
{
    FakeFileServices fake;
    fake.AddFile(NativePath("C:/src/a.txt"), 7, "A");
    BOOL bAborted = TRUE;
    ASSERT_EQ(fake.CopyFile(NativePath("C:/src/a.txt").c_str(), NativePath("D:/bk/new/a.txt").c_str(), 0x210,
                            &bAborted),
              0);
    EXPECT_FALSE(bAborted);
    EXPECT_TRUE(fake.IsFolder(NativePath("D:/bk/new")));
    EXPECT_EQ(fake.MTime(NativePath("D:/bk/new/a.txt")), 7);
    EXPECT_TRUE(fake.m_createdFolders.empty());

    fake.AddFile(NativePath("C:/src/b.txt"), 8, "B");
    fake.AbortCopy(NativePath("C:/src/b.txt"));
    EXPECT_EQ(fake.CopyFile(NativePath("C:/src/b.txt").c_str(), NativePath("D:/bk/new/b.txt").c_str(), 0x210,
                            &bAborted),
              static_cast<int>(FAKE_ERROR_CANCELLED));
    EXPECT_TRUE(bAborted);
    EXPECT_FALSE(fake.IsFile(NativePath("D:/bk/new/b.txt")));
    EXPECT_EQ(fake.m_copyFlags, (std::vector<UINT>{0x210, 0x210}));
}

TEST(FakeFileServicesTest, MessageBoxAnswersComeFromTheQueueThenCancel)
{
    FakeFileServices fake;
    fake.QueueMessageBoxAnswer(IDRETRY);
    EXPECT_EQ(fake.ShowMessageBox("text", "Tandemix", 0x35), IDRETRY);
    EXPECT_EQ(fake.ShowMessageBox("text", "Tandemix", 0x35), IDCANCEL);
    ASSERT_EQ(fake.m_messageBoxes.size(), 2u);
    EXPECT_EQ(fake.m_messageBoxes[0].nStyle, 0x35u);
}

}  // namespace
