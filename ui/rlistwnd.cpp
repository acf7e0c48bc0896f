#include "ui/rlistwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "text/string.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/richedit.h"
#include "toolkit/richedit2.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/childwnd.h"
#include "ui/infobox.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd_rooms.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

rlistwnd_room_ops rlistwnd_room_windows = {};
INT_PTR (*rlistwnd_url_opener)(const wchar_t *url) = vel_util_open_url;

namespace {

constexpr COLORREF list_background = RGB(0xB4, 0xC5, 0xFA);
constexpr COLORREF selected_text = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF selected_background = RGB(0xFF, 0x86, 0x03);
constexpr COLORREF selected_frame = RGB(0x8A, 0x61, 0x05);
constexpr COLORREF divider_light = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF divider_dark = RGB(0x80, 0x80, 0xFF);
constexpr int strip_height = 24;
constexpr int button_width = 100;
// The letters tried when entering by name; rooms of group z are entered by name only.
constexpr char enter_letters[] = {'a', 'c', 'd', 'e', 'y'};
// Posted to the window once per batch of changes: the refresh.
constexpr UINT refresh_wm = WM_APP + 70;
// Changed rows beyond this many redraw the whole visible page.
constexpr size_t changed_rows_max = 64;
// Rooms a posted refresh sorts into place before it lets other messages in (a few ms).
constexpr size_t refresh_step_rooms = 8192;

std::u16string rlistwnd_utf8_text(const char *utf8)
{
    const char *src = utf8 ? utf8 : "";
    std::u16string text(std::strlen(src) + 1, u'\0');
    utf8_to_ucs2(text.data(), src);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

// The topic without its colour markup.
std::u16string rlistwnd_plain_topic(const Room *room)
{
    const char *src = room->theme ? room->theme : "";
    std::u16string text(std::strlen(src) + 1, u'\0');
    LVC_CStringParserW(text.data(), nullptr, src, 0);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

const wchar_t *wide(const std::u16string &s)
{
    return reinterpret_cast<const wchar_t *>(s.c_str());
}

Room *rlistwnd_item_room(const rlistwnd *rw, int item)
{
    const int32_t id = rlistwnd_rooms_id_at(rw->rooms, item);
    return id ? LVC_GetRoom(id) : nullptr;
}

int rlistwnd_selected(const rlistwnd *rw)
{
    return vel_listview_getnextitem(rw->list, -1, LVNI_SELECTED);
}

// Copies an item's room name (its text without letter and blank) into the name field.
void rlistwnd_copy_name(rlistwnd *rw, int item)
{
    if (item < 0 || static_cast<size_t>(item) >= rw->rooms->shown.size())
        return;
    std::u16string text = rlistwnd_rooms_text(rw->rooms->shown[static_cast<size_t>(item)]);
    vel_widget_settext(rw->name_edit, wide(text) + 2);
}

wchar_t rlistwnd_ascii_lower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The shown room whose text equals `text` (or starts with it, when `partial`), case
// ignored as the list view's own search ignores it; the search starts at `start` and
// wraps. -1 when there is none.
int rlistwnd_find_text(const rlistwnd *rw, const wchar_t *text, int start, bool partial)
{
    const std::vector<rlistwnd_room> &shown = rw->rooms->shown;
    const size_t length = std::wcslen(text);
    if (length == 0 || shown.empty())
        return -1;
    // The letters are ASCII: rooms of another letter are passed over without a compare.
    const wchar_t first = rlistwnd_ascii_lower(text[0]);
    const size_t from = start > 0 ? static_cast<size_t>(start) % shown.size() : 0;
    for (size_t k = 0; k < shown.size(); k++) {
        const size_t i = (from + k) % shown.size();
        if (rlistwnd_ascii_lower(static_cast<wchar_t>(shown[i].letter)) != first)
            continue;
        const std::u16string other = rlistwnd_rooms_text(shown[i]);
        const size_t compared = partial ? std::min(length, other.size()) : other.size();
        if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wide(other), static_cast<int>(compared), text,
                           static_cast<int>(length)) == CSTR_EQUAL)
            return static_cast<int>(i);
    }
    return -1;
}

void rlistwnd_enter(rlistwnd *rw)
{
    rlistwnd_refresh(rw);
    wchar_t name[RLISTWND_NAME_MAX + 1] = {};
    vel_widget_gettext(rw->name_edit, name, RLISTWND_NAME_MAX + 1);
    std::string utf8(std::wcslen(name) * 3 + 1, '\0');
    ucs2_to_utf8(utf8.data(), reinterpret_cast<const char16_t *>(name));
    utf8.resize(std::strlen(utf8.c_str()));

    int item = -1;
    for (char letter : enter_letters) {
        std::wstring key;
        key += static_cast<wchar_t>(letter);
        key += L' ';
        key += name;
        item = rlistwnd_find_text(rw, key.c_str(), 0, false);
        if (item >= 0)
            break;
    }
    if (LVC_GetLoginState() != 2) {
        vel_messagebox(rw->wnd, L"Not logged in.\nLog in with /login command!", L"Error", MB_OK | MB_ICONSTOP);
        return;
    }
    Room *room = rlistwnd_item_room(rw, item);
    if (!room) {
        LVC_EnterRoom(0, utf8.c_str());
        return;
    }
    if (!room->chatwnd && rw->main_frame)
        room->chatwnd = mainwnd_create_chatwnd(rw->main_frame, room);
    void *chatwnd = room->chatwnd;
    const rlistwnd_room_ops &ops = rlistwnd_room_windows;
    int state = chatwnd && ops.join_state ? ops.join_state(chatwnd) : 0;
    if (state == 2) {
        if (ops.activate)
            ops.activate(chatwnd);
        return;
    }
    LVC_EnterRoom(room->id, "");
    if (chatwnd && ops.set_join_state)
        ops.set_join_state(chatwnd, 1);
}

// Opens the first address in the room's topic: each position of the topic is tried in
// turn, with every blank ending the text there, until one opens.
void rlistwnd_follow_url(const Room *room)
{
    std::u16string topic = rlistwnd_plain_topic(room);
    std::u16string cut = topic;
    for (char16_t &c : cut)
        if (c == u' ')
            c = 0;
    for (size_t i = 0; i < cut.size(); i++) {
        if (rlistwnd_url_opener(reinterpret_cast<const wchar_t *>(cut.c_str() + i)) > 32)
            break;
    }
}

void rlistwnd_context_menu(rlistwnd *rw, HWND hwnd, LPARAM lp)
{
    if (!rlistwnd_item_room(rw, rlistwnd_selected(rw)))
        return;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING, RLISTWND_CMD_ENTER, L"enter");
    AppendMenuW(menu, MF_STRING, RLISTWND_CMD_INFO, L"info");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, RLISTWND_CMD_URL, L"follow url");
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    // The menu key reports no position: the menu opens at the mouse.
    if (lp == -1)
        GetCursorPos(&at);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

