#include "toolkit/window.h"

#include "toolkit/mdichild.h"
#include "toolkit/mdiframe.h"
#include "toolkit/uithread.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

HINSTANCE vel_instance;
DWORD vel_ui_thread;
HMODULE vel_richedit_lib;
HCURSOR vel_cursor_we;
HCURSOR vel_cursor_ns;

namespace {

bool registered_veln;

// The record whose window is being created right now. When the application refuses its
// WM_CREATE the platform destroys the window before CreateWindowExW returns; the destroy
// handling then leaves this record to vel_wnd_create, which frees it exactly once.
thread_local vel_window *creating_record;

// Set by vel_quit: the loop ends after the message being dispatched, whatever a modal loop
// inside that dispatch did with the quit message. -1: no quit asked for.
std::atomic<int> quit_code{-1};

HINSTANCE instance()
{
    return vel_instance ? vel_instance : GetModuleHandleW(nullptr);
}

}  // namespace

int vel_init()
{
    vel_instance = GetModuleHandleW(nullptr);
    vel_ui_thread = GetCurrentThreadId();
    InitCommonControls();
    return 1;
}

namespace {

// One message of the loop: the frame's MDI keys, the accelerators, or the window.
void run_one(HWND main_hwnd, HACCEL accel, MSG *msg)
{
    // The main window may already be destroyed (its quit message still queued): its
    // record is then gone, so it is read through the window's user data, which the
    // destroy handling clears, never through the pointer given.
    const auto *main_rec = main_hwnd
        ? reinterpret_cast<const vel_window *>(GetWindowLongPtrW(main_hwnd, GWLP_USERDATA))
        : nullptr;
    if (main_rec && main_rec->kind == VEL_KIND_MDIFRAME && main_rec->mdi_client &&
        TranslateMDISysAccel(main_rec->mdi_client->hwnd, msg))
        return;
    if (main_rec && accel && TranslateAcceleratorW(main_hwnd, accel, msg))
        return;
    TranslateMessage(msg);
    DispatchMessageW(msg);
}

}  // namespace

WPARAM vel_run(vel_window *main_window, HACCEL accel)
{
    // A quit asked for before the loop started is still in the queue as the quit message.
    quit_code = -1;
    HWND main_hwnd = nullptr;
    if (main_window) {
        main_window->run_flags |= 1;
        main_hwnd = main_window->hwnd;
    }
    MSG msg;
    for (;;) {
        // Diagnostics written meanwhile reach the console before the thread waits.
        std::fflush(stdout);
        // GetMessageW answers -1 on a broken call; that ends the loop instead of spinning.
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            break;
        run_one(main_hwnd, accel, &msg);
        if (const int code = quit_code.exchange(-1); code >= 0)
            return static_cast<WPARAM>(code);
    }
    return msg.message == WM_QUIT ? msg.wParam : 0;
}

void vel_quit(int code)
{
    quit_code = code < 0 ? 0 : code;
    if (GetCurrentThreadId() != vel_ui_thread) {
        PostThreadMessageW(vel_ui_thread, WM_QUIT, static_cast<WPARAM>(code), 0);
        return;
    }
    // A menu's loop would take the quit message and drop it: the menu goes first.
    EndMenu();
    PostQuitMessage(code);
}

ATOM vel_wnd_registerclass(UINT style, HCURSOR cursor, HBRUSH background, const wchar_t *menu_name,
                           const wchar_t *class_name, int kind)
{
    WNDPROC proc;
    switch (kind) {
    case VEL_KIND_WINDOW: proc = vel_default_wndproc; break;
    case VEL_KIND_MDIFRAME: proc = vel_default_mdiframewndproc; break;
    case VEL_KIND_MDICHILD: proc = vel_default_mdichildwndproc; break;
    case VEL_KIND_DUMMY: proc = vel_default_dummyproc; break;
    default: return 0;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszMenuName = menu_name;
    wc.lpszClassName = class_name;
    return RegisterClassExW(&wc);
}

void vel_wnd_register_once(bool *registered, const wchar_t *class_name, int kind)
{
    if (*registered)
        return;
    vel_wnd_registerclass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                          nullptr, class_name, kind);
    *registered = true;
}

vel_window *vel_wnd_alloc(void *user, vel_wndproc proc, int kind)
{
    auto *rec = static_cast<vel_window *>(std::calloc(1, sizeof(vel_window)));
    if (!rec)
        return nullptr;
    rec->next_id = 6000;
    rec->proc = proc;
    rec->kind = kind;
    rec->user = user;
    return rec;
}

vel_window *vel_wnd_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                           const wchar_t *class_name, const wchar_t *caption, int x, int y, int width,
                           int height, HWND parent, HMENU menu, vel_wndproc proc, int kind)
{
    vel_window *rec = vel_wnd_alloc(user, proc, kind);
    if (!rec)
        return nullptr;
    vel_window *outer = vel_wnd_creating(rec);
    HWND hwnd = CreateWindowExW(exstyle, class_name, caption, style, x, y, width, height, parent, menu,
                                instance(), rec);
    vel_wnd_creating(outer);
    if (!hwnd) {
        std::free(rec);
        return nullptr;
    }
    vel_window_seticon(rec, big_icon, small_icon);
    return rec;
}

