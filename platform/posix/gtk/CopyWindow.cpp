// The program's own copy window: a small window with a progress bar and an
// abort button, shown while a long copy runs (CopyProgress.cpp decides when).
#include <cstdio>

#include "GtkWindows.h"

namespace {

struct CopyWindow {
    GtkWidget* pWindow;
    GtkWidget* pFrom;
    GtkWidget* pTo;
    GtkWidget* pBar;
    GtkWidget* pAbort;
    unsigned nCopy;
    std::atomic<unsigned>* pnAborted;
};
CopyWindow g_window = {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr};

void OnAbort(GtkButton*, gpointer)
{
    if (g_window.pnAborted != nullptr)
        g_window.pnAborted->store(g_window.nCopy);
    gtk_widget_set_sensitive(g_window.pAbort, FALSE);
}

gboolean OnDeleteCopyWindow(GtkWidget*, GdkEvent*, gpointer)
{
    // Closing the window aborts the copy, as the shell's window does.
    OnAbort(nullptr, nullptr);
    return TRUE;
}

GtkWidget* AddLabel(GtkWidget* pBox)
{
    GtkWidget* pLabel = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(pLabel), 0);
    gtk_label_set_ellipsize(GTK_LABEL(pLabel), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_width_chars(GTK_LABEL(pLabel), 50);
    gtk_box_pack_start(GTK_BOX(pBox), pLabel, FALSE, FALSE, 0);
    return pLabel;
}

void CreateCopyWindow()
{
    g_window.pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(g_window.pWindow, "tandemix-dialog");
    gtk_window_set_title(GTK_WINDOW(g_window.pWindow), "コピーしています...");
    gtk_window_set_resizable(GTK_WINDOW(g_window.pWindow), FALSE);
    gtk_window_set_position(GTK_WINDOW(g_window.pWindow), GTK_WIN_POS_CENTER);
    g_signal_connect(g_window.pWindow, "delete-event", G_CALLBACK(OnDeleteCopyWindow), nullptr);

    GtkWidget* pBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(pBox), 10);
    gtk_container_add(GTK_CONTAINER(g_window.pWindow), pBox);
    g_window.pFrom = AddLabel(pBox);
    g_window.pTo = AddLabel(pBox);
    g_window.pBar = gtk_progress_bar_new();
    gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(g_window.pBar), TRUE);
    gtk_box_pack_start(GTK_BOX(pBox), g_window.pBar, FALSE, FALSE, 0);
    g_window.pAbort = gtk_button_new_with_label("中止");
    g_signal_connect(g_window.pAbort, "clicked", G_CALLBACK(OnAbort), nullptr);
    gtk_widget_set_halign(g_window.pAbort, GTK_ALIGN_END);
    gtk_box_pack_start(GTK_BOX(pBox), g_window.pAbort, FALSE, FALSE, 0);
}

}  // namespace

void CGtkModule::ShowCopyWindow(const CopyWindowState& state)
{
    if (!state.bShow) {
        if (g_window.pWindow != nullptr)
            gtk_widget_hide(g_window.pWindow);
        return;
    }
    if (g_window.pWindow == nullptr)
        CreateCopyWindow();
    g_window.pnAborted = state.pnAborted;
    if (g_window.nCopy != state.nCopy) {
        g_window.nCopy = state.nCopy;
        gtk_widget_set_sensitive(g_window.pAbort, TRUE);
    }
    gtk_label_set_text(GTK_LABEL(g_window.pFrom), ValidUtf8((std::string("元: ") + state.pszFrom).c_str()).c_str());
    gtk_label_set_text(GTK_LABEL(g_window.pTo), ValidUtf8((std::string("先: ") + state.pszTo).c_str()).c_str());
    double dFraction = state.nTotal > 0 ? static_cast<double>(state.nDone) / static_cast<double>(state.nTotal) : 1.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(g_window.pBar), dFraction);
    char szPercent[16];
    if (std::snprintf(szPercent, sizeof szPercent, "%d%%", static_cast<int>(dFraction * 100)) > 0)
        gtk_progress_bar_set_text(GTK_PROGRESS_BAR(g_window.pBar), szPercent);
    gtk_widget_show_all(g_window.pWindow);
}
