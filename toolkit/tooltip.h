// Thin operations over a window's tooltip control. A tool is one widget, identified by
// the widget's window handle within the tooltip's parent window.
#pragma once

#include "toolkit/wnd.h"

#include <commctrl.h>

int vel_tooltip_addtool(const vel_widget *tooltip, const vel_widget *widget, const wchar_t *text);
void vel_tooltip_updatetiptext(const vel_widget *tooltip, const vel_widget *widget, const wchar_t *text);
// Non-zero when the widget is a tool of the tooltip; `info` (may be null) is filled.
int vel_tooltip_gettoolinfo(const vel_widget *tooltip, const vel_widget *widget, TOOLINFOW *info);
void vel_tooltip_deltool(const vel_widget *tooltip, const vel_widget *widget);
int vel_tooltip_gettoolcount(const vel_widget *tooltip);
