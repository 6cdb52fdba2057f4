#include "platform/TextMailbox.h"

CTextMailbox::CTextMailbox()
    : m_bOpen(false), m_bWakePending(false), m_pfnWake(nullptr), m_pContext(nullptr)
{
}

void CTextMailbox::Open(PFN_WAKE pfnWake, void* pContext)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bOpen = true;
    m_bWakePending = false;
    m_pfnWake = pfnWake;
    m_pContext = pContext;
    m_slots.clear();
}

bool CTextMailbox::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool bWasPending = m_bWakePending;
    m_bOpen = false;
    m_bWakePending = false;
    m_pfnWake = nullptr;
    m_pContext = nullptr;
    m_slots.clear();
    return bWasPending;
}

bool CTextMailbox::Put(int nID, const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bOpen)
        return false;
    Slot* pSlot = nullptr;
    for (Slot& slot : m_slots) {
        if (slot.nID == nID) {
            pSlot = &slot;
            break;
        }
    }
    if (pSlot == nullptr) {
        if (m_slots.size() >= kMaxSlots)
            return false;
        m_slots.push_back(Slot{nID, false, std::string()});
        pSlot = &m_slots.back();
    }
    pSlot->text.assign(pszText != nullptr ? pszText : "");
    pSlot->bChanged = true;
    if (!m_bWakePending && m_pfnWake != nullptr) {
        m_bWakePending = true;
        m_pfnWake(m_pContext);
    }
    return true;
}

std::vector<std::pair<int, std::string>> CTextMailbox::Take()
{
    std::vector<std::pair<int, std::string>> texts;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bWakePending = false;
    for (Slot& slot : m_slots) {
        if (slot.bChanged) {
            texts.emplace_back(slot.nID, slot.text);
            slot.bChanged = false;
        }
    }
    return texts;
}
