#include "config/IniFile.h"

#include <cstring>

namespace {

enum LineKind { LINE_IGNORED, LINE_SECTION, LINE_KEY };

// One line of the text, split the way the reader sees it.  Offsets are into
// the whole text.
struct IniLine {
    size_t nStart;        // first byte of the line
    size_t nEnd;          // end of its content, before the line end
    size_t nNext;         // first byte of the next line
    LineKind nKind;
    size_t nNameStart;    // section or key name, blanks trimmed
    size_t nNameEnd;
    bool bHasValue;       // a key line with '='
    size_t nValueStart;   // value, blanks trimmed (quotes not yet removed)
    size_t nValueEnd;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Length of the character at text[i].  Only Shift-JIS needs stepping: its
// second bytes include '[', ']', A-Z and a-z.  In UTF-8 no ASCII byte is
// ever part of a longer character, so single bytes do.
size_t CharAt(const std::string& text, size_t i, size_t nEnd, TextEncoding nEncoding)
{
    if (nEncoding == ENCODING_SHIFT_JIS) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < nEnd)
            return 2;
    }
    return 1;
}

// Finds the first c at or after i and before nEnd, as a character of its
// own; nEnd when there is none.
size_t FindChar(const std::string& text, size_t i, size_t nEnd, char c, TextEncoding nEncoding)
{
    while (i < nEnd) {
        if (text[i] == c)
            return i;
        i += CharAt(text, i, nEnd, nEncoding);
    }
    return nEnd;
}

void Trim(const std::string& text, size_t& nStart, size_t& nEnd)
{
    while (nStart < nEnd && IsBlank(text[nStart]))
        nStart++;
    // A blank or tab byte is never the second byte of a Shift-JIS character.
    while (nEnd > nStart && IsBlank(text[nEnd - 1]))
        nEnd--;
}

// Reads the line that starts at nStart (which must be inside the text).
IniLine ReadLine(const std::string& text, size_t nStart, TextEncoding nEncoding)
{
    IniLine line = {};
    line.nStart = nStart;
    size_t i = nStart;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n')
        i++;
    line.nEnd = i;
    if (i < text.size()) {
        i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    }
    line.nNext = i;

    size_t nFirst = line.nStart;
    size_t nLast = line.nEnd;
    Trim(text, nFirst, nLast);
    line.nKind = LINE_IGNORED;
    if (nFirst == nLast || text[nFirst] == ';')
        return line;

    if (text[nFirst] == '[') {
        const size_t nClose = FindChar(text, nFirst + 1, line.nEnd, ']', nEncoding);
        // A '[' line that never closes is no section header, and taking it
        // for a key would be a guess; it is ignored.
        if (nClose < line.nEnd) {
            line.nKind = LINE_SECTION;
            line.nNameStart = nFirst + 1;
            line.nNameEnd = nClose;
            Trim(text, line.nNameStart, line.nNameEnd);
        }
        return line;
    }

    line.nKind = LINE_KEY;
    const size_t nEqual = FindChar(text, nFirst, line.nEnd, '=', nEncoding);
    line.nNameStart = nFirst;
    line.nNameEnd = nEqual < line.nEnd ? nEqual : nLast;
    Trim(text, line.nNameStart, line.nNameEnd);
    if (nEqual < line.nEnd) {
        line.bHasValue = true;
        line.nValueStart = nEqual + 1;
        line.nValueEnd = line.nEnd;
        Trim(text, line.nValueStart, line.nValueEnd);
    }
    return line;
}

