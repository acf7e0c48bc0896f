// The main frame's registry of child windows: one owner-drawn button in the bar above the
// MDI client and one owner-drawn entry in the window list per child, both carrying the
// same entry text "<kind letter> <caption><marker>".
#include "ui/mainwnd.h"

#include "settings/apputil.h"
#include "settings/notify.h"
#include "text/string.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr int entry_capacity = 512;
constexpr int button_y = 4;
constexpr int button_height = 21;
constexpr int width_min = 22;
constexpr int width_max = 90;
constexpr int bar_height = 27;
constexpr COLORREF list_background = RGB(43, 103, 166);
constexpr COLORREF dirty_colour = RGB(255, 0, 0);
constexpr COLORREF room_outside_list_colour = RGB(190, 240, 240);
constexpr COLORREF room_outside_button_colour = RGB(0, 0, 255);

// Window-list text colours by kind letter 'a'..'h'. Drawing boards (h) share the grey of
// the unused kinds: they are secondary windows of a room.
constexpr COLORREF kind_colours[] = {
    RGB(255, 200, 0), RGB(255, 255, 0), RGB(0, 255, 0), RGB(0, 255, 255),
    RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192), RGB(192, 192, 192),
};

COLORREF kind_colour(wchar_t letter)
{
    const int i = letter - L'a';
    if (i < 0 || i >= static_cast<int>(sizeof kind_colours / sizeof kind_colours[0]))
        return RGB(192, 192, 192);
    return kind_colours[i];
}

// An entry text within its capacity: the part before the marker is cut (never inside a
// surrogate pair) so that the marker keeps the last place.
void fit_entry(const wchar_t *text, size_t length, wchar_t (&out)[entry_capacity])
{
    if (length < entry_capacity) {
        std::wmemcpy(out, text, length);
        out[length] = 0;
        return;
    }
    size_t kept = entry_capacity - 2;
    if (IS_HIGH_SURROGATE(text[kept - 1]))
        kept--;
    std::wmemcpy(out, text, kept);
    out[kept] = text[length - 1];
    out[kept + 1] = 0;
}

// The part of an entry text that is shown: after the letter, without the marker.
void visible_part(const wchar_t *entry, const wchar_t **text, int *length)
{
    const int n = static_cast<int>(std::wcslen(entry));
    if (n < 2) {
        *text = L"";
        *length = 0;
        return;
    }
    *text = entry + 1;
    *length = n - 2;
}

bool is_room_outside(const mainwnd *mw, const vel_window *child, const wchar_t *entry)
{
    return entry[0] == L'a' + MAINWND_KIND_ROOM && mw->room_state && mw->room_state(child) != 2;
}

mainwnd *frame_record(const vel_widget *widget)
{
    return widget->parent ? static_cast<mainwnd *>(widget->parent->user) : nullptr;
}

bool is_active(const mainwnd *mw, const vel_window *child)
{
    return mw && mw->frame && mw->frame->active_child == child;
}

// The child's system menu tracked at a screen point; the chosen command (0 for none).
UINT track_system_menu(vel_window *child, int x, int y)
{
    HMENU menu = vel_mdichild_getsystemmenu(child);
    if (!menu)
        return 0;
    return static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, child->hwnd, nullptr));
}

// The chosen command goes to the child as a system command (the menu belongs to the
// child's caption, not to its commands). It may close the child, and with it the button
// or list entry that opened the menu.
void run_system_command(vel_window *child, UINT cmd)
{
    if (cmd)
        SendMessageW(child->hwnd, WM_SYSCOMMAND, cmd, 0);
}

