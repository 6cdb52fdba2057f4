// The progress window: starts the worker, shows what it is doing, closes
// itself when the worker has finished, and cancels the run on its button.
#pragma once

#include "engine/RunState.h"
#include "platform/Dialog.h"

// It is also where the engine reports its progress: the texts go through
// the dialog's mailbox, and the window's thread shows them.
class CProgressDlg : public CDialog, public ProgressSink {
public:
    explicit CProgressDlg(CWnd* pParent = nullptr);

    BOOL OnInitDialog() override;

    // FALSE when the initialisation could not start the worker; the dialog
    // then ended at once and nothing ran.
    BOOL HasStartedWorker() const { return m_bWorkerStarted; }

    // Called on the worker's thread; never waits for the window.
    void SetText(ProgressItem nItem, const char* pszText) override;

protected:
    void OnCancel() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR nIDEvent);
    void OnCancelButton();
    void OnSize(UINT nType, int cx, int cy);

    HICON m_hIcon;
    RECT m_rcWindow;
    BOOL m_bWorkerStarted;

    DECLARE_MESSAGE_MAP()
};
