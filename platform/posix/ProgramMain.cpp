#include "platform/WinApp.h"

int main()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return 3;
    // The message loop would run here when InitInstance returned TRUE; the
    // program always does its work inside InitInstance.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
