// Loading and opening the GTK module, and the main thread's service of the
// window system for other threads.
//
// The module is looked for beside the program (the build tree) and then in
// ../lib/tandemix/ from it (an installed program).  Without a display it is
// not loaded at all; a module that is missing or cannot be loaded counts as
// no display.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WindowSystem.h"
#include "platform/posix/WindowModule.h"

namespace {

const char* const MODULE_NAME = "tandemix-gtk.so";
const char* const MODULE_DIRS[] = {"", "../lib/tandemix/"};

enum OpenState { OPEN_UNTRIED, OPEN_DONE, OPEN_NONE };

std::mutex g_mutex;
std::condition_variable g_changed;
OpenState g_state = OPEN_UNTRIED;
bool g_bOnDemand = false;      // the main thread opens when asked
bool g_bRequested = false;     // another thread asked
std::thread::id g_mainThread;
CWindowModule* g_pModule = nullptr;
std::atomic<const std::atomic<short>*> g_pbQuestionCancel{nullptr};

bool HasDisplay()
{
    const char* pszX = std::getenv("DISPLAY");
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    return (pszX != nullptr && pszX[0] != '\0') || (pszWayland != nullptr && pszWayland[0] != '\0');
}

std::string ProgramFolder()
{
    char szPath[4096];
    ssize_t nLength = readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (nLength <= 0)
        return std::string();
    std::string path(szPath, static_cast<size_t>(nLength));
    size_t nSlash = path.find_last_of('/');
    return nSlash == std::string::npos ? std::string() : path.substr(0, nSlash + 1);
}

CWindowModule* LoadModule()
{
    std::string folder = ProgramFolder();
    if (folder.empty())
        return nullptr;
    for (const char* pszDir : MODULE_DIRS) {
        std::string path = folder + pszDir + MODULE_NAME;
        if (access(path.c_str(), F_OK) != 0)
            continue;
        // Kept loaded for the life of the process: GTK cannot be unloaded.
        void* hModule = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (hModule == nullptr)
            return nullptr;
        PFN_WINDOW_MODULE pfnEntry = reinterpret_cast<PFN_WINDOW_MODULE>(dlsym(hModule, WINDOW_MODULE_ENTRY));
        return pfnEntry != nullptr ? pfnEntry(WINDOW_MODULE_VERSION) : nullptr;
    }
    return nullptr;
}

}  // namespace

BOOL OpenWindowSystem()
{
    std::unique_lock<std::mutex> lock(g_mutex);
    if (g_state == OPEN_UNTRIED) {
        g_mainThread = std::this_thread::get_id();
        lock.unlock();
        CWindowModule* pModule = HasDisplay() ? LoadModule() : nullptr;
        bool bOpen = pModule != nullptr && pModule->Open();
        lock.lock();
        g_pModule = bOpen ? pModule : nullptr;
        g_state = bOpen ? OPEN_DONE : OPEN_NONE;
        g_changed.notify_all();
    }
    return g_state == OPEN_DONE;
}

void OpenWindowSystemOnDemand()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_bOnDemand = true;
    g_mainThread = std::this_thread::get_id();
}

void PumpWindowSystem()
{
    bool bOpen;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        bOpen = g_state == OPEN_DONE;
        if (g_state == OPEN_UNTRIED && !g_bRequested)
            return;
    }
    if (!bOpen && !OpenWindowSystem())
        return;
    g_pModule->Pump();
}

void WaitServingWindowSystem(const std::atomic<short>* pbDone)
{
    for (;;) {
        bool bOpen;
        {
            std::unique_lock<std::mutex> lock(g_mutex);
            if (g_state == OPEN_DONE) {
                // GTK's pump does not block: look again shortly.
                g_changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return pbDone->load() != 0; });
            } else {
                g_changed.wait(lock, [&] { return pbDone->load() != 0 || (g_bRequested && g_state == OPEN_UNTRIED); });
            }
            if (pbDone->load() != 0)
                return;
            bOpen = g_state == OPEN_DONE || g_bRequested;
        }
        if (bOpen)
            PumpWindowSystem();
    }
}

void SetFlagAndWake(std::atomic<short>* pbFlag)
{
    // Set under the lock, so that the waiting thread, which must take it
    // again to return, cannot end the process while it is still held here.
    std::lock_guard<std::mutex> lock(g_mutex);
    *pbFlag = 1;
    g_changed.notify_all();
}

void SetQuestionCancelFlag(const std::atomic<short>* pbCancel)
{
    g_pbQuestionCancel = pbCancel;
}

CWindowModule* GetWindowModule()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_pModule;
}

bool WantWindowSystem()
{
    std::unique_lock<std::mutex> lock(g_mutex);
    if (g_state == OPEN_UNTRIED && g_bOnDemand && std::this_thread::get_id() != g_mainThread) {
        if (!HasDisplay())
            return false;
        g_bRequested = true;
        g_changed.notify_all();
        // The main thread looks at least every few milliseconds while it
        // waits for the worker.
        while (g_state == OPEN_UNTRIED) {
            const std::atomic<short>* pbCancel = g_pbQuestionCancel.load();
            if (pbCancel != nullptr && pbCancel->load() != 0)
                return false;
            g_changed.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    return g_state == OPEN_DONE;
}

bool AskRetryCancelInWindow(const char* pszText, const char* pszCaption, int* pnAnswer)
{
    // The main thread would wait for itself.
    if (std::this_thread::get_id() == g_mainThread || !WantWindowSystem())
        return false;
    *pnAnswer = GetWindowModule()->AskRetryCancel(pszText, pszCaption, g_pbQuestionCancel.load());
    return true;
}
