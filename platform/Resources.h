// The program's resources: icons, strings and dialog templates.  On Windows
// they are the resource script's (app/Tandemix.rc); for GTK, which has no
// resources of its own, the same templates and strings are generated from
// that script into app/DialogTemplates.cpp, and the icon into
// app/IconImages.cpp.
#pragma once

#include "WindowTypes.h"

// An icon of the program's resources at the standard icon size; shared, never
// destroyed.  Null when there is no such icon.
HICON LoadAppIcon(UINT nIDResource);

// A string of the program's resources, cut to fit.  FALSE when there is none.
BOOL LoadAppString(UINT nID, char* pszBuf, int nBufSize);

// a * b / c rounded half away from zero, as the dialog manager's MulDiv.
inline int MulDivRounded(int a, int b, int c)
{
    long long n = static_cast<long long>(a) * b;
    bool bNegative = n < 0;
    if (bNegative)
        n = -n;
    long long q = (n + c / 2) / c;
    return static_cast<int>(bNegative ? -q : q);
}

// Dialog units to pixels at the template font's base units of 7 x 12 pixels,
// rounded as the dialog manager rounds (half away from zero).
inline int DialogUnitsToPixelsX(int x)
{
    return MulDivRounded(x, 7, 4);
}

inline int DialogUnitsToPixelsY(int y)
{
    return MulDivRounded(y, 12, 8);
}

// The dialog templates as data, for window systems without a dialog manager
// of their own, generated from the resource script by scripts/make-dialogs.
struct DialogItemTemplate {
    int nID;
    const char* pszClass;   // "STATIC" or "BUTTON"
    const char* pszText;    // null for an icon
    UINT nIconID;           // SS_ICON controls: the icon resource
    DWORD dwStyle;
    short x, y, cx, cy;     // dialog units
};

struct DialogTemplate {
    UINT nID;
    DWORD dwStyle;
    DWORD dwExStyle;
    short x, y, cx, cy;     // dialog units
    const char* pszCaption;
    const char* pszFont;
    WORD nPointSize;
    // Sizable in width only and never narrower than the template: what the
    // dialog's own WM_SIZE handler keeps to, told to window managers that
    // enforce sizes themselves.
    BOOL bWidthOnly;
    const DialogItemTemplate* pItems;
    int nItems;
};

struct StringResource {
    UINT nID;
    const char* pszText;
};

// One image of an icon: nSize rows of nSize characters, '.' transparent,
// '0'-'9' and 'a'-'f' indexes into the icon's 16-colour palette.
struct IconImage {
    int nSize;
    const char* const* ppszRows;
};

struct IconResource {
    UINT nID;
    const unsigned char (*pPalette)[3];   // 16 RGB colours
    const IconImage* pImages;
    int nImages;
};

const DialogTemplate* FindDialogTemplate(UINT nID);
const char* FindStringResource(UINT nID);
const IconResource* FindIconResource(UINT nID);
