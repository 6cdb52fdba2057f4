#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "config/BackupConfig.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

struct FileForm {
    TextEncoding nEncoding;
    bool bBom;
    const char* pszLineEnd;
};

// UTF-8 text with '\n' line ends, written in the form.
std::string Encode(const std::string& text, const FileForm& form)
{
    std::string lines;
    for (char c : text)
        lines += c == '\n' ? std::string(form.pszLineEnd) : std::string(1, c);
    std::string bytes;
    EXPECT_TRUE(ConvertText(lines, ENCODING_UTF8, form.nEncoding, bytes));
    return (form.bBom ? "\xEF\xBB\xBF" : "") + bytes;
}

class ProfileTest : public testing::Test {
protected:
    TempDir m_dir;
    const std::string m_ini = m_dir.Join("Tandemix.ini");
};

// Read, then written back atomically in the file's own encoding and line
// ends, keeping its mode and every byte but the four window values: by our
// own writer for UTF-8 on both systems (Windows writes Shift-JIS with the
// profile functions).
TEST_F(ProfileTest, SavingTheWindowChangesOnlyItsFourKeys)
{
    const std::string before =
        "; Tandemix\n[全般]\nバックアップセット数=1\nウィンドウ位置X=5\n  ウィンドウ位置Y = 7 ; old\n"
        "ウィンドウサイズY=\"9\"\n画面表示レベル=2\n\n[バックアップセット1]\nバックアップ元=/data/ソース\nバックアップ先=/bk\n";
    const std::string after =
        "; Tandemix\n[全般]\nバックアップセット数=1\nウィンドウ位置X=-8\n  ウィンドウ位置Y = 20\n"
        "ウィンドウサイズY=1100\n画面表示レベル=2\nウィンドウサイズX=1930\n\n[バックアップセット1]\n"
        "バックアップ元=/data/ソース\nバックアップ先=/bk\n";
    const bool bPosix = PATH_SEP == '/';
    const FileForm forms[] = {
        {ENCODING_UTF8, false, "\n"}, {ENCODING_UTF8, true, "\r\n"}, {ENCODING_SHIFT_JIS, false, "\r\n"}};
    CurrentDir inFolder{fs::path(m_dir.Path())};
    ASSERT_TRUE(inFolder.IsChanged());
    for (const FileForm& form : forms) {
        if (!bPosix && form.nEncoding == ENCODING_SHIFT_JIS)
            continue;
        SCOPED_TRACE(testing::Message() << form.nEncoding << (form.bBom ? " BOM " : " ") << strlen(form.pszLineEnd));
        ASSERT_TRUE(WriteFileBytes(m_ini, Encode(before, form)));
        ASSERT_TRUE(!bPosix || chmod(m_ini.c_str(), 0640) == 0);
        CBackupConfig config("Tandemix.ini");
        config.SaveWindowRect(RECT{-8, 20, 1930, 1100});

        EXPECT_EQ(Encode(after, form), ReadFileBytes(m_ini));
        struct stat st;
        ASSERT_EQ(0, stat(m_ini.c_str(), &st));
        EXPECT_TRUE(!bPosix || (st.st_mode & 07777) == 0640) << std::oct << st.st_mode;
        EXPECT_EQ(1, std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()));
    }
}

}  // namespace
