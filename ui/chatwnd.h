// A room window: the MDI child in which the user takes part in one chat room, with its
// message pane, topic bar, user count, user list, input line and the room's drawing board
// picture. At most one per room; Room::chatwnd points to it and `room` points back.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>
#include <ctime>

struct mainwnd;
struct rlistwnd_room_ops;
struct Room;
struct User;
struct drawwnd;

// Display options, chatwnd::flags.
enum : uint32_t {
    CHATWND_TIMESTAMP = 0x01,
    CHATWND_KIBE = 0x02,
    CHATWND_FLASH = 0x04,
    CHATWND_SHOW_TOPIC = 0x10,
    CHATWND_PREFIX = 0x20,
    CHATWND_USER_ID = 0x40,
};

// Join states, chatwnd::state.
enum : int32_t {
    CHATWND_NOT_ENTERED = 0,
    CHATWND_ENTRY_REQUESTED = 1,
    CHATWND_INSIDE = 2,
    CHATWND_LEFT = 3,
};

// Lines kept in the message pane.
constexpr int CHATWND_MAX_LINES = 300;
// The input line's text in UCS-2 units, terminator included.
constexpr size_t CHATWND_INPUT_SIZE = 16384;
// Broadcast action 0x10 appends to the caller's text, which must hold this many bytes;
// an append that would not fit is left out.
constexpr size_t CHATWND_BROADCAST_TEXT_SIZE = 1024;

// The drawing board picture's size in pixels.
constexpr int CHATWND_BOARD_WIDTH = 506;
constexpr int CHATWND_BOARD_HEIGHT = 360;

struct chatwnd {
    Room *room;
    int32_t room_id;
    vel_window *wnd;
    vel_widget *input;
    vel_widget *messages;
    vel_widget *topic_box;
    vel_widget *userlist;
    vel_widget *usercount_box;
    HDC board_dc;
    HBITMAP board_bitmap;
    HBITMAP board_old_bitmap;
    drawwnd *drawwnd;
    vel_widget *winlist_entry;
    int32_t state;
    uint32_t flags;
    HMENU menu;
    HICON icon;
    HICON icon_closed;
    mainwnd *main_frame;
};

// The window: creation, messages, topic, state, broadcasts.
chatwnd *chatwnd_create(mainwnd *main_frame, Room *room);
void chatwnd_new_message(chatwnd *cw, int kind, const char *nick, const char *prefix, const char *suffix,
                         const char *text, const time_t *when, int32_t userid);
void chatwnd_add_line(chatwnd *cw, const char *line, int32_t userid);
void chatwnd_update_topic(chatwnd *cw);
void chatwnd_update_icon(chatwnd *cw);
void chatwnd_chg_status(chatwnd *cw, int state);
void chatwnd_adjust_opfuncmenu(chatwnd *cw, HMENU menu);

// The user list.
int chatwnd_add_user(chatwnd *cw, const User *user);
void chatwnd_del_user(chatwnd *cw, const User *user);
void chatwnd_chg_user(chatwnd *cw, const User *user);
void chatwnd_update_usercnt(chatwnd *cw);
void chatwnd_free_userlist(chatwnd *cw);

// The input line's room commands; `arg` may be changed in place.
void chatwnd_cmd_love(chatwnd *cw, int has_arg, char *arg);

// The drawing board picture: paints one drawing message (text starting with "//") into
// the room's picture and logs it on an open board window.
void chatwnd_drawing_message(chatwnd *cw, int kind, const char *nick, const char *text, const time_t *when,
                             int32_t userid);
// Parses a pair field "X,Y" (integers with automatic base, nothing after the second);
// 1 when valid.
int get_int_pair(const char *field, int *first, int *second);

// ---------------------------------------------------------------- shared by the room window's files

// Hooks for the main frame, the room list and the broadcast (set once by the frame).
void *chatwnd_create_hook(Room *room);
int chatwnd_room_state(const vel_window *child);
extern const rlistwnd_room_ops chatwnd_room_windows;
void chatwnd_broadcast_one(void *cw, int action, char *text, int state, int32_t userid);
// A room the directory got anew (a fresh room list) while its window still holds the old,
// unlinked record: the window follows the new record and the old one is freed.
void chatwnd_rebind_room(Room *room);

int chatwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);

// The menus (chatwnd_menu.cpp).
void chatwnd_insert_menus(chatwnd *cw);
void chatwnd_detach_menus(chatwnd *cw);
void chatwnd_init_menu(chatwnd *cw);
// A system command of the window's own (menu items, accelerators); 1 when handled.
int chatwnd_system_command(chatwnd *cw, UINT id);
void chatwnd_topic_menu(chatwnd *cw, LPARAM lp);

// The input line (chatwnd_input.cpp).
vel_widget *chatwnd_input_create(chatwnd *cw, vel_window *parent);
// Runs one line as typed (UTF-8, writable, changed in place): a message or a command.
void chatwnd_run_line(chatwnd *cw, char *line);
// Sends what the input line holds, as Enter does, and empties it.
void chatwnd_submit(chatwnd *cw);

// The user list (chatwnd_users.cpp).
vel_widget *chatwnd_userlist_create(chatwnd *cw, vel_window *parent, int top);
void chatwnd_adjust_userlist(chatwnd *cw);
// The sort letter of a user: a (first) to z (last), by rights and the local marks.
char chatwnd_user_letter(int32_t perms, int is_friend, int is_ignored);
// The mark drawn before a nick ("" for none) and its text colour.
struct chatwnd_user_look {
    const wchar_t *mark;
    COLORREF colour;
};
chatwnd_user_look chatwnd_user_style(int32_t perms, int is_friend, int is_ignored);
// The items of the user list's context menu.
enum : UINT {
    USERS_INFO = 100,
    USERS_WHEREIS = 101,
    USERS_KICK = 102,
    USERS_OP = 103,
    USERS_ASK_INFO = 104,
    USERS_BABEL = 105,
    USERS_GAME = 106,
    USERS_OPPOSITE = 107,
    USERS_DEOP = 108,
    USERS_IGNORE = 109,
    USERS_FRIEND = 110,
    USERS_LOVE = 111,
};
// The context menu for a user of the list, its items enabled and checked by the local
// user's rights and the user's marks; the caller destroys it.
HMENU chatwnd_user_menu(const chatwnd *cw, const User *user);
