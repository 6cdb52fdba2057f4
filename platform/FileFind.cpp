#include "platform/File.h"

#include <cstring>
#include <utility>

// The framework's protocol reports "this was the last entry" together with
// the entry itself, so the listing is always read one entry ahead.

CFileFind::CFileFind()
    : m_pReader(nullptr), m_nNextKept(0), m_dwKeptError(0), m_bHaveNext(FALSE), m_dwError(0)
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
    m_bHaveNext = ReadNext(m_next);
    if (!m_bHaveNext) {
        Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_bHaveNext)
        return FALSE;
    // Swapped, not copied: each name keeps the room it already has.
    std::swap(m_current, m_next);
    m_bHaveNext = ReadNext(m_next);
    return m_bHaveNext;
}

void CFileFind::Close()
{
    delete m_pReader;
    m_pReader = nullptr;
    std::vector<Entry>().swap(m_kept);
    m_nNextKept = 0;
    m_dwKeptError = 0;
    m_bHaveNext = FALSE;
    m_current = Entry();
}

void CFileFind::KeepInMemory()
{
    if (m_pReader == nullptr)
        return;
    DirectoryReader* pReader = m_pReader;
    m_pReader = nullptr;
    DirEntry entry;
    while (pReader->Next(entry))
        m_kept.push_back(Entry{entry.szName, entry.bDirectory, entry.bFolderLink});
    m_dwKeptError = pReader->GetError();
    delete pReader;
}

BOOL CFileFind::ReadNext(Entry& entry)
{
    if (m_pReader != nullptr) {
        DirEntry next;
        if (!m_pReader->Next(next)) {
            m_dwError = m_pReader->GetError();
            return FALSE;
        }
        entry.name.assign(next.szName);
        entry.bDirectory = next.bDirectory;
        entry.bFolderLink = next.bFolderLink;
        return TRUE;
    }
    if (m_nNextKept < m_kept.size()) {
        entry = std::move(m_kept[m_nNextKept++]);
        return TRUE;
    }
    m_dwError = m_dwKeptError;
    std::vector<Entry>().swap(m_kept);
    m_nNextKept = 0;
    return FALSE;
}

BOOL CFileFind::IsDots() const
{
    const char* pszName = m_current.name.c_str();
    return strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0;
}
