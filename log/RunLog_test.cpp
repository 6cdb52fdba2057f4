#include "log/RunLog.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace {

class RunLogTest : public testing::Test {
protected:
    ~RunLogTest() override { CloseRunLog(); }

    TempDir m_temp;
    const std::string m_path = m_temp.Join("run.log");
};

// A name can hold anything; the log shows it without letting it start a
// line of its own or act on a terminal, distinct names show distinctly, and
// a line too long for its buffer is cut, not dropped.  Windows writes every
// escape as \u and four hex digits, and its separators as they are.
TEST_F(RunLogTest, NamesAreEscapedAndLongLinesCut)
{
    std::string longName;
    for (int i = 0; i < 5000; i++)
        longName += "あ";
    const size_t nMark = strlen("…");
    std::string cut;
    while (cut.size() + strlen("あ") + nMark <= 8191)
        cut += "あ";
    const bool bWindows = PATH_SEP == '\\';
    const struct {
        std::string text;
        std::string posix;
        std::string windows;
    } cases[] = {
        {"x\n2026/01/01 00:00:00  done", "x\\n2026/01/01 00:00:00  done", "x\\u000a2026/01/01 00:00:00  done"},
        {"\t\r\x1b[31m\x7f", "\\t\\r\\x1b[31m\\x7f", "\\u0009\\u000d\\u001b[31m\\u007f"},
        {"a\xff\xfe" "b", "a\\xff\\xfeb", "a\\ufffd\\ufffdb"},  // no text in any encoding
        // A surrogate (a Windows name's lone one), an overlong '/'.
        {"\xed\xa0\x80" "\xe0\x80\xaf", "\\xed\\xa0\\x80\\xe0\\x80\\xaf", "\\ud800\\ufffd\\ufffd\\ufffd"},
        {"a\xc2\x9b" "31m\xc2\xa0", "a\\u009b31m\xc2\xa0", "a\\u009b31m?"},  // C1 CSI; no-break space, not in Shift-JIS
        {"\xe2\x80\xae" "fdp.exe\xe2\x81\xa9", "\\u202efdp.exe\\u2069", "\\u202efdp.exe\\u2069"},
        {"a\\nb\\u202e", "a\\\\nb\\\\u202e", "a\\nb\\u005cu202e"},
        {"a\xf0\x9f\x98\x80" "b\xe3\x82\xbd", "a\xf0\x9f\x98\x80" "b\xe3\x82\xbd", "a?b\xe3\x82\xbd"},  // four bytes, three
        // What needs escaping after runs of plain text longer than a word.
        {"0123456789\x7f" "abcdefghij\\" "klmnopqrstuv\x1b" "wxyz01234567\xe3\x82\xbd",
         "0123456789\\x7fabcdefghij\\\\klmnopqrstuv\\x1bwxyz01234567\xe3\x82\xbd",
         "0123456789\\u007fabcdefghij\\klmnopqrstuv\\u001bwxyz01234567\xe3\x82\xbd"},
        {"a" + std::string(9000, 'b'), "a" + std::string(8191 - 1 - nMark, 'b') + "…", ""},
        {longName, cut + "…", ""},
    };
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    for (const auto& c : cases)
        EXPECT_TRUE(WriteLogFormat(LOG_RESULT, "%s", c.text.c_str()));
    CloseRunLog();
    std::vector<std::string> expected;
    for (const auto& c : cases)
        expected.push_back(bWindows && !c.windows.empty() ? c.windows : c.posix);
    EXPECT_EQ(expected, ReadLogTexts(m_path));
}

// The walk's formats (%s, %d) are recorded and made later; any other, or
// one with many arguments, is made by the C library at once.  Either way a
// line reads as printf would write it, with its names escaped, and the
// lines keep the order they were asked for in.
TEST_F(RunLogTest, EveryFormatReadsAsPrintfWouldWriteIt)
{
    const std::string tab = PATH_SEP == '\\' ? "\\u0009" : "\\t";
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLogFormat(LOG_RESULT, "%s=%d, %d%% %d", "名前", -12, INT_MIN, 7);
    WriteLog(LOG_RESULT, "between");
    WriteLogFormat(LOG_RESULT, "%x/%lx %s", 255u, 31ul, "a\tb");
    WriteLogFormat(LOG_RESULT, "%s%s%s%s%s%s%s%s%s%s%s%s%s", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c",
                   "d\t");
    CloseRunLog();
    const std::vector<std::string> expected = {"名前=-12, -2147483648% 7", "between", "ff/1f a" + tab + "b",
                                               "123456789abcd" + tab};
    EXPECT_EQ(expected, ReadLogTexts(m_path));
}

// A long run's lines pass through many hand-overs to the log's thread, one
// of them larger than a whole hand-over, and all come out in order.
TEST_F(RunLogTest, ManyLinesComeOutInOrder)
{
    const int nLines = 20000;
    const std::string huge(100000, 'h');
    auto nameOf = [&](int i) { return i == 7000 ? huge : std::string(static_cast<size_t>(i % 300), 'n'); };
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    for (int i = 0; i < nLines; i++)
        WriteLogFormat(LOG_RESULT, "%d %s", i, nameOf(i).c_str());
    EXPECT_TRUE(CloseRunLog());
    const std::vector<std::string> lines = ReadLogTexts(m_path);
    ASSERT_EQ(static_cast<size_t>(nLines), lines.size());
    for (int i = 0; i < nLines; i++) {
        const std::string expected = std::to_string(i) + " " + nameOf(i);
        if (i == 7000)
            ASSERT_EQ(expected.substr(0, 8000), lines[i].substr(0, 8000));
        else
            ASSERT_EQ(expected, lines[i]);
    }
}

// A Shift-JIS log stays Shift-JIS: what it cannot hold becomes '?'.
TEST_F(RunLogTest, CharactersShiftJisLacksBecomeQuestionMarks)
{
    g_logFile.SetTextEncoding(ENCODING_SHIFT_JIS);
    ASSERT_TRUE(OpenRunLog(m_path.c_str()));
    WriteLog(LOG_RESULT, "a\xED\x95\x9C" "b\xE3\x82\xBD");  // a, the Hangul 한, b, ソ in UTF-8
    CloseRunLog();
    g_logFile.SetTextEncoding(ENCODING_NATIVE);
    const std::string bytes = ReadFileBytes(m_path);
    EXPECT_NE(std::string::npos, bytes.find("  a?b\x83\x5C")) << bytes;
}

}  // namespace
