#include "toolkit/mdichild.h"

#include "toolkit/mdiframe.h"
#include "toolkit/window.h"

#include <cstdlib>

namespace {

bool registered_velc;

constexpr uint8_t zoom_mark = 1;

HWND client_of(const vel_window *child)
{
    const vel_window *frame = child->frame;
    return frame && frame->mdi_client ? frame->mdi_client->hwnd : nullptr;
}

void client_size(const vel_window *child, int *width, int *height)
{
    RECT rc{};
    GetClientRect(client_of(child), &rc);
    *width = rc.right;
    *height = rc.bottom;
}

void set_frame_styles(HWND hwnd, bool on)
{
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    const LONG bits = WS_CAPTION | WS_THICKFRAME;
    SetWindowLongW(hwnd, GWL_STYLE, on ? (style | bits) : (style & ~bits));
}

void apply_restore_rect(const vel_window *child)
{
    const RECT &r = child->restore_rect;
    SetWindowPos(child->hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void center(vel_window *self)
{
    int cw, ch;
    client_size(self, &cw, &ch);
    RECT wr;
    GetWindowRect(self->hwnd, &wr);
    const int x = (cw - (wr.right - wr.left)) / 2, y = (ch - (wr.bottom - wr.top)) / 2;
    if (x < 0 || y < 0)
        SetWindowPos(self->hwnd, nullptr, 0, 0, cw, ch, SWP_NOZORDER | SWP_NOACTIVATE);
    else
        SetWindowPos(self->hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void zoom(vel_window *self)
{
    vel_window *frame = self->frame;
    HWND hwnd = self->hwnd;
    if (IsIconic(hwnd))
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    // The normal place is read once the child is neither minimised nor zoomed, so that a
    // child zoomed from the minimised state (or zoomed twice) still comes back to it.
    if (!(self->child_flags & zoom_mark)) {
        WINDOWPLACEMENT wpl{};
        wpl.length = sizeof wpl;
        if (GetWindowPlacement(hwnd, &wpl))
            self->restore_rect = wpl.rcNormalPosition;
    }
    // Whoever holds the menu bar (this child too, when zoomed again) gives it up first, so
    // the items are never added twice.
    vel_mdiframe_remove_zoomed_menu(frame);
    vel_mdiframe_add_zoomed_menu(frame, self);
    DrawMenuBar(frame->hwnd);
    self->child_flags |= zoom_mark;
    set_frame_styles(hwnd, false);
    int cw, ch;
    client_size(self, &cw, &ch);
    SetWindowPos(hwnd, nullptr, 0, 0, cw, ch, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void minimise(vel_window *self)
{
    vel_window *frame = self->frame;
    if (frame->ontop_child == self)
        frame->ontop_child = nullptr;
    ShowWindow(self->hwnd, SW_MINIMIZE);
    if (frame->zoomed_child == self) {
        vel_mdiframe_remove_zoomed_menu(frame);
        vel_mdiframe_maximize_next(frame);
        DrawMenuBar(frame->hwnd);
    }
}

void restore(vel_window *self)
{
    vel_window *frame = self->frame;
    if (frame->zoomed_child == self) {
        self->child_flags &= ~zoom_mark;
        set_frame_styles(self->hwnd, true);
        apply_restore_rect(self);
        vel_mdiframe_remove_zoomed_menu(frame);
        vel_mdiframe_maximize_next(frame);
        DrawMenuBar(frame->hwnd);
    } else if (self->child_flags & zoom_mark) {
        // A minimised zoomed child. The mark goes first: the MDI client answers
        // WM_MDIRESTORE with SC_RESTORE to this child, which must take the plain path.
        self->child_flags &= ~zoom_mark;
        SendMessageW(client_of(self), WM_MDIRESTORE, reinterpret_cast<WPARAM>(self->hwnd), 0);
        set_frame_styles(self->hwnd, true);
        apply_restore_rect(self);
    }
}

// Before the application's procedure.
void child_before(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    vel_window *frame = self->frame;
    if (!frame)
        return;
    if (msg == WM_MDIACTIVATE) {
        HWND activated = reinterpret_cast<HWND>(lp);
        frame->active_child = activated == hwnd
            ? self
            : static_cast<vel_window *>(vel_list_get(frame->children, reinterpret_cast<vel_list_key>(activated)));
        SendMessageW(frame->hwnd, VEL_WM_CHILDACTIVATE, reinterpret_cast<WPARAM>(self),
                     reinterpret_cast<HWND>(wp) == hwnd ? 1 : 0);
    } else if (msg == WM_DESTROY) {
        if (frame->zoomed_child == self) {
            self->child_flags &= ~zoom_mark;
            vel_mdiframe_remove_zoomed_menu(frame);
            vel_mdiframe_maximize_next(frame);
            DrawMenuBar(frame->hwnd);
        }
        vel_list_del(&frame->children, reinterpret_cast<vel_list_key>(hwnd));
        if (frame->ontop_child == self)
            frame->ontop_child = nullptr;
        // The record is about to go: the frame must not keep pointing at it.
        if (frame->active_child == self)
            frame->active_child = nullptr;
        if (frame->active_child)
            SetWindowPos(frame->active_child->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

// After the common handling; 1 when handled.
int child_after(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    vel_window *frame = self->frame;
    switch (msg) {
    case WM_SYSCHAR:
        if (wp == L'-') {
            *result = 0;
            return 1;
        }
        return 0;
    case WM_WINDOWPOSCHANGING:
        if (frame && frame->ontop_child && frame->ontop_child != self) {
            reinterpret_cast<WINDOWPOS *>(lp)->hwndInsertAfter = frame->ontop_child->hwnd;
            *result = 0;
            return 1;
        }
        return 0;
    case WM_INITMENUPOPUP:
        if (HIWORD(lp)) {
            vel_mdichild_adjust_systemmenu(self, reinterpret_cast<HMENU>(wp));
            *result = 0;
            return 1;
        }
        return 0;
    case WM_SYSCOMMAND:
        if (!frame)
            return 0;
        if (wp == VEL_SC_ONTOP) {
            vel_mdiframe_settopmost(frame, frame->ontop_child == self ? nullptr : self);
            return 0;
        }
        if (wp == VEL_SC_CENTER) {
            center(self);
            return 0;
        }
        switch (wp & 0xFFF0) {
        case SC_MAXIMIZE:
            zoom(self);
            *result = 0;
            return 1;
        case SC_MINIMIZE:
            minimise(self);
            *result = 0;
            return 1;
        case SC_RESTORE:
            restore(self);
            return 0;
        default:
            return 0;
        }
    case WM_MDIACTIVATE:
        // A zoomed child coming to the front takes the menu bar back.
        if (frame && (self->child_flags & zoom_mark) && !IsIconic(hwnd) && reinterpret_cast<HWND>(lp) == hwnd) {
            int cw, ch;
            client_size(self, &cw, &ch);
            SetWindowPos(hwnd, nullptr, 0, 0, cw, ch, SWP_NOZORDER | SWP_NOACTIVATE);
            vel_mdiframe_remove_zoomed_menu(frame);
            vel_mdiframe_add_zoomed_menu(frame, self);
            DrawMenuBar(frame->hwnd);
        }
        return 0;
    default:
        return 0;
    }
}

}  // namespace

vel_window *vel_mdichild_create(void *user, HICON big_icon, HICON small_icon, DWORD style, const wchar_t *caption,
                                int x, int y, int width, int height, vel_window *frame, vel_wndproc proc)
{
    if (!frame || !frame->mdi_client)
        return nullptr;
    vel_wnd_register_once(&registered_velc, L"velc", VEL_KIND_MDICHILD);
    vel_window *rec = vel_wnd_alloc(user, proc, VEL_KIND_MDICHILD);
    if (!rec)
        return nullptr;
    rec->frame = frame;
    HINSTANCE inst = vel_instance ? vel_instance : GetModuleHandleW(nullptr);
    vel_window *outer = vel_wnd_creating(rec);
    HWND hwnd = CreateMDIWindowW(L"velc", caption, style | WS_CHILD, x, y, width, height, frame->mdi_client->hwnd,
                                 inst, reinterpret_cast<LPARAM>(rec));
    vel_wnd_creating(outer);
    if (!hwnd) {
        std::free(rec);
        return nullptr;
    }
    vel_list_add(&frame->children, reinterpret_cast<vel_list_key>(hwnd), rec);
    vel_mdichild_seticon(rec, big_icon, small_icon);
    HMENU system = GetSystemMenu(hwnd, FALSE);
    InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, VEL_SC_ONTOP, L"On top");
    InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, VEL_SC_CENTER, L"To center");
    return rec;
}

void vel_mdichild_destroy(vel_window *child)
{
    if (HWND client = client_of(child))
        SendMessageW(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child->hwnd), 0);
}

void vel_mdichild_seticon(vel_window *child, HICON big_icon, HICON small_icon)
{
    vel_window_seticon(child, big_icon, small_icon);
    vel_window *frame = child->frame;
    if (frame && frame->zoomed_child == child) {
        vel_mdiframe_remove_zoomed_menu(frame);
        vel_mdiframe_add_zoomed_menu(frame, child);
        DrawMenuBar(frame->hwnd);
    }
}

vel_window *vel_mdichild_activate(vel_window *child)
{
    vel_window *frame = child->frame;
    if (!frame || !frame->mdi_client)
        return nullptr;
    vel_window *previous = frame->active_child;
    SendMessageW(frame->mdi_client->hwnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child->hwnd), 0);
    return previous;
}

void vel_mdichild_show_behind(vel_window *child)
{
    // Cheaper than showing it active and activating the other child again: each change of
    // the active child repaints both captions and moves the keyboard focus twice.
    ShowWindow(child->hwnd, SW_SHOWNA);
    vel_window *frame = child->frame;
    if (frame && frame->active_child && frame->active_child != child)
        SetWindowPos(child->hwnd, frame->active_child->hwnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The client lists only visible children in the Window menu.
    SendMessageW(client_of(child), WM_MDIREFRESHMENU, 0, 0);
}

HMENU vel_mdichild_getsystemmenu(vel_window *child)
{
    HMENU menu = GetSystemMenu(child->hwnd, FALSE);
    if (menu)
        vel_mdichild_adjust_systemmenu(child, menu);
    return menu;
}

int vel_mdichild_state(const vel_window *child)
{
    if (IsIconic(child->hwnd))
        return 3;
    return (child->child_flags & zoom_mark) ? 2 : 1;
}

void vel_mdichild_adjust_systemmenu(vel_window *child, HMENU menu)
{
    struct row {
        UINT default_item;
        bool grey_maximise, grey_move, grey_size, grey_restore, grey_minimise, grey_ontop, grey_center;
    };
    static constexpr row table[] = {
        {SC_CLOSE, false, false, false, true, false, false, false},   // normal
        {SC_CLOSE, true, true, true, false, false, true, true},       // zoomed
        {SC_RESTORE, false, false, true, false, true, false, true},   // minimised
    };
    const row &r = table[vel_mdichild_state(child) - 1];
    auto enable = [menu](UINT id, bool grey) { EnableMenuItem(menu, id, MF_BYCOMMAND | (grey ? MF_GRAYED : MF_ENABLED)); };
    SetMenuDefaultItem(menu, r.default_item, FALSE);
    enable(SC_MAXIMIZE, r.grey_maximise);
    enable(SC_MOVE, r.grey_move);
    enable(SC_SIZE, r.grey_size);
    enable(SC_RESTORE, r.grey_restore);
    enable(SC_MINIMIZE, r.grey_minimise);
    enable(VEL_SC_ONTOP, r.grey_ontop);
    enable(VEL_SC_CENTER, r.grey_center);
    const bool ontop = child->frame && child->frame->ontop_child == child;
    CheckMenuItem(menu, VEL_SC_ONTOP, MF_BYCOMMAND | (ontop ? MF_CHECKED : MF_UNCHECKED));
    const LONG style = GetWindowLongW(child->hwnd, GWL_STYLE);
    // A zoomed child lost its sizing border only for the zoom; its Size item must survive
    // to come back after the restore (the system menu is never reverted).
    const bool sizable = (style & WS_THICKFRAME) || (child->child_flags & zoom_mark);
    if (!sizable)
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    if (!(style & WS_MAXIMIZEBOX))
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    if (!(style & WS_MINIMIZEBOX))
        DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    if (!(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)))
        DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
}

LRESULT CALLBACK vel_default_mdichildwndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    vel_window *self = vel_wnd_from_hwnd(hwnd, msg, lp, VEL_KIND_MDICHILD);
    if (!self)
        return DefMDIChildProcW(hwnd, msg, wp, lp);
    child_before(self, hwnd, msg, wp, lp);
    LRESULT proc_result = 0;
    const int code = self->proc ? self->proc(self, hwnd, msg, wp, lp, &proc_result) : VEL_NOPROC;
    if (code == VEL_DONE)
        return proc_result;
    if (code == VEL_DEFAULT_ONLY)
        return DefMDIChildProcW(hwnd, msg, wp, lp);
    if (!vel_wnd_attached(hwnd, self))
        return code == VEL_HANDLED ? proc_result : 0;
    LRESULT common_result = 0;
    int handled;
    if (msg == WM_CLOSE) {
        // MDI children are destroyed through their client, never directly. The parent is
        // asked for the client, as the record is gone once the child is destroyed.
        SendMessageW(GetParent(hwnd), WM_MDIDESTROY, reinterpret_cast<WPARAM>(hwnd), 0);
        handled = 1;
    } else {
        handled = vel_common_wndproc(self, hwnd, msg, wp, lp, &common_result);
        if (vel_wnd_attached(hwnd, self) && child_after(self, hwnd, msg, wp, lp, &common_result))
            handled = 1;
    }
    LRESULT out;
    if (vel_wnd_finish(code, handled, proc_result, common_result, "mdichildwndproc: hiba!\n", &out))
        return out;
    return DefMDIChildProcW(hwnd, msg, wp, lp);
}
