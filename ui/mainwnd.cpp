// The main frame: creation and layout, the frame procedure with its menu commands, the
// status bar and its timers, the tray icon and the creation of windows for other threads
// on the user-interface thread.
#include "ui/mainwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/mdiframe.h"
#include "toolkit/shell.h"
#include "toolkit/uithread.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

mainwnd *main_frame;
statwnd *status_window;
rlistwnd *roomlist_window;

namespace {

constexpr int bar_height = 27;
constexpr int pane_width = 120;
constexpr int dots_max = 14;
constexpr UINT tray_id = 1;

// The service's web hosts.
constexpr const wchar_t *chat_host = L"www.lorvando.hu";
constexpr const wchar_t *album_host = L"foto.lorvando.hu";
constexpr const wchar_t *wallboard_host = L"fal.lorvando.hu";

mainwnd *record_of(const vel_window *self)
{
    return self ? static_cast<mainwnd *>(self->user) : nullptr;
}

void open_web(const wchar_t *host, const wchar_t *path)
{
    wchar_t url[256];
    std::swprintf(url, 256, L"http://%ls%ls", host, path);
    vel_util_open_url(url);
}

void fit_columns(mainwnd *mw)
{
    listview_adjust_columnsize(mw->windowlist);
    listview_adjust_columnsize(mw->friendlist);
}

void vsplitter_moved(mainwnd *mw, int d)
{
    mw->mdi_client->x += d;
    mw->vsplitter->x += d;
    mw->windowlist->w += d;
    mw->friendlist->w += d;
    mw->hsplitter->w += d;
    if (d <= 0)
        fit_columns(mw);
    vel_widget_adjust_placement(mw->mdi_client, TRUE);
    vel_widget_adjust_placement(mw->windowlist, FALSE);
    vel_widget_adjust_placement(mw->friendlist, FALSE);
    vel_widget_adjust_placement(mw->hsplitter, FALSE);
    vel_widget_adjust_placement(mw->vsplitter, TRUE);
    if (d >= 0)
        fit_columns(mw);
}

void hsplitter_moved(mainwnd *mw, int d)
{
    mw->hsplitter->y += d;
    mw->windowlist->h += d;
    mw->friendlist->y += d;
    if (d <= 0)
        fit_columns(mw);
    vel_widget_adjust_placement(mw->windowlist, FALSE);
    vel_widget_adjust_placement(mw->friendlist, FALSE);
    vel_widget_adjust_placement(mw->hsplitter, FALSE);
    if (d >= 0)
        fit_columns(mw);
}

int splitter_wndproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *)
{
    mainwnd *mw = self->parent ? record_of(self->parent) : nullptr;
    if (!mw)
        return VEL_CONTINUE;
    if (msg == VEL_WM_SPLITTER_MOVED) {
        if (self == mw->vsplitter)
            vsplitter_moved(mw, static_cast<int>(wp));
        else
            hsplitter_moved(mw, static_cast<int>(wp));
        return VEL_DEFAULT_AFTER;
    }
    if (msg == WM_LBUTTONDBLCLK && self == mw->vsplitter) {
        mainwnd_show_windowlist(mw, 0);
        return VEL_DEFAULT_AFTER;
    }
    return VEL_CONTINUE;
}

vel_widget *create_list(mainwnd *mw, vel_window *frame, DWORD extra_style, int x, int y, int w, int h, int anchors,
                        const wchar_t *heading, vel_wdgproc proc)
{
    const DWORD style = LVS_REPORT | LVS_SINGLESEL | LVS_SORTASCENDING | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS |
                        extra_style;
    vel_widget *list = vel_widget_create(mw, frame, 0, style, nullptr, x, y, w, h, anchors, nullptr, proc,
                                         VEL_LISTVIEW, nullptr);
    if (!list)
        return nullptr;
    // Each of these changes lays the list out anew (under Wine a dozen server round trips):
    // with drawing off it is laid out once, when drawing comes back on.
    vel_widget_setredraw(list, 0);
    vel_widget_create_and_set_font(list, 16, L"Arial", 700);
    vel_listview_setbkgndcolor(list, RGB(43, 103, 166));
    vel_listview_settextcolor(list, RGB(255, 255, 255));
    vel_listview_insertcolumn(list, 0, heading, w, LVCFMT_LEFT);
    vel_widget_setredraw(list, 1);
    return list;
}

