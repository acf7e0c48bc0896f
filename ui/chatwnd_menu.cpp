// The room window's menus: the entries of menu 201 at the top of its system menu, their
// states, the operator popup as the topic bar's context menu, and the commands they send.
#include "ui/chatwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "toolkit/mdichild.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/drawwnd.h"
#include "ui/infobox.h"

namespace {

// The entries of menu 201 that the system menu takes over.
constexpr int room_menu_entries = 8;
constexpr int topic_height = 22;
constexpr int side_shift = 21;

// The display-option items and their bits.
struct option_item {
    UINT id;
    uint32_t bit;
};
constexpr option_item option_items[] = {
    {IDC_KIBE, CHATWND_KIBE},       {IDC_TIMESTAMP, CHATWND_TIMESTAMP}, {IDC_USERID, CHATWND_USER_ID},
    {IDC_FLASH, CHATWND_FLASH},     {IDC_PREFIX, CHATWND_PREFIX},       {IDC_SHOW_TOPIC, CHATWND_SHOW_TOPIC},
};

HMENU chatwnd_system_menu(const chatwnd *cw)
{
    return cw->wnd ? GetSystemMenu(cw->wnd->hwnd, FALSE) : nullptr;
}

void check(HMENU menu, UINT id, bool on)
{
    CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void enable(HMENU menu, UINT id, bool on)
{
    EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

void chatwnd_toggle_topic(chatwnd *cw)
{
    cw->flags ^= CHATWND_SHOW_TOPIC;
    const bool shown = (cw->flags & CHATWND_SHOW_TOPIC) != 0;
    const int sign = shown ? 1 : -1;
    vel_widget_show(cw->topic_box, shown ? 1 : 0);
    cw->messages->y += sign * topic_height;
    cw->usercount_box->y += sign * side_shift;
    cw->userlist->y += sign * side_shift;
    vel_widget_adjust_placement(cw->messages, TRUE);
    vel_widget_adjust_placement(cw->usercount_box, TRUE);
    vel_widget_adjust_placement(cw->userlist, TRUE);
    chatwnd_adjust_userlist(cw);
}

void chatwnd_toggle_colours(chatwnd *cw)
{
    vel_textbox *box = vel_textbox_get(cw->messages);
    if (!box)
        return;
    box->colour_mode = box->colour_mode == 2 ? 0 : 2;
    vel_widget_refresh(cw->messages, TRUE);
}

void chatwnd_drawing_board(chatwnd *cw)
{
    if (cw->drawwnd && cw->drawwnd->wnd) {
        vel_mdichild_activate(cw->drawwnd->wnd);
        return;
    }
    cw->drawwnd = drawwnd_create(cw->main_frame, cw);
}

}  // namespace

void chatwnd_insert_menus(chatwnd *cw)
{
    HMENU system = chatwnd_system_menu(cw);
    if (!cw->menu || !system)
        return;
    for (int i = 0; i < room_menu_entries; i++) {
        const UINT pos = static_cast<UINT>(i);
        wchar_t text[64] = {};
        GetMenuStringW(cw->menu, pos, text, 64, MF_BYPOSITION);
        const UINT state = GetMenuState(cw->menu, pos, MF_BYPOSITION);
        if (HMENU sub = GetSubMenu(cw->menu, i))
            InsertMenuW(system, pos, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), text);
        else if (state & MF_SEPARATOR)
            InsertMenuW(system, pos, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        else
            InsertMenuW(system, pos, MF_BYPOSITION | MF_STRING | (state & (MF_GRAYED | MF_DISABLED)),
                        GetMenuItemID(cw->menu, i), text);
    }
}

// The popups belong to menu 201: they leave the system menu before the menu is destroyed,
// so each is destroyed once.
void chatwnd_detach_menus(chatwnd *cw)
{
    if (!cw->menu)
        return;
    HMENU system = chatwnd_system_menu(cw);
    HMENU first = GetSubMenu(cw->menu, 0);
    if (system && first && GetSubMenu(system, 0) == first) {
        for (int i = 0; i < room_menu_entries; i++)
            RemoveMenu(system, 0, MF_BYPOSITION);
    }
    DestroyMenu(cw->menu);
    cw->menu = nullptr;
}

void chatwnd_adjust_opfuncmenu(chatwnd *cw, HMENU menu)
{
    if (!cw || !menu)
        return;
    const int32_t myperms = cw->room ? cw->room->myperms : 0;
    const int32_t states = cw->room ? cw->room->states : 0;
    enable(menu, IDC_OP_TOPIC, (myperms & 0x01) != 0);
    enable(menu, IDC_OP_CLOSE, (myperms & 0x02) != 0);
    check(menu, IDC_OP_CLOSE, (states & 0x04) != 0);
}

void chatwnd_init_menu(chatwnd *cw)
{
    HMENU system = chatwnd_system_menu(cw);
    if (!system)
        return;
    for (const option_item &item : option_items)
        check(system, item.id, (cw->flags & item.bit) != 0);
    const vel_textbox *box = vel_textbox_get(cw->messages);
    check(system, IDC_COLOURS_OFF, box && box->colour_mode == 2);
    check(system, IDC_DRAWING, cw->drawwnd != nullptr);
    enable(system, IDC_ENTER_ROOM, cw->state != CHATWND_INSIDE);
    chatwnd_adjust_opfuncmenu(cw, system);
}

void chatwnd_topic_menu(chatwnd *cw, LPARAM lp)
{
    HMENU popup = cw->menu ? GetSubMenu(cw->menu, 1) : nullptr;
    if (!popup || !cw->wnd)
        return;
    chatwnd_adjust_opfuncmenu(cw, popup);
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    // The menu key reports no position: the menu opens at the mouse.
    if (lp == -1)
        GetCursorPos(&at);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, cw->wnd->hwnd, nullptr);
}

int chatwnd_system_command(chatwnd *cw, UINT id)
{
    for (const option_item &item : option_items) {
        if (id == item.id && id != IDC_SHOW_TOPIC) {
            cw->flags ^= item.bit;
            return 1;
        }
    }
    switch (id) {
    case IDC_COLOURS_OFF:
        chatwnd_toggle_colours(cw);
        return 1;
    case IDC_SHOW_TOPIC:
        chatwnd_toggle_topic(cw);
        return 1;
    case IDC_OP_TOPIC:
        // The topic becomes what the user had typed.
        if (cw->input) {
            SendMessageW(cw->input->hwnd, EM_SETSEL, 0, 0);
            SendMessageW(cw->input->hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"/topic "));
            chatwnd_submit(cw);
        }
        return 1;
    case IDC_OP_CLOSE:
        LVC_OpfuncOneID(6, cw->room_id);
        return 1;
    case IDC_ENTER_ROOM:
        LVC_EnterRoom(cw->room_id, "");
        return 1;
    case IDC_ROOM_INFO:
        if (cw->room)
            infobox_create(cw->main_frame, INFOBOX_ROOM, cw->room);
        return 1;
    case IDC_DRAWING:
        chatwnd_drawing_board(cw);
        return 1;
    default:
        return 0;
    }
}
