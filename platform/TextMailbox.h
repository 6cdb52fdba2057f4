// Texts for a window's controls, handed from a worker thread to the window's
// own thread.  The worker leaves each text in its control's slot and wakes
// the window's thread only when no wake-up is already on its way; the window
// takes the newest text of every slot when it runs.  Neither side ever waits
// for the other longer than it takes to copy a text.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CTextMailbox {
public:
    // Called with the mailbox locked when the window's thread must be woken;
    // it must not wait for that thread.
    typedef void (*PFN_WAKE)(void* pContext);

    CTextMailbox();

    // Accepts texts from now on; pfnWake wakes the window's thread.
    void Open(PFN_WAKE pfnWake, void* pContext);
    // Refuses texts from now on and forgets what was waiting.  TRUE when a
    // wake-up was still on its way (the caller may have to withdraw it).
    bool Close();

    // Leaves a text for a control.  FALSE when the mailbox is closed or has
    // no room for another control (it has a slot for each of kMaxSlots).
    bool Put(int nID, const char* pszText);

    // Takes the texts left since the last call, one per control, in the
    // order the controls were first written.
    std::vector<std::pair<int, std::string>> Take();

    static const size_t kMaxSlots = 16;

private:
    struct Slot {
        int nID;
        bool bChanged;
        std::string text;
    };

    std::mutex m_mutex;
    bool m_bOpen;
    bool m_bWakePending;
    PFN_WAKE m_pfnWake;
    void* m_pContext;
    std::vector<Slot> m_slots;
};
