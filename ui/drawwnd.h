// The drawing board window of a room: the room's picture above a log of the drawing
// messages received while the window is open.
#pragma once

#include "toolkit/wnd.h"

struct mainwnd;
struct chatwnd;

struct drawwnd {
    vel_window *wnd;
    chatwnd *chat;
    vel_widget *log_view;
    vel_widget *picture_view;
    vel_widget *winlist_entry;
};

drawwnd *drawwnd_create(mainwnd *main_frame, chatwnd *chat);
// Invalidates the whole window without erasing and repaints it at once.
void drawwnd_refresh(drawwnd *dw);
