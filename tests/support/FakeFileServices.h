// An in-memory disk behind the FileServices seam, for tests of what a real
// disk cannot easily be made to do: a drive that is not ready, a rename or
// delete that fails, a copy that the user aborts, a folder that cannot be
// listed.  Everything it is asked to do is logged for the test to assert on.
//
//     FakeFileServices fake;
//     ScopedFileServices use(fake);          // engine calls now reach fake
//     fake.AddFile(NativePath("D:/bk/a.txt"), 1000, "old");
//     fake.FailRename(NativePath("D:/bk/a.txt"), FAKE_ERROR_ACCESS_DENIED);
//     ... run the engine ...
//     EXPECT_EQ(fake.m_renamed.size(), 0u);
//
// Paths use the platform's separator (PATH_SEP) and are split character by
// character, so Shift-JIS names are safe on Windows.  A trailing separator
// is ignored.  Names are compared byte for byte (case matters, also on
// Windows).  The tree has no built-in roots: a first path component ("C:"
// on Windows, "" i.e. "/" on POSIX) is a folder like any other, made by
// AddFolder or AddFile.  A drive root or share root that has no status of
// its own, as on Windows, is FailStatus(root, FAKE_ERROR_NOT_FOUND).
//
// Not thread-safe: use it from one thread at a time (the worker, then the
// test after the worker has finished).
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileServices.h"
#include "support/TestPaths.h"

// The fake's own error codes.  They are not the platform's, but none of them
// is ERROR_NOT_READY, which tests inject themselves.
const DWORD FAKE_ERROR_NOT_FOUND = 2;
const DWORD FAKE_ERROR_ACCESS_DENIED = 5;
const DWORD FAKE_ERROR_EXISTS = 183;
const DWORD FAKE_ERROR_CANCELLED = 1223;


class FakeFileServices : public FileServices {
public:
    FakeFileServices();
    ~FakeFileServices() override;

    // ---- Laying out the disk.  Missing parent folders are made (mtime 0).
    // An existing entry of the same name is replaced.
    void AddFolder(const std::string& path, time_t mtime = 0);
    void AddFile(const std::string& path, time_t mtime, const std::string& content = std::string());
    // Extra attribute bits reported by GetStatus (FILE_ATTR_READONLY, ...).
    void SetAttributes(const std::string& path, BYTE attributes);

    // ---- Looking at it.
    bool IsFolder(const std::string& path) const;
    bool IsFile(const std::string& path) const;
    std::string Content(const std::string& path) const;  // "" when not a file
    time_t MTime(const std::string& path) const;         // -1 when missing
    // Names of the direct children of a folder, in listing order.
    std::vector<std::string> Children(const std::string& folder) const;
    // Every entry, sorted; folders end with PATH_SEP.  Compare two of these
    // to show that nothing changed.
    std::vector<std::string> AllPaths() const;

    // ---- Faults.  nTimes < 0 means for ever; otherwise the fault goes away
    // after it has struck that many times.
    // GetStatus and Exists of this exact path fail with dwError.
    void FailStatus(const std::string& path, DWORD dwError, int nTimes = -1);
    // Every call on this path or anything below it fails with dwError: a
    // drive that is not ready, a share that cannot be reached.
    void FailDrive(const std::string& path, DWORD dwError, int nTimes = -1);
    // OpenDirectory and CanList of this folder fail.
    void FailList(const std::string& folder, DWORD dwError);
    // CanRead of this path fails.
    void FailRead(const std::string& path, DWORD dwError);
    void FailCreateDirectory(const std::string& path, DWORD dwError);
    // A copy from or to this path fails; nothing changes.
    void FailCopy(const std::string& path, DWORD dwError);
    // The user aborts a copy from or to this path: nothing changes, the copy
    // returns FAKE_ERROR_CANCELLED with *pbAborted TRUE.
    void AbortCopy(const std::string& path);
    void FailRemove(const std::string& path, DWORD dwError);
    // A rename from or to this path fails.
    void FailRename(const std::string& path, DWORD dwError);
    // DeleteTree of this path fails and leaves the tree as it was.
    void FailDeleteTree(const std::string& path, DWORD dwError);
    // Answers of ShowMessageBox, in order; IDCANCEL once they run out.
    void QueueMessageBoxAnswer(int nAnswer);

