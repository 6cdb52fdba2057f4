// CWinApp: the application object.  The process entry point (ProgramMain.cpp
// of each platform) runs InitInstance and returns ExitInstance's result as
// the process exit status.
#pragma once

#include "PlatformTypes.h"

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // Exit processing; returns the process exit status.
    virtual int ExitInstance();

    CWnd* m_pMainWnd;

protected:
    int m_nExitCode;

private:
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
};

CWinApp* AfxGetApp();