void rlistwnd_open_info(const rlistwnd *rw, const Room *room)
{
    if (room && rw->main_frame)
        infobox_create(rw->main_frame, INFOBOX_ROOM, room);
}

void rlistwnd_menu_command(rlistwnd *rw, UINT id)
{
    Room *room = rlistwnd_item_room(rw, rlistwnd_selected(rw));
    if (!room)
        return;
    switch (id) {
    case RLISTWND_CMD_ENTER:
        rlistwnd_push_button(rw);
        break;
    case RLISTWND_CMD_INFO:
        rlistwnd_open_info(rw, room);
        break;
    case RLISTWND_CMD_URL:
        rlistwnd_follow_url(room);
        break;
    default:
        break;
    }
}

void rlistwnd_draw_line(HDC dc, int x, int height, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x, 0, nullptr);
    LineTo(dc, x, height);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void rlistwnd_draw_cell(HDC dc, const std::u16string &text, int left, int width, const RECT &item, UINT align)
{
    RECT cell{left, item.top, left + width, item.bottom};
    DrawTextW(dc, wide(text), static_cast<int>(text.size()), &cell,
              align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

void rlistwnd_draw_item(const rlistwnd *rw, const DRAWITEMSTRUCT *dis)
{
    if (dis->itemID == static_cast<UINT>(-1))
        return;
    // A virtual list passes no item data: the row's room is the one at its place, unless
    // the request names one.
    const int32_t id = dis->itemData ? static_cast<int32_t>(dis->itemData)
                                     : rlistwnd_rooms_id_at(rw->rooms, static_cast<int>(dis->itemID));
    const Room *room = id ? LVC_GetRoom(id) : nullptr;
    if (!room)
        return;
    HDC dc = dis->hDC;
    const RECT &rc = dis->rcItem;
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;
    COLORREF text = selected ? selected_text : rlistwnd_text_colour(room->id, room->states);
    COLORREF background = selected ? selected_background : vel_listview_getbkgndcolor(rw->list);

    HBRUSH brush = CreateSolidBrush(background);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    HGDIOBJ old_font = rw->list->font ? SelectObject(dc, rw->list->font) : nullptr;
    int old_mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_colour = SetTextColor(dc, text);

    const int w0 = vel_listview_getcolumnwidth(rw->list, 0);
    const int w1 = vel_listview_getcolumnwidth(rw->list, 1);
    const int w2 = vel_listview_getcolumnwidth(rw->list, 2);
    rlistwnd_draw_cell(dc, u" " + rlistwnd_utf8_text(room->name), rc.left, w0, rc, DT_LEFT | DT_END_ELLIPSIS);
    char count[24];
    std::snprintf(count, sizeof count, "%d  ", room->usercnt);
    rlistwnd_draw_cell(dc, rlistwnd_utf8_text(count), rc.left + w0, w1, rc, DT_RIGHT);
    rlistwnd_draw_cell(dc, u" " + rlistwnd_plain_topic(room), rc.left + w0 + w1, w2, rc, DT_LEFT | DT_END_ELLIPSIS);

    SetTextColor(dc, old_colour);
    SetBkMode(dc, old_mode);
    if (old_font)
        SelectObject(dc, old_font);
    if (selected) {
        HBRUSH frame = CreateSolidBrush(selected_frame);
        FrameRect(dc, &rc, frame);
        DeleteObject(frame);
    }
    RECT client;
    GetClientRect(rw->list->hwnd, &client);
    const int column2 = rc.left + w0 + w1;
    rlistwnd_draw_line(dc, column2 - 1, client.bottom, divider_light);
    rlistwnd_draw_line(dc, column2 - 2, client.bottom, divider_dark);
}

// The header's notifications: the end of a divider drag refits column 2 once the header
// reports the new width; a double click on a divider must not auto-size a column.
int rlistwnd_header_notify(rlistwnd *rw, const NMHDR *hdr, LRESULT *result)
{
    switch (hdr->code) {
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
        rw->header_dragged = 1;
        return VEL_CONTINUE;
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
        if (rw->header_dragged) {
            rw->header_dragged = 0;
            rlistwnd_adjust_list(rw);
        }
        return VEL_CONTINUE;
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        *result = 0;
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

// The list is busy for a scope (a refresh, a row being drawn): its own messages then start
// no refresh.
struct rlistwnd_busy {
    rlistwnd *rw;
    int32_t was;
    explicit rlistwnd_busy(rlistwnd *r) : rw(r), was(r->busy) { r->busy = 1; }
    ~rlistwnd_busy() { rw->busy = was; }
    rlistwnd_busy(const rlistwnd_busy &) = delete;
    rlistwnd_busy &operator=(const rlistwnd_busy &) = delete;
};

// One refresh per batch: the first change posts it, the ones after it find it on its way.
void rlistwnd_schedule(rlistwnd *rw)
{
    if (rw->refresh_posted || !rw->wnd)
        return;
    rw->refresh_posted = 1;
    PostMessageW(rw->wnd->hwnd, refresh_wm, 0, 0);
}

// The list view learns how many rows there are; it asks for their texts as it draws them.
void rlistwnd_show_count(rlistwnd *rw)
{
    const rlistwnd_busy busy(rw);
    SendMessageW(rw->list->hwnd, LVM_SETITEMCOUNT, rw->rooms->shown.size(), LVSICF_NOSCROLL);
}

// The list view selects a row by its place: the selected room stays selected where the
// refresh moved it, and a selected room that went leaves no selection behind.
void rlistwnd_reselect(rlistwnd *rw, int32_t id, int before)
{
    const int after = id ? rlistwnd_rooms_find(rw->rooms, id) : -1;
    if (after == before)
        return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (before >= 0 && static_cast<size_t>(before) < rw->rooms->shown.size())
        SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(before), reinterpret_cast<LPARAM>(&state));
    if (after < 0)
        return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(after), reinterpret_cast<LPARAM>(&state));
}

// Rows whose topic or count changed are drawn again, the visible ones only, in one go.
void rlistwnd_redraw_changed(rlistwnd *rw)
{
    std::vector<int32_t> &changed = rw->rooms->changed;
    if (changed.empty())
        return;
    const std::vector<rlistwnd_room> &shown = rw->rooms->shown;
    const int top = static_cast<int>(SendMessageW(rw->list->hwnd, LVM_GETTOPINDEX, 0, 0));
    const int page = static_cast<int>(SendMessageW(rw->list->hwnd, LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    const int end = std::min(top + page, static_cast<int>(shown.size()));
    int first = -1, last = -1;
    for (int i = std::max(top, 0); i < end; i++) {
        const bool hit = changed.size() > changed_rows_max ||
                         std::find(changed.begin(), changed.end(), shown[static_cast<size_t>(i)].id) != changed.end();
        if (!hit)
            continue;
        if (first < 0)
            first = i;
        last = i;
    }
    changed.clear();
    if (first >= 0)
        vel_listview_redrawitems(rw->list, first, last);
}

// Shows the changes. A long list is placed a step (`budget` rooms) at a time: the
// posted refresh posts itself again, so that no single message keeps the window from
// answering; the view changes once, when the rooms are placed.
void rlistwnd_update(rlistwnd *rw, size_t budget)
{
    if (!rw || !rw->list || !rw->rooms || rw->busy)
        return;
    const rlistwnd_busy busy(rw);
    rlistwnd_rooms *r = rw->rooms;
    // A list on its way: its rooms are sorted as they come and placed at its end.
    if (rw->downloading) {
        if (!rlistwnd_rooms_sort(r, budget))
            rlistwnd_schedule(rw);
        return;
    }
    if (rlistwnd_rooms_pending(r)) {
        const int before = r->shown.empty() ? -1 : rlistwnd_selected(rw);
        const int32_t selected = rlistwnd_rooms_id_at(r, before);
        if (!rlistwnd_rooms_place(r, budget)) {
            rlistwnd_schedule(rw);
            return;
        }
        // Every row is drawn anew.
        r->changed.clear();
        rlistwnd_show_count(rw);
        rlistwnd_reselect(rw, selected, before);
        rlistwnd_adjust_list(rw);
    } else {
        rlistwnd_redraw_changed(rw);
    }
    if (rw->tooltip_stale && rw->winlist_entry) {
        wchar_t text[48];
        std::swprintf(text, std::size(text), L"szobalista - %d", rw->room_count);
        vel_widget_settooltiptext(rw->winlist_entry, text);
    }
    rw->tooltip_stale = 0;
}

// A row's text, asked for as the list is read: the first column's text; the other
// columns are drawn from the room.
void rlistwnd_dispinfo(const rlistwnd *rw, NMLVDISPINFOW *info)
{
    LVITEMW &item = info->item;
    const std::vector<rlistwnd_room> &shown = rw->rooms->shown;
    const bool known = item.iItem >= 0 && static_cast<size_t>(item.iItem) < shown.size();
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        std::u16string text;
        if (known && item.iSubItem == 0)
            text = rlistwnd_rooms_text(shown[static_cast<size_t>(item.iItem)]);
        const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        std::copy_n(wide(text), n, item.pszText);
        item.pszText[n] = 0;
    }
}

// LVN_ODFINDITEM: the list's own search (by data or by text) in the shown rooms.
LRESULT rlistwnd_odfind(const rlistwnd *rw, const NMLVFINDITEMW *find)
{
    const LVFINDINFOW &what = find->lvfi;
    if (what.flags & LVFI_PARAM)
        return rlistwnd_rooms_find(rw->rooms, static_cast<int32_t>(what.lParam));
    if ((what.flags & (LVFI_STRING | LVFI_PARTIAL)) && what.psz)
        return rlistwnd_find_text(rw, what.psz, find->iStart, (what.flags & LVFI_PARTIAL) != 0);
    return -1;
}

// The list shows every change before it is read or the user acts on it; its own drawing
// (and the messages of a refresh under way) see the rooms as they are.
bool rlistwnd_reads_list(UINT msg, LPARAM lp)
{
    if (msg >= LVM_FIRST && msg < LVM_FIRST + 0x100)
        return true;
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_CONTEXTMENU:
    case WM_COMMAND:
        return true;
    case VEL_WM_NOTIFY: {
        const UINT code = reinterpret_cast<const NMHDR *>(lp)->code;
        return code == NM_DBLCLK || code == NM_RDBLCLK || code == NM_CLICK || code == NM_RCLICK;
    }
    default:
        return false;
    }
}

int list_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *rw = static_cast<rlistwnd *>(self->ext);
    if (!rw || !rw->rooms)
        return VEL_CONTINUE;
    if (!rw->busy && !rw->downloading && rlistwnd_reads_list(msg, lp))
        rlistwnd_refresh(rw);
    switch (msg) {
    case VEL_WM_DRAWITEM: {
        // The row is drawn as the list view counts its rows: its own questions (column
        // widths, colours) must not change them under it.
        const rlistwnd_busy busy(rw);
        rlistwnd_draw_item(rw, reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
        *result = 0;
        return VEL_DONE;
    }
    case VEL_WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = RLISTWND_ROW_HEIGHT;
        *result = TRUE;
        return VEL_DONE;
    case VEL_WM_PARENT_SIZE:
        vel_widget_adjust_placement(self, FALSE);
        rlistwnd_adjust_list(rw);
        *result = 0;
        return VEL_DONE;
    case VEL_WM_NOTIFY: {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lp);
        switch (hdr->code) {
        case LVN_GETDISPINFOW:
            rlistwnd_dispinfo(rw, reinterpret_cast<NMLVDISPINFOW *>(lp));
            break;
        case LVN_ITEMCHANGED: {
            // A refresh that keeps the selected room selected leaves the typed name alone.
            const auto *change = reinterpret_cast<const NMLISTVIEW *>(lp);
            if (!rw->busy && (change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED))
                rlistwnd_copy_name(rw, rlistwnd_selected(rw));
            break;
        }
        case NM_DBLCLK:
            // Only a double click on an item enters: off the items the list reports none.
            if (reinterpret_cast<const NMITEMACTIVATE *>(lp)->iItem >= 0)
                rlistwnd_push_button(rw);
            break;
        case NM_RDBLCLK:
            // Off the items the list reports no item, and no room opens.
            rlistwnd_open_info(rw, rlistwnd_item_room(rw, reinterpret_cast<const NMITEMACTIVATE *>(lp)->iItem));
            break;
        default:
            break;
        }
        return VEL_CONTINUE;
    }
    case WM_NOTIFY:
        return rlistwnd_header_notify(rw, reinterpret_cast<const NMHDR *>(lp), result);
    case WM_KEYDOWN:
        if (wp == VK_RETURN) {
            rlistwnd_push_button(rw);
            *result = 0;
            return VEL_DONE;
        }
        return VEL_CONTINUE;
    case WM_LBUTTONDOWN: {
        LVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        rlistwnd_copy_name(rw, vel_listview_hittest(self, &hit));
        return VEL_CONTINUE;
    }
    case WM_CONTEXTMENU:
        rlistwnd_context_menu(rw, hwnd, lp);
        *result = 0;
        return VEL_DONE;
    case WM_COMMAND:
        if (lp == 0) {
            rlistwnd_menu_command(rw, LOWORD(wp));
            *result = 0;
            return VEL_DONE;
        }
        return VEL_CONTINUE;
    default:
        return VEL_CONTINUE;
    }
}

int name_edit_wdgproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    auto *edit = static_cast<vel_richedit2 *>(self->ext);
    auto *rw = edit ? static_cast<rlistwnd *>(edit->user) : nullptr;
    if (rw && msg == WM_CHAR && wp == VK_RETURN) {
        rlistwnd_push_button(rw);
        *result = 0;
        return VEL_DONE;
    }
    return VEL_CONTINUE;
}

