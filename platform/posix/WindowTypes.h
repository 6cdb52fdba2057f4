// The window-system types and constants that the dialog layer and the
// dialogs use, defined for POSIX with their Windows values, so that message
// numbers, styles and flags mean the same in both builds.  The handles are
// opaque: the GTK module defines what stands behind them.
#pragma once

#include <cstdint>

#include "PlatformTypes.h"

typedef uint16_t WORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;

typedef struct HWND__* HWND;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HMENU__* HMENU;
typedef struct HDC__* HDC;

struct POINT {
    LONG x;
    LONG y;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(static_cast<WORD>(l) | (static_cast<DWORD>(static_cast<WORD>(h)) << 16))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(l) | (static_cast<DWORD>(static_cast<WORD>(h)) << 16))))

const int IDOK = 1;

// Messages.
const UINT WM_SIZE = 0x0005;
const UINT WM_PAINT = 0x000F;
const UINT WM_CLOSE = 0x0010;
const UINT WM_ICONERASEBKGND = 0x0027;
const UINT WM_QUERYDRAGICON = 0x0037;
const UINT WM_SETICON = 0x0080;
const UINT WM_INITDIALOG = 0x0110;
const UINT WM_COMMAND = 0x0111;
const UINT WM_SYSCOMMAND = 0x0112;
const UINT WM_TIMER = 0x0113;
const UINT WM_APP = 0x8000;

const UINT BN_CLICKED = 0;
const UINT SC_CLOSE = 0xF060;
const UINT SIZE_RESTORED = 0;
const UINT SIZE_MINIMIZED = 1;
const WPARAM ICON_SMALL = 0;
const WPARAM ICON_BIG = 1;

// Window and control styles.
const DWORD WS_POPUP = 0x80000000;
const DWORD WS_CHILD = 0x40000000;
const DWORD WS_VISIBLE = 0x10000000;
const DWORD WS_CAPTION = 0x00C00000;
const DWORD WS_BORDER = 0x00800000;
const DWORD WS_SYSMENU = 0x00080000;
const DWORD WS_THICKFRAME = 0x00040000;
const DWORD WS_GROUP = 0x00020000;
const DWORD WS_TABSTOP = 0x00010000;
const DWORD WS_EX_APPWINDOW = 0x00040000;
const DWORD DS_SETFONT = 0x40;
const DWORD DS_MODALFRAME = 0x80;
const DWORD SS_LEFT = 0x0;
const DWORD SS_CENTER = 0x1;
const DWORD SS_ICON = 0x3;
const DWORD SS_LEFTNOWORDWRAP = 0xC;
const DWORD SS_TYPEMASK = 0x1F;
const DWORD SS_NOPREFIX = 0x80;
const DWORD SS_SUNKEN = 0x1000;
const DWORD BS_PUSHBUTTON = 0x0;
const DWORD BS_DEFPUSHBUTTON = 0x1;

// Menus.
const UINT MF_STRING = 0x0;
const UINT MF_SEPARATOR = 0x800;

// Window placement.
const UINT SWP_NOSIZE = 0x0001;
const UINT SWP_NOMOVE = 0x0002;
const UINT SWP_NOZORDER = 0x0004;

// System metrics: the standard icon is 32 x 32 pixels.
const int SM_CXICON = 11;
const int SM_CYICON = 12;
inline int GetSystemMetrics(int nIndex)
{
    return nIndex == SM_CXICON || nIndex == SM_CYICON ? 32 : 0;
}
