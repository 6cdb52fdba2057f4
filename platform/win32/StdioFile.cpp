#include "platform/StdioFile.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "WideText.h"
#include "platform/ErrorText.h"
#include "platform/FileServices.h"

struct CStdioFile::Stream {
    FILE* pFile;
};

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags, std::string& why)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    std::wstring name;
    if (!WidePath(pszFileName, name)) {
        why = SystemErrorText(GetLastError());
        return FALSE;
    }
    // Never through a link or junction, never into a folder.
    const DWORD dwAttributes = GetFileAttributesW(name.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = "シンボリックリンクです";
        return FALSE;
    }
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        why = "通常のファイルではありません";
        return FALSE;
    }
    // No sharing: while the run lasts no other program may open the log.
    HANDLE hFile = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return FALSE;
    }
    // A device name (NUL, CON, COM1) opens a device, not a file.
    if (GetFileType(hFile) != FILE_TYPE_DISK) {
        CloseHandle(hFile);
        why = "通常のファイルではありません";
        return FALSE;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_WRONLY | _O_TEXT);
    if (fd == -1) {
        CloseHandle(hFile);
        why = SystemErrorText(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // Text mode: each "\n" is stored as CR LF.
    FILE* pFile = _fdopen(fd, "wt");
    if (pFile == nullptr) {
        _close(fd);
        why = SystemErrorText(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // A run writes a line per entry: a large buffer writes them in few calls.
    setvbuf(pFile, nullptr, _IOFBF, 64 * 1024);
    m_pStream = new Stream{pFile};
    return TRUE;
}

BOOL CStdioFile::WriteString(const char* pText, size_t nLength)
{
    // The Windows log stays Shift-JIS, whatever the settings say, as its
    // readers expect; a character it lacks is written as '?'.
    if (nLength == 0)
        return WriteBytes(pText, 0);
    const std::string converted = ShiftJisFromUtf8(std::string(pText, nLength).c_str());
    return !converted.empty() && WriteBytes(converted.data(), converted.size());
}

BOOL CStdioFile::WriteBytes(const char* pBytes, size_t nLength)
{
    return m_pStream != nullptr && fwrite(pBytes, 1, nLength, m_pStream->pFile) == nLength &&
           !ferror(m_pStream->pFile);
}

BOOL CStdioFile::Close()
{
    bool bWritten = true;
    if (m_pStream != nullptr) {
        bWritten = fclose(m_pStream->pFile) == 0;
        delete m_pStream;
        m_pStream = nullptr;
    }
    return bWritten ? TRUE : FALSE;
}