void set_status_parts(mainwnd *mw, int width)
{
    if (!mw->statusbar)
        return;
    int edges[5] = {130, 260, width - 100, width - 60, -1};
    SendMessageW(mw->statusbar->hwnd, SB_SETPARTS, 5, reinterpret_cast<LPARAM>(edges));
}

void build_layout(mainwnd *mw, vel_window *frame)
{
    mw->frame = frame;
    mw->statusbar = vel_widget_create(mw, frame, 0, SBARS_SIZEGRIP, L".", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      VEL_STATUSBAR, nullptr);
    const int s = mw->statusbar ? mw->statusbar->h : 0;
    // The parts exist from the start, so the texts written before the first resize stay.
    RECT rc;
    GetClientRect(frame->hwnd, &rc);
    set_status_parts(mw, rc.right);
    HMENU window_menu = mw->menu ? GetSubMenu(mw->menu, 3) : nullptr;
    mw->mdi_client = vel_widget_create(mw, frame, WS_EX_CLIENTEDGE, WS_CLIPCHILDREN | MDIS_ALLCHILDSTYLES,
                                       reinterpret_cast<const wchar_t *>(window_menu), pane_width + 4, bar_height, 0,
                                       s, 15, nullptr, nullptr, VEL_MDICLIENT, nullptr);
    mw->vsplitter = vel_widget_create(mw, frame, 0, 0, nullptr, pane_width, bar_height, 4, s, 13, nullptr,
                                      splitter_wndproc, VEL_VSPLITTER, nullptr);
    if (mw->vsplitter) {
        mw->vsplitter->min_offset = -100;
        mw->vsplitter->max_offset = 100;
    }
    mw->windowlist = create_list(mw, frame, LVS_OWNERDRAWFIXED, 0, bar_height, pane_width, 150, 5, L"window name",
                                 windowlist_wndproc);
    if (mw->windowlist)
        mw->windowlist->draw_flags |= 1u;
    mw->friendlist = create_list(mw, frame, 0, 0, 181, pane_width, s, 13, L"friend name", friendlist_wndproc);
    mw->hsplitter = vel_widget_create(mw, frame, 0, 0, nullptr, 0, 177, pane_width, 4, 5, nullptr, splitter_wndproc,
                                      VEL_HSPLITTER, nullptr);
    if (mw->hsplitter) {
        mw->hsplitter->min_offset = -150;
        mw->hsplitter->max_offset = 300;
    }
}

void tick_dots(mainwnd *mw, int32_t *dots, int part, const wchar_t *stem)
{
    *dots = *dots >= dots_max ? 0 : *dots + 1;
    wchar_t text[32];
    int n = std::swprintf(text, 32, L"%ls", stem);
    for (int i = 0; i < *dots && n < 31; i++)
        text[n++] = L'.';
    text[n] = 0;
    mainwnd_set_status_text(mw, part, text);
}

void on_timer(mainwnd *mw, UINT_PTR id)
{
    switch (id) {
    case MAINWND_TIMER_CLOCK: {
        wchar_t text[16];
        std::swprintf(text, 16, L"@%03d", get_inettime());
        mainwnd_set_status_text(mw, 4, text);
        break;
    }
    case MAINWND_TIMER_LOGIN:
        tick_dots(mw, &mw->login_dots, 1, L"logging in..");
        break;
    case MAINWND_TIMER_CONNECT:
        tick_dots(mw, &mw->connect_dots, 0, L"connecting..");
        break;
    default:
        break;
    }
}

