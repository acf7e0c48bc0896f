// Thin operations over the platform's list view control, each sent as the control's
// documented message. Because they only send messages, the platform carries them out on
// the control's own thread whichever thread calls them.
#pragma once

#include "toolkit/wnd.h"

#include <commctrl.h>

void vel_listview_insertcolumn(const vel_widget *widget, int index, const wchar_t *text, int width, int format);
void vel_listview_setcolumnwidth(const vel_widget *widget, int column, int width);
int vel_listview_getcolumnwidth(const vel_widget *widget, int column);
int vel_listview_insertitem(const vel_widget *widget, int index, const wchar_t *text, LPARAM data);
void vel_listview_setitem(const vel_widget *widget, int item, int subitem, const wchar_t *text);
// Copies at most capacity - 1 characters and a terminator; returns the length copied.
int vel_listview_getitemtext(const vel_widget *widget, int item, int subitem, wchar_t *buffer, int capacity);
LPARAM vel_listview_getlparam(const vel_widget *widget, int item);
int vel_listview_findlparam(const vel_widget *widget, LPARAM data);
int vel_listview_findtext(const vel_widget *widget, const wchar_t *text);
int vel_listview_getitemcount(const vel_widget *widget);
void vel_listview_deleteitem(const vel_widget *widget, int item);
void vel_listview_deleteallitems(const vel_widget *widget);
void vel_listview_setbkgndcolor(const vel_widget *widget, COLORREF colour);
COLORREF vel_listview_getbkgndcolor(const vel_widget *widget);
void vel_listview_settextcolor(const vel_widget *widget, COLORREF colour);
int vel_listview_hittest(const vel_widget *widget, LVHITTESTINFO *info);
int vel_listview_getnextitem(const vel_widget *widget, int start, int flags);
void vel_listview_redrawitems(const vel_widget *widget, int first, int last);
