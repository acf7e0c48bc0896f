// The MDI frame: the MDI client's owner, the zoomed child's menu-bar items, cascade and
// tile, and the on-top child.
#pragma once

#include "toolkit/wnd.h"

vel_window *vel_mdiframe_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                                const wchar_t *caption, int x, int y, int width, int height, HWND parent,
                                HMENU menu, vel_wndproc proc);
void vel_mdiframe_settopmost(vel_window *frame, vel_window *child);
void vel_mdiframe_cascade(vel_window *frame, int skip_disabled);
void vel_mdiframe_tile_horizontal(vel_window *frame, int skip_disabled);
void vel_mdiframe_tile_vertical(vel_window *frame, int skip_disabled);
void vel_mdiframe_iconarrange(vel_window *frame);
void vel_mdiframe_add_zoomed_menu(vel_window *frame, vel_window *child);
void vel_mdiframe_remove_zoomed_menu(vel_window *frame);
void vel_mdiframe_maximize_next(vel_window *frame);
void vel_mdiframe_restore_all(vel_window *frame);

LRESULT CALLBACK vel_default_mdiframewndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
