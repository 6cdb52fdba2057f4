#include "engine/ExclusionFilters.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

namespace {

const bool SHIFT_JIS_BUILD = PATH_SEP == '\\';

// Rows are written with backslashes, which the POSIX build turns into its
// separator; rows with Shift-JIS bytes run on Windows only, where every
// backslash stays.
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
        bool bShiftJisOnly;
    } cases[] = {
        {FOLDER, {"tmp"}, "", 1, false},
        {FOLDER, {"tmp"}, "\\", 1, false},
        {FOLDER, {"tmp"}, "TMP\\", 0, false},
        {FOLDER, {"TMP"}, "src\\deep\\tmp\\", 0, false},
        {FOLDER, {"tmp"}, "src\\tmp", 0, false},
        {FOLDER, {"tmp"}, "tmp\\src\\", 1, false},
        {FOLDER, {"tmp"}, "tmpx\\", 1, false},
        {FOLDER, {"old", "tmp"}, "a\\tmp\\", 0, false},
        {FOLDER, {"a\\tmp"}, "a\\tmp\\", 1, false},
        {FOLDER, {}, "tmp\\", 1, false},
        {FOLDER, {x255}, x255 + "\\", 0, false},  // the longest name a list holds
        {FOLDER, {x256}, x256 + "\\", 1, false},
        // ソフト: the 0x5C of ソ neither splits the name nor ends it.
        {FOLDER, {"\x83\x5C\x83\x74\x83\x67"}, "\x83\x5C\x83\x74\x83\x67\\", 0, true},
        {FOLDER, {"\x83\x5C"}, "a\\\x83\x5C", 0, true},
        {FOLDER, {"\\"}, "a\\\x83\x5C", 1, true},
        // ア (0x83 0x41) and ヂ (0x83 0x61) differ only in a second byte,
        // full-width Ａ and ａ are different characters; single-byte letters
        // after a double-byte character still fold.
        {FOLDER, {"\x83\x41"}, "\x83\x61\\", 1, true},
        {FOLDER, {"\x83\x61"}, "\x83\x41\\", 1, true},
        {FOLDER, {"\x82\x60"}, "\x82\x81\\", 1, true},
        {FOLDER, {"\x83\x41" "abc"}, "\x83\x41" "ABC\\", 0, true},
        {EXT, {"txt"}, "report.TXT", 0, false},
        {EXT, {"TXT"}, "sub\\notes.txt", 0, false},
        {EXT, {"txt"}, "archive.txt.gz", 1, false},
        {EXT, {"gz"}, "archive.txt.gz", 0, false},
        {EXT, {"txt"}, "README", 1, false},
        {EXT, {"txt"}, "file.", 1, false},
        {EXT, {"profile"}, ".profile", 0, false},
        {EXT, {"d"}, "old.d\\README", 1, false},
        {EXT, {".tmp"}, "a.tmp", 1, false},
        {EXT, {"bak", "tmp"}, "x.tmp", 0, false},
        {EXT, {x255}, "a." + x255, 0, false},
        {EXT, {x256}, "a." + x256, 1, false},
        {EXT, {"\x83\x41"}, "a.\x83\x61", 1, true},
        {EXT, {"\x95\x5C"}, "a.\x95\x5C", 0, true},
    };
    for (const auto& c : cases) {
        if (c.bShiftJisOnly && !SHIFT_JIS_BUILD)
            continue;
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
