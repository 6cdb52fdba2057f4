// The framework's file classes, over the file services in force.
#pragma once

#include <string>
#include <vector>

#include "platform/FileServices.h"

class CFile {
public:
    // TRUE when an entry of that name exists; fills the status.
    static BOOL GetStatus(const char* pszPath, CFileStatus& status) { return GetFileServices().GetStatus(pszPath, status); }
    // Unlike the framework's, these report a failure as FALSE (the error
    // from GetLastError()) instead of raising an exception.
    static BOOL Remove(const char* pszPath) { return GetFileServices().RemoveFile(pszPath); }
    static BOOL Rename(const char* pszFrom, const char* pszTo) { return GetFileServices().RenameFile(pszFrom, pszTo); }
};

// Folder enumeration with the framework's protocol: FindFile starts it,
// FindNextFile makes the next entry current and returns FALSE when that
// entry is the last one.  Unlike the framework's, it tells a listing that
// broke off from one that ended (GetListingError).
class CFileFind {
public:
    CFileFind();
    ~CFileFind();

    BOOL FindFile(const char* pszPattern);
    BOOL FindNextFile();
    void Close();

    BOOL IsDots() const;
    BOOL IsDirectory() const { return m_current.bDirectory; }
    BOOL IsFolderLink() const { return m_current.bFolderLink; }
    const char* GetFileName() const { return m_current.name.c_str(); }

    // The error that cut the listing short, once FindFile or FindNextFile
    // has returned FALSE for it; 0 when the listing ran to its end (or never
    // started: the services' GetLastError() tells why).
    DWORD GetListingError() const { return m_dwError; }

    // Reads the rest of the listing and closes it, so that it holds no
    // descriptor while it waits; the entries then come from memory, an error
    // met on the way after the last of them.
    void KeepInMemory();

private:
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Only the name's own length: a listing kept in memory takes no more.
    struct Entry {
        std::string name;
        BOOL bDirectory = FALSE;
        BOOL bFolderLink = FALSE;
    };

    BOOL ReadNext(Entry& entry);

    DirectoryReader* m_pReader;
    std::vector<Entry> m_kept;
    size_t m_nNextKept;
    DWORD m_dwKeptError;  // the error after the kept entries
    Entry m_current;
    Entry m_next;
    BOOL m_bHaveNext;
    DWORD m_dwError;
};
