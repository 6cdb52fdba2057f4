#include "platform/FileServices.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "WideText.h"
#include "platform/Text.h"

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (time_t), in 100 ns.
const long long FILETIME_UNIX_EPOCH = 116444736000000000LL;

// A copy is made under ".name.tandemix-XXXXXX" beside its destination and
// renamed over it only once complete.  A name part this long at most keeps
// the temporary within the system's 255-unit name limit.
const size_t TEMP_NAME_PART = 200;
const char TEMP_MARK[] = ".tandemix-";
const size_t TEMP_SUFFIX = 6;

time_t TimeFromFileTime(const FILETIME& ft)
{
    long long nTicks = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    nTicks -= FILETIME_UNIX_EPOCH;
    long long nSeconds = nTicks / 10000000LL;
    if (nTicks % 10000000LL < 0)
        --nSeconds;
    return static_cast<time_t>(nSeconds);
}

BOOL Fail(DWORD dwError)
{
    SetLastError(dwError);
    return FALSE;
}

BOOL IsPrefixed(const std::wstring& path)
{
    return path.compare(0, 4, L"\\\\?\\") == 0;
}

// The entry of one exact name, found the way the framework's status query
// finds it: FindFirstFile reports the entry in its parent folder, so a drive
// root or a share root, which have none, fail, and the set loop recognises
// them by that.  FindFirstFile treats * and ? as wildcards, so a name with
// them is refused rather than matched against another.
BOOL FindEntry(const char* pszPath, WIN32_FIND_DATAW& data)
{
    if (strpbrk(pszPath, "*?") != nullptr)
        return Fail(ERROR_INVALID_NAME);
    std::wstring path;
    if (!WidePath(pszPath, path))
        return FALSE;
    HANDLE hFind = FindFirstFileW(path.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    return TRUE;
}

// Reparse points whose tag has this bit stand for another name (junctions,
// mount points, folder links), unlike those that keep a folder's own data
// elsewhere (cloud placeholders, deduplicated files).
const DWORD REPARSE_TAG_NAME_SURROGATE = 0x20000000;

void FillEntry(const WIN32_FIND_DATAW& data, DirEntry& entry)
{
    const std::string name = Utf8FromWide(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
    // 255 units of a name are at most 765 bytes: the entry always holds it.
    CopyTextCut(entry.szName, sizeof entry.szName, name.c_str(), name.size());
    const BOOL bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // For a reparse point the listing gives its tag in dwReserved0.
    entry.bFolderLink = bFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                        (data.dwReserved0 & REPARSE_TAG_NAME_SURROGATE) != 0;
    entry.bDirectory = bFolder && !entry.bFolderLink;
}

class Win32DirectoryReader : public DirectoryReader {
public:
    Win32DirectoryReader(HANDLE hFind, const WIN32_FIND_DATAW& first)
        : m_hFind(hFind), m_data(first), m_bHaveData(TRUE)
    {
    }
    ~Win32DirectoryReader() override { FindClose(m_hFind); }

    BOOL Next(DirEntry& entry) override
    {
        if (!m_bHaveData)
            return FALSE;
        FillEntry(m_data, entry);
        m_bHaveData = FindNextFileW(m_hFind, &m_data);
        if (!m_bHaveData && ::GetLastError() != ERROR_NO_MORE_FILES)
            m_dwError = ::GetLastError();
        return TRUE;
    }

private:
    HANDLE m_hFind;
    WIN32_FIND_DATAW m_data;
    BOOL m_bHaveData;
};

// Clears the read-only attribute, which stops a delete or a replace, from
// a file about to go; the shell's silent delete and copy do the same.
void MakeWritable(const std::wstring& path, DWORD dwAttributes)
{
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), dwAttributes & ~FILE_ATTRIBUTE_READONLY);
}

// A file that still cannot go keeps its read-only attribute.
BOOL DeleteOneFile(const std::wstring& path, DWORD dwAttributes)
{
    MakeWritable(path, dwAttributes);
    if (DeleteFileW(path.c_str()))
        return TRUE;
    const DWORD dwError = ::GetLastError();
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), dwAttributes);
    return Fail(dwError);
}

