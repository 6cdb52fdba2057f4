#include "platform/RunLock.h"

#include <shlobj.h>

#include <string>

#include "platform/ErrorText.h"
#include "platform/FileServices.h"
#include "platform/win32/WideText.h"

CRunLock::CRunLock() : m_nHandle(0) {}

CRunLock::~CRunLock()
{
    Release();
}

RunLockResult CRunLock::Acquire(const char* pszSettingsPath, std::string& why)
{
    Release();
    const std::string path = pszSettingsPath;
    const size_t nSlash = path.find_last_of("\\/");
    std::string settingsFolder = nSlash == std::string::npos ? "." : path.substr(0, nSlash + 1);
    FileServices& services = GetFileServices();
    FileIdentity identity;
    if (!services.GetIdentity(settingsFolder.c_str(), identity)) {
        why = settingsFolder + ": " + SystemErrorText(services.GetLastError());
        return RUN_LOCK_UNAVAILABLE;
    }

    // The user's own local application data: other users cannot write
    // there, and it is the same for every run of the user, scheduled or not.
    wchar_t szAppData[MAX_PATH];
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, szAppData);
    if (FAILED(hr)) {
        why = "CSIDL_LOCAL_APPDATA: " + SystemErrorText(static_cast<DWORD>(hr));
        return RUN_LOCK_UNAVAILABLE;
    }
    const std::wstring folder = std::wstring(szAppData) + L"\\Tandemix";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = Utf8FromWide(folder) + ": " + SystemErrorText(GetLastError());
        return RUN_LOCK_UNAVAILABLE;
    }
    std::wstring name;
    WideFromUtf8(RunLockFileName(identity.nVolume, identity.nIndex).c_str(), name);
    const std::wstring file = folder + L"\\" + name;
    // Held open without sharing: a second run cannot open it while this
    // one lives, and the system closes it when this process ends.
    HANDLE hFile = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_SHARING_VIOLATION)
            return RUN_LOCK_BUSY;
        why = Utf8FromWide(file) + ": " + SystemErrorText(dwError);
        return RUN_LOCK_UNAVAILABLE;
    }
    m_nHandle = reinterpret_cast<intptr_t>(hFile);
    return RUN_LOCK_TAKEN;
}

void CRunLock::Release()
{
    if (m_nHandle != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(m_nHandle));
        m_nHandle = 0;
    }
}

void ReportToUser(const char* pszText, BOOL bShowWindow)
{
    if (bShowWindow)
        MessageBoxW(nullptr, WideForDisplay(pszText).c_str(), L"Tandemix", MB_OK | MB_ICONEXCLAMATION);
}
