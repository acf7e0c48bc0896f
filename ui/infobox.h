// Information boxes: a read-only MDI child showing what the client knows of a room
// (kind 1) or a user (kind 2).
#pragma once

#include "toolkit/wnd.h"

struct mainwnd;

enum : int {
    INFOBOX_ROOM = 1,
    INFOBOX_USER = 2,
};

struct infobox {
    HICON icon;
    vel_window *wnd;
    vel_widget *text_view;
    vel_widget *winlist_entry;
};

// `subject` is a Room for kind 1 and a User for kind 2.
infobox *infobox_create(mainwnd *main_frame, int kind, const void *subject);
