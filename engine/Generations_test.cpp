#include "engine/Generations.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "engine/FileServicesProbe_test.h"
#include "log/RunLog.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Name -> content of the files in a folder; a folder shows as "<dir>".
typedef std::map<std::string, std::string> Listing;

const char FOLDER[] = "<dir>";

enum GenerationType { TYPE_FILE = 1, TYPE_TOP = 2 };

// Each test rotates in a folder "bk" of its own temporary folder and keeps
// the run log beside it, so that the lines can be read back.
class GenerationsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.Path().empty());
        ASSERT_EQ(nullptr, g_pConfig) << "the log filter must not drop detail lines";
        m_bk = m_temp.Join("bk");
        m_pSet.reset(new BackupSet());
        StartOver();
    }
    void TearDown() override { CloseRunLog(); }

    // An empty "bk" and an empty run log.
    void StartOver()
    {
        std::error_code ec;
        fs::remove_all(m_bk, ec);
        ASSERT_TRUE(GetRealFileServices().CreateDirectory(m_bk.c_str()));
        CloseRunLog();
        g_logFile.SetTextEncoding(ENCODING_NATIVE);
        ASSERT_TRUE(OpenRunLog(m_temp.Join("run.log").c_str()));
    }

    std::string Bk(const std::string& name) const { return m_bk + PATH_SEP + name; }

    void Lay(const Listing& files)
    {
        for (const auto& entry : files) {
            if (entry.second == FOLDER)
                ASSERT_TRUE(GetRealFileServices().CreateDirectory(Bk(entry.first).c_str()));
            else
                ASSERT_TRUE(WriteFileBytes(Bk(entry.first), entry.second));
        }
    }

    // Top level of "bk" only.
    Listing Contents() const
    {
        Listing listing;
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(m_bk, ec)) {
            std::string name = entry.path().filename().string();
            listing[name] = entry.is_directory() ? FOLDER : ReadFileBytes(Bk(name));
        }
        return listing;
    }

    // The texts of the lines logged so far, without their time stamps.
    // Closes the log.
    std::vector<std::string> LogLines()
    {
        CloseRunLog();
        std::vector<std::string> lines;
        std::string bytes = ReadFileBytes(m_temp.Join("run.log"));
        size_t nStart = 0;
        while (nStart < bytes.size()) {
            size_t nEnd = bytes.find('\n', nStart);
            if (nEnd == std::string::npos)
                nEnd = bytes.size();
            std::string line = bytes.substr(nStart, nEnd - nStart);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t nStamp = sizeof("2007/05/01 09:05:03  ") - 1;
            lines.push_back(line.size() >= nStamp ? line.substr(nStamp) : "(short line) " + line);
            nStart = nEnd + 1;
        }
        return lines;
    }

    BOOL Rotate(GenerationType nType, const std::string& item, int32_t nCount)
    {
        if (nType == TYPE_FILE) {
            m_pSet->nFileGenerations = nCount;
            return RotateFileGenerations(item.c_str(), m_pSet.get());
        }
        m_pSet->nTopGenerations = nCount;
        return RotateTopGenerations(item.c_str(), m_pSet.get());
    }

    static std::string CountLine(GenerationType nType, int nCount)
    {
        return (nType == TYPE_FILE ? "  タイプ１の世代を作ります 世代数=" : "  タイプ２の世代を作ります 世代数=") +
            std::to_string(nCount);
    }

    std::string MoveLine(const std::string& from, const std::string& to) const
    {
        return "    " + Bk(from) + " => " + Bk(to);
    }

    static std::string ErrorText(DWORD dwError)
    {
        char szError[256];
        FormatSystemError(dwError, szError, sizeof(szError));
        return szError;
    }

    TempDir m_temp;
    std::string m_bk;
    std::unique_ptr<BackupSet> m_pSet;
};

struct RotationCase {
    const char* pszWhat;
    int32_t nCount;
    Listing before;
    Listing after;
    std::vector<std::pair<std::string, std::string>> moves;  // in the order logged
};

class RotationTest : public GenerationsTest, public testing::WithParamInterface<GenerationType> {};

