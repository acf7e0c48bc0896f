#include "toolkit/widget.h"

#include "toolkit/splitter.h"
#include "toolkit/util.h"
#include "toolkit/window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

vel_widget *vel_hover_widget;

namespace {

constexpr UINT_PTR hover_timer_id = 1;
constexpr UINT hover_interval_ms = 55;
constexpr int mdi_first_child_id = 7000;
constexpr int first_widget_id = 6000;

// Widget identifiers stay below the MDI client's first child identifier: the Window menu's
// entries use those, and a widget holding one would take their picks. A window that keeps
// making and destroying widgets (a bar button per child window) goes on with the next free
// identifier, wrapping around to the lowest; 0 when all are taken.
int32_t free_widget_id(const vel_window *parent)
{
    constexpr int32_t count = mdi_first_child_id - first_widget_id;
    const int32_t start = parent->next_id - first_widget_id;
    for (int32_t i = 0; i < count; i++) {
        const int32_t id = first_widget_id + ((start + i) % count + count) % count;
        if (!vel_list_get_node(parent->widgets, static_cast<vel_list_key>(id)))
            return id;
    }
    return 0;
}

const wchar_t *default_class(int type)
{
    switch (type) {
    case VEL_STATIC: return L"STATIC";
    case VEL_BUTTON: return L"BUTTON";
    case VEL_RICHEDIT: return L"RichEdit20W";
    case VEL_LISTVIEW: return L"SysListView32";
    case VEL_STATUSBAR: return L"msctls_statusbar32";
    case VEL_TOOLTIP: return L"tooltips_class32";
    case VEL_MDICLIENT: return L"MDICLIENT";
    case VEL_VSPLITTER:
    case VEL_HSPLITTER: return L"VEL_SPLITTER";
    case VEL_CUSTOM: return L"VEL_WIDGET";
    default: return nullptr;
    }
}

// Where the anchors put a widget in its parent's client area now. Both anchors stretch
// (the second number is the far margin); the far anchor alone keeps the size at a
// distance from the far edge; otherwise position and size are as given.
RECT anchored_rect(const vel_widget *widget, HWND parent)
{
    RECT rc{};
    if (parent)
        GetClientRect(parent, &rc);
    auto place = [](int anchors, int near_bit, int far_bit, int pos, int size, int extent, LONG *from, LONG *to) {
        if ((anchors & near_bit) && (anchors & far_bit)) {
            *from = pos;
            *to = extent - size;
        } else if (anchors & far_bit) {
            *from = extent - pos - size;
            *to = extent - pos;
        } else {
            *from = pos;
            *to = pos + size;
        }
    };
    RECT at;
    place(widget->anchors, VEL_ANCHOR_LEFT, VEL_ANCHOR_RIGHT, widget->x, widget->w, rc.right, &at.left, &at.right);
    place(widget->anchors, VEL_ANCHOR_TOP, VEL_ANCHOR_BOTTOM, widget->y, widget->h, rc.bottom, &at.top, &at.bottom);
    return at;
}

void prepare_class(int type)
{
    static bool richedit_loaded;
    switch (type) {
    case VEL_RICHEDIT:
        if (!richedit_loaded) {
            vel_richedit_lib = LoadLibraryW(L"riched32.dll");
            HMODULE second = LoadLibraryW(L"riched20.dll");
            if (!vel_richedit_lib)
                vel_richedit_lib = second;
            richedit_loaded = true;
        }
        break;
    case VEL_VSPLITTER:
    case VEL_HSPLITTER:
        vel_wnd_registerclass(CS_DBLCLKS, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr,
                              L"VEL_SPLITTER", VEL_KIND_DUMMY);
        break;
    case VEL_CUSTOM:
        vel_wnd_registerclass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr, L"VEL_WIDGET",
                              VEL_KIND_DUMMY);
        break;
    default:
        break;
    }
}

// A tool is the widget's window, identified within the parent window.
TOOLINFOW tool_for(const vel_widget *widget, UINT flags, const wchar_t *text)
{
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = flags;
    ti.hwnd = widget->parent->hwnd;
    ti.uId = reinterpret_cast<UINT_PTR>(widget->hwnd);
    ti.lpszText = const_cast<wchar_t *>(text);
    return ti;
}

