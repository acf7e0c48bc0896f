// The colour text box's line store and layout, apart from any window: making line records
// from text, the width table, link and e-mail marking, word wrap, the line limit and the
// scroll position that follows the end, hit testing and the text a copy takes. Pure
// computation on the records of toolkit/textbox.h; measuring goes through a callback.
#pragma once

#include "toolkit/textbox.h"

#include <cstddef>

// Starts an empty table whose unknown units `measure` measures.
void vel_textbox_widths_init(vel_textbox_widths *table, vel_textbox_measure measure, void *context);
// Forgets every width (the font changed).
void vel_textbox_widths_clear(vel_textbox_widths *table);
// Forgets every width and learns the common range at once: Basic Latin, Latin-1 and Latin
// Extended-A, which hold every Hungarian letter. 0 when it could not be measured.
int vel_textbox_widths_reset(vel_textbox_widths *table);
// Measures the units of a text that are not known yet, together in one call. 0 when
// memory ran out or the measuring failed; the units then stay unknown.
int vel_textbox_widths_learn(vel_textbox_widths *table, const wchar_t *text, int length);
// A vel_textbox_measure over a table (the context): look-ups, learning what is missing.
// Without memory for the table it measures the text directly.
int vel_textbox_widths_measure(void *table, const wchar_t *text, int length, int *widths);

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
// Frees every line (the box's records only; the table is the caller's).
void vel_textbox_free_lines(vel_textbox *box);
// Rewraps every line (after a resize) and recounts total_rows.
void vel_textbox_rewrap(vel_textbox *box);

// Rows a page counts: page_rows, or 1 for a box lower than a row.
int vel_textbox_page(const vel_textbox *box);
// Scroll bar range maximum and the last first-row position.
int vel_textbox_max_row(const vel_textbox *box);
int vel_textbox_end_pos(const vel_textbox *box);
// Client y of the top of row `row` for the current scroll position: row pos + page - 1
// ends 2 pixels above the bottom edge.
int vel_textbox_row_y(const vel_textbox *box, int row, int client_height);
// Left edge of a line of the given style in a client area `client_width` wide.
int vel_textbox_line_x(const vel_textbox_line *line, int client_width);
// The new scroll position for a WM_VSCROLL request (SB_* code and the thumb position).
int vel_textbox_scroll_target(const vel_textbox *box, int code, int thumb);
// The scroll position after `notches` lines up (negative: down), as many single steps.
int vel_textbox_wheel_target(const vel_textbox *box, int notches);

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
