#include "platform/ExitStatus.h"
#include "platform/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return EXIT_NOT_STARTED;
    // The message loop would run here when InitInstance returned TRUE; the
    // program always does its work inside InitInstance.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
