#include "engine/Generations.h"

#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "log/RunLog.h"
#include "support/FakeFileServices.h"

namespace {

namespace fs = std::filesystem;

// Name -> content of the files in "bk".
typedef std::map<std::string, std::string> Listing;

enum GenerationType { TYPE_FILE = 1, TYPE_TOP = 2 };

// Each case rotates in a fresh folder "bk" with the run log beside it.
class GenerationsTest : public testing::Test {
protected:
    void SetUp() override { StartOver(); }
    void TearDown() override { CloseRunLog(); }

    void StartOver(const Listing& files = Listing())
    {
        CloseRunLog();
        std::error_code ec;
        fs::remove_all(m_bk, ec);
        ASSERT_TRUE(GetRealFileServices().CreateDirectory(m_bk.c_str()));
        ASSERT_TRUE(OpenRunLog(m_temp.Join("run.log").c_str()));
        for (const auto& file : files)
            ASSERT_TRUE(WriteFileBytes(Bk(file.first), file.second));
    }

    std::string Bk(const std::string& name) const { return m_bk + PATH_SEP + name; }

    Listing Contents() const
    {
        Listing listing;
        for (const std::string& name : ListTree(m_bk))
            listing[name] = ReadFileBytes(Bk(name));
        return listing;
    }

    Lines LogLines()
    {
        CloseRunLog();
        return ReadLogTexts(m_temp.Join("run.log"));
    }

    BOOL Rotate(GenerationType nType, const std::string& item, int32_t nCount)
    {
        BackupSet set = {};
        (nType == TYPE_FILE ? set.nFileGenerations : set.nTopGenerations) = nCount;
        BOOL bResult = nType == TYPE_FILE ? RotateFileGenerations(item.c_str(), &set)
                                          : RotateTopGenerations(item.c_str(), &set, nullptr);
        m_nCountAfter = nType == TYPE_FILE ? set.nFileGenerations : set.nTopGenerations;
        return bResult;
    }

    static std::string CountLine(GenerationType nType, int nCount)
    {
        return std::string(nType == TYPE_FILE ? "  タイプ１" : "  タイプ２") + "の世代を作ります 世代数=" +
            std::to_string(nCount);
    }

    std::string MoveLine(const std::string& from, const std::string& to) const
    {
        return "    " + Bk(from) + " => " + Bk(to);
    }

    TempDir m_temp;
    const std::string m_bk = m_temp.Join("bk");
    int32_t m_nCountAfter = 0;
};

// Both types treat a file item alike; only their count lines differ.
TEST_F(GenerationsTest, ShiftsGenerationsAcrossGaps)
{
    const struct {
        const char* pszWhat;
        int32_t nCount;
        Listing before;
        Listing after;
        std::vector<std::pair<std::string, std::string>> moves;  // in the order logged
    } cases[] = {
        {"worked example", 3,
         {{"a.txt", "v0"}, {"1_a.txt", "v1"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"2_a.txt", "v1"}, {"3_a.txt", "v2"}},
         {{"2_a.txt", "3_a.txt"}, {"1_a.txt", "2_a.txt"}, {"a.txt", "1_a.txt"}}},
        {"gap at 1", 3,
         {{"a.txt", "v0"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"3_a.txt", "v2"}},
         {{"2_a.txt", "3_a.txt"}, {"a.txt", "1_a.txt"}}},
        {"nothing moves onto the oldest", 3,
         {{"a.txt", "v0"}, {"3_a.txt", "v3"}},
         {{"1_a.txt", "v0"}, {"3_a.txt", "v3"}},
         {{"a.txt", "1_a.txt"}}},
        {"item missing, other items stay", 2,
         {{"1_a.txt", "v1"}, {"b.txt", "b"}, {"1_b.txt", "b1"}},
         {{"2_a.txt", "v1"}, {"b.txt", "b"}, {"1_b.txt", "b1"}},
         {{"1_a.txt", "2_a.txt"}}},
        {"count 0", 0, {{"a.txt", "v0"}, {"1_a.txt", "v1"}}, {{"a.txt", "v0"}, {"1_a.txt", "v1"}}, {}},
        {"negative count", -1, {{"a.txt", "v0"}, {"1_a.txt", "v1"}}, {{"a.txt", "v0"}, {"1_a.txt", "v1"}}, {}},
    };
    for (GenerationType nType : {TYPE_FILE, TYPE_TOP}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.pszWhat) + (nType == TYPE_FILE ? ", type 1" : ", type 2"));
            StartOver(c.before);
            EXPECT_TRUE(Rotate(nType, Bk("a.txt"), c.nCount));
            EXPECT_EQ(c.after, Contents());
            Lines expected;
            if (c.nCount > 0)
                expected.push_back(CountLine(nType, c.nCount));
            for (const auto& move : c.moves)
                expected.push_back(MoveLine(move.first, move.second));
            EXPECT_EQ(expected, LogLines());
        }
    }
}

