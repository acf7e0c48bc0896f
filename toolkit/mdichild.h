// MDI children: creation, emulated zoom, "On top", "To center" and the system menu.
#pragma once

#include "toolkit/wnd.h"

vel_window *vel_mdichild_create(void *user, HICON big_icon, HICON small_icon, DWORD style, const wchar_t *caption,
                                int x, int y, int width, int height, vel_window *frame, vel_wndproc proc);
void vel_mdichild_destroy(vel_window *child);
void vel_mdichild_seticon(vel_window *child, HICON big_icon, HICON small_icon);
vel_window *vel_mdichild_activate(vel_window *child);
// Shows a child made hidden below the active child, without activating it, and lists it
// in the Window menu.
void vel_mdichild_show_behind(vel_window *child);
HMENU vel_mdichild_getsystemmenu(vel_window *child);
void vel_mdichild_adjust_systemmenu(vel_window *child, HMENU menu);
// The child's state in the system-menu table: 1 normal, 2 zoomed, 3 minimised.
int vel_mdichild_state(const vel_window *child);

LRESULT CALLBACK vel_default_mdichildwndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
