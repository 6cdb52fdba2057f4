#include "config/BackupConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Drive roots and shares exist only in the Windows build; there the loader
// gives them a "root" folder, elsewhere such paths are ordinary folders.
const bool ROOT_RULES = PATH_SEP == '\\';
#define SEP PATH_SEP_STR

// Each test runs in a fresh current directory.  Settings are written in
// UTF-8 (Shift-JIS on Windows) unless a test says otherwise.
class ConfigTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_cwd.IsChanged()); }

    std::unique_ptr<CBackupConfig> Load(const std::string& bytes)
    {
        // Windows reads its settings file in Shift-JIS only.
        std::string sjis;
        const bool bConvert = ROOT_RULES && ConvertText(bytes, ENCODING_NATIVE, ENCODING_SHIFT_JIS, sjis);
        EXPECT_TRUE(WriteFileBytes("Tandemix.ini", bConvert ? sjis : bytes));
        return std::unique_ptr<CBackupConfig>(new CBackupConfig("Tandemix.ini"));
    }

    // One set, with these lines in its section.
    std::unique_ptr<CBackupConfig> LoadOneSet(const std::string& setLines)
    {
        return Load("[全般]\nバックアップセット数=1\n[バックアップセット1]\n" + setLines);
    }

    TempDir m_dir;
    CurrentDir m_cwd{fs::path(m_dir.Path())};
};

TEST_F(ConfigTest, DisplayLevelIsJudgedOnTheWholeNumber)
{
    const struct {
        const char* pszValue;
        short bShowWindow;
        short bShowShellProgress;
    } cases[] = {
        {"0", 0, 0}, {"1", 0, 1}, {"2", 1, 0}, {"3", 1, 1}, {"2 levels", 1, 0},
        {"word", 0, 0},   // no digits read as 0
        {"7", 1, 1}, {"-1", 1, 1},
        {"65538", 1, 1},  // 2 in its low 16 bits, but no level
        {"", 1, 1},       // empty counts as missing
    };
    for (const auto& c : cases) {
        const auto config = Load(std::string("[全般]\n画面表示レベル=") + c.pszValue + "\n");
        EXPECT_EQ(c.bShowWindow, config->m_bShowWindow) << c.pszValue;
        EXPECT_EQ(c.bShowShellProgress, config->m_bShowShellProgress) << c.pszValue;
    }
}

// Set 2 lacks its destination and is left out; the table ends at set 256,
// and a larger count reads as 256.
TEST_F(ConfigTest, SetCountChoosesTheSectionsRead)
{
    std::string sections;
    for (int n : {1, 2, 3, 256, 257}) {
        sections += "[バックアップセット" + std::to_string(n) + "]\nバックアップ元=s\n" +
                    (n == 2 ? "" : "バックアップ先=d\n");
    }
    const struct {
        const char* pszValue;
        short nCount;
        std::vector<int> loaded;
    } cases[] = {
        {"3", 3, {0, 2}}, {"300", 256, {0, 2, 255}}, {"-1", -1, {}}, {"abc", 0, {}},
        {"65539", 256, {0, 2, 255}},        // not 3, its low 16 bits
        {"99999999999", 256, {0, 2, 255}},  // saturates at INT_MAX
    };
    for (const auto& c : cases) {
        const auto config = Load(std::string("[全般]\nバックアップセット数=") + c.pszValue + "\n" + sections);
        EXPECT_EQ(c.nCount, config->m_nSetCount) << c.pszValue;
        std::vector<int> loaded;
        for (int i = 0; i < MAX_BACKUP_SETS; i++) {
            if (config->m_pSets[i] != nullptr)
                loaded.push_back(i);
        }
        EXPECT_EQ(c.loaded, loaded) << c.pszValue;
        EXPECT_EQ(0, config->m_bSetRefused[1]) << c.pszValue;
    }
}

TEST_F(ConfigTest, GenerationTypeAndCountAndTheRootFolder)
{
    const struct {
        const char* pszDest;
        const char* pszLines;
        int nFileGenerations;
        int nTopGenerations;
        const char* pszDestWithRootRules;  // as loaded on Windows
        const char* pszDestWithout;        // as loaded on POSIX
    } cases[] = {
        {"D:", "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" SEP "root" SEP, "D:" SEP},
        {"D:", "世代数=3\n", 3, 0, "D:" SEP, "D:" SEP},
        {"D:", "世代管理タイプ=2\n", 0, 0, "D:" SEP, "D:" SEP},
        {"D:", "世代数=-1\n世代管理タイプ=2\n", 0, -1, "D:" SEP, "D:" SEP},
        {"D:", "世代数=3\n世代管理タイプ=3\n", 0, 0, "D:" SEP, "D:" SEP},
        {SEP SEP "server" SEP "share", "世代数=3\n世代管理タイプ=2\n", 0, 3, SEP SEP "server" SEP "share" SEP "root" SEP,
         SEP SEP "server" SEP "share" SEP},
        {SEP SEP "server" SEP "share" SEP "sub", "世代数=3\n世代管理タイプ=2\n", 0, 3, SEP SEP "server" SEP "share" SEP "sub" SEP,
         SEP SEP "server" SEP "share" SEP "sub" SEP},
        // In Shift-JIS ソ ends in 0x5C, the backslash's byte.
        {"D:" SEP "bkソ", "", 0, 0, "D:" SEP "bkソ" SEP, "D:" SEP "bkソ" SEP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszDest) + " " + c.pszLines);
        const auto config = LoadOneSet(std::string("バックアップ元=src\nバックアップ先=") + c.pszDest + "\n" + c.pszLines);
        ASSERT_NE(nullptr, config->m_pSets[0]);
        EXPECT_EQ(c.nFileGenerations, config->m_pSets[0]->nFileGenerations);
        EXPECT_EQ(c.nTopGenerations, config->m_pSets[0]->nTopGenerations);
        EXPECT_STREQ(ROOT_RULES ? c.pszDestWithRootRules : c.pszDestWithout, config->m_pSets[0]->szDest);
    }
}

