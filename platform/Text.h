// Character boundaries of the narrow strings that hold paths and texts:
// Shift-JIS (the ANSI code page) on Windows, UTF-8 on POSIX.
#pragma once

#include <cstddef>

// Length in bytes of the character that starts at p: 1 for a single-byte
// character or the terminator; on Windows 2 for a lead byte followed by a
// byte that is not the terminator; on POSIX the length of a well-formed
// UTF-8 sequence (a malformed byte counts as one character).  Never steps
// over a terminator.
int CharLength(const char* p);

// TRUE when the byte is a lead byte of the ANSI code page (always FALSE on
// POSIX, where no separator byte can be part of a longer character).
int IsLeadByte(unsigned char c);

// Largest length <= limit at which s can be cut without splitting a
// character.  s must hold at least limit bytes or end before it.
size_t CharBoundaryAtOrBefore(const char* s, size_t limit);
