#include "engine/RunState.h"

std::atomic<short> g_bCancel{0};
std::atomic<long> g_nRunFailures{0};
std::atomic<short> g_bRunAborted{0};

namespace {

std::atomic<ProgressSink*> g_pSink{nullptr};

}  // namespace

void ResetRunState()
{
    g_bCancel = 0;
    g_nRunFailures = 0;
    g_bRunAborted = 0;
}

int GetRunExitStatus()
{
    if (g_bCancel.load() != 0 || g_bRunAborted.load() != 0)
        return EXIT_CANCELLED;
    if (g_nRunFailures.load() != 0)
        return EXIT_FAILED;
    return EXIT_ALL_WELL;
}

void NoteRunFailure()
{
    ++g_nRunFailures;
}

void SetProgressSink(ProgressSink* pSink)
{
    g_pSink = pSink;
}

bool IsProgressShown()
{
    return g_bCancel.load() == 0 && g_pSink.load() != nullptr;
}

void ReportProgress(ProgressItem nItem, const char* pszText)
{
    ProgressSink* pSink = g_pSink.load();
    if (g_bCancel.load() != 0 || pSink == nullptr)
        return;
    pSink->SetText(nItem, pszText);
}
