#include "config/BackupConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/CurrentDir.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Drive roots and shares exist only in the Windows build; there the loader
// gives them a "root" folder, elsewhere such paths are ordinary folders.
const bool ROOT_RULES = PATH_SEP == '\\';
#define S PATH_SEP_STR

std::vector<std::string> Entries(char* const* ppszEntries, short nCount)
{
    std::vector<std::string> entries;
    for (short i = 0; i < nCount; i++)
        entries.push_back(ppszEntries[i] != nullptr ? ppszEntries[i] : "(null)");
    return entries;
}

// Each test runs in a fresh folder of its own, made the current directory
// while it runs.  Settings are written in the program's own encoding
// (Shift-JIS on Windows, UTF-8 on POSIX) unless a test says otherwise.
class ConfigTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_dir.Path().empty());
        m_cwd.reset(new CurrentDir(fs::path(m_dir.Path())));
        ASSERT_TRUE(m_cwd->IsChanged());
    }

    void TearDown() override { m_cwd.reset(); }

    std::unique_ptr<CBackupConfig> Load(const std::string& bytes)
    {
        EXPECT_TRUE(WriteFileBytes("Tandemix.ini", bytes));
        return std::unique_ptr<CBackupConfig>(new CBackupConfig("Tandemix.ini"));
    }

    // One set, with the given lines in its section and in "全般".
    std::unique_ptr<CBackupConfig> LoadOneSet(const std::string& setLines, const std::string& generalLines = "")
    {
        return Load("[全般]\nバックアップセット数=1\n" + generalLines + "[バックアップセット1]\n" + setLines);
    }

    TempDir m_dir;
    std::unique_ptr<CurrentDir> m_cwd;
};

TEST_F(ConfigTest, NoFileKeepsTheDefaults)
{
    CBackupConfig config("Tandemix.ini");
    EXPECT_EQ(0, config.m_nSetCount);
    EXPECT_EQ(1, config.m_bShowWindow);
    EXPECT_EQ(1, config.m_bShowShellProgress);
    EXPECT_STREQ("", config.m_szLogFile);
    EXPECT_EQ(0, config.m_bLogResultsOnly);
    const RECT rc = config.GetWindowRect();
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.bottom);
    for (int i = 0; i < MAX_BACKUP_SETS; i++)
        EXPECT_EQ(nullptr, config.m_pSets[i]);
    EXPECT_EQ(m_dir.Join("Tandemix.ini"), config.m_szIniPath);
}

// The example file of the settings documentation, with the paths of the
// platform; the drive-root rule shows only on Windows.
struct ExamplePaths {
    const char* pszSource1;
    const char* pszDest1;
    const char* pszLoadedDest1;
    const char* pszSource3;
    const char* pszDest3;
    const char* pszLoadedDest3;
};
const ExamplePaths WINDOWS_EXAMPLE = {"C:\\Data", "D:", "D:\\root\\", "\\\\server\\share\\doc.txt",
                                      "E:\\Backup\\doc", "E:\\Backup\\doc\\"};
const ExamplePaths POSIX_EXAMPLE = {"/data", "/bk", "/bk/", "/srv/share/doc.txt", "/backup/doc", "/backup/doc/"};

class WorkedExampleTest : public ConfigTest, public testing::WithParamInterface<TextEncoding> {};

