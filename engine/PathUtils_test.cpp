#include "engine/PathUtils.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

// A character of more than one byte: 表 (its Shift-JIS form ends in 0x5C).
const std::string WIDE = "表";

TEST(SafeCopyCatTest, NeverWritesPastTheBuffer)
{
    // The wide character straddles the last byte of the room.
    const std::string copyCut = "123456" + WIDE;
    const std::string catCut = "def" + WIDE;
    const struct {
        const char* pszWhat;
        bool bCat;
        std::string initial;
        const char* pszSrc;
        size_t nSize;
        std::string expected;
        BOOL bExpected;
    } cases[] = {
        {"copy null", false, "old", nullptr, 8, "", TRUE},
        {"copy exact fit", false, "", "1234567", 8, "1234567", TRUE},
        {"copy one over", false, "", "12345678", 8, "1234567", FALSE},
        {"copy cut before a wide character", false, "", copyCut.c_str(), 8, "123456", FALSE},
        {"copy into one byte", false, "", "a", 1, "", FALSE},
        {"cat null", true, "abc", nullptr, 8, "abc", TRUE},
        {"cat exact fit", true, "abc", "defg", 8, "abcdefg", TRUE},
        {"cat one over", true, "abc", "defgh", 8, "abcdefg", FALSE},
        {"cat cut before a wide character", true, "abc", catCut.c_str(), 8, "abcdef", FALSE},
        {"cat onto a full buffer", true, "abcdefg", "h", 8, "abcdefg", FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        // The buffer sits inside a larger one whose tail must stay untouched.
        char szArea[32];
        memset(szArea, '#', sizeof szArea);
        memcpy(szArea, c.initial.c_str(), c.initial.size() + 1);
        EXPECT_EQ(c.bExpected, c.bCat ? SafeCat(szArea, c.nSize, c.pszSrc) : SafeCopy(szArea, c.nSize, c.pszSrc));
        EXPECT_EQ(c.expected, szArea);
        EXPECT_EQ(std::string(sizeof szArea - c.nSize, '#'), std::string(szArea + c.nSize, sizeof szArea - c.nSize));
    }
}

}  // namespace
