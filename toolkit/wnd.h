// The toolkit's shared records: the window (`vel_window`) and the widget (`vel_widget`),
// the procedure shape with its dispatch codes, the toolkit's private messages and the
// widget types. Every other toolkit module and every window of the program builds on
// these.
//
// The toolkit is part of the base floor: it uses only the platform and itself, never
// the text, protocol, settings, windows or program folders.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <cstdint>

#include "toolkit/list.h"

struct vel_window;
struct vel_widget;

// Dispatch codes returned by window and widget procedures.
enum : int {
    VEL_NOPROC = -1,        // no procedure: as VEL_CONTINUE
    VEL_CONTINUE = 0,       // common handling, then its result or the default procedure's
    VEL_HANDLED = 1,        // common handling still runs; the procedure's slot is returned
    VEL_CONTINUE2 = 2,      // as VEL_CONTINUE
    VEL_DEFAULT_AFTER = 3,  // common handling, then always the default procedure's result
    VEL_DONE = 4,           // the slot at once; nothing else runs
    VEL_DEFAULT_ONLY = 5,   // the default procedure at once; no common handling
};

// Procedures an application attaches to a window or a widget. `result` is the slot whose
// value is returned for the codes VEL_HANDLED and VEL_DONE.
using vel_wndproc = int (*)(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
using vel_wdgproc = int (*)(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);

// The toolkit's private messages.
enum : UINT {
    VEL_WM_COMMAND = 32744,         // to the window: wp as WM_COMMAND, lp the vel_widget
    VEL_TEXTBOX_DBLCLK = 32746,     // to a text box: wp the line, lp the hit result
    VEL_WM_CHILDACTIVATE = 32747,   // to an MDI frame: wp the child, lp 1 when deactivated
    VEL_WM_NOTIFY = 32748,          // to the notifying control: as WM_NOTIFY
    VEL_WM_SPLITTER_MOVED = 32750,  // to a splitter: wp the distance moved
    VEL_WM_PARENT_SIZE = 32752,     // to every widget: as the window's WM_SIZE
    VEL_WM_DRAWITEM = 32753,        // to an owner-drawn widget: wp memory DC or 0, lp DRAWITEMSTRUCT
    VEL_WM_MEASUREITEM = 32754,     // to an owner-drawn widget: as WM_MEASUREITEM
    VEL_WM_MOUSEENTER = 32755,      // to a widget the mouse came over
    VEL_WM_MOUSELEAVE = 32756,      // to the widget the mouse left
};

// Window kinds (also choose the class procedure in vel_wnd_registerclass).
enum : int {
    VEL_KIND_WINDOW = 1,
    VEL_KIND_MDIFRAME = 2,
    VEL_KIND_MDICHILD = 3,
    VEL_KIND_DUMMY = 10,
};

// Widget types.
enum : int {
    VEL_STATIC = 1,
    VEL_BUTTON = 2,
    VEL_RICHEDIT = 10,
    VEL_LISTVIEW = 11,
    VEL_STATUSBAR = 12,
    VEL_TOOLTIP = 13,
    VEL_MDICLIENT = 20,
    VEL_VSPLITTER = 30,
    VEL_HSPLITTER = 31,
    VEL_CUSTOM = 127,
};

// Anchor bits of a widget.
enum : int {
    VEL_ANCHOR_LEFT = 1,
    VEL_ANCHOR_RIGHT = 2,
    VEL_ANCHOR_TOP = 4,
    VEL_ANCHOR_BOTTOM = 8,
};

// Extra system-menu items of every MDI child, and the zoomed child's icon item on the
// frame's menu bar.
enum : UINT {
    VEL_SC_CENTER = 4998,
    VEL_SC_ONTOP = 4999,
    VEL_ZOOM_ICON_ID = 5000,
};

struct vel_size {
    int width;
    int height;
};

struct vel_window {
    HWND hwnd;
    vel_list_node *widgets;  // keyed by control identifier, payload vel_widget
    int32_t next_id;         // identifier of the next widget, from 6000
    int32_t kind;            // VEL_KIND_WINDOW, VEL_KIND_MDIFRAME or VEL_KIND_MDICHILD
    vel_widget *tooltip;     // created when the pointer first comes over a widget with a tip
    uint32_t state;          // bit 0: full screen
    HBRUSH background;
    uint32_t fs_state;       // bit 0: was maximised when full screen began
    // Frame: the MDI client widget and the children keyed by window handle.
    vel_widget *mdi_client;
    vel_list_node *children;
    // Child: its frame, bit 0 zoomed, and the normal placement before the zoom. Kept in
    // fields of their own rather than overlaid on the frame's, so that a record read as
    // the wrong kind can never turn a rectangle into a pointer.
    vel_window *frame;
    uint8_t child_flags;
    RECT restore_rect;
    // Frame only.
    vel_window *ontop_child;
    vel_window *zoomed_child;
    vel_window *active_child;
    void *user;
    vel_wndproc proc;
    uint32_t run_flags;  // bit 0: post the quit message on destroy
};

struct vel_widget {
    HWND hwnd;
    int32_t id;
    vel_window *parent;
    int32_t type;
    WNDPROC old_proc;
    void *ext;
    vel_wdgproc proc;
    HFONT font;
    TEXTMETRICW metrics;
    HBRUSH background;
    uint32_t drag_flags;  // splitter: bit 0 dragging
    int32_t grab;
    int32_t offset;
    int32_t min_offset;
    int32_t max_offset;
    int32_t anchors;
    int32_t x, y, w, h;
    uint32_t draw_flags;  // bit 0: owner drawing through a memory bitmap
    int32_t repaint;
    uint32_t hover;       // bit 0 mouse over, bit 1 do not detect leaving
    HCURSOR cursor;
    UINT_PTR hover_timer;
    wchar_t *tip_text;    // the tip while the window has no tooltip control yet (owned)
    void *data;
};
