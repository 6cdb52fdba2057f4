#include "platform/StdioFile.h"

CStdioFile::CStdioFile() : m_pStream(nullptr), m_nEncoding(ENCODING_NATIVE) {}

CStdioFile::~CStdioFile()
{
    Close();
}
