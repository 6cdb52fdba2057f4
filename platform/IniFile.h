// Our own reader and writer of INI text: the whole reader on POSIX, and on
// Windows the reader of UTF-8 files, which the profile functions would read
// in the ANSI code page.  It answers like those functions do for the files
// people really write, and works on the file's bytes as they are (in UTF-8
// or Shift-JIS, after any byte-order mark), so that a write changes only the
// bytes it has to.  Pure text handling: no file or system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A settings text read once: the byte-order mark set aside, the encoding
// detected and every section and key line indexed, so that each of the
// thousands of look-ups a settings file with many sets takes costs a few
// comparisons, not a pass over the whole text.  Answers as FindIniValue.
class CIniText {
public:
    CIniText() = default;

    // Takes the file's bytes.  A text of 4 GiB or more is taken as empty
    // (the settings reader never reads that much).
    void Assign(const std::string& bytes);

    TextEncoding GetEncoding() const { return m_nEncoding; }
    // The first line (from 1) that does not decode in that encoding, or 0.
    size_t GetBadLine() const { return m_nBadLine; }
    const std::string& GetBom() const { return m_bom; }
    const std::string& GetText() const { return m_text; }

    // Names in the text's own encoding.
    bool Find(const char* pszSection, const char* pszKey, std::string& value) const;
    bool HasSection(const char* pszSection) const;
    // Whether any line is a section or a key: a file of blank lines and
    // comments has none.
    bool HasEntries() const { return m_bHasEntries; }

private:
    // A section or key line: the hash of its folded name, the section it
    // belongs to (its own number for a section line), where it starts.
    struct Entry {
        uint32_t nHash;
        uint32_t nSection;
        uint32_t nLine;
    };
    bool FindSection(const char* pszSection, uint32_t& nSection) const;

    std::string m_bom;
    std::string m_text;
    TextEncoding m_nEncoding = ENCODING_UTF8;
    size_t m_nBadLine = 0;
    bool m_bHasEntries = false;
    std::vector<Entry> m_sections;  // by hash, then place in the text
    std::vector<Entry> m_keys;      // by section, hash, place
};