// The topic column takes what the room and count columns leave of the list's width; a
// narrow window gets 0 (a negative width would ask the list view to auto-size it).
int topic_column_width(const vel_widget *list)
{
    RECT client;
    GetClientRect(list->hwnd, &client);
    const int width = client.right - (vel_listview_getcolumnwidth(list, 0) + vel_listview_getcolumnwidth(list, 1));
    return width > 0 ? width : 0;
}

int rlistwnd_build(rlistwnd *rw, vel_window *self)
{
    rw->wnd = self;
    // Virtual (owner data): the rows are the record's sorted rooms, which keeps the order
    // a sorted list view would.
    rw->list = vel_widget_create(rw, self, WS_EX_CLIENTEDGE,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA |
                                     LVS_OWNERDRAWFIXED | LVS_NOSORTHEADER,
                                 L"", 0, 0, 0, strip_height,
                                 VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM, nullptr,
                                 list_wdgproc, VEL_LISTVIEW, WC_LISTVIEWW);
    rw->name_edit = vel_richedit2_create(rw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, L"Inda",
                                         0, 0, button_width, strip_height,
                                         VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM, nullptr,
                                         name_edit_wdgproc);
    rw->enter_button = vel_widget_create(rw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                         L"belépés", 0, 0, button_width, strip_height,
                                         VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM, nullptr, nullptr, VEL_BUTTON, L"BUTTON");
    if (!rw->list || !rw->name_edit || !rw->enter_button)
        return 0;
    // Laid out once, when drawing comes back on, rather than after each change.
    vel_widget_setredraw(rw->list, 0);
    vel_widget_create_and_set_font(rw->list, 15, L"Arial", 700);
    vel_listview_setbkgndcolor(rw->list, list_background);
    vel_listview_insertcolumn(rw->list, 0, L"szoba", 146, LVCFMT_LEFT);
    vel_listview_insertcolumn(rw->list, 1, L"#", 35, LVCFMT_RIGHT);
    // Made as wide as the window's first fitting makes it, so that fitting moves nothing.
    vel_listview_insertcolumn(rw->list, 2, L"téma", topic_column_width(rw->list), LVCFMT_LEFT);
    vel_widget_setredraw(rw->list, 1);

    static_cast<vel_richedit2 *>(rw->name_edit->ext)->history_max = 1;
    vel_richedit_setbkgndcolor(rw->name_edit, RGB(0xFF, 0x91, 0x00));
    vel_widget_create_and_set_font(rw->name_edit, 16, L"Arial", 700);
    vel_richedit_set_text_color(rw->name_edit, RGB(0x3C, 0x48, 0x90));

    vel_widget_create_and_set_font(rw->enter_button, 15, L"Arial", 700);
    return 1;
}

}  // namespace

