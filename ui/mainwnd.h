// The main frame: the one MDI frame that holds every chat window, its button bar, window
// list, friend list, status bar, tray icon, menu commands, progress timers and the
// creation of windows on the user-interface thread for other threads.
//
// The windows floor (ui/): every window of the program. The windows use the settings
// floor and the base (toolkit, text, protocol, resources), never the program (app/).
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>

struct statwnd;
struct rlistwnd;
struct Room;

// Kinds of registered children; the kind letter is 'a' + kind.
enum : int {
    MAINWND_KIND_STATUS = 0,
    MAINWND_KIND_ROOMLIST = 1,
    MAINWND_KIND_POPUP = 2,
    MAINWND_KIND_ROOM = 3,
    MAINWND_KIND_PRIVATE = 4,
    MAINWND_KIND_DRAWING = 7,
};

// The frame's private messages.
enum : UINT {
    MAINWND_WM_TRAY = 1028,  // the tray icon's callback
};

// Timers of the frame.
enum : UINT_PTR {
    MAINWND_TIMER_CLOCK = 50,
    MAINWND_TIMER_CONNECT = 51,
    MAINWND_TIMER_LOGIN = 52,
};

// Flag bits of mainwnd::flags.
enum : uint32_t {
    MAINWND_WAS_MAXIMIZED = 0x01,
    MAINWND_PANES_SHOWN = 0x02,
    MAINWND_MINIMIZE_TO_TRAY = 0x04,
    MAINWND_ON_TOP = 0x08,
};

// The four arguments of a popup message box.
struct mainwnd_msgbox_args {
    const char *title;
    const char *text;
    int icon;
    int flag;
};

// Window creators of the kinds handed over from other threads. The window modules set
// them when they exist; a kind without a creator creates nothing (null).
using mainwnd_privwnd_creator = void *(*)(WPARAM arg1, LPARAM arg2);
using mainwnd_chatwnd_creator = void *(*)(Room *room);
using mainwnd_msgbox_creator = void *(*)(const mainwnd_msgbox_args *args);
// The join state of a room window's child (2: inside the room), for the colours of its
// button and window-list entry; null treats every room window as inside.
using mainwnd_room_state_reader = int (*)(const vel_window *child);

struct mainwnd {
    vel_window *frame;
    vel_window *tray_owner;  // made the first time the frame goes to the tray
    int32_t button_count;
    int32_t button_width;
    vel_list_node *childwindows;  // key the child's vel_window, payload its button
    vel_widget *mdi_client;
    vel_widget *vsplitter;
    vel_widget *hsplitter;
    vel_widget *windowlist;
    vel_widget *friendlist;
    vel_widget *statusbar;
    UINT_PTR clock_timer, connect_timer, login_timer;
    int32_t connect_dots, login_dots;
    HICON icon_frame, icon_tray, icon_offline;
    statwnd *statwnd;
    rlistwnd *rlistwnd;
    uint32_t flags;
    HMENU menu;
    HFONT windowlist_font;
    mainwnd_privwnd_creator create_privwnd;
    mainwnd_chatwnd_creator create_chatwnd;
    mainwnd_msgbox_creator create_msgbox;
    mainwnd_room_state_reader room_state;
    // The registered children whose entry ends with the unseen-text marker "*" (key and
    // payload the child): marking a child asks no control for its entry text.
    vel_list_node *dirty_children;
    // 1 once unseen text has flashed the frame (or found it in the foreground) since the
    // frame last went to the background; a flood flashes it once, not once a line.
    int32_t flash_spent;
    // The tray icon last set, so that setting it again changes nothing.
    HICON tray_icon;
    // 1 while the icon is in the tray: only then does a new icon go to the shell (whose
    // library is loaded on first use, so that a start-up that never goes to the tray
    // does not load it).
    int32_t tray_shown;
};

// Application globals: the main frame, its status window and its room list window.
extern mainwnd *main_frame;
extern statwnd *status_window;
extern rlistwnd *roomlist_window;

// Builds the frame with its panes, timers and first children (the status window and the
// room list, see mainwnd_create_first_children); stores it in main_frame. Null on failure.
mainwnd *mainwnd_create();
// Creates the status window and the room list window as the first children and stores
// them in the record and the globals; 1 on success.
int mainwnd_create_first_children(mainwnd *mw);

// Registers a child: its button and window-list entry "<letter> <caption>_". Returns the
// button widget, or null.
vel_widget *mainwnd_add_childwindow(mainwnd *mw, vel_window *child, int kind, const wchar_t *caption,
                                    const wchar_t *tooltip);
// Unregisters a child; an unregistered child is ignored.
void mainwnd_del_childwindow(mainwnd *mw, vel_window *child);
// Sets (dirty 1) or clears the child's unseen-text marker; 1 when the marker changed.
int mainwnd_set_dirty_flag(mainwnd *mw, vel_window *child, int dirty, int flash);
// The child's button, or null when it is not registered.
vel_widget *mainwnd_get_button(const mainwnd *mw, const vel_window *child);
// The child at position pos (0 the oldest), or null.
vel_window *mainwnd_get_child_at(const mainwnd *mw, int pos);
// The child's window-list item index, or -1.
int mainwnd_find_listitem(const mainwnd *mw, const vel_window *child);
// Sets the child's entry text (window-list item and button) as a whole, letter and marker
// included; 1 when the child is registered.
int mainwnd_set_entry_text(mainwnd *mw, vel_window *child, const wchar_t *text);

void mainwnd_button_move(mainwnd *mw, vel_widget *button, int pos);
void mainwnd_buttons_resize(mainwnd *mw);
// The button width for a client width and a button count: (width - 3) / count - 2 within
// 22..90; `current` when there are no buttons.
int mainwnd_button_width_for(int client_width, int count, int current);
void mainwnd_show_windowlist(mainwnd *mw, int show);

// Window creation on the user-interface thread, from any thread: another thread waits
// until the window has been created there (vel_ui_run).
void *mainwnd_create_privwnd(mainwnd *mw, WPARAM arg1, LPARAM arg2);
void *mainwnd_create_chatwnd(mainwnd *mw, Room *room);
void *mainwnd_create_msgbox(mainwnd *mw, const char *title, const char *text, int icon, int flag);
// The five-in-a-row game has no window of its own: always null.
void *mainwnd_create_gamewnd(mainwnd *mw, int32_t key, const char *title, int value, int flag);

// -1: the system workspace colour; else 0xRRGGBB.
void mainwnd_set_bk_color(mainwnd *mw, int32_t colour);
void mainwnd_set_not_connected(mainwnd *mw);
void mainwnd_set_not_logged_in(mainwnd *mw);
void mainwnd_start_connect_timer(mainwnd *mw);
void mainwnd_stop_connect_timer(mainwnd *mw);
void mainwnd_start_login_timer(mainwnd *mw);
void mainwnd_stop_login_timer(mainwnd *mw);
void mainwnd_add_taskbar_icon(mainwnd *mw);
void mainwnd_remove_taskbar_icon(mainwnd *mw);
void mainwnd_set_taskbar_icon(mainwnd *mw, HICON icon);
// Writes a status-bar part (0 connection, 1 login, 4 clock).
void mainwnd_set_status_text(mainwnd *mw, int part, const wchar_t *text);

// Procedures of the frame and of its widgets.
int button_wndproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
int windowlist_wndproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
int friendlist_wndproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
int mainwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
