#include "settings/apputil.h"

#include "toolkit/listview.h"
#include "toolkit/richedit2.h"
#include "toolkit/widget.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

int parse_commandline(char *line, char **arg)
{
    if (!line || line[0] != '/' || line[1] == '/')
        return -1;
    char *p = line;
    while (*p && *p != ' ')
        p++;
    if (!*p) {
        *arg = p;
        return 0;
    }
    *p = 0;
    *arg = p + 1;
    return 1;
}

int command_word_is(std::string_view word, std::string_view name)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(word, name, {}, lower, lower) ? 1 : 0;
}

char *get_date_string_of(const SYSTEMTIME *t, char *buf, size_t capacity)
{
    if (!buf || capacity == 0)
        return buf;
    std::snprintf(buf, capacity, "$red$%d.%02d.%02d. %02d:%02d.%02d", t->wYear, t->wMonth, t->wDay, t->wHour,
                  t->wMinute, t->wSecond);
    return buf;
}

char *get_date_string(char *buf, size_t capacity)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return get_date_string_of(&now, buf, capacity);
}

int get_inettime_of(int hour, int minute, int second)
{
    return (second + 60 * minute + 3600 * hour + 3600) * 1000 / 86400 % 1000;
}

int get_inettime()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return get_inettime_of(now.wHour, now.wMinute, now.wSecond);
}

wchar_t *text_alloc(size_t n)
{
    if (n >= SIZE_MAX / sizeof(wchar_t) - 1)
        return nullptr;
    return static_cast<wchar_t *>(std::malloc((n + 1) * sizeof(wchar_t)));
}

HICON lvc_loadicon(int id)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16,
                                         LR_SHARED | LR_LOADMAP3DCOLORS));
}

int parse_font_string(const char *font, wchar_t *face, size_t face_capacity, int *height, int *weight)
{
    *height = 0;
    *weight = 0;
    const char *p = font ? font : "";
    size_t n = 0;
    for (; *p && *p != ','; p++) {
        if (face && n + 1 < face_capacity)
            face[n++] = static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    if (face && face_capacity)
        face[n] = 0;
    if (*p != ',')
        return 1;
    *height = static_cast<int>(std::strtol(p + 1, nullptr, 0));
    const char *second = std::strchr(p + 1, ',');
    if (second)
        *weight = static_cast<int>(std::strtol(second + 1, nullptr, 0));
    return 1;
}

void listview_adjust_columnsize(vel_widget *listview)
{
    vel_size size{};
    if (!listview || !vel_widget_getsize(listview, &size))
        return;
    int width = size.width;
    if (GetWindowLongW(listview->hwnd, GWL_STYLE) & WS_VSCROLL)
        width -= GetSystemMetrics(SM_CXVSCROLL);
    vel_listview_setcolumnwidth(listview, 0, width);
}

int lorvaedit_escape(const wchar_t *text, wchar_t *out, size_t capacity)
{
    size_t n = 0;
    for (const wchar_t *p = text; *p; p++) {
        size_t need = *p == L'$' ? 2 : 1;
        if (n + need + 1 > capacity)
            return -1;
        out[n++] = *p;
        if (*p == L'$')
            out[n++] = L'$';
    }
    if (n + 1 > capacity)
        return -1;
    out[n] = 0;
    return static_cast<int>(n);
}

vel_widget *lorvaedit_create(void *userdata, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                             int x, int y, int w, int h, int anchors, void *data, vel_wdgproc owner_proc)
{
    auto *rec = static_cast<lorvaedit *>(std::calloc(1, sizeof(lorvaedit)));
    if (!rec)
        return nullptr;
    rec->userdata = userdata;
    rec->owner_proc = owner_proc;
    vel_widget *widget = vel_richedit2_create(rec, parent, exstyle, style, text, x, y, w, h, anchors, data,
                                              lorvaedit_default_wdgproc);
    if (!widget) {
        std::free(rec);
        return nullptr;
    }
    rec->edit = static_cast<vel_richedit2 *>(widget->ext);
    return widget;
}

void *lorvaedit_get_userdata(const vel_widget *widget)
{
    auto *edit = widget ? static_cast<vel_richedit2 *>(widget->ext) : nullptr;
    auto *rec = edit ? static_cast<lorvaedit *>(edit->user) : nullptr;
    return rec ? rec->userdata : nullptr;
}

int lorvaedit_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *edit = static_cast<vel_richedit2 *>(self->ext);
    auto *rec = edit ? static_cast<lorvaedit *>(edit->user) : nullptr;
    if (msg == EM_REPLACESEL && lp) {
        const auto *text = reinterpret_cast<const wchar_t *>(lp);
        size_t length = std::wcslen(text);
        wchar_t *copy = text_alloc(2 * length);
        if (!copy) {
            *result = 0;
            return VEL_DONE;
        }
        lorvaedit_escape(text, copy, 2 * length + 1);
        *result = CallWindowProcW(self->old_proc, hwnd, msg, wp, reinterpret_cast<LPARAM>(copy));
        std::free(copy);
        return VEL_DONE;
    }
    int code = VEL_CONTINUE;
    if (rec && rec->owner_proc)
        code = rec->owner_proc(self, hwnd, msg, wp, lp, result);
    if (msg == WM_DESTROY && rec) {
        edit->user = nullptr;
        std::free(rec);
    }
    return code;
}
