// Private conversation windows: the registry of open conversations, the window with its
// menu, input line and conversation pane, notifications and the conversation log.
#include "ui/privwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "settings/util.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/richedit.h"
#include "toolkit/richedit2.h"
#include "toolkit/shell.h"
#include "toolkit/textbox.h"
#include "toolkit/uithread.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

vel_list_node *private_list;
privwnd_sound_fn privwnd_play_sound = privwnd_play_sound_file;
privwnd_send_fn privwnd_send = LVC_SendPrivateMessage;

namespace {

constexpr int input_height = 24;
constexpr int max_lines = 300;
// The longest typed line read from the input line, in characters.
constexpr size_t line_units = 16383;
// A private message from another thread, shown on the user-interface thread (vel_ui_run).
struct relay_args {
    mainwnd *main_frame;
    int32_t userid;
    const char *nick;
    const char *text;
    int kind;
    int notify;
};

vel_list_key private_key(int32_t userid)
{
    return static_cast<uint32_t>(userid);
}

bool on_ui_thread()
{
    return GetCurrentThreadId() == vel_ui_thread;
}

// Settings hold colours as 0xRRGGBB; the platform wants 0x00BBGGRR.
COLORREF colour_of(int32_t rrggbb)
{
    return RGB((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

std::u16string to_ucs2(const char *utf8)
{
    std::u16string out(std::strlen(utf8) + 1, u'\0');
    utf8_to_ucs2(out.data(), utf8);
    out.resize(std::char_traits<char16_t>::length(out.c_str()));
    return out;
}

const wchar_t *wide(const std::u16string &s)
{
    return reinterpret_cast<const wchar_t *>(s.c_str());
}

// Copies a UTF-8 nick into the record's field, cut at a character boundary.
void copy_nick(char *dst, size_t capacity, const char *nick)
{
    size_t n = std::strlen(nick);
    if (n > capacity - 1) {
        n = capacity - 1;
        while (n > 0 && (static_cast<unsigned char>(nick[n]) & 0xC0) == 0x80)
            n--;
    }
    std::memcpy(dst, nick, n);
    dst[n] = 0;
}

bool is_active_child(const privwnd *pw)
{
    return pw->wnd && pw->wnd->frame && pw->wnd->frame->active_child == pw->wnd;
}

void check(HMENU menu, UINT id, bool on)
{
    CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// The entries of menu 200 go to the top of the system menu, in their order.
void insert_menu(privwnd *pw)
{
    HMENU system = GetSystemMenu(pw->wnd->hwnd, FALSE);
    if (!pw->menu || !system)
        return;
    const int count = GetMenuItemCount(pw->menu);
    for (int i = 0; i < count; i++) {
        wchar_t text[64] = {};
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        mii.dwTypeData = text;
        mii.cch = 64;
        if (!GetMenuItemInfoW(pw->menu, static_cast<UINT>(i), TRUE, &mii))
            continue;
        mii.dwTypeData = text;
        InsertMenuItemW(system, static_cast<UINT>(i), TRUE, &mii);
    }
}

// The popups are menu 200's own: they leave the system menu before it goes with the
// window, so that each is destroyed once, with menu 200.
void release_menu(privwnd *pw, HWND hwnd)
{
    if (!pw->menu)
        return;
    if (HMENU system = GetSystemMenu(hwnd, FALSE)) {
        for (int i = GetMenuItemCount(system) - 1; i >= 0; i--) {
            HMENU sub = GetSubMenu(system, i);
            if (!sub)
                continue;
            for (int k = 0; k < GetMenuItemCount(pw->menu); k++) {
                if (GetSubMenu(pw->menu, k) == sub) {
                    RemoveMenu(system, static_cast<UINT>(i), MF_BYPOSITION);
                    break;
                }
            }
        }
    }
    DestroyMenu(pw->menu);
    pw->menu = nullptr;
}

int input_wndproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *pw = static_cast<privwnd *>(lorvaedit_get_userdata(self));
    if (!pw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CHAR: {
        if (wp != VK_RETURN)
            return VEL_CONTINUE;
        std::string line = childwnd_take_line(self, line_units + 1);
        privwnd_run_line(pw, line.data());
        *result = 0;
        return VEL_DONE;
    }
    case WM_MOUSEWHEEL:
        // The wheel scrolls the conversation while the caret is in the input line.
        if (pw->messages)
            *result = vel_widget_sendmessage(pw->messages, msg, wp, lp);
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

int build(privwnd *pw, vel_window *self)
{
    pw->wnd = self;
    pw->input = lorvaedit_create(pw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, L"", 0, 0, 0,
                                 input_height, VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM, nullptr,
                                 input_wndproc);
    pw->messages = vel_textbox_create(pw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | WS_VSCROLL, L"", 0, 0, 0,
                                      input_height,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM,
                                      nullptr, nullptr);
    if (!pw->input || !pw->messages)
        return 0;
    static_cast<vel_richedit2 *>(pw->input->ext)->paste_interval = cfg_play_delay;
    vel_richedit_setbkgndcolor(pw->input, RGB(255, 255, 255));
    vel_widget_create_and_set_font(pw->input, 16, L"Arial", 400);
    vel_textbox *box = vel_textbox_get(pw->messages);
    box->max_lines = max_lines;
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    box->options = VEL_TEXTBOX_WRAP | VEL_TEXTBOX_LIVE_LINKS;
    box->plain_colour = colour_of(cfg_privat_textcolor);
    box->colour_mode = 0;
    vel_widget_setbackground(pw->messages, colour_of(cfg_privat_bkcolor));
    vel_textbox_create_and_set_font(pw->messages, 16, L"Arial", 400);
    return 1;
}

int syscommand(privwnd *pw, WPARAM id)
{
    switch (id) {
    case IDC_TIMESTAMP:
        pw->flags ^= PRIVWND_TIMESTAMP;
        return 1;
    case IDC_COLOURS_OFF:
        if (vel_textbox *box = vel_textbox_get(pw->messages)) {
            box->colour_mode = box->colour_mode == 2 ? 0 : 2;
            vel_widget_refresh(pw->messages, TRUE);
        }
        return 1;
    case IDC_FLASH:
        pw->flags ^= PRIVWND_FLASH;
        return 1;
    case IDC_SOUND:
        pw->flags ^= PRIVWND_SOUND;
        return 1;
    case IDC_PRIVATE_IGNORE:
        ignore_user(pw->peer_id, is_user_ignored(pw->peer_id) ? 0 : 1);
        return 1;
    case IDC_PRIVATE_FRIEND:
        friend_user(pw->peer_id, is_user_friend(pw->peer_id) ? 0 : 1, pw->peer_nick);
        return 1;
    default:
        return 0;
    }
}

int privwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *pw = static_cast<privwnd *>(self->user);
    if (!pw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!build(pw, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_DESTROY:
        // However the window goes (closed, or with the frame), no registry entry, window
        // list entry or menu outlives it.
        if (private_get_entry(pw->peer_id) == pw)
            private_del_entry(pw->peer_id);
        if (pw->main_frame)
            mainwnd_del_childwindow(pw->main_frame, self);
        release_menu(pw, hwnd);
        log_close('p', pw->peer_id);
        self->user = nullptr;
        std::free(pw);
        return VEL_CONTINUE;
    case WM_SYSCOMMAND:
        if (!syscommand(pw, wp))
            return VEL_CONTINUE;
        *result = 0;
        return VEL_DONE;
    case WM_INITMENUPOPUP:
        if (HMENU system = GetSystemMenu(hwnd, FALSE)) {
            const vel_textbox *box = vel_textbox_get(pw->messages);
            check(system, IDC_TIMESTAMP, pw->flags & PRIVWND_TIMESTAMP);
            check(system, IDC_COLOURS_OFF, box && box->colour_mode == 2);
            check(system, IDC_FLASH, pw->flags & PRIVWND_FLASH);
            check(system, IDC_SOUND, pw->flags & PRIVWND_SOUND);
            check(system, IDC_PRIVATE_FRIEND, is_user_friend(pw->peer_id));
            check(system, IDC_PRIVATE_IGNORE, is_user_ignored(pw->peer_id));
        }
        return VEL_CONTINUE;
    case WM_MDIACTIVATE:
        // An activated conversation is typed into at once.
        if (reinterpret_cast<HWND>(lp) == hwnd && pw->input)
            vel_widget_setfocus(pw->input);
        break;
    default:
        break;
    }
    const childwnd_common common{pw->main_frame, pw->winlist_entry, pw->input, CHILDWND_CLOSE_LEAVES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

// A conversation that opens by itself leaves the window the user types in active, with
// the keyboard: the new window comes up in front of the others without activation, so
// that keys such as Alt+T act where the user types, and its first message counts as
// unseen (marked, and sounded).
privwnd *open_in_background(mainwnd *main_frame, int32_t userid, const char *nick)
{
    HWND focus = GetFocus();
    vel_window *active = main_frame->frame ? main_frame->frame->active_child : nullptr;
    privwnd *pw = private_add_entry(main_frame, userid, nick);
    if (pw && pw->wnd && active && active != pw->wnd) {
        vel_mdichild_activate(active);
        SetWindowPos(pw->wnd->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (focus && IsWindow(focus) && GetFocus() != focus)
        SetFocus(focus);
    return pw;
}

void relay_message(void *arg)
{
    const auto *a = static_cast<const relay_args *>(arg);
    private_private_message(a->main_frame, a->userid, a->nick, a->text, a->kind, a->notify);
}

void relay_broadcast(void *text)
{
    private_broadcast_msg(static_cast<const char *>(text));
}

}  // namespace

privwnd *private_get_entry(int32_t userid)
{
    return static_cast<privwnd *>(vel_list_get(private_list, private_key(userid)));
}

void private_del_entry(int32_t userid)
{
    vel_list_del(&private_list, private_key(userid));
}

privwnd *private_add_entry(mainwnd *main_frame, int32_t userid, const char *nick)
{
    if (!main_frame)
        return nullptr;
    auto *pw = static_cast<privwnd *>(mainwnd_create_privwnd(
        main_frame, static_cast<WPARAM>(static_cast<uint32_t>(userid)), reinterpret_cast<LPARAM>(nick ? nick : "")));
    if (pw)
        vel_list_add(&private_list, private_key(userid), pw);
    return pw;
}

privwnd *private_add_private(mainwnd *main_frame, int32_t userid, const char *nick)
{
    privwnd *pw = private_get_entry(userid);
    if (!pw)
        pw = private_add_entry(main_frame, userid, nick);
    if (!pw)
        return nullptr;
    vel_mdichild_activate(pw->wnd);
    if (pw->input)
        vel_widget_setfocus(pw->input);
    return pw;
}

void private_private_message(mainwnd *main_frame, int32_t userid, const char *nick, const char *text, int kind,
                             int notify)
{
    if (!on_ui_thread()) {
        // The registry and the windows are the user-interface thread's: the call is
        // carried over and waits there, so calls keep their order.
        relay_args args{main_frame, userid, nick, text, kind, notify};
        vel_ui_run(relay_message, &args);
        return;
    }
    if (is_user_ignored(userid))
        return;
    privwnd *pw = private_get_entry(userid);
    if (!pw)
        pw = open_in_background(main_frame, userid, nick);
    if (pw)
        privwnd_new_message(pw, kind, text, notify);
}

void private_broadcast_msg(const char *text)
{
    if (!text)
        return;
    if (!on_ui_thread()) {
        vel_ui_run(relay_broadcast, const_cast<char *>(text));
        return;
    }
    const vel_list_node *head = private_list;
    if (!head)
        return;
    const vel_list_node *node = head;
    do {
        privwnd_add_line(static_cast<privwnd *>(node->data), text);
        node = node->next;
    } while (node != head);
}

privwnd *privwnd_create(mainwnd *main_frame, int32_t userid, const char *nick)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    auto *pw = static_cast<privwnd *>(std::calloc(1, sizeof(privwnd)));
    if (!pw)
        return nullptr;
    pw->peer_id = userid;
    copy_nick(pw->peer_nick, sizeof pw->peer_nick, nick ? nick : "");
    pw->main_frame = main_frame;
    pw->flags = (cfg_privat_flash ? PRIVWND_FLASH : 0u) | (cfg_privat_sound ? PRIVWND_SOUND : 0u) |
                (cfg_privat_timestamp ? PRIVWND_TIMESTAMP : 0u);
    pw->icon = lvc_loadicon(IDI_PRIVATE);
    pw->menu = LoadMenuW(vel_instance ? vel_instance : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_PRIVATE));
    const std::u16string nick_text = to_ucs2(pw->peer_nick);
    const std::wstring caption = std::wstring(wide(nick_text)) + L" [" + std::to_wstring(userid) + L"]";
    vel_window *wnd = vel_mdichild_create(pw, pw->icon, pw->icon, WS_OVERLAPPEDWINDOW | WS_VISIBLE, caption.c_str(),
                                          CW_USEDEFAULT, CW_USEDEFAULT, 300, 200, main_frame->frame, privwnd_wndproc);
    if (!wnd) {
        // A refused window hands its record back: it is freed here, once.
        if (pw->menu)
            DestroyMenu(pw->menu);
        std::free(pw);
        return nullptr;
    }
    pw->wnd = wnd;
    insert_menu(pw);
    pw->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_PRIVATE, wide(nick_text),
                                                wide(nick_text));
    if (cfg_privat_log)
        log_debug('p', userid, L"[%s]\n", wide(nick_text));
    char date[64];
    privwnd_add_line(pw, get_date_string(date, sizeof date));
    return pw;
}

void privwnd_add_line(privwnd *pw, const char *line)
{
    if (!pw || !line)
        return;
    const size_t n = std::strlen(line);
    std::vector<char16_t> text(n + 1);
    std::vector<uint32_t> colours(n + 1);
    LVC_CStringParserW(text.data(), colours.data(), line, colour_of(cfg_privat_textcolor));
    static_assert(sizeof(COLORREF) == sizeof(uint32_t));
    if (pw->messages)
        vel_textbox_add_line_c(pw->messages, reinterpret_cast<const wchar_t *>(text.data()),
                               reinterpret_cast<const COLORREF *>(colours.data()), 0, 0);
    if (cfg_privat_log)
        log_debug('p', pw->peer_id, L"%s\n", reinterpret_cast<const wchar_t *>(text.data()));
}

void privwnd_new_message(privwnd *pw, int kind, const char *text, int notify)
{
    if (!pw)
        return;
    char stamp[LVC_STAMP_SIZE];
    LVC_FormatTimeStamp(stamp, (pw->flags & PRIVWND_TIMESTAMP) ? 1 : 0, nullptr);
    auto line = std::make_unique_for_overwrite<char[]>(LVC_LINE_SIZE);
    LVC_FormatPrivateMessage(line.get(), kind, pw->peer_id, pw->peer_nick, text ? text : "", stamp);
    privwnd_add_line(pw, line.get());
    if (!notify || !pw->main_frame)
        return;
    if (pw->flags & PRIVWND_FLASH)
        mainwnd_set_taskbar_icon(pw->main_frame, pw->icon);
    if ((pw->flags & PRIVWND_SOUND) && !is_active_child(pw) && cfg_privat_soundfile && *cfg_privat_soundfile &&
        privwnd_play_sound) {
        const size_t cap = std::strlen(cfg_privat_soundfile) + 1;
        std::vector<char16_t> file(cap);
        codepage_to_ucs2(file.data(), cap, cfg_privat_soundfile);
        privwnd_play_sound(reinterpret_cast<const wchar_t *>(file.data()));
    }
    mainwnd_set_dirty_flag(pw->main_frame, pw->wnd, 1, (pw->flags & PRIVWND_FLASH) ? 1 : 0);
}

namespace {

// Sends one message; a text too long for one packet goes out cut, and the user is told
// once, here (its echo shows what the peer got).
void send_text(privwnd *pw, int kind, const char *text)
{
    const int sent = privwnd_send(kind, pw->peer_id, text);
    if (sent > 0 && std::strlen(text) > static_cast<size_t>(sent))
        privwnd_add_line(pw, "$red$$$ hiba: túl hosszú üzenet, csak az eleje ment el.");
}

}  // namespace

void privwnd_run_line(privwnd *pw, char *line)
{
    if (!pw || !line || !privwnd_send)
        return;
    char *arg = nullptr;
    if (parse_commandline(line, &arg) < 0) {
        send_text(pw, 3, line[0] == '/' ? line + 1 : line);
        return;
    }
    const char *word = line + 1;
    if (command_word_is(word, "me")) {
        send_text(pw, 2, arg);
    } else if (command_word_is(word, "raw")) {
        char *rest = arg;
        // Unsigned and 64 bits wide, so that the low byte of a negative or large number
        // is its own, not a clamped value's.
        const unsigned long long kind = std::strtoull(arg, &rest, 0);
        if (*rest)
            rest++;
        send_text(pw, static_cast<int>(kind & 0xFF), rest);
    }
}

void *privwnd_creator(WPARAM arg1, LPARAM arg2)
{
    return privwnd_create(main_frame, static_cast<int32_t>(static_cast<uint32_t>(arg1)),
                          reinterpret_cast<const char *>(arg2));
}

void privwnd_attach(mainwnd *mw)
{
    if (!mw)
        return;
    mw->create_privwnd = privwnd_creator;
}

int privwnd_play_sound_file(const wchar_t *file)
{
    // SND_NOSTOP leaves a sound that still plays alone and plays nothing instead.
    return vel_play_sound(file, nullptr, SND_ASYNC | SND_NOSTOP | SND_FILENAME | SND_NODEFAULT) ? 1 : 0;
}
