// The colour text box: a read-only, append-only view of coloured lines. Callers hand it
// UCS-2 text with one colour per character; the box splits the text into lines, measures
// every character once, marks web and e-mail addresses, wraps at word boundaries, keeps
// at most `max_lines` lines, draws them bottom-aligned in runs of equal colour, opens
// links on a double-click and copies text on a right double-click.
//
// An append is arithmetic on the line store (toolkit/textbox_layout.h): the widths come
// from a per-font table, and the screen is brought up to date by the next paint, at most
// once every `frame_interval` milliseconds, however many lines came in between.
//
// Threads: any thread may append. An append from a thread other than the box's own runs
// on the box's thread through the toolkit's one hand-over (vel_ui_run) and returns when it
// is done, so the line list, the scroll state and the painting belong to the
// user-interface thread alone.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>

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


// The shortest time between two paints that appends ask for, in milliseconds.
constexpr int32_t VEL_TEXTBOX_FRAME_MS = 20;
// The same while lines come faster than anyone reads: each frame brings more new rows than
// the box shows, so every frame replaces the whole page (a flood). Painting such frames
// less often costs the reader nothing and the program most of its painting.
constexpr int32_t VEL_TEXTBOX_FLOOD_FRAME_MS = 100;

// A colour from the character `start` up to the next run's start or the line's end.
struct vel_textbox_run {
    int32_t start;
    COLORREF colour;
};

struct vel_textbox_line {
    wchar_t *text;  // length units and a terminator
    // The colours as runs (a chat line has a handful): the first starts at 0, neighbours
    // differ. Without runs every character is black (0).
    vel_textbox_run *runs;
    int32_t run_count;
    uint8_t *flags;  // length + 1: VEL_TEXTBOX_LINK, VEL_TEXTBOX_EMAIL
    int32_t userdata;
    int32_t style;  // 0 left, 1 right, 2 centred
    int32_t x;      // left edge where the line was last laid out or drawn
    int32_t length;
    int32_t height;  // rows * row height
    int32_t rows;
    uint16_t *widths;  // length + 1 advance widths in pixels, measured once
    int *row_lengths;  // characters per row
};

// The colour of character i of a line, and where its run ends (the first character of
// another colour, or the line's length).
COLORREF vel_textbox_colour_at(const vel_textbox_line *line, int i);
int vel_textbox_run_end(const vel_textbox_line *line, int i);

// Opens an address found under a double-click: "mailto:..." for e-mail addresses.
using vel_textbox_opener = void (*)(const wchar_t *address, int is_email);

// Measures the advance width of each of `length` characters into widths; 1, or 0 when
// nothing could be measured (the widths are then 0).
using vel_textbox_measure = int (*)(void *context, const wchar_t *text, int length, int *widths);

// Advance widths of one font, learnt once per UTF-16 unit: 256 pages of 256 widths, each
// made on first use, so measuring a line is a table look-up. `measure` is asked only for
// units not known yet, those of one text together in one call.
struct vel_textbox_widths {
    int32_t *pages[256];
    vel_textbox_measure measure;
    void *context;
};

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
    // The scroll bar's values changed and its redraw waits for the next paint, or for the
    // bar's timer when it was drawn a moment ago (bar_drawn_at, GetTickCount).
    bool bar_dirty;
    bool bar_timer;
    DWORD bar_drawn_at;
    // What a double-click on a live link calls; vel_textbox_open_address unless replaced.
    vel_textbox_opener opener;
    // The widths of `measured_font` (the widget's font when the table was started).
    vel_textbox_widths widths;
    HFONT measured_font;
    // The values last given to the scroll bar, so that an append that leaves them alone
    // does not set them again.
    int32_t bar_max, bar_page, bar_pos;
    // A paint is on its way (the client area invalidated, or frame_timer waiting for
    // frame_interval to pass since painted_at); appends until then ask for nothing more.
    bool frame_pending;
    bool frame_timer;
    DWORD painted_at;
    int32_t frame_interval;  // ms; VEL_TEXTBOX_FRAME_MS when created
    int32_t rows_since_paint;  // rows appended since the last paint
    bool flood_frame;          // the last paint brought more new rows than the box shows
};

vel_widget *vel_textbox_create(void *userdata, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                               int x, int y, int w, int h, int anchors, void *data, vel_wdgproc owner_proc);
// Sets the widget's font and the underlined link font; the width table starts again for
// the new font.
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

// Draws a line with its top at y.
void vel_textbox_render_line(const vel_textbox *box, HDC dc, vel_textbox_line *line, int y, int client_width);
int vel_textbox_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
