#include "platform/File.h"

#include <cstring>

// The framework's protocol reports "this was the last entry" together with
// the entry itself, so the reader is always kept one entry ahead.

CFileFind::CFileFind() : m_pReader(nullptr), m_current(), m_next(), m_bHaveNext(FALSE), m_dwError(0)
{
}

CFileFind::~CFileFind()
{
    Close();
}

BOOL CFileFind::FindFile(const char* pszPattern)
{
    Close();
    m_dwError = 0;
    m_pReader = GetFileServices().OpenDirectory(pszPattern);
    if (m_pReader == nullptr)
        return FALSE;
    m_bHaveNext = m_pReader->Next(m_next);
    if (!m_bHaveNext) {
        m_dwError = m_pReader->GetError();
        Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_bHaveNext)
        return FALSE;
    m_current = m_next;
    m_bHaveNext = m_pReader->Next(m_next);
    if (!m_bHaveNext)
        m_dwError = m_pReader->GetError();
    return m_bHaveNext;
}

void CFileFind::Close()
{
    delete m_pReader;
    m_pReader = nullptr;
    m_bHaveNext = FALSE;
    m_current = DirEntry();
}

BOOL CFileFind::IsDots() const
{
    return strcmp(m_current.szName, ".") == 0 || strcmp(m_current.szName, "..") == 0;
}

BOOL CFileFind::IsDirectory() const
{
    return m_current.bDirectory;
}
