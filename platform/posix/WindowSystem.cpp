// Opening GTK, the main thread's hand for work that other threads hand it,
// and the not-ready question as a message box.
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Dialog.h"
#include "platform/posix/WindowSystem.h"

namespace {

std::atomic<bool> g_bOpen{false};
std::thread::id g_mainThread;
std::atomic<const std::atomic<short>*> g_pbQuestionCancel{nullptr};

struct WindowCall {
    void (*pfn)(void*);
    void* pData;
};

gboolean RunWindowCall(gpointer pData)
{
    std::unique_ptr<WindowCall> pCall(static_cast<WindowCall*>(pData));
    pCall->pfn(pCall->pData);
    return G_SOURCE_REMOVE;
}

struct Question {
    std::mutex mutex;
    std::condition_variable answered;
    std::string text;
    std::string caption;
    int nAnswer = 0;   // 0 until answered
};

std::string ValidUtf8(const std::string& text)
{
    gchar* pszValid = g_utf8_make_valid(text.c_str(), -1);
    std::string valid(pszValid);
    g_free(pszValid);
    return valid;
}

void OnQuestionAnswered(GtkDialog* pBox, gint nResponse, gpointer pData)
{
    Question& question = **static_cast<std::shared_ptr<Question>*>(pData);
    {
        std::lock_guard<std::mutex> lock(question.mutex);
        // Closing the box is Cancel, as with a Windows message box.
        question.nAnswer = nResponse == IDRETRY ? IDRETRY : IDCANCEL;
    }
    question.answered.notify_all();
    gtk_widget_destroy(GTK_WIDGET(pBox));
}

void DeleteQuestion(gpointer pData, GClosure*)
{
    delete static_cast<std::shared_ptr<Question>*>(pData);
}

void ShowQuestion(void* pData)
{
    std::shared_ptr<Question>* pQuestion = static_cast<std::shared_ptr<Question>*>(pData);
    GtkWidget* pBox = gtk_message_dialog_new(nullptr, static_cast<GtkDialogFlags>(0), GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s",
                                             ValidUtf8((*pQuestion)->text).c_str());
    gtk_window_set_title(GTK_WINDOW(pBox), ValidUtf8((*pQuestion)->caption).c_str());
    gtk_dialog_add_buttons(GTK_DIALOG(pBox), "再試行(_R)", IDRETRY, "キャンセル", IDCANCEL, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(pBox), IDRETRY);
    gtk_window_set_position(GTK_WINDOW(pBox), GTK_WIN_POS_CENTER);
    g_signal_connect_data(pBox, "response", G_CALLBACK(OnQuestionAnswered), pQuestion, &DeleteQuestion,
                          static_cast<GConnectFlags>(0));
    gtk_widget_show_all(pBox);
}

}  // namespace

BOOL OpenWindowSystem()
{
    static int nState = -1;   // -1 not tried yet, 0 none, 1 open
    if (nState < 0) {
        // The program keeps the locale it started with: name comparisons and
        // number reading must not change with the user's language.
        gtk_disable_setlocale();
        nState = gtk_init_check(nullptr, nullptr) ? 1 : 0;
        g_mainThread = std::this_thread::get_id();
        g_bOpen = nState == 1;
    }
    return nState == 1;
}

void PumpWindowSystem()
{
    if (!g_bOpen)
        return;
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

void SetQuestionCancelFlag(const std::atomic<short>* pbCancel)
{
    g_pbQuestionCancel = pbCancel;
}

bool IsWindowSystemOpen()
{
    return g_bOpen;
}

void RunOnWindowThread(void (*pfn)(void*), void* pData)
{
    g_idle_add_full(G_PRIORITY_DEFAULT, &RunWindowCall, new WindowCall{pfn, pData}, nullptr);
}

bool AskRetryCancelInWindow(const char* pszText, const char* pszCaption, int* pnAnswer)
{
    // The main thread would wait for itself.
    if (!g_bOpen || std::this_thread::get_id() == g_mainThread)
        return false;
    std::shared_ptr<Question> pQuestion = std::make_shared<Question>();
    pQuestion->text = pszText != nullptr ? pszText : "";
    pQuestion->caption = pszCaption != nullptr ? pszCaption : "";
    RunOnWindowThread(&ShowQuestion, new std::shared_ptr<Question>(pQuestion));

    std::unique_lock<std::mutex> lock(pQuestion->mutex);
    while (pQuestion->nAnswer == 0) {
        const std::atomic<short>* pbCancel = g_pbQuestionCancel.load();
        if (pbCancel != nullptr && pbCancel->load() != 0) {
            *pnAnswer = IDCANCEL;
            return true;
        }
        pQuestion->answered.wait_for(lock, std::chrono::milliseconds(10));
    }
    *pnAnswer = pQuestion->nAnswer;
    return true;
}
