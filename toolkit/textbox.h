// The colour text box: a read-only, append-only view of coloured lines. Callers hand it
// UCS-2 text with one colour per character; the box splits the text into lines, measures
// every character once, marks web and e-mail addresses, wraps at word boundaries, keeps
// at most `max_lines` lines, draws them bottom-aligned in runs of equal colour, opens
// links on a double-click and copies text on a right double-click.
//
// Threads: any thread may append. Appends from a thread other than the box's own are
// queued in order and carried out by the box's thread, so the line list, the scroll state
// and the painting belong to the user-interface thread alone.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>
#include <mutex>

// Character flags of a line.
enum : uint8_t {
    VEL_TEXTBOX_LINK = 1,
    VEL_TEXTBOX_EMAIL = 2,
};

// Hit-test result bits above the character index.
enum : uint32_t {
    VEL_TEXTBOX_HIT_INDEX = 0x3FFFFFFF,
    VEL_TEXTBOX_HIT_OFFLINE = 0x40000000,  // the point is above the line (or below the newest)
    VEL_TEXTBOX_HIT_RIGHT = 0x80000000,    // the point is right of the row's last character
};

// Box options and link style bits.
enum : uint32_t {
    VEL_TEXTBOX_WRAP = 1,
    VEL_TEXTBOX_LIVE_LINKS = 2,
    VEL_TEXTBOX_LINK_FONT = 1,
};

// Posted to the box when another thread has queued lines for it, or its scroll bar
// waits to be redrawn.
constexpr UINT VEL_TEXTBOX_SYNC = 32757;

struct vel_textbox_line {
    wchar_t *text;      // length units and a terminator
    COLORREF *colours;  // one per character
    uint8_t *flags;     // length + 1: VEL_TEXTBOX_LINK, VEL_TEXTBOX_EMAIL
    int32_t userdata;
    int32_t style;  // 0 left, 1 right, 2 centred
    int32_t x;      // left edge where the line was last laid out or drawn
    int32_t length;
    int32_t height;  // rows * row height
    int32_t rows;
    int *widths;       // length + 1 advance widths, measured once
    int *row_lengths;  // characters per row
};

// Opens an address found under a double-click: "mailto:..." for e-mail addresses.
using vel_textbox_opener = void (*)(const wchar_t *address, int is_email);

struct vel_textbox {
    vel_widget *widget;
    void *userdata;
    int32_t total_rows;
    int32_t page_rows;
    int32_t max_lines;
    int32_t line_count;
    vel_list_node *lines;  // newest at the head; key and payload the line record
    int32_t wrap_width;
    HFONT link_font;
    uint32_t link_style;
    uint32_t colour_mode;  // 0 per character, 1 the line's first colour, 2/3 plain_colour
    COLORREF plain_colour;
    uint32_t options;
    vel_wdgproc owner_proc;
    // The vertical scroll position (first row shown, counted from the oldest line's top);
    // the scroll bar mirrors it.
    int32_t scroll_pos;
    // Text height plus external leading of the font the lines are measured with.
    int32_t row_height;
    // Lines queued by other threads, newest at the head, with the lock that guards them
    // and whether a VEL_TEXTBOX_SYNC is on its way.
    std::mutex pending_lock;
    vel_list_node *pending;
    bool sync_posted;
    // The scroll bar's values changed and its redraw waits for VEL_TEXTBOX_SYNC, or for
    // the bar's timer when it was drawn a moment ago (bar_drawn_at, GetTickCount).
    bool bar_dirty;
    bool bar_timer;
    DWORD bar_drawn_at;
    // What a double-click on a live link calls; vel_textbox_open_address unless replaced.
    vel_textbox_opener opener;
};

// Measures the advance width of each of `length` characters into widths.
using vel_textbox_measure = void (*)(void *context, const wchar_t *text, int length, int *widths);

