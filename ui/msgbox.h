// Popup message boxes: a small MDI child per message the server pushes, with a title, an
// icon, coloured text and the acknowledge button "Vettem".
#pragma once

#include "toolkit/wnd.h"

struct mainwnd;

struct msgbox {
    vel_window *wnd;
    HICON icon;
    vel_widget *icon_view;
    vel_widget *text_box;
    vel_widget *ok_button;
    vel_widget *winlist_entry;
};

msgbox *msgbox_create(mainwnd *main_frame, const char *title, const char *text, int icon, int colour);
