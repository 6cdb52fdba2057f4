#include "platform/StdioFile.h"

#include <string>

#include "platform/Text.h"

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    m_pStream = fopen(pszFileName, "we");
    if (m_pStream == nullptr)
        return FALSE;
    BufferStream();
    return TRUE;
}

BOOL CStdioFile::WriteString(const std::string& text)
{
    if (m_nEncoding != ENCODING_SHIFT_JIS)
        return WriteBytes(text);
    std::string converted;
    if (ConvertText(text, ENCODING_NATIVE, ENCODING_SHIFT_JIS, converted))
        return WriteBytes(converted);
    // Some character has no Shift-JIS form: each such character is written
    // as '?', so that the file stays Shift-JIS throughout and the rest of
    // the line reads as it should.
    std::string marked;
    std::string one;
    for (const char* p = text.c_str(); *p != '\0';) {
        const int nLength = CharLength(p);
        if (ConvertText(std::string(p, static_cast<size_t>(nLength)), ENCODING_NATIVE, ENCODING_SHIFT_JIS, one))
            marked += one;
        else
            marked += '?';
        p += nLength;
    }
    return WriteBytes(marked);
}
