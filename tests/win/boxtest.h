// Helpers of the information box and drawing board suites: a rich edit's text with its line
// breaks made plain, and a child's entry in the main frame's window list.
#pragma once

#include "toolkit/listview.h"
#include "toolkit/widget.h"
#include "ui/mainwnd.h"

#include <commctrl.h>

#include <string>

// The control's text with every line break as "\n": the rich edit gives a break back as
// CR LF or as CR alone.
inline std::wstring boxtest_text(const vel_widget *edit)
{
    std::wstring buf(static_cast<size_t>(GetWindowTextLengthW(edit->hwnd)) + 1, L'\0');
    vel_widget_gettext(edit, buf.data(), static_cast<int>(buf.size()));
    std::wstring text;
    for (const wchar_t *p = buf.c_str(); *p; p++) {
        if (*p == L'\r') {
            text += L'\n';
            if (p[1] == L'\n')
                p++;
        } else {
            text += *p;
        }
    }
    return text;
}

// The child's window-list text, letter and marker included; empty when not registered.
inline std::wstring boxtest_entry_text(const mainwnd *mw, const vel_window *child)
{
    wchar_t buf[128] = {};
    int item = mainwnd_find_listitem(mw, child);
    if (item >= 0)
        vel_listview_getitemtext(mw->windowlist, item, 0, buf, 128);
    return buf;
}

// The tooltip text of a widget (a window-list button); empty without one.
inline std::wstring boxtest_tooltip(const vel_widget *widget)
{
    wchar_t tip[256] = {};
    if (widget)
        vel_widget_gettooltiptext(widget, tip, 256);
    return tip;
}