void check(HMENU menu, UINT id, bool on)
{
    CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// The frame's own commands; 1 when the command destroyed the frame.
int run_command(mainwnd *mw, UINT id)
{
    vel_window *frame = mw->frame;
    switch (id) {
    case IDC_FILE_EXIT: {
        // Closing may free the frame's record: only its handle is asked afterwards.
        HWND hwnd = frame->hwnd;
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        return vel_wnd_attached(hwnd, frame) ? 0 : 1;
    }
    case IDC_VIEW_WINDOWLIST:
        mainwnd_show_windowlist(mw, !(mw->flags & MAINWND_PANES_SHOWN));
        break;
    case IDC_VIEW_FULLSCREEN:
        vel_window_fullscreen(frame, !(frame->state & 1u));
        break;
    case IDC_VIEW_TRAY:
        mw->flags ^= MAINWND_MINIMIZE_TO_TRAY;
        break;
    case IDC_VIEW_ONTOP:
        mw->flags ^= MAINWND_ON_TOP;
        vel_window_ontop(frame, (mw->flags & MAINWND_ON_TOP) ? 1 : 0);
        break;
    case IDC_VIEW_CONSOLE:
        cfg_console = !cfg_console;
        if (cfg_console)
            vel_util_console_open();
        else
            vel_util_console_close();
        break;
    case IDC_WEB_CHAT:
        open_web(chat_host, L"/");
        break;
    case IDC_WEB_ALBUM:
        open_web(album_host, L"/");
        break;
    case IDC_WEB_ROOMPAGES:
        open_web(chat_host, L"/php/szobalapok/szobak.php");
        break;
    case IDC_WEB_WALLBOARD:
        open_web(wallboard_host, L"/php/faliujsag/faliujsag.php");
        break;
    case IDC_HELP_RULES:
        open_web(chat_host, L"/szabalyok.html");
        break;
    case IDC_WINDOW_CASCADE:
        vel_mdiframe_cascade(frame, 0);
        break;
    case IDC_WINDOW_TILE_VERTICAL:
        vel_mdiframe_tile_vertical(frame, 0);
        break;
    case IDC_WINDOW_TILE_HORIZONTAL:
        vel_mdiframe_tile_horizontal(frame, 0);
        break;
    case IDC_WINDOW_ARRANGE:
        vel_mdiframe_iconarrange(frame);
        break;
    default:
        if (id >= IDC_ACTIVATE_FIRST && id <= IDC_ACTIVATE_LAST)
            if (vel_window *child = mainwnd_get_child_at(mw, static_cast<int>(id - IDC_ACTIVATE_FIRST)))
                vel_mdichild_activate(child);
        break;
    }
    return 0;
}

// Keys of the key table that the frame only passes on to the active child.
bool is_child_key(UINT id)
{
    switch (id) {
    case IDC_HELP_KEYS: case IDC_TIMESTAMP: case IDC_GAME_SINGLE: case IDC_FLASH: case IDC_KEY_ALT_L:
    case IDC_KEY_CTRL_O: case IDC_KEY_ALT_P:
        return true;
    default:
        return false;
    }
}

bool is_frame_command(UINT id)
{
    switch (id) {
    case IDC_FILE_EXIT: case IDC_VIEW_WINDOWLIST: case IDC_VIEW_FULLSCREEN: case IDC_VIEW_TRAY:
    case IDC_VIEW_ONTOP: case IDC_VIEW_CONSOLE: case IDC_WEB_CHAT: case IDC_WEB_ALBUM: case IDC_WEB_ROOMPAGES:
    case IDC_WEB_WALLBOARD: case IDC_HELP_RULES: case IDC_WINDOW_CASCADE: case IDC_WINDOW_TILE_VERTICAL:
    case IDC_WINDOW_TILE_HORIZONTAL: case IDC_WINDOW_ARRANGE: case IDC_HELP_ABOUT:
        return true;
    default:
        return is_child_key(id) || (id >= IDC_ACTIVATE_FIRST && id <= IDC_ACTIVATE_LAST);
    }
}

int on_close(mainwnd *mw, LRESULT *result)
{
    if (cfg_confirm_exit &&
        vel_messagebox(mw->frame, L"Biztosan kilépsz?", L"Kilépés", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        *result = 0;
        return VEL_DONE;
    }
    LVC_SetQuit(1);
    // While connected the disconnection event ends the loop. Should the connection end on
    // its own meanwhile (the close finds no socket), the frame closes here instead of
    // waiting for an event that has already passed.
    if (LVC_IsConnected() && LVC_Close()) {
        *result = 0;
        return VEL_DONE;
    }
    return VEL_CONTINUE;
}

// The hidden tool window that owns the frame while it is in the tray. It is made the first
// time the frame goes there: a top-level window costs Wine an X window, and most sessions
// never use the tray.
vel_window *tray_owner(mainwnd *mw)
{
    if (!mw->tray_owner)
        mw->tray_owner = vel_window_create(mw, nullptr, nullptr, WS_EX_TOOLWINDOW, WS_POPUP, L"", 0, 0, 0, 0,
                                           nullptr, nullptr, nullptr);
    return mw->tray_owner;
}

void to_tray(mainwnd *mw)
{
    HWND hwnd = mw->frame->hwnd;
    vel_window *owner = tray_owner(mw);
    if (!owner)
        return;
    if (IsZoomed(hwnd))
        mw->flags |= MAINWND_WAS_MAXIMIZED;
    else
        mw->flags &= ~MAINWND_WAS_MAXIMIZED;
    // Owned by the hidden tool window, the frame has no taskbar button.
    SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner->hwnd));
    mainwnd_add_taskbar_icon(mw);
    ShowWindow(hwnd, SW_HIDE);
}