int tool_exists(const vel_widget *widget)
{
    TOOLINFOW ti = tool_for(widget, TTF_IDISHWND, nullptr);
    return SendMessageW(widget->parent->tooltip->hwnd, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
}

void delete_tool(const vel_widget *widget)
{
    TOOLINFOW ti = tool_for(widget, TTF_IDISHWND, nullptr);
    SendMessageW(widget->parent->tooltip->hwnd, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

bool has_own_tool(const vel_widget *widget)
{
    return widget->parent && widget->parent->tooltip && widget->parent->tooltip != widget;
}

void set_tool(const vel_widget *widget, const wchar_t *text)
{
    TOOLINFOW ti = tool_for(widget, TTF_IDISHWND | TTF_SUBCLASS, text);
    const UINT msg = tool_exists(widget) ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW;
    SendMessageW(widget->parent->tooltip->hwnd, msg, 0, reinterpret_cast<LPARAM>(&ti));
}

// The tooltip control is a top-level window (under Wine some hundred server round trips to
// make, at start-up for the first bar button), so a window gets it only when the pointer
// first comes over one of its widgets with a tip; until then each widget keeps its tip.
// The control then takes every tip and is handed this mouse move, so that it starts
// timing the hover at once.
void make_tooltip(vel_window *parent, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    parent->tooltip = vel_widget_create(nullptr, parent, 0, TTS_ALWAYSTIP, nullptr, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 0, nullptr, nullptr, VEL_TOOLTIP, nullptr);
    if (!parent->tooltip)
        return;
    const vel_list_node *head = parent->widgets, *n = head;
    do {
        auto *widget = static_cast<vel_widget *>(n->data);
        if (widget->tip_text) {
            set_tool(widget, widget->tip_text);
            std::free(widget->tip_text);
            widget->tip_text = nullptr;
        }
        n = n->next;
    } while (n != head);
    MSG relayed{hwnd, msg, wp, lp, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageW(parent->tooltip->hwnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// A splitter's sizing cursor, loaded the first time the pointer comes over one (each
// cursor loaded costs Wine a few server round trips; start-up makes two splitters).
HCURSOR splitter_cursor(int type)
{
    if (type == VEL_VSPLITTER) {
        if (!vel_cursor_we)
            vel_cursor_we = LoadCursorW(nullptr, MAKEINTRESOURCEW(32644));
        return vel_cursor_we;
    }
    if (type == VEL_HSPLITTER) {
        if (!vel_cursor_ns)
            vel_cursor_ns = LoadCursorW(nullptr, MAKEINTRESOURCEW(32645));
        return vel_cursor_ns;
    }
    return nullptr;
}

bool takes_tab(const vel_widget *widget)
{
    return widget->type != VEL_STATIC && widget->type != VEL_TOOLTIP;
}

void focus_by_tab(const vel_widget *self)
{
    if (!self->parent)
        return;
    const vel_list_node *start = vel_list_get_node(self->parent->widgets, static_cast<vel_list_key>(self->id));
    if (!start)
        return;
    const bool back = GetKeyState(VK_SHIFT) < 0;
    // `prev` runs towards newer widgets (creation order), `next` towards older ones.
    const vel_list_node *n = start;
    do {
        n = back ? n->next : n->prev;
    } while (n != start && !takes_tab(static_cast<const vel_widget *>(n->data)));
    SetFocus(static_cast<const vel_widget *>(n->data)->hwnd);
}

void mouse_left(vel_widget *widget)
{
    widget->hover &= ~1u;
    SendMessageW(widget->hwnd, VEL_WM_MOUSELEAVE, 0, 0);
}

void track_hover(vel_widget *self)
{
    if (self == vel_hover_widget || self->type == VEL_MDICLIENT || self->type == VEL_CUSTOM)
        return;
    if (vel_hover_widget)
        mouse_left(vel_hover_widget);
    vel_hover_widget = self;
    self->hover |= 1u;
    SendMessageW(self->hwnd, VEL_WM_MOUSEENTER, 0, 0);
}

// Leave detection: the platform reports no mouse-move when the pointer leaves a control
// quickly, so the hover widget checks what lies under the cursor on its timer.
void check_hover_left(vel_widget *self)
{
    if (GetCapture() == self->hwnd || (self->hover & 2u))
        return;
    POINT pt;
    if (!GetCursorPos(&pt))
        return;
    HWND under = WindowFromPoint(pt);
    // A control's own children (a list view's header) still count as the control.
    if (under == self->hwnd || IsChild(self->hwnd, under))
        return;
    mouse_left(self);
    if (vel_hover_widget == self)
        vel_hover_widget = nullptr;
}

LRESULT widget_destroy(vel_widget *self, HWND hwnd, WPARAM wp, LPARAM lp)
{
    if (self->font)
        DeleteObject(self->font);
    if (self->background)
        DeleteObject(self->background);
    if (has_own_tool(self))
        delete_tool(self);
    std::free(self->tip_text);
    if (self->hover_timer)
        KillTimer(hwnd, self->hover_timer);
    if (vel_hover_widget == self)
        vel_hover_widget = nullptr;
    // A control destroyed directly (not through vel_widget_destroy) must not stay behind
    // in its window's records.
    if (vel_window *parent = self->parent) {
        vel_widget_remove(self);
        if (parent->tooltip == self)
            parent->tooltip = nullptr;
        if (parent->mdi_client == self)
            parent->mdi_client = nullptr;
    }
    WNDPROC old_proc = self->old_proc;
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc));
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    std::free(self);
    return CallWindowProcW(old_proc, hwnd, WM_DESTROY, wp, lp);
}

}  // namespace

vel_widget *vel_widget_create(void *ext, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                              int x, int y, int w, int h, int anchors, void *data, vel_wdgproc proc, int type,
                              const wchar_t *class_name)
{
    if (!parent)
        return nullptr;
    if (!class_name)
        class_name = default_class(type);
    if (!class_name)
        return nullptr;
    const int32_t id = free_widget_id(parent);
    if (!id)
        return nullptr;
    prepare_class(type);
    auto *self = static_cast<vel_widget *>(std::calloc(1, sizeof(vel_widget)));
    if (!self)
        return nullptr;
    self->id = id;
    self->parent = parent;
    self->type = type;
    self->ext = ext;
    self->proc = proc;
    self->data = data;
    self->anchors = anchors;
    self->x = x;
    self->y = y;
    self->w = w;
    self->h = h;
    self->repaint = 1;

    HWND owner = nullptr;
    HMENU control_id = nullptr;
    if (type != VEL_TOOLTIP) {
        style |= WS_CHILD | WS_VISIBLE;
        owner = parent->hwnd;
        control_id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(self->id));
    }
    CLIENTCREATESTRUCT ccs{};
    void *param = nullptr;
    const wchar_t *caption = text;
    if (type == VEL_MDICLIENT) {
        // The caption argument carries the window menu for the MDI client.
        ccs.hWindowMenu = reinterpret_cast<HMENU>(const_cast<wchar_t *>(text));
        ccs.idFirstChild = mdi_first_child_id;
        param = &ccs;
        caption = nullptr;
    }
    // Made where the anchors will keep it: the first placement then moves nothing, and a
    // control is not laid out twice (once at the numbers given, once where it belongs).
    RECT at{x, y, x + w, y + h};
    if (owner && type != VEL_STATUSBAR)
        at = anchored_rect(self, owner);
    HINSTANCE inst = vel_instance ? vel_instance : GetModuleHandleW(nullptr);
    HWND hwnd = CreateWindowExW(exstyle, class_name, caption, style, at.left, at.top, at.right - at.left,
                                at.bottom - at.top, owner, control_id, inst, param);
    if (!hwnd) {
        std::free(self);
        return nullptr;
    }
    self->hwnd = hwnd;
    if (type == VEL_STATUSBAR) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        self->h = rc.bottom - rc.top;
    }
    parent->next_id = self->id + 1;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->old_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(vel_default_wdgproc)));
    vel_widget_insert(self, parent);
    if (type == VEL_MDICLIENT)
        parent->mdi_client = self;
    return self;
}

