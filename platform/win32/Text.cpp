#include "platform/Text.h"

#include "PlatformTypes.h"

int IsLeadByte(unsigned char c)
{
    // The system's own table for the ANSI code page in force (932 on
    // Japanese Windows: 0x81-0x9F and 0xE0-0xFC).
    return IsDBCSLeadByte(c) ? 1 : 0;
}

int CharLength(const char* p)
{
    if (IsLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0')
        return 2;
    return 1;
}
