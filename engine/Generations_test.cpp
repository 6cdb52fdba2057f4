#include "engine/Generations.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/SetLoop.h"
#include "support/EngineFixture.h"

namespace {

typedef FakeFileServices Fake;
// Each name of an item's generations -> what it holds: a file's bytes, or
// a folder's files as "rel=bytes;".
typedef std::map<std::string, std::string> Holdings;

// A type-1 folder item is a file that a source folder of the same name now
// replaces: its new copy is the new, empty folder.
enum ItemKind { FILE_ITEM, FOLDER_ITEM };

struct Rotation {
    int nType;
    ItemKind nKind;
    int32_t nCount;
    std::vector<int> slots;  // those there before: 0 the item, k its k_x
    bool bFailUndo;          // also fail each change and then one after it
    std::string name = "x";
};

// The set copies C:/src (type 1) or C:/src/x (type 2) into D:/bk/.
class GenerationsTest : public EngineTest {
protected:
    static std::string Folder(const Rotation& r) { return WinPath(r.nType == 1 ? "D:/bk/src/" : "D:/bk/"); }
    static std::string Slot(const Rotation& r, int k)
    {
        return Folder(r) + (k == 0 ? "" : std::to_string(k) + "_") + r.name;
    }
    // A copy of version v: a file that holds v, or a folder that holds
    // sub/b.txt.  The old copies are folders for a type-2 folder item, the
    // new one for any folder item.
    static std::string Copy(const std::string& v, bool bFolder) { return bFolder ? "sub/b.txt=" + v + ";" : v; }
    static void WriteCopy(Fake& fake, const std::string& path, const std::string& v, bool bFolder, time_t mtime)
    {
        fake.AddFile(path + (bFolder ? NativePath("/sub/b.txt") : ""), mtime, v);
    }
    static bool OldIsFolder(const Rotation& r) { return r.nType == 2 && r.nKind == FOLDER_ITEM; }
    static std::string Version(const Rotation& r, int k) { return Copy("g" + std::to_string(k), OldIsFolder(r)); }
    static std::string NewVersion(const Rotation& r) { return Copy("new", r.nKind == FOLDER_ITEM); }

    static Holdings Generations(const Fake& fake, const Rotation& r)
    {
        Holdings holdings;
        for (int k = 0; k <= r.nCount; k++) {
            const std::string place = fake.RealPath(Slot(r, k));
            std::error_code ec;
            if (!std::filesystem::exists(std::filesystem::symlink_status(place, ec)))
                continue;
            std::string& holding = holdings[Slot(r, k)];
            if (!std::filesystem::is_directory(place, ec))
                holding = ReadFileBytes(place);
            for (const std::string& rel : ListTree(place)) {
                if (rel.back() != '/')
                    holding += rel + "=" + ReadFileBytes(place + "/" + rel) + ";";
            }
        }
        return holdings;
    }

    // The generations after nRotations whole rotations.
    static Holdings Expected(const Rotation& r, int nRotations)
    {
        std::map<int, std::string> slots;
        for (int k : r.slots)
            slots[k] = Version(r, k);
        for (int n = 0; n < nRotations; n++) {
            std::map<int, std::string> next = {{0, NewVersion(r)}};
            for (const auto& slot : slots) {
                if (slot.first < r.nCount || slots.count(r.nCount - 1) == 0)
                    next[std::min(slot.first + 1, static_cast<int>(r.nCount))] = slot.second;
            }
            slots = next;
        }
        Holdings holdings;
        for (const auto& slot : slots)
            holdings[Slot(r, slot.first)] = slot.second;
        return holdings;
    }

