// Result lines about entries that the backup had to leave out, and the
// composing of names for them.  A name in such a line may be longer than a
// log line can hold; it is then cut at a character boundary and marked with
// "..." so that the line still says which entry it was.
#pragma once

#include <cstddef>

#include "PlatformTypes.h"

// Joins up to three parts (any may be null) into pszOut of nSize bytes,
// cut and marked as above when they do not fit.  For log text only: the
// result is never used as a path.
void JoinForLog(char* pszOut, size_t nSize, const char* pszPart1, const char* pszPart2 = nullptr,
                const char* pszPart3 = nullptr);

// Writes pszBefore + pszName + pszAfter as one line of the given kind; only
// the name is cut when the line would not fit.
void WriteLogNaming(short nKind, const char* pszBefore, const char* pszName, const char* pszAfter);

// An entry whose path (or whose log line) does not fit its 1024-byte buffer:
// writes "  パスが長すぎるのでコピーしません  " with the entry's name, made of
// the parts, and counts the run as failed.
void ReportTooLong(const char* pszPart1, const char* pszPart2 = nullptr, const char* pszPart3 = nullptr);

// Writes pszBefore + the path + "  エラー=" and the system's text of dwError
// as a result line, and counts the run as failed.
void ReportFailure(const char* pszBefore, const char* pszPath, DWORD dwError);
