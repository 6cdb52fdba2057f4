// The dialog framework over the Win32 dialog manager.  One dialog procedure
// serves every dialog: DialogBoxParam hands it the CDialog in WM_INITDIALOG's
// lParam, it keeps the pointer in the window's user data, and from then on
// routes every message through the dialog's message map.  Whatever no
// handler takes (or a handler passes on with Default()) goes back to the
// dialog manager's own handling.
#include "platform/Dialog.h"

#include "platform/Resources.h"
#include "platform/SignalClick.h"
#include "platform/WinApp.h"

#include <vector>

#include "WideText.h"
#include "platform/Text.h"

namespace {

// Wakes the dialog's thread to show the texts left in its mailbox.
const UINT WM_POSTEDTEXTS = WM_APP + 1;

// Messages whose result a dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
BOOL ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return TRUE;
    default:
        return FALSE;
    }
}

void WakeDialog(void* pContext)
{
    ::PostMessageW(static_cast<HWND>(pContext), WM_POSTEDTEXTS, 0, 0);
}

// Centres a dialog over its owner, or in the work area of its screen when it
// has no visible owner, and keeps it inside that work area.
void CenterDialog(HWND hDlg)
{
    HWND hOwner = ::GetWindow(hDlg, GW_OWNER);
    BOOL bOverOwner = hOwner != nullptr && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner);

    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    HMONITOR hMonitor = ::MonitorFromWindow(bOverOwner ? hOwner : hDlg, MONITOR_DEFAULTTONEAREST);
    if (!::GetMonitorInfoW(hMonitor, &monitor))
        return;
    RECT rcWork = monitor.rcWork;
    RECT rcCenter = rcWork;
    if (bOverOwner)
        ::GetWindowRect(hOwner, &rcCenter);

    RECT rcDlg;
    ::GetWindowRect(hDlg, &rcDlg);
    int cx = rcDlg.right - rcDlg.left;
    int cy = rcDlg.bottom - rcDlg.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - cx / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - cy / 2;
    if (x + cx > rcWork.right)
        x = rcWork.right - cx;
    if (x < rcWork.left)
        x = rcWork.left;
    if (y + cy > rcWork.bottom)
        y = rcWork.bottom - cy;
    if (y < rcWork.top)
        y = rcWork.top;
    ::SetWindowPos(hDlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

class CDialogHost {
public:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
};

INT_PTR CALLBACK CDialogHost::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hDlg, GWLP_USERDATA, lParam);
        pDlg->m_hWnd = hDlg;
        pDlg->m_mailbox.Open(&WakeDialog, hDlg);

        // A dialog that its initialisation did not move is centred; a size
        // change alone does not count as a move.
        RECT rcBefore;
        ::GetWindowRect(hDlg, &rcBefore);
        BOOL bSetFocus = pDlg->RunInitDialog();
        RECT rcAfter;
        ::GetWindowRect(hDlg, &rcAfter);
        if (rcBefore.left == rcAfter.left && rcBefore.top == rcAfter.top)
            CenterDialog(hDlg);
        return bSetFocus;
    }

    CDialog* pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hDlg, GWLP_USERDATA));
    if (pDlg == nullptr)
        return FALSE;   // before WM_INITDIALOG (WM_SETFONT) or after WM_NCDESTROY

    if (message == WM_POSTEDTEXTS) {
        pDlg->DeliverPostedTexts();
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hDlg, GWLP_USERDATA, 0);
        return FALSE;
    }

    LRESULT lResult = 0;
    if (!pDlg->OnWndMsg(message, wParam, lParam, &lResult))
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, lResult);
    return TRUE;
}

// ---------------------------------------------------------------------------

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const char* lpszNewItem)
{
    const std::wstring item = lpszNewItem != nullptr ? WideForDisplay(lpszNewItem) : std::wstring();
    return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem != nullptr ? item.c_str() : nullptr);
}

