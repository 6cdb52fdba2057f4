// The two exclusion filters of a backup set.
#pragma once

#include "config/BackupConfig.h"

// 1 when the folder is to be copied, 0 when the last component of the
// relative folder path (null at the walk's root) is an excluded folder name.
short IsTargetFolder(const char* pszRelPath, const BackupSet* pSet);

// 1 when the file is to be copied, 0 when the text after the last dot of the
// name is an excluded extension.
short IsTargetExtension(const char* pszName, const BackupSet* pSet);
