#include "toolkit/mdiframe.h"

#include "toolkit/mdichild.h"
#include "toolkit/window.h"

#include <vector>

namespace {

bool registered_velm;

// Menu-bar items data of the zoomed child's caption buttons.
enum : ULONG_PTR { button_minimise = 1, button_restore = 2, button_close = 3 };

HWND client_of(const vel_window *frame)
{
    return frame && frame->mdi_client ? frame->mdi_client->hwnd : nullptr;
}

// The frame's children in z-order from the top, up to the first window that is not one of
// them. Collected first, because restoring a child may change the order under the walk.
std::vector<vel_window *> children_in_zorder(const vel_window *frame)
{
    std::vector<vel_window *> out;
    HWND client = client_of(frame);
    if (!client)
        return out;
    for (HWND h = GetTopWindow(client); h; h = GetWindow(h, GW_HWNDNEXT)) {
        auto *child = static_cast<vel_window *>(vel_list_get(frame->children, reinterpret_cast<vel_list_key>(h)));
        if (!child)
            break;
        out.push_back(child);
    }
    return out;
}

bool is_zoom_menu_item(UINT id)
{
    return id == VEL_ZOOM_ICON_ID || id == SC_CLOSE || id == SC_RESTORE || id == SC_MINIMIZE;
}

void insert_owner_drawn(HMENU bar, UINT position, UINT type, UINT id, HMENU submenu, ULONG_PTR data)
{
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | (submenu ? MIIM_SUBMENU : 0u);
    mii.fType = MFT_OWNERDRAW | type;
    mii.wID = id;
    mii.hSubMenu = submenu;
    mii.dwItemData = data;
    InsertMenuItemW(bar, position, TRUE, &mii);
}

void measure_item(MEASUREITEMSTRUCT *mis)
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    const int base = GetSystemMetrics(SM_CXMENUSIZE) + ncm.lfMenuFont.lfHeight - 3;
    if (mis->itemID == VEL_ZOOM_ICON_ID)
        mis->itemWidth = static_cast<UINT>(base + 4);
    else if (mis->itemData == button_restore || mis->itemData == button_close)
        mis->itemWidth = static_cast<UINT>(base + 2);
    else
        mis->itemWidth = static_cast<UINT>(base);
    mis->itemHeight = static_cast<UINT>(GetSystemMetrics(SM_CYMENUSIZE));
}

void draw_item(const DRAWITEMSTRUCT *dis)
{
    const int cx = GetSystemMetrics(SM_CXMENUSIZE), cy = GetSystemMetrics(SM_CYMENUSIZE);
    RECT rc = dis->rcItem;
    rc.bottom = rc.top + cy - 4;
    rc.top += 2;
    rc.right = rc.left + cx - 2;
    if (dis->itemID == VEL_ZOOM_ICON_ID) {
        if (dis->itemAction & ODA_DRAWENTIRE)
            DrawIconEx(dis->hDC, rc.left + 4, rc.top - 1, reinterpret_cast<HICON>(dis->itemData), cx - 2, cy - 2,
                       0, GetSysColorBrush(COLOR_MENU), DI_NORMAL);
        return;
    }
    UINT state = dis->itemData == button_minimise ? DFCS_CAPTIONMIN
               : dis->itemData == button_restore ? DFCS_CAPTIONRESTORE
                                                 : DFCS_CAPTIONCLOSE;
    if ((dis->itemAction & ODA_SELECT) && (dis->itemState & ODS_SELECTED))
        state |= DFCS_PUSHED;
    DrawFrameControl(dis->hDC, &rc, DFC_CAPTION, state);
}

// The frame's handling after the common handling; 1 when it handled the message.
int frame_after(vel_window *self, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    switch (msg) {
    case WM_COMMAND: {
        vel_window *zoomed = self->zoomed_child;
        if (!zoomed)
            return 0;
        const UINT id = LOWORD(wp);
        // The zoomed child's buttons and system menu live on the frame's menu bar.
        if (id == SC_RESTORE || id == SC_CLOSE || id == SC_MINIMIZE || id == SC_MOVE || HIWORD(wp) != 1)
            SendMessageW(zoomed->hwnd, WM_SYSCOMMAND, id, 0);
        return 0;
    }
    case WM_INITMENUPOPUP: {
        vel_window *zoomed = self->zoomed_child;
        if (zoomed && !HIWORD(lp) && LOWORD(lp) == 0 &&
            reinterpret_cast<HMENU>(wp) == GetSystemMenu(zoomed->hwnd, FALSE)) {
            vel_mdichild_adjust_systemmenu(zoomed, reinterpret_cast<HMENU>(wp));
            SendMessageW(zoomed->hwnd, WM_INITMENUPOPUP, wp, 65536);
        }
        return 0;
    }
    case WM_MEASUREITEM: {
        auto *mis = reinterpret_cast<MEASUREITEMSTRUCT *>(lp);
        if (mis->CtlType != ODT_MENU || !is_zoom_menu_item(mis->itemID))
            return 0;
        measure_item(mis);
        *result = 1;
        return 1;
    }
    case WM_DRAWITEM: {
        const auto *dis = reinterpret_cast<const DRAWITEMSTRUCT *>(lp);
        if (dis->CtlType != ODT_MENU || !is_zoom_menu_item(dis->itemID))
            return 0;
        draw_item(dis);
        *result = 1;
        return 1;
    }
    case WM_SIZE:
        // The MDI client is placed by its anchors, never by the default frame procedure.
        *result = 0;
        return 1;
    default:
        return 0;
    }
}

}  // namespace

