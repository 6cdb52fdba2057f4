// Generations: numbered older copies n_name beside a destination item,
// 1 the newest, at most 9.
#pragma once

#include "config/BackupConfig.h"

// Type 1: shifts the older copies of one destination file and makes the
// present copy generation 1, before BackupFile replaces it.  TRUE when the
// item may now be replaced (also when the set keeps no generations).
BOOL RotateFileGenerations(const char* pszPath, BackupSet* pSet);

// Type 2 comes in two halves around the copy of a set's top-level item,
// which is made under another name (pszNewItem) so that the earlier copies
// stay untouched until the new one is complete:
// - DropOldestTopGeneration, before the copy, deletes the generation that
//   the rotation would drop anyway, so the disk never holds more than it
//   did;
// - RotateTopGenerations, once the copy is complete, shifts the item and
//   its older copies and puts pszNewItem under the item's name.
// Both return FALSE when something could not be done, after a result line.
// A rotation that fails at any step puts every name back: nothing is
// deleted until every rename has succeeded.
BOOL DropOldestTopGeneration(const char* pszPath, BackupSet* pSet);
BOOL RotateTopGenerations(const char* pszPath, BackupSet* pSet, const char* pszNewItem);