void from_tray(mainwnd *mw)
{
    HWND hwnd = mw->frame->hwnd;
    SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, 0);
    ShowWindow(hwnd, (mw->flags & MAINWND_WAS_MAXIMIZED) ? SW_MAXIMIZE : SW_SHOW);
    SetForegroundWindow(hwnd);
    mainwnd_remove_taskbar_icon(mw);
}

// The creation of a window asked for by another thread, run on the user-interface thread
// (vel_ui_run) while that thread waits.
struct mainwnd_creation {
    mainwnd *mw;
    WPARAM arg1;
    LPARAM arg2;
    Room *room;
    const mainwnd_msgbox_args *msgbox;
    void *made;
};

void create_privwnd_task(void *arg)
{
    auto *c = static_cast<mainwnd_creation *>(arg);
    // A window opened for another thread leaves the keyboard where the user was typing.
    HWND focus = GetFocus();
    c->made = c->mw->create_privwnd ? c->mw->create_privwnd(c->arg1, c->arg2) : nullptr;
    if (focus && IsWindow(focus))
        SetFocus(focus);
}

void create_chatwnd_task(void *arg)
{
    auto *c = static_cast<mainwnd_creation *>(arg);
    c->made = c->mw->create_chatwnd ? c->mw->create_chatwnd(c->room) : nullptr;
}

void create_msgbox_task(void *arg)
{
    auto *c = static_cast<mainwnd_creation *>(arg);
    c->made = c->mw->create_msgbox ? c->mw->create_msgbox(c->msgbox) : nullptr;
}

// The frame and its widgets go with the window; late calls (the children's own destroy
// handling, events still arriving) find nothing to change.
void forget_frame(mainwnd *mw)
{
    while (mw->childwindows)
        vel_list_del(&mw->childwindows, mw->childwindows->key);
    while (mw->dirty_children)
        vel_list_del(&mw->dirty_children, mw->dirty_children->key);
    mw->button_count = 0;
    mw->frame = nullptr;
    mw->mdi_client = mw->vsplitter = mw->hsplitter = nullptr;
    mw->windowlist = mw->friendlist = mw->statusbar = nullptr;
}

bool on_ui_thread()
{
    return GetCurrentThreadId() == vel_ui_thread;
}

// Runs a creation task on the user-interface thread; null when it could not run there.
void *create_on_ui_thread(vel_ui_task task, mainwnd_creation *c)
{
    return vel_ui_run(task, c) ? c->made : nullptr;
}

}  // namespace

int mainwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    mainwnd *mw = record_of(self);
    if (!mw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        build_layout(mw, self);
        return VEL_CONTINUE;
    case WM_SIZE:
        mainwnd_buttons_resize(mw);
        set_status_parts(mw, LOWORD(lp));
        return VEL_CONTINUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        vel_util_draw_hline(dc, 0, 0, rc.right, 1);
        EndPaint(hwnd, &ps);
        *result = 0;
        return VEL_DONE;
    }
    case WM_CLOSE:
        return on_close(mw, result);
    case WM_DESTROY:
        mainwnd_remove_taskbar_icon(mw);
        KillTimer(hwnd, MAINWND_TIMER_CLOCK);
        KillTimer(hwnd, MAINWND_TIMER_CONNECT);
        KillTimer(hwnd, MAINWND_TIMER_LOGIN);
        forget_frame(mw);
        return VEL_CONTINUE;
    case WM_ACTIVATE:
        // In the background again: the next unseen text may flash the frame.
        if (LOWORD(wp) == WA_INACTIVE)
            mw->flash_spent = 0;
        return VEL_CONTINUE;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE && (mw->flags & MAINWND_MINIMIZE_TO_TRAY)) {
            to_tray(mw);
            *result = 0;
            return VEL_DONE;
        }
        return VEL_CONTINUE;
    case MAINWND_WM_TRAY:
        if (lp == WM_LBUTTONUP)
            from_tray(mw);
        *result = 0;
        return VEL_DONE;
    case WM_TIMER:
        on_timer(mw, wp);
        *result = 0;
        return VEL_DONE;
    case WM_INITMENUPOPUP:
        if (mw->menu) {
            check(mw->menu, IDC_VIEW_WINDOWLIST, mw->flags & MAINWND_PANES_SHOWN);
            check(mw->menu, IDC_VIEW_FULLSCREEN, self->state & 1u);
            check(mw->menu, IDC_VIEW_TRAY, mw->flags & MAINWND_MINIMIZE_TO_TRAY);
            check(mw->menu, IDC_VIEW_ONTOP, mw->flags & MAINWND_ON_TOP);
            check(mw->menu, IDC_VIEW_CONSOLE, cfg_console != 0);
        }
        return VEL_CONTINUE;
    case WM_COMMAND: {
        const UINT id = LOWORD(wp);
        // A zoomed child's system menu sits on the frame's menu bar: picks from it ("time&stamp",
        // "&flash" and the like share their ids with keys) go on to the toolkit, which hands
        // them to the zoomed child.
        if (!is_frame_command(id) || (HIWORD(wp) == 0 && is_child_key(id)))
            return VEL_CONTINUE;
        if (run_command(mw, id))
            return VEL_DONE;
        // Accelerators meant for the chat windows (Alt+T and the like) reach the active child.
        if (HIWORD(wp) != 0 && IsWindow(hwnd) && self->active_child)
            SendMessageW(self->active_child->hwnd, WM_COMMAND, wp, lp);
        *result = 0;
        return VEL_DONE;
    }
    case VEL_WM_CHILDACTIVATE: {
        auto *child = reinterpret_cast<vel_window *>(wp);
        const int item = mainwnd_find_listitem(mw, child);
        if (item >= 0)
            vel_listview_redrawitems(mw->windowlist, item, item);
        if (vel_widget *button = mainwnd_get_button(mw, child))
            InvalidateRect(button->hwnd, nullptr, FALSE);
        return VEL_CONTINUE;
    }
    default:
        return VEL_CONTINUE;
    }
}

