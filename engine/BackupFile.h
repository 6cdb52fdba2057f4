// Bringing one file of a backup set up to date at its destination.
#pragma once

#include "config/BackupConfig.h"

// Copies srcFolder + relName to dstFolder + relName when the destination copy
// is missing or older by more than the set's margin.  Returns the stop flag:
// 1 when the run is to stop (Cancel, or a copy the user aborted), else 0.
// bFollowLink is TRUE for a set whose source is this one file: a symbolic
// link that the user named is backed up as what it points to.
short BackupFile(const char* pszSrcFolder, const char* pszDstFolder, const char* pszRelName,
                 BackupSet* pSet, BOOL bFollowLink = FALSE);

// Makes the copy of the source folder srcRoot + relPath at dstRoot + relPath
// (relPath null for the roots themselves, else ending with a separator).
// An entry of that name that is no folder (a link, or a file, from an older
// state of the source) is kept as a generation when the set keeps type-1
// generations, and otherwise removed: a link never stands in for a folder.
// A folder that is there already is first rid of what rotations of a set
// with type-1 generations left in it.  FALSE after a result line when the
// folder cannot be made.
BOOL MakeDestinationFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot, BackupSet* pSet);

// While a type-2 set builds its new copy from an earlier complete one, a
// file whose earlier copy pszPrevRoot + relName still stands for it is
// shared with that copy instead of being copied (pszPrevRoot ends with a
// separator; null or empty: nothing is shared).  Worker thread only.
void SetSharedCopyRoot(const char* pszPrevRoot);

// Number of copies started so far in this process; the set loop compares it
// before and after a set to know whether the set wrote anything.
long GetCopiesStarted();
