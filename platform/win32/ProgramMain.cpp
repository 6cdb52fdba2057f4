#include <cwchar>

#include "platform/ExitStatus.h"
#include "platform/WinApp.h"

namespace {

const wchar_t USAGE[] =
    L"Tandemix " TANDEMIX_VERSION L"\n\n"
    L"現在のフォルダーの Tandemix.ini にある番号付きのバックアップセットをバックアップします。"
    L"バックアップ先にないファイルと新しいファイルをコピーし、指定された世代を残し、指定されたログを書きます。"
    L"設定はすべてこのファイルにあり、引数は使いません。\n\n"
    L"終了コード: 0 すべて成功、1 失敗あり (ログを参照)、2 キャンセル、3 開始できず";

// Scheduled tasks may pass arguments, which the program ignores; only "/?"
// alone asks for the usage.
bool AsksForUsage()
{
    const wchar_t* p = GetCommandLineW();
    // The program's own name comes first, quoted or not.
    if (*p == L'"') {
        p = wcschr(p + 1, L'"');
        p = p != nullptr ? p + 1 : L"";
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            p++;
    }
    while (*p == L' ' || *p == L'\t')
        p++;
    if (wcsncmp(p, L"/?", 2) != 0)
        return false;
    for (p += 2; *p == L' ' || *p == L'\t'; p++) {
    }
    return *p == L'\0';
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (AsksForUsage()) {
        MessageBoxW(nullptr, USAGE, L"Tandemix", MB_OK | MB_ICONINFORMATION);
        return EXIT_ALL_WELL;
    }
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return EXIT_NOT_STARTED;
    // The message loop would run here when InitInstance returned TRUE; the
    // program always does its work inside InitInstance.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
