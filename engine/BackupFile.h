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

// Number of copies started so far in this process; the set loop compares it
// before and after a set to know whether the set wrote anything.
long GetCopiesStarted();
