#include "config/IniFile.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// Shift-JIS bytes, spelled out: the narrow literals of the Windows build
// are Shift-JIS and those of the POSIX build UTF-8, but these tests give the
// reader the same bytes on both.
#define SJ_ZENPAN "\x91\x53\x94\xCA"  // 全般
#define SJ_A "\x83\x41"               // ア: second byte 'A'
#define SJ_DI "\x83\x61"              // ヂ: second byte 'a'
#define SJ_ZO "\x83\x5D"              // ゾ: second byte ']'
#define SJ_SO "\x83\x5C"              // ソ: second byte '\'

struct ReadCase {
    const char* pszName;
    TextEncoding nEncoding;
    const char* pszText;
    const char* pszSection;
    const char* pszKey;
    bool bFound;
    const char* pszValue;
};

const ReadCase READ_CASES[] = {
    {"CR LF line ends", ENCODING_UTF8, "[s]\r\nk=v\r\nj=w\r\n", "s", "j", true, "w"},
    {"CR line ends", ENCODING_UTF8, "[s]\rk=v\rj=w\r", "s", "j", true, "w"},
    {"LF line ends", ENCODING_UTF8, "[s]\nk=v\nj=w\n", "s", "j", true, "w"},
    {"mixed line ends", ENCODING_UTF8, "[t]\r\n[s]\rk=v\n\r\nj=w", "s", "j", true, "w"},
    {"last line without an end", ENCODING_UTF8, "[s]\nk=v", "s", "k", true, "v"},
    {"blank lines", ENCODING_UTF8, "\n \t\n[s]\n\n\r\n\nk=v\n\n", "s", "k", true, "v"},
    {"blanks trimmed, inner kept", ENCODING_UTF8, " \t[ \tmy s\t ]\t\n \t my k \t= \t v  w \t\n",
     "my s", "my k", true, "v  w"},
    {"section ends at the first ]", ENCODING_UTF8, "[s]x]\nk=v\n", "s", "k", true, "v"},
    {"no section named past the first ]", ENCODING_UTF8, "[s]x]\nk=v\n", "s]x", "k", false, ""},
    {"text after ] ignored", ENCODING_UTF8, "[s] ; the first\nk=v\n", "s", "k", true, "v"},
    {"split at the first =", ENCODING_UTF8, "[s]\nk = a=b\n", "s", "k", true, "a=b"},
    {"no = reads as missing", ENCODING_UTF8, "[s]\nk\n", "s", "k", false, ""},
    {"first key without = decides", ENCODING_UTF8, "[s]\nk\nk=v\n", "s", "k", false, ""},
    {"empty value is present", ENCODING_UTF8, "[s]\nk=  \n", "s", "k", true, ""},
    {"names ignore case", ENCODING_UTF8, "[SeCtIoN]\nMy_KEY=v\n", "sEcTiOn", "my_key", true, "v"},
    {"only A-Z fold", ENCODING_UTF8, u8"[\u00C4]\nk=v\n", u8"\u00E4", "k", false, ""},
    {"first matching section only", ENCODING_UTF8, "[s]\na=1\n[S]\nk=2\n", "s", "k", false, ""},
    {"first matching key wins", ENCODING_UTF8, "[s]\nk=1\nK=2\n", "s", "k", true, "1"},
    {"keys of other sections", ENCODING_UTF8, "[a]\nk=1\n[b]\nk=2\n", "b", "k", true, "2"},
    {"keys before any section", ENCODING_UTF8, "k=v\n[s]\n", "s", "k", false, ""},
    {"double quotes removed", ENCODING_UTF8, "[s]\nk=\" v \"\n", "s", "k", true, " v "},
    {"single quotes removed", ENCODING_UTF8, "[s]\nk='v'\n", "s", "k", true, "v"},
    {"one pair only", ENCODING_UTF8, "[s]\nk=\"\"v\"\"\n", "s", "k", true, "\"v\""},
    {"unmatched quotes stay", ENCODING_UTF8, "[s]\nk=\"v'\n", "s", "k", true, "\"v'"},
    {"a lone quote stays", ENCODING_UTF8, "[s]\nk=\"\n", "s", "k", true, "\""},
    {"comment lines", ENCODING_UTF8, "[s]\n;k=1\n  ; k=2\nk=3\n", "s", "k", true, "3"},
    {"a commented key is missing", ENCODING_UTF8, "[s]\n;k=1\n", "s", "k", false, ""},
    {"text after a value is part of it", ENCODING_UTF8, "[s]\nk=v ;x\n", "s", "k", true, "v ;x"},
    {"an unclosed [ line is ignored", ENCODING_UTF8, "[s]\n[t\nk=v\n", "s", "k", true, "v"},
    {"UTF-8 names", ENCODING_UTF8, u8"[全般]\nログファイル名=backup.log\n", u8"全般", u8"ログファイル名",
     true, "backup.log"},
    {"Shift-JIS names", ENCODING_SHIFT_JIS, "[" SJ_ZENPAN "]\nk=" SJ_SO "\n", SJ_ZENPAN, "k", true, SJ_SO},
    {"Shift-JIS second bytes do not fold", ENCODING_SHIFT_JIS, "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=2\n", SJ_A,
     "k", true, "2"},
    {"Shift-JIS second byte ] in a name", ENCODING_SHIFT_JIS, "[" SJ_ZO "]\nk=v\n", SJ_ZO, "k", true, "v"},
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.pszName;
}

class IniReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, FindsValue)
{
    const ReadCase& c = GetParam();
    std::string value = "left over";
    EXPECT_EQ(c.bFound, FindIniValue(c.pszText, c.nEncoding, c.pszSection, c.pszKey, value));
    EXPECT_EQ(c.pszValue, value);
}

std::string CaseName(const char* pszName)
{
    std::string name;
    for (const char* p = pszName; *p != '\0'; p++)
        name += ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Reader, IniReadTest, testing::ValuesIn(READ_CASES),
                         [](const testing::TestParamInfo<ReadCase>& info) {
                             return CaseName(info.param.pszName);
                         });

struct WriteCase {
    const char* pszName;
    TextEncoding nEncoding;
    const char* pszBefore;
    const char* pszSection;
    const char* pszKey;
    const char* pszLineEnd;
    const char* pszAfter;
};

const WriteCase WRITE_CASES[] = {
    {"replaces in place", ENCODING_UTF8, "[s]\nk=old\nj=1\n", "s", "k", "\n", "[s]\nk=NEW\nj=1\n"},
    {"keeps blanks, drops quotes", ENCODING_UTF8, "[s]\r\n  k = \"old\"  \r\n", "s", "k", "\r\n",
     "[s]\r\n  k = NEW  \r\n"},
    {"fills an empty value", ENCODING_UTF8, "[s]\nk=\nj=1", "s", "k", "\n", "[s]\nk=NEW\nj=1"},
    {"gives a bare key its value", ENCODING_UTF8, "[s]\n k \nj=1\n", "s", "k", "\n", "[s]\n k=NEW\nj=1\n"},
    {"matches names without case", ENCODING_UTF8, "[S]\nK=1\n", "s", "k", "\n", "[S]\nK=NEW\n"},
    {"adds after the section's last line", ENCODING_UTF8, "[s]\na=1\n; note\n\n[t]\nb=2\n", "s", "k", "\n",
     "[s]\na=1\n; note\nk=NEW\n\n[t]\nb=2\n"},
    {"adds to the first of two sections", ENCODING_UTF8, "[s]\na=1\n[s]\nk=2\n", "s", "k", "\n",
     "[s]\na=1\nk=NEW\n[s]\nk=2\n"},
    {"adds at an end without line end", ENCODING_UTF8, "[s]\r\na=1", "s", "k", "\r\n", "[s]\r\na=1\r\nk=NEW"},
    {"adds below a lone header", ENCODING_UTF8, "[s]", "s", "k", "\n", "[s]\nk=NEW"},
    {"appends the section", ENCODING_UTF8, "[t]\r\nb=2\r\n", "s", "k", "\r\n", "[t]\r\nb=2\r\n[s]\r\nk=NEW\r\n"},
    {"appends after a last line without end", ENCODING_UTF8, "[t]\rb=2", "s", "k", "\r", "[t]\rb=2\r[s]\rk=NEW\r"},
    {"fills an empty text", ENCODING_UTF8, "", "s", "k", "\n", "[s]\nk=NEW\n"},
    {"Shift-JIS section", ENCODING_SHIFT_JIS, "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=2\n", SJ_A, "k", "\n",
     "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=NEW\n"},
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.pszName;
}

class IniWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheKey)
{
    const WriteCase& c = GetParam();
    std::string text = c.pszBefore;
    SetIniValue(text, c.nEncoding, c.pszSection, c.pszKey, "NEW", c.pszLineEnd);
    EXPECT_EQ(c.pszAfter, text);
    std::string value;
    EXPECT_TRUE(FindIniValue(text, c.nEncoding, c.pszSection, c.pszKey, value));
    EXPECT_EQ("NEW", value);
}

INSTANTIATE_TEST_SUITE_P(Writer, IniWriteTest, testing::ValuesIn(WRITE_CASES),
                         [](const testing::TestParamInfo<WriteCase>& info) {
                             return CaseName(info.param.pszName);
                         });

TEST(IniEncoding, ValidUtf8OrByteOrderMarkMeansUtf8)
{
    const struct {
        const char* pszBytes;
        size_t nLength;
        TextEncoding nExpected;
    } cases[] = {
        {"", 0, ENCODING_UTF8},
        {"[s]\nk=v\n", 8, ENCODING_UTF8},
        {u8"[全般]", 8, ENCODING_UTF8},
        {"\xF0\x9F\x98\x80", 4, ENCODING_UTF8},
        {"[" SJ_ZENPAN "]", 6, ENCODING_SHIFT_JIS},
        {"k=" SJ_SO, 4, ENCODING_SHIFT_JIS},
        {"\xEF\xBB\xBF" "k=" SJ_SO, 7, ENCODING_UTF8},
        {"\xC0\xAF", 2, ENCODING_SHIFT_JIS},           // overlong '/'
        {"\xED\xA0\x80", 3, ENCODING_SHIFT_JIS},       // a surrogate
        {"\xF4\x90\x80\x80", 4, ENCODING_SHIFT_JIS},   // above U+10FFFF
        {"\xE3\x81", 2, ENCODING_SHIFT_JIS},           // cut short
        {"a\0b", 3, ENCODING_UTF8},
    };
    for (const auto& c : cases) {
        const std::string bytes(c.pszBytes, c.nLength);
        EXPECT_EQ(c.nExpected, DetectIniEncoding(bytes)) << testing::PrintToString(bytes);
    }
    EXPECT_EQ(3u, GetIniBomLength("\xEF\xBB\xBF[s]"));
    EXPECT_EQ(0u, GetIniBomLength("\xEF\xBB"));
}

TEST(IniLineEnd, FirstLineEndDecides)
{
    EXPECT_STREQ("\r\n", DetectIniLineEnd("[s]\r\nk=v\n"));
    EXPECT_STREQ("\n", DetectIniLineEnd("[s]\nk=v\r\n"));
    EXPECT_STREQ("\r", DetectIniLineEnd("[s]\rk=v\r\n"));
    EXPECT_STREQ("\r", DetectIniLineEnd("[s]\r"));
    EXPECT_STREQ("\n", DetectIniLineEnd("[s]"));
}

}  // namespace
