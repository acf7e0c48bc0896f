// Thin operations over rich edit display controls.
#pragma once

#include "toolkit/wnd.h"

// Appends text at the end (not undoable) and scrolls the caret into view.
void vel_richedit_add_line(const vel_widget *widget, const wchar_t *text);
void vel_richedit_set_text_color(const vel_widget *widget, COLORREF colour);
void vel_richedit_setbkgndcolor(const vel_widget *widget, COLORREF colour);
