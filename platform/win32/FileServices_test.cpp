// What only the Windows services do: a drive root has no entry of its own,
// and names cross to UTF-16 and to the log's Shift-JIS.
#include <gtest/gtest.h>

#include "WideText.h"
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

TEST(WideTextTest, NamesCrossToUtf16AndBackAndToShiftJis)
{
    const struct {
        std::string utf8;
        std::wstring wide;   // empty: refused
        std::string sjis;
    } cases[] = {
        {"emoji😀.txt", L"emoji\xD83D\xDE00.txt", "emoji?.txt"},  // one mark for one character
        {"a\xED\xA0\x80z", L"a\xD800z", "a?z"},                  // a lone surrogate, as NTFS allows
        {"a\xC0\xAFz", L"", "a??z"},                             // an overlong '/' is no text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::wstring wide;
        EXPECT_EQ(!c.wide.empty(), WideFromUtf8(c.utf8.c_str(), wide) != FALSE);
        if (!c.wide.empty()) {
            EXPECT_TRUE(c.wide == wide);
            EXPECT_EQ(c.utf8, Utf8FromWide(wide));
        }
        EXPECT_EQ(c.sjis, ShiftJisFromUtf8(c.utf8.c_str()));
    }
}

TEST(WideTextTest, LongPathsTakeThePrefixShortOnesStayAsWritten)
{
    const std::string name(300, 'n');
    const struct {
        std::string path;
        std::wstring expected;
    } cases[] = {
        {"C:\\", L"C:\\"},
        {"C:\\a\\..\\" + name, L"\\\\?\\C:\\" + std::wstring(name.begin(), name.end())},
        {"\\\\srv\\pub\\" + name, L"\\\\?\\UNC\\srv\\pub\\" + std::wstring(name.begin(), name.end())},
    };
    for (const auto& c : cases) {
        std::wstring wide;
        ASSERT_TRUE(WidePath(c.path.c_str(), wide));
        EXPECT_TRUE(c.expected == wide) << c.path.substr(0, 20);
    }
}

}  // namespace