// Deletes a folder and everything in it.  A junction or a folder link is
// removed as the link it is, never entered, so the delete cannot reach out
// of the tree.  The path carries the long-path prefix, so depth is no limit.
BOOL DeleteFolderTree(const std::wstring& path)
{
    DWORD dwFirstError = 0;
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
                continue;
            const std::wstring child = path + L"\\" + data.cFileName;
            const DWORD dwAttributes = data.dwFileAttributes;
            BOOL bDone;
            if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                bDone = DeleteOneFile(child, dwAttributes);
            else if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                bDone = RemoveDirectoryW(child.c_str());
            else
                bDone = DeleteFolderTree(child);
            if (!bDone && dwFirstError == 0)
                dwFirstError = ::GetLastError();
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    MakeWritable(path, GetFileAttributesW(path.c_str()));
    if (RemoveDirectoryW(path.c_str()))
        return TRUE;
    return Fail(dwFirstError != 0 ? dwFirstError : ::GetLastError());
}

// Makes the missing folders above a file, as the shell's copy would.  Each
// prefix that ends at a separator is tried; those that exist or cannot be
// folders (a drive, the \\?\ part) simply fail.
void CreateParentFolders(const std::wstring& path)
{
    for (size_t nSep = path.find(L'\\'); nSep != std::wstring::npos; nSep = path.find(L'\\', nSep + 1)) {
        if (nSep > 0 && path[nSep - 1] != L'\\')
            CreateDirectoryW(path.substr(0, nSep).c_str(), nullptr);
    }
}

// Random letters and digits for a temporary's name; a clash is retried.
std::string TempSuffix()
{
    static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long long s_nState = 0;
    if (s_nState == 0) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        s_nState = (static_cast<unsigned long long>(counter.QuadPart) ^ GetTickCount64()) * 2654435761ULL ^
                   GetCurrentProcessId();
    }
    std::string suffix;
    for (size_t i = 0; i < TEMP_SUFFIX; i++) {
        s_nState = s_nState * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += ALPHABET[(s_nState >> 33) % (sizeof ALPHABET - 1)];
    }
    return suffix;
}

// TRUE for a name of the form ".name.tandemix-XXXXXX".
BOOL IsTempName(const std::string& name)
{
    const size_t nMark = sizeof TEMP_MARK - 1;
    if (name.size() < 1 + nMark + TEMP_SUFFIX || name[0] != '.')
        return FALSE;
    const size_t nAt = name.size() - TEMP_SUFFIX - nMark;
    if (name.compare(nAt, nMark, TEMP_MARK) != 0)
        return FALSE;
    for (size_t i = name.size() - TEMP_SUFFIX; i < name.size(); i++) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return FALSE;
    }
    return TRUE;
}

