#include "ui/childwnd.h"

#include "toolkit/widget.h"
#include "text/string.h"
#include "ui/mainwnd.h"

#include <cstring>
#include <cwchar>
#include <memory>

int childwnd_handle(const childwnd_common *common, vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                    LRESULT *result)
{
    switch (msg) {
    case WM_COMMAND:
        if (lp != 0)
            return VEL_CONTINUE;
        SendMessageW(hwnd, WM_SYSCOMMAND, LOWORD(wp), 0);
        *result = 0;
        return VEL_DONE;
    case WM_SETFOCUS:
        // Repainted before the focus moves, so the caret lands in a drawn window.
        UpdateWindow(hwnd);
        if (common->focus)
            vel_widget_setfocus(common->focus);
        return VEL_CONTINUE;
    case WM_MDIACTIVATE:
        if (reinterpret_cast<HWND>(lp) == hwnd && common->main_frame) {
            if (common->winlist_entry)
                vel_widget_refresh(common->winlist_entry, FALSE);
            mainwnd_set_dirty_flag(common->main_frame, self, 0, 0);
        }
        return VEL_CONTINUE;
    case WM_CLOSE:
        if (common->close == CHILDWND_CLOSE_MINIMISES) {
            SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            *result = 0;
            return VEL_DONE;
        }
        if (common->main_frame)
            mainwnd_del_childwindow(common->main_frame, self);
        return VEL_CONTINUE;
    default:
        return VEL_CONTINUE;
    }
}

int childwnd_refuse_creation(vel_window *self, LRESULT *result)
{
    self->user = nullptr;
    *result = -1;
    return VEL_DONE;
}

std::string childwnd_take_line(vel_widget *input, size_t capacity)
{
    if (!input || capacity == 0)
        return {};
    auto typed = std::make_unique<wchar_t[]>(capacity);
    vel_widget_gettext(input, typed.get(), static_cast<int>(capacity));
    typed[capacity - 1] = 0;
    // Three bytes a unit at most: every unit, a surrogate too, is encoded on its own, the
    // way the server reads it back unit by unit.
    std::string line(std::wcslen(typed.get()) * 3 + 1, '\0');
    ucs2_to_utf8(line.data(), reinterpret_cast<const char16_t *>(typed.get()));
    line.resize(std::strlen(line.c_str()));
    vel_widget_settext(input, L"");
    return line;
}
