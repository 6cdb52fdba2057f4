#include "app/ProgressDlg.h"
#include "app/resource.h"
#include "log/LogText.h"

void CProgressDlg::SetText(ProgressItem nItem, const char* pszText)
{
    // A name may hold control characters; the label shows them escaped, as
    // the log does.
    static const int CONTROLS[] = {IDC_SETNUMBER, IDC_SOURCE, IDC_DEST, IDC_CHECKING, IDC_COPYING};
    std::string text;
    EscapeForDisplay(pszText, text);
    PostDlgItemText(CONTROLS[nItem], text.c_str());
}
