// Character boundaries of the narrow strings that hold paths and texts:
// UTF-8 on every platform, so no byte of a longer character can be taken
// for a separator or any other ASCII character.
#pragma once

#include <cstddef>

// Length in bytes of the character that starts at p: 1 for an ASCII
// character or the terminator, else the length of a well-formed UTF-8
// sequence (shortest form, no surrogate, at most U+10FFFF); a byte that
// starts none counts as a character of its own.
// Never steps over a terminator.  Inline: the log checks every character
// of every line with it.
inline int CharLength(const char* p)
{
    // Shortest forms only, no surrogates, nothing above U+10FFFF: the
    // second byte's range depends on the first.
    const unsigned char c = static_cast<unsigned char>(p[0]);
    int length;
    unsigned char nMin = 0x80;
    unsigned char nMax = 0xBF;
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        nMin = c == 0xE0 ? 0xA0 : nMin;
        nMax = c == 0xED ? 0x9F : nMax;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        nMin = c == 0xF0 ? 0x90 : nMin;
        nMax = c == 0xF4 ? 0x8F : nMax;
    } else {
        return 1;
    }
    const unsigned char c1 = static_cast<unsigned char>(p[1]);
    if (c1 < nMin || c1 > nMax)
        return 1;  // also stops at the terminator
    for (int i = 2; i < length; i++) {
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

// Largest length <= limit at which s can be cut without splitting a
// character.  s must hold at least limit bytes or end before it.
size_t CharBoundaryAtOrBefore(const char* s, size_t limit);

// Copies nLength bytes of text and a terminator into a buffer of nSize > 0
// bytes, cut at a character boundary when they do not fit; returns the
// length written.
size_t CopyTextCut(char* pszOut, size_t nSize, const char* pszText, size_t nLength);
