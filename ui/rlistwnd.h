// The room list window: every room the server knows, with its user count and topic,
// sorted by state group and name; the user enters a room by name or from the list.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>

struct mainwnd;
struct Room;

// Identifiers of the list's context menu.
enum : UINT {
    RLISTWND_CMD_ENTER = 14,
    RLISTWND_CMD_INFO = 150,
    RLISTWND_CMD_URL = 151,
};

// Room names typed for entering, in UCS-2 units without the terminator.
constexpr int RLISTWND_NAME_MAX = 253;
// Height of a list row in pixels.
constexpr int RLISTWND_ROW_HEIGHT = 16;

struct rlistwnd {
    vel_window *wnd;
    vel_widget *winlist_entry;
    int32_t room_count;
    vel_widget *list;
    vel_widget *name_edit;
    vel_widget *enter_button;
    int32_t header_dragged;
    mainwnd *main_frame;
};

// What entering a room needs from its room window: the join state (0 not entered,
// 1 entry requested, 2 inside, 3 left), setting it, and activating the window. The room
// window module sets them; while they are null a room's window counts as not entered.
struct rlistwnd_room_ops {
    int (*join_state)(void *chatwnd);
    void (*set_join_state)(void *chatwnd, int state);
    void (*activate)(void *chatwnd);
};
extern rlistwnd_room_ops rlistwnd_room_windows;
// What "follow url" hands each try to: the toolkit's address opener.
extern INT_PTR (*rlistwnd_url_opener)(const wchar_t *url);

rlistwnd *rlistwnd_create(mainwnd *main_frame);
// Inserts the room at its sorted place; returns the item index (-1 on failure).
int rlistwnd_add_room(rlistwnd *rw, const Room *room);
void rlistwnd_del_room(rlistwnd *rw, const Room *room);
void rlistwnd_chg_theme(rlistwnd *rw, const Room *room);
void rlistwnd_chg_usercnt(rlistwnd *rw, const Room *room);
// Deletes and re-adds the room so that its letter and place follow its new states.
void rlistwnd_chg_states(rlistwnd *rw, const Room *room);
void rlistwnd_update_tooltip(rlistwnd *rw);
void rlistwnd_deleteall(rlistwnd *rw);
// Column 2 takes the rest of the list's client width.
void rlistwnd_adjust_list(rlistwnd *rw);
// Enters the room named in the name field, as a click on the button does.
void rlistwnd_push_button(rlistwnd *rw);
// The download progress of the room list: the window-list entry, the button and the
// caption show "szobalista N%" while received < wanted and "szobalista" once done.
void rlistwnd_set_progress(rlistwnd *rw, int32_t received, int32_t wanted);

// The sort letter of a room: a, c, d, e, y or z by its state bits.
char rlistwnd_state_letter(int32_t id, int32_t states);
// The text colour of a room's row (not selected).
COLORREF rlistwnd_text_colour(int32_t id, int32_t states);

int rlistwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
