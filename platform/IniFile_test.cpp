#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Shift-JIS bytes spelled out, so that both builds give the reader the same.
#define SJ_ZENPAN "\x91\x53\x94\xCA"  // 全般
#define SJ_A "\x83\x41"               // ア: second byte 'A'
#define SJ_DI "\x83\x61"              // ヂ: second byte 'a'
#define SJ_ZO "\x83\x5D"              // ゾ: second byte ']'
#define SJ_SO "\x83\x5C"              // ソ: second byte '\'

const TextEncoding U8 = ENCODING_UTF8;
const TextEncoding SJ = ENCODING_SHIFT_JIS;

// Each behaviour of the Windows profile functions that our reader copies.
TEST(IniFileTest, FindsValuesAsTheProfileFunctionsDo)
{
    const struct {
        TextEncoding nEncoding;
        const char* pszText;
        const char* pszSection;
        const char* pszKey;
        bool bFound;
        const char* pszValue;
    } cases[] = {
        {U8, "[t]\r\n[s]\rk=v\n\r\nj=w", "s", "j", true, "w"},  // CR, LF, CR LF, a blank line, no last line end
        {U8, " \t[ \tmy s\t ]\t\n \t my k \t= \t v  w \t\n", "my s", "my k", true, "v  w"},
        {U8, "[s]x]\nk=v\n", "s]x", "k", true, "v"},  // the name ends at the last ']'
        {U8, "[s] ;old [x]\nk=v\n", "s", "k", false, ""},
        {U8, "[s] ; the first\nk=v\n", "s", "k", true, "v"},
        {U8, "[s]\n\x0c\x0bk\x1a=\x0cv\x1a\x1a", "s", "k", true, "v"},  // form feed, Ctrl-Z trimmed
        {U8, "[s]\nk = a=b\n", "s", "k", true, "a=b"},
        {U8, "[s]\nk\nk=v\n", "s", "k", false, ""},  // a line without '=' is a key without value
        {U8, "[s]\nk=  \n", "s", "k", true, ""},
        {U8, "[SeCtIoN]\nMy_KEY=v\n", "sEcTiOn", "my_key", true, "v"},
        {U8, u8"[\u00C4]\nk=v\n", u8"\u00E4", "k", false, ""},  // only A-Z fold
        {U8, "[s]\na=1\n[S]\nk=2\n", "s", "k", false, ""},      // the first matching section only
        {U8, "[s]\nk=1\nK=2\n", "s", "k", true, "1"},
        {U8, "k=v\n[s]\n", "s", "k", false, ""},
        {U8, "[s]\nk=\" v \"\n", "s", "k", true, " v "},
        {U8, "[s]\nk='v'\n", "s", "k", true, "v"},
        {U8, "[s]\nk=\"\"v\"\"\n", "s", "k", true, "\"v\""},
        {U8, "[s]\nk=\"v'\n", "s", "k", true, "\"v'"},
        {U8, "[s]\n;k=1\n  ; k=2\nk=3\n", "s", "k", true, "3"},
        {U8, "[s]\nk=v ;x\n", "s", "k", true, "v ;x"},
        {SJ, "[" SJ_ZENPAN "]\nk=" SJ_SO "\n", SJ_ZENPAN, "k", true, SJ_SO},
        {SJ, "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=2\n", SJ_A, "k", true, "2"},  // second bytes never fold
        {SJ, "[" SJ_ZO "]\nk=v\n", SJ_ZO, "k", true, "v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.pszText)));
        std::string value = "left over";
        EXPECT_EQ(c.bFound, FindIniValue(c.pszText, c.nEncoding, c.pszSection, c.pszKey, value));
        EXPECT_EQ(c.pszValue, value);
    }
}

// A write changes only the bytes it has to.
TEST(IniFileTest, SetsAValueInPlaceOrAtTheEndOfItsSection)
{
    const struct {
        TextEncoding nEncoding;
        const char* pszBefore;
        const char* pszSection;
        const char* pszLineEnd;
        const char* pszAfter;
    } cases[] = {
        {U8, "[s]\r\n  k = \"old\"  \r\nj=1\r\n", "s", "\r\n", "[s]\r\n  k = NEW  \r\nj=1\r\n"},
        {U8, "[S]\n k \nj=1", "s", "\n", "[S]\n k=NEW\nj=1"},
        {U8, "[s]\na=1\n; note\n\n[t]\nb=2\n", "s", "\n", "[s]\na=1\n; note\nk=NEW\n\n[t]\nb=2\n"},
        {U8, "[s]\na=1\n[s]\nk=2\n", "s", "\n", "[s]\na=1\nk=NEW\n[s]\nk=2\n"},
        {U8, "[s]\r\na=1", "s", "\r\n", "[s]\r\na=1\r\nk=NEW"},
        {U8, "[t]\rb=2", "s", "\r", "[t]\rb=2\r[s]\rk=NEW\r"},
        {U8, "", "s", "\n", "[s]\nk=NEW\n"},
        {SJ, "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=2\n", SJ_A, "\n", "[" SJ_DI "]\nk=1\n[" SJ_A "]\nk=NEW\n"},
    };
    for (const auto& c : cases) {
        std::string text = c.pszBefore;
        SetIniValue(text, c.nEncoding, c.pszSection, "k", "NEW", c.pszLineEnd);
        EXPECT_EQ(c.pszAfter, text) << testing::PrintToString(std::string(c.pszBefore));
    }
}

TEST(IniFileTest, EncodingIsTheOneWithFewerDecodeErrors)
{
    const struct {
        std::string bytes;
        TextEncoding nExpected;
        size_t nBadLine;  // the first line that does not decode in it
    } cases[] = {
        {u8"[全般]", U8, 0},
        {"[" SJ_ZENPAN "]", SJ, 0},
        {"\xEF\xBB\xBF" "k=" SJ_SO, U8, 1},
        {"\xC0\xAF", SJ, 0},   // overlong '/'
        {"\xE3\x81", SJ, 0},   // cut short
        // One stray byte never flips a file: a Latin-1 e in a comment, also
        // where the rest would pass for Shift-JIS byte by byte.
        {u8"[全般]\n; caf\xE9\nk=v\n", U8, 2},
        {u8"[全般]\n; caf\xE9" "au lait\n", U8, 2},
        {"k=v\n\xE9t\n", U8, 2},                // ASCII apart from the byte
        {"k=v\r\n\xE9t\xE9t\r\n", SJ, 0},   // two such pairs: the Shift-JIS reading wins
        {"[" SJ_ZENPAN "]\r\n\xFF\r\n", SJ, 2},
    };
    for (const auto& c : cases) {
        size_t nBadLine = 99;
        EXPECT_EQ(c.nExpected, DetectIniEncoding(c.bytes, &nBadLine)) << testing::PrintToString(c.bytes);
        EXPECT_EQ(c.nBadLine, nBadLine) << testing::PrintToString(c.bytes);
    }
    EXPECT_EQ(3u, GetIniBomLength("\xEF\xBB\xBF[s]"));
}

}  // namespace
