#include "support/TestPaths.h"

#include "PlatformTypes.h"

std::string NativePath(const std::string& path, char from)
{
    std::string native = path;
    for (char& c : native) {
        if (c == from)
            c = PATH_SEP;
    }
    return native;
}
