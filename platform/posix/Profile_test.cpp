#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "config/BackupConfig.h"
#include "support/CurrentDir.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// One way a settings file can be written on POSIX.
struct FileForm {
    const char* pszName;
    TextEncoding nEncoding;
    bool bBom;
    const char* pszLineEnd;
};

// Text written with '\n' line ends, in the form's encoding and line ends.
std::string Encode(const std::string& text, const FileForm& form)
{
    std::string lines;
    for (char c : text) {
        if (c == '\n')
            lines += form.pszLineEnd;
        else
            lines += c;
    }
    std::string bytes;
    EXPECT_TRUE(ConvertText(lines, ENCODING_UTF8, form.nEncoding, bytes));
    return (form.bBom ? "\xEF\xBB\xBF" : "") + bytes;
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

void PrintTo(const FileForm& c, std::ostream* os)
{
    *os << c.pszName;
}

class ProfileFormTest : public testing::TestWithParam<FileForm> {
protected:
    TempDir m_dir;
};

TEST_P(ProfileFormTest, SavingTheWindowChangesOnlyItsFourKeys)
{
    const FileForm& form = GetParam();
    const std::string before =
        "; Tandemix\n"
        "[全般]\n"
        "バックアップセット数=1\n"
        "ウィンドウ位置X=5\n"
        "  ウィンドウ位置Y = 7 ; old\n"
        "ウィンドウサイズY=\"9\"\n"
        "画面表示レベル=2\n"
        "\n"
        "[バックアップセット1]\n"
        "バックアップ元=/data/ソース\n"
        "バックアップ先=/bk\n";
    const std::string after =
        "; Tandemix\n"
        "[全般]\n"
        "バックアップセット数=1\n"
        "ウィンドウ位置X=-8\n"
        "  ウィンドウ位置Y = 20\n"
        "ウィンドウサイズY=1100\n"
        "画面表示レベル=2\n"
        "ウィンドウサイズX=1930\n"
        "\n"
        "[バックアップセット1]\n"
        "バックアップ元=/data/ソース\n"
        "バックアップ先=/bk\n";
    const std::string path = m_dir.Join("Tandemix.ini");
    ASSERT_TRUE(WriteFileBytes(path, Encode(before, form)));
    ASSERT_EQ(0, chmod(path.c_str(), 0640));

    CurrentDir inFolder{fs::path(m_dir.Path())};
    ASSERT_TRUE(inFolder.IsChanged());
    CBackupConfig config("Tandemix.ini");
    EXPECT_EQ(form.nEncoding, config.m_nTextEncoding);
    ASSERT_NE(nullptr, config.m_pSets[0]);
    EXPECT_STREQ("/data/ソース", config.m_pSets[0]->szSource);
    EXPECT_EQ(5, config.m_nWindowLeft);
    EXPECT_EQ(7, config.m_nWindowTop);
    EXPECT_EQ(9, config.m_nWindowBottom);

    RECT rc = {-8, 20, 1930, 1100};
    config.SaveWindowRect(rc);

    EXPECT_EQ(Encode(after, form), ReadFileBytes(path));
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(std::vector<std::string>{"Tandemix.ini"}, FolderNames(m_dir.Path()));
}

TEST_P(ProfileFormTest, ValuesAreCutAtACharacterBoundary)
{
    const FileForm& form = GetParam();
    const std::string path = m_dir.Join("Tandemix.ini");
    ASSERT_TRUE(WriteFileBytes(path, Encode("[全般]\nキー=あいう\n", form)));
    const struct {
        DWORD nSize;
        const char* pszValue;
    } cases[] = {{10, "あいう"}, {9, "あい"}, {7, "あい"}, {6, "あ"}, {3, ""}, {1, ""}};
    for (const auto& c : cases) {
        char szBuffer[16];
        memset(szBuffer, 'z', sizeof szBuffer);
        const DWORD n = ReadProfileString("全般", "キー", "", szBuffer, c.nSize, path.c_str());
        EXPECT_STREQ(c.pszValue, szBuffer) << c.nSize;
        EXPECT_EQ(strlen(c.pszValue), n) << c.nSize;
        EXPECT_EQ('z', szBuffer[c.nSize]) << c.nSize;
    }
}

const FileForm FORMS[] = {
    {"Utf8Lf", ENCODING_UTF8, false, "\n"},
    {"Utf8CrLf", ENCODING_UTF8, false, "\r\n"},
    {"Utf8BomLf", ENCODING_UTF8, true, "\n"},
    {"Utf8BomCrLf", ENCODING_UTF8, true, "\r\n"},
    {"ShiftJisLf", ENCODING_SHIFT_JIS, false, "\n"},
    {"ShiftJisCrLf", ENCODING_SHIFT_JIS, false, "\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Forms, ProfileFormTest, testing::ValuesIn(FORMS),
                         [](const testing::TestParamInfo<FileForm>& info) {
                             return std::string(info.param.pszName);
                         });

class ProfileTest : public testing::Test {
protected:
    std::string Ini() const { return m_dir.Join("Tandemix.ini"); }
    std::string Read(const char* pszSection, const char* pszKey, const char* pszDefault = "?")
    {
        char szBuffer[64];
        ReadProfileString(pszSection, pszKey, pszDefault, szBuffer, sizeof szBuffer, Ini().c_str());
        return szBuffer;
    }

    TempDir m_dir;
};

TEST_F(ProfileTest, MissingFileIsCreatedAsUtf8WithLf)
{
    EXPECT_EQ(ENCODING_NATIVE, GetProfileEncoding(Ini().c_str()));
    EXPECT_EQ("dflt", Read("全般", "キー", "dflt"));
    EXPECT_TRUE(WriteProfileString("全般", "キー", "値", Ini().c_str()));
    EXPECT_TRUE(WriteProfileString("全般", "二", "2", Ini().c_str()));
    EXPECT_EQ("[全般]\nキー=値\n二=2\n", ReadFileBytes(Ini()));
    EXPECT_EQ(ENCODING_UTF8, GetProfileEncoding(Ini().c_str()));
}

TEST_F(ProfileTest, ShiftJisFileIsSearchedAndWrittenInShiftJis)
{
    // [全般] キー=ソ表, in Shift-JIS.
    ASSERT_TRUE(WriteFileBytes(Ini(), "[\x91\x53\x94\xCA]\r\n\x83\x4C\x81\x5B=\x83\x5C\x95\x5C\r\n"));
    EXPECT_EQ(ENCODING_SHIFT_JIS, GetProfileEncoding(Ini().c_str()));
    EXPECT_EQ("ソ表", Read("全般", "キー"));
    EXPECT_TRUE(WriteProfileString("全般", "新", "ア", Ini().c_str()));
    // 新 is 0x90 0x56, ア 0x83 0x41.
    EXPECT_EQ("[\x91\x53\x94\xCA]\r\n\x83\x4C\x81\x5B=\x83\x5C\x95\x5C\r\n\x90\x56=\x83\x41\r\n", ReadFileBytes(Ini()));
}

TEST_F(ProfileTest, WritesThatWouldDamageTheFileAreRefused)
{
    const std::string original = "[\x91\x53\x94\xCA]\nk=v\n";
    ASSERT_TRUE(WriteFileBytes(Ini(), original));
    EXPECT_FALSE(WriteProfileString("全般", "k", u8"\U0001F600", Ini().c_str()));  // not in Shift-JIS
    EXPECT_FALSE(WriteProfileString("全般", "k", "a\nb", Ini().c_str()));
    EXPECT_FALSE(WriteProfileString("全般", "k=j", "v", Ini().c_str()));
    EXPECT_FALSE(WriteProfileString("全般]", "k", "v", Ini().c_str()));
    EXPECT_EQ(original, ReadFileBytes(Ini()));
}

TEST_F(ProfileTest, UnconvertibleValueReadsAsMissing)
{
    // 0x85 0x40 is an unassigned code of code page 932.
    ASSERT_TRUE(WriteFileBytes(Ini(), "[s]\nbad=\x85\x40\ngood=\x83\x5C\n"));
    EXPECT_EQ("?", Read("s", "bad"));
    EXPECT_EQ("ソ", Read("s", "good"));
}

TEST_F(ProfileTest, FileThatCannotBeReadIsNeitherReadNorReplaced)
{
    ASSERT_TRUE(fs::create_directory(Ini()));
    EXPECT_EQ("?", Read("s", "k"));
    EXPECT_FALSE(WriteProfileString("s", "k", "v", Ini().c_str()));
    EXPECT_TRUE(fs::is_directory(Ini()));
}

TEST_F(ProfileTest, WritingThroughASymbolicLinkKeepsTheLink)
{
    const std::string real = m_dir.Join("real.ini");
    ASSERT_TRUE(WriteFileBytes(real, "[s]\nk=1\n"));
    ASSERT_EQ(0, symlink("real.ini", Ini().c_str()));
    EXPECT_TRUE(WriteProfileString("s", "k", "2", Ini().c_str()));
    EXPECT_TRUE(fs::is_symlink(Ini()));
    EXPECT_EQ("[s]\nk=2\n", ReadFileBytes(real));
}

TEST_F(ProfileTest, CurrentFolderReportsTheSizeItNeeds)
{
    CurrentDir inFolder{fs::path(m_dir.Path())};
    ASSERT_TRUE(inFolder.IsChanged());
    char szFolder[1024];
    const DWORD n = GetCurrentFolder(sizeof szFolder, szFolder);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(fs::current_path().string(), szFolder);
    std::vector<char> small(n, 'x');
    EXPECT_EQ(n + 1, GetCurrentFolder(n, small.data()));
    EXPECT_EQ(std::vector<char>(n, 'x'), small);
}

}  // namespace
