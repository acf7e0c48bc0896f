#include "toolkit/tooltip.h"

#include "toolkit/widget.h"

namespace {

// The first version of the record: every comctl32 accepts it, with or without a manifest.
TOOLINFOW tooltip_info(const vel_widget *widget, UINT flags, const wchar_t *text)
{
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = flags;
    ti.hwnd = widget->parent ? widget->parent->hwnd : GetParent(widget->hwnd);
    ti.uId = reinterpret_cast<UINT_PTR>(widget->hwnd);
    ti.lpszText = const_cast<wchar_t *>(text);
    return ti;
}

} // namespace

int vel_tooltip_addtool(const vel_widget *tooltip, const vel_widget *widget, const wchar_t *text)
{
    if (!tooltip || !widget)
        return 0;
    TOOLINFOW ti = tooltip_info(widget, TTF_IDISHWND | TTF_SUBCLASS, text);
    return static_cast<int>(vel_widget_sendmessage(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void vel_tooltip_updatetiptext(const vel_widget *tooltip, const vel_widget *widget, const wchar_t *text)
{
    if (!tooltip || !widget)
        return;
    TOOLINFOW ti = tooltip_info(widget, TTF_IDISHWND | TTF_SUBCLASS, text);
    vel_widget_sendmessage(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

int vel_tooltip_gettoolinfo(const vel_widget *tooltip, const vel_widget *widget, TOOLINFOW *info)
{
    if (!tooltip || !widget)
        return 0;
    // A null text pointer: the control copies the tool's text unbounded into any buffer
    // it is given, so it is given none.
    TOOLINFOW ti = tooltip_info(widget, TTF_IDISHWND, nullptr);
    int found = static_cast<int>(vel_widget_sendmessage(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)));
    if (found && info)
        *info = ti;
    return found;
}

void vel_tooltip_deltool(const vel_widget *tooltip, const vel_widget *widget)
{
    if (!tooltip || !widget)
        return;
    TOOLINFOW ti = tooltip_info(widget, TTF_IDISHWND, nullptr);
    vel_widget_sendmessage(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

int vel_tooltip_gettoolcount(const vel_widget *tooltip)
{
    return static_cast<int>(vel_widget_sendmessage(tooltip, TTM_GETTOOLCOUNT, 0, 0));
}
