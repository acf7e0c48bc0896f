// Popup message boxes: the window, its text fitted to the wrapped lines, the system icon
// of the message's kind and the acknowledge button.
#include "ui/msgbox.h"

#include "resources/resource.h"
#include "settings/apputil.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/static.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr COLORREF background = RGB(0xE8, 0xEF, 0xF6);
constexpr int box_width = 360;
constexpr int first_height = 1000;
constexpr int row_height = 16;

std::vector<char16_t> to_ucs2(const char *utf8)
{
    std::vector<char16_t> out(std::strlen(utf8) + 1);
    utf8_to_ucs2(out.data(), utf8);
    return out;
}

const wchar_t *wide(const std::vector<char16_t> &s)
{
    return reinterpret_cast<const wchar_t *>(s.data());
}

LPCWSTR system_icon_of(int kind)
{
    switch (kind) {
    case 2:
        return IDI_EXCLAMATION;
    case 3:
        return IDI_HAND;
    default:
        return IDI_INFORMATION;
    }
}

// The close request is posted: the button whose click or key asks for it is still inside
// its own procedure, and goes with the window.
void request_close(const msgbox *mb)
{
    if (mb->wnd)
        PostMessageW(mb->wnd->hwnd, WM_CLOSE, 0, 0);
}

int button_wndproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    const auto *mb = static_cast<const msgbox *>(self->ext);
    if (!mb || msg != WM_KEYDOWN || (wp != VK_RETURN && wp != VK_ESCAPE))
        return VEL_CONTINUE;
    request_close(mb);
    *result = 0;
    return VEL_DONE;
}

int build(msgbox *mb, vel_window *self)
{
    mb->wnd = self;
    vel_window_setbackground(self, background);
    mb->text_box = vel_textbox_create(mb, self, 0, WS_CHILD | WS_VISIBLE, L"", 50, 5, 10, 800,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP, nullptr, nullptr);
    mb->icon_view = vel_widget_create(mb, self, 0, SS_ICON | SS_REALSIZEIMAGE, nullptr, 5, 10, 32, 32,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_TOP, nullptr, nullptr, VEL_STATIC, nullptr);
    mb->ok_button = vel_widget_create(mb, self, WS_EX_CLIENTEDGE, BS_PUSHBUTTON, L"Vettem", 140, 5, 140, 24,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM, nullptr, button_wndproc,
                                      VEL_BUTTON, nullptr);
    if (!mb->text_box || !mb->icon_view || !mb->ok_button)
        return 0;
    vel_textbox *box = vel_textbox_get(mb->text_box);
    box->max_lines = 10;
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    box->options = VEL_TEXTBOX_WRAP | VEL_TEXTBOX_LIVE_LINKS;
    box->plain_colour = RGB(0, 0, 0);
    box->colour_mode = 0;
    vel_widget_setbackground(mb->text_box, background);
    vel_textbox_create_and_set_font(mb->text_box, 16, L"Arial", 700);
    vel_widget_setbackground(mb->icon_view, background);
    vel_widget_create_and_set_font(mb->ok_button, 15, L"Arial", 700);
    return 1;
}

int msgbox_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *mb = static_cast<msgbox *>(self->user);
    if (!mb)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!build(mb, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_DESTROY:
        if (mb->main_frame)
            mainwnd_del_childwindow(mb->main_frame, self);
        self->user = nullptr;
        std::free(mb);
        return VEL_CONTINUE;
    case VEL_WM_COMMAND:
        if (mb->ok_button && reinterpret_cast<vel_widget *>(lp) == mb->ok_button && HIWORD(wp) == BN_CLICKED)
            request_close(mb);
        *result = 0;
        return VEL_DONE;
    default:
        break;
    }
    const childwnd_common common{mb->main_frame, mb->winlist_entry, mb->ok_button, CHILDWND_CLOSE_LEAVES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

}  // namespace

msgbox *msgbox_create(mainwnd *main_frame, const char *title, const char *text, int icon, int colour)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    auto *mb = static_cast<msgbox *>(std::calloc(1, sizeof(msgbox)));
    if (!mb)
        return nullptr;
    mb->main_frame = main_frame;
    mb->icon = lvc_loadicon(IDI_POPUP);
    const std::vector<char16_t> caption = to_ucs2(title ? title : "");
    vel_window *wnd = vel_mdichild_create(mb, mb->icon, mb->icon, WS_CAPTION | WS_SYSMENU, wide(caption),
                                          CW_USEDEFAULT, CW_USEDEFAULT, box_width, first_height, main_frame->frame,
                                          msgbox_wndproc);
    if (!wnd) {
        std::free(mb);
        return nullptr;
    }
    mb->wnd = wnd;
    mb->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_POPUP, wide(caption), wide(caption));

    const char *message = text ? text : "";
    const size_t n = std::strlen(message);
    std::vector<char16_t> units(n + 1);
    std::vector<uint32_t> colours(n + 1);
    LVC_CStringParserW(units.data(), colours.data(), message, MSGBOX_TEXT_COLOUR);
    // The text wraps at the box's real width, whatever the creation left it at.
    vel_widget_adjust_placement(mb->text_box, FALSE);
    vel_textbox_add_line_c(mb->text_box, reinterpret_cast<const wchar_t *>(units.data()),
                           reinterpret_cast<const COLORREF *>(colours.data()), 0, 0);

    vel_textbox *box = vel_textbox_get(mb->text_box);
    const int lines = box && box->total_rows > 0 ? box->total_rows : 1;
    mb->text_box->h = row_height * lines + 5;
    vel_widget_adjust_placement(mb->text_box, FALSE);
    SetWindowPos(wnd->hwnd, nullptr, 0, 0, box_width, msgbox_height_for(lines),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    vel_static_setimage(mb->icon_view, IMAGE_ICON, LoadIconW(nullptr, system_icon_of(icon)));
    if (colour == 0 && box)
        box->colour_mode = 2;
    // In front of the other children, so that it is seen, but not activated: the keyboard
    // stays with the window the user is typing in.
    SetWindowPos(wnd->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return mb;
}

void *msgbox_creator(const mainwnd_msgbox_args *args)
{
    return args ? msgbox_create(main_frame, args->title, args->text, args->icon, args->flag) : nullptr;
}
