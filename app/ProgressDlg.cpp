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

// Layout in pixels, fixed for the template's font (dialog base units of
// 7 x 12 pixels): the client area keeps the template's height of 149 and
// never gets narrower than its 459; the frame around it is taken as 8 pixels
// wide and 34 high.  The four path labels and the button keep their right
// edges 12 pixels from the client area's right edge.
const int MIN_CLIENT_WIDTH = 459;
const int CLIENT_HEIGHT = 149;
const int MIN_WINDOW_WIDTH = 467;
const int WINDOW_HEIGHT = 183;
const int FRAME_WIDTH = 8;
const int LABEL_HEIGHT = 17;
const int BUTTON_RIGHT_OFFSET = 100;   // the button is 88 wide
const int BUTTON_Y = 117;

struct PathLabel {
    int nID;
    int nWidthLess;   // client width less the label's left edge and margin
};

const PathLabel PATH_LABELS[] = {
    {IDC_SOURCE, 161},     // at x = 149
    {IDC_DEST, 161},
    {IDC_CHECKING, 128},   // at x = 116
    {IDC_COPYING, 128},
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

void CProgressDlg::OnSize(UINT, int cx, int cy)
{
    Default();

    if (cx < MIN_CLIENT_WIDTH) {
        cx = MIN_CLIENT_WIDTH;
        SetWindowPos(nullptr, 0, 0, MIN_WINDOW_WIDTH, WINDOW_HEIGHT, SWP_RESIZE_ONLY);
    } else if (cy != CLIENT_HEIGHT) {
        SetWindowPos(nullptr, 0, 0, cx + FRAME_WIDTH, WINDOW_HEIGHT, SWP_RESIZE_ONLY);
    }

    for (const PathLabel& label : PATH_LABELS) {
        CWnd* pLabel = GetDlgItem(label.nID);
        if (pLabel != nullptr)
            pLabel->SetWindowPos(nullptr, 0, 0, cx - label.nWidthLess, LABEL_HEIGHT, SWP_RESIZE_ONLY);
    }
    CWnd* pButton = GetDlgItem(IDC_CANCELBUTTON);
    if (pButton != nullptr)
        pButton->SetWindowPos(nullptr, cx - BUTTON_RIGHT_OFFSET, BUTTON_Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
