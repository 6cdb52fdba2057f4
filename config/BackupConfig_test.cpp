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
#define S PATH_SEP_STR

std::vector<std::string> Entries(char* const* ppszEntries, short nCount)
{
    std::vector<std::string> entries;
    for (short i = 0; i < nCount; i++)
        entries.push_back(ppszEntries[i] != nullptr ? ppszEntries[i] : "(null)");
    return entries;
}

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

    // One set, with these lines in its section and in "全般".
    std::unique_ptr<CBackupConfig> LoadOneSet(const std::string& setLines, const std::string& generalLines = "")
    {
        return Load("[全般]\nバックアップセット数=1\n" + generalLines + "[バックアップセット1]\n" + setLines);
    }

    TempDir m_dir;
    CurrentDir m_cwd{fs::path(m_dir.Path())};
};

TEST_F(ConfigTest, LoadsTheThreeSetExampleInEitherEncoding)
{
    const std::string source1 = ROOT_RULES ? "C:\\Data" : "/data";
    const std::string source3 = ROOT_RULES ? "\\\\server\\share\\doc.txt" : "/srv/share/doc.txt";
    const std::string dest3 = ROOT_RULES ? "E:\\Backup\\doc" : "/backup/doc";
    const std::string ini = "[全般]\nバックアップセット数=3\n画面表示レベル=2\nログファイル名=backup.log\n"
                            "コピー結果のみログ=1\n\n"
                            "[バックアップセット1]\nバックアップ元=" + source1 + "\nバックアップ先=" +
                            (ROOT_RULES ? "D:" : "/bk") + "\n世代数=3\n世代管理タイプ=2\n"
                            "対象外拡張子=tmp, bak\n対象外フォルダ名=Temp\nタイムスタンプ比較マージン=2\n\n"
                            "[バックアップセット3]\nバックアップ元=" + source3 + "\nバックアップ先=" + dest3 +
                            "\n世代数=5\n";
    // POSIX reads either; Windows gets Shift-JIS both times (see Load).
    for (TextEncoding nEncoding : {ENCODING_NATIVE, ENCODING_SHIFT_JIS}) {
        SCOPED_TRACE(nEncoding);
        std::string bytes;
        ASSERT_TRUE(ConvertText(ini, ENCODING_NATIVE, nEncoding, bytes));
        const auto config = Load(bytes);

        EXPECT_EQ(3, config->m_nSetCount);
        EXPECT_EQ(1, config->m_bShowWindow);
        EXPECT_EQ(0, config->m_bShowShellProgress);
        EXPECT_STREQ("backup.log", config->m_szLogFile);
        EXPECT_EQ(1, config->m_bLogResultsOnly);
        const RECT rc = config->GetWindowRect();
        EXPECT_EQ(0, rc.left | rc.top | rc.right | rc.bottom);

        const BackupSet* pSet1 = config->m_pSets[0];
        ASSERT_NE(nullptr, pSet1);
        EXPECT_EQ(source1, pSet1->szSource);
        EXPECT_STREQ(ROOT_RULES ? "D:\\root\\" : "/bk/", pSet1->szDest);
        EXPECT_STREQ("", pSet1->szAfterCommand);
        EXPECT_EQ(0, pSet1->nFileGenerations);
        EXPECT_EQ(3, pSet1->nTopGenerations);
        EXPECT_EQ((std::vector<std::string>{"tmp", "bak"}), Entries(pSet1->pszExcludedExt, pSet1->nExcludedExtCount));
        EXPECT_EQ(std::vector<std::string>{"Temp"}, Entries(pSet1->pszExcludedFolder, pSet1->nExcludedFolderCount));
        EXPECT_EQ(2, pSet1->nTimeMargin);

        const BackupSet* pSet3 = config->m_pSets[2];
        ASSERT_NE(nullptr, pSet3);
        EXPECT_EQ(source3, pSet3->szSource);
        EXPECT_EQ(dest3 + S, pSet3->szDest);
        EXPECT_EQ(5, pSet3->nFileGenerations);
        EXPECT_EQ(0, pSet3->nTopGenerations);
        EXPECT_EQ(0, pSet3->nExcludedExtCount + pSet3->nExcludedFolderCount + pSet3->nTimeMargin);
        for (int i = 0; i < MAX_BACKUP_SETS; i++) {
            EXPECT_EQ(i != 0 && i != 2, config->m_pSets[i] == nullptr) << i;
            EXPECT_EQ(0, config->m_bSetRefused[i]) << i;
        }
    }
}

