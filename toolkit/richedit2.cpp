#include "toolkit/richedit2.h"

#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <richedit.h>

#include <cstdlib>
#include <string>

namespace {

bool richedit2_key_down(int vk)
{
    return (GetKeyState(vk) & 0x8000) != 0;
}

void richedit2_show(vel_richedit2 *edit, vel_list_node *entry)
{
    edit->history_pos = entry;
    vel_widget *w = edit->widget;
    vel_widget_settext(w, static_cast<const wchar_t *>(entry->data));
    LRESULT end = vel_widget_sendmessage(w, WM_GETTEXTLENGTH, 0, 0);
    vel_widget_sendmessage(w, EM_SETSEL, static_cast<WPARAM>(end), end);
}

void richedit2_history_up(vel_richedit2 *edit)
{
    if (!edit->history)
        return;
    if (!edit->history_pos)
        richedit2_show(edit, edit->history);
    else if (edit->history_pos != edit->history->prev)
        richedit2_show(edit, edit->history_pos->next);
    else
        richedit2_show(edit, edit->history_pos);
}

void richedit2_history_down(vel_richedit2 *edit)
{
    if (edit->history_pos && edit->history_pos != edit->history)
        richedit2_show(edit, edit->history_pos->prev);
}

void richedit2_remember(vel_richedit2 *edit)
{
    int length = static_cast<int>(vel_widget_sendmessage(edit->widget, WM_GETTEXTLENGTH, 0, 0));
    if (length <= 0)
        return;
    auto *copy = static_cast<wchar_t *>(std::calloc(static_cast<size_t>(length) + 1, sizeof(wchar_t)));
    if (!copy)
        return;
    vel_widget_gettext(edit->widget, copy, length + 1);
    vel_list_add(&edit->history, reinterpret_cast<vel_list_key>(copy), copy);
    edit->history_pos = nullptr;
    if (++edit->history_count > edit->history_max) {
        vel_list_node *oldest = edit->history->prev;
        std::free(vel_list_del(&edit->history, oldest->key));
        edit->history_count--;
    }
}

void richedit2_free_history(vel_richedit2 *edit)
{
    while (edit->history)
        std::free(vel_list_del(&edit->history, edit->history->key));
    edit->history_count = 0;
    edit->history_pos = nullptr;
}

// Inserts the clipboard's text as plain characters, so pasting never brings formatting.
void richedit2_paste_plain(vel_richedit2 *edit)
{
    wchar_t *text = vel_util_get_clipboard_text(edit->widget->hwnd);
    if (!text)
        return;
    vel_widget_sendmessage(edit->widget, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    std::free(text);
}

void richedit2_start_paste(vel_richedit2 *edit)
{
    vel_richedit2_stop_paste(edit);
    wchar_t *text = vel_util_get_clipboard_text(edit->widget->hwnd);
    if (!text)
        return;
    edit->paste_text = text;
    edit->paste_pos = 0;
    edit->paste_timer = SetTimer(edit->widget->hwnd, VEL_RICHEDIT2_PASTE_TIMER,
                                 static_cast<UINT>(edit->paste_interval), nullptr);
    if (!edit->paste_timer)
        vel_richedit2_stop_paste(edit);
}

// One tick of the paced paste: insert the next line and send it with Enter. Returns 0
// when the control was destroyed while the line was being sent.
int richedit2_paste_tick(vel_richedit2 *edit)
{
    if (!edit->paste_text)
        return 1;
    const wchar_t *text = edit->paste_text;
    int start = edit->paste_pos;
    int end = start;
    while (text[end] && text[end] != L'\n' && text[end] != L'\r')
        end++;
    bool last = text[end] == 0;
    if (!last) {
        int next = end + 1;
        if ((text[end] == L'\r' && text[next] == L'\n') || (text[end] == L'\n' && text[next] == L'\r'))
            next++;
        edit->paste_pos = next;
    }
    std::wstring piece(text + start, static_cast<size_t>(end - start));
    HWND hwnd = edit->widget->hwnd;
    vel_widget_sendmessage(edit->widget, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(piece.c_str()));
    SendMessageW(hwnd, WM_CHAR, VK_RETURN, 0);
    // The application may close its window in answer to the line it was sent.
    if (!IsWindow(hwnd))
        return 0;
    if (last)
        vel_richedit2_stop_paste(edit);
    return 1;
}

} // namespace

void vel_richedit2_stop_paste(vel_richedit2 *edit)
{
    if (!edit)
        return;
    if (edit->paste_timer && edit->widget)
        KillTimer(edit->widget->hwnd, edit->paste_timer);
    edit->paste_timer = 0;
    std::free(edit->paste_text);
    edit->paste_text = nullptr;
    edit->paste_pos = 0;
}

vel_widget *vel_richedit2_create(void *user, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                                 int x, int y, int w, int h, int anchors, void *data, vel_wdgproc proc)
{
    auto *edit = static_cast<vel_richedit2 *>(std::calloc(1, sizeof(vel_richedit2)));
    if (!edit)
        return nullptr;
    edit->history_max = 10;
    edit->paste_interval = 500;
    edit->user = user;
    edit->proc = proc;
    vel_widget *widget = vel_widget_create(edit, parent, exstyle, style, text, x, y, w, h, anchors, data,
                                           vel_richedit2_default_wdgproc, VEL_RICHEDIT, L"RichEdit20W");
    if (!widget) {
        std::free(edit);
        return nullptr;
    }
    edit->widget = widget;
    vel_widget_sendmessage(widget, EM_SETEVENTMASK, 0, static_cast<LPARAM>(0xFFFFFFFF));
    CHARFORMATW cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_PROTECTED;
    cf.dwEffects = CFE_PROTECTED;
    vel_widget_sendmessage(widget, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    return widget;
}

int vel_richedit2_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *edit = static_cast<vel_richedit2 *>(self->ext);
    if (!edit)
        return VEL_CONTINUE;
    vel_wdgproc proc = edit->proc;
    switch (msg) {
    case WM_KEYDOWN: {
        bool shift = richedit2_key_down(VK_SHIFT);
        bool control = richedit2_key_down(VK_CONTROL);
        if (wp == VK_UP) {
            richedit2_history_up(edit);
        } else if (wp == VK_DOWN) {
            richedit2_history_down(edit);
        } else if (control && (wp == 'R' || wp == 'E')) {
            // The rich edit's alignment shortcuts have no place in a one-line input.
            *result = 0;
            return VEL_DONE;
        } else if (control && shift && wp == VK_INSERT) {
            richedit2_start_paste(edit);
            *result = 0;
            return VEL_DONE;
        } else if ((control && wp == 'V') || (shift && !control && wp == VK_INSERT)) {
            richedit2_paste_plain(edit);
            *result = 0;
            return VEL_DONE;
        }
        break;
    }
    case WM_TIMER:
        if (wp == VEL_RICHEDIT2_PASTE_TIMER) {
            if (!richedit2_paste_tick(edit)) {
                *result = 0;
                return VEL_DONE;
            }
        }
        break;
    case WM_CHAR:
        if (wp == VK_RETURN) {
            richedit2_remember(edit);
        } else if (wp == VK_ESCAPE) {
            vel_richedit2_stop_paste(edit);
            vel_widget_settext(self, L"");
        }
        break;
    case WM_DESTROY: {
        // The application's procedure sees the record still whole, then it goes.
        int code = proc ? proc(self, hwnd, msg, wp, lp, result) : VEL_CONTINUE;
        vel_richedit2_stop_paste(edit);
        richedit2_free_history(edit);
        std::free(edit);
        self->ext = nullptr;
        return code;
    }
    default:
        break;
    }
    return proc ? proc(self, hwnd, msg, wp, lp, result) : VEL_CONTINUE;
}
