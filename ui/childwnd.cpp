#include "ui/childwnd.h"

#include "toolkit/widget.h"
#include "ui/mainwnd.h"

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
