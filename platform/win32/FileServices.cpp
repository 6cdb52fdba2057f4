#include "platform/FileServices.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Text.h"

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (time_t), in 100 ns.
const long long FILETIME_UNIX_EPOCH = 116444736000000000LL;

time_t TimeFromFileTime(const FILETIME& ft)
{
    long long nTicks = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    nTicks -= FILETIME_UNIX_EPOCH;
    long long nSeconds = nTicks / 10000000LL;
    if (nTicks % 10000000LL < 0)
        --nSeconds;
    return static_cast<time_t>(nSeconds);
}

// One shell file operation on one path (and one target, or none), with no
// owner window.  The shell takes lists of paths, each ended by a NUL and the
// list by a second one; std::string's own terminator is that second one.
int RunShellOperation(UINT wFunc, const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted)
{
    std::string from = pszFrom;
    from += '\0';
    std::string to = pszTo != nullptr ? pszTo : "";
    to += '\0';
    SHFILEOPSTRUCTA op = {};
    op.hwnd = nullptr;
    op.wFunc = wFunc;
    op.pFrom = from.c_str();
    op.pTo = pszTo != nullptr ? to.c_str() : nullptr;
    op.fFlags = static_cast<FILEOP_FLAGS>(nFlags);
    int nResult = SHFileOperationA(&op);
    if (pbAborted != nullptr)
        *pbAborted = op.fAnyOperationsAborted ? TRUE : FALSE;
    return nResult;
}