vel_window *vel_mdiframe_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                                const wchar_t *caption, int x, int y, int width, int height, HWND parent,
                                HMENU menu, vel_wndproc proc)
{
    vel_wnd_register_once(&registered_velm, L"velm", VEL_KIND_MDIFRAME);
    return vel_wnd_create(user, big_icon, small_icon, exstyle, style, L"velm", caption, x, y, width, height,
                          parent, menu, proc, VEL_KIND_MDIFRAME);
}

void vel_mdiframe_settopmost(vel_window *frame, vel_window *child)
{
    HWND client = client_of(frame);
    if (!client)
        return;
    if (frame->ontop_child)
        SendMessageW(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(frame->ontop_child->hwnd), 0);
    frame->ontop_child = child;
    if (child)
        SendMessageW(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child->hwnd), 0);
}

void vel_mdiframe_cascade(vel_window *frame, int skip_disabled)
{
    vel_mdiframe_restore_all(frame);
    if (HWND client = client_of(frame))
        SendMessageW(client, WM_MDICASCADE, skip_disabled == 1 ? MDITILE_SKIPDISABLED : 0, 0);
}

void vel_mdiframe_tile_horizontal(vel_window *frame, int skip_disabled)
{
    vel_mdiframe_restore_all(frame);
    if (HWND client = client_of(frame))
        SendMessageW(client, WM_MDITILE, MDITILE_HORIZONTAL | (skip_disabled == 1 ? MDITILE_SKIPDISABLED : 0), 0);
}

void vel_mdiframe_tile_vertical(vel_window *frame, int skip_disabled)
{
    vel_mdiframe_restore_all(frame);
    if (HWND client = client_of(frame))
        SendMessageW(client, WM_MDITILE, MDITILE_VERTICAL | (skip_disabled == 1 ? MDITILE_SKIPDISABLED : 0), 0);
}

void vel_mdiframe_iconarrange(vel_window *frame)
{
    if (HWND client = client_of(frame))
        SendMessageW(client, WM_MDIICONARRANGE, 0, 0);
}

void vel_mdiframe_add_zoomed_menu(vel_window *frame, vel_window *child)
{
    frame->zoomed_child = child;
    if (frame->ontop_child == child)
        frame->ontop_child = nullptr;
    HMENU bar = GetMenu(frame->hwnd);
    if (!bar)
        return;
    HMENU system = vel_mdichild_getsystemmenu(child);
    auto icon = static_cast<ULONG_PTR>(SendMessageW(child->hwnd, WM_GETICON, ICON_SMALL, 0));
    insert_owner_drawn(bar, 0, 0, VEL_ZOOM_ICON_ID, system, icon);
    const UINT end = static_cast<UINT>(GetMenuItemCount(bar));
    insert_owner_drawn(bar, end, MFT_RIGHTJUSTIFY, SC_MINIMIZE, nullptr, button_minimise);
    insert_owner_drawn(bar, end + 1, 0, SC_RESTORE, nullptr, button_restore);
    insert_owner_drawn(bar, end + 2, 0, SC_CLOSE, nullptr, button_close);
}

void vel_mdiframe_remove_zoomed_menu(vel_window *frame)
{
    // Only the items this frame added: without a zoomed child there are none to remove.
    if (!frame->zoomed_child)
        return;
    frame->zoomed_child = nullptr;
    HMENU bar = GetMenu(frame->hwnd);
    if (!bar)
        return;
    // RemoveMenu, not DeleteMenu: the icon item's submenu is the child's system menu.
    for (int i = 0; i < 3; ++i) {
        const int count = GetMenuItemCount(bar);
        if (count > 0)
            RemoveMenu(bar, static_cast<UINT>(count - 1), MF_BYPOSITION);
    }
    RemoveMenu(bar, 0, MF_BYPOSITION);
}

void vel_mdiframe_maximize_next(vel_window *frame)
{
    HWND client = client_of(frame);
    for (vel_window *child : children_in_zorder(frame)) {
        if (!(child->child_flags & 1u) || IsIconic(child->hwnd))
            continue;
        RECT rc;
        GetClientRect(client, &rc);
        SetWindowPos(child->hwnd, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        vel_mdiframe_add_zoomed_menu(frame, child);
        return;
    }
}

void vel_mdiframe_restore_all(vel_window *frame)
{
    for (vel_window *child : children_in_zorder(frame))
        if ((child->child_flags & 1u) || IsIconic(child->hwnd))
            SendMessageW(child->hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT CALLBACK vel_default_mdiframewndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    vel_window *self = vel_wnd_from_hwnd(hwnd, msg, lp, VEL_KIND_MDIFRAME);
    if (!self)
        return DefFrameProcW(hwnd, nullptr, msg, wp, lp);
    // Read now: the destroy handling frees the record before the default procedure runs.
    HWND client = client_of(self);
    if (msg == WM_DESTROY) {
        while (self->children) {
            auto *child = static_cast<vel_window *>(vel_list_del(&self->children, self->children->key));
            if (child)
                child->frame = nullptr;
        }
    }
    LRESULT proc_result = 0;
    const int code = self->proc ? self->proc(self, hwnd, msg, wp, lp, &proc_result) : VEL_NOPROC;
    if (code == VEL_DONE)
        return proc_result;
    if (code == VEL_DEFAULT_ONLY)
        return DefFrameProcW(hwnd, client, msg, wp, lp);
    LRESULT common_result = 0;
    int handled = vel_common_wndproc(self, hwnd, msg, wp, lp, &common_result);
    if (msg != WM_DESTROY && frame_after(self, msg, wp, lp, &common_result))
        handled = 1;
    LRESULT out;
    if (vel_wnd_finish(code, handled, proc_result, common_result, "mdiframewndproc: hiba!\n", &out))
        return out;
    return DefFrameProcW(hwnd, client, msg, wp, lp);
}
