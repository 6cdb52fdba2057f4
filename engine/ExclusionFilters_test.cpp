#include "engine/ExclusionFilters.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestPaths.h"

namespace {

// Tables are written with backslashes, which may stand beside Shift-JIS
// characters whose second byte is 0x5C.
std::string P(const std::string& path)
{
    return NativePath(path, '\\');
}

// A set whose two lists hold the given entries.  The strings stay owned by
// the fixture; the set only points at them, as it does at the loader's.
class ExclusionSet {
public:
    ExclusionSet(std::vector<std::string> folders, std::vector<std::string> extensions)
        : m_folders(std::move(folders)), m_extensions(std::move(extensions)), m_pSet(new BackupSet())
    {
        m_pSet->nExcludedFolderCount = Fill(m_folders, m_pSet->pszExcludedFolder);
        m_pSet->nExcludedExtCount = Fill(m_extensions, m_pSet->pszExcludedExt);
    }
    BackupSet* Get() { return m_pSet.get(); }

private:
    static short Fill(std::vector<std::string>& entries, char** ppszList)
    {
        for (size_t i = 0; i < entries.size(); i++)
            ppszList[i] = &entries[i][0];
        return static_cast<short>(entries.size());
    }

    std::vector<std::string> m_folders;
    std::vector<std::string> m_extensions;
    std::unique_ptr<BackupSet> m_pSet;
};

struct FilterCase {
    std::vector<std::string> list;
    std::string name;
    short nExpected;
};

// bConvert: the case is written with backslashes for separators.
void ExpectFilter(const std::vector<FilterCase>& cases, BOOL bConvert, BOOL bFolders)
{
    for (const FilterCase& c : cases) {
        std::string name = c.name;
        std::vector<std::string> list = c.list;
        if (bConvert) {
            name = P(name);
            for (std::string& entry : list)
                entry = P(entry);
        }
        SCOPED_TRACE(name);
        ExclusionSet set(bFolders ? list : std::vector<std::string>(), bFolders ? std::vector<std::string>() : list);
        short nResult = bFolders ? IsTargetFolder(name.c_str(), set.Get()) : IsTargetExtension(name.c_str(), set.Get());
        EXPECT_EQ(c.nExpected, nResult);
    }
}

TEST(IsTargetFolderTest, LastComponentAgainstTheList)
{
    const std::string name255(255, 'x');
    const std::string name256(256, 'x');
    const std::vector<FilterCase> cases = {
        {{"tmp"}, "", 1},
        {{"tmp"}, "\\", 1},
        {{"tmp"}, "tmp\\", 0},
        {{"tmp"}, "TMP\\", 0},
        {{"TMP"}, "src\\deep\\tmp\\", 0},
        {{"tmp"}, "src\\tmp", 0},
        {{"tmp"}, "tmp\\src\\", 1},
        {{"tmp"}, "tmpx\\", 1},
        {{"tmp"}, "tm\\", 1},
        {{"old", "tmp"}, "a\\tmp\\", 0},
        {{"a\\tmp"}, "a\\tmp\\", 1},
        {{}, "tmp\\", 1},
        {{"データ"}, "src\\データ\\", 0},
        // The longest name a list can hold still matches; a longer one is
        // compared with nothing.
        {{name255}, name255 + "\\", 0},
        {{name256}, name256 + "\\", 1},
    };
    ExpectFilter(cases, TRUE, TRUE);
}

TEST(IsTargetFolderTest, NullPathOrNoListMeansTarget)
{
    ExclusionSet set({"tmp"}, {});
    EXPECT_EQ(1, IsTargetFolder(nullptr, set.Get()));
    set.Get()->nExcludedFolderCount = 0;
    EXPECT_EQ(1, IsTargetFolder("tmp", set.Get()));
    set.Get()->nExcludedFolderCount = -1;
    EXPECT_EQ(1, IsTargetFolder("tmp", set.Get()));
}

TEST(IsTargetFolderTest, DoubleByteNames)
{
    if (PATH_SEP != '\\')
        GTEST_SKIP() << "Shift-JIS names occur on Windows only";
    const std::vector<FilterCase> cases = {
        // ソフト: the 0x5C of ソ neither splits the name nor counts as the
        // trailing separator.
        {{"\x83\x5C\x83\x74\x83\x67"}, "\x83\x5C\x83\x74\x83\x67\\", 0},
        {{"\x83\x5C\x83\x74\x83\x67"}, "src\\\x83\x5C\x83\x74\x83\x67", 0},
        {{"\x83\x5C"}, "\x83\x5C\\", 0},
        {{"\x83\x5C"}, "a\\\x83\x5C", 0},
        {{"\\"}, "a\\\x83\x5C", 1},
        // ア (0x83 0x41) and ヂ (0x83 0x61) differ only in a second byte.
        {{"\x83\x41"}, "\x83\x41\\", 0},
        {{"\x83\x41"}, "\x83\x61\\", 1},
        {{"\x83\x61"}, "\x83\x41\\", 1},
        // Full-width Ａ and ａ are different characters.
        {{"\x82\x60"}, "\x82\x81\\", 1},
        // Single-byte letters after a double-byte character still fold.
        {{"\x83\x41" "abc"}, "\x83\x41" "ABC\\", 0},
    };
    ExpectFilter(cases, FALSE, TRUE);
}

TEST(IsTargetExtensionTest, TextAfterTheLastDot)
{
    const std::string ext255(255, 'x');
    const std::string ext256(256, 'x');
    const std::vector<FilterCase> cases = {
        {{"txt"}, "report.TXT", 0},
        {{"TXT"}, "report.txt", 0},
        {{"txt"}, "sub\\notes.txt", 0},
        {{"txt"}, "archive.txt.gz", 1},
        {{"gz"}, "archive.txt.gz", 0},
        {{"txt"}, "README", 1},
        {{"txt"}, "file.", 1},
        {{"profile"}, ".profile", 0},
        {{"d"}, "old.d\\README", 1},
        {{".tmp"}, "a.tmp", 1},
        {{".tmp"}, "a..tmp", 1},
        {{"bak", "tmp", "log"}, "x.tmp", 0},
        {{}, "a.txt", 1},
        {{ext255}, "a." + ext255, 0},
        {{ext256}, "a." + ext256, 1},
    };
    ExpectFilter(cases, TRUE, FALSE);
}

TEST(IsTargetExtensionTest, DoubleByteExtensions)
{
    if (PATH_SEP != '\\')
        GTEST_SKIP() << "Shift-JIS names occur on Windows only";
    const std::vector<FilterCase> cases = {
        {{"\x83\x41"}, "a.\x83\x41", 0},
        {{"\x83\x41"}, "a.\x83\x61", 1},
        {{"\x95\x5C"}, "a.\x95\x5C", 0},
    };
    ExpectFilter(cases, FALSE, FALSE);
}

}  // namespace