void draw_button(const mainwnd *mw, vel_widget *self, HDC dc, const DRAWITEMSTRUCT *dis)
{
    auto *child = static_cast<vel_window *>(self->data);
    RECT rc = dis->rcItem;
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = self->font ? SelectObject(dc, self->font) : nullptr;
    if (is_active(mw, child)) {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        DrawEdge(dc, &rc, EDGE_SUNKEN, BF_RECT | BF_SOFT);
    } else if (self->hover & 3u) {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        vel_util_draw_edge(dc, &rc);
    } else {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (HICON icon = reinterpret_cast<HICON>(SendMessageW(child->hwnd, WM_GETICON, ICON_BIG, 0)))
        DrawIconEx(dc, rc.left + 3, rc.top + 2, icon, 16, 16, 0, nullptr, DI_NORMAL);
    wchar_t entry[entry_capacity];
    vel_widget_gettext(self, entry, entry_capacity);
    const int n = static_cast<int>(std::wcslen(entry));
    COLORREF colour = (n > 0 && entry[n - 1] == L'*') ? dirty_colour : GetSysColor(COLOR_BTNTEXT);
    if (is_room_outside(mw, child, entry))
        colour = room_outside_button_colour;
    SetTextColor(dc, colour);
    const wchar_t *text;
    int length;
    visible_part(entry, &text, &length);
    RECT text_rc{rc.left + 19, rc.top, rc.right - 3, rc.bottom};
    DrawTextW(dc, text, length, &text_rc,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | DT_NOCLIP);
    if (old_font)
        SelectObject(dc, old_font);
}

}  // namespace

int button_wndproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    mainwnd *mw = frame_record(self);
    auto *child = static_cast<vel_window *>(self->data);
    if (!mw || !child)
        return VEL_CONTINUE;
    switch (msg) {
    case VEL_WM_DRAWITEM:
        draw_button(mw, self, reinterpret_cast<HDC>(wp), reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
        *result = 1;
        return VEL_DONE;
    case WM_LBUTTONDOWN:
        vel_mdichild_activate(child);
        *result = 0;
        return VEL_DONE;
    case WM_LBUTTONDBLCLK: {
        const LONG style = GetWindowLongW(child->hwnd, GWL_STYLE);
        const bool zoomed = (child->child_flags & 1u) || IsZoomed(child->hwnd);
        const WPARAM cmd = (style & WS_MAXIMIZEBOX) && !IsIconic(child->hwnd) && !zoomed ? SC_MAXIMIZE : SC_RESTORE;
        SendMessageW(child->hwnd, WM_SYSCOMMAND, cmd, 0);
        *result = 0;
        return VEL_DONE;
    }
    case WM_MBUTTONDOWN:
        *result = 0;
        return VEL_DONE;
    case WM_MBUTTONUP:
        SendMessageW(child->hwnd, WM_CLOSE, 0, 0);
        *result = 0;
        return VEL_DONE;
    case WM_CONTEXTMENU: {
        RECT rc;
        GetWindowRect(self->hwnd, &rc);
        // The button keeps its hover look while its menu is open, and is done with itself
        // before the command runs: Close takes the button and its record with the child.
        self->hover |= 2u;
        const UINT cmd = track_system_menu(child, rc.left, rc.top + button_height);
        self->hover &= ~2u;
        vel_widget_refresh(self, FALSE);
        run_system_command(child, cmd);
        *result = 0;
        return VEL_DONE;
    }
    case VEL_WM_MOUSEENTER:
    case VEL_WM_MOUSELEAVE:
        if (!is_active(mw, child))
            InvalidateRect(self->hwnd, nullptr, FALSE);
        return VEL_CONTINUE;
    default:
        return VEL_CONTINUE;
    }
}

namespace {

// Node of a registered child and its position (0 the oldest), or null.
const vel_list_node *child_node_at(const mainwnd *mw, int pos)
{
    const vel_list_node *head = mw->childwindows;
    if (!head || pos < 0 || pos >= mw->button_count)
        return nullptr;
    const vel_list_node *n = head->prev;  // the oldest
    for (int i = 0; i < pos; i++)
        n = n->prev;
    return n;
}

// The list views do not sort owner-drawn items themselves: every list of the frame places
// its items by their text, ignoring case as the list view's own search does.
int sorted_index(const vel_widget *list, const wchar_t *text)
{
    const int count = vel_listview_getitemcount(list);
    wchar_t other[entry_capacity];
    for (int i = 0; i < count; i++) {
        vel_listview_getitemtext(list, i, 0, other, entry_capacity);
        if (lstrcmpiW(text, other) < 0)
            return i;
    }
    return count;
}

// Whether `text` at `item` keeps the list in order with its neighbours.
bool in_order_at(const vel_widget *list, int item, const wchar_t *text)
{
    wchar_t other[entry_capacity];
    if (item > 0) {
        vel_listview_getitemtext(list, item - 1, 0, other, entry_capacity);
        if (lstrcmpiW(other, text) > 0)
            return false;
    }
    if (item + 1 < vel_listview_getitemcount(list)) {
        vel_listview_getitemtext(list, item + 1, 0, other, entry_capacity);
        if (lstrcmpiW(text, other) > 0)
            return false;
    }
    return true;
}

void set_entry(mainwnd *mw, vel_window *child, int item, const wchar_t *text)
{
    const size_t n = std::wcslen(text);
    const auto key = reinterpret_cast<vel_list_key>(child);
    if (n > 0 && text[n - 1] == L'*') {
        if (!vel_list_get(mw->dirty_children, key))
            vel_list_add(&mw->dirty_children, key, child);
    } else {
        vel_list_del(&mw->dirty_children, key);
    }
    // A new caption may move the entry: the window list stays sorted by entry text.
    if (in_order_at(mw->windowlist, item, text)) {
        vel_listview_setitem(mw->windowlist, item, 0, text);
    } else {
        vel_listview_deleteitem(mw->windowlist, item);
        vel_listview_insertitem(mw->windowlist, sorted_index(mw->windowlist, text), text,
                                reinterpret_cast<LPARAM>(child));
    }
    if (vel_widget *button = mainwnd_get_button(mw, child)) {
        vel_widget_settext(button, text);
        InvalidateRect(button->hwnd, nullptr, FALSE);
    }
}

}  // namespace