TEST_F(ConfigTest, ListsSplitAtCommasAndBlanks)
{
    std::string longList;
    while (longList.size() < 2000)
        longList += "a,";
    const struct {
        std::string value;
        std::vector<std::string> entries;
    } cases[] = {
        {",, tmp ,BAK,,log\t,", {"tmp", "BAK", "log"}},
        {"My Documents", {"My", "Documents"}},
        {"a," + std::string(765, 'x') + "," + std::string(766, 'y'), {"a", std::string(765, 'x')}},
        {longList, std::vector<std::string>(SETTING_PATH_BUFFER / 2, "a")},  // only the buffer's worth is read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.substr(0, 20));
        const auto config =
            LoadOneSet("バックアップ元=s\nバックアップ先=d\n対象外拡張子=" + c.value + "\n対象外フォルダ名=" + c.value + "\n");
        const BackupSet* pSet = config->m_pSets[0];
        ASSERT_NE(nullptr, pSet);
        EXPECT_EQ(c.entries, Lines(pSet->pszExcludedExt, pSet->pszExcludedExt + pSet->nExcludedExtCount));
        EXPECT_EQ(c.entries, Lines(pSet->pszExcludedFolder, pSet->pszExcludedFolder + pSet->nExcludedFolderCount));
    }
}

// A path that does not fit its field is refused, never cut: a cut path
// would back up some other folder or start some other program.  A log name
// longer than its field is refused too.
TEST_F(ConfigTest, LongPathsAreRefusedNeverCut)
{
    const size_t nField = SETTING_PATH_BUFFER - 1;
    const std::string share = SEP SEP "server" SEP + std::string(nField - 13, 's');
    std::string kana = "x";  // cut at a character boundary, it would fit
    while (kana.size() < nField + 3)
        kana += "あ";
    const struct {
        const char* pszWhat;
        std::string source;
        std::string dest;
        std::string lines;
        SetRefusal nRefusal;
        std::string loadedDest;
    } cases[] = {
        {"source filling the field", std::string(nField, 'x'), "d", "", SET_ACCEPTED, "d" SEP},
        {"source longer than the field", std::string(2000, 'x'), "d", "", SET_SOURCE_TOO_LONG, ""},
        {"source of three-byte characters", kana, "d", "", SET_SOURCE_TOO_LONG, ""},
        {"destination filling the field", "s", std::string(nField - 1, 'd'), "", SET_ACCEPTED,
         std::string(nField - 1, 'd') + SEP},
        {"destination without room for a separator", "s", std::string(nField, 'd'), "", SET_DEST_TOO_LONG, ""},
        {"destination of three-byte characters", "s", kana, "", SET_DEST_TOO_LONG, ""},
        // Cut to the field, it would name the folder above.
        {"destination cut just after a separator", "s", std::string(nField - 1, 'd') + SEP "x", "", SET_DEST_TOO_LONG, ""},
        {"share without room for root", "s", share, "世代数=1\n世代管理タイプ=2\n", ROOT_RULES ? SET_DEST_TOO_LONG : SET_ACCEPTED,
         share + SEP},
        {"after-command of three-byte characters", "s", "d", "バックアップ後実行=" + kana + "\n", SET_COMMAND_TOO_LONG, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        const auto config = LoadOneSet("バックアップ元=" + c.source + "\nバックアップ先=" + c.dest + "\n" + c.lines);
        EXPECT_EQ(c.nRefusal, config->m_bSetRefused[0]);
        ASSERT_EQ(c.nRefusal == SET_ACCEPTED, config->m_pSets[0] != nullptr);
        if (c.nRefusal == SET_ACCEPTED) {
            EXPECT_EQ(c.source, config->m_pSets[0]->szSource);
            EXPECT_EQ(c.loadedDest, config->m_pSets[0]->szDest);
        }
    }
    const size_t nLogName = sizeof(CBackupConfig::m_szLogFile) - 1;
    for (size_t nLength : {nLogName, nLogName + 1, size_t{1500}}) {
        const auto config = Load("[全般]\nログファイル名=" + std::string(nLength, 'l') + "\n");
        EXPECT_EQ(nLength == nLogName ? std::string(nLogName, 'l') : "", config->m_szLogFile) << nLength;
        EXPECT_EQ(nLength == nLogName ? FALSE : TRUE, config->m_bLogNameTooLong) << nLength;
    }
}

}  // namespace