TEST_P(WorkedExampleTest, LoadsTheThreeSetFile)
{
    const ExamplePaths& p = ROOT_RULES ? WINDOWS_EXAMPLE : POSIX_EXAMPLE;
    const std::string ini = std::string("[全般]\n"
                                        "バックアップセット数=3\n"
                                        "画面表示レベル=2\n"
                                        "ログファイル名=backup.log\n"
                                        "コピー結果のみログ=1\n"
                                        "\n"
                                        "[バックアップセット1]\n"
                                        "バックアップ元=") + p.pszSource1 + "\n"
                            "バックアップ先=" + p.pszDest1 + "\n"
                            "世代数=3\n"
                            "世代管理タイプ=2\n"
                            "対象外拡張子=tmp, bak\n"
                            "対象外フォルダ名=Temp\n"
                            "タイムスタンプ比較マージン=2\n"
                            "\n"
                            "[バックアップセット3]\n"
                            "バックアップ元=" + p.pszSource3 + "\n"
                            "バックアップ先=" + p.pszDest3 + "\n"
                            "世代数=5\n";
    std::string bytes;
    ASSERT_TRUE(ConvertText(ini, ENCODING_NATIVE, GetParam(), bytes));
    const std::unique_ptr<CBackupConfig> config = Load(bytes);

    EXPECT_EQ(3, config->m_nSetCount);
    EXPECT_EQ(1, config->m_bShowWindow);
    EXPECT_EQ(0, config->m_bShowShellProgress);
    EXPECT_STREQ("backup.log", config->m_szLogFile);
    EXPECT_EQ(1, config->m_bLogResultsOnly);
    EXPECT_EQ(0, config->m_nWindowLeft);
    EXPECT_EQ(0, config->m_nWindowTop);
    EXPECT_EQ(0, config->m_nWindowRight);
    EXPECT_EQ(0, config->m_nWindowBottom);

    const BackupSet* pSet1 = config->m_pSets[0];
    ASSERT_NE(nullptr, pSet1);
    EXPECT_STREQ(p.pszSource1, pSet1->szSource);
    EXPECT_STREQ(p.pszLoadedDest1, pSet1->szDest);
    EXPECT_STREQ("", pSet1->szAfterCommand);
    EXPECT_EQ(0, pSet1->nFileGenerations);
    EXPECT_EQ(3, pSet1->nTopGenerations);
    EXPECT_EQ((std::vector<std::string>{"tmp", "bak"}), Entries(pSet1->pszExcludedExt, pSet1->nExcludedExtCount));
    EXPECT_EQ(std::vector<std::string>{"Temp"}, Entries(pSet1->pszExcludedFolder, pSet1->nExcludedFolderCount));
    EXPECT_EQ(2, pSet1->nTimeMargin);

    EXPECT_EQ(nullptr, config->m_pSets[1]);

    const BackupSet* pSet3 = config->m_pSets[2];
    ASSERT_NE(nullptr, pSet3);
    EXPECT_STREQ(p.pszSource3, pSet3->szSource);
    EXPECT_STREQ(p.pszLoadedDest3, pSet3->szDest);
    EXPECT_EQ(5, pSet3->nFileGenerations);
    EXPECT_EQ(0, pSet3->nTopGenerations);
    EXPECT_EQ(0, pSet3->nExcludedExtCount);
    EXPECT_EQ(nullptr, pSet3->pszExcludedExt[0]);
    EXPECT_EQ(0, pSet3->nExcludedFolderCount);
    EXPECT_EQ(0, pSet3->nTimeMargin);

    for (int i = 3; i < MAX_BACKUP_SETS; i++)
        EXPECT_EQ(nullptr, config->m_pSets[i]);
    for (int i = 0; i < MAX_BACKUP_SETS; i++)
        EXPECT_EQ(0, config->m_bSetRefused[i]);
}

// On Windows both are the ANSI code page; POSIX reads either.
INSTANTIATE_TEST_SUITE_P(Encodings, WorkedExampleTest, testing::Values(ENCODING_NATIVE, ENCODING_SHIFT_JIS),
                         [](const testing::TestParamInfo<TextEncoding>& info) {
                             return std::string(info.param == ENCODING_SHIFT_JIS ? "ShiftJis" : "Native");
                         });

TEST_F(ConfigTest, DisplayLevelIsJudgedOnTheWholeNumber)
{
    const struct {
        const char* pszValue;
        short bShowWindow;
        short bShowShellProgress;
    } cases[] = {
        {"0", 0, 0}, {"1", 0, 1}, {"2", 1, 0}, {"3", 1, 1}, {"+1", 0, 1}, {"2 levels", 1, 0},
        {"word", 0, 0},       // no digits read as 0
        {"7", 1, 1}, {"-1", 1, 1}, {"4", 1, 1},
        {"65538", 1, 1},      // 2 in its low 16 bits, but no level
        {"4294967298", 1, 1},
        {"", 1, 1},           // empty counts as missing
    };
    for (const auto& c : cases) {
        const auto config = Load(std::string("[全般]\n画面表示レベル=") + c.pszValue + "\n");
        EXPECT_EQ(c.bShowWindow, config->m_bShowWindow) << c.pszValue;
        EXPECT_EQ(c.bShowShellProgress, config->m_bShowShellProgress) << c.pszValue;
    }
}

