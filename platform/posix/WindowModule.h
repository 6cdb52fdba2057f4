// The GTK window system lives in a module of its own, tandemix-gtk.so, that
// the program loads only when a window is about to be shown: a run without
// one never loads GTK and the seventy-odd libraries behind it.  The program
// calls the module through this interface only; the module reaches a dialog
// through its data and CWnd's virtual functions, so that it links against
// nothing of the program's (it is linked with -z defs to keep it so).
// (POSIX only.)
#pragma once

#include <atomic>

#include "WindowTypes.h"

class CDialog;
struct DialogTemplate;
struct IconResource;

// What the copy window shows: a copy of pszFrom to pszTo, nDone of nTotal
// bytes.  Its abort button stores nCopy into *pnAborted.
struct CopyWindowState {
    unsigned nCopy;
    bool bShow;
    const char* pszFrom;
    const char* pszTo;
    long long nDone;
    long long nTotal;
    std::atomic<unsigned>* pnAborted;
};

// The icons of the program's resources, for the templates' icon controls.
typedef const IconResource* (*PFN_FIND_ICON)(UINT nID);

// Raised whenever the interface changes, so that a module left from another
// build is refused rather than called wrongly.
const int WINDOW_MODULE_VERSION = 1;
#define WINDOW_MODULE_ENTRY "TandemixWindowModule"

// Everything runs on the main thread unless it says otherwise.
class CWindowModule {
public:
    // Opens the display; FALSE when there is none.  Called once.
    virtual BOOL Open() = 0;
    // Runs what is waiting for the window system, without blocking.
    virtual void Pump() = 0;
    // Runs pfn(pData) on the main thread when it next serves the window
    // system.  Any thread; never waits.
    virtual void RunOnWindowThread(void (*pfn)(void* pData), void* pData) = 0;
    // Another thread: asks with Retry and Cancel in a message box that the
    // main thread shows, and waits for the answer (IDRETRY or IDCANCEL).
    // Gives up with IDCANCEL once *pbCancel (when given) is set.
    virtual int AskRetryCancel(const char* pszText, const char* pszCaption, const std::atomic<short>* pbCancel) = 0;
    // Shows or hides the program's own copy window.
    virtual void ShowCopyWindow(const CopyWindowState& state) = 0;

    // Dialogs, from their templates.  The window is made hidden; RunModal
    // shows it (centred over the owner, or on the screen, when bCentre) and
    // returns the result given to EndDialog.
    virtual HWND CreateDialogWindow(CDialog* pDlg, const DialogTemplate* pTemplate, HWND hOwner,
                                    PFN_FIND_ICON pfnFindIcon) = 0;
    virtual INT_PTR RunModal(HWND hTop, BOOL bCentre, BOOL bFocusFirst) = 0;
    virtual void EndDialog(HWND hTop, int nResult) = 0;
    // bWakePending: a WakeDialog call may still be on its way; it is withdrawn.
    virtual void DestroyDialogWindow(HWND hTop, bool bWakePending) = 0;
    // Any thread: has the dialog's thread deliver the dialog's posted texts.
    virtual void WakeDialog(HWND hTop) = 0;

    // Window operations with the meanings of CWnd's (Dialog.h).
    virtual HWND FindControl(HWND hTop, int nID) = 0;
    virtual HMENU GetSystemMenu(HWND hWnd) = 0;
    virtual BOOL AppendMenu(HMENU hMenu, UINT nFlags, UINT_PTR nIDNewItem, const char* pszNewItem) = 0;
    virtual LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse) = 0;
    virtual BOOL IsIconic(HWND hWnd) = 0;
    virtual void GetClientRect(HWND hWnd, RECT* pRect) = 0;
    virtual void GetWindowRect(HWND hWnd, RECT* pRect) = 0;
    virtual BOOL SetWindowPos(HWND hWnd, int x, int y, int cx, int cy, UINT nFlags) = 0;
    virtual void SetWindowText(HWND hWnd, const char* pszText) = 0;
    virtual int GetWindowText(HWND hWnd, char* pszBuf, int nMaxCount) = 0;
    // The device context of the WM_PAINT being handled; null outside one.
    virtual HDC GetPaintDC(HWND hWnd) = 0;
    virtual BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon) = 0;
    virtual HICON LoadIcon(const IconResource* pIcon) = 0;

    // Runs pfn(pData) on the main thread whenever the signal comes, until
    // the returned source is removed.
    virtual unsigned AddSignalWatch(int nSignal, void (*pfn)(void* pData), void* pData) = 0;
    virtual void RemoveSignalWatch(unsigned nSource) = 0;

protected:
    ~CWindowModule() {}
};

typedef CWindowModule* (*PFN_WINDOW_MODULE)(int nVersion);

// The module, once OpenWindowSystem has opened a display; else null.
CWindowModule* GetWindowModule();

// Any thread but the main one: the window system, opened on demand (see
// OpenWindowSystemOnDemand) by the main thread if it is not open yet.  TRUE
// when it is open.
bool WantWindowSystem();

// Asks a question with Retry and Cancel in a message box and waits for the
// answer.  FALSE when there is no display, or on the main thread (which
// would wait for itself): the caller asks some other way.
bool AskRetryCancelInWindow(const char* pszText, const char* pszCaption, int* pnAnswer);
