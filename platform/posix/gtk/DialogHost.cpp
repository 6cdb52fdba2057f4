// The template-to-widget host of the GTK module.  GTK has no dialog
// manager, so this file plays its part: it builds a window from a template
// (dialog units converted at base units of 7 x 12 pixels), lays the controls
// out at fixed positions, and turns GTK's signals into the messages the
// dialogs' message maps expect (WM_SIZE from configure events, WM_TIMER from
// timeouts, WM_COMMAND from buttons and the Escape and Enter keys,
// WM_SYSCOMMAND from the close box and from the right-click menu that stands
// in for the system menu).  What no handler takes gets the default handling
// Windows would give.
#include <cstring>

#include "GtkWindows.h"

namespace {

const char* const DIALOG_WIDGET_NAME = "tandemix-dialog";

// Windows font names of the templates and the installed fonts that stand in
// for them; the last entries of each list are fallbacks.
struct FontAlias {
    const char* pszWindows;
    const char* pszFamilies;
};

const FontAlias FONT_ALIASES[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic, IPAGothic, Noto Sans CJK JP, sans-serif"},
    {"ＭＳ ゴシック", "IPAGothic, Noto Sans Mono CJK JP, monospace"},
};

std::string FontFamiliesFor(const char* pszWindowsFont)
{
    for (const FontAlias& alias : FONT_ALIASES) {
        if (std::strcmp(alias.pszWindows, pszWindowsFont) == 0)
            return alias.pszFamilies;
    }
    return std::string(pszWindowsFont) + ", sans-serif";
}

// A static's text as shown: without the "&" access-key marks unless the
// control asks for them to be shown as they are.
std::string DisplayedStaticText(const HWND__* pControl)
{
    if ((pControl->dwStyle & SS_NOPREFIX) != 0)
        return pControl->text;
    std::string out;
    const std::string& text = pControl->text;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

void EnsureStyleSheet()
{
    static bool bDone = false;
    if (bDone)
        return;
    bDone = true;
    std::string families = FontFamiliesFor("ＭＳ Ｐゴシック");
    std::string css;
    css += "#";
    css += DIALOG_WIDGET_NAME;
    css += " button { min-height: 0; min-width: 0; padding: 0 2px; }\n";
    css += "#";
    css += DIALOG_WIDGET_NAME;
    css += ", #";
    css += DIALOG_WIDGET_NAME;
    css += " * { font-family: ";
    // CSS wants each family quoted.
    std::string quoted;
    size_t nStart = 0;
    while (nStart < families.size()) {
        size_t nEnd = families.find(',', nStart);
        if (nEnd == std::string::npos)
            nEnd = families.size();
        std::string family = families.substr(nStart, nEnd - nStart);
        while (!family.empty() && family[0] == ' ')
            family.erase(0, 1);
        if (!quoted.empty())
            quoted += ", ";
        quoted += family == "sans-serif" ? family : "\"" + family + "\"";
        nStart = nEnd + 1;
    }
    css += quoted;
    css += "; font-size: 9pt; }\n";

    GtkCssProvider* pProvider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(pProvider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(pProvider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(pProvider);
}
}  // namespace

std::string ValidUtf8(const char* pszText)
{
    gchar* pszValid = g_utf8_make_valid(pszText != nullptr ? pszText : "", -1);
    std::string text(pszValid);
    g_free(pszValid);
    return text;
}

std::string MnemonicFromAccessKeys(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&' && i + 1 < text.size()) {
            ++i;
            out += text[i] == '&' ? "&" : "_";
            if (text[i] == '_')
                out += "__";
            else if (text[i] != '&')
                out += text[i];
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

HWND FindControlOf(HWND hTop, int nID)
{
    if (hTop == nullptr)
        return nullptr;
    for (HWND hChild : hTop->children) {
        if (hChild->nID == nID)
            return hChild;
    }
    return nullptr;
}

bool IsTopLevel(HWND hWnd)
{
    return hWnd != nullptr && hWnd->pTop == hWnd;
}

RECT CDialogHost::FrameWidths(HWND hTop)
{
    RECT frame = {0, 0, 0, 0};
    GdkWindow* pGdk = gtk_widget_get_window(hTop->pWidget);
    if (pGdk == nullptr || !hTop->bMapped)
        return frame;
    GdkRectangle rcFrame;
    gdk_window_get_frame_extents(pGdk, &rcFrame);
    int xClient = 0;
    int yClient = 0;
    gdk_window_get_origin(pGdk, &xClient, &yClient);
    frame.left = xClient - rcFrame.x;
    frame.top = yClient - rcFrame.y;
    frame.right = rcFrame.x + rcFrame.width - (xClient + hTop->cxClient);
    frame.bottom = rcFrame.y + rcFrame.height - (yClient + hTop->cyClient);
    if (frame.left < 0 || frame.top < 0 || frame.right < 0 || frame.bottom < 0)
        frame = RECT{0, 0, 0, 0};
    return frame;
}

namespace {

HWND CreateControl(HWND hTop, const DialogItemTemplate& item, PFN_FIND_ICON pfnFindIcon)
{
    HWND hControl = new HWND__();
    hControl->pTop = hTop;
    hControl->nID = item.nID;
    hControl->className = item.pszClass;
    hControl->dwStyle = item.dwStyle;
    hControl->pIcon = item.nIconID != 0 ? pfnFindIcon(item.nIconID) : nullptr;
    hControl->text = ValidUtf8(item.pszText);
    hControl->x = DialogUnitsToPixelsX(item.x);
    hControl->y = DialogUnitsToPixelsY(item.y);
    hControl->cx = DialogUnitsToPixelsX(item.cx);
    hControl->cy = DialogUnitsToPixelsY(item.cy);

    if (hControl->className == "BUTTON") {
        GtkWidget* pButton = gtk_button_new_with_mnemonic(MnemonicFromAccessKeys(hControl->text).c_str());
        gtk_widget_set_can_focus(pButton, (item.dwStyle & WS_TABSTOP) != 0);
        g_signal_connect(pButton, "clicked", G_CALLBACK(CDialogHost::OnButtonClicked), hControl);
        hControl->pWidget = pButton;
    } else {
        // A static icon takes the size of its icon, as on Windows.
        if ((item.dwStyle & SS_TYPEMASK) == SS_ICON) {
            hControl->cx = GetSystemMetrics(SM_CXICON);
            hControl->cy = GetSystemMetrics(SM_CYICON);
        }
        GtkWidget* pArea = gtk_drawing_area_new();
        g_signal_connect(pArea, "draw", G_CALLBACK(CDialogHost::OnDrawStatic), hControl);
        hControl->pWidget = pArea;
    }
    gtk_widget_set_size_request(hControl->pWidget, hControl->cx, hControl->cy);
    gtk_fixed_put(GTK_FIXED(hTop->pFixed), hControl->pWidget, hControl->x, hControl->y);
    return hControl;
}

}  // namespace

HWND CDialogHost::Create(CDialog* pDlg, const DialogTemplate* pTemplate, HWND hOwner, PFN_FIND_ICON pfnFindIcon)
{
    EnsureStyleSheet();

    HWND hTop = new HWND__();
    hTop->pDlg = pDlg;
    hTop->pTop = hTop;
    hTop->pOwner = hOwner;
    hTop->nID = 0;
    hTop->dwStyle = pTemplate->dwStyle;
    hTop->text = ValidUtf8(pTemplate->pszCaption);
    hTop->cxClient = DialogUnitsToPixelsX(pTemplate->cx);
    hTop->cyClient = DialogUnitsToPixelsY(pTemplate->cy);

    std::string font = FontFamiliesFor(pTemplate->pszFont) + " " + std::to_string(pTemplate->nPointSize);
    hTop->pFont = pango_font_description_from_string(font.c_str());

    GtkWidget* pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    hTop->pWidget = pWindow;
    gtk_widget_set_name(pWindow, DIALOG_WIDGET_NAME);
    gtk_window_set_title(GTK_WINDOW(pWindow), hTop->text.c_str());
    gtk_window_set_type_hint(GTK_WINDOW(pWindow), (pTemplate->dwExStyle & WS_EX_APPWINDOW) != 0
                                                      ? GDK_WINDOW_TYPE_HINT_NORMAL
                                                      : GDK_WINDOW_TYPE_HINT_DIALOG);
    if (hOwner != nullptr) {
        gtk_window_set_transient_for(GTK_WINDOW(pWindow), GTK_WINDOW(hOwner->pWidget));
        gtk_window_set_modal(GTK_WINDOW(pWindow), TRUE);
        if ((pTemplate->dwExStyle & WS_EX_APPWINDOW) == 0)
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(pWindow), TRUE);
    }

    BOOL bSizable = (pTemplate->dwStyle & WS_THICKFRAME) != 0;
    gtk_window_set_resizable(GTK_WINDOW(pWindow), bSizable);
    if (bSizable && pTemplate->bWidthOnly) {
        hTop->cxMin = hTop->cxClient;
        hTop->cyMin = hTop->cyClient;
        hTop->cyMax = hTop->cyClient;
        GdkGeometry geometry = {};
        geometry.min_width = hTop->cxMin;
        geometry.min_height = hTop->cyMin;
        geometry.max_width = G_MAXSHORT;
        geometry.max_height = hTop->cyMax;
        gtk_window_set_geometry_hints(GTK_WINDOW(pWindow), nullptr, &geometry,
                                      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    }
    gtk_window_set_default_size(GTK_WINDOW(pWindow), hTop->cxClient, hTop->cyClient);

    hTop->pFixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(pWindow), hTop->pFixed);
    if (!bSizable)
        gtk_widget_set_size_request(hTop->pFixed, hTop->cxClient, hTop->cyClient);
    for (int i = 0; i < pTemplate->nItems; ++i)
        hTop->children.push_back(CreateControl(hTop, pTemplate->pItems[i], pfnFindIcon));

    gtk_widget_add_events(pWindow, GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(pWindow, "configure-event", G_CALLBACK(OnConfigure), hTop);
    g_signal_connect(pWindow, "map-event", G_CALLBACK(OnMap), hTop);
    g_signal_connect(pWindow, "window-state-event", G_CALLBACK(OnWindowState), hTop);
    g_signal_connect(pWindow, "delete-event", G_CALLBACK(OnDelete), hTop);
    g_signal_connect(pWindow, "key-press-event", G_CALLBACK(OnKeyPress), hTop);
    g_signal_connect(pWindow, "button-press-event", G_CALLBACK(OnButtonPress), hTop);
    g_signal_connect(pWindow, "popup-menu", G_CALLBACK(OnPopupMenu), hTop);
    g_signal_connect(pWindow, "draw", G_CALLBACK(OnDrawWindow), hTop);
    return hTop;
}

void CDialogHost::Destroy(HWND hTop)
{
    for (const std::pair<const UINT_PTR, guint>& timer : hTop->timers)
        g_source_remove(timer.second);
    hTop->timers.clear();
    if (hTop->pSystemMenu != nullptr) {
        gtk_widget_destroy(hTop->pSystemMenu->pMenu);
        delete hTop->pSystemMenu;
    }
    gtk_widget_destroy(hTop->pWidget);
    for (HWND hChild : hTop->children)
        delete hChild;
    pango_font_description_free(hTop->pFont);
    if (hTop->pLoop != nullptr)
        g_main_loop_unref(hTop->pLoop);
    delete hTop;
}

LRESULT CDialogHost::Route(HWND hTop, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (hTop->pDlg->OnWndMsg(message, wParam, lParam, &lResult))
        return lResult;
    return DefaultHandling(hTop, message, wParam, lParam);
}

LRESULT CDialogHost::DefaultHandling(HWND hTop, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        // The window manager does the rest of the system commands itself.
        if ((wParam & 0xFFF0) == SC_CLOSE)
            return Route(hTop, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // A dialog closes as if its cancel command had been given.
        return Route(hTop, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    case WM_SETICON: {
        HICON hIcon = reinterpret_cast<HICON>(lParam);
        GList* pList = nullptr;
        if (hIcon != nullptr) {
            if (hIcon->pSmall != nullptr)
                pList = g_list_append(pList, hIcon->pSmall);
            if (hIcon->pBig != nullptr)
                pList = g_list_append(pList, hIcon->pBig);
        }
        gtk_window_set_icon_list(GTK_WINDOW(hTop->pWidget), pList);
        g_list_free(pList);
        return 0;
    }
    default:
        return 0;
    }
}

void CDialogHost::ResizeClient(HWND hTop, int cx, int cy)
{
    if (hTop->cxMin > 0 && cx < hTop->cxMin)
        cx = hTop->cxMin;
    if (hTop->cyMin > 0 && cy < hTop->cyMin)
        cy = hTop->cyMin;
    if (hTop->cyMax > 0 && cy > hTop->cyMax)
        cy = hTop->cyMax;
    if (cx < 1)
        cx = 1;
    if (cy < 1)
        cy = 1;
    if (cx == hTop->cxClient && cy == hTop->cyClient)
        return;
    gtk_window_resize(GTK_WINDOW(hTop->pWidget), cx, cy);
    // GTK sends nothing when it asked for this size before, even if the
    // window has been given another one since; the GDK window always moves.
    GdkWindow* pGdk = gtk_widget_get_window(hTop->pWidget);
    if (pGdk != nullptr && hTop->bMapped)
        gdk_window_resize(pGdk, cx, cy);
    hTop->cxClient = cx;
    hTop->cyClient = cy;
    // As on Windows, the size message arrives before the resize returns.
    ReportSize(hTop);
}

void CDialogHost::NoteMove(HWND hTop)
{
    if (hTop->pDlg->m_bInInit)
        hTop->pDlg->m_bMovedDuringInit = TRUE;
}

void CDialogHost::ReportSize(HWND hTop)
{
    Route(hTop, WM_SIZE, hTop->bIconic ? SIZE_MINIMIZED : SIZE_RESTORED,
          MAKELPARAM(hTop->cxClient, hTop->cyClient));
}

gboolean CDialogHost::OnPostedTexts(gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    hTop->pDlg->DeliverPostedTexts();
    return G_SOURCE_REMOVE;
}

gboolean CDialogHost::OnTimer(gpointer pData)
{
    TimerData* pTimer = static_cast<TimerData*>(pData);
    Route(pTimer->hTop, WM_TIMER, pTimer->nIDEvent, 0);
    return G_SOURCE_CONTINUE;
}

bool CDialogHost::ApplyPendingOuter(HWND hTop)
{
    if (!hTop->bMapped || !hTop->bPendingOuter)
        return false;
    // A window rectangle set before the window was shown took the whole
    // rectangle for the client area, as the frame was not known yet.  Once
    // the window manager has framed the window, the client area gets what
    // the frame leaves of it, so that the window stands where it was saved.
    // Without a window manager there is no frame and nothing to correct.
    RECT frame = FrameWidths(hTop);
    if (frame.left + frame.right + frame.top + frame.bottom == 0)
        return false;
    hTop->bPendingOuter = false;
    const RECT& rc = hTop->rcPendingOuter;
    gtk_window_move(GTK_WINDOW(hTop->pWidget), rc.left, rc.top);
    ResizeClient(hTop, rc.right - rc.left - frame.left - frame.right, rc.bottom - rc.top - frame.top - frame.bottom);
    return true;
}

gboolean CDialogHost::OnConfigure(GtkWidget*, GdkEventConfigure* pEvent, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    if (ApplyPendingOuter(hTop))
        return FALSE;
    if (pEvent->width != hTop->cxClient || pEvent->height != hTop->cyClient) {
        hTop->cxClient = pEvent->width;
        hTop->cyClient = pEvent->height;
        ReportSize(hTop);
    }
    return FALSE;
}

gboolean CDialogHost::OnMap(GtkWidget*, GdkEvent*, gpointer pData)
{
    // A window manager frames a window before it maps it, and may send no
    // configure event after: the frame is known here.
    HWND hTop = static_cast<HWND>(pData);
    hTop->bMapped = true;
    ApplyPendingOuter(hTop);
    return FALSE;
}

gboolean CDialogHost::OnWindowState(GtkWidget*, GdkEventWindowState* pEvent, gpointer pData)
{
    static_cast<HWND>(pData)->bIconic = (pEvent->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return FALSE;
}

gboolean CDialogHost::OnDelete(GtkWidget*, GdkEvent*, gpointer pData)
{
    // The close box is the system menu's Close; the dialog decides.
    Route(static_cast<HWND>(pData), WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;
}

gboolean CDialogHost::OnKeyPress(GtkWidget* pWidget, GdkEventKey* pEvent, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    GdkModifierType modifiers = static_cast<GdkModifierType>(pEvent->state & gtk_accelerator_get_default_mod_mask());
    switch (pEvent->keyval) {
    case GDK_KEY_Escape:
        if (modifiers == 0) {
            Route(hTop, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return TRUE;
        }
        break;
    case GDK_KEY_F4:
        if (modifiers == GDK_MOD1_MASK) {
            Route(hTop, WM_SYSCOMMAND, SC_CLOSE, 0);
            return TRUE;
        }
        break;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: {
        // A focused button takes Enter itself; otherwise the default push
        // button's command, or IDOK, as the dialog manager does.
        GtkWidget* pFocus = gtk_window_get_focus(GTK_WINDOW(pWidget));
        if (pFocus != nullptr && GTK_IS_BUTTON(pFocus))
            return FALSE;
        int nID = IDOK;
        for (HWND hChild : hTop->children) {
            if (hChild->className == "BUTTON" && (hChild->dwStyle & 0xF) == BS_DEFPUSHBUTTON) {
                nID = hChild->nID;
                break;
            }
        }
        Route(hTop, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), 0);
        return TRUE;
    }
    default:
        break;
    }
    return FALSE;
}

gboolean CDialogHost::OnButtonPress(GtkWidget*, GdkEventButton* pEvent, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    if (pEvent->type != GDK_BUTTON_PRESS || pEvent->button != GDK_BUTTON_SECONDARY)
        return FALSE;
    if (hTop->pSystemMenu == nullptr || hTop->pSystemMenu->nItems == 0)
        return FALSE;
    gtk_menu_popup_at_pointer(GTK_MENU(hTop->pSystemMenu->pMenu), reinterpret_cast<GdkEvent*>(pEvent));
    return TRUE;
}

gboolean CDialogHost::OnPopupMenu(GtkWidget*, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    if (hTop->pSystemMenu == nullptr || hTop->pSystemMenu->nItems == 0)
        return FALSE;
    gtk_menu_popup_at_widget(GTK_MENU(hTop->pSystemMenu->pMenu), hTop->pFixed, GDK_GRAVITY_NORTH_WEST,
                             GDK_GRAVITY_NORTH_WEST, nullptr);
    return TRUE;
}

gboolean CDialogHost::OnDrawWindow(GtkWidget*, cairo_t* cr, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    hTop->paintDC.cr = cr;
    LRESULT lResult = 0;
    BOOL bHandled = hTop->pDlg->OnWndMsg(WM_PAINT, 0, 0, &lResult);
    hTop->paintDC.cr = nullptr;
    return bHandled ? TRUE : FALSE;
}

gboolean CDialogHost::OnDrawStatic(GtkWidget* pWidget, cairo_t* cr, gpointer pData)
{
    HWND hControl = static_cast<HWND>(pData);
    int cx = gtk_widget_get_allocated_width(pWidget);
    int cy = gtk_widget_get_allocated_height(pWidget);

    if ((hControl->dwStyle & SS_TYPEMASK) == SS_ICON) {
        HICON hIcon = LoadIconImages(hControl->pIcon);
        if (hIcon != nullptr && hIcon->pBig != nullptr) {
            gdk_cairo_set_source_pixbuf(cr, hIcon->pBig, 0, 0);
            cairo_paint(cr);
        }
        return FALSE;
    }

    // WS_BORDER: a black line; SS_SUNKEN: a shadow inside it, dark at the
    // top and left, light at the bottom and right.
    int nInset = 0;
    if ((hControl->dwStyle & WS_BORDER) != 0) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_rectangle(cr, 0.5, 0.5, cx - 1, cy - 1);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        nInset = 1;
    }
    if ((hControl->dwStyle & SS_SUNKEN) != 0) {
        double d = nInset + 0.5;
        cairo_set_line_width(cr, 1);
        cairo_set_source_rgb(cr, 0.63, 0.63, 0.63);
        cairo_move_to(cr, d, cy - nInset - 1);
        cairo_line_to(cr, d, d);
        cairo_line_to(cr, cx - nInset - 1, d);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, cx - nInset - 0.5, nInset + 1);
        cairo_line_to(cr, cx - nInset - 0.5, cy - nInset - 0.5);
        cairo_line_to(cr, nInset + 1, cy - nInset - 0.5);
        cairo_stroke(cr);
        nInset += 1;
    }

    // One line, neither wrapped nor shortened: what does not fit is cut off
    // at the control's edge.
    cairo_rectangle(cr, nInset, nInset, cx - 2 * nInset, cy - 2 * nInset);
    cairo_clip(cr);
    PangoLayout* pLayout = gtk_widget_create_pango_layout(pWidget, nullptr);
    pango_layout_set_font_description(pLayout, hControl->pTop->pFont);
    std::string text = DisplayedStaticText(hControl);
    pango_layout_set_text(pLayout, text.c_str(), -1);
    int cxText = 0;
    int cyText = 0;
    pango_layout_get_pixel_size(pLayout, &cxText, &cyText);
    int x = nInset + 1;
    if ((hControl->dwStyle & SS_TYPEMASK) == SS_CENTER)
        x = (cx - cxText) / 2;
    GdkRGBA colour;
    gtk_style_context_get_color(gtk_widget_get_style_context(pWidget), GTK_STATE_FLAG_NORMAL, &colour);
    gdk_cairo_set_source_rgba(cr, &colour);
    cairo_move_to(cr, x, nInset);
    pango_cairo_show_layout(cr, pLayout);
    g_object_unref(pLayout);
    return FALSE;
}

void CDialogHost::OnButtonClicked(GtkButton*, gpointer pData)
{
    HWND hControl = static_cast<HWND>(pData);
    Route(hControl->pTop, WM_COMMAND, MAKEWPARAM(hControl->nID, BN_CLICKED), reinterpret_cast<LPARAM>(hControl));
}

void CDialogHost::OnMenuItem(GtkMenuItem* pItem, gpointer pData)
{
    HWND hTop = static_cast<HWND>(pData);
    UINT_PTR nID = reinterpret_cast<UINT_PTR>(g_object_get_data(G_OBJECT(pItem), "tandemix-command"));
    Route(hTop, WM_SYSCOMMAND, nID, 0);
}
