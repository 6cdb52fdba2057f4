// Result lines about entries that the backup had to leave out.  The run log
// cuts a line that is too long at a character boundary, so a name in such a
// line may end in an ellipsis, but the line always says which entry it was.
#pragma once

#include "PlatformTypes.h"

// Writes pszBefore + pszName + pszAfter as one line of the given kind.
void WriteLogNaming(short nKind, const char* pszBefore, const char* pszName, const char* pszAfter);

// An entry whose path does not fit a path buffer: writes
// "  パスが長すぎるのでコピーしません  " with the entry's name, made of the
// parts (any may be null), and counts the run as failed.
void ReportTooLong(const char* pszPart1, const char* pszPart2 = nullptr, const char* pszPart3 = nullptr);

// Writes pszBefore + the path + "  エラー=" and the system's text of dwError
// as a result line, and counts the run as failed.
void ReportFailure(const char* pszBefore, const char* pszPath, DWORD dwError);
