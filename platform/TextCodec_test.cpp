#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CodecCase {
    const char* pszShiftJis;
    const char* pszUtf8;
};

const CodecCase PAIRS[] = {
    {"\x91\x53\x94\xCA", u8"全般"},
    {"\x83\x5C\x95\x5C", u8"ソ表"},      // second bytes 0x5C
    {"\xB1\xB2", u8"ｱｲ"},                  // half-width katakana: one byte each
    {"\x87\x40", u8"①"},                   // NEC row, only in code page 932
    {"C:\\Data\\a.txt", "C:\\Data\\a.txt"},
};

TEST(ConvertText, ShiftJisAndUtf8BothWays)
{
    for (const CodecCase& c : PAIRS) {
        std::string out;
        EXPECT_TRUE(ConvertText(c.pszShiftJis, ENCODING_SHIFT_JIS, ENCODING_UTF8, out)) << c.pszUtf8;
        EXPECT_EQ(c.pszUtf8, out);
        EXPECT_TRUE(ConvertText(c.pszUtf8, ENCODING_UTF8, ENCODING_SHIFT_JIS, out)) << c.pszUtf8;
        EXPECT_EQ(c.pszShiftJis, out);
    }
}

TEST(ConvertText, NativeLiteralsAreTheProgramsEncoding)
{
    // Shift-JIS on Windows (the literal is compiled to code page 932), UTF-8
    // on POSIX: either way the same Shift-JIS bytes come out.
    std::string out;
    EXPECT_TRUE(ConvertText("全般", ENCODING_NATIVE, ENCODING_SHIFT_JIS, out));
    EXPECT_EQ("\x91\x53\x94\xCA", out);
    EXPECT_TRUE(ConvertText("\x91\x53\x94\xCA", ENCODING_SHIFT_JIS, ENCODING_NATIVE, out));
    EXPECT_EQ("全般", out);
}

TEST(ConvertText, RefusesWhatCannotBeConverted)
{
    const struct {
        const char* pszName;
        std::string in;
        TextEncoding from;
        TextEncoding to;
    } cases[] = {
        {"a lead byte at the end", "ab\x91", ENCODING_SHIFT_JIS, ENCODING_UTF8},
        {"a malformed UTF-8 sequence", "a\xC3\x28", ENCODING_UTF8, ENCODING_SHIFT_JIS},
        {"a character Shift-JIS lacks", u8"a\U0001F600", ENCODING_UTF8, ENCODING_SHIFT_JIS},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_FALSE(ConvertText(c.in, c.from, c.to, out)) << c.pszName;
    }
}

TEST(ConvertText, EmptyStaysEmpty)
{
    std::string out = "x";
    EXPECT_TRUE(ConvertText("", ENCODING_UTF8, ENCODING_SHIFT_JIS, out));
    EXPECT_EQ("", out);
}

}  // namespace
