#include "app/ProgressDlg.h"
#include "app/resource.h"

#include <gtest/gtest.h>

namespace {

// The progress dialog without a window, its mailbox open to look into.
class MailboxDlg : public CProgressDlg {
public:
    using CWnd::m_mailbox;
};

void CountWake(void* pContext)
{
    ++*static_cast<int*>(pContext);
}

}  // namespace

TEST(ProgressLabelsTest, TextsReachTheDialogOnlyWhileItExistsAndNothingWasCancelled)
{
    struct Case {
        bool bDialog;
        short bCancel;
        bool bDelivered;
    };
    const Case cases[] = {
        {false, 0, false},
        {true, 0, true},
        {true, 1, false},
    };
    short bSavedCancel = g_bCancel;
    for (const Case& c : cases) {
        MailboxDlg dlg;
        int nWakes = 0;
        dlg.m_mailbox.Open(&CountWake, &nWakes);
        SetProgressSink(c.bDialog ? &dlg : nullptr);
        g_bCancel = c.bCancel;

        ReportProgress(PROGRESS_SOURCE, "/data");
        ReportProgress(PROGRESS_CHECKING, "/data/a.txt");
        ReportProgress(PROGRESS_CHECKING, "/data/b.txt");

        std::vector<std::pair<int, std::string>> expected;
        if (c.bDelivered)
            expected = {{IDC_SOURCE, "/data"}, {IDC_CHECKING, "/data/b.txt"}};
        EXPECT_EQ(dlg.m_mailbox.Take(), expected) << c.bDialog << c.bCancel;
        // The worker woke the window's thread once and did not wait for it.
        EXPECT_EQ(nWakes, c.bDelivered ? 1 : 0) << c.bDialog << c.bCancel;
    }
    SetProgressSink(nullptr);
    g_bCancel = bSavedCancel;
}
