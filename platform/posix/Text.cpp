#include "platform/Text.h"

int IsLeadByte(unsigned char)
{
    return 0;
}

int CharLength(const char* p)
{
    const unsigned char c = static_cast<unsigned char>(p[0]);
    int length;
    if (c < 0x80)
        return 1;
    else if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4;
    else
        return 1;
    for (int i = 1; i < length; i++) {
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
            return 1;  // also stops at the terminator
    }
    return length;
}
