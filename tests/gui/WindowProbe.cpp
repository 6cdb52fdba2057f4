// Runs beside Tandemix.exe in the same Wine session to tell the GUI test
// what the X display cannot.  Started first (it says "ready"), it looks every
// 10 ms, so that it sees the window mid-run however slowly Wine starts.  Once
// the window's five labels are filled it prints, in screen pixels, the
// window's left, top, right and bottom and its Cancel button's centre.
// Exit status 1 when that does not happen within two minutes.
#include <windows.h>

#include <cstdio>

static bool LabelsFilled(HWND hWnd)
{
    const int LABELS[] = {1001, 1003, 1004, 1005, 1006};
    for (int nID : LABELS) {
        HWND hLabel = GetDlgItem(hWnd, nID);
        if (hLabel == nullptr || GetWindowTextLengthW(hLabel) == 0)
            return false;
    }
    return true;
}

int main()
{
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 0; i < 12000; ++i) {
        HWND hWnd = FindWindowA("#32770", "Tandemix");
        RECT rcWindow = {}, rcButton = {};
        if (hWnd != nullptr && LabelsFilled(hWnd) && GetWindowRect(hWnd, &rcWindow) &&
            GetWindowRect(GetDlgItem(hWnd, 3), &rcButton)) {
            std::printf("%ld %ld %ld %ld %ld %ld\n", rcWindow.left, rcWindow.top, rcWindow.right, rcWindow.bottom,
                        (rcButton.left + rcButton.right) / 2, (rcButton.top + rcButton.bottom) / 2);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}
