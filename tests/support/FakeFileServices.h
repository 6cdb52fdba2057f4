// The file services for the engine's tests: the platform's real services on
// a private temporary folder, plus what a real disk cannot easily be made to
// do (a drive root or share, a drive that is not ready, a rename or delete
// that fails, a cancel in the middle of a run).
//
// Tests name paths as the program would ("C:\src\a.txt", "\\srv\pub",
// "/C/src" on POSIX); each is kept below the temporary folder, with a
// drive's colon and a share's leading separators dropped.  Listings come
// sorted by name, so that the walk's order is known.  A drive or share root,
// which has no status of its own on Windows, is Fail(FAIL_STATUS, root,
// FAKE_ERROR_NOT_FOUND).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/FileServices.h"
#include "support/TestFiles.h"

const DWORD FAKE_ERROR_NOT_FOUND = 2;
const DWORD FAKE_ERROR_ACCESS_DENIED = 5;

class FakeFileServices : public FileServices {
public:
    enum FaultKind {
        FAIL_STATUS,  // GetStatus, GetIdentity and Exists of the path
        FAIL_LIST,    // listing the folder
        FAIL_READ,    // CanRead of the file
        FAIL_RENAME,  // renaming the path
        FAIL_DRIVE,   // every call on the path or below it
    };

    // Missing parent folders are made.
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, time_t mtime, const std::string& content);
    // nTimes < 0: for ever; else the fault goes after striking that often.
    void Fail(FaultKind nKind, const std::string& path, DWORD dwError, int nTimes = -1);

    bool IsFolder(const std::string& path) const;
    std::string Content(const std::string& path) const;  // "" unless a file
    std::vector<std::string> AllPaths() const;            // below the folder, sorted; folders end with '/'

    // Every call that changes the disk, in order: "mkdir P", "copy A -> B",
    // "rename A -> B", "remove P", "deltree P"; " FAILED" after a failure.
    std::vector<std::string> m_events;
    std::vector<std::string> m_shellOpens;
    std::vector<std::string> m_messages;  // texts of ShowMessageBox
    std::vector<int> m_answers;           // its answers in order, then IDCANCEL
    // The Cancel button, pressed while this source file is copied.
    std::string m_cancelWhenCopying;

    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink = FALSE) override;
    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override;
    void SetTreeRoots(const char* pszSourceRoot, const char* pszDestRoot) override;
    void FinishCopies(CopyFailureFn pfnFailed, void* pContext) override { Real().FinishCopies(pfnFailed, pContext); }
    BOOL FinishFolder(const char* pszSrcFolder, const char* pszDstFolder) override;
    DWORD GetLastError() override { return m_dwLastError; }
    DirectoryReader* OpenDirectory(const char* pszPattern) override;
    BOOL CanList(const char* pszFolder) override;
    BOOL CanRead(const char* pszPath, BOOL bFollowLink = FALSE) override;
    BOOL Exists(const char* pszPath) override;
    BOOL CreateDirectory(const char* pszPath) override;
    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted,
                 BOOL bFollowLink = FALSE) override;
    BOOL DeleteTree(const char* pszPath) override;
    BOOL RemoveFile(const char* pszPath) override;
    BOOL RenameFile(const char* pszFrom, const char* pszTo) override;
    void ShellOpen(const char* pszCommand) override { m_shellOpens.push_back(pszCommand); }
    void FlushFileSystem(const char*) override {}
    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) override;

private:
    struct Fault {
        FaultKind nKind;
        std::string path;
        DWORD dwError;
        int nTimes;
    };

    static FileServices& Real() { return GetRealFileServices(); }
    // Where a test's path lies on the real disk.
    std::string Place(const std::string& path) const;
    DWORD Strike(FaultKind nKind, const std::string& path);
    // Takes the real call's outcome and its error.
    BOOL Result(BOOL bOk);
    BOOL Done(const std::string& event, BOOL bOk);

    TempDir m_root;
    std::vector<Fault> m_faults;
    DWORD m_dwLastError = 0;
};

// Puts services in force for one scope and then restores those before.
class ScopedFileServices {
public:
    explicit ScopedFileServices(FileServices& services) : m_pPrevious(SetFileServices(&services)) {}
    ~ScopedFileServices() { SetFileServices(m_pPrevious); }

private:
    ScopedFileServices(const ScopedFileServices&) = delete;
    ScopedFileServices& operator=(const ScopedFileServices&) = delete;
    FileServices* m_pPrevious;
};
