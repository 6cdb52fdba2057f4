// Our own reader and writer of INI text, for the platforms that have no
// profile-string functions.  It answers like those functions do for the
// files people really write, and works on the file's bytes as they are (in
// UTF-8 or Shift-JIS, after any byte-order mark), so that a write changes
// only the bytes it has to.  Pure text handling: no file or system calls.
#pragma once

#include <cstddef>
#include <string>

#include "platform/TextCodec.h"

// Length of the UTF-8 byte-order mark that starts bytes: 3 or 0.
size_t GetIniBomLength(const std::string& bytes);

// The encoding the bytes are in: UTF-8 with a byte-order mark or when they
// are valid UTF-8; otherwise the one of UTF-8 and Shift-JIS in which they
// decode with fewer errors, ties (and a lead of one error) going to UTF-8.  *pnBadLine, when given,
// receives the first line (from 1) that does not decode in the encoding
// chosen, or 0.
TextEncoding DetectIniEncoding(const std::string& bytes, size_t* pnBadLine = nullptr);

// The line end that text uses first ("\r\n", "\n" or "\r"); "\n" when the
// text has none.
const char* DetectIniLineEnd(const std::string& text);

// Looks a key up in text.  Names are compared without regard to case,
// folding A-Z only; the first matching section and in it the first matching
// key decide.  Returns false when the key is missing or has no '='; value
// then is empty.  nEncoding (ENCODING_SHIFT_JIS or ENCODING_UTF8) says how to
// step over characters; section and key must be in the same encoding.
bool FindIniValue(const std::string& text, TextEncoding nEncoding, const char* pszSection,
                  const char* pszKey, std::string& value);

// Sets a key in text: replaces its value in place, or adds the key after the
// last non-blank line of its section, or adds the section and the key at the
// end.  New lines end with pszLineEnd.  Every other byte stays as it was.
void SetIniValue(std::string& text, TextEncoding nEncoding, const char* pszSection,
                 const char* pszKey, const char* pszValue, const char* pszLineEnd);
