#include "log/LogText.h"

#include <cstring>

#include "platform/Text.h"

namespace {

const char CUT_MARK[] = "…";

}  // namespace

void EscapeForDisplay(const char* pszText, std::string& text)
{
    static const char HEX[] = "0123456789abcdef";
    text.clear();
    const char* p = pszText;
    while (*p != '\0') {
        const unsigned char c = static_cast<unsigned char>(*p);
        const int nLength = CharLength(p);
        if (c >= 0x20 && c != 0x7F && (c < 0x80 || nLength > 1)) {
            text.append(p, static_cast<size_t>(nLength));
            p += nLength;
            continue;
        }
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else {
            text += "\\x";
            text += HEX[c >> 4];
            text += HEX[c & 0x0F];
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