vel_window *vel_wnd_creating(vel_window *rec)
{
    vel_window *outer = creating_record;
    creating_record = rec;
    return outer;
}

vel_window *vel_window_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                              const wchar_t *caption, int x, int y, int width, int height, HWND parent,
                              HMENU menu, vel_wndproc proc)
{
    vel_wnd_register_once(&registered_veln, L"veln", VEL_KIND_WINDOW);
    return vel_wnd_create(user, big_icon, small_icon, exstyle, style, L"veln", caption, x, y, width, height,
                          parent, menu, proc, VEL_KIND_WINDOW);
}

LRESULT vel_window_sendmessage(const vel_window *window, UINT msg, WPARAM wp, LPARAM lp)
{
    return SendMessageW(window->hwnd, msg, wp, lp);
}

int vel_window_setcaption(const vel_window *window, const wchar_t *text)
{
    return SetWindowTextW(window->hwnd, text) ? 1 : 0;
}

int vel_window_getcaption(const vel_window *window, wchar_t *text, int capacity)
{
    return GetWindowTextW(window->hwnd, text, capacity);
}

HBRUSH vel_window_setbackground(vel_window *window, COLORREF colour)
{
    HBRUSH brush = vel_util_replace_brush(&window->background, colour);
    if (brush)
        vel_window_refresh(window, TRUE);
    return brush;
}

void vel_window_refresh(const vel_window *window, BOOL erase)
{
    InvalidateRect(window->hwnd, nullptr, erase);
    UpdateWindow(window->hwnd);
}

int vel_window_getsize(const vel_window *window, vel_size *size)
{
    return vel_util_getwindowsize(window->hwnd, size);
}

void vel_window_seticon(const vel_window *window, HICON big_icon, HICON small_icon)
{
    // The small one first: a big icon set on a window without a small one makes the system
    // scale a copy of it for the caption, thrown away again when the small one comes.
    if (small_icon)
        SendMessageW(window->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
    if (big_icon)
        SendMessageW(window->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon));
}

