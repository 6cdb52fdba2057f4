#include "platform/StdioFile.h"

#include <string>

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
    if (m_nEncoding == ENCODING_SHIFT_JIS) {
        std::string converted;
        // A name with characters that Shift-JIS lacks is written as it is
        // (UTF-8) rather than dropped: the line still says what happened.
        if (ConvertText(pszText, ENCODING_NATIVE, ENCODING_SHIFT_JIS, converted))
            return WriteBytes(converted.c_str());
    }
    return WriteBytes(pszText);
}
