#include "platform/Text.h"

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
