// What the Windows shell shows while it copies, for the program's own copy:
// once a copy has taken about a second, a small window with a progress bar
// and an abort button when a display is open, or a one-line meter on
// standard error when that is a terminal.  The copy runs on the worker; the
// window belongs to the main thread, which the worker only hands the newest
// state to, never waiting for it.
#include "platform/posix/CopyProgress.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/posix/WindowModule.h"

namespace {

typedef std::chrono::steady_clock Clock;

// A copy shorter than this shows nothing.
const std::chrono::milliseconds SHOW_AFTER(1000);
const std::chrono::milliseconds TERMINAL_INTERVAL(250);
const size_t TERMINAL_NAME_BYTES = 48;

// --- The window (main thread) ----------------------------------------------

struct CopyState {
    unsigned nCopy;        // which copy: an abort is for this one only
    bool bShow;
    std::string from;
    std::string to;
    long long nDone;
    long long nTotal;
};

std::mutex g_mutex;            // guards the two below
CopyState g_state = {0, false, std::string(), std::string(), 0, 0};
bool g_bUpdatePending = false;

std::atomic<unsigned> g_nAbortedCopy{0};

void UpdateCopyWindow(void*)
{
    CopyState state;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        state = g_state;
        g_bUpdatePending = false;
    }
    GetWindowModule()->ShowCopyWindow(CopyWindowState{state.nCopy, state.bShow, state.from.c_str(), state.to.c_str(),
                                                      state.nDone, state.nTotal, &g_nAbortedCopy});
}

// Leaves the newest state for the main thread; one update at a time is on
// its way.
void PostCopyState(const CopyState& state)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = state;
    if (!g_bUpdatePending) {
        g_bUpdatePending = true;
        GetWindowModule()->RunOnWindowThread(&UpdateCopyWindow, nullptr);
    }
}

// --- The copy in hand (worker) ---------------------------------------------

enum MeterMode { METER_WAITING, METER_WINDOW, METER_TERMINAL, METER_NONE };

struct Meter {
    unsigned nCopy;
    std::string from;
    std::string to;
    Clock::time_point start;
    Clock::time_point lastPrint;
    MeterMode mode;
    int nLastPercent;
    long long nDone;
    long long nTotal;
};
Meter g_meter = {0, std::string(), std::string(), Clock::time_point(), Clock::time_point(), METER_NONE, -1, 0, 0};

int Percent(long long nDone, long long nTotal)
{
    if (nTotal <= 0 || nDone >= nTotal)
        return 100;
    return static_cast<int>(nDone * 100 / nTotal);
}

// The last part of a path, cut to fit the meter at a character boundary.
std::string ShortName(const std::string& path)
{
    size_t nSlash = path.find_last_of('/');
    std::string name = nSlash == std::string::npos ? path : path.substr(nSlash + 1);
    if (name.size() > TERMINAL_NAME_BYTES) {
        size_t nLength = TERMINAL_NAME_BYTES;
        while (nLength > 0 && (static_cast<unsigned char>(name[nLength]) & 0xC0) == 0x80)
            --nLength;
        name = name.substr(0, nLength) + "...";
    }
    return name;
}

void PrintMeter(bool bLast)
{
    int nPercent = Percent(g_meter.nDone, g_meter.nTotal);
    std::fprintf(stderr, "\rコピーしています... %3d%%  %s%s", nPercent, ShortName(g_meter.to).c_str(),
                 bLast ? "\n" : "");
    std::fflush(stderr);
    g_meter.nLastPercent = nPercent;
    g_meter.lastPrint = Clock::now();
}

void FinishMeter()
{
    if (g_meter.mode == METER_WINDOW)
        PostCopyState(CopyState{g_meter.nCopy, false, std::string(), std::string(), 0, 0});
    else if (g_meter.mode == METER_TERMINAL)
        PrintMeter(true);
    g_meter.mode = METER_NONE;
}

}  // namespace

BOOL ReportCopyProgress(const char* pszFrom, const char* pszTo, long long nDone, long long nTotal)
{
    // The copy reports 0 when it starts; a copy that failed on the way never
    // reported its end, so a new one takes its place here.
    if (nDone == 0 || g_meter.from != pszFrom || g_meter.to != pszTo) {
        FinishMeter();
        g_meter.nCopy += 1;
        g_meter.from = pszFrom;
        g_meter.to = pszTo;
        g_meter.start = Clock::now();
        g_meter.mode = METER_WAITING;
        g_meter.nLastPercent = -1;
    }
    g_meter.nDone = nDone;
    g_meter.nTotal = nTotal;
    if (g_nAbortedCopy.load() == g_meter.nCopy) {
        FinishMeter();
        return FALSE;
    }

    Clock::time_point now = Clock::now();
    if (g_meter.mode == METER_WAITING && nDone < nTotal && now - g_meter.start >= SHOW_AFTER) {
        if (WantWindowSystem())
            g_meter.mode = METER_WINDOW;
        else if (isatty(STDERR_FILENO))
            g_meter.mode = METER_TERMINAL;
        else
            g_meter.mode = METER_NONE;
    }

    if (nDone >= nTotal) {
        FinishMeter();
    } else if (g_meter.mode == METER_WINDOW) {
        PostCopyState(CopyState{g_meter.nCopy, true, g_meter.from, g_meter.to, nDone, nTotal});
    } else if (g_meter.mode == METER_TERMINAL) {
        if (Percent(nDone, nTotal) != g_meter.nLastPercent || now - g_meter.lastPrint >= TERMINAL_INTERVAL)
            PrintMeter(false);
    }
    return TRUE;
}