void vel_window_ontop(const vel_window *window, int flag)
{
    SetWindowPos(window->hwnd, flag ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

int vel_window_setmenu(const vel_window *window, HMENU menu)
{
    return SetMenu(window->hwnd, menu) ? 1 : 0;
}

int vel_window_fullscreen(vel_window *window, int flag)
{
    HWND hwnd = window->hwnd;
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    if (style & WS_CHILD)
        return 0;
    window->state = flag ? (window->state | 1u) : (window->state & ~1u);
    if (flag) {
        SetWindowLongW(hwnd, GWL_STYLE, style & ~WS_CAPTION);
        if (IsZoomed(hwnd)) {
            ShowWindow(hwnd, SW_SHOWNORMAL);
            window->fs_state |= 1u;
        } else {
            window->fs_state &= ~1u;
        }
        ShowWindow(hwnd, SW_MAXIMIZE);
    } else {
        SetWindowLongW(hwnd, GWL_STYLE, style | WS_CAPTION);
        ShowWindow(hwnd, SW_RESTORE);
        if (window->fs_state & 1u)
            ShowWindow(hwnd, SW_MAXIMIZE);
    }
    return 1;
}

namespace {

vel_widget *widget_by_hwnd(const vel_window *self, HWND hwnd)
{
    const vel_list_node *head = self->widgets;
    if (!head)
        return nullptr;
    const vel_list_node *n = head;
    do {
        auto *w = static_cast<vel_widget *>(n->data);
        if (w->hwnd == hwnd)
            return w;
        n = n->next;
    } while (n != head);
    return nullptr;
}

void fill_update_area(HWND hwnd, HDC dc, HBRUSH brush)
{
    RECT rc;
    if (!GetUpdateRect(hwnd, &rc, FALSE))
        GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, brush);
}

// Owner drawing through a bitmap as large as the item's lower-right corner, so the widget
// draws off screen and the result appears in one copy.
LRESULT draw_item_buffered(vel_widget *widget, DRAWITEMSTRUCT *dis)
{
    const int width = dis->rcItem.right, height = dis->rcItem.bottom;
    HDC mem = CreateCompatibleDC(dis->hDC);
    HBITMAP bmp = mem ? CreateCompatibleBitmap(dis->hDC, width, height) : nullptr;
    if (!bmp) {
        if (mem)
            DeleteDC(mem);
        return 0;
    }
    HGDIOBJ old = SelectObject(mem, bmp);
    if (SendMessageW(widget->hwnd, VEL_WM_DRAWITEM, reinterpret_cast<WPARAM>(mem),
                     reinterpret_cast<LPARAM>(dis)))
        BitBlt(dis->hDC, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return 1;
}

}  // namespace

int vel_common_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 1;
    case WM_DESTROY: {
        if (self->run_flags & 1u)
            PostQuitMessage(0);
        // Emptied by the head's key, so a widget whose record disagrees about its parent
        // cannot keep the loop going.
        while (self->widgets) {
            auto *widget = static_cast<vel_widget *>(vel_list_del(&self->widgets, self->widgets->key));
            if (widget && widget->parent == self)
                widget->parent = nullptr;
        }
        if (self->background)
            DeleteObject(self->background);
        if (self->tooltip)
            DestroyWindow(self->tooltip->hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self != creating_record)
            std::free(self);
        return 1;
    }
    case WM_SIZE: {
        const vel_list_node *head = self->widgets;
        if (head) {
            const vel_list_node *n = head;
            do {
                SendMessageW(static_cast<vel_widget *>(n->data)->hwnd, VEL_WM_PARENT_SIZE, wp, lp);
                n = n->next;
            } while (n != head);
        }
        return 1;
    }
    case WM_ERASEBKGND:
        if (!self->background)
            return 0;
        fill_update_area(hwnd, reinterpret_cast<HDC>(wp), self->background);
        *result = 1;
        return 1;
    case WM_COMMAND: {
        auto *widget = static_cast<vel_widget *>(vel_list_get(self->widgets, LOWORD(wp)));
        if (!widget)
            return 0;
        SendMessageW(hwnd, VEL_WM_COMMAND, wp, reinterpret_cast<LPARAM>(widget));
        return 1;
    }
    case WM_NOTIFY: {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lp);
        SendMessageW(hdr->hwndFrom, VEL_WM_NOTIFY, wp, lp);
        *result = 0;
        return 1;
    }
    case WM_DRAWITEM: {
        auto *widget = static_cast<vel_widget *>(vel_list_get(self->widgets, wp));
        auto *dis = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
        if (!widget) {
            *result = 0;
            return 1;
        }
        if (widget->draw_flags & 1u)
            draw_item_buffered(widget, dis);
        else
            SendMessageW(widget->hwnd, VEL_WM_DRAWITEM, 0, lp);
        *result = 1;
        return 1;
    }
    case WM_MEASUREITEM: {
        const auto *mis = reinterpret_cast<const MEASUREITEMSTRUCT *>(lp);
        if (auto *widget = static_cast<vel_widget *>(vel_list_get(self->widgets, mis->CtlID)))
            SendMessageW(widget->hwnd, VEL_WM_MEASUREITEM, wp, lp);
        return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        const vel_widget *widget = widget_by_hwnd(self, reinterpret_cast<HWND>(lp));
        if (!widget || !widget->background)
            return 0;
        LOGBRUSH lb{};
        GetObjectW(widget->background, sizeof lb, &lb);
        SetBkColor(reinterpret_cast<HDC>(wp), lb.lbColor);
        *result = reinterpret_cast<LRESULT>(widget->background);
        return 1;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_RESTORE && (self->state & 1u)) {
            vel_window_fullscreen(self, 0);
            *result = 0;
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

int vel_wnd_attached(HWND hwnd, const void *record)
{
    return reinterpret_cast<const void *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) == record ? 1 : 0;
}

int vel_wnd_finish(int code, int handled, LRESULT proc_result, LRESULT common_result, const char *who,
                   LRESULT *out)
{
    switch (code) {
    case VEL_NOPROC:
    case VEL_CONTINUE:
    case VEL_CONTINUE2:
        if (!handled)
            return 0;
        *out = common_result;
        return 1;
    case VEL_HANDLED:
        *out = proc_result;
        return 1;
    case VEL_DEFAULT_AFTER:
        return 0;
    default:
        std::fputs(who, stdout);
        std::fflush(stdout);
        *out = 0;
        return 1;
    }
}

vel_window *vel_wnd_from_hwnd(HWND hwnd, UINT msg, LPARAM lp, int kind)
{
    auto *self = reinterpret_cast<vel_window *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self || msg != WM_CREATE)
        return self;
    const auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lp);
    if (kind == VEL_KIND_MDICHILD) {
        const auto *mcs = static_cast<const MDICREATESTRUCTW *>(cs->lpCreateParams);
        self = mcs ? reinterpret_cast<vel_window *>(mcs->lParam) : nullptr;
    } else {
        self = static_cast<vel_window *>(cs->lpCreateParams);
    }
    if (self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = hwnd;
    }
    return self;
}

LRESULT CALLBACK vel_default_wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    vel_window *self = vel_wnd_from_hwnd(hwnd, msg, lp, VEL_KIND_WINDOW);
    if (!self)
        return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT proc_result = 0;
    const int code = self->proc ? self->proc(self, hwnd, msg, wp, lp, &proc_result) : VEL_NOPROC;
    if (code == VEL_DONE)
        return proc_result;
    if (code == VEL_DEFAULT_ONLY)
        return DefWindowProcW(hwnd, msg, wp, lp);
    if (!vel_wnd_attached(hwnd, self))
        return code == VEL_HANDLED ? proc_result : 0;
    LRESULT common_result = 0;
    const int handled = vel_common_wndproc(self, hwnd, msg, wp, lp, &common_result);
    LRESULT out;
    if (vel_wnd_finish(code, handled, proc_result, common_result, "wndproc hiba.\n", &out))
        return out;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK vel_default_dummyproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcW(hwnd, msg, wp, lp);
}
