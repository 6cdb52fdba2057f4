#include "platform/RunLock.h"

#include <cstdio>
#include <string>

#include "platform/win32/WideText.h"

namespace {

// A mutex name holds no backslash and at most MAX_PATH characters, so the
// path is folded (Windows names ignore the case of A-Z) and hashed.  The
// Global namespace lets a scheduled run in another session see the lock.
std::wstring MutexName(const char* pszPath)
{
    unsigned long long nHash = 14695981039346656037ull;  // FNV-1a, 64 bits
    for (const char* p = pszPath; *p != '\0'; p++) {
        char c = *p;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c == '/')
            c = '\\';
        nHash = (nHash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    wchar_t szName[64];
    swprintf(szName, sizeof szName / sizeof szName[0], L"Global\\Tandemix-run-%016llx", nHash);
    return szName;
}

}  // namespace

CRunLock::CRunLock() : m_nHandle(0) {}

CRunLock::~CRunLock()
{
    Release();
}

BOOL CRunLock::Acquire(const char* pszSettingsPath)
{
    Release();
    // A mutex that its owner's death leaves abandoned is ours for the
    // taking, so a killed run never blocks the next one.
    HANDLE hMutex = CreateMutexW(nullptr, FALSE, MutexName(pszSettingsPath).c_str());
    if (hMutex == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED ? FALSE : TRUE;  // another user's run holds it
    const DWORD dwWait = WaitForSingleObject(hMutex, 0);
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) {
        CloseHandle(hMutex);
        return dwWait == WAIT_TIMEOUT ? FALSE : TRUE;
    }
    m_nHandle = reinterpret_cast<intptr_t>(hMutex);
    return TRUE;
}

void CRunLock::Release()
{
    if (m_nHandle != 0) {
        HANDLE hMutex = reinterpret_cast<HANDLE>(m_nHandle);
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
        m_nHandle = 0;
    }
}

void ReportRunNotStarted(const char* pszText, BOOL bShowWindow)
{
    if (bShowWindow)
        MessageBoxW(nullptr, WideForDisplay(pszText).c_str(), L"Tandemix", MB_OK | MB_ICONEXCLAMATION);
}