int mainwnd_button_width_for(int client_width, int count, int current)
{
    if (count <= 0)
        return current;
    int width = (client_width - 3) / count - 2;
    if (width < width_min)
        width = width_min;
    if (width > width_max)
        width = width_max;
    return width;
}

void mainwnd_button_move(mainwnd *mw, vel_widget *button, int pos)
{
    button->x = pos * (mw->button_width + 2) + 1;
    button->y = button_y;
    button->w = mw->button_width;
    button->h = button_height;
    MoveWindow(button->hwnd, button->x, button->y, button->w, button->h, FALSE);
    vel_widget_refresh(button, FALSE);
    RECT strip;
    GetClientRect(mw->frame->hwnd, &strip);
    strip.bottom = bar_height;
    InvalidateRect(mw->frame->hwnd, &strip, TRUE);
}

void mainwnd_buttons_resize(mainwnd *mw)
{
    if (!mw->frame || mw->button_count <= 0)
        return;
    RECT rc;
    GetClientRect(mw->frame->hwnd, &rc);
    const int width = mainwnd_button_width_for(rc.right, mw->button_count, mw->button_width);
    if (width == mw->button_width)
        return;
    mw->button_width = width;
    for (int pos = 0; pos < mw->button_count; pos++)
        if (const vel_list_node *n = child_node_at(mw, pos))
            mainwnd_button_move(mw, static_cast<vel_widget *>(n->data), pos);
}

vel_widget *mainwnd_get_button(const mainwnd *mw, const vel_window *child)
{
    return mw ? static_cast<vel_widget *>(vel_list_get(mw->childwindows, reinterpret_cast<vel_list_key>(child)))
              : nullptr;
}

vel_window *mainwnd_get_child_at(const mainwnd *mw, int pos)
{
    const vel_list_node *n = child_node_at(mw, pos);
    return n ? reinterpret_cast<vel_window *>(n->key) : nullptr;
}

int mainwnd_find_listitem(const mainwnd *mw, const vel_window *child)
{
    if (!mw || !mw->windowlist || !child)
        return -1;
    return vel_listview_findlparam(mw->windowlist, reinterpret_cast<LPARAM>(child));
}

vel_widget *mainwnd_add_childwindow(mainwnd *mw, vel_window *child, int kind, const wchar_t *caption,
                                    const wchar_t *tooltip)
{
    if (!mw || !mw->frame || !child || mainwnd_get_button(mw, child))
        return nullptr;
    std::wstring full = std::wstring{static_cast<wchar_t>(L'a' + kind), L' '} + (caption ? caption : L"") + L'_';
    wchar_t entry[entry_capacity];
    fit_entry(full.c_str(), full.size(), entry);
    vel_widget *button = vel_widget_create(nullptr, mw->frame, 0, BS_OWNERDRAW, entry, 0, button_y, mw->button_width,
                                           button_height, VEL_ANCHOR_LEFT | VEL_ANCHOR_TOP, child, button_wndproc,
                                           VEL_BUTTON, nullptr);
    if (!button)
        return nullptr;
    button->draw_flags |= 1u;
    if (tooltip)
        vel_widget_settooltiptext(button, tooltip);
    vel_widget_create_and_set_font(button, 12, L"Arial", 500);
    mainwnd_button_move(mw, button, mw->button_count);
    mw->button_count++;
    vel_list_add(&mw->childwindows, reinterpret_cast<vel_list_key>(child), button);
    mainwnd_buttons_resize(mw);
    vel_listview_insertitem(mw->windowlist, sorted_index(mw->windowlist, entry), entry,
                            reinterpret_cast<LPARAM>(child));
    listview_adjust_columnsize(mw->windowlist);
    return button;
}

