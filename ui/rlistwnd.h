// The room list window: every room the server knows, with its user count and topic,
// sorted by state group and name; the user enters a room by name or from the list.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>

struct mainwnd;
struct Room;
struct rlistwnd_rooms;

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
    // The listed rooms: the list view holds none of its own (it is virtual, and asks for
    // the rows it draws). Changes wait for one refresh per batch of packets, posted to the
    // window, or made at once when the list is read.
    rlistwnd_rooms *rooms;
    int32_t refresh_posted;
    int32_t busy;            // in a refresh or drawing a row: the list's messages start no refresh
    int32_t downloading;     // a whole list is coming: its rooms are sorted, placed once it is complete
    int32_t tooltip_stale;   // the entry's tooltip waits for the refresh
    int32_t progress_shown;  // on the caption: 0 nothing yet, 1 done, 2 + the percentage
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
// Puts the room list into the main frame's window list (once; its first activation does it too).
void rlistwnd_join_window_list(rlistwnd *rw);
// Lists the room (room_count counts it at once); it takes its sorted place with the next
// refresh. 1, or 0 without a list or a room.
int rlistwnd_add_room(rlistwnd *rw, const Room *room);
void rlistwnd_del_room(rlistwnd *rw, const Room *room);
// The room's row is drawn again (topic and count read anew) with the next refresh.
void rlistwnd_chg_theme(rlistwnd *rw, const Room *room);
void rlistwnd_chg_usercnt(rlistwnd *rw, const Room *room);
// Deletes and re-adds the room so that its letter and place follow its new states.
void rlistwnd_chg_states(rlistwnd *rw, const Room *room);
// The entry's tooltip "szobalista - N" follows room_count with the next refresh.
void rlistwnd_update_tooltip(rlistwnd *rw);
void rlistwnd_deleteall(rlistwnd *rw);
// A whole list follows (the server's list replaces every room): the list is emptied and
// not drawn until it is complete; meanwhile its rooms are sorted as they come, and
// reading the list places none of them.
void rlistwnd_list_begin(rlistwnd *rw);
// The list is complete, or will not be (the connection closed): it is drawn again and
// its rooms take their places.
void rlistwnd_list_end(rlistwnd *rw);
// Shows every change at once: places the rooms, sets the list's row count, keeps the
// selected room selected, refits column 2, redraws changed rows and sets the tooltip.
void rlistwnd_refresh(rlistwnd *rw);
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
