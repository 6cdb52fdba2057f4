#include "app/Globals.h"
#include "app/ProgressDlg.h"
#include "log/LogText.h"

void SetProgressLabel(int nID, const char* pszText)
{
    // The worker never touches the window itself: the text goes through the
    // dialog's mailbox and the window's thread shows it.  Once Cancel has
    // been pressed the labels keep what they show.
    CProgressDlg* pDlg = g_pProgressDlg;
    if (g_bCancel.load() != 0 || pDlg == nullptr)
        return;
    std::string text;
    EscapeForDisplay(pszText, text);
    pDlg->PostDlgItemText(nID, text.c_str());
}
