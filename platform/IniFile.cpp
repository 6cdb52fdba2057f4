#include "platform/IniFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

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

// What the Windows profile functions trim around names and values: blanks,
// the control bytes 0x09-0x0D, and Ctrl-Z (0x1A), which old editors leave at
// the end of a file.  None of them is ever the second byte of a Shift-JIS
// character.
bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

// Length of the character at text[i].  Only Shift-JIS needs stepping: its
// second bytes include '[', ']', A-Z and a-z.  In UTF-8 no ASCII byte is
// ever part of a longer character, so single bytes do.
size_t CharAt(const char* p, size_t i, size_t nEnd, TextEncoding nEncoding)
{
    if (nEncoding == ENCODING_SHIFT_JIS) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < nEnd)
            return 2;
    }
    return 1;
}

size_t CharAt(const std::string& text, size_t i, size_t nEnd, TextEncoding nEncoding)
{
    return CharAt(text.data(), i, nEnd, nEncoding);
}

char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// FNV-1a of a name as NameEquals compares it: single-byte characters
// folded, the bytes of longer ones as they are.
uint32_t HashName(const char* p, size_t nLength, TextEncoding nEncoding)
{
    uint32_t nHash = 2166136261u;
    for (size_t i = 0; i < nLength;) {
        const size_t nChar = CharAt(p, i, nLength, nEncoding);
        for (size_t k = 0; k < nChar; k++) {
            const char c = nChar == 1 ? FoldCase(p[i]) : p[i + k];
            nHash = (nHash ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        i += nChar;
    }
    return nHash;
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

// The same for the last c; nEnd when there is none.
size_t FindLastChar(const std::string& text, size_t i, size_t nEnd, char c, TextEncoding nEncoding)
{
    size_t nFound = nEnd;
    while (i < nEnd) {
        if (text[i] == c)
            nFound = i;
        i += CharAt(text, i, nEnd, nEncoding);
    }
    return nFound;
}

void Trim(const std::string& text, size_t& nStart, size_t& nEnd)
{
    while (nStart < nEnd && IsBlank(text[nStart]))
        nStart++;
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
        // The name ends at the line's last ']', as on Windows: "[s] ;old [x]"
        // names the section "s] ;old [x", not "s".
        const size_t nClose = FindLastChar(text, nFirst + 1, line.nEnd, ']', nEncoding);
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
            if (FoldCase(text[nStart + i]) != FoldCase(pszName[i]))
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

// Length of the well-formed UTF-8 character at bytes[i], or 0 when none
// starts there.  The text ends with a terminator, so the rule never reads
// past it.
size_t Utf8CharAt(const std::string& bytes, size_t i)
{
    const char* p = bytes.c_str() + i;
    if (static_cast<unsigned char>(*p) < 0x80)
        return 1;
    const int nLength = CharLength(p);
    return nLength > 1 ? static_cast<size_t>(nLength) : 0;
}

// Length of the Shift-JIS character at bytes[i], or 0 when none starts
// there (0x80, 0xA0, 0xFD-0xFF, or a lead byte without its second byte).
size_t ShiftJisCharAt(const std::string& bytes, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF))
        return 1;
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
        if (i + 1 >= bytes.size())
            return 0;
        const unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
        return (c1 >= 0x40 && c1 <= 0xFC && c1 != 0x7F) ? 2 : 0;
    }
    return 0;
}

// How the bytes read in one encoding: the sequences that do not decode, and
// the first line (from 1) that holds one.
struct DecodeCount {
    size_t nErrors = 0;
    size_t nMultiByte = 0;  // characters of more than one byte
    size_t nFirstBadLine = 0;
};

// The line (from 1) that holds bytes[i]: a line ends at LF, at CR LF and at
// a CR alone.
size_t LineOf(const std::string& bytes, size_t i)
{
    size_t nLine = 1;
    for (size_t j = 0; j < i; j++) {
        if (bytes[j] == '\n' || (bytes[j] == '\r' && (j + 1 >= bytes.size() || bytes[j + 1] != '\n')))
            nLine++;
    }
    return nLine;
}

DecodeCount CountDecodeErrors(const std::string& bytes, size_t i, size_t (*pfnCharAt)(const std::string&, size_t))
{
    DecodeCount count;
    const char* p = bytes.data();
    const size_t nSize = bytes.size();
    while (i < nSize) {
        // ASCII is one character in both encodings, and nearly all of a
        // settings file: it is passed over eight bytes at a time.
        uint64_t nWord;
        if (i + sizeof nWord <= nSize) {
            memcpy(&nWord, p + i, sizeof nWord);
            if ((nWord & 0x8080808080808080ull) == 0) {
                i += sizeof nWord;
                continue;
            }
        }
        if (static_cast<unsigned char>(p[i]) < 0x80) {
            i++;
            continue;
        }
        const size_t nChar = pfnCharAt(bytes, i);
        if (nChar == 0) {
            if (count.nErrors++ == 0)
                count.nFirstBadLine = LineOf(bytes, i);
            i++;
        } else {
            if (nChar > 1)
                count.nMultiByte++;
            i += nChar;
        }
    }
    return count;
}

// The value of the key line that decides a look-up: false when there is
// none or it has no '='.
bool TakeValue(const std::string& text, bool bFound, const IniLine& line, std::string& value)
{
    value.clear();
    if (!bFound || !line.bHasValue)
        return false;
    size_t nStart = line.nValueStart;
    size_t nEnd = line.nValueEnd;
    // Neither quote is ever the second byte of a Shift-JIS character.
    if (nEnd - nStart >= 2 && (text[nStart] == '"' || text[nStart] == '\'')
        && text[nEnd - 1] == text[nStart]) {
        nStart++;
        nEnd--;
    }
    value.assign(text, nStart, nEnd - nStart);
    return true;
}

}  // namespace