// Both types treat a file item alike; only their count lines differ.
TEST_P(RotationTest, ShiftsFileGenerations)
{
    const GenerationType nType = GetParam();
    const RotationCase cases[] = {
        {"worked example",
         3,
         {{"a.txt", "v0"}, {"1_a.txt", "v1"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"2_a.txt", "v1"}, {"3_a.txt", "v2"}},
         {{"2_a.txt", "3_a.txt"}, {"1_a.txt", "2_a.txt"}, {"a.txt", "1_a.txt"}}},
        {"one generation",
         1,
         {{"a.txt", "v0"}, {"1_a.txt", "v1"}},
         {{"1_a.txt", "v0"}},
         {{"a.txt", "1_a.txt"}}},
        {"gap at 1",
         3,
         {{"a.txt", "v0"}, {"2_a.txt", "v2"}},
         {{"1_a.txt", "v0"}, {"3_a.txt", "v2"}},
         {{"2_a.txt", "3_a.txt"}, {"a.txt", "1_a.txt"}}},
        {"gap at 1, oldest present",
         3,
         {{"a.txt", "v0"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"3_a.txt", "v2"}},
         {{"2_a.txt", "3_a.txt"}, {"a.txt", "1_a.txt"}}},
        {"nothing moves onto the oldest",
         3,
         {{"a.txt", "v0"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"3_a.txt", "v3"}},
         {{"a.txt", "1_a.txt"}}},
        {"item missing",
         2,
         {{"1_a.txt", "v1"}},
         {{"2_a.txt", "v1"}},
         {{"1_a.txt", "2_a.txt"}}},
        {"other items stay",
         1,
         {{"a.txt", "v0"}, {"b.txt", "b"}, {"1_b.txt", "b1"}},
         {{"1_a.txt", "v0"}, {"b.txt", "b"}, {"1_b.txt", "b1"}},
         {{"a.txt", "1_a.txt"}}},
    };
    for (const RotationCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        StartOver();
        Lay(c.before);
        EXPECT_TRUE(Rotate(nType, Bk("a.txt"), c.nCount));
        EXPECT_EQ(c.after, Contents());
        std::vector<std::string> expected = {CountLine(nType, c.nCount)};
        for (const auto& move : c.moves)
            expected.push_back(MoveLine(move.first, move.second));
        EXPECT_EQ(expected, LogLines());
    }
}

TEST_P(RotationTest, CountOfZeroOrLessDoesNothing)
{
    Lay({{"a.txt", "v0"}, {"1_a.txt", "v1"}});
    for (int32_t nCount : {0, -1, -100}) {
        SCOPED_TRACE(nCount);
        EXPECT_TRUE(Rotate(GetParam(), Bk("a.txt"), nCount));
    }
    EXPECT_EQ((Listing{{"a.txt", "v0"}, {"1_a.txt", "v1"}}), Contents());
    EXPECT_TRUE(LogLines().empty());
}

TEST_P(RotationTest, CountAboveNineIsCappedAndKept)
{
    const GenerationType nType = GetParam();
    Listing before = {{"a.txt", "v0"}, {"10_a.txt", "v10"}};
    for (int n = 1; n <= 9; n++)
        before[std::to_string(n) + "_a.txt"] = "v" + std::to_string(n);
    Lay(before);
    EXPECT_TRUE(Rotate(nType, Bk("a.txt"), 15));

    EXPECT_EQ(9, nType == TYPE_FILE ? m_pSet->nFileGenerations : m_pSet->nTopGenerations);
    EXPECT_EQ(0, nType == TYPE_FILE ? m_pSet->nTopGenerations : m_pSet->nFileGenerations);
    Listing after = {{"10_a.txt", "v10"}};  // beyond the count: never looked at
    for (int n = 1; n <= 9; n++)
        after[std::to_string(n) + "_a.txt"] = "v" + std::to_string(n - 1);
    EXPECT_EQ(after, Contents());
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(10u, lines.size());
    EXPECT_EQ(CountLine(nType, 9), lines[0]);
    EXPECT_EQ(MoveLine("8_a.txt", "9_a.txt"), lines[1]);
    EXPECT_EQ(MoveLine("a.txt", "1_a.txt"), lines[9]);
}

INSTANTIATE_TEST_SUITE_P(BothTypes, RotationTest, testing::Values(TYPE_FILE, TYPE_TOP),
                         [](const testing::TestParamInfo<GenerationType>& info) {
                             return std::string(info.param == TYPE_FILE ? "Type1" : "Type2");
                         });

