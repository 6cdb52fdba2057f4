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
        // Plain text is taken a run at a time: nearly every line is nothing else.
        const char* pRun = p;
        for (;;) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '\0' || c < 0x20 || c == 0x7F)
                break;
            if (c < 0x80) {
                p++;
                continue;
            }
            const int nLength = CharLength(p);
            if (nLength == 1)
                break;  // a byte that starts no character
            p += nLength;
        }
        text.append(pRun, static_cast<size_t>(p - pRun));
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\0')
            break;
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
