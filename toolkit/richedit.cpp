#include "toolkit/richedit.h"

#include "toolkit/widget.h"

#include <richedit.h>

void vel_richedit_add_line(const vel_widget *widget, const wchar_t *text)
{
    LRESULT end = vel_widget_sendmessage(widget, WM_GETTEXTLENGTH, 0, 0);
    vel_widget_sendmessage(widget, EM_SETSEL, static_cast<WPARAM>(end), end);
    vel_widget_sendmessage(widget, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    vel_widget_sendmessage(widget, EM_SCROLLCARET, 0, 0);
}

void vel_richedit_set_text_color(const vel_widget *widget, COLORREF colour)
{
    CHARFORMATW cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR;
    cf.crTextColor = colour;
    vel_widget_sendmessage(widget, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
}

void vel_richedit_setbkgndcolor(const vel_widget *widget, COLORREF colour)
{
    vel_widget_sendmessage(widget, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colour));
}