void vel_widget_destroy(vel_widget *widget)
{
    // The tool goes first: once removed, the widget no longer knows its window's tooltip.
    if (has_own_tool(widget))
        delete_tool(widget);
    vel_widget_remove(widget);
    SendMessageW(widget->hwnd, WM_CLOSE, 0, 0);
}

void *vel_widget_remove(vel_widget *widget)
{
    if (!widget || !widget->parent)
        return nullptr;
    void *removed = vel_list_del(&widget->parent->widgets, static_cast<vel_list_key>(widget->id));
    widget->parent = nullptr;
    return removed;
}

int vel_widget_insert(vel_widget *widget, vel_window *window)
{
    if (vel_list_get_node(window->widgets, static_cast<vel_list_key>(widget->id)))
        return 0;
    vel_list_add(&window->widgets, static_cast<vel_list_key>(widget->id), widget);
    // Inserted into a window, the widget belongs to it, so removal and the tooltip find it.
    widget->parent = window;
    return 1;
}

LRESULT vel_widget_sendmessage(const vel_widget *widget, UINT msg, WPARAM wp, LPARAM lp)
{
    return widget ? SendMessageW(widget->hwnd, msg, wp, lp) : 0;
}

void vel_widget_refresh(const vel_widget *widget, BOOL erase)
{
    // A widget that cannot be seen (its window not shown yet) is painted whole when it is
    // shown: repainting it now costs server round trips and draws nothing.
    if (!IsWindowVisible(widget->hwnd))
        return;
    InvalidateRect(widget->hwnd, nullptr, erase);
    UpdateWindow(widget->hwnd);
}