void mainwnd_del_childwindow(mainwnd *mw, vel_window *child)
{
    if (!mw || !child)
        return;
    int k = 0;
    const vel_list_node *head = mw->childwindows;
    const vel_list_node *n = head;
    bool found = false;
    if (head) {
        do {
            if (n->key == reinterpret_cast<vel_list_key>(child)) {
                found = true;
                break;
            }
            k++;
            n = n->next;
        } while (n != head);
    }
    if (!found)
        return;
    vel_list_del(&mw->dirty_children, reinterpret_cast<vel_list_key>(child));
    auto *button = static_cast<vel_widget *>(vel_list_del(&mw->childwindows, reinterpret_cast<vel_list_key>(child)));
    if (button)
        vel_widget_destroy(button);
    mw->button_count--;
    // The k newer children close the gap, the newest landing on the last place.
    const vel_list_node *m = mw->childwindows;
    for (int i = 0; i < k && m; i++, m = m->next)
        mainwnd_button_move(mw, static_cast<vel_widget *>(m->data), mw->button_count - 1 - i);
    mainwnd_buttons_resize(mw);
    const int item = mainwnd_find_listitem(mw, child);
    if (item >= 0)
        vel_listview_deleteitem(mw->windowlist, item);
    listview_adjust_columnsize(mw->windowlist);
}

// Called for every line a window shows: when nothing changes it touches no control.
int mainwnd_set_dirty_flag(mainwnd *mw, vel_window *child, int dirty, int flash)
{
    if (!mainwnd_get_button(mw, child))
        return 0;
    if (dirty && flash && !mw->flash_spent) {
        mw->flash_spent = 1;
        if (GetForegroundWindow() != mw->frame->hwnd)
            FlashWindow(mw->frame->hwnd, TRUE);
    }
    const bool marked = vel_list_get(mw->dirty_children, reinterpret_cast<vel_list_key>(child)) != nullptr;
    if (dirty ? (marked || is_active(mw, child)) : !marked)
        return 0;
    const int item = mainwnd_find_listitem(mw, child);
    wchar_t entry[entry_capacity];
    const int n = item >= 0 ? vel_listview_getitemtext(mw->windowlist, item, 0, entry, entry_capacity) : 0;
    if (n <= 0)
        return 0;
    entry[n - 1] = dirty ? L'*' : L'_';
    set_entry(mw, child, item, entry);
    return 1;
}

int mainwnd_set_entry_text(mainwnd *mw, vel_window *child, const wchar_t *text)
{
    const int item = mainwnd_find_listitem(mw, child);
    if (item < 0 || !text)
        return 0;
    wchar_t entry[entry_capacity];
    fit_entry(text, std::wcslen(text), entry);
    set_entry(mw, child, item, entry);
    return 1;
}

// ---------------------------------------------------------------- window list

