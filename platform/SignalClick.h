// A dialog's Cancel button clicked by the process's cancel signals.
#pragma once

#include "WindowTypes.h"

class CWnd;

// While it exists, the process's cancel signals click a button of a dialog,
// as a user would (on POSIX SIGINT, SIGTERM and SIGHUP; a signal that comes
// while the dialog has no window is dropped).  Nothing on Windows, where a
// windowed program gets no such signals.
class CSignalClick {
public:
    CSignalClick(CWnd* pDialog, int nIDButton);
    ~CSignalClick();

    CWnd* m_pDialog;
    int m_nIDButton;

private:
    CSignalClick(const CSignalClick&) = delete;
    CSignalClick& operator=(const CSignalClick&) = delete;

    unsigned m_nSources[3];
};
