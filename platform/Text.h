// Character boundaries of the narrow strings that hold paths and texts:
// UTF-8 on every platform, so no byte of a longer character can be taken
// for a separator or any other ASCII character.
#pragma once

#include <cstddef>

// Length in bytes of the character that starts at p: 1 for an ASCII
// character or the terminator, else the length of a well-formed UTF-8
// sequence (shortest form, no surrogate, at most U+10FFFF); a byte that
// starts none counts as a character of its own.
// Never steps over a terminator.
int CharLength(const char* p);

// Largest length <= limit at which s can be cut without splitting a
// character.  s must hold at least limit bytes or end before it.
size_t CharBoundaryAtOrBefore(const char* s, size_t limit);

// Copies nLength bytes of text and a terminator into a buffer of nSize > 0
// bytes, cut at a character boundary when they do not fit; returns the
// length written.
size_t CopyTextCut(char* pszOut, size_t nSize, const char* pszText, size_t nLength);
