// The dialog templates and strings of app/Tandemix.rc as data, for the GTK
// program, which has no resource script.  Keep the numbers and texts in step
// with the resource script; tests/gui compares the two.
#include "app/resource.h"
#include "platform/Resources.h"

namespace {

const DWORD CHILD = WS_CHILD | WS_VISIBLE;
const DWORD PATH_LABEL = CHILD | SS_LEFTNOWORDWRAP | SS_SUNKEN | WS_BORDER | WS_GROUP;
const DWORD CAPTION_LABEL = CHILD | SS_LEFT | WS_GROUP;

const DialogItemTemplate kAboutItems[] = {
    {-1, "STATIC", nullptr, IDI_MAINICON, CHILD | SS_ICON, 11, 17, 20, 20},
    {-1, "STATIC", "Tandemix Version 1.6", 0, CAPTION_LABEL | SS_NOPREFIX, 40, 10, 119, 8},
    {-1, "STATIC", "差分・世代バックアップツール", 0, CAPTION_LABEL, 40, 25, 119, 8},
    {IDOK, "BUTTON", "OK", 0, CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 178, 7, 32, 14},
};

const DialogItemTemplate kProgressItems[] = {
    {IDC_CHECKING, "STATIC", "", 0, PATH_LABEL, 66, 51, 189, 11},
    {-1, "STATIC", "バックアップセット", 0, CAPTION_LABEL, 7, 9, 52, 8},
    {IDC_SETNUMBER, "STATIC", "1", 0, CHILD | SS_CENTER | SS_SUNKEN | WS_BORDER | WS_GROUP, 60, 7, 15, 11},
    {IDC_SOURCE, "STATIC", "", 0, PATH_LABEL, 85, 7, 170, 11},
    {IDC_DEST, "STATIC", "", 0, PATH_LABEL, 85, 27, 170, 11},
    {-1, "STATIC", "↓", 0, CHILD | SS_CENTER | WS_GROUP, 85, 19, 170, 8},
    {-1, "STATIC", "チェックしています...", 0, CAPTION_LABEL, 7, 52, 58, 8},
    {-1, "STATIC", "コピーしています...", 0, CAPTION_LABEL, 7, 64, 54, 8},
    {IDC_COPYING, "STATIC", "", 0, PATH_LABEL, 66, 63, 189, 11},
    {IDC_CANCELBUTTON, "BUTTON", "キャンセル", 0, CHILD | BS_PUSHBUTTON | WS_TABSTOP, 205, 78, 50, 14},
};

const DialogTemplate kDialogs[] = {
    {IDD_ABOUTBOX, DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
     0, 0, 217, 55, "ﾊﾞｰｼﾞｮﾝ情報 Tandemix", "ＭＳ Ｐゴシック", 9, FALSE,
     kAboutItems, static_cast<int>(sizeof kAboutItems / sizeof kAboutItems[0])},
    {IDD_PROGRESS, DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_EX_APPWINDOW,
     0, 0, 262, 99, "Tandemix", "ＭＳ Ｐゴシック", 9, TRUE,
     kProgressItems, static_cast<int>(sizeof kProgressItems / sizeof kProgressItems[0])},
};

const StringResource kStrings[] = {
    {IDS_ABOUTBOX, "ﾊﾞｰｼﾞｮﾝ情報(Tandemix) (&A)..."},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(UINT nID)
{
    for (const DialogTemplate& dialog : kDialogs) {
        if (dialog.nID == nID)
            return &dialog;
    }
    return nullptr;
}

const char* FindStringResource(UINT nID)
{
    for (const StringResource& string : kStrings) {
        if (string.nID == nID)
            return string.pszText;
    }
    return nullptr;
}