char rlistwnd_state_letter(int32_t id, int32_t states)
{
    char letter = 'y';
    if (states & 0x01)
        letter = 'c';
    if (states & 0x08)
        letter = 'a';
    if (states & 0x10)
        letter = id >= 1000000 ? 'e' : 'd';
    if (states & 0x04)
        letter = 'z';
    return letter;
}

COLORREF rlistwnd_text_colour(int32_t id, int32_t states)
{
    COLORREF colour = RGB(0, 0, 0);
    if (states & 0x01)
        colour = RGB(0x31, 0x4B, 0x6A);
    if (states & 0x08)
        colour = RGB(0xFF, 0x00, 0x00);
    if (states & 0x10)
        colour = id > 1000000 ? RGB(0x8C, 0x18, 0xC6) : RGB(0x4A, 0x41, 0xC6);
    if (states & 0x04)
        colour = RGB(0x80, 0x80, 0x80);
    return colour;
}

namespace {

void join_window_list(rlistwnd *rw, vel_window *wnd)
{
    if (rw->main_frame && !rw->winlist_entry)
        rw->winlist_entry = mainwnd_add_childwindow(rw->main_frame, wnd, MAINWND_KIND_ROOMLIST, L"szobalista",
                                                    L"szobalista - 0");
}

}  // namespace

int rlistwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *rw = static_cast<rlistwnd *>(self->user);
    if (!rw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!rlistwnd_build(rw, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_DESTROY:
        if (roomlist_window == rw)
            roomlist_window = nullptr;
        if (rw->main_frame && rw->main_frame->rlistwnd == rw)
            rw->main_frame->rlistwnd = nullptr;
        self->user = nullptr;
        delete rw->rooms;
        std::free(rw);
        return VEL_CONTINUE;
    case VEL_WM_COMMAND:
        if (rw->enter_button && reinterpret_cast<vel_widget *>(lp) == rw->enter_button && HIWORD(wp) == BN_CLICKED)
            rlistwnd_enter(rw);
        *result = 0;
        return VEL_DONE;
    case refresh_wm:
        rw->refresh_posted = 0;
        rlistwnd_update(rw, refresh_step_rooms);
        *result = 0;
        return VEL_DONE;
    case WM_NOTIFY:
        if (rw->list && reinterpret_cast<const NMHDR *>(lp)->hwndFrom == rw->list->hwnd &&
            reinterpret_cast<const NMHDR *>(lp)->code == LVN_ODFINDITEMW) {
            *result = rlistwnd_odfind(rw, reinterpret_cast<const NMLVFINDITEMW *>(lp));
            return VEL_DONE;
        }
        break;
    case WM_MDIACTIVATE:
        // The room list joins the window list when it is first activated.
        if (reinterpret_cast<HWND>(lp) == hwnd && !rw->winlist_entry) {
            join_window_list(rw, self);
            ShowWindow(hwnd, SW_SHOW);
        }
        break;
    default:
        break;
    }
    // The room list lives as long as the program: closing it only minimises.
    const childwnd_common common{rw->main_frame, rw->winlist_entry, nullptr, CHILDWND_CLOSE_MINIMISES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

void rlistwnd_join_window_list(rlistwnd *rw)
{
    if (rw->wnd)
        join_window_list(rw, rw->wnd);
}

rlistwnd *rlistwnd_create(mainwnd *main_frame)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    auto *rw = static_cast<rlistwnd *>(std::calloc(1, sizeof(rlistwnd)));
    if (!rw)
        return nullptr;
    rw->main_frame = main_frame;
    rw->rooms = new rlistwnd_rooms;
    HICON icon = lvc_loadicon(IDI_ROOMLIST);
    // Made hidden: the main frame shows it behind the status window (vel_mdichild_show_behind).
    vel_window *wnd = vel_mdichild_create(rw, icon, icon, WS_OVERLAPPEDWINDOW, L"szobalista",
                                          CW_USEDEFAULT, CW_USEDEFAULT, 450, 270, main_frame->frame, rlistwnd_wndproc);
    if (!wnd) {
        delete rw->rooms;
        std::free(rw);
        return nullptr;
    }
    rw->wnd = wnd;
    rlistwnd_adjust_list(rw);
    vel_widget_refresh(rw->list, TRUE);
    return rw;
}

int rlistwnd_add_room(rlistwnd *rw, const Room *room)
{
    if (!rw || !rw->rooms || !room)
        return 0;
    rlistwnd_rooms_add(rw->rooms, room->id, rlistwnd_state_letter(room->id, room->states), room->name);
    rw->room_count++;
    rlistwnd_schedule(rw);
    return 1;
}

void rlistwnd_del_room(rlistwnd *rw, const Room *room)
{
    if (!rw || !rw->rooms || !room || !rlistwnd_rooms_del(rw->rooms, room->id))
        return;
    rw->room_count--;
    rlistwnd_schedule(rw);
}

void rlistwnd_chg_theme(rlistwnd *rw, const Room *room)
{
    if (!rw || !rw->rooms || !room)
        return;
    std::vector<int32_t> &changed = rw->rooms->changed;
    if (changed.size() <= changed_rows_max && std::find(changed.begin(), changed.end(), room->id) == changed.end())
        changed.push_back(room->id);
    rlistwnd_schedule(rw);
}

void rlistwnd_chg_usercnt(rlistwnd *rw, const Room *room)
{
    rlistwnd_chg_theme(rw, room);
}

void rlistwnd_chg_states(rlistwnd *rw, const Room *room)
{
    rlistwnd_del_room(rw, room);
    rlistwnd_add_room(rw, room);
}

void rlistwnd_update_tooltip(rlistwnd *rw)
{
    if (!rw)
        return;
    rw->tooltip_stale = 1;
    rlistwnd_schedule(rw);
}

void rlistwnd_deleteall(rlistwnd *rw)
{
    if (!rw || !rw->rooms)
        return;
    *rw->rooms = rlistwnd_rooms{};
    rw->room_count = 0;
    rlistwnd_show_count(rw);
}

void rlistwnd_list_begin(rlistwnd *rw)
{
    rlistwnd_deleteall(rw);
    if (!rw || !rw->list)
        return;
    rw->downloading = 1;
    vel_widget_setredraw(rw->list, 0);
}

void rlistwnd_list_end(rlistwnd *rw)
{
    if (!rw || !rw->list || !rw->downloading)
        return;
    rw->downloading = 0;
    vel_widget_setredraw(rw->list, 1);
    vel_widget_refresh(rw->list, TRUE);
    rlistwnd_schedule(rw);
}

void rlistwnd_refresh(rlistwnd *rw)
{
    rlistwnd_update(rw, SIZE_MAX);
}

void rlistwnd_adjust_list(rlistwnd *rw)
{
    if (!rw || !rw->wnd || !rw->list)
        return;
    // Setting a width lays the list and its header out anew even when nothing changes.
    const int width = topic_column_width(rw->list);
    if (vel_listview_getcolumnwidth(rw->list, 2) != width)
        vel_listview_setcolumnwidth(rw->list, 2, width);
}

void rlistwnd_push_button(rlistwnd *rw)
{
    if (!rw || !rw->wnd || !rw->enter_button)
        return;
    SendMessageW(rw->wnd->hwnd, VEL_WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(rw->enter_button));
}

void rlistwnd_set_progress(rlistwnd *rw, int32_t received, int32_t wanted)
{
    if (!rw || !rw->wnd)
        return;
    // Nothing wanted counts as finished, so the percentage never divides by zero.
    const bool done = received == wanted || wanted <= 0;
    const int percent = done ? 0 : static_cast<int>(static_cast<int64_t>(received) * 100 / wanted);
    // A download reports every piece it receives: only a new percentage is shown.
    const int32_t shown = done ? 1 : 2 + percent;
    if (shown == rw->progress_shown && rw->winlist_entry)
        return;
    rw->progress_shown = shown;
    wchar_t text[48];
    if (done)
        std::swprintf(text, std::size(text), L"b szobalista_");
    else
        std::swprintf(text, std::size(text), L"b szobalista %d%%_", percent);
    if (rw->main_frame)
        mainwnd_set_entry_text(rw->main_frame, rw->wnd, text);
    // The caption: without the kind letter, its blank and the marker.
    std::wstring caption(text + 2);
    caption.pop_back();
    vel_window_setcaption(rw->wnd, caption.c_str());
}
