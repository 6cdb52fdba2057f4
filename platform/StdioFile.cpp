#include "platform/StdioFile.h"

CStdioFile::CStdioFile() : m_pStream(nullptr), m_nEncoding(ENCODING_NATIVE) {}

CStdioFile::~CStdioFile()
{
    Close();
}

void CStdioFile::BufferStream()
{
    setvbuf(m_pStream, nullptr, _IOFBF, 64 * 1024);
}

BOOL CStdioFile::WriteBytes(const std::string& bytes)
{
    if (m_pStream == nullptr)
        return FALSE;
    return fwrite(bytes.data(), 1, bytes.size(), m_pStream) == bytes.size() && !ferror(m_pStream);
}

void CStdioFile::Close()
{
    if (m_pStream != nullptr) {
        fclose(m_pStream);
        m_pStream = nullptr;
    }
}