int windowlist_wndproc(vel_widget *self, HWND, UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    mainwnd *mw = frame_record(self);
    if (!mw)
        return VEL_CONTINUE;
    switch (msg) {
    case VEL_WM_DRAWITEM: {
        const auto *dis = reinterpret_cast<const DRAWITEMSTRUCT *>(lp);
        auto *child = reinterpret_cast<vel_window *>(dis->itemData);
        wchar_t entry[entry_capacity];
        if (vel_listview_getitemtext(self, static_cast<int>(dis->itemID), 0, entry, entry_capacity) <= 0)
            entry[0] = 0;
        HDC dc = dis->hDC;
        RECT rc = dis->rcItem;
        const int n = static_cast<int>(std::wcslen(entry));
        COLORREF text_colour = kind_colour(n ? entry[0] : L'a');
        if (n && entry[n - 1] == L'*')
            text_colour = dirty_colour;
        if (child && is_room_outside(mw, child, entry))
            text_colour = room_outside_list_colour;
        COLORREF back = list_background;
        RECT fill = rc;
        if (child && is_active(mw, child)) {
            back = GetSysColor(COLOR_BTNFACE);
            text_colour = GetSysColor(COLOR_BTNTEXT);
            // A raised frame: the highlight row stays at the top, the shadow at the bottom.
            vel_util_draw_hline(dc, rc.left, rc.top, rc.right - rc.left, 0);
            vel_util_draw_hline(dc, rc.left, rc.bottom - 2, rc.right - rc.left, 0);
            fill.top = rc.top + 1;
            fill.bottom = rc.bottom - 1;
        }
        HBRUSH brush = CreateSolidBrush(back);
        FillRect(dc, &fill, brush);
        DeleteObject(brush);
        if (child)
            if (HICON icon = reinterpret_cast<HICON>(SendMessageW(child->hwnd, WM_GETICON, ICON_BIG, 0)))
                DrawIconEx(dc, rc.left, rc.top + 1, icon, 16, 16, 0, nullptr, DI_NORMAL);
        const wchar_t *text;
        int length;
        visible_part(entry, &text, &length);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, text_colour);
        HGDIOBJ old_font = self->font ? SelectObject(dc, self->font) : nullptr;
        RECT text_rc{rc.left + 16, rc.top, rc.right, rc.bottom};
        DrawTextW(dc, text, length, &text_rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        if (old_font)
            SelectObject(dc, old_font);
        *result = 0;
        return VEL_DONE;
    }
    case VEL_WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = 19;
        *result = 1;
        return VEL_DONE;
    case WM_LBUTTONDOWN: {
        // A click activates the child; the selection stays where it was.
        LVHITTESTINFO hit{};
        hit.pt.x = static_cast<short>(LOWORD(lp));
        hit.pt.y = static_cast<short>(HIWORD(lp));
        const int item = vel_listview_hittest(self, &hit);
        if (item >= 0)
            if (auto *child = reinterpret_cast<vel_window *>(vel_listview_getlparam(self, item)))
                vel_mdichild_activate(child);
        SetFocus(self->hwnd);
        *result = 0;
        return VEL_DONE;
    }
    case WM_CONTEXTMENU: {
        const int item = vel_listview_getnextitem(self, -1, LVNI_SELECTED);
        if (item < 0)
            return VEL_CONTINUE;
        auto *child = reinterpret_cast<vel_window *>(vel_listview_getlparam(self, item));
        if (!child)
            return VEL_CONTINUE;
        POINT pt;
        GetCursorPos(&pt);
        run_system_command(child, track_system_menu(child, pt.x, pt.y));
        *result = 0;
        return VEL_DONE;
    }
    case VEL_WM_PARENT_SIZE:
        vel_widget_adjust_placement(self, FALSE);
        listview_adjust_columnsize(self);
        *result = 0;
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

// ---------------------------------------------------------------- friend list

int friendlist_wndproc(vel_widget *self, HWND, UINT msg, WPARAM, LPARAM, LRESULT *result)
{
    if (msg != VEL_WM_PARENT_SIZE)
        return VEL_CONTINUE;
    vel_widget_adjust_placement(self, FALSE);
    listview_adjust_columnsize(self);
    *result = 0;
    return VEL_DONE;
}

void friendlist_add(int32_t userid, const char *nick)
{
    if (!main_frame || !main_frame->friendlist || !nick)
        return;
    const size_t n = std::strlen(nick);
    auto *text = static_cast<char16_t *>(std::malloc((n + 1) * sizeof(char16_t)));
    if (!text)
        return;
    utf8_to_ucs2(text, nick);
    const auto *wide = reinterpret_cast<const wchar_t *>(text);
    vel_listview_insertitem(main_frame->friendlist, sorted_index(main_frame->friendlist, wide), wide, userid);
    std::free(text);
}

void friendlist_del(int32_t userid)
{
    if (!main_frame || !main_frame->friendlist)
        return;
    const int item = vel_listview_findlparam(main_frame->friendlist, userid);
    if (item >= 0)
        vel_listview_deleteitem(main_frame->friendlist, item);
    listview_adjust_columnsize(main_frame->friendlist);
}