TEST_F(ConfigTest, NumbersAreReadLikeAtoiAndNarrowed)
{
    const struct {
        const char* pszValue;
        short nExpected;
    } cases[] = {
        {"2", 2}, {"-3", -3}, {"12abc", 12}, {"abc", 0}, {"+7", 7},
        {"40000", -25536}, {"70000", 4464}, {"65536", 0},
        {"99999999999", -1},  // saturates at INT_MAX, whose low 16 bits are -1
    };
    for (const auto& c : cases) {
        const std::string v = c.pszValue;
        const auto config = LoadOneSet("バックアップ元=a\nバックアップ先=b\nタイムスタンプ比較マージン=" + v + "\n",
                                       "コピー結果のみログ=" + v + "\nウィンドウ位置X=" + v + "\nウィンドウ位置Y=" + v +
                                           "\nウィンドウサイズX=" + v + "\nウィンドウサイズY=" + v + "\n");
        EXPECT_EQ(c.nExpected, config->m_bLogResultsOnly) << v;
        const RECT rc = config->GetWindowRect();
        EXPECT_EQ(c.nExpected, rc.left) << v;
        EXPECT_EQ(c.nExpected, rc.top) << v;
        EXPECT_EQ(c.nExpected, rc.right) << v;
        EXPECT_EQ(c.nExpected, rc.bottom) << v;
        ASSERT_NE(nullptr, config->m_pSets[0]);
        EXPECT_EQ(c.nExpected, config->m_pSets[0]->nTimeMargin) << v;
    }
}

TEST_F(ConfigTest, SetCountChoosesTheSectionsRead)
{
    std::string sections;
    for (int n : {1, 2, 3, 256, 257}) {
        sections += "[バックアップセット" + std::to_string(n) + "]\nバックアップ元=s" + std::to_string(n) +
                    "\nバックアップ先=d\n";
    }
    const struct {
        const char* pszValue;
        short nCount;
        std::vector<int> loadedSlots;
    } cases[] = {
        {"3", 3, {0, 1, 2}},
        {"2", 2, {0, 1}},
        {"300", 300, {0, 1, 2, 255}},  // the table ends at set 256
        {"65539", 3, {0, 1, 2}},
        {"-1", -1, {}},
        {"0", 0, {}},
        {"abc", 0, {}},
    };
    for (const auto& c : cases) {
        const auto config = Load(std::string("[全般]\nバックアップセット数=") + c.pszValue + "\n" + sections);
        EXPECT_EQ(c.nCount, config->m_nSetCount) << c.pszValue;
        std::vector<int> loaded;
        for (int i = 0; i < MAX_BACKUP_SETS; i++) {
            if (config->m_pSets[i] != nullptr)
                loaded.push_back(i);
        }
        EXPECT_EQ(c.loadedSlots, loaded) << c.pszValue;
    }
}

TEST_F(ConfigTest, SetsWithoutSourceOrDestinationAreLeftOut)
{
    const auto config = Load("[全般]\nバックアップセット数=4\n"
                             "[バックアップセット1]\nバックアップ先=d\n"
                             "[バックアップセット2]\nバックアップ元=s\nバックアップ先=\n"
                             "[バックアップセット3]\nバックアップ元=s\n"
                             "[バックアップセット4]\nバックアップ元=s4\nバックアップ先=d4\n");
    EXPECT_EQ(nullptr, config->m_pSets[0]);
    EXPECT_EQ(nullptr, config->m_pSets[1]);
    EXPECT_EQ(nullptr, config->m_pSets[2]);
    ASSERT_NE(nullptr, config->m_pSets[3]);
    EXPECT_STREQ("s4", config->m_pSets[3]->szSource);
    EXPECT_STREQ("d4" S, config->m_pSets[3]->szDest);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(0, config->m_bSetRefused[i]) << i;
}

struct GenerationCase {
    const char* pszName;
    const char* pszDest;
    const char* pszLines;
    int nFileGenerations;
    int nTopGenerations;
    const char* pszDestWithRootRules;  // loaded on Windows
    const char* pszDestWithout;        // loaded on POSIX
};

