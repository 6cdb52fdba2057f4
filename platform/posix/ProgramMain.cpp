#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/ExitStatus.h"
#include "platform/WinApp.h"

namespace {

// The locale that messages follow, as the C library would choose it.
bool IsJapaneseLocale()
{
    for (const char* pszName : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* pszValue = getenv(pszName);
        if (pszValue != nullptr && pszValue[0] != '\0')
            return strncmp(pszValue, "ja", 2) == 0;
    }
    return false;
}

const char USAGE_EN[] =
    "Usage: tandemix [--help | --version]\n"
    "Backs up the numbered sets of Tandemix.ini in the current folder: copies what is\n"
    "missing or newer at each destination, keeps the older generations the file asks\n"
    "for, and writes the run log it names.  Every setting is in that file; the program\n"
    "takes no other arguments.\n"
    "Exit status: 0 all went well, 1 something failed (see the log), 2 cancelled,\n"
    "3 the run could not start.\n"
    "Manual: man tandemix\n";

const char USAGE_JA[] =
    "使い方: tandemix [--help | --version]\n"
    "現在のフォルダーの Tandemix.ini にある番号付きのバックアップセットをバックアップ\n"
    "します。バックアップ先にないファイルと新しいファイルをコピーし、指定された世代を\n"
    "残し、指定されたログを書きます。設定はすべてこのファイルにあり、ほかの引数は\n"
    "取りません。\n"
    "終了コード: 0 すべて成功、1 失敗あり (ログを参照)、2 キャンセル、3 開始できず\n"
    "説明書: man tandemix\n";

// An argument never starts a backup: one that is not --help or --version
// may be a typo of one, or an option the user believes exists.
int AnswerArguments(int argc, char** argv)
{
    const bool bJapanese = IsJapaneseLocale();
    const char* pszArg = argv[1];
    if (argc == 2 && (strcmp(pszArg, "--help") == 0 || strcmp(pszArg, "-h") == 0)) {
        fputs(bJapanese ? USAGE_JA : USAGE_EN, stdout);
        return EXIT_ALL_WELL;
    }
    if (argc == 2 && (strcmp(pszArg, "--version") == 0 || strcmp(pszArg, "-V") == 0)) {
        printf("Tandemix %s\n", TANDEMIX_VERSION);
        return EXIT_ALL_WELL;
    }
    fprintf(stderr,
            bJapanese ? "Tandemix: 引数 %s は受け付けません (設定はすべて Tandemix.ini にあります; 使い方は --help)\n"
                      : "Tandemix: takes no argument such as %s (every setting is in Tandemix.ini; see --help)\n",
            pszArg);
    return EXIT_NOT_STARTED;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        return AnswerArguments(argc, argv);
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return EXIT_NOT_STARTED;
    // The message loop would run here when InitInstance returned TRUE; the
    // program always does its work inside InitInstance.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
