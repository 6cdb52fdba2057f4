// The window wrappers of the GTK module: the operations of CWnd, CDialog,
// CMenu and CPaintDC on the windows that DialogHost.cpp builds, with their
// Win32 meanings.
#include <cstring>

#include "GtkWindows.h"

namespace {

void DestroyTimerData(gpointer pData)
{
    delete static_cast<CDialogHost::TimerData*>(pData);
}

GdkPixbuf* PixbufFromImage(const IconResource& icon, const IconImage& image)
{
    GdkPixbuf* pPixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, image.nSize, image.nSize);
    int nStride = gdk_pixbuf_get_rowstride(pPixbuf);
    guchar* pPixels = gdk_pixbuf_get_pixels(pPixbuf);
    for (int y = 0; y < image.nSize; ++y) {
        for (int x = 0; x < image.nSize; ++x) {
            guchar* p = pPixels + y * nStride + x * 4;
            char c = image.ppszRows[y][x];
            int nIndex = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (nIndex < 0) {
                p[0] = p[1] = p[2] = p[3] = 0;
            } else {
                p[0] = icon.pPalette[nIndex][0];
                p[1] = icon.pPalette[nIndex][1];
                p[2] = icon.pPalette[nIndex][2];
                p[3] = 255;
            }
        }
    }
    return pPixbuf;
}

}  // namespace

HICON LoadIconImages(const IconResource* pIcon)
{
    // Made once and shared, as resource icons are on Windows.
    static std::map<const IconResource*, HICON__> icons;
    if (pIcon == nullptr)
        return nullptr;
    std::map<const IconResource*, HICON__>::iterator it = icons.find(pIcon);
    if (it != icons.end())
        return &it->second;
    HICON__ icon = {nullptr, nullptr};
    for (int i = 0; i < pIcon->nImages; ++i) {
        const IconImage& image = pIcon->pImages[i];
        if (image.nSize == 32 && icon.pBig == nullptr)
            icon.pBig = PixbufFromImage(*pIcon, image);
        else if (image.nSize == 16 && icon.pSmall == nullptr)
            icon.pSmall = PixbufFromImage(*pIcon, image);
    }
    return &(icons[pIcon] = icon);
}

HICON CGtkModule::LoadIcon(const IconResource* pIcon)
{
    return LoadIconImages(pIcon);
}

// ---------------------------------------------------------------------------

HWND CGtkModule::CreateDialogWindow(CDialog* pDlg, const DialogTemplate* pTemplate, HWND hOwner,
                                    PFN_FIND_ICON pfnFindIcon)
{
    if (hOwner != nullptr && !IsTopLevel(hOwner))
        hOwner = hOwner->pTop;
    return CDialogHost::Create(pDlg, pTemplate, hOwner, pfnFindIcon);
}