// Three rules of the Windows profile functions that hand-edited files meet,
// with the same answers from our reader and, in the Windows build, from the
// system's own.  The file is Shift-JIS with CR LF, as written on Windows.
TEST_F(ConfigTest, ReadsWhatTheWindowsProfileFunctionsRead)
{
    std::string longSource;
    for (int i = 0; i < 100; i++)
        longSource += "日本語名";  // 400 characters: 800 bytes in Shift-JIS, 1200 in UTF-8
    std::string list;
    std::vector<std::string> entries;
    for (int i = 10; i < 70; i++) {
        entries.push_back("除外フォルダ" + std::to_string(i));
        list += (list.empty() ? "" : ",") + entries.back();
    }
    const std::string head = "[全般]\nバックアップセット数=1\n";
    const struct {
        const char* pszWhat;
        std::string ini;
        short bShowWindow;
        bool bLoaded;
        std::string source;
        std::string dest;
        std::vector<std::string> folders;
    } cases[] = {
        {"a form feed before a key and Ctrl-Z at the end",
         head + "\x0c画面表示レベル=0\n[バックアップセット1]\nバックアップ元=src\nバックアップ先=dst\x1a", 0, true, "src",
         "dst" S, {}},
        {"a section name ends at the last ]",
         head + "[バックアップセット1] ;old [x]\nバックアップ元=src\nバックアップ先=dst\n", 1, false, "", "", {}},
        {"a long Japanese value and a long list",
         head + "[バックアップセット1]\nバックアップ元=" + longSource + "\nバックアップ先=dst\n対象外フォルダ名=" + list + "\n", 1,
         true, longSource, "dst" S, entries},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        std::string crlf;
        for (char ch : c.ini)
            crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        std::string bytes;
        ASSERT_TRUE(ConvertText(crlf, ENCODING_NATIVE, ENCODING_SHIFT_JIS, bytes));
        const auto config = Load(bytes);
        EXPECT_EQ(c.bShowWindow, config->m_bShowWindow);
        const BackupSet* pSet = config->m_pSets[0];
        ASSERT_EQ(c.bLoaded, pSet != nullptr);
        if (pSet != nullptr) {
            EXPECT_EQ(c.source, pSet->szSource);
            EXPECT_EQ(c.dest, pSet->szDest);
            EXPECT_EQ(c.folders, Entries(pSet->pszExcludedFolder, pSet->nExcludedFolderCount));
        }
    }
}

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

// Set 2 lacks its destination and is left out; the table ends at set 256.
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
        {"3", 3, {0, 2}}, {"300", 300, {0, 2, 255}}, {"65539", 3, {0, 2}}, {"-1", -1, {}}, {"abc", 0, {}},
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
        {"D:", "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" S "root" S, "D:" S},
        {"D:" S, "世代数=3\n世代管理タイプ=2\n", 0, 3, "D:" S "root" S, "D:" S},
        {"D:", "世代数=3\n", 3, 0, "D:" S, "D:" S},
        {"D:", "世代管理タイプ=2\n", 0, 0, "D:" S, "D:" S},
        {"D:", "世代数=12\n世代管理タイプ=2\n", 0, 12, "D:" S "root" S, "D:" S},
        {"D:", "世代数=-1\n世代管理タイプ=2\n", 0, -1, "D:" S, "D:" S},
        {"D:", "世代数=3\n世代管理タイプ=3\n", 0, 0, "D:" S, "D:" S},
        {S S "server" S "share", "世代数=3\n世代管理タイプ=2\n", 0, 3, S S "server" S "share" S "root" S,
         S S "server" S "share" S},
        {S S "server" S "share" S "sub", "世代数=3\n世代管理タイプ=2\n", 0, 3, S S "server" S "share" S "sub" S,
         S S "server" S "share" S "sub" S},
        // In Shift-JIS ソ ends in 0x5C, the backslash's byte.
        {"D:" S "bkソ", "", 0, 0, "D:" S "bkソ" S, "D:" S "bkソ" S},
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
        EXPECT_EQ(c.entries, Entries(pSet->pszExcludedExt, pSet->nExcludedExtCount));
        EXPECT_EQ(c.entries, Entries(pSet->pszExcludedFolder, pSet->nExcludedFolderCount));
    }
}

