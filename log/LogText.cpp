#include "log/LogText.h"

#include <cstdint>
#include <cstring>

#include "platform/PathForms.h"
#include "platform/Text.h"

namespace {

const char CUT_MARK[] = "…";

}  // namespace

namespace {

const char HEX[] = "0123456789abcdef";

// Where escaped text goes: a string that grows (labels), or a line of
// fixed room that counts what does not fit (the log).
struct StringSink {
    void Put(const char* p, size_t n) { text.append(p, n); }
    void Put(char c) { text += c; }
    std::string& text;
};

struct LineSink {
    void Put(const char* p, size_t n)
    {
        if (line.nLength < line.nRoom)
            memcpy(line.pszText + line.nLength, p, n < line.nRoom - line.nLength ? n : line.nRoom - line.nLength);
        line.nLength += n;
    }
    void Put(char c)
    {
        if (line.nLength < line.nRoom)
            line.pszText[line.nLength] = c;
        line.nLength++;
    }
    LogLine& line;
};

template <class Sink>
void PutHex(Sink& sink, unsigned nValue, int nDigits)
{
    for (int nShift = 4 * (nDigits - 1); nShift >= 0; nShift -= 4)
        sink.Put(HEX[(nValue >> nShift) & 0x0F]);
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A well-formed character that terminals or the bidirectional algorithm act
// on although it is no control below 0x20: the C1 controls U+0080-U+009F
// (U+009B starts a terminal sequence as ESC [ does) and the bidirectional
// embeddings, overrides and isolates U+202A-U+202E and U+2066-U+2069, which
// show a name's characters in another order.  nLength is the character's.
bool IsHiddenControl(const unsigned char* p, int nLength)
{
    if (nLength == 2)
        return p[0] == 0xC2 && p[1] < 0xA0;
    if (nLength == 3 && p[0] == 0xE2)
        return (p[1] == 0x80 && p[2] >= 0xAA && p[2] <= 0xAE) || (p[1] == 0x81 && p[2] >= 0xA6 && p[2] <= 0xA9);
    return false;
}

// A three-byte character led by 0xE3-0xEC or 0xEE-0xEF (kana, kanji and
// most other CJK text) is plain text: every such sequence is well formed
// with any two continuation bytes, and none of them is a control above.
// Checked first because a Japanese name holds many of them.
bool IsPlainThreeByte(const unsigned char* p)
{
    return p[0] >= 0xE3 && p[0] <= 0xEF && p[0] != 0xED && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80;
}

// The code point of a two- or three-byte sequence of the UTF-8 form (a
// surrogate's three bytes included).
unsigned CodePoint(const unsigned char* p, int nLength)
{
    if (nLength == 2)
        return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    return ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
}

// Windows keeps a lone surrogate of a name in its three-byte form; no other
// bytes that are no text can come from a Windows name.
bool IsSurrogateForm(const unsigned char* p)
{
    return p[0] == 0xED && p[1] >= 0xA0 && p[1] <= 0xBF && (p[2] & 0xC0) == 0x80;
}

// True when none of eight bytes needs a second look: each is 0x20-0x7E
// and no backslash.  Adding one carries 0x7F up into the top bit.
bool IsPlainAscii8(const char* p)
{
    const uint64_t ONES = 0x0101010101010101u;
    const uint64_t TOPS = 0x8080808080808080u;
    uint64_t v;
    memcpy(&v, p, sizeof v);
    const uint64_t backslashes = v ^ (ONES * '\\');
    const bool bHighOrDelete = ((v | (v + ONES)) & TOPS) != 0;
    const bool bControl = ((v - ONES * 0x20) & ~v & TOPS) != 0;
    const bool bBackslash = ((backslashes - ONES) & ~backslashes & TOPS) != 0;
    return !bHighOrDelete && !bControl && !bBackslash;
}

// pEnd is the text's terminating '\0'.
template <class Sink>
void PutForDisplay(Sink& sink, const char* pszText, const char* pEnd)
{
    const char* p = pszText;
    for (;;) {
        // Plain text is taken a run at a time: nearly every line is nothing else.
        const char* pRun = p;
        int nLength = 1;
        for (;;) {
            while (pEnd - p >= 8 && IsPlainAscii8(p))
                p += 8;
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c - 0x20u < 0x5Fu && c != '\\') {  // 0x20-0x7E
                p++;
                continue;
            }
            if (c < 0x80)
                break;
            if (IsPlainThreeByte(reinterpret_cast<const unsigned char*>(p))) {  // p[2] only after p[1]
                p += 3;
                continue;
            }
            nLength = CharLength(p);
            if (nLength == 1 || IsHiddenControl(reinterpret_cast<const unsigned char*>(p), nLength))
                break;
            p += nLength;
        }
        sink.Put(pRun, static_cast<size_t>(p - pRun));
        const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
        const unsigned char c = u[0];
        if (c == '\0')
            return;
        if (c >= 0x80 && nLength > 1) {
            sink.Put("\\u", 2);
            PutHex(sink, CodePoint(u, nLength), 4);
            p += nLength;
            continue;
        }
        if (BACKSLASH_PATHS) {
            // Every escape is \u and four hex digits.  A backslash is a
            // separator, which no name can hold: it stays as it is, unless
            // the name after it begins like an escape.
            if (c == '\\') {
                const bool bLooksEscaped =
                    p[1] == 'u' && IsHexDigit(p[2]) && IsHexDigit(p[3]) && IsHexDigit(p[4]) && IsHexDigit(p[5]);
                if (bLooksEscaped)
                    sink.Put("\\u005c", 6);
                else
                    sink.Put('\\');
                p++;
            } else if (c < 0x80) {
                sink.Put("\\u00", 4);
                PutHex(sink, c, 2);
                p++;
            } else if (IsSurrogateForm(u)) {
                sink.Put("\\u", 2);
                PutHex(sink, CodePoint(u, 3), 4);
                p += 3;
            } else {
                sink.Put("\\ufffd", 6);  // a setting's stray byte, which can name nothing there
                p++;
            }
            continue;
        }
        if (c == '\\') {
            sink.Put("\\\\", 2);
        } else if (c == '\n') {
            sink.Put("\\n", 2);
        } else if (c == '\t') {
            sink.Put("\\t", 2);
        } else if (c == '\r') {
            sink.Put("\\r", 2);
        } else {
            sink.Put("\\x", 2);
            PutHex(sink, c, 2);
        }
        p++;
    }
}

}  // namespace

void EscapeForDisplay(const char* pszText, std::string& text)
{
    text.clear();
    StringSink sink{text};
    PutForDisplay(sink, pszText, pszText + strlen(pszText));
}

void AppendForDisplay(LogLine& line, const char* pszText, size_t nLength)
{
    LineSink sink{line};
    PutForDisplay(sink, pszText, pszText + nLength);
}

void AppendProgramText(LogLine& line, const char* pText, size_t nLength)
{
    LineSink sink{line};
    sink.Put(pText, nLength);
}

void EndLogLine(LogLine& line)
{
    const size_t nMark = sizeof CUT_MARK - 1;
    if (line.nLength > line.nRoom && line.nRoom > line.nCutFrom + nMark) {
        // What fits is there: it gives way to the mark at a character boundary.
        const size_t nKeep =
            CharBoundaryAtOrBefore(line.pszText + line.nCutFrom, line.nRoom - line.nCutFrom - nMark);
        line.nLength = line.nCutFrom + nKeep;
        LineSink sink{line};
        sink.Put(CUT_MARK, nMark);
    }
    if (line.nLength > line.nRoom)
        line.nLength = line.nRoom;
    line.pszText[line.nLength++] = '\n';
}
