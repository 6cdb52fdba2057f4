// The program's UTF-8 text meets the system's UTF-16 here: file names, paths,
// window texts and messages all cross this one conversion.
#pragma once

#include <string>

#include "PlatformTypes.h"

// UTF-16 of UTF-8 text.  A lone surrogate, which a Windows name may hold
// although no Unicode text can, travels in its three-byte form (as WTF-8
// does), so every name a listing gives back names the same file again.
// FALSE, with ERROR_NO_UNICODE_TRANSLATION, for bytes that are no such text.
BOOL WideFromUtf8(const char* pszText, std::wstring& out);

// UTF-16 of a text to show: a byte that is no UTF-8 shows as U+FFFD
// rather than leave the text unshown.
std::wstring WideForDisplay(const char* pszText);

// UTF-8 of UTF-16 text (nLength units), lone surrogates as above.
std::string Utf8FromWide(const wchar_t* pszText, size_t nLength);
std::string Utf8FromWide(const std::wstring& text);

// A path for the wide file calls.  Beyond the classic limit (MAX_PATH) it is
// made full and given the \\?\ or \\?\UNC\ prefix, which lifts the limit;
// shorter paths go as they are, so drive roots, shares and relative names
// keep the system's own reading.
// bAlwaysFull gives every path the prefix (for a walk that adds to it).
BOOL WidePath(const char* pszPath, std::wstring& out, BOOL bAlwaysFull = FALSE);

// Shift-JIS (code page 932) of UTF-8 text for the files that keep it: each
// character the code page lacks becomes one '?', never a look-alike.
std::string ShiftJisFromUtf8(const char* pszText);
