// The room window's user list: one owner-drawn row per user of the room, ordered by rank
// and marked by rights and the local friends and ignore marks, with the per-user actions
// of its context menu.
#include "ui/chatwnd.h"

#include "protocol/lvc6b.h"
#include "settings/util.h"
#include "text/string.h"
#include "toolkit/listview.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/infobox.h"
#include "ui/privwnd.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

namespace {

constexpr COLORREF list_background = RGB(0x2B, 0x67, 0xA6);
constexpr COLORREF selected_background = RGB(0x1E, 0x47, 0x8A);
constexpr int item_height = 17;
constexpr int item_width = 27;
constexpr int side_width = 147;
constexpr int bottom_margin = 24;
// A local user with an id from here on is a guest, who may not ask the server about others.
constexpr int32_t guest_ids = 1000000;
// An item's text: the letter, a blank and a nick of at most 91 bytes (at most 91 units).
constexpr int item_text_size = 128;

bool same_perms(int32_t perms, uint32_t value)
{
    return static_cast<uint32_t>(perms) == value;
}

bool is_staff(int32_t perms)
{
    return same_perms(perms, 0x1FF11FFF) || same_perms(perms, 0x1FF51FFF);
}

std::u16string item_text(const User *user)
{
    char utf8[LVC_NICK_SIZE + 4];
    std::snprintf(utf8, sizeof utf8, "%c %s", chatwnd_user_letter(user->perms, is_user_friend(user->id),
                                                                  is_user_ignored(user->id)),
                  user->nick);
    std::u16string text(std::strlen(utf8) + 1, u'\0');
    utf8_to_ucs2(text.data(), utf8);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

// Where the list view keeps sorted items; found here too, for a list view that does not
// sort on insertion.
int sorted_place(const vel_widget *list, const wchar_t *text)
{
    int low = 0, high = vel_listview_getitemcount(list);
    while (low < high) {
        const int mid = low + (high - low) / 2;
        wchar_t other[item_text_size];
        vel_listview_getitemtext(list, mid, 0, other, item_text_size);
        if (lstrcmpW(other, text) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

const User *user_at(const chatwnd *cw, int item)
{
    if (item < 0 || !cw->room)
        return nullptr;
    return LVC_GetUserInRoom(cw->room, static_cast<int32_t>(vel_listview_getlparam(cw->userlist, item)));
}

const User *selected_user(const chatwnd *cw)
{
    return user_at(cw, vel_listview_getnextitem(cw->userlist, -1, LVNI_SELECTED));
}

void draw_item(const chatwnd *cw, const DRAWITEMSTRUCT *dis)
{
    if (dis->itemID == static_cast<UINT>(-1) || !cw->room)
        return;
    const User *user = LVC_GetUserInRoom(cw->room, static_cast<int32_t>(dis->itemData));
    if (!user)
        return;
    const chatwnd_user_look look = chatwnd_user_style(user->perms, is_user_friend(user->id), is_user_ignored(user->id));
    wchar_t text[item_text_size];
    const int length = vel_listview_getitemtext(cw->userlist, static_cast<int>(dis->itemID), 0, text, item_text_size);
    std::wstring shown = L" ";
    shown += look.mark;
    if (length > 2)
        shown.append(text + 2, static_cast<size_t>(length - 2));

    HDC dc = dis->hDC;
    RECT rc = dis->rcItem;
    HBRUSH brush = CreateSolidBrush((dis->itemState & ODS_SELECTED) ? selected_background : list_background);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    HGDIOBJ old_font = cw->userlist->font ? SelectObject(dc, cw->userlist->font) : nullptr;
    const int old_mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = SetTextColor(dc, look.colour);
    DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &rc,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, old_mode);
    if (old_font)
        SelectObject(dc, old_font);
}

void double_click(chatwnd *cw, int item)
{
    const User *user = user_at(cw, item);
    if (!user)
        return;
    if (GetKeyState(VK_CONTROL) < 0) {
        if (!cw->input)
            return;
        std::u16string nick(std::strlen(user->nick) + 1, u'\0');
        utf8_to_ucs2(nick.data(), user->nick);
        // The input line doubles the dollar signs of inserted text.
        SendMessageW(cw->input->hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(nick.c_str()));
        vel_widget_setfocus(cw->input);
        return;
    }
    private_add_private(cw->main_frame, user->id, user->nick);
}

void context_menu(chatwnd *cw, HWND hwnd, LPARAM lp)
{
    const User *user = selected_user(cw);
    HMENU menu = user ? chatwnd_user_menu(cw, user) : nullptr;
    if (!menu)
        return;
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    // The menu key reports no position: the menu opens at the mouse.
    if (lp == -1)
        GetCursorPos(&at);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

// The user is looked up again: he may have left while the menu was open.
void menu_command(chatwnd *cw, UINT id)
{
    const User *user = selected_user(cw);
    if (!user)
        return;
    const int32_t uid = user->id;
    // A copy, kept whatever the actions below set off in the room's records.
    char nick[LVC_NICK_SIZE];
    std::memcpy(nick, user->nick, sizeof nick);
    switch (id) {
    case USERS_INFO:
        infobox_create(cw->main_frame, INFOBOX_USER, user);
        break;
    case USERS_WHEREIS:
        LVC_Ask_(14, cw->room_id, nick);
        break;
    case USERS_ASK_INFO:
        LVC_Ask_(20, cw->room_id, nick);
        break;
    case USERS_LOVE:
        chatwnd_cmd_love(cw, 1, nick);
        break;
    case USERS_OP:
        LVC_ChPerms(cw->room_id, uid, 0xFFFF);
        break;
    case USERS_DEOP:
        LVC_ChPerms(cw->room_id, uid, 0);
        break;
    case USERS_BABEL:
        LVC_OpfuncRoomUser(11, cw->room_id, uid);
        break;
    case USERS_KICK:
        LVC_OpfuncRoomUser(2, cw->room_id, uid);
        break;
    case USERS_IGNORE:
        ignore_user(uid, is_user_ignored(uid) ? 0 : 1);
        chatwnd_chg_user(cw, LVC_GetUserInRoom(cw->room, uid));
        break;
    case USERS_FRIEND:
        friend_user(uid, is_user_friend(uid) ? 0 : 1, nick);
        break;
    default:
        break;
    }
}

int userlist_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *cw = static_cast<chatwnd *>(self->ext);
    if (!cw)
        return VEL_CONTINUE;
    switch (msg) {
    case VEL_WM_DRAWITEM:
        draw_item(cw, reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
        *result = TRUE;
        return VEL_DONE;
    case VEL_WM_MEASUREITEM: {
        auto *mis = reinterpret_cast<MEASUREITEMSTRUCT *>(lp);
        mis->itemHeight = item_height;
        mis->itemWidth = item_width;
        *result = TRUE;
        return VEL_DONE;
    }
    case VEL_WM_PARENT_SIZE:
        vel_widget_adjust_placement(self, FALSE);
        chatwnd_adjust_userlist(cw);
        *result = 0;
        return VEL_DONE;
    case VEL_WM_NOTIFY:
        if (reinterpret_cast<const NMHDR *>(lp)->code == NM_DBLCLK)
            double_click(cw, reinterpret_cast<const NMITEMACTIVATE *>(lp)->iItem);
        return VEL_CONTINUE;
    case WM_CONTEXTMENU:
        context_menu(cw, hwnd, lp);
        *result = 0;
        return VEL_DONE;
    case WM_COMMAND:
        if (lp != 0)
            return VEL_CONTINUE;
        menu_command(cw, LOWORD(wp));
        *result = 0;
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

}  // namespace

HMENU chatwnd_user_menu(const chatwnd *cw, const User *user)
{
    HMENU menu = CreatePopupMenu();
    if (!menu || !cw->room)
        return menu;
    const int32_t myperms = cw->room->myperms;
    const bool guest = LVC_GetOwnID() >= guest_ids;
    auto item = [menu](UINT id, const wchar_t *text, bool enabled, bool checked) {
        AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : MF_UNCHECKED), id,
                    text);
    };
    auto separator = [menu] { AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); };
    item(USERS_INFO, L"Info", true, false);
    separator();
    item(USERS_WHEREIS, L"/whereis", !guest, false);
    item(USERS_ASK_INFO, L"/info", !guest, false);
    item(USERS_LOVE, L"/love", true, false);
    separator();
    item(USERS_OP, L"Op", (myperms & 0x10) != 0, false);
    item(USERS_DEOP, L"Deop", (myperms & 0x10) != 0, false);
    separator();
    item(USERS_BABEL, L"B\u00e1bel", (myperms & 0x80) != 0, (user->perms & 0x00010000) == 0);
    item(USERS_KICK, L"Kir\u00fag\u00e1s", (myperms & 0x08) != 0, false);
    item(USERS_IGNORE, L"Ignore", true, is_user_ignored(user->id) != 0);
    item(USERS_FRIEND, L"Bar\u00e1t", true, is_user_friend(user->id) != 0);
    separator();
    item(USERS_GAME, L"Am\u00f4ba", true, false);
    item(USERS_OPPOSITE, L"Opposite", false, false);
    return menu;
}

char chatwnd_user_letter(int32_t perms, int is_friend, int is_ignored)
{
    char letter = 'y';
    if (perms & 0x000001FF)
        letter = 'e';
    if (perms & 0x10000000)
        letter = 'd';
    if (perms & 0x20000000)
        letter = 'c';
    if (same_perms(perms, 0x20110001))
        letter = 'g';
    if (static_cast<uint32_t>(perms) & 0x80000000u)
        letter = 'b';
    if (perms & 0x40000000)
        letter = 'a';
    if (is_staff(perms))
        letter = 'f';
    if (!(perms & 0x00010000))
        letter = 'x';
    if (is_friend)
        letter = 'h';
    if (is_ignored)
        letter = 'z';
    return letter;
}

chatwnd_user_look chatwnd_user_style(int32_t perms, int is_friend, int is_ignored)
{
    chatwnd_user_look look{L"", RGB(0xFF, 0xFF, 0xFF)};
    if (perms & 0x00008000)
        look.colour = RGB(0x27, 0xF9, 0xB1);
    if (perms & 0x000001FF)
        look = {L"@", RGB(0x00, 0xFF, 0xFF)};
    if (perms & 0x10000000)
        look = {L"@", RGB(0xFF, 0xC8, 0x00)};
    if (perms & 0x20000000)
        look = {L"@", RGB(0xFF, 0xFF, 0x00)};
    if (same_perms(perms, 0x20110001))
        look = {L"", RGB(0xFF, 0xAF, 0xAF)};
    if (static_cast<uint32_t>(perms) & 0x80000000u)
        look = {L"@", RGB(0xFF, 0x00, 0x00)};
    if (perms & 0x40000000)
        look = {L"#", RGB(0x00, 0xFF, 0x00)};
    if (perms & 0x00040000)
        look.colour = RGB(0xDC, 0xDC, 0xDC);
    if (perms & 0x00020000)
        look.colour = RGB(0x10, 0x2C, 0x4B);
    if (is_staff(perms))
        look = {L"\u00f7", RGB(0xAA, 0xAA, 0xAA)};
    if (is_friend)
        look = {L"%", RGB(0xBE, 0xFF, 0xB4)};
    if (is_ignored)
        look.colour = RGB(0x28, 0x28, 0x28);
    if (!(perms & 0x00010000))
        look = {L"!", RGB(0xC0, 0xC0, 0xC0)};
    return look;
}

vel_widget *chatwnd_userlist_create(chatwnd *cw, vel_window *parent, int top)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                        LVS_SORTASCENDING | LVS_OWNERDRAWFIXED;
    vel_widget *list = vel_widget_create(cw, parent, 0, style, L"", 0, top, side_width, bottom_margin,
                                         VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM, nullptr,
                                         userlist_wdgproc, VEL_LISTVIEW, WC_LISTVIEWW);
    if (!list)
        return nullptr;
    vel_widget_create_and_set_font(list, 16, L"Arial", 700);
    vel_listview_setbkgndcolor(list, list_background);
    vel_listview_insertcolumn(list, 0, L"", side_width - 1, LVCFMT_LEFT);
    return list;
}

// The column fills the list's client width, which already leaves out the border and a
// shown vertical scroll bar: a column as wide as the whole list would bring up a
// horizontal scroll bar for two pixels of border.
void chatwnd_adjust_userlist(chatwnd *cw)
{
    if (!cw || !cw->userlist)
        return;
    RECT client;
    if (GetClientRect(cw->userlist->hwnd, &client) && client.right > 0)
        vel_listview_setcolumnwidth(cw->userlist, 0, client.right);
}

int chatwnd_add_user(chatwnd *cw, const User *user)
{
    if (!cw || !cw->userlist || !user)
        return -1;
    // A join the server repeats lists the user once.
    if (const int listed = vel_listview_findlparam(cw->userlist, user->id); listed >= 0)
        return listed;
    const std::u16string text = item_text(user);
    const auto *w = reinterpret_cast<const wchar_t *>(text.c_str());
    const int item = vel_listview_insertitem(cw->userlist, sorted_place(cw->userlist, w), w, user->id);
    chatwnd_adjust_userlist(cw);
    return item;
}

void chatwnd_del_user(chatwnd *cw, const User *user)
{
    if (!cw || !cw->userlist || !user)
        return;
    const int item = vel_listview_findlparam(cw->userlist, user->id);
    if (item >= 0)
        vel_listview_deleteitem(cw->userlist, item);
    chatwnd_adjust_userlist(cw);
    if (user->id == LVC_GetOwnID())
        chatwnd_chg_status(cw, CHATWND_LEFT);
}

void chatwnd_chg_user(chatwnd *cw, const User *user)
{
    if (!cw || !cw->userlist || !user)
        return;
    const int item = vel_listview_findlparam(cw->userlist, user->id);
    if (item < 0)
        return;
    vel_widget_setredraw(cw->userlist, 0);
    vel_listview_deleteitem(cw->userlist, item);
    chatwnd_adjust_userlist(cw);
    chatwnd_add_user(cw, user);
    vel_widget_setredraw(cw->userlist, 1);
    vel_widget_refresh(cw->userlist, TRUE);
}

void chatwnd_update_usercnt(chatwnd *cw)
{
    if (!cw || !cw->usercount_box || !cw->userlist)
        return;
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%d csevegô", vel_listview_getitemcount(cw->userlist));
    vel_textbox_add_line_c(cw->usercount_box, text, nullptr, 2, 0);
    vel_widget_refresh(cw->usercount_box, TRUE);
}

void chatwnd_free_userlist(chatwnd *cw)
{
    if (cw && cw->userlist)
        vel_listview_deleteallitems(cw->userlist);
}
