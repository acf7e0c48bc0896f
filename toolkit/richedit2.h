// The rich edit input line: the one-line command and chat input of the status, room and
// private windows, with a history of sent lines, plain-text pasting and paced pasting of
// multi-line clipboard text one line per timer tick.
#pragma once

#include "toolkit/wnd.h"

// Timer of the paced paste, on the control itself.
constexpr UINT_PTR VEL_RICHEDIT2_PASTE_TIMER = 1234;

struct vel_richedit2 {
    vel_widget *widget;
    void *user;
    vel_list_node *history;  // sent lines, newest at the head; key and payload the same copy
    int32_t history_count;
    int32_t history_max;
    vel_list_node *history_pos;  // the entry shown while browsing, else null
    UINT_PTR paste_timer;
    wchar_t *paste_text;
    int32_t paste_pos;
    int32_t paste_interval;
    vel_wdgproc proc;
};

vel_widget *vel_richedit2_create(void *user, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                                 int x, int y, int w, int h, int anchors, void *data, vel_wdgproc proc);
void vel_richedit2_stop_paste(vel_richedit2 *edit);
int vel_richedit2_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