INT_PTR CGtkModule::RunModal(HWND hTop, BOOL bCentre, BOOL bFocusFirst)
{
    if (bCentre) {
        gtk_window_set_position(GTK_WINDOW(hTop->pWidget),
                                hTop->pOwner != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    }
    if (!hTop->bEnded) {
        gtk_widget_show_all(hTop->pWidget);
        if (bFocusFirst) {
            for (HWND hChild : hTop->children) {
                if ((hChild->dwStyle & WS_TABSTOP) != 0) {
                    gtk_widget_grab_focus(hChild->pWidget);
                    break;
                }
            }
        }
        hTop->pLoop = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(hTop->pLoop);
    }
    return hTop->nResult;
}

void CGtkModule::EndDialog(HWND hTop, int nResult)
{
    if (!IsTopLevel(hTop))
        return;
    hTop->nResult = nResult;
    hTop->bEnded = true;
    if (hTop->pLoop != nullptr)
        g_main_loop_quit(hTop->pLoop);
}

void CGtkModule::DestroyDialogWindow(HWND hTop, bool bWakePending)
{
    if (bWakePending && hTop->nIdleSource != 0)
        g_source_remove(hTop->nIdleSource);
    CDialogHost::Destroy(hTop);
    // Let the window system see the window go before anything else runs.
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

void CGtkModule::WakeDialog(HWND hTop)
{
    hTop->nIdleSource = g_idle_add_full(G_PRIORITY_DEFAULT, &CDialogHost::OnPostedTexts, hTop, nullptr);
}

// ---------------------------------------------------------------------------

HWND CGtkModule::FindControl(HWND hTop, int nID)
{
    return FindControlOf(hTop, nID);
}

HMENU CGtkModule::GetSystemMenu(HWND hWnd)
{
    if (!IsTopLevel(hWnd) || (hWnd->dwStyle & WS_SYSMENU) == 0)
        return nullptr;
    if (hWnd->pSystemMenu == nullptr) {
        HMENU hMenu = new HMENU__();
        hMenu->pMenu = gtk_menu_new();
        g_object_ref_sink(hMenu->pMenu);
        hMenu->hOwner = hWnd;
        gtk_menu_attach_to_widget(GTK_MENU(hMenu->pMenu), hWnd->pWidget, nullptr);
        hWnd->pSystemMenu = hMenu;
    }
    return hWnd->pSystemMenu;
}

BOOL CGtkModule::AppendMenu(HMENU hMenu, UINT nFlags, UINT_PTR nIDNewItem, const char* pszNewItem)
{
    GtkWidget* pItem;
    if ((nFlags & MF_SEPARATOR) != 0) {
        pItem = gtk_separator_menu_item_new();
    } else {
        pItem = gtk_menu_item_new_with_mnemonic(MnemonicFromAccessKeys(ValidUtf8(pszNewItem)).c_str());
        g_object_set_data(G_OBJECT(pItem), "tandemix-command", reinterpret_cast<gpointer>(nIDNewItem));
        g_signal_connect(pItem, "activate", G_CALLBACK(CDialogHost::OnMenuItem), hMenu->hOwner);
    }
    gtk_widget_show(pItem);
    gtk_menu_shell_append(GTK_MENU_SHELL(hMenu->pMenu), pItem);
    ++hMenu->nItems;
    return TRUE;
}

LRESULT CGtkModule::SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsTopLevel(hWnd))
        return 0;
    return CDialogHost::Route(hWnd, message, wParam, lParam);
}

UINT_PTR CGtkModule::SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse)
{
    if (!IsTopLevel(hWnd))
        return 0;
    std::map<UINT_PTR, guint>::iterator it = hWnd->timers.find(nIDEvent);
    if (it != hWnd->timers.end())
        g_source_remove(it->second);
    CDialogHost::TimerData* pTimer = new CDialogHost::TimerData{hWnd, nIDEvent};
    hWnd->timers[nIDEvent] =
        g_timeout_add_full(G_PRIORITY_DEFAULT, nElapse, &CDialogHost::OnTimer, pTimer, &DestroyTimerData);
    return nIDEvent;
}

BOOL CGtkModule::IsIconic(HWND hWnd)
{
    return IsTopLevel(hWnd) && hWnd->bIconic;
}

void CGtkModule::GetClientRect(HWND hWnd, RECT* pRect)
{
    if (IsTopLevel(hWnd)) {
        pRect->right = hWnd->cxClient;
        pRect->bottom = hWnd->cyClient;
    } else {
        pRect->right = hWnd->cx;
        pRect->bottom = hWnd->cy;
    }
}

void CGtkModule::GetWindowRect(HWND hWnd, RECT* pRect)
{
    HWND hTop = hWnd->pTop;
    GdkWindow* pGdk = gtk_widget_get_window(hTop->pWidget);
    if (pGdk == nullptr || !hTop->bMapped) {
        if (IsTopLevel(hWnd) && hTop->bPendingOuter)
            *pRect = hTop->rcPendingOuter;
        return;
    }
    if (IsTopLevel(hWnd)) {
        GdkRectangle rcFrame;
        gdk_window_get_frame_extents(pGdk, &rcFrame);
        *pRect = RECT{rcFrame.x, rcFrame.y, rcFrame.x + rcFrame.width, rcFrame.y + rcFrame.height};
    } else {
        int xOrigin = 0;
        int yOrigin = 0;
        gdk_window_get_origin(pGdk, &xOrigin, &yOrigin);
        *pRect = RECT{xOrigin + hWnd->x, yOrigin + hWnd->y, xOrigin + hWnd->x + hWnd->cx, yOrigin + hWnd->y + hWnd->cy};
    }
}

