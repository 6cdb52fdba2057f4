#include "platform/StdioFile.h"

#include <fcntl.h>
#include <io.h>

BOOL CStdioFile::Open(const char* pszFileName, UINT nOpenFlags)
{
    Close();
    if ((nOpenFlags & modeWrite) == 0 || (nOpenFlags & modeCreate) == 0)
        return FALSE;
    // No sharing: while the run lasts no other program may open the log.
    HANDLE hFile = CreateFileA(pszFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_WRONLY | _O_TEXT);
    if (fd == -1) {
        CloseHandle(hFile);
        return FALSE;
    }
    // Text mode: each "\n" is stored as CR LF.
    m_pStream = _fdopen(fd, "wt");
    if (m_pStream == nullptr) {
        _close(fd);
        return FALSE;
    }
    return TRUE;
}

BOOL CStdioFile::WriteString(const char* pszText)
{
    return WriteBytes(pszText);
}
