#include "platform/Profile.h"

#include <cstring>
#include <string>
#include <vector>

#include "WideText.h"
#include "platform/Text.h"

// A Shift-JIS settings file goes to the wide profile functions, which read
// and write it in the ANSI code page (932 where the program is meant to run)
// and hand us UTF-16, which becomes the program's UTF-8 here; so does the
// folder the file lies in, whatever characters its name holds.  Those
// functions would take a UTF-8 file (what Notepad saves) for code page 932
// too, so UTF-8 files, detected as on POSIX, are read and written by our own
// reader and writer instead.

DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer)
{
    const DWORD nWide = GetCurrentDirectoryW(0, nullptr);
    if (nWide == 0)
        return 0;
    std::vector<wchar_t> wide(nWide);
    const DWORD nLength = GetCurrentDirectoryW(nWide, wide.data());
    if (nLength == 0 || nLength >= nWide)
        return 0;
    const std::string folder = Utf8FromWide(wide.data(), nLength);
    if (folder.size() >= nSize)
        return static_cast<DWORD>(folder.size() + 1);
    memcpy(pszBuffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

ProfileStatus ReadProfileBytes(const char* pszFile, std::string& bytes)
{
    bytes.clear();
    std::wstring file;
    if (pszFile == nullptr || !WidePath(pszFile, file))
        return PROFILE_MISSING;
    const DWORD dwAttributes = GetFileAttributesW(file.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? PROFILE_MISSING
                                                                                  : PROFILE_UNREADABLE;
    }
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PROFILE_NOT_A_FILE;
    HANDLE hFile = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return PROFILE_UNREADABLE;
    ProfileStatus nStatus = PROFILE_READ;
    LARGE_INTEGER size;
    if (GetFileType(hFile) != FILE_TYPE_DISK)
        nStatus = PROFILE_NOT_A_FILE;  // a device or a pipe under the name
    else if (!GetFileSizeEx(hFile, &size))
        nStatus = PROFILE_UNREADABLE;
    else if (size.QuadPart > static_cast<LONGLONG>(PROFILE_SIZE_LIMIT))
        nStatus = PROFILE_TOO_LARGE;
    else
        bytes.reserve(static_cast<size_t>(size.QuadPart));
    std::vector<char> buffer(65536);
    while (nStatus == PROFILE_READ) {
        DWORD nRead = 0;
        if (!ReadFile(hFile, buffer.data(), static_cast<DWORD>(buffer.size()), &nRead, nullptr)) {
            nStatus = PROFILE_UNREADABLE;
        } else if (nRead == 0) {
            break;
        } else {
            bytes.append(buffer.data(), nRead);
            if (bytes.size() > PROFILE_SIZE_LIMIT)
                nStatus = PROFILE_TOO_LARGE;
        }
    }
    CloseHandle(hFile);
    if (nStatus != PROFILE_READ)
        bytes.clear();
    return nStatus;
}

DWORD CProfile::ReadString(const char* pszSection, const char* pszKey, char* pszBuffer, DWORD nSize) const
{
    if (m_file.empty() || m_text.GetEncoding() != ENCODING_SHIFT_JIS)
        return ReadIniString(m_text, pszSection, pszKey, pszBuffer, nSize);
    if (pszBuffer == nullptr || nSize == 0)
        return 0;
    pszBuffer[0] = '\0';
    std::wstring section, key, file;
    if (!WideFromUtf8(pszSection, section) || !WideFromUtf8(pszKey, key) || !WidePath(m_file.c_str(), file))
        return 0;
    // A character takes at least one unit and at most three bytes: nSize
    // units read everything that can fit the buffer.
    std::vector<wchar_t> wide(nSize);
    const DWORD nWide =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", wide.data(), nSize, file.c_str());
    const std::string value = Utf8FromWide(wide.data(), nWide < nSize ? nWide : nSize - 1);
    // A value longer than the buffer is cut at a character boundary.
    return static_cast<DWORD>(CopyTextCut(pszBuffer, nSize, value.c_str(), value.size()));
}

namespace {

// Replaces the file by a complete new version, as the POSIX writer does: a
// temporary file beside it, flushed, then moved over it.
BOOL ReplaceWholeFile(const std::wstring& file, const std::string& bytes)
{
    static LONG s_nCounter = 0;
    const size_t nSlash = file.find_last_of(L"\\/");
    const std::wstring folder = nSlash == std::wstring::npos ? std::wstring() : file.substr(0, nSlash + 1);
    HANDLE hTemp = INVALID_HANDLE_VALUE;
    std::wstring temp;
    for (int nTry = 0; nTry < 100 && hTemp == INVALID_HANDLE_VALUE; nTry++) {
        wchar_t szName[64];
        swprintf(szName, sizeof szName / sizeof szName[0], L".Tandemix.ini.%lu.%ld.tmp", GetCurrentProcessId(),
                 InterlockedIncrement(&s_nCounter));
        temp = folder + szName;
        hTemp = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hTemp == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return FALSE;
    }
    if (hTemp == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD nWritten = 0;
    BOOL bOk = WriteFile(hTemp, bytes.data(), static_cast<DWORD>(bytes.size()), &nWritten, nullptr)
               && nWritten == bytes.size() && FlushFileBuffers(hTemp);
    bOk = CloseHandle(hTemp) && bOk;
    if (bOk)
        bOk = MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!bOk)
        DeleteFileW(temp.c_str());
    return bOk;
}

}  // namespace

BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile)
{
    std::wstring file;
    if (pszFile == nullptr || !WidePath(pszFile, file))
        return FALSE;
    std::string bytes;
    const ProfileStatus nRead = ReadProfileBytes(pszFile, bytes);
    if (nRead != PROFILE_READ && nRead != PROFILE_MISSING)
        return FALSE;
    CIniText text;
    text.Assign(bytes);
    if (nRead == PROFILE_READ && text.GetEncoding() == ENCODING_UTF8) {
        std::string updated;
        if (!SetIniString(text, pszSection, pszKey, pszValue, updated))
            return FALSE;
        return updated == bytes || ReplaceWholeFile(file, updated);
    }
    std::wstring section, key, value;
    if (pszSection == nullptr || pszKey == nullptr || pszValue == nullptr || !WideFromUtf8(pszSection, section)
        || !WideFromUtf8(pszKey, key) || !WideFromUtf8(pszValue, value))
        return FALSE;
    return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}