    // Runs the set with the faults fnFaults puts in place, checks what the
    // stopped run left, runs it again through clean services and checks the
    // end.  Returns how many changes the stopped run tried.
    int RunStoppedThenClean(const Rotation& r, const std::function<void(Fake&)>& fnFaults)
    {
        Fake fake;
        ScopedFileServices use(fake);
        WriteCopy(fake, WinPath("C:/src/") + r.name, "new", r.nKind == FOLDER_ITEM, 200);
        for (int k : r.slots)
            WriteCopy(fake, Slot(r, k), "g" + std::to_string(k), OldIsFolder(r), 100);
        // A neighbour, which no rotation or recovery of x may touch.
        for (const char* pszName : {"y", "1_y"})
            fake.AddFile(Folder(r) + pszName, 100, pszName);
        fake.AddFile(WinPath("C:/src/y"), 100, "y");
        BackupSet* pSet = AddSet(1, r.nType == 1 ? WinPath("C:/src") : WinPath("C:/src/") + r.name, WinPath("D:/bk/"));
        (r.nType == 1 ? pSet->nFileGenerations : pSet->nTopGenerations) = r.nCount;
        const Holdings before = Generations(fake, r);

        fnFaults(fake);
        RestartRun();
        RunBackupSets();
        const int nChanges = fake.Changes();
        // No generation name holds a part of a copy (the type-1 folder is
        // filled after it takes its name), and every copy is still there but
        // the one the rotation drops.
        const Holdings stopped = Generations(fake, r);
        std::vector<std::string> complete = {NewVersion(r)};
        for (int k = 0; k <= r.nCount; k++)
            complete.push_back(Version(r, k));
        for (const auto& holding : stopped) {
            EXPECT_TRUE(std::count(complete.begin(), complete.end(), holding.second) == 1 ||
                        (r.nType == 1 && r.nKind == FOLDER_ITEM && holding.first == Slot(r, 0)))
                << holding.first << " holds " << holding.second;
        }
        const bool bDrops = std::count(r.slots.begin(), r.slots.end(), r.nCount) == 1 &&
                            std::count(r.slots.begin(), r.slots.end(), r.nCount - 1) == 1;
        for (const auto& old : before) {
            bool bKept = bDrops && old.first == Slot(r, r.nCount);
            for (const auto& holding : stopped)
                bKept = bKept || holding.second == old.second;
            EXPECT_TRUE(bKept) << old.second << " is lost";
        }
        // A type-2 rotation that got as far as its swap name is finished by
        // the next run, which then makes one more.
        bool bCommitted = stopped.count(Slot(r, 0)) != 0 && stopped.at(Slot(r, 0)) == NewVersion(r);
        for (const std::string& entry : ListTree(fake.RealPath(Folder(r))))
            bCommitted = bCommitted || entry.find(".tandemix-swap-") != std::string::npos;

        fake.StopAfterChanges(-1);
        RestartRun();
        RunBackupSets();
        EXPECT_EQ(Expected(r, r.nType == 2 && bCommitted ? 2 : 1), Generations(fake, r));
        EXPECT_EQ(0, g_nRunFailures);
        EXPECT_EQ("y" "1_y", fake.Content(Folder(r) + "y") + fake.Content(Folder(r) + "1_y"));
        for (const std::string& entry : ListTree(fake.RealPath(Folder(r))))
            EXPECT_NE('.', entry[0]) << entry;
        return nChanges;
    }
};

// A rotation stopped after each of its changes in turn, as by a kill, and
// one whose change K fails and whose undo then fails at its j-th change:
// the next run finishes or undoes it, and no complete copy is lost.
TEST_F(GenerationsTest, ARotationStoppedAfterAnyChangeIsFinishedByTheNextRun)
{
    const Rotation rotations[] = {
        {1, FILE_ITEM, 1, {0, 1}, false},
        {1, FILE_ITEM, 2, {0, 2}, false},
        {1, FILE_ITEM, 3, {0, 1, 2, 3}, true},
        {1, FILE_ITEM, 3, {0, 1, 3}, false},
        {1, FOLDER_ITEM, 1, {0, 1}, false},
        {1, FOLDER_ITEM, 3, {0, 2, 3}, false},
        {2, FILE_ITEM, 2, {0, 2}, false},
        {2, FILE_ITEM, 3, {0, 1, 2, 3}, true},
        {2, FOLDER_ITEM, 1, {0, 1}, false},
        {2, FOLDER_ITEM, 3, {0, 1, 3}, false},
        {2, FOLDER_ITEM, 2, {1, 2}, false},
        // Too long a name for the hidden names to hold it whole.
        {1, FILE_ITEM, 2, {0, 1, 2}, false, std::string(240, 'n')},
    };
    for (const Rotation& r : rotations) {
        const std::string what = "type " + std::to_string(r.nType) + (r.nKind == FILE_ITEM ? " file" : " folder") +
                                 " count " + std::to_string(r.nCount) + " slots " + std::to_string(r.slots.size()) +
                                 " name " + std::to_string(r.name.size());
        for (int nStop = 0;; nStop++) {
            SCOPED_TRACE(what + ", stopped after " + std::to_string(nStop));
            if (RunStoppedThenClean(r, [&](Fake& fake) { fake.StopAfterChanges(nStop); }) <= nStop)
                break;
        }
        for (int nFailing = 1; r.bFailUndo; nFailing++) {
            int nChanges = 0;
            for (int nUndo = 0; nUndo == 0 || nChanges >= nFailing + nUndo; nUndo++) {
                SCOPED_TRACE(what + ", change " + std::to_string(nFailing) + " fails, then " + std::to_string(nUndo));
                nChanges = RunStoppedThenClean(r, [&](Fake& fake) { fake.FailChanges({nFailing, nFailing + nUndo}); });
            }
            if (nChanges < nFailing)
                break;
        }
    }
}

// Names that do not fit are refused before anything moves, never cut into
// other names; a count above nine is used, and kept, as nine.
TEST_F(GenerationsTest, NamesThatDoNotFitAreRefusedAndCountsAreCapped)
{
    m_fake.AddFolder(WinPath("D:/bk"));
    const struct {
        std::string item;
        int32_t nCount;
        BOOL bPlanned;
        int32_t nCountAfter;
    } cases[] = {
        {WinPath("D:/bk/") + std::string(253, 'n'), 1, TRUE, 1},  // "1_" and the name take 255 bytes
        {WinPath("D:/bk/") + std::string(254, 'n'), 1, FALSE, 1},
        {WinPath("D:/bk/"), 1, FALSE, 1},
        {WinPath("D:/bk/a"), 15, TRUE, 9},
    };
    for (const auto& c : cases) {
        int32_t nCount = c.nCount;
        CRotation rotation;
        EXPECT_EQ(c.bPlanned, rotation.Plan(c.item.c_str(), &nCount, GENERATIONS_FILE, nullptr)) << c.item.size();
        EXPECT_EQ(c.nCountAfter, nCount);
    }
    EXPECT_EQ(2u, CountPrefix(LogLines(), "  世代名を作れないので世代を作りません "));
    EXPECT_EQ((Lines{"D/", "D/bk/"}), m_fake.AllPaths());
}

}  // namespace
