#include "engine/ExclusionFilters.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

namespace {

// Rows are written with backslashes, which the POSIX build turns into its
// separator.  Names are UTF-8 on both platforms.
TEST(ExclusionFiltersTest, LastFolderNameAndExtensionAgainstTheLists)
{
    enum { FOLDER, EXT };
    const std::string x255(255, 'x');
    const std::string x256(256, 'x');
    const struct {
        int nList;
        std::vector<std::string> list;
        std::string name;
        short nExpected;  // 1: a target, 0: excluded
    } cases[] = {
        {FOLDER, {"tmp"}, "", 1},
        {FOLDER, {"tmp"}, "\\", 1},
        {FOLDER, {"tmp"}, "TMP\\", 0},
        {FOLDER, {"TMP"}, "src\\deep\\tmp\\", 0},
        {FOLDER, {"tmp"}, "src\\tmp", 0},
        {FOLDER, {"tmp"}, "tmp\\src\\", 1},
        {FOLDER, {"tmp"}, "tmpx\\", 1},
        {FOLDER, {"old", "tmp"}, "a\\tmp\\", 0},
        {FOLDER, {"a\\tmp"}, "a\\tmp\\", 1},
        {FOLDER, {}, "tmp\\", 1},
        {FOLDER, {x255}, x255 + "\\", 0},  // the longest name a list holds
        {FOLDER, {x256}, x256 + "\\", 1},
        // Only A-Z fold: ソフト matches itself alone, full-width Ａ and ａ
        // are different characters, letters after a wide character fold.
        {FOLDER, {"ソフト"}, "ソフト\\", 0},
        {FOLDER, {"ソフト"}, "ｿﾌﾄ\\", 1},
        {FOLDER, {"ソ"}, "a\\ソ", 0},
        {FOLDER, {"Ａ"}, "ａ\\", 1},
        {FOLDER, {"アabc"}, "アABC\\", 0},
        {EXT, {"txt"}, "report.TXT", 0},
        {EXT, {"TXT"}, "sub\\notes.txt", 0},
        {EXT, {"txt"}, "archive.txt.gz", 1},
        {EXT, {"gz"}, "archive.txt.gz", 0},
        {EXT, {"tmp"}, "tmp", 1},  // a name without a dot has no extension
        {EXT, {"txt"}, "file.", 1},
        {EXT, {"profile"}, ".profile", 0},
        {EXT, {"d"}, "old.d\\README", 1},
        {EXT, {".tmp"}, "a.tmp", 1},
        {EXT, {"bak", "tmp"}, "x.tmp", 0},
        {EXT, {x255}, "a." + x255, 0},
        {EXT, {x256}, "a." + x256, 1},
        {EXT, {"Ａ"}, "a.ａ", 1},
        {EXT, {"表"}, "a.表", 0},
    };
    for (const auto& c : cases) {
        const std::string name = NativePath(c.name, '\\');
        SCOPED_TRACE(name);
        std::vector<std::string> list;
        BackupSet set = {};
        for (const std::string& entry : c.list)
            list.push_back(NativePath(entry, '\\'));
        for (size_t i = 0; i < list.size(); i++)
            (c.nList == FOLDER ? set.pszExcludedFolder : set.pszExcludedExt)[i] = &list[i][0];
        (c.nList == FOLDER ? set.nExcludedFolderCount : set.nExcludedExtCount) = static_cast<short>(list.size());
        EXPECT_EQ(c.nExpected, c.nList == FOLDER ? IsTargetFolder(name.c_str(), &set)
                                                  : IsTargetExtension(name.c_str(), &set));
    }
}

}  // namespace
