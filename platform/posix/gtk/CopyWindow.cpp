// The program's own copy window: a small window with a progress bar and an
// abort button, shown while a long copy runs (CopyProgress.cpp decides when).
#include <algorithm>
#include <cstdio>
#include <cstring>

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
    // A name that window managers (and the GUI test) can tell it by.
    gtk_window_set_role(GTK_WINDOW(g_window.pWindow), "tandemix-copy");
    gtk_window_set_resizable(GTK_WINDOW(g_window.pWindow), FALSE);
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

// The widths of the frame a window manager put around a shown window (all
// zero without one).
struct FrameWidths {
    int left, top, right, bottom;
};

FrameWidths FrameOf(GdkWindow* pGdk)
{
    GdkRectangle rc;
    gdk_window_get_frame_extents(pGdk, &rc);
    int x = 0;
    int y = 0;
    gdk_window_get_origin(pGdk, &x, &y);
    return FrameWidths{x - rc.x, y - rc.y, rc.x + rc.width - x - gdk_window_get_width(pGdk),
                       rc.y + rc.height - y - gdk_window_get_height(pGdk)};
}

// Puts the copy window beside the program's other shown windows (the
// progress window, at display level 3), never over them, so that their
// buttons and its own stay in reach: below them when the screen has room,
// else above, right or left of them; centred on the screen when there are
// none, or no side has room.
void PlaceCopyWindow()
{
    GtkWindow* pCopy = GTK_WINDOW(g_window.pWindow);
    GdkRectangle rcOthers = {0, 0, 0, 0};
    GdkWindow* pOther = nullptr;
    GList* pList = gtk_window_list_toplevels();
    for (GList* p = pList; p != nullptr; p = p->next) {
        GtkWidget* pWidget = GTK_WIDGET(p->data);
        GdkWindow* pGdk = gtk_widget_get_window(pWidget);
        if (pWidget == g_window.pWindow || pGdk == nullptr || !gtk_widget_get_mapped(pWidget) ||
            std::strcmp(gtk_widget_get_name(pWidget), "tandemix-dialog") != 0)
            continue;
        GdkRectangle rc;
        gdk_window_get_frame_extents(pGdk, &rc);
        if (pOther == nullptr)
            rcOthers = rc;
        else
            gdk_rectangle_union(&rcOthers, &rc, &rcOthers);
        pOther = pGdk;
    }
    g_list_free(pList);
    if (pOther == nullptr) {
        gtk_window_set_position(pCopy, GTK_WIN_POS_CENTER);
        return;
    }

    // Its frame will be like theirs; its size is what its contents ask.
    FrameWidths frame = FrameOf(pOther);
    GtkRequisition size;
    gtk_widget_get_preferred_size(g_window.pWindow, nullptr, &size);
    int cx = size.width + frame.left + frame.right;
    int cy = size.height + frame.top + frame.bottom;
    GdkRectangle rcWork;
    gdk_monitor_get_workarea(gdk_display_get_monitor_at_window(gdk_window_get_display(pOther), pOther), &rcWork);

    const int GAP = 8;
    int xCentred = rcOthers.x + (rcOthers.width - cx) / 2;
    int yCentred = rcOthers.y + (rcOthers.height - cy) / 2;
    const GdkPoint PLACES[] = {
        {xCentred, rcOthers.y + rcOthers.height + GAP},   // below
        {xCentred, rcOthers.y - GAP - cy},                // above
        {rcOthers.x + rcOthers.width + GAP, yCentred},    // right
        {rcOthers.x - GAP - cx, yCentred},                // left
    };
    for (size_t i = 0; i < sizeof PLACES / sizeof PLACES[0]; ++i) {
        // Slid along its side to stay inside the work area.
        int x = PLACES[i].x;
        int y = PLACES[i].y;
        if (i < 2)
            x = std::max(rcWork.x, std::min(x, rcWork.x + rcWork.width - cx));
        else
            y = std::max(rcWork.y, std::min(y, rcWork.y + rcWork.height - cy));
        if (x >= rcWork.x && y >= rcWork.y && x + cx <= rcWork.x + rcWork.width &&
            y + cy <= rcWork.y + rcWork.height) {
            gtk_window_set_position(pCopy, GTK_WIN_POS_NONE);
            gtk_window_move(pCopy, x, y);
            return;
        }
    }
    gtk_window_set_position(pCopy, GTK_WIN_POS_CENTER);
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
    if (!gtk_widget_get_visible(g_window.pWindow)) {
        // Placed each time it opens: the other windows may have moved.
        gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(g_window.pWindow)));
        PlaceCopyWindow();
        gtk_widget_show(g_window.pWindow);
    }
}
