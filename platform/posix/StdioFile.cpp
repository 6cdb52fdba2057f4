#include "platform/StdioFile.h"

#include <string>

#include "platform/Text.h"

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    m_pStream = fopen(pszFileName, "we");
    return m_pStream != nullptr;
}

BOOL CStdioFile::WriteString(const char* pszText)
{
    if (m_nEncoding != ENCODING_SHIFT_JIS)
        return WriteBytes(pszText);
    std::string converted;
    if (ConvertText(pszText, ENCODING_NATIVE, ENCODING_SHIFT_JIS, converted))
        return WriteBytes(converted.c_str());
    // Some character has no Shift-JIS form: each such character is written
    // as '?', so that the file stays Shift-JIS throughout and the rest of
    // the line reads as it should.
    std::string text;
    std::string one;
    for (const char* p = pszText; *p != '\0';) {
        const int nLength = CharLength(p);
        if (ConvertText(std::string(p, static_cast<size_t>(nLength)), ENCODING_NATIVE, ENCODING_SHIFT_JIS, one))
            text += one;
        else
            text += '?';
        p += nLength;
    }
    return WriteBytes(text.c_str());
}
