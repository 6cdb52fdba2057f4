// What stands behind the window handles in the GTK module, and the module's
// parts: the template-to-widget host (DialogHost.cpp), the window wrappers
// (GtkWindows.cpp), the window system itself (GtkModule.cpp) and the copy
// window (CopyWindow.cpp).
//
// Only the main thread touches GTK.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Dialog.h"
#include "platform/Resources.h"
#include "platform/posix/WindowModule.h"

struct HICON__ {
    GdkPixbuf* pBig;     // 32 x 32
    GdkPixbuf* pSmall;   // 16 x 16
};

struct HMENU__ {
    GtkWidget* pMenu;
    HWND hOwner;
    int nItems;
};

struct HDC__ {
    cairo_t* cr;
};

struct HWND__ {
    CDialog* pDlg;              // top-level: the dialog it shows
    HWND__* pTop;               // the top-level window (itself for one)
    GtkWidget* pWidget;         // the GtkWindow, or the control's widget
    GtkWidget* pFixed;          // top-level: the container of the controls

    // Controls.
    int nID;
    std::string className;
    DWORD dwStyle;
    const IconResource* pIcon;  // SS_ICON controls
    std::string text;
    int x, y, cx, cy;           // client coordinates and size, pixels

    // Top-level state.
    HWND__* pOwner;
    std::vector<HWND__*> children;
    PangoFontDescription* pFont;
    int cxClient, cyClient;     // client size last reported to the dialog
    int cxMin, cyMin, cyMax;    // size limits of the client area; 0 = none
    bool bMapped;
    bool bIconic;
    bool bPendingOuter;         // a window rectangle set before the frame was known
    RECT rcPendingOuter;
    std::map<UINT_PTR, guint> timers;
    guint nIdleSource;
    HMENU__* pSystemMenu;
    GMainLoop* pLoop;
    bool bEnded;
    INT_PTR nResult;
    HDC__ paintDC;
};

// The module's shared helpers.
std::string ValidUtf8(const char* pszText);
// A Windows text with "&" access keys as a GTK mnemonic text.
std::string MnemonicFromAccessKeys(const std::string& text);
HWND FindControlOf(HWND hTop, int nID);
bool IsTopLevel(HWND hWnd);
HICON LoadIconImages(const IconResource* pIcon);

// The host of a dialog's window: builds it from its template and turns
// GTK's signals into the messages the dialog's message map expects.  A
// friend of CWnd and CDialog.
class CDialogHost {
public:
    static HWND Create(CDialog* pDlg, const DialogTemplate* pTemplate, HWND hOwner, PFN_FIND_ICON pfnFindIcon);
    static void Destroy(HWND hTop);

    // Routes a message through the dialog's map, then the default handling.
    static LRESULT Route(HWND hTop, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT DefaultHandling(HWND hTop, UINT message, WPARAM wParam, LPARAM lParam);

    // The frame the window manager puts around the client area: left, top,
    // right and bottom widths.  All zero before the window is shown or
    // without a window manager.
    static RECT FrameWidths(HWND hTop);
    static void ResizeClient(HWND hTop, int cx, int cy);
    // Fits the client area to a window rectangle set before the window was
    // shown, once it is shown and framed; TRUE when it did.
    static bool ApplyPendingOuter(HWND hTop);
    static void NoteMove(HWND hTop);
    static void ReportSize(HWND hTop);

    static gboolean OnPostedTexts(gpointer pData);
    static gboolean OnTimer(gpointer pData);
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* pEvent, gpointer pData);
    static gboolean OnMap(GtkWidget*, GdkEvent*, gpointer pData);
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* pEvent, gpointer pData);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer pData);
    static gboolean OnKeyPress(GtkWidget* pWidget, GdkEventKey* pEvent, gpointer pData);
    static gboolean OnButtonPress(GtkWidget*, GdkEventButton* pEvent, gpointer pData);
    static gboolean OnPopupMenu(GtkWidget*, gpointer pData);
    static gboolean OnDrawWindow(GtkWidget*, cairo_t* cr, gpointer pData);
    static gboolean OnDrawStatic(GtkWidget* pWidget, cairo_t* cr, gpointer pData);
    static void OnButtonClicked(GtkButton*, gpointer pData);
    static void OnMenuItem(GtkMenuItem* pItem, gpointer pData);

    struct TimerData {
        HWND hTop;
        UINT_PTR nIDEvent;
    };
};

// The module's side of WindowModule.h.
class CGtkModule : public CWindowModule {
public:
    // GtkModule.cpp
    BOOL Open() override;
    void Pump() override;
    void RunOnWindowThread(void (*pfn)(void* pData), void* pData) override;
    int AskRetryCancel(const char* pszText, const char* pszCaption, const std::atomic<short>* pbCancel) override;
    unsigned AddSignalWatch(int nSignal, void (*pfn)(void* pData), void* pData) override;
    void RemoveSignalWatch(unsigned nSource) override;

    // CopyWindow.cpp
    void ShowCopyWindow(const CopyWindowState& state) override;

    // GtkWindows.cpp
    HWND CreateDialogWindow(CDialog* pDlg, const DialogTemplate* pTemplate, HWND hOwner,
                                    PFN_FIND_ICON pfnFindIcon) override;
    INT_PTR RunModal(HWND hTop, BOOL bCentre, BOOL bFocusFirst) override;
    void EndDialog(HWND hTop, int nResult) override;
    void DestroyDialogWindow(HWND hTop, bool bWakePending) override;
    void WakeDialog(HWND hTop) override;
    HWND FindControl(HWND hTop, int nID) override;
    HMENU GetSystemMenu(HWND hWnd) override;
    BOOL AppendMenu(HMENU hMenu, UINT nFlags, UINT_PTR nIDNewItem, const char* pszNewItem) override;
    LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse) override;
    BOOL IsIconic(HWND hWnd) override;
    void GetClientRect(HWND hWnd, RECT* pRect) override;
    void GetWindowRect(HWND hWnd, RECT* pRect) override;
    BOOL SetWindowPos(HWND hWnd, int x, int y, int cx, int cy, UINT nFlags) override;
    void SetWindowText(HWND hWnd, const char* pszText) override;
    int GetWindowText(HWND hWnd, char* pszBuf, int nMaxCount) override;
    HDC GetPaintDC(HWND hWnd) override;
    BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon) override;
    HICON LoadIcon(const IconResource* pIcon) override;
};