mainwnd *mainwnd_create()
{
    auto *mw = static_cast<mainwnd *>(std::calloc(1, sizeof(mainwnd)));
    if (!mw)
        return nullptr;
    main_frame = mw;
    mw->button_width = 90;
    if (cfg_on_top)
        mw->flags |= MAINWND_ON_TOP;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    mw->menu = LoadMenuW(inst, MAKEINTRESOURCEW(IDM_MAIN));
    vel_window *frame = vel_mdiframe_create(mw, nullptr, nullptr, (mw->flags & MAINWND_ON_TOP) ? WS_EX_TOPMOST : 0,
                                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, L":: lorvando cset ::",
                                            CW_USEDEFAULT, CW_USEDEFAULT, 600, 400, nullptr, mw->menu,
                                            mainwnd_wndproc);
    if (!frame || !mw->mdi_client) {
        if (frame)
            DestroyWindow(frame->hwnd);
        main_frame = nullptr;
        std::free(mw);
        return nullptr;
    }
    mw->frame = frame;
    mw->icon_frame = lvc_loadicon(IDI_FRAME);
    mw->icon_offline = lvc_loadicon(IDI_OFFLINE);
    vel_window_seticon(frame, mw->icon_frame, nullptr);
    mainwnd_set_not_connected(mw);
    frame->run_flags &= ~1u;
    if (cfg_minimize_to_tray)
        mw->flags |= MAINWND_MINIMIZE_TO_TRAY;
    mainwnd_show_windowlist(mw, cfg_windowlist);
    mainwnd_create_first_children(mw);
    mainwnd_set_bk_color(mw, cfg_bkcolor);
    mw->clock_timer = SetTimer(frame->hwnd, MAINWND_TIMER_CLOCK, 2000, nullptr);
    SendMessageW(frame->hwnd, WM_TIMER, MAINWND_TIMER_CLOCK, 0);
    ShowWindow(frame->hwnd, SW_SHOWNORMAL);
    listview_adjust_columnsize(mw->windowlist);
    if (mw->menu) {
        struct item_bitmap {
            UINT id;
            int bitmap;
        };
        static constexpr item_bitmap bitmaps[] = {
            {IDC_WEB_CHAT, IDB_WEB_CHAT}, {IDC_WEB_ALBUM, IDB_WEB_ALBUM}, {IDC_FILE_EXIT, IDB_EXIT},
            {IDC_WINDOW_CASCADE, IDB_CASCADE}, {IDC_WINDOW_TILE_HORIZONTAL, IDB_TILE_HORIZONTAL},
            {IDC_WINDOW_TILE_VERTICAL, IDB_TILE_VERTICAL}, {IDC_WINDOW_ARRANGE, IDB_ARRANGE},
        };
        for (const item_bitmap &b : bitmaps)
            if (HBITMAP bmp = LoadBitmapW(inst, MAKEINTRESOURCEW(b.bitmap)))
                SetMenuItemBitmaps(mw->menu, b.id, MF_BYCOMMAND, bmp, bmp);
    }
    return mw;
}

void mainwnd_show_windowlist(mainwnd *mw, int show)
{
    if (show)
        mw->flags |= MAINWND_PANES_SHOWN;
    else
        mw->flags &= ~MAINWND_PANES_SHOWN;
    mw->mdi_client->x = show ? mw->vsplitter->x + 4 : 0;
    vel_widget_adjust_placement(mw->mdi_client, TRUE);
    const int cmd = show ? SW_SHOW : SW_HIDE;
    vel_widget_show(mw->vsplitter, cmd);
    vel_widget_show(mw->windowlist, cmd);
    vel_widget_show(mw->friendlist, cmd);
    vel_widget_show(mw->hsplitter, cmd);
    fit_columns(mw);
}

void *mainwnd_create_privwnd(mainwnd *mw, WPARAM arg1, LPARAM arg2)
{
    if (on_ui_thread())
        return mw->create_privwnd ? mw->create_privwnd(arg1, arg2) : nullptr;
    mainwnd_creation c{mw, arg1, arg2, nullptr, nullptr, nullptr};
    return create_on_ui_thread(create_privwnd_task, &c);
}

void *mainwnd_create_chatwnd(mainwnd *mw, Room *room)
{
    mainwnd_creation c{mw, 0, 0, room, nullptr, nullptr};
    return create_on_ui_thread(create_chatwnd_task, &c);
}

void *mainwnd_create_msgbox(mainwnd *mw, const char *title, const char *text, int icon, int flag)
{
    const mainwnd_msgbox_args args{title, text, icon, flag};
    mainwnd_creation c{mw, 0, 0, nullptr, &args, nullptr};
    return create_on_ui_thread(create_msgbox_task, &c);
}

