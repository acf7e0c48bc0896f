// Popup message boxes: a small MDI child per message the server pushes, with a title, an
// icon, coloured text and the acknowledge button "Vettem".
#pragma once

#include "toolkit/wnd.h"

struct mainwnd;
struct mainwnd_msgbox_args;

struct msgbox {
    vel_window *wnd;
    HICON icon;
    vel_widget *icon_view;
    vel_widget *text_box;
    vel_widget *ok_button;
    vel_widget *winlist_entry;
    mainwnd *main_frame;
};

// The box's default text colour and its height for L wrapped lines: 16 * L + 75.
constexpr COLORREF MSGBOX_TEXT_COLOUR = RGB(0x20, 0x47, 0x6E);
constexpr int msgbox_height_for(int lines)
{
    return 16 * lines + 75;
}

msgbox *msgbox_create(mainwnd *main_frame, const char *title, const char *text, int icon, int colour);
// The main frame's creator of popup message boxes.
void *msgbox_creator(const mainwnd_msgbox_args *args);