size_t GetIniBomLength(const std::string& bytes)
{
    return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

TextEncoding DetectIniEncoding(const std::string& bytes, size_t* pnBadLine)
{
    const size_t nBom = GetIniBomLength(bytes);
    const DecodeCount utf8 = CountDecodeErrors(bytes, nBom, Utf8CharAt);
    TextEncoding nEncoding = ENCODING_UTF8;
    size_t nBadLine = utf8.nFirstBadLine;
    if (nBom == 0 && utf8.nErrors > 0) {
        // Much of UTF-8 Japanese also passes for Shift-JIS byte by byte, so a
        // UTF-8 character read as Shift-JIS counts as an error of that
        // reading too; Shift-JIS text forms a valid UTF-8 sequence only by
        // rare chance, and nearly every double-byte character of it is an
        // error in UTF-8.  Shift-JIS must win by more than one error, so one
        // stray byte never flips a UTF-8 file, even one that is ASCII apart
        // from it.
        const DecodeCount shiftJis = CountDecodeErrors(bytes, 0, ShiftJisCharAt);
        if (shiftJis.nErrors + utf8.nMultiByte + 1 < utf8.nErrors) {
            nEncoding = ENCODING_SHIFT_JIS;
            nBadLine = shiftJis.nFirstBadLine;
        }
    }
    if (pnBadLine != nullptr)
        *pnBadLine = nBadLine;
    return nEncoding;
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
    const KeyPlace place = FindKey(text, nEncoding, pszSection, pszKey);
    return TakeValue(text, place.bKeyFound, place.key, value);
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

void CIniText::Assign(const std::string& bytes)
{
    const size_t nBom = GetIniBomLength(bytes);
    m_bom.assign(bytes, 0, nBom);
    m_text.assign(bytes, nBom, std::string::npos);
    m_nEncoding = DetectIniEncoding(bytes, &m_nBadLine);
    m_bHasEntries = false;
    m_sections.clear();
    m_keys.clear();
    if (m_text.size() >= UINT32_MAX) {
        m_text.clear();
        return;
    }
    // Keys before the first section belong to none and are never found.
    const uint32_t NO_SECTION = UINT32_MAX;
    uint32_t nSection = NO_SECTION;
    for (size_t i = 0; i < m_text.size();) {
        const IniLine line = ReadLine(m_text, i, m_nEncoding);
        i = line.nNext;
        if (line.nKind == LINE_IGNORED)
            continue;
        m_bHasEntries = true;
        const uint32_t nHash =
            HashName(m_text.data() + line.nNameStart, line.nNameEnd - line.nNameStart, m_nEncoding);
        const uint32_t nStart = static_cast<uint32_t>(line.nStart);
        if (line.nKind == LINE_SECTION) {
            nSection = static_cast<uint32_t>(m_sections.size());
            m_sections.push_back(Entry{nHash, nSection, nStart});
        } else if (nSection != NO_SECTION) {
            m_keys.push_back(Entry{nHash, nSection, nStart});
        }
    }
    std::sort(m_sections.begin(), m_sections.end(), [](const Entry& a, const Entry& b) {
        return a.nHash != b.nHash ? a.nHash < b.nHash : a.nLine < b.nLine;
    });
    // Key lines are already in the order of their sections and places.
    std::stable_sort(m_keys.begin(), m_keys.end(), [](const Entry& a, const Entry& b) {
        return a.nSection != b.nSection ? a.nSection < b.nSection : a.nHash < b.nHash;
    });
}

bool CIniText::FindSection(const char* pszSection, uint32_t& nSection) const
{
    const Entry wanted{HashName(pszSection, strlen(pszSection), m_nEncoding), 0, 0};
    auto range = std::equal_range(m_sections.begin(), m_sections.end(), wanted,
                                  [](const Entry& a, const Entry& b) { return a.nHash < b.nHash; });
    // In the order of their places: the first section of a name is the only one.
    for (auto it = range.first; it != range.second; ++it) {
        const IniLine line = ReadLine(m_text, it->nLine, m_nEncoding);
        if (NameEquals(m_text, line.nNameStart, line.nNameEnd, pszSection, m_nEncoding)) {
            nSection = it->nSection;
            return true;
        }
    }
    return false;
}

bool CIniText::HasSection(const char* pszSection) const
{
    uint32_t nSection;
    return FindSection(pszSection, nSection);
}

bool CIniText::Find(const char* pszSection, const char* pszKey, std::string& value) const
{
    value.clear();
    uint32_t nSection;
    if (!FindSection(pszSection, nSection))
        return false;
    const Entry wanted{HashName(pszKey, strlen(pszKey), m_nEncoding), nSection, 0};
    auto range = std::equal_range(m_keys.begin(), m_keys.end(), wanted, [](const Entry& a, const Entry& b) {
        return a.nSection != b.nSection ? a.nSection < b.nSection : a.nHash < b.nHash;
    });
    // The first key line of the name decides, with or without a value.
    for (auto it = range.first; it != range.second; ++it) {
        const IniLine line = ReadLine(m_text, it->nLine, m_nEncoding);
        if (NameEquals(m_text, line.nNameStart, line.nNameEnd, pszKey, m_nEncoding))
            return TakeValue(m_text, true, line, value);
    }
    return false;
}
