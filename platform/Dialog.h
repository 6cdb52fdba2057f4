// The program's windows: CWnd, CDialog, CMenu and CPaintDC, with the names
// and meanings the dialogs are written against.  Written once per window
// system (win32/Dialog.cpp over the Win32 dialog manager; posix/Dialog.cpp,
// which hands every call to the GTK module); routing and the cross-thread
// text mailbox are shared (MessageMap.cpp).  A dialog class holds no
// window-system code of its own: its handlers are reached through its
// message map whichever layer feeds them.
#pragma once

#include <memory>
#include <vector>

#include "platform/MessageMap.h"
#include "platform/TextMailbox.h"

class CMenu {
public:
    CMenu() : m_hMenu(nullptr) {}
    // Appends an item (MF_STRING, with a command id and a text in which "&"
    // marks the access key) or a separator (MF_SEPARATOR).
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const char* lpszNewItem = nullptr);

    HMENU m_hMenu;
};

class CWnd {
public:
    CWnd();
    virtual ~CWnd();

    HWND m_hWnd;

    // Window operations, with their Win32 meanings.  Sizes and positions are
    // pixels; a window rectangle includes the frame, in screen coordinates.
    CWnd* GetDlgItem(int nID);                 // null when there is no such control
    CMenu* GetSystemMenu(BOOL bRevert);        // null when the window has none
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void* lpfnTimerNull);
    BOOL IsIconic() const;
    void GetClientRect(RECT* pRect) const;
    void GetWindowRect(RECT* pRect) const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void SetWindowText(const char* pszText);
    int GetWindowText(char* pszBuf, int nMaxCount) const;
    void SetDlgItemText(int nID, const char* pszText);

    // Sets a control's text from any thread.  The text is left in a mailbox
    // and the window's own thread shows it when it next runs; the caller
    // never waits for the window, and of several texts for one control only
    // the newest is shown.  Dropped when the window does not exist.
    void PostDlgItemText(int nID, const char* pszText);

    // Routes a message through the class's message map and its bases'.
    // TRUE when a handler took it and did not ask for the default handling;
    // *pResult then holds the handler's result.  Virtual, as is
    // DeliverPostedTexts, so that the GTK module reaches them through the
    // object without linking against the program.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

protected:
    // Asks for the window system's default handling of the message being
    // handled; it runs when the handler returns.
    LRESULT Default();

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // Wrapper object for a child window handle, owned by this window until
    // its window goes away.
    CWnd* WrapChild(HWND hChild);
    void ReleaseWindowObjects();

    // Shows every text waiting in the mailbox (the window's own thread).
    virtual void DeliverPostedTexts();
    CTextMailbox m_mailbox;

    CMenu m_systemMenu;

private:
    friend class CDialogHost;   // the window-system layer

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    struct MessageState {
        BOOL bDefault;
    };
    MessageState* m_pCurrentMessage;
    std::vector<std::unique_ptr<CWnd>> m_children;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog until EndDialog; returns the value given to it, or -1
    // when the dialog could not be made.  The owner is the parent given at
    // construction, else the application's main window when that is another
    // window that exists; the owner is disabled meanwhile.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    // Converts a rectangle in the dialog's template units to pixels, each
    // coordinate rounded as the dialog manager rounds a control's.
    void MapDialogRect(RECT* pRect) const;

    // Called once the window and its controls exist, before it is shown.
    // The default does nothing and returns TRUE (focus to the first control
    // that takes it).  A dialog that the initialisation did not move is then
    // centred over its owner, or in the screen's work area without one.
    virtual BOOL OnInitDialog();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

protected:
    virtual void OnOK();
    virtual void OnCancel();

    // The window that owns the dialog while it runs: the parent given at
    // construction, else the application's main window when that is another
    // window; null for none.
    CWnd* GetModalOwner() const;

    // Shared part of the dialog's start: replays the size message of the
    // window's creation (which arrives before the dialog is attached), then
    // runs OnInitDialog.  Returns its result.
    BOOL RunInitDialog();

    // Set by the layer while a dialog's own initialisation moves it.
    BOOL m_bMovedDuringInit;
    BOOL m_bInInit;

    DECLARE_MESSAGE_MAP()

private:
    friend class CDialogHost;   // the window-system layer
};

// The device context of a WM_PAINT handler (begins painting; ends it when
// destroyed).
class CPaintDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon);

    HDC m_hDC;

private:
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HWND m_hWnd;
    PAINTSTRUCT m_ps;
};
