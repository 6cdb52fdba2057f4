#include "engine/BackupReport.h"

#include <gtest/gtest.h>

#include <string>

#include "PlatformTypes.h"

namespace {

TEST(JoinForLogTest, JoinsWhatFitsAndCutsWhatDoesNotAtACharacterBoundary)
{
    // 表 is two bytes on Windows (its second byte is 0x5C) and three in UTF-8.
    const std::string wide = "表";
    std::string name = "ab";
    for (int i = 0; i < 20; i++)
        name += wide;
    for (size_t nSize = 8; nSize < name.size() + 8; nSize++) {
        SCOPED_TRACE(nSize);
        char szOut[128];
        JoinForLog(szOut, nSize, "ab", name.c_str() + 2, nullptr);
        std::string out = szOut;
        ASSERT_LT(out.size(), nSize);
        if (name.size() < nSize) {
            EXPECT_EQ(name, out);
            continue;
        }
        ASSERT_EQ("...", out.substr(out.size() - 3));
        std::string kept = out.substr(0, out.size() - 3);
        EXPECT_EQ(0u, name.rfind(kept, 0));
        EXPECT_EQ(0u, kept.size() < 2 ? 0u : (kept.size() - 2) % wide.size());
        // Nothing that would have fitted was left out.
        EXPECT_GT(kept.size() + wide.size() + 3, nSize - 1);
    }
}

TEST(JoinForLogTest, NullPartsAreNothing)
{
    char szOut[32];
    JoinForLog(szOut, sizeof(szOut), nullptr, "a", nullptr);
    EXPECT_STREQ("a", szOut);
    JoinForLog(szOut, sizeof(szOut), nullptr);
    EXPECT_STREQ("", szOut);
}

}  // namespace
