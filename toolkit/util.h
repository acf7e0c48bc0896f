// Small stateless helpers of the toolkit: fonts, flat 3-D lines, flicker-free text, the
// halftone drag line, clipboard text, opening addresses, message boxes, the console,
// window sizes and string duplication. User-interface thread only.
#pragma once

#include "toolkit/wnd.h"

#include <cstddef>

HFONT vel_util_create_font(int height, const wchar_t *face, int weight);
// A memory device context of the screen for measuring text, one per thread and kept for
// its life: a window's context costs Wine server round trips each time it is taken.
// Whoever selects a font into it selects the old one back.
HDC vel_util_measure_dc();
// One-pixel raised frame: highlight on the left and top, shadow on the right and bottom.
void vel_util_draw_edge(HDC dc, const RECT *rc);
// Two-pixel lines; style 1 is an etched groove (shadow over highlight), else raised.
void vel_util_draw_hline(HDC dc, int x, int y, int length, int style);
void vel_util_draw_vline(HDC dc, int x, int y, int length, int style);
// Draws text over an opaque background, painting every pixel of `rc` exactly once.
void vel_util_draw_text(HDC dc, HFONT font, COLORREF text_colour, COLORREF bk_colour,
                        const wchar_t *text, int length, const RECT *rc, UINT format);
// Self-inverting dotted pattern over `rc`; drawing it twice restores the screen.
void vel_util_draw_halftone_rect(HDC dc, const RECT *rc);
// A malloc'ed copy of the clipboard's Unicode text, or null. The caller frees it.
wchar_t *vel_util_get_clipboard_text(HWND owner);
// Puts `text` on the clipboard as Unicode text; 1 on success.
int vel_util_set_clipboard_text(HWND owner, const wchar_t *text, size_t length);
// Opens a web, ftp or mail address with the program registered for its scheme.
INT_PTR vel_util_open_url(const wchar_t *url);
// The scheme class ("http", "https", "ftp", "mailto") for an address, or null.
const wchar_t *vel_util_url_class(const wchar_t *url);
// The program of a registered open command: the quoted path, or the text up to the first
// space. Writes at most `capacity` characters with the terminator; 0 when it does not fit.
int vel_util_command_program(const wchar_t *command, wchar_t *out, size_t capacity);
// The address as one command-line argument, quoted; 0 when it holds characters that could
// break out of the quotes (a quote or a control character) or does not fit.
int vel_util_quote_url(const wchar_t *url, wchar_t *out, size_t capacity);
int vel_messagebox(const vel_window *window, const wchar_t *text, const wchar_t *caption, UINT flags);
// Standard output through a buffer that the message loop flushes when the program is idle.
void vel_util_buffer_output();
int vel_util_console_open();
void vel_util_console_close();
// A new solid brush in `*slot`, deleting the old one; null (old kept) when none can be made.
HBRUSH vel_util_replace_brush(HBRUSH *slot, COLORREF colour);
int vel_util_getwindowsize(HWND hwnd, vel_size *size);
// A malloc'ed copy, or null for null input or when memory runs out.
wchar_t *vel_wcsdup(const wchar_t *text);
