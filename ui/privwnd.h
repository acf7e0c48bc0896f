// Private conversation windows: one MDI child per peer user, found through the registry
// `private_list` (key the peer id, payload the record).
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
