// The window-system-neutral half of the dialog framework: message routing,
// the objects that wrap child windows, the text mailbox and CDialog's own
// handlers.
#include "platform/Dialog.h"
#include "platform/WinApp.h"

// ---------------------------------------------------------------------------
// CWnd

CWnd::CWnd() : m_hWnd(nullptr), m_pCurrentMessage(nullptr)
{
}

CWnd::~CWnd()
{
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP messageMap = {nullptr, &entries[0]};
    return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    UINT nCode = 0;
    UINT nID = 0;
    if (message == WM_COMMAND) {
        nCode = HIWORD(wParam);
        nID = LOWORD(wParam);
    }
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr;
         pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->pfnThunk != nullptr; ++pEntry) {
            if (pEntry->nMessage != message)
                continue;
            if (message == WM_COMMAND && (pEntry->nCode != nCode || pEntry->nID != nID))
                continue;
            // Handlers may run nested (a size message sent while handling
            // one, a modal box inside a command), so each call gets its own
            // record of whether it asked for the default handling.
            MessageState state = {FALSE};
            MessageState* pOuter = m_pCurrentMessage;
            m_pCurrentMessage = &state;
            LRESULT lResult = pEntry->pfnThunk(this, wParam, lParam);
            m_pCurrentMessage = pOuter;
            if (state.bDefault)
                return FALSE;
            if (pResult != nullptr)
                *pResult = lResult;
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT CWnd::Default()
{
    if (m_pCurrentMessage != nullptr)
        m_pCurrentMessage->bDefault = TRUE;
    return 0;
}

CWnd* CWnd::WrapChild(HWND hChild)
{
    if (hChild == nullptr)
        return nullptr;
    for (const std::unique_ptr<CWnd>& pChild : m_children) {
        if (pChild->m_hWnd == hChild)
            return pChild.get();
    }
    m_children.emplace_back(new CWnd);
    m_children.back()->m_hWnd = hChild;
    return m_children.back().get();
}

void CWnd::ReleaseWindowObjects()
{
    m_children.clear();
    m_systemMenu.m_hMenu = nullptr;
}

void CWnd::PostDlgItemText(int nID, const char* pszText)
{
    m_mailbox.Put(nID, pszText);
}

void CWnd::DeliverPostedTexts()
{
    for (const std::pair<int, std::string>& text : m_mailbox.Take())
        SetDlgItemText(text.first, text.second.c_str());
}

// ---------------------------------------------------------------------------
// CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd), m_bMovedDuringInit(FALSE), m_bInInit(FALSE)
{
}

CDialog::~CDialog()
{
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

CWnd* CDialog::GetModalOwner() const
{
    if (m_pParentWnd != nullptr)
        return m_pParentWnd;
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr && pApp->m_pMainWnd != this)
        return pApp->m_pMainWnd;
    return nullptr;
}

BOOL CDialog::RunInitDialog()
{
    RECT rc;
    GetClientRect(&rc);
    LRESULT lResult = 0;
    OnWndMsg(WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right - rc.left, rc.bottom - rc.top), &lResult);

    m_bMovedDuringInit = FALSE;
    m_bInInit = TRUE;
    BOOL bResult = OnInitDialog();
    m_bInInit = FALSE;
    return bResult;
}