// A value is cut to its buffer, but a destination that would be cut is
// refused, and a log name longer than its field is refused: a cut name would
// write over some other file.
TEST_F(ConfigTest, LongValuesAreCutOrRefusedNeverOverrun)
{
    const size_t nField = SETTING_PATH_BUFFER - 1;
    const std::string share = S S "server" S + std::string(nField - 13, 's');
    const struct {
        const char* pszWhat;
        std::string source;
        std::string dest;
        std::string lines;
        bool bLoaded;
        std::string loadedSource;
        std::string loadedDest;
    } cases[] = {
        {"source cut to the field", std::string(2000, 'x'), "d", "", true, std::string(nField, 'x'), "d" S},
        {"destination filling the field", "s", std::string(nField - 1, 'd'), "", true, "s", std::string(nField - 1, 'd') + S},
        {"destination without room for a separator", "s", std::string(nField, 'd'), "", false, "", ""},
        {"destination longer than the field", "s", std::string(2000, 'd'), "", false, "", ""},
        {"share without room for root", "s", share, "世代数=1\n世代管理タイプ=2\n", !ROOT_RULES, "s", share + S},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        const auto config = LoadOneSet("バックアップ元=" + c.source + "\nバックアップ先=" + c.dest + "\n" + c.lines);
        EXPECT_EQ(c.bLoaded ? 0 : 1, config->m_bSetRefused[0]);
        ASSERT_EQ(c.bLoaded, config->m_pSets[0] != nullptr);
        if (c.bLoaded) {
            EXPECT_EQ(c.loadedSource, config->m_pSets[0]->szSource);
            EXPECT_EQ(c.loadedDest, config->m_pSets[0]->szDest);
        }
    }
    const size_t nLogName = sizeof(CBackupConfig::m_szLogFile) - 1;
    for (size_t nLength : {nLogName, nLogName + 1, size_t{1500}}) {
        const auto config = Load("[全般]\nログファイル名=" + std::string(nLength, 'l') + "\n");
        EXPECT_EQ(nLength == nLogName ? std::string(nLogName, 'l') : "", config->m_szLogFile) << nLength;
    }
}

TEST_F(ConfigTest, WindowRectComesBackAtTheNextStart)
{
    const auto first = LoadOneSet("バックアップ元=s\nバックアップ先=d\n", "ウィンドウ位置X=5\n");
    first->SaveWindowRect(RECT{-8, 20, 1930, 1100});
    EXPECT_EQ(5, first->m_nWindowLeft);  // the loaded fields stay as read

    CBackupConfig next("Tandemix.ini");
    const RECT back = next.GetWindowRect();
    EXPECT_EQ((std::vector<long>{-8, 20, 1930, 1100}), (std::vector<long>{back.left, back.top, back.right, back.bottom}));
    ASSERT_NE(nullptr, next.m_pSets[0]);
    EXPECT_STREQ("s", next.m_pSets[0]->szSource);
}

// Longer than an old-style 255-byte buffer takes, the file is still found;
// too long for the path buffer, nothing is read and nothing written.  (On
// Windows the profile functions themselves stop at MAX_PATH.)
TEST_F(ConfigTest, LongCurrentFolder)
{
    if (PATH_SEP == '\\')
        GTEST_SKIP() << "the profile functions stop at MAX_PATH on Windows";
    fs::path folder(m_dir.Path());
    size_t nUsed = m_dir.Path().size();
    for (size_t nLength : {size_t{257}, size_t{PATH_BUFFER - 5}}) {
        // Nested folders down to a path of exactly nLength bytes.
        while (nUsed + 2 <= nLength) {
            const size_t nName = nLength - nUsed >= 102 ? 50 : nLength - nUsed - 1;
            folder /= std::string(nName, 'f');
            nUsed += nName + 1;
            ASSERT_TRUE(fs::create_directory(folder));
        }
        ASSERT_EQ(nLength, folder.string().size());
        CurrentDir inFolder(folder);
        ASSERT_TRUE(inFolder.IsChanged());
        const std::string ini = "[全般]\nバックアップセット数=7\n";
        const auto config = Load(ini);
        const bool bFits = nLength < PATH_BUFFER - strlen("/Tandemix.ini");
        EXPECT_EQ(bFits ? 7 : 0, config->m_nSetCount) << nLength;
        EXPECT_EQ(bFits ? folder.string() + "/Tandemix.ini" : "", config->m_szIniPath) << nLength;
        config->SaveWindowRect(RECT{1, 2, 3, 4});
        if (!bFits) {
            EXPECT_EQ(ini, ReadFileBytes("Tandemix.ini"));
        }
    }
}

}  // namespace
