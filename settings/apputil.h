// Small helpers that several windows of the client share: the slash-command splitter,
// date and beat-time values, UCS-2 buffers, font settings, icons, a list-view column
// fitter and `lorvaedit`, the room input line that keeps inserted dollar signs literal.
#pragma once

#include "toolkit/wnd.h"

#include <cstddef>
#include <string_view>

// Splits a typed line into command and argument. -1: not a command (empty, no leading
// "/", or "//"). 0: no blank; *arg is the empty string at the line's end. 1: the first
// blank is overwritten with NUL and *arg is the text after it. The command word starts
// at line + 1.
int parse_commandline(char *line, char **arg);
// 1 when a typed command word names the command `name`; command words are ASCII and
// compared without regard to case.
int command_word_is(std::string_view word, std::string_view name);

// Writes the local date and time as "$red$2005.06.10. 14:05.09" (bounded by capacity)
// and returns buf.
char *get_date_string(char *buf, size_t capacity);
// The same for a given time.
char *get_date_string_of(const SYSTEMTIME *time, char *buf, size_t capacity);

// The current time of day in beats (thousandths of a day from midnight at UTC+1), 0-999.
int get_inettime();
// The same for a given UTC time of day.
int get_inettime_of(int hour, int minute, int second);

// An uninitialised buffer of n + 1 UCS-2 units, or null; the caller frees it.
wchar_t *text_alloc(size_t n);

// The shared 16x16 icon of a resource id of the program; never freed by the caller.
HICON lvc_loadicon(int id);

// Reads "face,height,weight" ("Arial,16,700"; numbers as strtol with base 0). The face
// is widened byte by byte and cut to fit face_capacity with its terminator; a missing
// height or weight reads as 0 (the font's default). Returns 1.
int parse_font_string(const char *font, wchar_t *face, size_t face_capacity, int *height, int *weight);

// Fits column 0 of a one-column list view to the view's width, less the vertical scroll
// bar while there is one.
void listview_adjust_columnsize(vel_widget *listview);

// The room input line: a rich edit input line whose inserted text (a chosen nick, a
// pasted line) has its dollar signs doubled, so they show literally after markup parsing.
struct lorvaedit {
    struct vel_richedit2 *edit;
    void *userdata;
    vel_wdgproc owner_proc;
};

vel_widget *lorvaedit_create(void *userdata, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                             int x, int y, int w, int h, int anchors, void *data, vel_wdgproc owner_proc);
int lorvaedit_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
// The creator's value of a lorvaedit widget, or null.
void *lorvaedit_get_userdata(const vel_widget *widget);
// Writes text with every "$" doubled into out (at most capacity units with the
// terminator); returns the length written, or -1 when it does not fit.
int lorvaedit_escape(const wchar_t *text, wchar_t *out, size_t capacity);
