#include "platform/Text.h"

#include <cstring>

int CharLength(const char* p)
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

size_t CharBoundaryAtOrBefore(const char* s, size_t limit)
{
    size_t offset = 0;
    while (offset < limit && s[offset] != '\0') {
        size_t next = offset + static_cast<size_t>(CharLength(s + offset));
        if (next > limit)
            break;
        offset = next;
    }
    return offset;
}

size_t CopyTextCut(char* pszOut, size_t nSize, const char* pszText, size_t nLength)
{
    if (nLength >= nSize)
        nLength = CharBoundaryAtOrBefore(pszText, nSize - 1);
    memcpy(pszOut, pszText, nLength);
    pszOut[nLength] = '\0';
    return nLength;
}
