// The drawing board window of a room: the room's picture above a log of the drawing
// messages received while the window is open.
#pragma once

#include "toolkit/wnd.h"

struct mainwnd;
struct chatwnd;

// Characters the log keeps by default: the oldest lines make room for new ones beyond this.
constexpr long DRAWWND_LOG_MAX = 1L << 18;

struct drawwnd {
    vel_window *wnd;
    chatwnd *chat;
    vel_widget *log_view;
    vel_widget *picture_view;
    vel_widget *winlist_entry;
    mainwnd *main_frame;
    long log_max;  // characters the log keeps, DRAWWND_LOG_MAX at creation
};

drawwnd *drawwnd_create(mainwnd *main_frame, chatwnd *chat);
// Invalidates the whole window without erasing and repaints it at once.
void drawwnd_refresh(drawwnd *dw);
// Appends one received drawing message (its text with the two leading slashes, UTF-8) to
// the log as the input line form that sends it: one more slash in front. The oldest lines
// go when the log would hold more than `log_max` characters.
void drawwnd_log(drawwnd *dw, const char *text);
// The procedure of the drawing board window.
int drawwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
