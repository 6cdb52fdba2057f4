#include "platform/StdioFile.h"

CStdioFile::CStdioFile() : m_pStream(nullptr), m_nEncoding(ENCODING_NATIVE) {}

CStdioFile::~CStdioFile()
{
    Close();
}

BOOL CStdioFile::WriteBytes(const char* pszText)
{
    if (m_pStream == nullptr)
        return FALSE;
    return fputs(pszText, m_pStream) >= 0 && !ferror(m_pStream);
}

void CStdioFile::Close()
{
    if (m_pStream != nullptr) {
        fclose(m_pStream);
        m_pStream = nullptr;
    }
}
