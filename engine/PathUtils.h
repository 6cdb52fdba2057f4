// Path utilities: splitting a path into folder and name parts, bounded
// copies, and creating a chain of destination folders.  Paths are UTF-8, so
// no byte of a longer character is ever taken for a separator.
#pragma once

#include <cstddef>

#include "PlatformTypes.h"

// Name part: everything after the last separator (the whole path when it has
// none).  FALSE, with an empty output, when the path does not fit the
// path buffer's limit or the name does not fit nSize.
BOOL GetFileNamePart(char* pszOut, size_t nSize, const char* pszPath);

// Folder part: everything up to and including the last separator (empty when
// there is none).  FALSE, with an empty output, when the path does not fit
// the path buffer's limit or the folder part does not fit nSize.
BOOL GetFolderPart(char* pszOut, size_t nSize, const char* pszPath);

// Copies pszSrc (null counts as empty) into pszOut of nSize bytes.  When it
// does not fit, the copy is cut at a character boundary and FALSE returned;
// callers treat FALSE as a path that must not be used.
[[nodiscard]] BOOL SafeCopy(char* pszOut, size_t nSize, const char* pszSrc);

// Appends pszSrc (null appends nothing) to the string in pszOut of nSize
// bytes.  When it does not fit, the result is cut at a character boundary
// and FALSE returned.
[[nodiscard]] BOOL SafeCat(char* pszOut, size_t nSize, const char* pszSrc);

// Copies pszPath without its trailing separator, if any: the name of the
// entry itself, which Windows finds only so ("folder\" names no entry).
// FALSE as SafeCopy.
[[nodiscard]] BOOL CopyWithoutSeparator(char* pszOut, size_t nSize, const char* pszPath);

// Creates every missing folder along a path that ends with a separator,
// outermost first.  A component after the last separator is taken to be a
// file name and is not created; a drive component ("C:") never is.
void CreateFolderChain(const char* pszPath);
