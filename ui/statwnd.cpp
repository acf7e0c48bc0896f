#include "ui/statwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "settings/util.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/richedit.h"
#include "toolkit/richedit2.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

void (*statwnd_abort_handler)() = nullptr;

namespace {

using statwnd_command_handler = void (*)(statwnd *sw, int has_arg, char *arg);

struct statwnd_command {
    const char *name;
    statwnd_command_handler handler;
};

constexpr uint16_t default_proxy_port = 8080;
constexpr int input_height = 24;

// Splits "host:port" at the first colon; the port is read like atoi and kept to 16 bits,
// as the protocol client takes it.
void statwnd_split_address(std::string_view text, std::string *host, uint16_t *port, uint16_t default_port)
{
    size_t colon = text.find(':');
    *host = std::string(text.substr(0, colon));
    *port = colon == std::string_view::npos
                ? default_port
                : static_cast<uint16_t>(std::atoi(std::string(text.substr(colon + 1)).c_str()));
}

void cmd_server(statwnd *sw, int has_arg, char *arg)
{
    // A copy first: the argument may be the setting's own text, which is replaced below.
    std::string text = has_arg ? arg : (cfg_server ? cfg_server : "");
    if (text.find(':') == std::string::npos) {
        statwnd_add_msg(sw, "$red$- hiba! pl.: /server %s", CONFIG_DEFAULT_SERVER);
        return;
    }
    config_set_string(&cfg_server, text.c_str());
    std::string host;
    uint16_t port;
    statwnd_split_address(text, &host, &port, 0);
    if (sw->main_frame)
        mainwnd_start_connect_timer(sw->main_frame);
    std::string proxy_host;
    uint16_t proxy_port;
    statwnd_split_address(cfg_proxy_server ? cfg_proxy_server : "", &proxy_host, &proxy_port, default_proxy_port);
    LVC_Connect(host.c_str(), port, cfg_proxy_type, proxy_host.c_str(), proxy_port);
}

void cmd_login(statwnd *sw, int has_arg, char *arg)
{
    if (!statwnd_connection_check(sw))
        return;
    int state = LVC_GetLoginState();
    if (state == 1) {
        statwnd_add_msg(sw, "$red$- error! login process is already in progress.");
        return;
    }
    if (state == 2) {
        statwnd_add_msg(sw, "$red$- error! already logged in.");
        return;
    }
    if (has_arg)
        config_set_string(&cfg_login, arg);
    // Without an argument and without a stored login the nick is empty.
    std::string_view login = cfg_login ? cfg_login : "";
    size_t dollar = login.find('$');
    std::string nick(login.substr(0, dollar));
    std::string password(dollar == std::string_view::npos ? std::string_view() : login.substr(dollar + 1));
    if (sw->main_frame)
        mainwnd_start_login_timer(sw->main_frame);
    LVC_RegisterNick(nick.c_str(), password.c_str());
}

void cmd_getnick(statwnd *sw, int has_arg, char *arg)
{
    if (!statwnd_connection_check(sw) || !statwnd_login_check(sw))
        return;
    if (!has_arg) {
        statwnd_add_msg(sw, "$red$- hiba! pl.: /getnick 987654321");
        return;
    }
    LVC_GetNickByID(std::atoi(arg));
}

void cmd_msg(statwnd *sw, int has_arg, char *arg)
{
    if (!statwnd_connection_check(sw) || !statwnd_login_check(sw))
        return;
    if (!has_arg) {
        statwnd_add_msg(sw, "$red$- hiba! pl.: /msg 12345 hello");
        return;
    }
    char *blank = std::strchr(arg, ' ');
    const char *text = "";
    if (blank) {
        *blank = 0;
        text = blank + 1;
    }
    LVC_SendPrivateMessage(3, std::atoi(arg), text);
}

// Defined after the table whose names it lists.
void cmd_help(statwnd *sw, int, char *);

void cmd_prefix(statwnd *, int has_arg, char *arg)
{
    config_set_string(&cfg_szoba_prefix, has_arg ? arg : "");
}

void cmd_exit(statwnd *sw, int, char *)
{
    if (sw->main_frame && sw->main_frame->frame)
        PostMessageW(sw->main_frame->frame->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void cmd_abort(statwnd *, int, char *)
{
    if (statwnd_abort_handler)
        statwnd_abort_handler();
    ExitProcess(1);
}

void cmd_friends(statwnd *sw, int, char *)
{
    if (!statwnd_connection_check(sw) || !statwnd_login_check(sw))
        return;
    const vel_list_node *head = friends_list;
    if (!head)
        return;
    const vel_list_node *node = head;
    do {
        statwnd_add_msg(sw, "- checking: %s", static_cast<const char *>(node->data));
        LVC_GetNickByID(static_cast<int32_t>(node->key));
        node = node->next;
    } while (node != head);
}

void cmd_uptime(statwnd *sw, int, char *)
{
    if (!statwnd_connection_check(sw))
        return;
    statwnd_write_uptime(sw, static_cast<unsigned>(LVC_GetUptime()));
}

constexpr statwnd_command statwnd_commands[] = {
    {"server", cmd_server}, {"login", cmd_login},   {"getnick", cmd_getnick}, {"msg", cmd_msg},
    {"help", cmd_help},     {"prefix", cmd_prefix}, {"exit", cmd_exit},       {"abort", cmd_abort},
    {"friends", cmd_friends}, {"uptime", cmd_uptime},
};

void cmd_help(statwnd *sw, int, char *)
{
    std::string names;
    for (const statwnd_command &c : statwnd_commands) {
        names += ' ';
        names += c.name;
    }
    statwnd_add_msg(sw, "- ismert parancsok:%s", names.c_str());
}

HMENU statwnd_view_menu(const statwnd *sw)
{
    return sw->menu ? GetSubMenu(sw->menu, 0) : nullptr;
}

// The view popup belongs to menu 205; it is taken out of the system menu before the
// window goes, so that it is destroyed once, with its own menu.
void statwnd_detach_view_menu(statwnd *sw, HWND hwnd)
{
    HMENU view = statwnd_view_menu(sw);
    HMENU system = GetSystemMenu(hwnd, FALSE);
    if (!view || !system)
        return;
    int count = GetMenuItemCount(system);
    for (int i = 0; i < count; i++) {
        if (GetSubMenu(system, i) == view) {
            RemoveMenu(system, static_cast<UINT>(i), MF_BYPOSITION);
            // The separator that followed it.
            RemoveMenu(system, static_cast<UINT>(i), MF_BYPOSITION);
            break;
        }
    }
}

int edit_wndproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *edit = static_cast<vel_richedit2 *>(self->ext);
    auto *sw = edit ? static_cast<statwnd *>(edit->user) : nullptr;
    if (!sw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CHAR:
        if (wp != VK_RETURN)
            return VEL_CONTINUE;
        {
            std::string line = childwnd_take_line(self, STATWND_LINE_SIZE);
            // Cut to the command buffer, never inside a character.
            if (line.size() > STATWND_LINE_SIZE - 1) {
                size_t cut = STATWND_LINE_SIZE - 1;
                while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
                    cut--;
                line.resize(cut);
            }
            statwnd_run_line(sw, line.data());
        }
        *result = 0;
        return VEL_DONE;
    case WM_MOUSEWHEEL:
        // The wheel scrolls the lines while the caret is in the input line.
        if (sw->textbox)
            *result = vel_widget_sendmessage(sw->textbox, msg, wp, lp);
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

int statwnd_build(statwnd *sw, vel_window *self)
{
    sw->wnd = self;
    sw->edit = vel_richedit2_create(sw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, L"", 0, 0, 0,
                                    input_height, VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM, nullptr,
                                    edit_wndproc);
    sw->textbox = vel_textbox_create(sw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | WS_VSCROLL, L"", 0, 0, 0,
                                     input_height,
                                     VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM, nullptr,
                                     nullptr);
    if (!sw->edit || !sw->textbox)
        return 0;
    static_cast<vel_richedit2 *>(sw->edit->ext)->paste_interval = cfg_play_delay;
    wchar_t face[LF_FACESIZE];
    int height = 0, weight = 0;
    parse_font_string(cfg_status_font ? cfg_status_font : "", face, LF_FACESIZE, &height, &weight);
    height = statwnd_font_height(height);
    vel_richedit_setbkgndcolor(sw->edit, RGB(255, 255, 255));
    vel_widget_create_and_set_font(sw->edit, height, face, weight);
    vel_richedit_set_text_color(sw->edit, RGB(0, 0, 0));
    vel_textbox *box = vel_textbox_get(sw->textbox);
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    box->options = VEL_TEXTBOX_WRAP | VEL_TEXTBOX_LIVE_LINKS;
    box->plain_colour = RGB(0, 0, 0);
    box->colour_mode = 0;
    vel_widget_setbackground(sw->textbox, RGB(255, 255, 255));
    vel_textbox_create_and_set_font(sw->textbox, height, face, weight);
    return 1;
}

}  // namespace

int statwnd_font_height(int configured)
{
    // The default setting ("Courier,7,500") names a bitmap face that Windows cannot draw
    // smaller than 13 pixels; where Courier is a scalable face (Wine, font substitutes) the
    // 7 pixels asked for are unreadable. Heights of 0 and below (the face's own default,
    // character heights) are the font mapper's to choose.
    constexpr int smallest = 13;
    return configured > 0 && configured < smallest ? smallest : configured;
}

void statwnd_run_line(statwnd *sw, char *line)
{
    char *arg = nullptr;
    int kind = parse_commandline(line, &arg);
    if (kind < 0)
        return;
    std::string_view word(line + 1);
    for (const statwnd_command &c : statwnd_commands) {
        if (command_word_is(word, c.name)) {
            c.handler(sw, kind, arg);
            return;
        }
    }
    statwnd_add_msg(sw, "$red$- ismeretlen parancs!");
}

int statwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *sw = static_cast<statwnd *>(self->user);
    if (!sw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!statwnd_build(sw, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_DESTROY:
        statwnd_detach_view_menu(sw, hwnd);
        if (sw->menu)
            DestroyMenu(sw->menu);
        if (status_window == sw)
            status_window = nullptr;
        if (sw->main_frame && sw->main_frame->statwnd == sw)
            sw->main_frame->statwnd = nullptr;
        self->user = nullptr;
        std::free(sw);
        return VEL_CONTINUE;
    case WM_SYSCOMMAND:
        if (wp == IDC_TIMESTAMP) {
            sw->flags ^= STATWND_TIMESTAMP;
            *result = 0;
            return VEL_DONE;
        }
        if (wp == IDC_COLOURS_OFF) {
            if (vel_textbox *box = vel_textbox_get(sw->textbox)) {
                box->colour_mode = box->colour_mode == 2 ? 0 : 2;
                vel_widget_refresh(sw->textbox, TRUE);
            }
            *result = 0;
            return VEL_DONE;
        }
        return VEL_CONTINUE;
    case WM_INITMENUPOPUP:
        if (HMENU view = statwnd_view_menu(sw)) {
            const vel_textbox *box = vel_textbox_get(sw->textbox);
            CheckMenuItem(view, IDC_TIMESTAMP,
                          MF_BYCOMMAND | ((sw->flags & STATWND_TIMESTAMP) ? MF_CHECKED : MF_UNCHECKED));
            CheckMenuItem(view, IDC_COLOURS_OFF,
                          MF_BYCOMMAND | (box && box->colour_mode == 2 ? MF_CHECKED : MF_UNCHECKED));
        }
        return VEL_CONTINUE;
    case STATWND_WM_DIRTY:
        if (sw->main_frame)
            mainwnd_set_dirty_flag(sw->main_frame, self, 1, 0);
        *result = 0;
        return VEL_DONE;
    default: {
        // The status window lives as long as the program: closing it only minimises.
        const childwnd_common common{sw->main_frame, sw->winlist_entry, sw->edit, CHILDWND_CLOSE_MINIMISES};
        return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
    }
    }
}

statwnd *statwnd_create(mainwnd *main_frame)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    auto *sw = static_cast<statwnd *>(std::calloc(1, sizeof(statwnd)));
    if (!sw)
        return nullptr;
    sw->main_frame = main_frame;
    HICON icon = lvc_loadicon(IDI_STATUS);
    sw->menu = LoadMenuW(vel_instance ? vel_instance : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_STATUS));
    sw->flags = static_cast<uint32_t>(cfg_status_timestamp) & STATWND_TIMESTAMP;
    vel_window *wnd = vel_mdichild_create(sw, icon, icon, 0x10CF0000, L"status", CW_USEDEFAULT, CW_USEDEFAULT, 450,
                                          270, main_frame->frame, statwnd_wndproc);
    if (!wnd) {
        // A refused window hands its record back: it is freed here, once.
        if (sw->menu)
            DestroyMenu(sw->menu);
        std::free(sw);
        return nullptr;
    }
    sw->wnd = wnd;
    if (HMENU view = statwnd_view_menu(sw)) {
        HMENU system = GetSystemMenu(wnd->hwnd, FALSE);
        InsertMenuW(system, 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(view), L"&view");
        InsertMenuW(system, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    }
    sw->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_STATUS, L"status", L"status");
    return sw;
}

void statwnd_add_msg(statwnd *sw, const char *format, ...)
{
    if (!sw || !sw->textbox || !format)
        return;
    char stamp[LVC_STAMP_SIZE];
    LVC_FormatTimeStamp(stamp, static_cast<int>(sw->flags & STATWND_TIMESTAMP), nullptr);
    std::string joined = std::string(stamp) + format;
    char line[STATWND_MSG_SIZE];
    va_list args;
    va_start(args, format);
    // wvsprintfA writes at most 1024 bytes with the terminator.
    int n = wvsprintfA(line, joined.c_str(), args);
    va_end(args);
    if (n < 0)
        return;
    line[STATWND_MSG_SIZE - 1] = 0;
    char16_t text[STATWND_MSG_SIZE];
    uint32_t colours[STATWND_MSG_SIZE];
    LVC_CStringParserW(text, colours, line, 0);
    static_assert(sizeof(COLORREF) == sizeof(uint32_t));
    vel_textbox_add_line_c(sw->textbox, reinterpret_cast<const wchar_t *>(text),
                           reinterpret_cast<const COLORREF *>(colours), 0, 0);
    if (!sw->main_frame)
        return;
    HWND hwnd = sw->wnd ? sw->wnd->hwnd : nullptr;
    if (!hwnd)
        return;
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
        mainwnd_set_dirty_flag(sw->main_frame, sw->wnd, 1, 0);
    else
        PostMessageW(hwnd, STATWND_WM_DIRTY, 0, 0);
}

void statwnd_inject(statwnd *sw, const char *command)
{
    if (!sw || !sw->edit || !command)
        return;
    auto wide = std::make_unique<char16_t[]>(STATWND_LINE_SIZE);
    codepage_to_ucs2(wide.get(), STATWND_LINE_SIZE, command);
    vel_widget_settext(sw->edit, reinterpret_cast<const wchar_t *>(wide.get()));
    SendMessageW(sw->edit->hwnd, WM_CHAR, VK_RETURN, 0);
}

void statwnd_write_uptime(statwnd *sw, unsigned seconds)
{
    unsigned rest = seconds % 86400;
    statwnd_add_msg(sw, "- uptime: %dd %02d h %02d m %02d s", static_cast<int>(seconds / 86400),
                    static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60), static_cast<int>(seconds % 60));
}

int statwnd_connection_check(statwnd *sw)
{
    if (LVC_IsConnected())
        return 1;
    statwnd_add_msg(sw, "$red$- error! not connected.");
    return 0;
}

int statwnd_login_check(statwnd *sw)
{
    if (LVC_GetLoginState() == 2)
        return 1;
    statwnd_add_msg(sw, "$red$- error! not logged in.");
    return 0;
}