const GenerationCase GENERATION_CASES[] = {
    {"type 2 on a drive", "D:", "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" S "root" S, "D:" S},
    {"type 2 on a drive root", "D:" S, "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" S "root" S, "D:" S},
    {"type 1 on a drive", "D:", "世代数=3\n世代管理タイプ=1\n", 3, 0, "D:" S, "D:" S},
    {"type defaults to 1", "D:", "世代数=3\n", 3, 0, "D:" S, "D:" S},
    {"type 2 without a count", "D:", "世代管理タイプ=2\n", 0, 0, "D:" S, "D:" S},
    {"count 12 kept", "D:", "世代数=12\n世代管理タイプ=2\n", 0, 12, "D:" S "root" S, "D:" S},
    {"count -1 adds no root", "D:", "世代数=-1\n世代管理タイプ=2\n", 0, -1, "D:" S, "D:" S},
    {"count 0", "D:", "世代数=0\n世代管理タイプ=2\n", 0, 0, "D:" S, "D:" S},
    {"type 3 means none", "D:", "世代数=3\n世代管理タイプ=3\n", 0, 0, "D:" S, "D:" S},
    {"type judged on 16 bits", "D:", "世代数=3\n世代管理タイプ=65538\n", 0, 3, "D:" S "root" S, "D:" S},
    {"count narrowed to 16 bits", "b", "世代数=65539\n", 3, 0, "b" S, "b" S},
    {"count narrowed to negative", "b", "世代数=40000\n", -25536, 0, "b" S, "b" S},
    {"a folder on a drive", "D:" S "bk", "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" S "bk" S, "D:" S "bk" S},
    {"share root", S S "server" S "share", "世代数=3\n世代管理タイプ=2\n", 0, 3,
     S S "server" S "share" S "root" S, S S "server" S "share" S},
    {"share root with separator", S S "server" S "share" S, "世代数=3\n世代管理タイプ=2\n", 0, 3,
     S S "server" S "share" S "root" S, S S "server" S "share" S},
    {"below a share", S S "server" S "share" S "sub", "世代数=3\n世代管理タイプ=2\n", 0, 3,
     S S "server" S "share" S "sub" S, S S "server" S "share" S "sub" S},
    {"server alone", S S "server", "世代数=3\n世代管理タイプ=2\n", 0, 3, S S "server" S, S S "server" S},
    {"share root under type 1", S S "server" S "share", "世代数=3\n", 3, 0, S S "server" S "share" S,
     S S "server" S "share" S},
    // In Shift-JIS, ソ and 表 end in 0x5C, the backslash's byte.
    {"ends in a double-byte character", "D:" S "bkソ", "", 0, 0, "D:" S "bkソ" S, "D:" S "bkソ" S},
    {"share named with 0x5C second bytes", S S "srvソ" S "表", "世代数=3\n世代管理タイプ=2\n", 0, 3,
     S S "srvソ" S "表" S "root" S, S S "srvソ" S "表" S},
};

void PrintTo(const GenerationCase& c, std::ostream* os)
{
    *os << c.pszName;
}

class GenerationTest : public ConfigTest, public testing::WithParamInterface<GenerationCase> {};

TEST_P(GenerationTest, LoadsCountsAndDestination)
{
    const GenerationCase& c = GetParam();
    const auto config = LoadOneSet(std::string("バックアップ元=src\nバックアップ先=") + c.pszDest + "\n" + c.pszLines);
    ASSERT_NE(nullptr, config->m_pSets[0]);
    EXPECT_EQ(c.nFileGenerations, config->m_pSets[0]->nFileGenerations);
    EXPECT_EQ(c.nTopGenerations, config->m_pSets[0]->nTopGenerations);
    EXPECT_STREQ(ROOT_RULES ? c.pszDestWithRootRules : c.pszDestWithout, config->m_pSets[0]->szDest);
}

INSTANTIATE_TEST_SUITE_P(Sets, GenerationTest, testing::ValuesIn(GENERATION_CASES),
                         [](const testing::TestParamInfo<GenerationCase>& info) {
                             std::string name;
                             for (const char* p = info.param.pszName; *p != '\0'; p++)
                                 name += (*p == ' ' || *p == '-') ? '_' : *p;
                             return name;
                         });

