// Widgets: child controls of a `vel_window`, wrapped in `vel_widget` records and
// subclassed with the toolkit's widget procedure (anchored placement, Tab order, hover
// tracking, splitters, tooltips).
#pragma once

#include "toolkit/wnd.h"

// The widget the mouse is over, or null.
extern vel_widget *vel_hover_widget;

vel_widget *vel_widget_create(void *ext, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                              int x, int y, int w, int h, int anchors, void *data, vel_wdgproc proc, int type,
                              const wchar_t *class_name);
void vel_widget_destroy(vel_widget *widget);
void *vel_widget_remove(vel_widget *widget);
int vel_widget_insert(vel_widget *widget, vel_window *window);
LRESULT vel_widget_sendmessage(const vel_widget *widget, UINT msg, WPARAM wp, LPARAM lp);
void vel_widget_refresh(const vel_widget *widget, BOOL erase);
int vel_widget_show(const vel_widget *widget, int show);
void vel_widget_setredraw(const vel_widget *widget, int flag);
int vel_widget_move(const vel_widget *widget, int x, int y, int width, int height);
int vel_widget_adjust_placement(vel_widget *widget, BOOL erase);
HWND vel_widget_setfocus(const vel_widget *widget);
int vel_widget_settext(const vel_widget *widget, const wchar_t *text);
int vel_widget_gettext(const vel_widget *widget, wchar_t *text, int capacity);
HBRUSH vel_widget_setbackground(vel_widget *widget, COLORREF colour);
HFONT vel_widget_create_and_set_font(vel_widget *widget, int height, const wchar_t *face, int weight);
int vel_widget_settooltiptext(vel_widget *widget, const wchar_t *text);
// The widget's tip (empty without one), whether its tooltip control exists yet or not.
int vel_widget_gettooltiptext(const vel_widget *widget, wchar_t *text, int capacity);
int vel_widget_getsize(const vel_widget *widget, vel_size *size);

LRESULT CALLBACK vel_default_wdgproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
