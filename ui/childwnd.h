// The part of a chat child's window procedure that every child of the frame shares: the
// status window, the room list, the room, private, popup, information, drawing board and
// game windows answer these messages alike and differ only in what they pass here; and
// the reading of a typed line that the input lines share.
#pragma once

#include "toolkit/wnd.h"

#include <cstddef>
#include <string>

struct mainwnd;

// How a child answers a close request.
enum : int {
    CHILDWND_CLOSE_MINIMISES = 0,  // windows that live as long as the program only minimise
    CHILDWND_CLOSE_LEAVES = 1,     // the window leaves the frame's window list and is destroyed
};

struct childwnd_common {
    mainwnd *main_frame;        // the frame the child is registered with; may be null
    vel_widget *winlist_entry;  // the child's button, redrawn on activation; may be null
    vel_widget *focus;          // the widget that takes the focus with the window; may be null
    int close;                  // CHILDWND_CLOSE_*
};

// Handles the shared messages of a child's procedure; VEL_DONE with *result set, or
// VEL_CONTINUE (also for every other message):
// - WM_COMMAND from a menu item or key (no control) is passed on as WM_SYSCOMMAND with the
//   same id, where the child's own commands live (the frame hands Alt+<key> commands to
//   the active child this way); control notifications arrive as VEL_WM_COMMAND instead;
// - WM_SETFOCUS repaints at once and gives the focus to `focus`;
// - WM_MDIACTIVATE of this child redraws its window-list entry and clears its
//   unseen-text mark;
// - WM_CLOSE minimises or unregisters the child, as `close` says.
// A child with a step of its own at one of these messages takes it first and then passes
// the message here.
int childwnd_handle(const childwnd_common *common, vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                    LRESULT *result);

// A child's answer to a WM_CREATE it refuses: the creation fails and the record goes back
// to the creator, which frees it. Windows NT still sends the refused window WM_DESTROY;
// with the record taken off the window, that message frees nothing a second time.
int childwnd_refuse_creation(vel_window *self, LRESULT *result);

// The typed line of an input line, at most `capacity` - 1 UTF-16 units, as UTF-8; the
// input line is emptied before the caller acts on the text, since a command may close
// the window the input line belongs to.
std::string childwnd_take_line(vel_widget *input, size_t capacity);