TEST_F(GenerationsTest, TopFolderGenerationGoesWithItsContents)
{
    Lay({{"data", FOLDER}, {"1_data", FOLDER}, {"2_data", FOLDER}});
    ASSERT_TRUE(WriteFileBytes(Bk("data") + PATH_SEP + "f.txt", "new"));
    ASSERT_TRUE(WriteFileBytes(Bk("1_data") + PATH_SEP + "f.txt", "old1"));
    ASSERT_TRUE(GetRealFileServices().CreateDirectory((Bk("2_data") + PATH_SEP + "sub").c_str()));
    ASSERT_TRUE(WriteFileBytes(Bk("2_data") + PATH_SEP + "sub" + PATH_SEP + "g.txt", "old2"));

    EXPECT_TRUE(Rotate(TYPE_TOP, Bk("data"), 2));
    EXPECT_EQ((Listing{{"1_data", FOLDER}, {"2_data", FOLDER}}), Contents());
    EXPECT_EQ("new", ReadFileBytes(Bk("1_data") + PATH_SEP + "f.txt"));
    EXPECT_EQ("old1", ReadFileBytes(Bk("2_data") + PATH_SEP + "f.txt"));
    EXPECT_FALSE(GetRealFileServices().Exists((Bk("2_data") + PATH_SEP + "sub").c_str()));
}

TEST_F(GenerationsTest, FileGenerationsNeverDeleteAFolderTree)
{
    // Type 1 only ever meets files; a folder in the way is not emptied.
    Lay({{"a.txt", "v0"}, {"1_a.txt", FOLDER}});
    ASSERT_TRUE(WriteFileBytes(Bk("1_a.txt") + PATH_SEP + "keep", "keep"));
    EXPECT_FALSE(Rotate(TYPE_FILE, Bk("a.txt"), 1));
    EXPECT_EQ("keep", ReadFileBytes(Bk("1_a.txt") + PATH_SEP + "keep"));
    EXPECT_EQ("v0", ReadFileBytes(Bk("a.txt")));
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(0u, lines[1].find("  世代の削除に失敗しました " + Bk("1_a.txt") + " (")) << lines[1];
}

