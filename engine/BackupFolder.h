// Copying a whole folder tree of a backup set, depth first.
#pragma once

#include "config/BackupConfig.h"
#include "platform/FileServices.h"

// Folders the walk must never enter: those of the backup itself when the
// set's destination lies inside its source.
struct WalkGuard {
    BOOL bActive;
    FileIdentity destFolder;   // the set's destination folder
    FileIdentity copyFolder;   // the folder the walk copies into
};

// Puts the guard in force for the walks that follow (worker thread only).
void SetWalkGuard(const WalkGuard& guard);

// Walks srcRoot + relPath (relPath null at the root, else ending with a
// separator) and copies it to dstRoot + relPath, which exists.  Once the
// walk of a folder has finished, its copy is given what it keeps of the
// source folder (mode, times...).  Returns the stop flag.
short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot,
                   BackupSet* pSet);
