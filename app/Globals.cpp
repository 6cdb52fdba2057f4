#include "app/Globals.h"

CProgressDlg* g_pProgressDlg = nullptr;
std::atomic<short> g_bWorkerDone{0};
std::atomic<short> g_bCancel{0};
std::atomic<short> g_bRunFailed{0};
std::atomic<short> g_bRunAborted{0};

int GetRunExitStatus()
{
    if (g_bCancel.load() != 0 || g_bRunAborted.load() != 0)
        return 2;
    if (g_bRunFailed.load() != 0)
        return 1;
    return 0;
}
