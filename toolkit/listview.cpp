#include "toolkit/listview.h"

#include "toolkit/widget.h"

void vel_listview_insertcolumn(const vel_widget *widget, int index, const wchar_t *text, int width, int format)
{
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<wchar_t *>(text);
    col.iSubItem = index;
    vel_widget_sendmessage(widget, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col));
}

void vel_listview_setcolumnwidth(const vel_widget *widget, int column, int width)
{
    vel_widget_sendmessage(widget, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0));
}

int vel_listview_getcolumnwidth(const vel_widget *widget, int column)
{
    return static_cast<int>(vel_widget_sendmessage(widget, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int vel_listview_insertitem(const vel_widget *widget, int index, const wchar_t *text, LPARAM data)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t *>(text);
    item.lParam = data;
    return static_cast<int>(vel_widget_sendmessage(widget, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void vel_listview_setitem(const vel_widget *widget, int item, int subitem, const wchar_t *text)
{
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.iSubItem = subitem;
    it.pszText = const_cast<wchar_t *>(text);
    vel_widget_sendmessage(widget, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

int vel_listview_getitemtext(const vel_widget *widget, int item, int subitem, wchar_t *buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return 0;
    buffer[0] = 0;
    LVITEMW it{};
    it.iSubItem = subitem;
    it.pszText = buffer;
    it.cchTextMax = capacity;
    return static_cast<int>(
        vel_widget_sendmessage(widget, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

LPARAM vel_listview_getlparam(const vel_widget *widget, int item)
{
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    if (!vel_widget_sendmessage(widget, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        return 0;
    return it.lParam;
}

int vel_listview_findlparam(const vel_widget *widget, LPARAM data)
{
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = data;
    return static_cast<int>(
        vel_widget_sendmessage(widget, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

int vel_listview_findtext(const vel_widget *widget, const wchar_t *text)
{
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = text;
    return static_cast<int>(
        vel_widget_sendmessage(widget, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

int vel_listview_getitemcount(const vel_widget *widget)
{
    return static_cast<int>(vel_widget_sendmessage(widget, LVM_GETITEMCOUNT, 0, 0));
}

void vel_listview_deleteitem(const vel_widget *widget, int item)
{
    vel_widget_sendmessage(widget, LVM_DELETEITEM, static_cast<WPARAM>(item), 0);
}

void vel_listview_deleteallitems(const vel_widget *widget)
{
    vel_widget_sendmessage(widget, LVM_DELETEALLITEMS, 0, 0);
}

void vel_listview_setbkgndcolor(const vel_widget *widget, COLORREF colour)
{
    vel_widget_sendmessage(widget, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(colour));
    vel_widget_sendmessage(widget, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(colour));
}

COLORREF vel_listview_getbkgndcolor(const vel_widget *widget)
{
    return static_cast<COLORREF>(vel_widget_sendmessage(widget, LVM_GETBKCOLOR, 0, 0));
}

void vel_listview_settextcolor(const vel_widget *widget, COLORREF colour)
{
    vel_widget_sendmessage(widget, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(colour));
}

int vel_listview_hittest(const vel_widget *widget, LVHITTESTINFO *info)
{
    return static_cast<int>(vel_widget_sendmessage(widget, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
}

int vel_listview_getnextitem(const vel_widget *widget, int start, int flags)
{
    return static_cast<int>(
        vel_widget_sendmessage(widget, LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
}

void vel_listview_redrawitems(const vel_widget *widget, int first, int last)
{
    vel_widget_sendmessage(widget, LVM_REDRAWITEMS, static_cast<WPARAM>(first), static_cast<LPARAM>(last));
}
