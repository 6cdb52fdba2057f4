#include "log/LogText.h"

#include <cstring>

#include "platform/PathForms.h"
#include "platform/Text.h"

namespace {

const char CUT_MARK[] = "…";

}  // namespace

namespace {

const char HEX[] = "0123456789abcdef";

void AppendHex(std::string& text, unsigned nValue, int nDigits)
{
    for (int nShift = 4 * (nDigits - 1); nShift >= 0; nShift -= 4)
        text += HEX[(nValue >> nShift) & 0x0F];
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

}  // namespace

void EscapeForDisplay(const char* pszText, std::string& text)
{
    text.clear();
    const char* p = pszText;
    while (*p != '\0') {
        // Plain text is taken a run at a time: nearly every line is nothing else.
        const char* pRun = p;
        int nLength = 1;
        for (;;) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '\0' || c < 0x20 || c == 0x7F || c == '\\')
                break;
            if (c < 0x80) {
                p++;
                continue;
            }
            nLength = CharLength(p);
            if (nLength == 1 || IsHiddenControl(reinterpret_cast<const unsigned char*>(p), nLength))
                break;
            p += nLength;
        }
        text.append(pRun, static_cast<size_t>(p - pRun));
        const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
        const unsigned char c = u[0];
        if (c == '\0')
            break;
        if (c >= 0x80 && nLength > 1) {
            text += "\\u";
            AppendHex(text, CodePoint(u, nLength), 4);
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
                text += bLooksEscaped ? "\\u005c" : "\\";
                p++;
            } else if (c < 0x80) {
                text += "\\u00";
                AppendHex(text, c, 2);
                p++;
            } else if (IsSurrogateForm(u)) {
                text += "\\u";
                AppendHex(text, CodePoint(u, 3), 4);
                p += 3;
            } else {
                text += "\\ufffd";  // a setting's stray byte, which can name nothing there
                p++;
            }
            continue;
        }
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else {
            text += "\\x";
            AppendHex(text, c, 2);
        }
        p++;
    }
}

void MarkLineCut(char* pszLine, size_t nSize)
{
    const size_t nMark = sizeof CUT_MARK - 1;
    if (nSize <= nMark)
        return;
    const size_t nKeep = CharBoundaryAtOrBefore(pszLine, nSize - 1 - nMark);
    memcpy(pszLine + nKeep, CUT_MARK, nMark + 1);
}