// Removes the temporaries that an interrupted run left in a folder, never a
// name that the source folder holds (a user's file may look like ours).  A
// temporary still being written, by this run or another, is held open
// without delete sharing (by the copy, then by PutInPlace), so the delete
// fails on it.
void SweepTemporaries(const std::string& folder, const std::string& sourceFolder)
{
    std::wstring pattern;
    if (!WidePath((folder + "." + "*" + TEMP_MARK + "*").c_str(), pattern))
        return;
    std::wstring wideFolder = pattern.substr(0, pattern.rfind(L'\\') + 1);
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(pattern.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = Utf8FromWide(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
        std::wstring inSource;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsTempName(name) ||
            !WidePath((sourceFolder + name).c_str(), inSource))
            continue;
        if (GetFileAttributesW(inSource.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissingError(::GetLastError()))
            DeleteOneFile(wideFolder + data.cFileName, data.dwFileAttributes);
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
}

// What stands in the way of copying from into temp, as the system reports
// it; 0 when nothing does.  Asked after the shell reported an aborted copy,
// which the shell does both for the user's Cancel and (under Wine always,
// on Windows after its own error box) for a copy that failed.
DWORD ProbeCopy(const std::wstring& from, const std::wstring& temp)
{
    HANDLE hFrom = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFrom == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    LARGE_INTEGER size = {};
    GetFileSizeEx(hFrom, &size);
    CloseHandle(hFrom);

    HANDLE hTemp = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (hTemp == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    CloseHandle(hTemp);

    const std::wstring folder = temp.substr(0, temp.rfind(L'\\') + 1);
    ULARGE_INTEGER free = {};
    if (GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) &&
        free.QuadPart < static_cast<unsigned long long>(size.QuadPart))
        return ERROR_DISK_FULL;
    return 0;
}

// The shell copies one file to the temporary, showing its own progress.
// Returns 0, or the error; *pbAborted only when the user stopped it.
DWORD ShellCopy(const std::wstring& from, const std::wstring& temp, UINT nFlags, BOOL* pbAborted)
{
    // The shell takes lists of paths, each ended by a NUL and the list by a
    // second one; std::wstring's own terminator is that second one.
    std::wstring fromList = from + L'\0';
    std::wstring toList = temp + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.hwnd = nullptr;
    op.wFunc = FO_COPY;
    op.pFrom = fromList.c_str();
    op.pTo = toList.c_str();
    op.fFlags = static_cast<FILEOP_FLAGS>(nFlags);
    SetLastError(0);
    const int nResult = SHFileOperationW(&op);
    if (nResult == 0 && !op.fAnyOperationsAborted)
        return 0;
    DeleteFileW(temp.c_str());
    if (op.fAnyOperationsAborted) {
        const DWORD dwError = ProbeCopy(from, temp);
        if (dwError != 0)
            return dwError;
        *pbAborted = TRUE;
        return nResult != 0 ? static_cast<DWORD>(nResult) : ERROR_CANCELLED;
    }
    // The shell does not always leave an error behind; its own result is
    // then the best code there is for the log.
    const DWORD dwError = ::GetLastError();
    return dwError != 0 ? dwError : static_cast<DWORD>(nResult);
}

// Puts a complete temporary on disk with the source's modification time, then
// renames it over the destination.  0, or the error (the temporary is gone).
// The temporary is held without delete sharing until it is on disk.
DWORD PutInPlace(const std::wstring& temp, const std::wstring& to, const FILETIME& ftWrite)
{
    const DWORD dwAttributes = GetFileAttributesW(temp.c_str());
    MakeWritable(temp, dwAttributes);
    HANDLE hTemp = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD dwError = 0;
    if (hTemp == INVALID_HANDLE_VALUE) {
        dwError = ::GetLastError();
    } else {
        // The data reaches the disk before the name does: a crash after the
        // rename cannot leave a destination that looks newer than its data.
        if (!SetFileTime(hTemp, nullptr, nullptr, &ftWrite) || !FlushFileBuffers(hTemp))
            dwError = ::GetLastError();
        CloseHandle(hTemp);
    }
    if (dwError == 0 && dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(temp.c_str(), dwAttributes);
    const DWORD dwMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (dwError == 0 && !MoveFileExW(temp.c_str(), to.c_str(), dwMove)) {
        dwError = ::GetLastError();
        const DWORD dwOld = GetFileAttributesW(to.c_str());
        if (dwError == ERROR_ACCESS_DENIED && dwOld != INVALID_FILE_ATTRIBUTES &&
            (dwOld & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY) {
            MakeWritable(to, dwOld);
            if (MoveFileExW(temp.c_str(), to.c_str(), dwMove))
                dwError = 0;
            else
                SetFileAttributesW(to.c_str(), dwOld);
        }
    }
    if (dwError != 0)
        DeleteOneFile(temp, GetFileAttributesW(temp.c_str()));
    return dwError;
}

// Copies from into a new temporary beside the destination (folder, the
// destination's folder with its separator; name, its name cut to fit), by
// the shell when its progress is wanted.  0 with the temporary's path, or
// the error.  Missing folders above the destination are made first.
DWORD CopyToTemporary(const std::wstring& from, const std::wstring& to, const std::string& folder,
                      const std::string& name, UINT nFlags, BOOL* pbAborted, std::wstring& temp)
{
    DWORD dwError = ERROR_FILE_EXISTS;
    for (int nTry = 0; nTry < 16 && dwError == ERROR_FILE_EXISTS; nTry++) {
        if (!WidePath((folder + "." + name + TEMP_MARK + TempSuffix()).c_str(), temp))
            return ::GetLastError() != 0 ? ::GetLastError() : ERROR_INVALID_NAME;
        if (nTry == 0 && GetFileAttributesW(to.substr(0, to.rfind(L'\\') + 1).c_str()) == INVALID_FILE_ATTRIBUTES)
            CreateParentFolders(temp);
        const BOOL bShell = (nFlags & FOF_SILENT) == 0 && !IsPrefixed(from) && !IsPrefixed(temp) && !IsPrefixed(to);
        if (bShell) {
            dwError = GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES ? ERROR_FILE_EXISTS
                                                                                  : ShellCopy(from, temp, nFlags, pbAborted);
        } else {
            dwError = CopyFileExW(from.c_str(), temp.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS)
                          ? 0 : ::GetLastError();
        }
    }
    return dwError;
}

// What a copy stands for: the source's size and time, read from a handle
// that stays open for the whole copy.
struct SourceState {
    ULONGLONG nSize;
    FILETIME ftWrite;
};

BOOL ReadSourceState(HANDLE hSource, SourceState& state)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(hSource, &info))
        return FALSE;
    state.nSize = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    state.ftWrite = info.ftLastWriteTime;
    return TRUE;
}

// Ticks of 100 ns in a FILETIME.
long long Ticks(const FILETIME& ft)
{
    return static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// The attributes a copy keeps and a shared file must have alike; the
// archive bit is the system's own bookkeeping.
const DWORD SHARED_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

// TRUE when the earlier copy still stands for the file: the same size,
// attributes and last-write time (exactly, or at most nMargin seconds older).
BOOL IsUnchangedCopy(const WIN32_FIND_DATAW& from, const WIN32_FIND_DATAW& previous, int nMargin)
{
    if ((from.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        (from.dwFileAttributes & SHARED_ATTRIBUTES) != (previous.dwFileAttributes & SHARED_ATTRIBUTES) ||
        from.nFileSizeHigh != previous.nFileSizeHigh || from.nFileSizeLow != previous.nFileSizeLow)
        return FALSE;
    const long long nNewer = Ticks(from.ftLastWriteTime) - Ticks(previous.ftLastWriteTime);
    return nMargin <= 0 ? nNewer == 0 : nNewer >= 0 && nNewer <= nMargin * 10000000LL;
}

class Win32FileServices : public FileServices {
public:
    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL) override
    {
        WIN32_FIND_DATAW data;
        if (!FindEntry(pszPath, data))
            return FALSE;
        status.m_mtime = CTime(TimeFromFileTime(data.ftLastWriteTime));
        status.m_size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & 0x7F);
        return TRUE;
    }

    BOOL GetIdentity(const char* pszPath, FileIdentity& identity) override
    {
        std::wstring path;
        if (!WidePath(pszPath, path))
            return FALSE;
        // Folders open only with backup semantics; no access right is asked,
        // so an object in use by others still answers.
        HANDLE hFile = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return FALSE;
        BY_HANDLE_FILE_INFORMATION info;
        BOOL bDone = GetFileInformationByHandle(hFile, &info);
        DWORD dwError = ::GetLastError();
        CloseHandle(hFile);
        if (!bDone)
            return Fail(dwError);
        identity.nVolume = info.dwVolumeSerialNumber;
        identity.nIndex = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return TRUE;
    }

    DWORD GetLastError() override { return ::GetLastError(); }

    DirectoryReader* OpenDirectory(const char* pszPattern) override
    {
        std::wstring pattern;
        if (!WidePath(pszPattern, pattern))
            return nullptr;
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW(pattern.c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            return nullptr;
        return new Win32DirectoryReader(hFind, data);
    }

    BOOL CanList(const char* pszFolder) override
    {
        std::string pattern = pszFolder;
        if (pattern.empty() || pattern.back() != '\\')
            pattern += '\\';
        pattern += "*.*";
        DirectoryReader* pReader = OpenDirectory(pattern.c_str());
        if (pReader != nullptr) {
            delete pReader;
            return TRUE;
        }
        // An empty drive root has not even . and .. to report.
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }

    // NTFS can hold names that differ only in case, but Windows programs,
    // this one's later runs included, cannot tell them apart.
    BOOL IsCaseInsensitive(const char*) override { return TRUE; }

    BOOL CanRead(const char* pszPath, BOOL) override
    {
        std::wstring path;
        if (!WidePath(pszPath, path))
            return FALSE;
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return FALSE;
        CloseHandle(hFile);
        return TRUE;
    }

    BOOL Exists(const char* pszPath) override
    {
        WIN32_FIND_DATAW data;
        return FindEntry(pszPath, data);
    }

    BOOL CreateDirectory(const char* pszPath) override
    {
        std::wstring path;
        return WidePath(pszPath, path) && CreateDirectoryW(path.c_str(), nullptr);
    }

    // Fail-safe: the copy goes to a temporary beside the destination and is
    // renamed over it once it is complete and on disk.  Without the shell's
    // progress (FOF_SILENT) no window of the shell may appear, not even an
    // error box, so the system copies; the shell also cannot take paths
    // beyond the classic limit.
    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL) override
    {
        BOOL bAborted = FALSE;
        if (pbAborted == nullptr)
            pbAborted = &bAborted;
        *pbAborted = FALSE;
        std::wstring from;
        std::wstring to;
        if (!WidePath(pszFrom, from) || !WidePath(pszTo, to))
            return 1;

        const char* pszName = strrchr(pszTo, '\\');
        const std::string folder(pszTo, pszName != nullptr ? static_cast<size_t>(pszName + 1 - pszTo) : 0);
        const char* pszBase = pszName != nullptr ? pszName + 1 : pszTo;
        if (folder != m_sweptFolder) {
            const char* pszFromName = strrchr(pszFrom, '\\');
            SweepTemporaries(folder, std::string(pszFrom, pszFromName != nullptr ? static_cast<size_t>(pszFromName + 1 - pszFrom) : 0));
            m_sweptFolder = folder;
        }
        const std::string name(pszBase, CharBoundaryAtOrBefore(pszBase, TEMP_NAME_PART));

        // The size and time the copy stands for are read before it starts:
        // a file rewritten while it is copied would otherwise be put in
        // place torn, under the later time, and never copied again.  It is
        // copied once more, then left for a later run.
        HANDLE hSource = CreateFileW(from.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hSource == INVALID_HANDLE_VALUE)
            return 1;
        DWORD dwError = 0;
        for (int nAttempt = 0; nAttempt < 2; nAttempt++) {
            SourceState before;
            SourceState after;
            std::wstring temp;
            if (!ReadSourceState(hSource, before)) {
                dwError = ::GetLastError();
                break;
            }
            dwError = CopyToTemporary(from, to, folder, name, nFlags, pbAborted, temp);
            if (dwError != 0)
                break;
            if (!ReadSourceState(hSource, after))
                dwError = ::GetLastError();
            else if (after.nSize != before.nSize || CompareFileTime(&after.ftWrite, &before.ftWrite) != 0)
                dwError = COPY_ERROR_SOURCE_CHANGED;
            if (dwError != 0)
                DeleteOneFile(temp, GetFileAttributesW(temp.c_str()));
            else
                dwError = PutInPlace(temp, to, before.ftWrite);
            // A temporary gone before its name (another run's sweep took it
            // between the copy and PutInPlace) is worth one more try too.
            if (dwError != COPY_ERROR_SOURCE_CHANGED && !IsMissingError(dwError))
                break;
        }
        CloseHandle(hSource);
        if (dwError == 0)
            return 0;
        SetLastError(dwError);
        return 1;
    }

    BOOL DeleteTree(const char* pszPath) override
    {
        std::wstring path;
        if (!WidePath(pszPath, path, TRUE))
            return FALSE;
        while (path.size() > 4 && path.back() == L'\\')
            path.pop_back();
        const DWORD dwAttributes = GetFileAttributesW(path.c_str());
        if (dwAttributes == INVALID_FILE_ATTRIBUTES)
            return IsMissingError(::GetLastError());   // nothing there is nothing left
        if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return DeleteOneFile(path, dwAttributes);
        if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return RemoveDirectoryW(path.c_str());
        return DeleteFolderTree(path);
    }

    // NTFS has no clones: a file that is unchanged becomes a hard link.
    ShareResult ShareFile(const char* pszFrom, const char* pszPrevious, const char* pszTo, int nMargin) override
    {
        WIN32_FIND_DATAW from, previous;
        std::wstring previousPath, to;
        if (!FindEntry(pszFrom, from) || !FindEntry(pszPrevious, previous) || !IsUnchangedCopy(from, previous, nMargin) ||
            !WidePath(pszPrevious, previousPath) || !WidePath(pszTo, to))
            return SHARE_NONE;
        return CreateHardLinkW(to.c_str(), previousPath.c_str(), nullptr) ? SHARE_LINKED : SHARE_NONE;
    }

    // A read-only file goes too: an older copy that keeps its source's
    // attribute must not stop the rotation that drops it.
    BOOL RemoveFile(const char* pszPath) override
    {
        std::wstring path;
        return WidePath(pszPath, path) && DeleteOneFile(path, GetFileAttributesW(path.c_str()));
    }

    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        std::wstring from;
        std::wstring to;
        return WidePath(pszFrom, from) && WidePath(pszTo, to) && MoveFileExW(from.c_str(), to.c_str(), 0);
    }

    void ShellOpen(const char* pszCommand) override
    {
        std::wstring command;
        if (WideFromUtf8(pszCommand, command))
            ShellExecuteW(nullptr, L"open", command.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    // Each copy flushes its own data before its rename.
    void FlushFileSystem(const char*) override {}

    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) override
    {
        return MessageBoxW(nullptr, WideForDisplay(pszText).c_str(), WideForDisplay(pszCaption).c_str(), nStyle);
    }

private:
    // The folder whose leftover temporaries were last removed (worker only).
    std::string m_sweptFolder;
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

void MakeCaseKey(const char* pszName, std::string& key)
{
    // Upper case as the system's own tables have it, whatever the user's
    // language: the file systems compare names so.
    std::wstring wide;
    if (!WideFromUtf8(pszName, wide))
        wide.assign(pszName, pszName + strlen(pszName));
    std::wstring upper(wide.size(), L'\0');
    const int nLength = static_cast<int>(wide.size());
    if (nLength > 0 && LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), nLength, &upper[0], nLength,
                                     nullptr, nullptr, 0) != nLength)
        upper = wide;
    key.assign(reinterpret_cast<const char*>(upper.data()), upper.size() * sizeof(wchar_t));
}

void FormatSystemError(DWORD dwError, char* pszOut, size_t nSize)
{
    if (nSize == 0)
        return;
    if (dwError == COPY_ERROR_SOURCE_CHANGED) {
        // In the program's language, as the system's own texts are here.
        static const char CHANGED[] = "コピーの間にファイルが変更されました。";
        CopyTextCut(pszOut, nSize, CHANGED, sizeof CHANGED - 1);
        return;
    }
    wchar_t* pszMessage = nullptr;
    DWORD nLength = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszMessage), 0, nullptr);
    if (nLength == 0 || pszMessage == nullptr) {
        int n = snprintf(pszOut, nSize, "error %lu", static_cast<unsigned long>(dwError));
        if (n < 0)
            pszOut[0] = '\0';
        return;
    }
    // System messages end with a line break, which a log line must not have.
    while (nLength > 0 && (pszMessage[nLength - 1] == L'\r' || pszMessage[nLength - 1] == L'\n' ||
                           pszMessage[nLength - 1] == L' '))
        --nLength;
    const std::string message = Utf8FromWide(pszMessage, nLength);
    LocalFree(pszMessage);
    CopyTextCut(pszOut, nSize, message.c_str(), message.size());
}
