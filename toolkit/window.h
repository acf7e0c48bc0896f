// Window core: the `vel_window` record's operations, the three-stage dispatch, class
// registration, start-up and the message loop.
#pragma once

#include "toolkit/wnd.h"

// Toolkit globals, set by vel_init.
extern HINSTANCE vel_instance;
extern DWORD vel_ui_thread;        // the user-interface thread, compared by cross-thread callers
extern HMODULE vel_richedit_lib;   // the first rich edit library loaded
extern HCURSOR vel_cursor_we;      // vertical splitters, loaded when first shown
extern HCURSOR vel_cursor_ns;      // horizontal splitters, loaded when first shown

// The toolkit's globals and the common controls. The cross-thread helper is started on
// its own (vel_ui_start), once the first windows are up.
int vel_init();
WPARAM vel_run(vel_window *main_window, HACCEL accel);
// Ends vel_run with `code`, also when called from inside a modal loop (a menu in keyboard
// mode, a message box, a drag): an open menu is closed, the thread's quit message is
// posted, and should a modal loop swallow it, vel_run ends as soon as that loop returns.
void vel_quit(int code);

ATOM vel_wnd_registerclass(UINT style, HCURSOR cursor, HBRUSH background, const wchar_t *menu_name,
                           const wchar_t *class_name, int kind);
// Registers one of the toolkit's window classes ("veln", "velm", "velc") the first time.
void vel_wnd_register_once(bool *registered, const wchar_t *class_name, int kind);
// A zeroed record with the first widget identifier, or null.
vel_window *vel_wnd_alloc(void *user, vel_wndproc proc, int kind);
vel_window *vel_wnd_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                           const wchar_t *class_name, const wchar_t *caption, int x, int y, int width,
                           int height, HWND parent, HMENU menu, vel_wndproc proc, int kind);
// Marks `rec` as the record whose window the current thread is creating, so that a
// creation refused in WM_CREATE leaves the record to its creator; returns the previous mark
// (creations nest) for the creator to restore.
vel_window *vel_wnd_creating(vel_window *rec);
vel_window *vel_window_create(void *user, HICON big_icon, HICON small_icon, DWORD exstyle, DWORD style,
                              const wchar_t *caption, int x, int y, int width, int height, HWND parent,
                              HMENU menu, vel_wndproc proc);

LRESULT vel_window_sendmessage(const vel_window *window, UINT msg, WPARAM wp, LPARAM lp);
int vel_window_setcaption(const vel_window *window, const wchar_t *text);
int vel_window_getcaption(const vel_window *window, wchar_t *text, int capacity);
HBRUSH vel_window_setbackground(vel_window *window, COLORREF colour);
void vel_window_refresh(const vel_window *window, BOOL erase);
int vel_window_getsize(const vel_window *window, vel_size *size);
void vel_window_seticon(const vel_window *window, HICON big_icon, HICON small_icon);
void vel_window_ontop(const vel_window *window, int flag);
int vel_window_setmenu(const vel_window *window, HMENU menu);
int vel_window_fullscreen(vel_window *window, int flag);

// Class procedures.
LRESULT CALLBACK vel_default_wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK vel_default_dummyproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The common handling shared by every window kind: 1 when it handled the message, with
// its answer in `result`. After WM_DESTROY the record is gone.
int vel_common_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);

// Finishes a dispatch by the procedure's code: 1 with the answer in `out`, or 0 when the
// platform default procedure's answer is the answer. `who` names the procedure in the
// console diagnostic printed for an unknown code.
// The window's record from its user data; at WM_CREATE it is taken from the creation
// parameter (for an MDI child from its MDICREATESTRUCTW) and attached. Null before.
vel_window *vel_wnd_from_hwnd(HWND hwnd, UINT msg, LPARAM lp, int kind);

// 1 while `record` is still the record attached to `hwnd`. An application procedure that
// destroys its own window (a menu's exit, a close button) frees the record in the middle
// of a dispatch, which must then touch it no more.
int vel_wnd_attached(HWND hwnd, const void *record);

int vel_wnd_finish(int code, int handled, LRESULT proc_result, LRESULT common_result, const char *who,
                   LRESULT *out);
