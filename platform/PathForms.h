// The forms a path takes on this platform: its separator, and the drive
// roots and shares that exist only where a backslash separates paths.  Paths
// are UTF-8, where no byte of a longer character is a separator, so each
// rule here reads bytes.
#pragma once

#include "PlatformTypes.h"

// Drive letters ("C:\") and shares ("\\server\share") exist; where '/'
// separates paths, "x:/" and "//a/b" are ordinary folders.
const bool BACKSLASH_PATHS = PATH_SEP == '\\';

// The path's last character is a separator.
BOOL EndsWithSeparator(const char* pszPath);

// A drive root: at least three bytes ending with a colon and a separator.
BOOL IsDriveRoot(const char* pszPath);

// A path on a share: at least three bytes beginning with two separators.
BOOL IsSharePath(const char* pszPath);

// A share's root with its trailing separator ("\\server\share\"): a share
// path with four separators in all.
BOOL IsShareRoot(const char* pszPath);
