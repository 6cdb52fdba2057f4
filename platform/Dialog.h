// The program's small dialog framework: CWnd, CDialog, CMenu, CPaintDC and
// message maps, with the names and meanings the dialogs are written against.
// Written once per window system (win32/Dialog.cpp over the Win32 dialog
// manager, posix/Dialog.cpp over GTK 3); routing and the cross-thread text
// mailbox are shared (MessageMap.cpp).  A dialog class holds no window-system
// code of its own: its handlers are reached through its message map whichever
// layer feeds them.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "WindowTypes.h"
#include "platform/TextMailbox.h"

class CWnd;

// ---------------------------------------------------------------------------
// Message maps: a static table per class of (message, notification code,
// control id, handler), chained to the base class's table.  The handler is a
// small generated function that unpacks the message's arguments and calls the
// member function.

typedef LRESULT (*AFX_PMSGTHUNK)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;   // WM_COMMAND only: the notification code
    UINT nID;     // WM_COMMAND only: the control or command id
    AFX_PMSGTHUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;  // ends with an entry whose thunk is null
};

namespace AfxThunk {

template <class T, void (T::*pfn)()>
LRESULT Void(CWnd* pWnd, WPARAM, LPARAM)
{
    (static_cast<T*>(pWnd)->*pfn)();
    return 0;
}

template <class T, void (T::*pfn)(UINT, LPARAM)>
LRESULT SysCommand(CWnd* pWnd, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), lParam);
    return 0;
}

template <class T, HCURSOR (T::*pfn)()>
LRESULT QueryDragIcon(CWnd* pWnd, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((static_cast<T*>(pWnd)->*pfn)());
}

template <class T, void (T::*pfn)(UINT_PTR)>
LRESULT Timer(CWnd* pWnd, WPARAM wParam, LPARAM)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT_PTR>(wParam));
    return 0;
}

template <class T, void (T::*pfn)(UINT, int, int)>
LRESULT Size(CWnd* pWnd, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
}

}  // namespace AfxThunk

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();     \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                \
    const AFX_MSGMAP* theClass::GetMessageMap() const                         \
    {                                                                         \
        return GetThisMessageMap();                                           \
    }                                                                         \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                           \
    {                                                                         \
        [[maybe_unused]] typedef theClass ThisClass;                          \
        typedef baseClass TheBaseClass;                                       \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                     \
            {0, 0, 0, nullptr}};                                              \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
        return &messageMap;                                                   \
    }

#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, &AfxThunk::SysCommand<ThisClass, &ThisClass::OnSysCommand>},
#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, &AfxThunk::Void<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, &AfxThunk::QueryDragIcon<ThisClass, &ThisClass::OnQueryDragIcon>},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, &AfxThunk::Timer<ThisClass, &ThisClass::OnTimer>},
#define ON_WM_SIZE() \
    {WM_SIZE, 0, 0, &AfxThunk::Size<ThisClass, &ThisClass::OnSize>},
#define ON_BN_CLICKED(id, memberFxn) \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), &AfxThunk::Void<ThisClass, &ThisClass::memberFxn>},
// A menu command or a dialog's IDOK / IDCANCEL command: notification code 0.
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), &AfxThunk::Void<ThisClass, &ThisClass::memberFxn>},

// ---------------------------------------------------------------------------

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
    // *pResult then holds the handler's result.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

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
    void DeliverPostedTexts();
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

// While it exists, the process's cancel signals click a button of a dialog,
// as a user would (on POSIX SIGINT, SIGTERM and SIGHUP; a signal that comes
// while the dialog has no window is dropped).  Nothing on Windows, where a
// windowed program gets no such signals.
class CSignalClick {
public:
    CSignalClick(CWnd* pDialog, int nIDButton);
    ~CSignalClick();

    CWnd* m_pDialog;
    int m_nIDButton;

private:
    CSignalClick(const CSignalClick&) = delete;
    CSignalClick& operator=(const CSignalClick&) = delete;

    unsigned m_nSources[3];
};

// ---------------------------------------------------------------------------
// Application resources.

// An icon of the program's resources at the standard icon size; shared, never
// destroyed.  Null when there is no such icon.
HICON LoadAppIcon(UINT nIDResource);

// A string of the program's resources, cut to fit.  FALSE when there is none.
BOOL LoadAppString(UINT nID, char* pszBuf, int nBufSize);

// Connects to the window system.  FALSE when none can be used (on POSIX:
// no display could be opened); Windows always has one.
BOOL OpenWindowSystem();

// Runs what waits for the window system on the main thread, for a wait of
// the main thread that has no window of its own (on POSIX the shell-like
// copy window and the not-ready question of a run without a progress
// window).  Nothing on Windows, where those windows run on the worker.
void PumpWindowSystem();

// A question that the worker puts through the main thread gives up, with
// the answer Cancel, once *pbCancel is set: the main thread may then be
// waiting for the worker and unable to take the answer.  Nothing on Windows,
// where the worker asks on its own thread.
void SetQuestionCancelFlag(const std::atomic<short>* pbCancel);

// Dialog units to pixels at the template font's base units of 7 x 12 pixels,
// rounded as the dialog manager rounds (half away from zero).
int DialogUnitsToPixelsX(int x);
int DialogUnitsToPixelsY(int y);

// The two dialog templates as data, for window systems without a dialog
// manager of their own.  The resource script holds the same templates for
// Windows; the numbers must agree.
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