void *mainwnd_create_gamewnd(mainwnd *, int32_t, const char *, int, int)
{
    return nullptr;
}

void mainwnd_set_bk_color(mainwnd *mw, int32_t colour)
{
    if (!mw->mdi_client)
        return;
    const COLORREF c = colour == -1 ? GetSysColor(COLOR_APPWORKSPACE)
                                    : RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
    vel_widget_setbackground(mw->mdi_client, c);
}

void mainwnd_set_status_text(mainwnd *mw, int part, const wchar_t *text)
{
    if (mw && mw->statusbar)
        SendMessageW(mw->statusbar->hwnd, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void mainwnd_set_not_connected(mainwnd *mw)
{
    mainwnd_stop_connect_timer(mw);
    mainwnd_set_status_text(mw, 0, L"not connected.");
    mainwnd_set_not_logged_in(mw);
    mainwnd_set_taskbar_icon(mw, mw->icon_offline);
}

void mainwnd_set_not_logged_in(mainwnd *mw)
{
    mainwnd_stop_login_timer(mw);
    mainwnd_set_status_text(mw, 1, L"not logged in.");
}

void mainwnd_start_connect_timer(mainwnd *mw)
{
    if (!mw->frame)
        return;
    mw->connect_dots = 0;
    mw->connect_timer = SetTimer(mw->frame->hwnd, MAINWND_TIMER_CONNECT, 1000, nullptr);
}

void mainwnd_stop_connect_timer(mainwnd *mw)
{
    if (!mw->frame)
        return;
    KillTimer(mw->frame->hwnd, MAINWND_TIMER_CONNECT);
    mw->connect_timer = 0;
}

void mainwnd_start_login_timer(mainwnd *mw)
{
    if (!mw->frame)
        return;
    mw->login_dots = 0;
    mw->login_timer = SetTimer(mw->frame->hwnd, MAINWND_TIMER_LOGIN, 1000, nullptr);
}

void mainwnd_stop_login_timer(mainwnd *mw)
{
    if (!mw->frame)
        return;
    KillTimer(mw->frame->hwnd, MAINWND_TIMER_LOGIN);
    mw->login_timer = 0;
}

namespace {

NOTIFYICONDATAW tray_data(const mainwnd *mw, UINT flags)
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
    nid.hWnd = mw->frame->hwnd;
    nid.uID = tray_id;
    nid.uFlags = flags;
    return nid;
}

}  // namespace

void mainwnd_add_taskbar_icon(mainwnd *mw)
{
    NOTIFYICONDATAW nid = tray_data(mw, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    nid.uCallbackMessage = MAINWND_WM_TRAY;
    // Loaded when the frame first goes to the tray: most sessions never need it.
    if (!mw->icon_tray)
        mw->icon_tray = lvc_loadicon(IDI_TRAY);
    nid.hIcon = mw->icon_tray;
    std::wcsncpy(nid.szTip, L"lorvando chat", 63);
    vel_shell_notify_icon(NIM_ADD, &nid);
    mw->tray_icon = mw->icon_tray;
    mw->tray_shown = 1;
}

void mainwnd_remove_taskbar_icon(mainwnd *mw)
{
    if (!mw->frame)
        return;
    if (!mw->tray_shown)
        return;
    NOTIFYICONDATAW nid = tray_data(mw, 0);
    vel_shell_notify_icon(NIM_DELETE, &nid);
    mw->tray_shown = 0;
}

void mainwnd_set_taskbar_icon(mainwnd *mw, HICON icon)
{
    // Every line of a flashing room sets the same icon: only a new one reaches the shell.
    if (!mw->frame || icon == mw->tray_icon)
        return;
    mw->tray_icon = icon;
    if (!mw->tray_shown)
        return;
    NOTIFYICONDATAW nid = tray_data(mw, NIF_ICON);
    nid.hIcon = icon;
    vel_shell_notify_icon(NIM_MODIFY, &nid);
}
