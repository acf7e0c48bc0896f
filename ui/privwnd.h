// Private conversation windows: one MDI child per peer user, found through the registry
// `private_list` (key the peer id, payload the record).
//
// Threads: the registry and the records belong to the user-interface thread. The two
// operations the protocol side calls, private_private_message and private_broadcast_msg,
// carry themselves over to that thread (a sent message to the module's relay window) when
// they are called on another one, so every read and change of `private_list` happens on
// one thread, in the order the calls were made. The other operations are for the
// user-interface thread only.
#pragma once

#include "toolkit/list.h"
#include "toolkit/wnd.h"

#include <cstdint>

struct mainwnd;

// privwnd::flags.
enum : uint32_t {
    PRIVWND_FLASH = 0x01,
    PRIVWND_SOUND = 0x02,
    PRIVWND_TIMESTAMP = 0x04,
};

struct privwnd {
    int32_t peer_id;
    char peer_nick[92];
    vel_window *wnd;
    vel_widget *winlist_entry;
    HMENU menu;
    HICON icon;
    vel_widget *input;
    vel_widget *messages;
    uint32_t flags;
    mainwnd *main_frame;
};

extern vel_list_node *private_list;

privwnd *private_add_entry(mainwnd *main_frame, int32_t userid, const char *nick);
void private_del_entry(int32_t userid);
privwnd *private_get_entry(int32_t userid);
privwnd *private_add_private(mainwnd *main_frame, int32_t userid, const char *nick);
void private_private_message(mainwnd *main_frame, int32_t userid, const char *nick, const char *text, int kind,
                             int notify);
void private_broadcast_msg(const char *text);

privwnd *privwnd_create(mainwnd *main_frame, int32_t userid, const char *nick);
void privwnd_add_line(privwnd *pw, const char *line);
void privwnd_new_message(privwnd *pw, int kind, const char *text, int notify);

// Runs one typed line (UTF-8, changed in place): a private message or a private command.
void privwnd_run_line(privwnd *pw, char *line);

// The main frame's creator of private windows: arg1 the user id, arg2 the nick (UTF-8).
void *privwnd_creator(WPARAM arg1, LPARAM arg2);
// Sets the frame's creator of private windows.
void privwnd_attach(mainwnd *mw);

// Plays a sound file asynchronously, unless another sound of the program still plays;
// replaceable so that tests can see what would be played. 1 when it started.
using privwnd_sound_fn = int (*)(const wchar_t *file);
extern privwnd_sound_fn privwnd_play_sound;
int privwnd_play_sound_file(const wchar_t *file);

// Sends a private message and answers the bytes of the text that went out;
// LVC_SendPrivateMessage unless replaced by a test.
using privwnd_send_fn = int (*)(int kind, int32_t userid, const char *text);
extern privwnd_send_fn privwnd_send;
