// Copying a whole folder tree of a backup set, depth first.
#pragma once

#include "config/BackupConfig.h"
#include "platform/FileServices.h"

// The folders the walk passes over wherever it meets them: those of the
// backup itself, known by identity so that no spelling, link or mount hides
// them.  Worker thread only; cleared by the set loop before each set.
void ClearWalkGuard();
// Adds the folder at pszPath to the guard; nothing when it does not exist.
void GuardFolder(const char* pszPath);

// Walks srcRoot + relPath (relPath null at the root, else ending with a
// separator) and copies it to dstRoot + relPath, which exists.  Once the
// walk of a folder has finished, its copy is given what it keeps of the
// source folder (mode, times...).  A listing that breaks off, and a name
// that the copy's folder would take for an earlier one differing only in
// case, are reported and count as failures.  Any depth a path buffer
// holds is walked, with a bounded number of listings open.  Returns the
// stop flag.
short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot,
                   BackupSet* pSet);
