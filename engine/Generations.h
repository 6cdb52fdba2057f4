// Generations: numbered older copies n_name beside a destination item,
// 1 the newest, at most 9.
#pragma once

#include "config/BackupConfig.h"

// Type 1: shifts the older copies of one destination file and makes the
// present copy generation 1, before BackupFile replaces it.
// Type 2: the same for a set's top-level destination item (a folder or a
// file), before the set is copied.
// Both return TRUE when the item may now be replaced (also when the set
// keeps no generations), FALSE when a delete or rename failed or a name did
// not fit: a result line says why, and every older copy is still in place.
BOOL RotateFileGenerations(const char* pszPath, BackupSet* pSet);
BOOL RotateTopGenerations(const char* pszPath, BackupSet* pSet);
