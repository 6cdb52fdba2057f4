// Conversion between the text encodings that the settings file and the run
// log may use.  The program works in UTF-8 on every platform and converts at
// the file's edge.
#pragma once

#include <string>

enum TextEncoding {
    ENCODING_NATIVE = 0,  // the program's own narrow encoding: UTF-8
    ENCODING_UTF8,
    ENCODING_SHIFT_JIS    // code page 932
};

// Converts text between two encodings.  Returns false when a byte sequence
// cannot be converted (out is then unspecified).
bool ConvertText(const std::string& in, TextEncoding from, TextEncoding to, std::string& out);