    // ---- Logs, in call order.
    struct MessageBoxCall {
        std::string text;
        std::string caption;
        UINT nStyle;
    };
    typedef std::pair<std::string, std::string> FromTo;

    // Every call that changes the disk, with its outcome:
    // "mkdir P", "copy A -> B", "remove P", "rename A -> B", "deltree P",
    // each followed by " FAILED" when it failed.
    std::vector<std::string> m_events;
    std::vector<std::string> m_createdFolders;  // by CreateDirectory (not those a copy made)
    std::vector<FromTo> m_copied;               // successful copies
    std::vector<UINT> m_copyFlags;              // nFlags of every copy attempted
    std::vector<std::string> m_removed;         // by RemoveFile
    std::vector<std::string> m_deletedTrees;    // by DeleteTree (also of a missing path)
    std::vector<FromTo> m_renamed;
    std::vector<std::string> m_shellOpens;
    std::vector<MessageBoxCall> m_messageBoxes;
    std::vector<std::string> m_flushed;
    int m_nStatusQueries;  // GetStatus calls
    int m_nWrites;         // calls that change the disk, attempted, failed ones too

    // ---- FileServices
    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink = FALSE) override;
    DWORD GetLastError() override;
    // "<folder><sep>*.*" lists "." and ".." and then the children sorted by
    // name; any other pattern is one exact name.
    DirectoryReader* OpenDirectory(const char* pszPattern) override;
    BOOL CanList(const char* pszFolder) override;
    BOOL CanRead(const char* pszPath, BOOL bFollowLink = FALSE) override;
    BOOL Exists(const char* pszPath) override;
    // Fails when the entry exists or its parent does not, as the real ones.
    BOOL CreateDirectory(const char* pszPath) override;
    // Copies content and mtime; makes missing destination folders; fails
    // for a missing source, a folder as source or destination.
    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted,
                 BOOL bFollowLink = FALSE) override;
    // A missing path succeeds; a file is removed too.
    BOOL DeleteTree(const char* pszPath) override;
    // Files only.
    BOOL RemoveFile(const char* pszPath) override;
    // Files or folders with everything in them; fails when the destination
    // exists or its parent does not (Windows' rules, which the POSIX
    // implementation follows too).
    BOOL RenameFile(const char* pszFrom, const char* pszTo) override;
    void ShellOpen(const char* pszCommand) override;
    void FlushFileSystem(const char* pszPath) override;
    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) override;

private:
    struct Node {
        bool bFolder;
        time_t mtime;
        std::string content;
        BYTE attributes;
    };
    struct Fault {
        DWORD dwError;
        int nTimes;
    };
    typedef std::map<std::string, Fault> FaultMap;

    static std::string Key(const std::string& path);
    static std::string Parent(const std::string& key);
    static std::string Name(const std::string& key);
    static bool IsBelow(const std::string& key, const std::string& ancestor);
    static bool Strike(FaultMap& faults, const std::string& key, DWORD& dwError);

    void MakeParents(const std::string& key);
    bool DriveFault(const std::string& key, DWORD& dwError);
    BOOL Fail(DWORD dwError);
    void Event(const std::string& text, BOOL bOk);
    void EraseTree(const std::string& key);

    std::map<std::string, Node> m_nodes;
    FaultMap m_statusFaults;
    FaultMap m_driveFaults;
    FaultMap m_listFaults;
    FaultMap m_readFaults;
    FaultMap m_createFaults;
    FaultMap m_copyFaults;
    FaultMap m_removeFaults;
    FaultMap m_renameFaults;
    FaultMap m_deleteTreeFaults;
    std::vector<std::string> m_abortCopies;
    std::vector<int> m_messageBoxAnswers;
    DWORD m_dwLastError;
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