TEST_F(ConfigTest, ListsSplitAtCommasAndBlanks)
{
    std::string thousand;
    while (thousand.size() < 1500)
        thousand += "a,";
    const struct {
        const char* pszName;
        std::string value;
        std::vector<std::string> entries;
    } cases[] = {
        {"mixed separators", ",, tmp ,BAK,,log ,", {"tmp", "BAK", "log"}},
        {"a blank inside", "My Documents", {"My", "Documents"}},
        {"tabs, duplicates kept", "tmp\ttmp", {"tmp", "tmp"}},
        {"double-byte entries whole", "ソ表,ログ　x", {"ソ表", "ログ　x"}},
        {"255 bytes kept, 256 left out", "a," + std::string(255, 'x') + "," + std::string(256, 'y') + ",b",
         {"a", std::string(255, 'x'), "b"}},
        {"only 1023 bytes seen", thousand, std::vector<std::string>(512, "a")},
    };
    for (const auto& c : cases) {
        const auto config = LoadOneSet("バックアップ元=s\nバックアップ先=d\n対象外拡張子=" + c.value +
                                       "\n対象外フォルダ名=" + c.value + "\n");
        const BackupSet* pSet = config->m_pSets[0];
        ASSERT_NE(nullptr, pSet) << c.pszName;
        EXPECT_EQ(c.entries, Entries(pSet->pszExcludedExt, pSet->nExcludedExtCount)) << c.pszName;
        EXPECT_EQ(c.entries, Entries(pSet->pszExcludedFolder, pSet->nExcludedFolderCount)) << c.pszName;
        EXPECT_EQ(nullptr, pSet->pszExcludedExt[pSet->nExcludedExtCount]) << c.pszName;
        EXPECT_EQ(nullptr, pSet->pszExcludedFolder[pSet->nExcludedFolderCount]) << c.pszName;
    }
}

TEST_F(ConfigTest, LongValuesNeverOverrunAField)
{
    const std::string share = S S "server" S + std::string(1010, 's');
    const struct {
        const char* pszName;
        std::string source;
        std::string dest;
        std::string lines;
        bool bLoaded;            // else refused
        std::string loadedSource;
        std::string loadedDest;
    } cases[] = {
        {"source cut at 1023", std::string(1500, 'x'), "d", "", true, std::string(1023, 'x'), "d" S},
        {"destination filling the field", "s", std::string(1022, 'd'), "", true, "s", std::string(1022, 'd') + S},
        {"destination with its separator", "s", std::string(1022, 'd') + S, "", true, "s",
         std::string(1022, 'd') + S},
        {"destination without room for a separator", "s", std::string(1023, 'd'), "", false, "", ""},
        {"destination longer than the field", "s", std::string(1500, 'd'), "", false, "", ""},
        {"share without room for root", "s", share, "世代数=1\n世代管理タイプ=2\n", !ROOT_RULES, "s", share + S},
    };
    for (const auto& c : cases) {
        const auto config = LoadOneSet("バックアップ元=" + c.source + "\nバックアップ先=" + c.dest + "\n" + c.lines);
        if (c.bLoaded) {
            ASSERT_NE(nullptr, config->m_pSets[0]) << c.pszName;
            EXPECT_EQ(c.loadedSource, config->m_pSets[0]->szSource) << c.pszName;
            EXPECT_EQ(c.loadedDest, config->m_pSets[0]->szDest) << c.pszName;
            EXPECT_EQ(0, config->m_bSetRefused[0]) << c.pszName;
        } else {
            EXPECT_EQ(nullptr, config->m_pSets[0]) << c.pszName;
            EXPECT_EQ(1, config->m_bSetRefused[0]) << c.pszName;
        }
    }

    const auto config = LoadOneSet("バックアップ元=s\nバックアップ先=d\nバックアップ後実行=" + std::string(1500, 'c') + "\n");
    ASSERT_NE(nullptr, config->m_pSets[0]);
    EXPECT_EQ(std::string(1023, 'c'), config->m_pSets[0]->szAfterCommand);
}

TEST_F(ConfigTest, LogFileNameLongerThanItsFieldIsRefused)
{
    const struct {
        std::string name;
        std::string loaded;
    } cases[] = {
        {std::string(255, 'l'), std::string(255, 'l')},
        {std::string(256, 'l'), ""},
        {std::string(1500, 'l'), ""},
    };
    for (const auto& c : cases) {
        const auto config = Load("[全般]\nログファイル名=" + c.name + "\n");
        EXPECT_EQ(c.loaded, config->m_szLogFile) << c.name.size();
    }
}

