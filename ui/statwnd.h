// The status window: the client's console. It shows the program's own messages as
// coloured lines and runs the slash commands typed into its input line.
#pragma once

#include "toolkit/wnd.h"

#include <cstdint>

struct mainwnd;

// Bit of statwnd::flags: later lines get a time stamp.
constexpr uint32_t STATWND_TIMESTAMP = 0x01;

// Posted to the status window by statwnd_add_msg on a thread other than the window's, so
// that the main frame's unseen-text mark is set on the user-interface thread.
constexpr UINT STATWND_WM_DIRTY = WM_APP + 1;

// The largest command line, in UTF-8 bytes with the terminator, and in UCS-2 units.
constexpr size_t STATWND_LINE_SIZE = 16384;
// The largest formatted status line in bytes with the terminator (wvsprintfA's limit).
constexpr size_t STATWND_MSG_SIZE = 1024;

struct statwnd {
    vel_window *wnd;
    vel_widget *edit;
    vel_widget *textbox;
    vel_widget *winlist_entry;
    uint32_t flags;
    HMENU menu;
    mainwnd *main_frame;
};

// Creates the status window as a child of the main frame and registers it in the frame's
// window list. Null on failure.
statwnd *statwnd_create(mainwnd *main_frame);
// Appends one line: printf-style (wvsprintfA: %s %d %02d %X ...), UTF-8 with colour
// markup; markup inside an argument takes effect too. Safe to call from any thread.
void statwnd_add_msg(statwnd *sw, const char *format, ...);
// Runs `command` (ANSI code page) exactly as if typed into the input line and sent.
void statwnd_inject(statwnd *sw, const char *command);
// 1 when connected; else writes "$red$- error! not connected." and returns 0.
int statwnd_connection_check(statwnd *sw);
// 1 when logged in; else writes "$red$- error! not logged in." and returns 0.
int statwnd_login_check(statwnd *sw);
// Writes the "/uptime" line for a connection of `seconds`: "- uptime: 1d 01 h 01 m 01 s".
void statwnd_write_uptime(statwnd *sw, unsigned seconds);
// The pixel height the window's font is made with for a configured height: heights from
// 1 to 12 are raised to 13, the smallest size of the default bitmap face.
int statwnd_font_height(int configured);
// Runs one typed line (UTF-8, writable, changed in place): a command, an unknown command
// message, or nothing for plain text.
void statwnd_run_line(statwnd *sw, char *line);

// Ends the program at once for "/abort". The start-up module points it at its cleanup;
// without it the process ends with code 1 and nothing saved.
extern void (*statwnd_abort_handler)();

int statwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