int vel_widget_show(const vel_widget *widget, int show)
{
    return ShowWindow(widget->hwnd, show);
}

void vel_widget_setredraw(const vel_widget *widget, int flag)
{
    SendMessageW(widget->hwnd, WM_SETREDRAW, flag ? TRUE : FALSE, 0);
}

int vel_widget_move(const vel_widget *widget, int x, int y, int width, int height)
{
    return MoveWindow(widget->hwnd, x, y, width, height, widget->repaint);
}

int vel_widget_adjust_placement(vel_widget *widget, BOOL erase)
{
    if (!widget->parent)
        return 0;
    if (widget->type == VEL_STATUSBAR) {
        SendMessageW(widget->hwnd, WM_SIZE, 0, 0);
        return 0;
    }
    const RECT at = anchored_rect(widget, widget->parent->hwnd);
    vel_widget_move(widget, at.left, at.top, at.right - at.left, at.bottom - at.top);
    vel_widget_refresh(widget, erase);
    return 0;
}

HWND vel_widget_setfocus(const vel_widget *widget)
{
    return SetFocus(widget->hwnd);
}

int vel_widget_settext(const vel_widget *widget, const wchar_t *text)
{
    return SetWindowTextW(widget->hwnd, text) ? 1 : 0;
}

int vel_widget_gettext(const vel_widget *widget, wchar_t *text, int capacity)
{
    return GetWindowTextW(widget->hwnd, text, capacity);
}

HBRUSH vel_widget_setbackground(vel_widget *widget, COLORREF colour)
{
    HBRUSH brush = vel_util_replace_brush(&widget->background, colour);
    if (brush)
        vel_widget_refresh(widget, TRUE);
    return brush;
}

HFONT vel_widget_create_and_set_font(vel_widget *widget, int height, const wchar_t *face, int weight)
{
    HFONT font = vel_util_create_font(height, face, weight);
    if (!font)
        return nullptr;
    HDC dc = vel_util_measure_dc();
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &widget->metrics);
    SelectObject(dc, old);
    // The control gets the new font before the old one is deleted, so it never holds a
    // deleted handle.
    HFONT previous = widget->font;
    widget->font = font;
    SendMessageW(widget->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (previous)
        DeleteObject(previous);
    return font;
}

int vel_widget_settooltiptext(vel_widget *widget, const wchar_t *text)
{
    vel_window *parent = widget->parent;
    if (!parent)
        return 0;
    if (!parent->tooltip) {
        wchar_t *copy = text ? _wcsdup(text) : nullptr;
        if (text && !copy)
            return 0;
        std::free(widget->tip_text);
        widget->tip_text = copy;
        return 1;
    }
    if (!text) {
        if (tool_exists(widget))
            delete_tool(widget);
        return 1;
    }
    set_tool(widget, text);
    return 1;
}