vel_widget *vel_textbox_create(void *userdata, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                               int x, int y, int w, int h, int anchors, void *data, vel_wdgproc owner_proc);
HFONT vel_textbox_create_and_set_font(vel_widget *widget, int height, const wchar_t *face, int weight);
// Appends the lines of a NUL-terminated text; colours is null or holds one colour per unit
// of text. Returns 1, or 0 when a line record could not be made.
int vel_textbox_add_line_c(vel_widget *widget, const wchar_t *text, const COLORREF *colours, int style,
                           int32_t userdata);
// The same for a counted text (stopping early at a NUL) with a counted colour array;
// characters beyond colour_count get colour 0.
int vel_textbox_add_text(vel_widget *widget, const wchar_t *text, int length, const COLORREF *colours,
                         int colour_count, int style, int32_t userdata);
// Opens "mailto:" addresses with the shell's "open" verb, others with the URL opener.
void vel_textbox_open_address(const wchar_t *address, int is_email);
// The box record of a text box widget, or null.
vel_textbox *vel_textbox_get(const vel_widget *widget);

// Makes one line record from the start of text (at most length units), measures it and
// marks its links; *consumed is the number of units taken, line break included. Null when
// memory runs out.
vel_textbox_line *vel_textbox_process_text(const wchar_t *text, int length, const COLORREF *colours,
                                           int colour_count, int style, int32_t userdata,
                                           vel_textbox_measure measure, void *context, int *consumed);
// Splits a text into lines and appends each (process_text, process_line, append);
// *added_rows grows by the rows added. Returns the rows dropped by the line limit, or -1
// when memory ran out (the lines made before stay).
int vel_textbox_append_text(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours,
                            int colour_count, int style, int32_t userdata, vel_textbox_measure measure,
                            void *context, int *added_rows);
// Marks web addresses (VEL_TEXTBOX_LINK) and e-mail addresses (both bits) of a line.
void vel_textbox_mark_links(vel_textbox_line *line);
// Wraps a line to the box's wrap width and row height; 0 when memory runs out (the line
// then keeps a single row).
int vel_textbox_process_line(const vel_textbox *box, vel_textbox_line *line);
// Appends a wrapped line, drops the oldest lines beyond max_lines and moves the scroll
// position: to the end when the view showed the last row, else so that the rows on
// screen stay. Returns the number of rows dropped.
int vel_textbox_append(vel_textbox *box, vel_textbox_line *line);
void vel_textbox_free_line(vel_textbox_line *line);
// Rewraps every line (after a resize) and recounts total_rows.
void vel_textbox_rewrap(vel_textbox *box);
// Scroll bar range maximum and the last first-row position.
int vel_textbox_max_row(const vel_textbox *box);
int vel_textbox_end_pos(const vel_textbox *box);
// The new scroll position for a WM_VSCROLL request (SB_* code and the thumb position).
int vel_textbox_scroll_target(const vel_textbox *box, int code, int thumb);
// Maps a client point to a line and a hit value (character index in the low 30 bits and
// the VEL_TEXTBOX_HIT_* bits); null when the box holds no rows.
vel_textbox_line *vel_textbox_get_line_from_pos(const vel_textbox *box, int x, int y, int client_width,
                                                int client_height, uint32_t *hit);
// The address around character index of a line: extended left over link characters and
// right to the next blank. Writes at most capacity units with the terminator; returns the
// length, or 0 when index is not a link character or the address does not fit.
int vel_textbox_get_link(const vel_textbox_line *line, int index, wchar_t *out, int capacity, int *is_email);
// The text the right double-click copies: one line without a line break (line non-null),
// or every line from the oldest, each followed by CR LF. Malloc'ed; null when empty.
wchar_t *vel_textbox_copy_text(const vel_textbox *box, const vel_textbox_line *line, size_t *length);
// Draws a line with its top at y.
void vel_textbox_render_line(const vel_textbox *box, HDC dc, vel_textbox_line *line, int y, int client_width);
int vel_textbox_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