BOOL CGtkModule::SetWindowPos(HWND hWnd, int x, int y, int cx, int cy, UINT nFlags)
{
    if (!IsTopLevel(hWnd)) {
        if ((nFlags & SWP_NOMOVE) == 0) {
            hWnd->x = x;
            hWnd->y = y;
            gtk_fixed_move(GTK_FIXED(hWnd->pTop->pFixed), hWnd->pWidget, x, y);
        }
        if ((nFlags & SWP_NOSIZE) == 0 && (hWnd->dwStyle & SS_TYPEMASK) != SS_ICON) {
            hWnd->cx = cx < 0 ? 0 : cx;
            hWnd->cy = cy < 0 ? 0 : cy;
            gtk_widget_set_size_request(hWnd->pWidget, hWnd->cx, hWnd->cy);
        }
        return TRUE;
    }

    // Sizes given are of the whole window, frame included; GTK sizes the
    // client area, so the frame the window manager draws is taken off.
    // Before the window is shown the frame is not known yet: the rectangle
    // is kept and the client area corrected once it is.
    HWND hTop = hWnd;
    RECT frame = CDialogHost::FrameWidths(hTop);
    if ((nFlags & SWP_NOMOVE) == 0) {
        gtk_window_move(GTK_WINDOW(hTop->pWidget), x, y);
        CDialogHost::NoteMove(hTop);
    }
    if ((nFlags & SWP_NOSIZE) == 0) {
        if (!hTop->bMapped) {
            if ((nFlags & SWP_NOMOVE) == 0) {
                hTop->bPendingOuter = true;
                hTop->rcPendingOuter = RECT{x, y, x + cx, y + cy};
            } else if (hTop->bPendingOuter) {
                RECT& rc = hTop->rcPendingOuter;
                rc.right = rc.left + cx;
                rc.bottom = rc.top + cy;
            }
        }
        CDialogHost::ResizeClient(hTop, cx - frame.left - frame.right, cy - frame.top - frame.bottom);
    } else if (!hTop->bMapped && hTop->bPendingOuter && (nFlags & SWP_NOMOVE) == 0) {
        RECT& rc = hTop->rcPendingOuter;
        rc = RECT{x, y, x + rc.right - rc.left, y + rc.bottom - rc.top};
    }
    return TRUE;
}

void CGtkModule::SetWindowText(HWND hWnd, const char* pszText)
{
    hWnd->text = ValidUtf8(pszText);
    if (IsTopLevel(hWnd))
        gtk_window_set_title(GTK_WINDOW(hWnd->pWidget), hWnd->text.c_str());
    else if (hWnd->className == "BUTTON")
        gtk_button_set_label(GTK_BUTTON(hWnd->pWidget), MnemonicFromAccessKeys(hWnd->text).c_str());
    else
        gtk_widget_queue_draw(hWnd->pWidget);
}

int CGtkModule::GetWindowText(HWND hWnd, char* pszBuf, int nMaxCount)
{
    // Cut at a character boundary.
    size_t nLength = hWnd->text.size();
    if (nLength > static_cast<size_t>(nMaxCount - 1)) {
        nLength = static_cast<size_t>(nMaxCount - 1);
        while (nLength > 0 && (static_cast<unsigned char>(hWnd->text[nLength]) & 0xC0) == 0x80)
            --nLength;
    }
    std::memcpy(pszBuf, hWnd->text.data(), nLength);
    pszBuf[nLength] = '\0';
    return static_cast<int>(nLength);
}

// ---------------------------------------------------------------------------

HDC CGtkModule::GetPaintDC(HWND hWnd)
{
    return hWnd->pTop->paintDC.cr != nullptr ? &hWnd->pTop->paintDC : nullptr;
}

BOOL CGtkModule::DrawIcon(HDC hDC, int x, int y, HICON hIcon)
{
    if (hIcon->pBig == nullptr)
        return FALSE;
    gdk_cairo_set_source_pixbuf(hDC->cr, hIcon->pBig, x, y);
    cairo_paint(hDC->cr);
    return TRUE;
}