// The entry of one exact name, found the way the framework's status query
// finds it: FindFirstFile reports the entry in its parent folder, so a drive
// root or a share root, which have none, fail, and the set loop recognises
// them by that.  FindFirstFile treats * and ? as wildcards, so a name with
// them is refused rather than matched against another.
BOOL FindEntry(const char* pszPath, WIN32_FIND_DATAA& data)
{
    if (strpbrk(pszPath, "*?") != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    HANDLE hFind = FindFirstFileA(pszPath, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    return TRUE;
}

// True when the path ends with a separator, read character by character so
// that a second byte 0x5C of a double-byte character is not taken for one.
BOOL EndsWithSeparator(const char* pszPath)
{
    BOOL bSeparator = FALSE;
    for (const char* p = pszPath; *p != '\0'; p += CharLength(p))
        bSeparator = *p == '\\' && CharLength(p) == 1;
    return bSeparator;
}

void FillEntry(const WIN32_FIND_DATAA& data, DirEntry& entry)
{
    size_t nLength = strnlen(data.cFileName, sizeof data.cFileName);
    if (nLength >= sizeof entry.szName)
        nLength = CharBoundaryAtOrBefore(data.cFileName, sizeof entry.szName - 1);
    memcpy(entry.szName, data.cFileName, nLength);
    entry.szName[nLength] = '\0';
    entry.bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32DirectoryReader : public DirectoryReader {
public:
    Win32DirectoryReader(HANDLE hFind, const WIN32_FIND_DATAA& first)
        : m_hFind(hFind), m_data(first), m_bHaveData(TRUE)
    {
    }
    ~Win32DirectoryReader() override { FindClose(m_hFind); }

    BOOL Next(DirEntry& entry) override
    {
        if (!m_bHaveData)
            return FALSE;
        FillEntry(m_data, entry);
        m_bHaveData = FindNextFileA(m_hFind, &m_data);
        return TRUE;
    }

private:
    HANDLE m_hFind;
    WIN32_FIND_DATAA m_data;
    BOOL m_bHaveData;
};

class Win32FileServices : public FileServices {
public:
    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL) override
    {
        WIN32_FIND_DATAA data;
        if (!FindEntry(pszPath, data))
            return FALSE;
        status.m_mtime = CTime(TimeFromFileTime(data.ftLastWriteTime));
        status.m_size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & 0x7F);
        return TRUE;
    }

    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override
    {
        // Folders open only with backup semantics; no access right is asked,
        // so an object in use by others still answers.
        HANDLE hFile = CreateFileA(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return FALSE;
        BY_HANDLE_FILE_INFORMATION info;
        BOOL bDone = GetFileInformationByHandle(hFile, &info);
        DWORD dwError = ::GetLastError();
        CloseHandle(hFile);
        if (!bDone) {
            SetLastError(dwError);
            return FALSE;
        }
        identity.nVolume = info.dwVolumeSerialNumber;
        identity.nIndex = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return TRUE;
    }

    DWORD GetLastError() override { return ::GetLastError(); }

    DirectoryReader* OpenDirectory(const char* pszPattern) override
    {
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA(pszPattern, &data);
        if (hFind == INVALID_HANDLE_VALUE)
            return nullptr;
        return new Win32DirectoryReader(hFind, data);
    }

    BOOL CanList(const char* pszFolder) override
    {
        std::string pattern = pszFolder;
        if (!EndsWithSeparator(pszFolder))
            pattern += '\\';
        pattern += "*.*";
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA(pattern.c_str(), &data);
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            return TRUE;
        }
        // An empty drive root has not even . and .. to report.
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }

    BOOL CanRead(const char* pszPath, BOOL) override
    {
        HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return FALSE;
        CloseHandle(hFile);
        return TRUE;
    }

    BOOL Exists(const char* pszPath) override
    {
        WIN32_FIND_DATAA data;
        return FindEntry(pszPath, data);
    }

    BOOL CreateDirectory(const char* pszPath) override
    {
        return CreateDirectoryA(pszPath, nullptr);
    }

    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL) override
    {
        SetLastError(0);
        int nResult = RunShellOperation(FO_COPY, pszFrom, pszTo, nFlags, pbAborted);
        // The shell does not always leave an error behind; its own result
        // is then the best code there is for the log.
        if (nResult != 0 && ::GetLastError() == 0)
            SetLastError(static_cast<DWORD>(nResult));
        return nResult;
    }

    BOOL DeleteTree(const char* pszPath) override
    {
        if (GetFileAttributesA(pszPath) == INVALID_FILE_ATTRIBUTES) {
            DWORD dwError = ::GetLastError();
            // Nothing there is nothing left; asking the shell anyway could
            // bring up its error box.
            if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
                return TRUE;
        }
        int nResult = RunShellOperation(FO_DELETE, pszPath, nullptr, FOF_SILENT | FOF_NOCONFIRMATION, nullptr);
        // The shell's result says little about what is left, so look.
        if (GetFileAttributesA(pszPath) == INVALID_FILE_ATTRIBUTES)
            return TRUE;
        SetLastError(nResult != 0 ? static_cast<DWORD>(nResult) : ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }

    BOOL RemoveFile(const char* pszPath) override
    {
        return DeleteFileA(pszPath);
    }

    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        return MoveFileA(pszFrom, pszTo);
    }

    void ShellOpen(const char* pszCommand) override
    {
        ShellExecuteA(nullptr, "open", pszCommand, nullptr, nullptr, SW_SHOWNORMAL);
    }

    // The shell's copy and the system's cache manager own the write-back.
    void FlushFileSystem(const char*) override {}

    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) override
    {
        return MessageBoxA(nullptr, pszText, pszCaption, nStyle);
    }
};

}  // namespace

FileServices& GetRealFileServices()
{
    static Win32FileServices services;
    return services;
}

BOOL IsMissingError(DWORD dwError)
{
    return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
}

void FormatSystemError(DWORD dwError, char* pszOut, size_t nSize)
{
    if (nSize == 0)
        return;
    char* pszMessage = nullptr;
    DWORD nLength = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, dwError, 0, reinterpret_cast<char*>(&pszMessage), 0, nullptr);
    if (nLength == 0 || pszMessage == nullptr) {
        int n = snprintf(pszOut, nSize, "error %lu", static_cast<unsigned long>(dwError));
        if (n < 0)
            pszOut[0] = '\0';
        return;
    }
    // System messages end with a line break, which a log line must not have.
    while (nLength > 0 && (pszMessage[nLength - 1] == '\r' || pszMessage[nLength - 1] == '\n' ||
                           pszMessage[nLength - 1] == ' '))
        --nLength;
    pszMessage[nLength] = '\0';
    size_t nCopy = nLength;
    if (nCopy >= nSize)
        nCopy = CharBoundaryAtOrBefore(pszMessage, nSize - 1);
    memcpy(pszOut, pszMessage, nCopy);
    pszOut[nCopy] = '\0';
    LocalFree(pszMessage);
}