CWnd* CWnd::GetDlgItem(int nID)
{
    return WrapChild(::GetDlgItem(m_hWnd, nID));
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert)
{
    HMENU hMenu = ::GetSystemMenu(m_hWnd, bRevert);
    if (hMenu == nullptr)
        return nullptr;
    m_systemMenu.m_hMenu = hMenu;
    return &m_systemMenu;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void*)
{
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(RECT* pRect) const
{
    ::GetClientRect(m_hWnd, pRect);
}

void CWnd::GetWindowRect(RECT* pRect) const
{
    ::GetWindowRect(m_hWnd, pRect);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint)
{
    ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
{
    HWND hInsertAfter = pWndInsertAfter != nullptr ? pWndInsertAfter->m_hWnd : nullptr;
    // A control moved while its dialog is being resized repaints all of
    // itself: the old bits that would be copied to its new place may have
    // been painted over by the dialog's background already.
    if ((::GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD) != 0)
        nFlags |= SWP_NOCOPYBITS;
    return ::SetWindowPos(m_hWnd, hInsertAfter, x, y, cx, cy, nFlags);
}

void CWnd::SetWindowText(const char* pszText)
{
    ::SetWindowTextW(m_hWnd, WideForDisplay(pszText).c_str());
}

int CWnd::GetWindowText(char* pszBuf, int nMaxCount) const
{
    if (nMaxCount <= 0)
        return 0;
    const int nWide = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> wide(static_cast<size_t>(nWide) + 1);
    const int nLength = ::GetWindowTextW(m_hWnd, wide.data(), nWide + 1);
    const std::string text = Utf8FromWide(wide.data(), nLength > 0 ? static_cast<size_t>(nLength) : 0);
    return static_cast<int>(CopyTextCut(pszBuf, static_cast<size_t>(nMaxCount), text.c_str(), text.size()));
}

void CWnd::SetDlgItemText(int nID, const char* pszText)
{
    // The labels show paths, which may hold any character a name can.
    ::SetDlgItemTextW(m_hWnd, nID, WideForDisplay(pszText).c_str());
}

// ---------------------------------------------------------------------------

INT_PTR CDialog::DoModal()
{
    CWnd* pOwner = GetModalOwner();
    HWND hOwner = pOwner != nullptr ? pOwner->m_hWnd : nullptr;
    INT_PTR nResult = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), hOwner,
                                        &CDialogHost::DialogProc, reinterpret_cast<LPARAM>(this));
    m_mailbox.Close();
    m_hWnd = nullptr;
    ReleaseWindowObjects();
    return nResult;
}

void CDialog::EndDialog(int nResult)
{
    ::EndDialog(m_hWnd, nResult);
}

void CDialog::MapDialogRect(RECT* pRect) const
{
    ::MapDialogRect(m_hWnd, pRect);
}

// ---------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}

BOOL CPaintDC::DrawIcon(int x, int y, HICON hIcon)
{
    return ::DrawIcon(m_hDC, x, y, hIcon);
}

// ---------------------------------------------------------------------------

CSignalClick::CSignalClick(CWnd* pDialog, int nIDButton) : m_pDialog(pDialog), m_nIDButton(nIDButton), m_nSources()
{
}

CSignalClick::~CSignalClick()
{
}

// ---------------------------------------------------------------------------

HICON LoadAppIcon(UINT nIDResource)
{
    return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nIDResource));
}

BOOL LoadAppString(UINT nID, char* pszBuf, int nBufSize)
{
    if (nBufSize <= 0)
        return FALSE;
    pszBuf[0] = '\0';
    // Resources hold UTF-16; a length of 0 asks for a pointer to the text.
    const wchar_t* pszText = nullptr;
    const int nLength = ::LoadStringW(::GetModuleHandleW(nullptr), nID, reinterpret_cast<wchar_t*>(&pszText), 0);
    if (nLength <= 0 || pszText == nullptr)
        return FALSE;
    const std::string text = Utf8FromWide(pszText, static_cast<size_t>(nLength));
    CopyTextCut(pszBuf, static_cast<size_t>(nBufSize), text.c_str(), text.size());
    return TRUE;
}
