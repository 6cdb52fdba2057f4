// The GTK module's entry point and the window system itself: opening GTK,
// the main thread's hand for work that other threads hand it, signals
// delivered on the main loop, and the not-ready question as a message box.
#include <glib-unix.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "GtkWindows.h"

namespace {

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

struct SignalWatch {
    void (*pfn)(void*);
    void* pData;
};

gboolean RunSignalWatch(gpointer pData)
{
    SignalWatch* pWatch = static_cast<SignalWatch*>(pData);
    pWatch->pfn(pWatch->pData);
    return G_SOURCE_CONTINUE;
}

void DeleteSignalWatch(gpointer pData)
{
    delete static_cast<SignalWatch*>(pData);
}

struct Question {
    std::mutex mutex;
    std::condition_variable answered;
    std::string text;
    std::string caption;
    int nAnswer = 0;   // 0 until answered
};

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
    GtkWidget* pBox = gtk_message_dialog_new(nullptr, static_cast<GtkDialogFlags>(0), GTK_MESSAGE_WARNING,
                                             GTK_BUTTONS_NONE, "%s", ValidUtf8((*pQuestion)->text.c_str()).c_str());
    gtk_window_set_title(GTK_WINDOW(pBox), ValidUtf8((*pQuestion)->caption.c_str()).c_str());
    gtk_dialog_add_buttons(GTK_DIALOG(pBox), "再試行(_R)", IDRETRY, "キャンセル", IDCANCEL, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(pBox), IDRETRY);
    gtk_window_set_position(GTK_WINDOW(pBox), GTK_WIN_POS_CENTER);
    g_signal_connect_data(pBox, "response", G_CALLBACK(OnQuestionAnswered), pQuestion, &DeleteQuestion,
                          static_cast<GConnectFlags>(0));
    gtk_widget_show_all(pBox);
}

}  // namespace

BOOL CGtkModule::Open()
{
    // The program keeps the locale it started with: name comparisons and
    // number reading must not change with the user's language.
    gtk_disable_setlocale();
    return gtk_init_check(nullptr, nullptr);
}

void CGtkModule::Pump()
{
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

void CGtkModule::RunOnWindowThread(void (*pfn)(void*), void* pData)
{
    g_idle_add_full(G_PRIORITY_DEFAULT, &RunWindowCall, new WindowCall{pfn, pData}, nullptr);
}

int CGtkModule::AskRetryCancel(const char* pszText, const char* pszCaption, const std::atomic<short>* pbCancel)
{
    std::shared_ptr<Question> pQuestion = std::make_shared<Question>();
    pQuestion->text = pszText != nullptr ? pszText : "";
    pQuestion->caption = pszCaption != nullptr ? pszCaption : "";
    RunOnWindowThread(&ShowQuestion, new std::shared_ptr<Question>(pQuestion));

    std::unique_lock<std::mutex> lock(pQuestion->mutex);
    while (pQuestion->nAnswer == 0) {
        if (pbCancel != nullptr && pbCancel->load() != 0)
            return IDCANCEL;
        pQuestion->answered.wait_for(lock, std::chrono::milliseconds(10));
    }
    return pQuestion->nAnswer;
}

unsigned CGtkModule::AddSignalWatch(int nSignal, void (*pfn)(void*), void* pData)
{
    return g_unix_signal_add_full(G_PRIORITY_DEFAULT, nSignal, &RunSignalWatch, new SignalWatch{pfn, pData},
                                  &DeleteSignalWatch);
}

void CGtkModule::RemoveSignalWatch(unsigned nSource)
{
    g_source_remove(nSource);
}

extern "C" __attribute__((visibility("default"))) CWindowModule* TandemixWindowModule(int nVersion)
{
    static CGtkModule module;
    return nVersion == WINDOW_MODULE_VERSION ? &module : nullptr;
}