TEST_F(ConfigTest, WindowRectComesBackAtTheNextStart)
{
    const auto first = LoadOneSet("バックアップ元=s\nバックアップ先=d\n", "ウィンドウ位置X=5\n");
    RECT rc = {-8, 20, 1930, 1100};
    first->SaveWindowRect(rc);
    EXPECT_EQ(5, first->m_nWindowLeft);  // the loaded fields stay as read
    EXPECT_EQ(0, first->m_nWindowRight);

    CBackupConfig next("Tandemix.ini");
    const RECT back = next.GetWindowRect();
    EXPECT_EQ(-8, back.left);
    EXPECT_EQ(20, back.top);
    EXPECT_EQ(1930, back.right);
    EXPECT_EQ(1100, back.bottom);
    EXPECT_EQ(1, next.m_nSetCount);
    ASSERT_NE(nullptr, next.m_pSets[0]);
    EXPECT_STREQ("s", next.m_pSets[0]->szSource);
}

TEST_F(ConfigTest, WindowRectCreatesAMissingFile)
{
    CBackupConfig first("Tandemix.ini");
    RECT rc = {1, 2, 3, 4};
    first.SaveWindowRect(rc);

    CBackupConfig next("Tandemix.ini");
    const RECT back = next.GetWindowRect();
    EXPECT_EQ(1, back.left);
    EXPECT_EQ(2, back.top);
    EXPECT_EQ(3, back.right);
    EXPECT_EQ(4, back.bottom);
}

// A folder whose name ends in ソ: in Shift-JIS its last byte is 0x5C, and the
// file's path still needs its separator.
TEST_F(ConfigTest, CurrentFolderEndingInADoubleByteCharacter)
{
    const fs::path folder = fs::path(m_dir.Path()) / fs::u8path(u8"bkソ");
    ASSERT_TRUE(fs::create_directory(folder));
    CurrentDir inFolder(folder);
    ASSERT_TRUE(inFolder.IsChanged());
    const auto config = Load("[全般]\nバックアップセット数=7\n");
    EXPECT_EQ(7, config->m_nSetCount);
    const std::string tail = "bkソ" S "Tandemix.ini";
    const std::string path = config->m_szIniPath;
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(tail, path.substr(path.size() - tail.size()));
}

// Nested folders down to a path of exactly nLength bytes; empty when the
// system refuses one of them.
fs::path MakeDeepFolder(const std::string& base, size_t nLength)
{
    fs::path folder(base);
    std::error_code ec;
    size_t nUsed = base.size();
    while (nUsed + 2 <= nLength) {
        const size_t nLeft = nLength - nUsed;
        const size_t nName = nLeft >= 102 ? 50 : nLeft - 1;
        folder /= std::string(nName, 'f');
        nUsed += nName + 1;
        if (!fs::create_directory(folder, ec) || ec)
            return fs::path();
    }
    return nUsed == nLength ? folder : fs::path();
}

// Longer than the 255 bytes an old-style buffer takes.  On Windows the
// profile functions stop at MAX_PATH, so a settings file below such a folder
// cannot be read there whatever the buffer.
TEST_F(ConfigTest, CurrentFolderLongerThan255Bytes)
{
    if (PATH_SEP == '\\')
        GTEST_SKIP() << "the profile functions stop at MAX_PATH on Windows";
    const fs::path folder = MakeDeepFolder(m_dir.Path(), 257);
    ASSERT_FALSE(folder.empty());
    CurrentDir inFolder(folder);
    ASSERT_TRUE(inFolder.IsChanged());
    const auto config = Load("[全般]\nバックアップセット数=7\n");
    EXPECT_EQ(7, config->m_nSetCount);
    EXPECT_EQ(257 + 1 + strlen("Tandemix.ini"), strlen(config->m_szIniPath));
}

TEST_F(ConfigTest, CurrentFolderTooLongForThePathReadsNothing)
{
    if (PATH_SEP == '\\')
        GTEST_SKIP() << "the profile functions stop at MAX_PATH on Windows";
    const fs::path folder = MakeDeepFolder(m_dir.Path(), PATH_BUFFER);
    ASSERT_FALSE(folder.empty());
    CurrentDir inFolder(folder);
    ASSERT_TRUE(inFolder.IsChanged());
    const std::string ini = "[全般]\nバックアップセット数=7\n";
    const auto config = Load(ini);
    EXPECT_EQ(0, config->m_nSetCount);
    EXPECT_STREQ("", config->m_szIniPath);

    RECT rc = {1, 2, 3, 4};
    config->SaveWindowRect(rc);
    EXPECT_EQ(ini, ReadFileBytes("Tandemix.ini"));
}

}  // namespace
