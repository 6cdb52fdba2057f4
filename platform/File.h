// The framework's file classes, over the file services in force.
#pragma once

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
    BOOL IsDirectory() const;
    const char* GetFileName() const { return m_current.szName; }

    // The error that cut the listing short, once FindFile or FindNextFile
    // has returned FALSE for it; 0 when the listing ran to its end (or never
    // started: the services' GetLastError() tells why).
    DWORD GetListingError() const { return m_dwError; }

private:
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    DirectoryReader* m_pReader;
    DirEntry m_current;
    DirEntry m_next;
    BOOL m_bHaveNext;
    DWORD m_dwError;
};
