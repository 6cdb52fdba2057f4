#include "app/Globals.h"

CProgressDlg* g_pProgressDlg = nullptr;
std::atomic<short> g_bWorkerDone{0};
