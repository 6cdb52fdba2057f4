// A small Windows program that the GUI test runs beside Tandemix.exe, in the
// same Wine session, to read what the X display cannot tell: the controls
// of the progress window, their texts and places.  It is started before the
// program (it says "ready" once it runs) and looks every 10 ms, so that it
// sees the window while the run is under way however slowly Wine starts.
//
// Once the window captioned "Tandemix" shows all five of the run's labels
// filled: one JSON line for the window (outer rectangle and client origin),
// then one per control (id, rectangle in client coordinates, text).  Output
// is UTF-8.  Exit status 1 when that does not happen within two minutes.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Json(const wchar_t* pszWide, int nLength)
{
    std::string utf8;
    if (nLength > 0) {
        int nBytes = WideCharToMultiByte(CP_UTF8, 0, pszWide, nLength, nullptr, 0, nullptr, nullptr);
        utf8.assign(static_cast<size_t>(nBytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, pszWide, nLength, &utf8[0], nBytes, nullptr, nullptr);
    }
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", c);
            out += sz;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string WindowText(HWND hWnd)
{
    wchar_t szText[2048];
    return Json(szText, GetWindowTextW(hWnd, szText, 2048));
}

bool LabelsFilled(HWND hWnd)
{
    const int LABELS[] = {1001, 1003, 1004, 1005, 1006};
    for (int nID : LABELS) {
        HWND hLabel = GetDlgItem(hWnd, nID);
        if (hLabel == nullptr || GetWindowTextLengthW(hLabel) == 0)
            return false;
    }
    return true;
}

BOOL CALLBACK PrintChild(HWND hChild, LPARAM lParam)
{
    HWND hParent = reinterpret_cast<HWND>(lParam);
    if (GetParent(hChild) != hParent)
        return TRUE;
    RECT rc;
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    std::printf("{\"control\": %d, \"rect\": [%ld, %ld, %ld, %ld], \"text\": %s}\n",
                static_cast<int>(static_cast<short>(GetDlgCtrlID(hChild))), static_cast<long>(rc.left),
                static_cast<long>(rc.top), static_cast<long>(rc.right), static_cast<long>(rc.bottom),
                WindowText(hChild).c_str());
    return TRUE;
}

}  // namespace

int main()
{
    std::printf("ready\n");
    std::fflush(stdout);
    HWND hWnd = nullptr;
    for (int i = 0; i < 12000 && (hWnd == nullptr || !LabelsFilled(hWnd)); ++i) {
        Sleep(10);
        hWnd = FindWindowA("#32770", "Tandemix");
    }
    if (hWnd == nullptr || !LabelsFilled(hWnd))
        return 1;
    RECT rc;
    GetWindowRect(hWnd, &rc);
    POINT ptOrigin = {0, 0};
    ClientToScreen(hWnd, &ptOrigin);
    std::printf("{\"rect\": [%ld, %ld, %ld, %ld], \"origin\": [%ld, %ld]}\n", static_cast<long>(rc.left),
                static_cast<long>(rc.top), static_cast<long>(rc.right), static_cast<long>(rc.bottom),
                static_cast<long>(ptOrigin.x), static_cast<long>(ptOrigin.y));
    EnumChildWindows(hWnd, &PrintChild, reinterpret_cast<LPARAM>(hWnd));
    return 0;
}
