// The names a destination item x owns beside itself in its folder:
//
//   k_x                        generation k, 1 <= k <= the set's count
//   .x.tandemix-new            a new copy being built, or one abandoned:
//                              never complete, always deleted
//   .x.tandemix-swap-N-MMM     a complete new copy whose rotation is planned
//                              or under way: N is the count the rotation was
//                              planned for, MMM three hex digits with bit k
//                              set when slot k (0 = x, k = k_x) existed then
//   .x.tandemix-old            the oldest generation, set aside to be deleted
//
// The copy layer's temporaries are ".NAME.tandemix-XXXXXX" with six letters
// or digits, which none of these suffixes is.  Where x is too long for the
// file system to take these names (255 bytes), the hidden names stand for
// it with a prefix of x, '~' and a hash of x; such a stem is longer than any
// name used as it is, so that no other item can own the same hidden names
// by being called like a stem.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PlatformTypes.h"

const int32_t MAX_GENERATIONS = 9;

enum HiddenKind { HIDDEN_NEW, HIDDEN_SWAP, HIDDEN_OLD };

// Room for a stem and for one name in a folder, terminator included.
const size_t NAME_BUFFER = 256;

// What a hidden name says.
struct HiddenName {
    char szStem[NAME_BUFFER];
    HiddenKind nKind;
    int32_t nCount;     // HIDDEN_SWAP: the count the rotation was planned for
    unsigned nSlots;    // HIDDEN_SWAP: bit k, slot k existed
};

// The stem that stands for pszName in its hidden names.
BOOL FormStem(char* pszOut, size_t nSize, const char* pszName);

// pszFolder + "n_name"; FALSE when the name would not fit the file
// system's 255 bytes or the path its buffer.
BOOL FormGenerationPath(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, int n);

// pszFolder + the hidden name of the kind; nCount and nSlots only count for
// HIDDEN_SWAP.
BOOL FormHiddenPath(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, HiddenKind nKind,
                    int32_t nCount = 0, unsigned nSlots = 0);

// TRUE when pszEntry (a name in a folder) is a hidden name of this form.
BOOL ParseHiddenName(const char* pszEntry, HiddenName& name);

// The one name that the rotations of earlier versions used for a whole
// folder: what it holds was being dropped.
BOOL IsFolderAsideName(const char* pszEntry);

// TRUE when pszEntry is a generation (1 to nCount) or a hidden name of the
// item called pszItemName.
BOOL IsOwnedName(const char* pszItemName, int32_t nCount, const char* pszEntry);

// TRUE when pszEntry has the form of a name that some item owns, whatever
// the item: nearly every name has not, and needs no item compared.
BOOL MayBeOwnedName(const char* pszEntry);

// The rotation of the file at pszSrcPath's copy, with the count nCount and
// the swap name pszSwapName, uses names beside that copy.  When the source
// folder holds one of them itself, that name's copy would be moved, taken
// for ours or deleted: TRUE after a result line, and nothing may rotate.
BOOL SourceHoldsOwnedName(const char* pszSrcPath, int32_t nCount, const char* pszSwapName);
