// The program's windows on POSIX: every call goes to the GTK module
// (WindowModule.h), which builds the windows from their templates and feeds
// GTK's signals back into the dialogs' message maps.  Without the module
// (no display) there are no windows, and these calls do nothing.
#include "platform/Dialog.h"

#include <csignal>

#include "platform/Resources.h"
#include "platform/SignalClick.h"
#include "platform/WindowSystem.h"
#include "platform/posix/WindowModule.h"

namespace {

void WakeDialog(void* pContext)
{
    GetWindowModule()->WakeDialog(static_cast<HWND>(pContext));
}

}  // namespace

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const char* lpszNewItem)
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hMenu != nullptr && pModule->AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

CWnd* CWnd::GetDlgItem(int nID)
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr ? WrapChild(pModule->FindControl(m_hWnd, nID)) : nullptr;
}

CMenu* CWnd::GetSystemMenu(BOOL)
{
    CWindowModule* pModule = GetWindowModule();
    HMENU hMenu = pModule != nullptr && m_hWnd != nullptr ? pModule->GetSystemMenu(m_hWnd) : nullptr;
    if (hMenu == nullptr)
        return nullptr;
    m_systemMenu.m_hMenu = hMenu;
    return &m_systemMenu;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr ? pModule->SendMessage(m_hWnd, message, wParam, lParam) : 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void*)
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr ? pModule->SetTimer(m_hWnd, nIDEvent, nElapse) : 0;
}

BOOL CWnd::IsIconic() const
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr && pModule->IsIconic(m_hWnd);
}

void CWnd::GetClientRect(RECT* pRect) const
{
    *pRect = RECT{0, 0, 0, 0};
    CWindowModule* pModule = GetWindowModule();
    if (pModule != nullptr && m_hWnd != nullptr)
        pModule->GetClientRect(m_hWnd, pRect);
}

void CWnd::GetWindowRect(RECT* pRect) const
{
    *pRect = RECT{0, 0, 0, 0};
    CWindowModule* pModule = GetWindowModule();
    if (pModule != nullptr && m_hWnd != nullptr)
        pModule->GetWindowRect(m_hWnd, pRect);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL)
{
    SetWindowPos(nullptr, x, y, nWidth, nHeight, SWP_NOZORDER);
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT nFlags)
{
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr && pModule->SetWindowPos(m_hWnd, x, y, cx, cy, nFlags);
}

void CWnd::SetWindowText(const char* pszText)
{
    CWindowModule* pModule = GetWindowModule();
    if (pModule != nullptr && m_hWnd != nullptr)
        pModule->SetWindowText(m_hWnd, pszText);
}

int CWnd::GetWindowText(char* pszBuf, int nMaxCount) const
{
    if (nMaxCount <= 0)
        return 0;
    pszBuf[0] = '\0';
    CWindowModule* pModule = GetWindowModule();
    return pModule != nullptr && m_hWnd != nullptr ? pModule->GetWindowText(m_hWnd, pszBuf, nMaxCount) : 0;
}

void CWnd::SetDlgItemText(int nID, const char* pszText)
{
    CWnd* pControl = GetDlgItem(nID);
    if (pControl != nullptr)
        pControl->SetWindowText(pszText);
}

// ---------------------------------------------------------------------------

INT_PTR CDialog::DoModal()
{
    const DialogTemplate* pTemplate = FindDialogTemplate(m_nIDTemplate);
    if (pTemplate == nullptr || !OpenWindowSystem())
        return -1;
    CWindowModule* pModule = GetWindowModule();
    CWnd* pOwner = GetModalOwner();
    HWND hTop = pModule->CreateDialogWindow(this, pTemplate, pOwner != nullptr ? pOwner->m_hWnd : nullptr,
                                            &FindIconResource);
    m_hWnd = hTop;
    m_mailbox.Open(&WakeDialog, hTop);
    BOOL bFocusFirst = RunInitDialog();
    INT_PTR nResult = pModule->RunModal(hTop, !m_bMovedDuringInit, bFocusFirst);
    bool bWakePending = m_mailbox.Close();
    m_hWnd = nullptr;
    ReleaseWindowObjects();
    pModule->DestroyDialogWindow(hTop, bWakePending);
    return nResult;
}

void CDialog::EndDialog(int nResult)
{
    CWindowModule* pModule = GetWindowModule();
    if (pModule != nullptr && m_hWnd != nullptr)
        pModule->EndDialog(m_hWnd, nResult);
}

void CDialog::MapDialogRect(RECT* pRect) const
{
    // The GTK module lays every template out at the same base units.
    *pRect = RECT{DialogUnitsToPixelsX(pRect->left), DialogUnitsToPixelsY(pRect->top),
                  DialogUnitsToPixelsX(pRect->right), DialogUnitsToPixelsY(pRect->bottom)};
}

// ---------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* pWnd) : m_hDC(nullptr), m_hWnd(pWnd->m_hWnd), m_ps()
{
    CWindowModule* pModule = GetWindowModule();
    if (pModule != nullptr && m_hWnd != nullptr)
        m_hDC = pModule->GetPaintDC(m_hWnd);
    m_ps.hdc = m_hDC;
}

CPaintDC::~CPaintDC()
{
}

BOOL CPaintDC::DrawIcon(int x, int y, HICON hIcon)
{
    return m_hDC != nullptr && hIcon != nullptr && GetWindowModule()->DrawIcon(m_hDC, x, y, hIcon);
}

// ---------------------------------------------------------------------------

namespace {

void OnCancelSignal(void* pData)
{
    CSignalClick* pClick = static_cast<CSignalClick*>(pData);
    HWND hTop = pClick->m_pDialog->m_hWnd;
    CWindowModule* pModule = GetWindowModule();
    HWND hButton = hTop != nullptr ? pModule->FindControl(hTop, pClick->m_nIDButton) : nullptr;
    if (hButton != nullptr)
        pModule->SendMessage(hTop, WM_COMMAND, MAKEWPARAM(pClick->m_nIDButton, BN_CLICKED),
                             reinterpret_cast<LPARAM>(hButton));
}

}  // namespace

CSignalClick::CSignalClick(CWnd* pDialog, int nIDButton) : m_pDialog(pDialog), m_nIDButton(nIDButton), m_nSources()
{
    // The module runs the handler on the main loop, where the window may be
    // used.  Without a window system the process's own handlers stay.
    CWindowModule* pModule = GetWindowModule();
    if (pModule == nullptr)
        return;
    const int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i)
        m_nSources[i] = pModule->AddSignalWatch(SIGNALS[i], &OnCancelSignal, this);
}

CSignalClick::~CSignalClick()
{
    for (unsigned nSource : m_nSources) {
        if (nSource != 0)
            GetWindowModule()->RemoveSignalWatch(nSource);
    }
}
