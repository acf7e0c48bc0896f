// The main frame's first children: the status window and the room list; and the creators
// of the windows that other parts open later.
#include "ui/mainwnd.h"

#include "toolkit/mdichild.h"
#include "ui/chatwnd.h"
#include "ui/chatwnd_list.h"
#include "ui/msgbox.h"
#include "ui/privwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

int mainwnd_create_first_children(mainwnd *mw)
{
    privwnd_attach(mw);
    mw->create_msgbox = msgbox_creator;
    mw->create_chatwnd = chatwnd_create_hook;
    mw->room_state = chatwnd_room_state;
    rlistwnd_room_windows = chatwnd_room_windows;
    chatwnd_broadcast_apply = chatwnd_broadcast_one;
    mw->statwnd = statwnd_create(mw);
    status_window = mw->statwnd;
    mw->rlistwnd = rlistwnd_create(mw);
    roomlist_window = mw->rlistwnd;
    // The status window, made first, stays the active child: the room list comes up behind it.
    if (mw->rlistwnd) {
        rlistwnd_join_window_list(mw->rlistwnd);
        vel_mdichild_show_behind(mw->rlistwnd->wnd);
        if (!mw->statwnd)
            vel_mdichild_activate(mw->rlistwnd->wnd);
    }
    return mw->statwnd && mw->rlistwnd ? 1 : 0;
}