int vel_widget_gettooltiptext(const vel_widget *widget, wchar_t *text, int capacity)
{
    if (!text || capacity <= 0)
        return 0;
    text[0] = 0;
    if (widget->tip_text) {
        wcsncpy(text, widget->tip_text, static_cast<size_t>(capacity) - 1);
        text[capacity - 1] = 0;
    } else if (has_own_tool(widget) && tool_exists(widget)) {
        TOOLINFOW ti = tool_for(widget, TTF_IDISHWND, text);
        SendMessageW(widget->parent->tooltip->hwnd, TTM_GETTEXTW, static_cast<WPARAM>(capacity),
                     reinterpret_cast<LPARAM>(&ti));
    }
    return static_cast<int>(wcslen(text));
}

int vel_widget_getsize(const vel_widget *widget, vel_size *size)
{
    return vel_util_getwindowsize(widget->hwnd, size);
}

LRESULT CALLBACK vel_default_wdgproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *self = reinterpret_cast<vel_widget *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) {
        std::fputs("wdgproc hiba. (This = NULL)\n", stdout);
        std::fflush(stdout);
        return 0;
    }
    if (msg == WM_MOUSEMOVE && self->tip_text && self->parent && !self->parent->tooltip)
        make_tooltip(self->parent, hwnd, msg, wp, lp);
    // Kept aside: the application's procedure may destroy the control, and its record.
    const WNDPROC old_proc = self->old_proc;
    LRESULT proc_result = 0;
    const int code = self->proc ? self->proc(self, hwnd, msg, wp, lp, &proc_result) : VEL_NOPROC;
    if (code == VEL_DONE)
        return proc_result;
    if (code == VEL_DEFAULT_ONLY)
        return CallWindowProcW(old_proc, hwnd, msg, wp, lp);
    if (!vel_wnd_attached(hwnd, self))
        return code == VEL_HANDLED ? proc_result : 0;

    int handled = 0;
    LRESULT result = 0;
    switch (msg) {
    case WM_KEYDOWN:
        if (wp == VK_TAB)
            focus_by_tab(self);
        break;
    case WM_ERASEBKGND:
        if (self->background) {
            RECT rc;
            if (!GetUpdateRect(hwnd, &rc, FALSE))
                GetClientRect(hwnd, &rc);
            FillRect(reinterpret_cast<HDC>(wp), &rc, self->background);
            handled = 1;
            result = 1;
        }
        break;
    case WM_SETCURSOR:
        if (!self->cursor)
            self->cursor = splitter_cursor(self->type);
        if (self->cursor) {
            SetCursor(self->cursor);
            handled = 1;
            result = 1;
        }
        break;
    case WM_SIZE:
        if (self->type == VEL_MDICLIENT && self->parent && self->parent->zoomed_child)
            SetWindowPos(self->parent->zoomed_child->hwnd, nullptr, 0, 0, LOWORD(lp), HIWORD(lp),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (self->type == VEL_VSPLITTER || self->type == VEL_HSPLITTER)
            vel_splitter_handle(self, msg, wp, lp);
        break;
    case WM_MOUSEMOVE:
        if (self->type == VEL_VSPLITTER || self->type == VEL_HSPLITTER)
            vel_splitter_handle(self, msg, wp, lp);
        track_hover(self);
        break;
    case VEL_WM_MOUSEENTER:
        self->hover_timer = SetTimer(hwnd, hover_timer_id, hover_interval_ms, nullptr);
        break;
    case VEL_WM_MOUSELEAVE:
        if (self->hover_timer)
            KillTimer(hwnd, self->hover_timer);
        self->hover_timer = 0;
        break;
    case WM_TIMER:
        if (self->hover_timer && wp == self->hover_timer)
            check_hover_left(self);
        break;
    case VEL_WM_PARENT_SIZE:
        vel_widget_adjust_placement(self, FALSE);
        break;
    case WM_DESTROY:
        return widget_destroy(self, hwnd, wp, lp);
    default:
        break;
    }
    LRESULT out;
    if (vel_wnd_finish(code, handled, proc_result, result, "vel_default_wdgproc hiba.\n", &out))
        return out;
    // The messages the toolkit's handling sent may have ended the control.
    if (!vel_wnd_attached(hwnd, self))
        return 0;
    return CallWindowProcW(old_proc, hwnd, msg, wp, lp);
}