TEST_F(GenerationsTest, DeletingAFolderGenerationNeverFollowsALink)
{
    if (PATH_SEP == '\\')
        GTEST_SKIP() << "symbolic links are a POSIX test";
    std::string outside = m_temp.Join("outside");
    ASSERT_TRUE(GetRealFileServices().CreateDirectory(outside.c_str()));
    ASSERT_TRUE(WriteFileBytes(outside + PATH_SEP + "keep.txt", "keep"));
    std::error_code ec;

    // A link inside the oldest generation: the tree goes, the target stays.
    Lay({{"data", FOLDER}, {"1_data", FOLDER}});
    fs::create_directory_symlink(outside, Bk("1_data") + PATH_SEP + "link", ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_TRUE(Rotate(TYPE_TOP, Bk("data"), 1));
    EXPECT_EQ((Listing{{"1_data", FOLDER}}), Contents());
    EXPECT_EQ("keep", ReadFileBytes(outside + PATH_SEP + "keep.txt"));

    // The oldest generation is itself a link to a folder: only the link goes.
    StartOver();
    Lay({{"data", FOLDER}});
    fs::create_directory_symlink(outside, Bk("1_data"), ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_TRUE(Rotate(TYPE_TOP, Bk("data"), 1));
    EXPECT_FALSE(fs::is_symlink(Bk("1_data")));
    EXPECT_EQ("keep", ReadFileBytes(outside + PATH_SEP + "keep.txt"));
}

struct FaultCase {
    const char* pszWhat;
    GenerationType nType;
    std::string failing;  // name in "bk" whose delete or rename fails
    Listing after;
    std::vector<std::string> lines;  // the log lines expected
};

// A generation that cannot be deleted or renamed (read-only, in use) stops
// the rotation where it stands: no older copy is lost, and FALSE tells the
// caller not to replace the item.
TEST_F(GenerationsTest, FailureStopsTheRotationWithEveryCopyKept)
{
    const Listing before = {{"a.txt", "v0"}, {"1_a.txt", "v1"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"}};
    const std::string error = ErrorText(ERROR_NOT_READY);
    const FaultCase cases[] = {
        {"oldest cannot be deleted",
         TYPE_FILE,
         "3_a.txt",
         before,
         {CountLine(TYPE_FILE, 3), "  世代の削除に失敗しました " + Bk("3_a.txt") + " (" + error + ")"}},
        {"middle generation cannot be renamed",
         TYPE_FILE,
         "1_a.txt",
         {{"a.txt", "v0"}, {"1_a.txt", "v1"}, {"3_a.txt", "v2"}},
         {CountLine(TYPE_FILE, 3), MoveLine("2_a.txt", "3_a.txt"), MoveLine("1_a.txt", "2_a.txt"),
          "  世代の名前変更に失敗しました " + Bk("1_a.txt") + " => " + Bk("2_a.txt") + " (" + error + ")"}},
        {"item cannot be renamed",
         TYPE_TOP,
         "a.txt",
         {{"a.txt", "v0"}, {"2_a.txt", "v1"}, {"3_a.txt", "v2"}},
         {CountLine(TYPE_TOP, 3), MoveLine("2_a.txt", "3_a.txt"), MoveLine("1_a.txt", "2_a.txt"),
          MoveLine("a.txt", "1_a.txt"),
          "  世代の名前変更に失敗しました " + Bk("a.txt") + " => " + Bk("1_a.txt") + " (" + error + ")"}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        StartOver();
        Lay(before);
        FileServicesProbe probe;
        probe.FailPath(Bk(c.failing), ERROR_NOT_READY);
        EXPECT_FALSE(Rotate(c.nType, Bk("a.txt"), 3));
        EXPECT_EQ(1, probe.m_nFailures);
        EXPECT_EQ(c.after, Contents());
        EXPECT_EQ(c.lines, LogLines());
    }
}

TEST_F(GenerationsTest, FolderGenerationThatCannotBeDeletedStopsTheRotation)
{
    Lay({{"data", FOLDER}, {"1_data", FOLDER}});
    ASSERT_TRUE(WriteFileBytes(Bk("1_data") + PATH_SEP + "f.txt", "old"));
    FileServicesProbe probe;
    probe.FailPath(Bk("1_data"), ERROR_NOT_READY);
    EXPECT_FALSE(Rotate(TYPE_TOP, Bk("data"), 1));
    EXPECT_EQ((Listing{{"data", FOLDER}, {"1_data", FOLDER}}), Contents());
    EXPECT_EQ("old", ReadFileBytes(Bk("1_data") + PATH_SEP + "f.txt"));
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("  世代の削除に失敗しました " + Bk("1_data") + " (" + ErrorText(ERROR_NOT_READY) + ")", lines[1]);
}

// Names and lines that would not fit are refused before anything moves;
// nothing is ever cut into a different name.
TEST_F(GenerationsTest, NamesThatDoNotFitAreRefused)
{
    const std::string refused = "  世代名を作れないので世代を作りません ";
    // A generation name "%d_%s" has 255 bytes of room.
    const std::string name253(253, 'n');
    const std::string name254(254, 'n');
    // The move line "    from => to" of count 1 is 2 * (folder + name) + 10
    // bytes long, and must leave room for its terminator in 1024.
    // The length is put into a folder's name (no such folder exists), so
    // that the generation names stay short.
    const std::string prefix = m_temp.Join("");
    const std::string fitsLine = prefix + std::string(500 - prefix.size(), 'f') + PATH_SEP + "a.txt";
    const std::string overLine = prefix + std::string(501 - prefix.size(), 'f') + PATH_SEP + "a.txt";
    struct {
        const char* pszWhat;
        std::string item;
        BOOL bExpected;
        std::string line;
    } cases[] = {
        {"longest generation name", Bk(name253), TRUE, CountLine(TYPE_FILE, 1)},
        {"generation name one over", Bk(name254), FALSE, refused + Bk(name254)},
        {"longest move line", fitsLine, TRUE, CountLine(TYPE_FILE, 1)},
        {"move line one over", overLine, FALSE, refused + overLine},
        {"no name", m_bk + PATH_SEP, FALSE, refused + m_bk + PATH_SEP},
        {"item path too long", std::string(1024, 'p'), FALSE, refused.substr(0, refused.size() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        StartOver();
        Lay({{"keep", "keep"}});
        EXPECT_EQ(c.bExpected, Rotate(TYPE_FILE, c.item, 1));
        EXPECT_EQ(std::vector<std::string>{c.line}, LogLines());
        EXPECT_EQ((Listing{{"keep", "keep"}}), Contents());
    }
}

}  // namespace
