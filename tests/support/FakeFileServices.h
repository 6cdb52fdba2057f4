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
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileServices.h"
#include "support/TestFiles.h"

const DWORD FAKE_ERROR_NOT_FOUND = 2;
const DWORD FAKE_ERROR_ACCESS_DENIED = 5;

class FakeFileServices : public FileServices {
public:
    // Without bMapPaths, paths are taken as they are.
    explicit FakeFileServices(bool bMapPaths = true) : m_bMapPaths(bMapPaths) {}

    enum FaultKind {
        FAIL_STATUS,  // GetStatus, GetIdentity and Exists of the path
        FAIL_LIST,    // listing the folder
        FAIL_LISTING, // the folder's listing breaks off after its first entry
        FAIL_READ,    // CanRead of the file
        FAIL_RENAME,  // renaming the path
        FAIL_COPY,    // copying from the path
        FAIL_DRIVE,   // every call on the path or below it
    };

    // Missing parent folders are made.
    void AddFolder(const std::string& path) { std::filesystem::create_directories(Place(path)); }
    void AddFile(const std::string& path, time_t mtime, const std::string& content);
    // nTimes < 0: for ever; else the fault goes after striking that often.
    void Fail(FaultKind nKind, const std::string& path, DWORD dwError, int nTimes = -1)
    {
        m_faults.push_back(Fault{nKind, path, dwError, nTimes});
    }

    // A process stopped after nChanges more changes (renames, deletes,
    // removals, folder creations, copies): every later one fails, as after a
    // kill.  A tree whose delete is stopped loses one file first, as a
    // delete cut part way does.
    void StopAfterChanges(int nChanges) { SetChangeFaults(nChanges, {}); }
    // Only these changes fail, counted from 1 from now.
    void FailChanges(const std::vector<int>& changes) { SetChangeFaults(-1, changes); }
    // How many changes were tried since, and whether one of them failed so.
    int Changes() const { return m_nChanges; }
    bool ChangeFailed() const { return m_bChangeFailed; }

    std::string Content(const std::string& path) const { return ReadFileBytes(Place(path)); }  // "" unless a file
    // Where a test's path lies on the real disk.
    std::string RealPath(const std::string& path) const { return Place(path); }
    Lines AllPaths() const { return ListTree(m_root.Path()); }

    std::vector<std::string> m_copies;  // the destination of each copy tried, in order
    std::vector<std::string> m_shellOpens;
    std::vector<std::string> m_messages;  // texts of ShowMessageBox
    std::vector<int> m_answers;           // its answers in order, then IDCANCEL
    // The Cancel button, pressed while this source file is copied.
    std::string m_cancelWhenCopying;
    // A folder that, with those below it, takes names that differ only in
    // case for one.
    std::string m_foldingCase;

    // Each call: the faults first, then the real services on the mapped paths.
    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink = FALSE) override
    {
        return !Strike(FAIL_STATUS, pszPath) && Result(Real().GetStatus(Place(pszPath).c_str(), status, bFollowLink));
    }
    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override
    {
        return !Strike(FAIL_STATUS, pszPath) && Result(Real().GetIdentity(Place(pszPath).c_str(), identity));
    }
    void SetTreeRoots(const char* pszSourceRoot, const char* pszDestRoot) override
    {
        Real().SetTreeRoots(pszSourceRoot != nullptr ? Place(pszSourceRoot).c_str() : nullptr,
                            pszDestRoot != nullptr ? Place(pszDestRoot).c_str() : nullptr);
    }
    void SetPreviousCopyRoot(const char* pszRoot) override
    {
        Real().SetPreviousCopyRoot(pszRoot != nullptr ? Place(pszRoot).c_str() : nullptr);
    }
    ShareResult ShareFile(const char* pszFrom, const char* pszPrevious, const char* pszTo, int nMargin) override
    {
        return StrikeChange(pszTo) ? SHARE_NONE
                                   : Real().ShareFile(Place(pszFrom).c_str(), Place(pszPrevious).c_str(),
                                                      Place(pszTo).c_str(), nMargin);
    }
    void FinishCopies(CopyFailureFn pfnFailed, void* pContext) override { Real().FinishCopies(pfnFailed, pContext); }
    BOOL FinishFolder(const char* pszSrcFolder, const char* pszDstFolder) override
    {
        return Result(Real().FinishFolder(Place(pszSrcFolder).c_str(), Place(pszDstFolder).c_str()));
    }
    DWORD GetLastError() override { return m_dwLastError; }
    DirectoryReader* OpenDirectory(const char* pszPattern) override;
    BOOL CanList(const char* pszFolder) override
    {
        return !Strike(FAIL_LIST, pszFolder) && Result(Real().CanList(Place(pszFolder).c_str()));
    }
    BOOL IsCaseInsensitive(const char* pszFolder) override;
    BOOL CanRead(const char* pszPath, BOOL bFollowLink = FALSE) override
    {
        return !Strike(FAIL_READ, pszPath) && Result(Real().CanRead(Place(pszPath).c_str(), bFollowLink));
    }
    BOOL Exists(const char* pszPath) override
    {
        return !Strike(FAIL_STATUS, pszPath) && Result(Real().Exists(Place(pszPath).c_str()));
    }
    BOOL CreateDirectory(const char* pszPath) override
    {
        return !StrikeChange(pszPath) && !Strike(FAIL_DRIVE, pszPath) &&
               Result(Real().CreateDirectory(Place(pszPath).c_str()));
    }
    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted,
                 BOOL bFollowLink = FALSE) override;
    BOOL DeleteTree(const char* pszPath) override
    {
        return !StrikeChange(pszPath, true) && Result(Real().DeleteTree(Place(pszPath).c_str()));
    }
    BOOL RemoveFile(const char* pszPath) override
    {
        return !StrikeChange(pszPath) && Result(Real().RemoveFile(Place(pszPath).c_str()));
    }
    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        return !StrikeChange(pszFrom) && !Strike(FAIL_RENAME, pszFrom) && !Strike(FAIL_DRIVE, pszTo) &&
               Result(Real().RenameFile(Place(pszFrom).c_str(), Place(pszTo).c_str()));
    }
    void ShellOpen(const char* pszCommand) override { m_shellOpens.push_back(pszCommand); }
    void FlushFileSystem(const char*) override {}
    int ShowMessageBox(const char* pszText, const char*, UINT) override
    {
        m_messages.push_back(pszText);
        return m_messages.size() <= m_answers.size() ? m_answers[m_messages.size() - 1] : IDCANCEL;
    }

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
    bool StrikeChange(const std::string& path, bool bTree = false);
    void SetChangeFaults(int nStopAfter, const std::vector<int>& failing)
    {
        m_nStopAfter = nStopAfter;
        m_failingChanges = failing;
        m_nChanges = 0;
        m_bChangeFailed = false;
    }
    // Takes the real call's outcome and its error.
    BOOL Result(BOOL bOk)
    {
        m_dwLastError = bOk ? 0 : Real().GetLastError();
        return bOk;
    }

    bool m_bMapPaths;
    TempDir m_root;
    std::vector<Fault> m_faults;
    DWORD m_dwLastError = 0;
    int m_nStopAfter = -1;
    std::vector<int> m_failingChanges;
    int m_nChanges = 0;
    bool m_bChangeFailed = false;
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
