// The room window's input line: a typed line goes to the room as a message, unless it is
// one of the room commands.
#include "ui/chatwnd.h"

#include "protocol/lvc6b.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "text/string.h"
#include "toolkit/richedit.h"
#include "toolkit/richedit2.h"
#include "toolkit/widget.h"
#include "ui/childwnd.h"

#include <string>
#include <string_view>

namespace {

using chatwnd_command_handler = void (*)(chatwnd *cw, int has_arg, char *arg);

struct chatwnd_command {
    const char *name;
    chatwnd_command_handler handler;
};

constexpr int input_height = 24;
// The heart greeting: the action-message mark 0x01, U+2665 in UTF-8 and a blank.
constexpr char greeting[] = "\x01\xE2\x99\xA5 ";

void usage(chatwnd *cw, const char *text)
{
    chatwnd_new_message(cw, 4, "", "", "", text, nullptr, 0);
}

void cmd_whereis(chatwnd *cw, int has_arg, char *arg)
{
    if (!has_arg)
        usage(cw, "/whereis user");
    else
        LVC_Ask_(14, cw->room_id, arg);
}

void cmd_info(chatwnd *cw, int has_arg, char *arg)
{
    if (!has_arg)
        usage(cw, "/info user");
    else
        LVC_Ask_(20, cw->room_id, arg);
}

void cmd_topic(chatwnd *cw, int has_arg, char *arg)
{
    if (!has_arg)
        usage(cw, "/topic uj tema");
    else
        LVC_ChangeTheme(cw->room_id, arg);
}

void cmd_me(chatwnd *cw, int has_arg, char *arg)
{
    LVC_SendMessage(7, cw->room_id, "", has_arg ? arg : "");
}

// Defined after the table whose names it lists.
void cmd_help(chatwnd *cw, int, char *);

void cmd_prefix(chatwnd *, int has_arg, char *arg)
{
    config_set_string(&cfg_szoba_prefix, has_arg ? arg : "");
}

void cmd_leave(chatwnd *cw, int, char *)
{
    if (cw->wnd)
        PostMessageW(cw->wnd->hwnd, WM_CLOSE, 0, 0);
}

constexpr chatwnd_command chatwnd_commands[] = {
    {"whereis", cmd_whereis}, {"info", cmd_info},  {"topic", cmd_topic},   {"me", cmd_me},
    {"love", chatwnd_cmd_love}, {"help", cmd_help}, {"prefix", cmd_prefix}, {"leave", cmd_leave},
};

void cmd_help(chatwnd *cw, int, char *)
{
    std::string line = "ismert parancsok:";
    for (const chatwnd_command &c : chatwnd_commands) {
        line += ' ';
        line += c.name;
    }
    usage(cw, line.c_str());
}

int input_wdgproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *cw = static_cast<chatwnd *>(lorvaedit_get_userdata(self));
    if (!cw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CHAR:
        if (wp != VK_RETURN)
            return VEL_CONTINUE;
        chatwnd_submit(cw);
        *result = 0;
        return VEL_DONE;
    case WM_MOUSEWHEEL:
        // The wheel scrolls the messages while the caret stays here.
        if (cw->messages)
            *result = vel_widget_sendmessage(cw->messages, msg, wp, lp);
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

}  // namespace

void chatwnd_cmd_love(chatwnd *cw, int has_arg, char *arg)
{
    std::string text = greeting;
    if (has_arg && arg)
        text += arg;
    LVC_SendMessage(7, cw->room_id, "", text.c_str());
}

vel_widget *chatwnd_input_create(chatwnd *cw, vel_window *parent)
{
    vel_widget *input = lorvaedit_create(cw, parent, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, L"", 0,
                                         0, 0, input_height, VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_BOTTOM,
                                         nullptr, input_wdgproc);
    if (!input)
        return nullptr;
    static_cast<vel_richedit2 *>(input->ext)->paste_interval = cfg_play_delay;
    wchar_t face[LF_FACESIZE];
    int height = 0, weight = 0;
    parse_font_string(cfg_szoba_font ? cfg_szoba_font : "", face, LF_FACESIZE, &height, &weight);
    vel_richedit_setbkgndcolor(input, RGB(255, 255, 255));
    vel_widget_create_and_set_font(input, height, face, weight);
    vel_richedit_set_text_color(input, RGB(0, 0, 0));
    return input;
}

void chatwnd_run_line(chatwnd *cw, char *line)
{
    char *arg = nullptr;
    const int kind = parse_commandline(line, &arg);
    if (kind < 0) {
        // "//text" sends "/text".
        const char *text = line[0] == '/' ? line + 1 : line;
        LVC_SendMessage(2, cw->room_id, cfg_szoba_prefix ? cfg_szoba_prefix : "", text);
        return;
    }
    const std::string_view word(line + 1);
    for (const chatwnd_command &c : chatwnd_commands) {
        if (command_word_is(word, c.name)) {
            c.handler(cw, kind, arg);
            return;
        }
    }
    chatwnd_add_line(cw, "$red$- ismeretlen parancs!", 0);
}

void chatwnd_submit(chatwnd *cw)
{
    if (!cw || !cw->input)
        return;
    std::string line = childwnd_take_line(cw->input, CHATWND_INPUT_SIZE);
    chatwnd_run_line(cw, line.data());
}