bool NameEquals(const std::string& text, size_t nStart, size_t nEnd, const char* pszName,
                TextEncoding nEncoding)
{
    const size_t nLength = strlen(pszName);
    if (nEnd - nStart != nLength)
        return false;
    size_t i = 0;
    while (i < nLength) {
        const size_t nChar = CharAt(text, nStart + i, nEnd, nEncoding);
        if (nChar == 1) {
            char a = text[nStart + i];
            char b = pszName[i];
            if (a >= 'A' && a <= 'Z')
                a = static_cast<char>(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z')
                b = static_cast<char>(b - 'A' + 'a');
            if (a != b)
                return false;
        } else if (memcmp(text.data() + nStart + i, pszName + i, nChar) != 0) {
            return false;
        }
        i += nChar;
    }
    return true;
}

// Where a key lives, or would be added.
struct KeyPlace {
    bool bSectionFound;
    bool bKeyFound;
    IniLine key;            // the key's line, when found
    IniLine lastContent;    // the section's last non-blank line (its header at least)
};

KeyPlace FindKey(const std::string& text, TextEncoding nEncoding, const char* pszSection,
                 const char* pszKey)
{
    KeyPlace place = {};
    bool bInSection = false;
    size_t i = 0;
    while (i < text.size()) {
        const IniLine line = ReadLine(text, i, nEncoding);
        i = line.nNext;
        if (line.nKind == LINE_SECTION) {
            // Keys of a later section with the same name are never seen:
            // the first section of a name is the only one.
            if (bInSection)
                break;
            if (NameEquals(text, line.nNameStart, line.nNameEnd, pszSection, nEncoding)) {
                bInSection = true;
                place.bSectionFound = true;
                place.lastContent = line;
            }
            continue;
        }
        if (!bInSection)
            continue;
        size_t nFirst = line.nStart;
        size_t nLast = line.nEnd;
        Trim(text, nFirst, nLast);
        if (nFirst < nLast)
            place.lastContent = line;
        if (line.nKind == LINE_KEY
            && NameEquals(text, line.nNameStart, line.nNameEnd, pszKey, nEncoding)) {
            place.bKeyFound = true;
            place.key = line;
            break;
        }
    }
    return place;
}

bool IsContinuationByte(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

}  // namespace

size_t GetIniBomLength(const std::string& bytes)
{
    return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

TextEncoding DetectIniEncoding(const std::string& bytes)
{
    size_t i = GetIniBomLength(bytes);
    if (i > 0)
        return ENCODING_UTF8;
    const size_t n = bytes.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            i++;
            continue;
        }
        // Shortest forms only, no surrogates, nothing above U+10FFFF.
        size_t nLength;
        unsigned char nMin = 0x80;
        unsigned char nMax = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            nLength = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            nLength = 3;
            if (c == 0xE0)
                nMin = 0xA0;
            else if (c == 0xED)
                nMax = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            nLength = 4;
            if (c == 0xF0)
                nMin = 0x90;
            else if (c == 0xF4)
                nMax = 0x8F;
        } else {
            return ENCODING_SHIFT_JIS;
        }
        if (i + nLength > n)
            return ENCODING_SHIFT_JIS;
        const unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
        if (c1 < nMin || c1 > nMax)
            return ENCODING_SHIFT_JIS;
        for (size_t k = 2; k < nLength; k++) {
            if (!IsContinuationByte(static_cast<unsigned char>(bytes[i + k])))
                return ENCODING_SHIFT_JIS;
        }
        i += nLength;
    }
    return ENCODING_UTF8;
}

const char* DetectIniLineEnd(const std::string& text)
{
    const size_t i = text.find_first_of("\r\n");
    if (i == std::string::npos || text[i] == '\n')
        return "\n";
    return (i + 1 < text.size() && text[i + 1] == '\n') ? "\r\n" : "\r";
}

bool FindIniValue(const std::string& text, TextEncoding nEncoding, const char* pszSection,
                  const char* pszKey, std::string& value)
{
    value.clear();
    const KeyPlace place = FindKey(text, nEncoding, pszSection, pszKey);
    if (!place.bKeyFound || !place.key.bHasValue)
        return false;
    size_t nStart = place.key.nValueStart;
    size_t nEnd = place.key.nValueEnd;
    // Neither quote is ever the second byte of a Shift-JIS character.
    if (nEnd - nStart >= 2 && (text[nStart] == '"' || text[nStart] == '\'')
        && text[nEnd - 1] == text[nStart]) {
        nStart++;
        nEnd--;
    }
    value.assign(text, nStart, nEnd - nStart);
    return true;
}

void SetIniValue(std::string& text, TextEncoding nEncoding, const char* pszSection,
                 const char* pszKey, const char* pszValue, const char* pszLineEnd)
{
    const KeyPlace place = FindKey(text, nEncoding, pszSection, pszKey);
    if (place.bKeyFound && place.key.bHasValue) {
        text.replace(place.key.nValueStart, place.key.nValueEnd - place.key.nValueStart, pszValue);
        return;
    }
    if (place.bKeyFound) {
        // The key stands alone on its line: give it its '=' and value.
        std::string assignment = "=";
        assignment += pszValue;
        text.replace(place.key.nNameEnd, place.key.nEnd - place.key.nNameEnd, assignment);
        return;
    }
    std::string keyLine = pszKey;
    keyLine += '=';
    keyLine += pszValue;
    if (place.bSectionFound) {
        const IniLine& last = place.lastContent;
        if (last.nNext == last.nEnd) {
            // The section's last line is the file's last and has no line
            // end; the file keeps ending without one.
            text.insert(last.nEnd, pszLineEnd + keyLine);
        } else {
            text.insert(last.nNext, keyLine + pszLineEnd);
        }
        return;
    }
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        text += pszLineEnd;
    text += '[';
    text += pszSection;
    text += ']';
    text += pszLineEnd;
    text += keyLine;
    text += pszLineEnd;
}
