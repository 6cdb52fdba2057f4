// Copying a whole folder tree of a backup set, depth first.
#pragma once

#include "config/BackupConfig.h"

// Walks srcRoot + relPath (relPath null at the root, else ending with a
// separator) and copies it to dstRoot + relPath.  Returns the stop flag.
short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot,
                   BackupSet* pSet);
