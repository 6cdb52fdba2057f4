// Generations: numbered older copies n_name beside a destination item,
// 1 the newest, at most 9, and the rotation that shifts them when a new
// copy takes the item's place.  The names an item owns are in OwnNames.h;
// the states a rotation can be cut in, and what the next run does with
// each, are in the table at the top of Generations.cpp.
#pragma once

#include <memory>

#include "config/BackupConfig.h"
#include "engine/OwnNames.h"

enum GenerationType { GENERATIONS_FILE, GENERATIONS_TOP };

// One rotation of one item, from its plan to its end.  A rotation runs in
// three steps:
// - Plan looks at which generations exist and names the swap name; it
//   refuses (after a result line) when a name does not fit, when a type-1
//   slot holds a folder, when the source folder holds a name the rotation
//   would use (pszSrcPath, type 1), or when a name it needs is taken;
// - the caller puts the complete new copy under SwapPath(): a type-1 copy
//   made there directly (and on disk before CopyFile returns), an empty
//   folder made there, or a type-2 copy moved there with TakeNewCopy;
// - Finish shifts the generations and puts the swap copy under the item's
//   name.  FALSE, after a result line, when the item keeps its old copy;
//   every name is then put back, or, when even that fails, left for the
//   next run's recovery to roll forward.
class CRotation {
public:
    BOOL Plan(const char* pszItem, int32_t* pnCountField, GenerationType nType, const char* pszSrcPath);
    const char* SwapPath() const { return m_pNames->aszPath[SLOT_SWAP]; }
    BOOL TakeNewCopy(const char* pszNewCopy);
    BOOL Finish();

    // Slots 0 (the item) to the count, then the set-aside and swap names.
    static const int SLOT_ASIDE = MAX_GENERATIONS + 1;
    static const int SLOT_SWAP = MAX_GENERATIONS + 2;
    struct Names {
        char aszPath[SLOT_SWAP + 1][PATH_BUFFER];
        char szNew[PATH_BUFFER];
    };

private:
    GenerationType m_nType = GENERATIONS_FILE;
    int32_t m_nCount = 0;
    unsigned m_nSlots = 0;
    // Too large for the worker's stack at every depth of the walk.
    std::unique_ptr<Names> m_pNames{new Names};
};

// FALSE, after a result line, when the names of the item's generations do
// not fit: asked before a new copy is made for nothing.
BOOL CheckGenerationNames(const char* pszItem, int32_t* pnCountField);

// Recovery: finishes or undoes whatever an earlier run left of a rotation,
// before anything else touches the item.  Each returns FALSE (after a
// result line) when the item must be left alone in this run; IsItemHeld
// tells the walk which items recovery left so.
// - the one item at pszItem (a type-2 set's, or a set's top-level item);
BOOL RecoverItem(const char* pszItem);
// - every item in a destination folder that a set with type-1 generations
//   enters; a hidden name the source folder pszSrcFolder holds itself is
//   the backup of that file, not ours.
void RecoverFolder(const char* pszDstFolder, const char* pszSrcFolder);
BOOL IsItemHeld(const char* pszItem);
// Forgets the held items, before each set.
void ClearHeldItems();
