// The real file services with a window for tests: the names the engine asks
// about and the folders it creates are recorded, and one chosen path can be
// made to refuse its delete or rename with a chosen error, as a read-only or
// locked generation would.  It is in force for the life of the object.
#pragma once

#include <string>
#include <vector>

#include "platform/FileServices.h"

class FileServicesProbe : public FileServices {
public:
    FileServicesProbe() : m_real(GetRealFileServices()) { m_pPrevious = SetFileServices(this); }
    ~FileServicesProbe() override { SetFileServices(m_pPrevious); }

    // RemoveFile, RenameFile (as its source) and DeleteTree of this exact
    // path fail with dwError and change nothing.
    void FailPath(const std::string& path, DWORD dwError)
    {
        m_failPath = path;
        m_dwFailError = dwError;
    }

    std::vector<std::string> m_existsAsked;
    std::vector<std::string> m_created;
    int m_nFailures = 0;

    BOOL GetStatus(const char* pszPath, CFileStatus& status, BOOL bFollowLink) override
    {
        return Forward(m_real.GetStatus(pszPath, status, bFollowLink));
    }
    DWORD GetLastError() override { return m_bInjected ? m_dwFailError : m_real.GetLastError(); }
    DirectoryReader* OpenDirectory(const char* pszPattern) override
    {
        m_bInjected = FALSE;
        return m_real.OpenDirectory(pszPattern);
    }
    BOOL CanList(const char* pszFolder) override { return Forward(m_real.CanList(pszFolder)); }
    BOOL CanRead(const char* pszPath, BOOL bFollowLink) override
    {
        return Forward(m_real.CanRead(pszPath, bFollowLink));
    }
    BOOL Exists(const char* pszPath) override
    {
        m_existsAsked.push_back(pszPath);
        return Forward(m_real.Exists(pszPath));
    }
    BOOL CreateDirectory(const char* pszPath) override
    {
        m_created.push_back(pszPath);
        return Forward(m_real.CreateDirectory(pszPath));
    }
    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink) override
    {
        m_bInjected = FALSE;
        return m_real.CopyFile(pszFrom, pszTo, nFlags, pbAborted, bFollowLink);
    }
    BOOL DeleteTree(const char* pszPath) override
    {
        return IsFailing(pszPath) ? Inject() : Forward(m_real.DeleteTree(pszPath));
    }
    BOOL RemoveFile(const char* pszPath) override
    {
        return IsFailing(pszPath) ? Inject() : Forward(m_real.RemoveFile(pszPath));
    }
    BOOL RenameFile(const char* pszFrom, const char* pszTo) override
    {
        return IsFailing(pszFrom) ? Inject() : Forward(m_real.RenameFile(pszFrom, pszTo));
    }
    void ShellOpen(const char* pszCommand) override { m_real.ShellOpen(pszCommand); }
    void FlushFileSystem(const char* pszPath) override { m_real.FlushFileSystem(pszPath); }
    int ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle) override
    {
        return m_real.ShowMessageBox(pszText, pszCaption, nStyle);
    }

private:
    BOOL IsFailing(const char* pszPath) const { return !m_failPath.empty() && m_failPath == pszPath; }
    BOOL Inject()
    {
        m_bInjected = TRUE;
        m_nFailures++;
        return FALSE;
    }
    BOOL Forward(BOOL bResult)
    {
        m_bInjected = FALSE;
        return bResult;
    }

    FileServices& m_real;
    FileServices* m_pPrevious;
    std::string m_failPath;
    DWORD m_dwFailError = 0;
    BOOL m_bInjected = FALSE;
};
