#include "app/ProgressDlg.h"

#include "app/AboutDlg.h"
#include "app/BackupApp.h"
#include "app/Globals.h"
#include "app/resource.h"
#include "config/BackupConfig.h"
#include "platform/Resources.h"

namespace {

// Timer 1 looks for the end of the worker.
const UINT_PTR TIMER_WORKER = 1;
const UINT TIMER_PERIOD_MS = 500;

const UINT SYSCOMMAND_MASK = 0xFFF0;

// Layout in the template's dialog units (IDD_PROGRESS, 262 x 99), turned
// into pixels by the dialog itself, so that it holds at any font size and
// screen resolution: the client area keeps the template's height and never
// gets narrower than its width.  The four path labels and the button keep
// their right edges 7 units from the client area's right edge.
const int TEMPLATE_CX = 262;
const int TEMPLATE_CY = 99;
const int RIGHT_MARGIN = 7;
const int LABEL_CY = 11;
const int BUTTON_CX = 50;
const int BUTTON_Y = 78;

struct PathLabel {
    int nID;
    int x;
};

const PathLabel PATH_LABELS[] = {
    {IDC_SOURCE, 85},
    {IDC_DEST, 85},
    {IDC_CHECKING, 66},
    {IDC_COPYING, 66},
};

const UINT SWP_RESIZE_ONLY = SWP_NOMOVE | SWP_NOZORDER;

}  // namespace

CProgressDlg::CProgressDlg(CWnd* pParent)
    : CDialog(IDD_PROGRESS, pParent), m_rcWindow(), m_bWorkerStarted(FALSE)
{
    m_hIcon = LoadAppIcon(IDI_MAINICON);
}

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_CANCELBUTTON, OnCancelButton)
    ON_WM_SIZE()
END_MESSAGE_MAP()

BOOL CProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu != nullptr) {
        char szAboutMenu[256];
        if (LoadAppString(IDS_ABOUTBOX, szAboutMenu, sizeof szAboutMenu) && szAboutMenu[0] != '\0') {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, szAboutMenu);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The move sends a size message at once, so OnSize corrects a saved
    // rectangle that is too small before the window is ever shown.
    RECT rcSaved = g_pConfig->GetWindowRect();
    if (rcSaved.right > 0 && rcSaved.bottom > 0)
        MoveWindow(rcSaved.left, rcSaved.top, rcSaved.right - rcSaved.left, rcSaved.bottom - rcSaved.top, TRUE);

    SetTimer(TIMER_WORKER, TIMER_PERIOD_MS, nullptr);

    g_pProgressDlg = this;
    SetProgressSink(this);
    g_bWorkerDone = 0;
    m_bWorkerStarted = StartWorker(this);
    if (!m_bWorkerStarted) {
        // Nothing would ever set g_bWorkerDone, so neither the timer nor the
        // Cancel button could end the dialog: end it now.
        CDialog::OnCancel();
    }
    return TRUE;
}

void CProgressDlg::OnSysCommand(UINT nID, LPARAM)
{
    if ((nID & SYSCOMMAND_MASK) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

void CProgressDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CProgressDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CProgressDlg::OnTimer(UINT_PTR nIDEvent)
{
    // A cancelled run is ended by the Cancel handler once the worker stops.
    if (nIDEvent == TIMER_WORKER && g_bWorkerDone != 0 && g_bCancel == 0)
        CDialog::OnCancel();
    Default();
}

void CProgressDlg::OnCancelButton()
{
    g_bCancel = 1;
    GetWindowRect(&m_rcWindow);
    g_pConfig->SaveWindowRect(m_rcWindow);
    // The worker finishes the file in hand first.  It never waits for this
    // thread (its label texts go through a mailbox), so this wait ends.
    while (g_bWorkerDone == 0)
        Sleep(10);
    CDialog::OnCancel();
}

void CProgressDlg::OnCancel()
{
    // Escape, the close box, Alt+F4 and the system menu's Close all arrive
    // here: only the Cancel button and the worker's end close the window.
}

void CProgressDlg::OnSize(UINT nType, int cx, int cy)
{
    Default();
    // A minimised window's rectangle is its icon's: nothing to lay out.
    if (nType == SIZE_MINIMIZED)
        return;

    RECT rcTemplate = {0, 0, TEMPLATE_CX, TEMPLATE_CY};
    MapDialogRect(&rcTemplate);
    if (cx < rcTemplate.right || cy != rcTemplate.bottom) {
        // The frame is whatever the window has around its client area: a
        // window manager's differs from Windows' and from one theme to
        // another.
        RECT rcWindow;
        GetWindowRect(&rcWindow);
        int cxFrame = rcWindow.right - rcWindow.left - cx;
        int cyFrame = rcWindow.bottom - rcWindow.top - cy;
        if (cx < rcTemplate.right)
            cx = rcTemplate.right;
        SetWindowPos(nullptr, 0, 0, cx + (cxFrame > 0 ? cxFrame : 0), rcTemplate.bottom + (cyFrame > 0 ? cyFrame : 0),
                     SWP_RESIZE_ONLY);
    }

    // Each coordinate is converted on its own, as the template's are.
    for (const PathLabel& label : PATH_LABELS) {
        RECT rc = {label.x, 0, TEMPLATE_CX - RIGHT_MARGIN - label.x, LABEL_CY};
        MapDialogRect(&rc);
        CWnd* pLabel = GetDlgItem(label.nID);
        if (pLabel != nullptr)
            pLabel->SetWindowPos(nullptr, 0, 0, cx - rcTemplate.right + rc.right, rc.bottom, SWP_RESIZE_ONLY);
    }
    RECT rcButton = {TEMPLATE_CX - RIGHT_MARGIN - BUTTON_CX, BUTTON_Y, 0, 0};
    MapDialogRect(&rcButton);
    CWnd* pButton = GetDlgItem(IDC_CANCELBUTTON);
    if (pButton != nullptr)
        pButton->SetWindowPos(nullptr, cx - rcTemplate.right + rcButton.left, rcButton.top, 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER);
}
