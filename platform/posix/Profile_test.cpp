#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/TestFiles.h"

namespace {

class PosixProfileTest : public testing::Test {
protected:
    TempDir m_dir;
    const std::string m_ini = m_dir.Join("Tandemix.ini");
};

// A value is cut at a character boundary; a write that would damage the
// file (a character Shift-JIS lacks, a line end, a '=' in a key, a ']' in
// a section) is refused and leaves it as it was.
TEST_F(PosixProfileTest, ValuesAreCutWholeAndDamagingWritesRefused)
{
    std::string original;
    ASSERT_TRUE(ConvertText("[全般]\nキー=あいう\n", ENCODING_UTF8, ENCODING_SHIFT_JIS, original));
    ASSERT_TRUE(WriteFileBytes(m_ini, original));
    CProfile profile;
    ASSERT_EQ(PROFILE_READ, profile.Load(m_ini.c_str()));
    for (const auto& c : {std::make_pair(10u, "あいう"), std::make_pair(9u, "あい"), std::make_pair(6u, "あ")}) {
        char szBuffer[16];
        memset(szBuffer, 'z', sizeof szBuffer);
        EXPECT_EQ(strlen(c.second), profile.ReadString("全般", "キー", szBuffer, c.first)) << c.first;
        EXPECT_STREQ(c.second, szBuffer) << c.first;
        EXPECT_EQ('z', szBuffer[c.first]) << c.first;
    }
    EXPECT_FALSE(WriteProfileString("全般", "k", u8"\U0001F600", m_ini.c_str()));
    EXPECT_FALSE(WriteProfileString("全般", "k", "a\nb", m_ini.c_str()));
    EXPECT_FALSE(WriteProfileString("全般", "k=j", "v", m_ini.c_str()));
    EXPECT_FALSE(WriteProfileString("全般]", "k", "v", m_ini.c_str()));
    EXPECT_EQ(original, ReadFileBytes(m_ini));
}

}  // namespace