TEST_F(GenerationsTest, CountAboveNineIsCappedAndWrittenBack)
{
    Listing before = {{"a.txt", "v0"}, {"10_a.txt", "v10"}};
    Listing after = {{"10_a.txt", "v10"}};  // beyond the count: never looked at
    for (int n = 1; n <= 9; n++) {
        before[std::to_string(n) + "_a.txt"] = "v" + std::to_string(n);
        after[std::to_string(n) + "_a.txt"] = "v" + std::to_string(n - 1);
    }
    for (GenerationType nType : {TYPE_FILE, TYPE_TOP}) {
        StartOver(before);
        EXPECT_TRUE(Rotate(nType, Bk("a.txt"), 15));
        EXPECT_EQ(9, m_nCountAfter);
        EXPECT_EQ(after, Contents());
        EXPECT_EQ(CountLine(nType, 9), LogLines().at(0));
    }
}

// A rename that fails at any step (a copy held open, an immovable file)
// puts every name back: the item and each generation keep their old names
// and contents, and FALSE tells the caller not to replace the item.
TEST_F(GenerationsTest, FailureAtAnyStepPutsEveryNameBack)
{
    const Listing before = {{"a.txt", "v0"}, {"1_a.txt", "v1"}, {"2_a.txt", "v2"}, {"3_a.txt", "v3"},
                            {".new", "v4"}};
    for (GenerationType nType : {TYPE_FILE, TYPE_TOP}) {
        for (const char* pszFailing : {"3_a.txt", "2_a.txt", "1_a.txt", "a.txt", ".new"}) {
            if (nType == TYPE_FILE && std::string(pszFailing) == ".new")
                continue;
            SCOPED_TRACE(std::string(pszFailing) + (nType == TYPE_FILE ? ", type 1" : ", type 2"));
            StartOver(before);
            FakeFileServices fake(false);
            ScopedFileServices use(fake);
            fake.Fail(FakeFileServices::FAIL_RENAME, Bk(pszFailing), ERROR_NOT_READY);
            BackupSet set = {};
            set.nFileGenerations = set.nTopGenerations = 3;
            EXPECT_FALSE(nType == TYPE_FILE ? RotateFileGenerations(Bk("a.txt").c_str(), &set)
                                            : RotateTopGenerations(Bk("a.txt").c_str(), &set, Bk(".new").c_str()));
            EXPECT_EQ(before, Contents());
            EXPECT_EQ(1u, CountPrefix(LogLines(), "  世代の名前変更に失敗しました " + Bk(pszFailing)));
        }
    }
}

// Names that would not fit are refused before anything moves; nothing is
// ever cut into a different name.
TEST_F(GenerationsTest, NamesThatDoNotFitAreRefused)
{
    const std::string refused = "  世代名を作れないので世代を作りません ";
    const struct {
        const char* pszWhat;
        std::string item;
        BOOL bExpected;
        std::string line;
    } cases[] = {
        {"longest generation name", Bk(std::string(253, 'n')), TRUE, CountLine(TYPE_FILE, 1)},
        {"generation name one over", Bk(std::string(254, 'n')), FALSE, refused + Bk(std::string(254, 'n'))},
        {"no name", m_bk + PATH_SEP, FALSE, refused + m_bk + PATH_SEP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        StartOver({{"keep", "keep"}});
        EXPECT_EQ(c.bExpected, Rotate(TYPE_FILE, c.item, 1));
        EXPECT_EQ(Lines{c.line}, LogLines());
        EXPECT_EQ((Listing{{"keep", "keep"}}), Contents());
    }
}

}  // namespace
