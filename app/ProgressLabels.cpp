#include "app/ProgressDlg.h"
#include "app/resource.h"

void CProgressDlg::SetText(ProgressItem nItem, const char* pszText)
{
    static const int CONTROLS[] = {IDC_SETNUMBER, IDC_SOURCE, IDC_DEST, IDC_CHECKING, IDC_COPYING};
    PostDlgItemText(CONTROLS[nItem], pszText);
}
