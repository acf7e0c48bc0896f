#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "protocol/lvc6b.h"

namespace {

struct cli_args {
    const cli_options &opt;
    bool has_arg;
    std::string arg;
};

bool connection_check()
{
    if (LVC_IsConnected())
        return true;
    cli_status("$red$- error! not connected.");
    return false;
}

bool login_check()
{
    if (!connection_check())
        return false;
    if (LVC_GetLoginState() == 2)
        return true;
    cli_status("$red$- error! not logged in.");
    return false;
}

// "id rest": the id read like atoi, the rest after the first blank (empty without one).
int32_t split_id(const std::string &arg, std::string *rest)
{
    size_t blank = arg.find(' ');
    *rest = blank == std::string::npos ? std::string() : arg.substr(blank + 1);
    return int32_t(std::atoi(arg.c_str()));
}

int cmd_server(const cli_args &a)
{
    std::string host;
    uint16_t port;
    if (!a.has_arg || !cli_split_address(a.arg, &host, &port)) {
        cli_status("$red$- hiba! pl.: /server localhost:8888");
        return 1;
    }
    LVC_Connect(host.c_str(), port, a.opt.proxytype, a.opt.proxyhost.c_str(), a.opt.proxyport);
    return 1;
}

int cmd_login(const cli_args &a)
{
    if (!connection_check())
        return 1;
    if (LVC_GetLoginState() == 1) {
        cli_status("$red$- error! login process is already in progress.");
        return 1;
    }
    if (LVC_GetLoginState() == 2) {
        cli_status("$red$- error! already logged in.");
        return 1;
    }
    size_t dollar = a.arg.find('$');
    std::string nick = a.arg.substr(0, dollar);
    std::string password = dollar == std::string::npos ? std::string() : a.arg.substr(dollar + 1);
    LVC_RegisterNick(nick.c_str(), password.c_str());
    return 1;
}

int cmd_getnick(const cli_args &a)
{
    if (!login_check())
        return 1;
    if (!a.has_arg) {
        cli_status("$red$- hiba! pl.: /getnick 987654321");
        return 1;
    }
    LVC_GetNickByID(std::atoi(a.arg.c_str()));
    return 1;
}

int cmd_msg(const cli_args &a)
{
    if (!login_check())
        return 1;
    if (!a.has_arg) {
        cli_status("$red$- hiba! pl.: /msg 12345 hello");
        return 1;
    }
    std::string text;
    int32_t id = split_id(a.arg, &text);
    LVC_SendPrivateMessage(3, id, text.c_str());
    return 1;
}

int cmd_uptime(const cli_args &)
{
    if (!connection_check())
        return 1;
    unsigned s = unsigned(LVC_GetUptime());
    char line[64];
    std::snprintf(line, sizeof line, "- uptime: %ud %02u h %02u m %02u s", s / 86400, s % 86400 / 3600,
                  s % 3600 / 60, s % 60);
    cli_status(line);
    return 1;
}

int cmd_enter(const cli_args &a)
{
    if (!login_check())
        return 1;
    if (!a.has_arg) {
        cli_status("$red$- hiba! pl.: /enter 12 vagy /enter szobanev");
        return 1;
    }
    char *end;
    long id = std::strtol(a.arg.c_str(), &end, 10);
    if (*end == 0 && id > 0)
        LVC_EnterRoom(int32_t(id), "");
    else
        LVC_EnterRoom(0, a.arg.c_str());
    return 1;
}

int cmd_leave(const cli_args &a)
{
    if (!login_check())
        return 1;
    if (!a.has_arg) {
        cli_status("$red$- hiba! pl.: /leave 12");
        return 1;
    }
    LVC_LeaveRoom(std::atoi(a.arg.c_str()));
    return 1;
}

// /say, /me and /topic: "roomid text".
int room_text(const cli_args &a, const char *usage, void (*send)(const cli_args &, int32_t, const char *))
{
    if (!login_check())
        return 1;
    if (!a.has_arg) {
        cli_status(usage);
        return 1;
    }
    std::string text;
    int32_t room = split_id(a.arg, &text);
    send(a, room, text.c_str());
    return 1;
}

int cmd_say(const cli_args &a)
{
    return room_text(a, "$red$- hiba! pl.: /say 12 hello", [](const cli_args &c, int32_t room, const char *text) {
        LVC_SendMessage(2, room, c.opt.prefix.c_str(), text);
    });
}

int cmd_me(const cli_args &a)
{
    return room_text(a, "$red$- hiba! pl.: /me 12 integet", [](const cli_args &, int32_t room, const char *text) {
        LVC_SendMessage(7, room, "", text);
    });
}

int cmd_topic(const cli_args &a)
{
    return room_text(a, "$red$- hiba! pl.: /topic 12 uj tema", [](const cli_args &, int32_t room, const char *text) {
        LVC_ChangeTheme(room, text);
    });
}

struct cli_command_entry {
    const char *name;
    int (*handler)(const cli_args &);
};

constexpr cli_command_entry commands[] = {
    {"server", cmd_server}, {"login", cmd_login}, {"getnick", cmd_getnick}, {"msg", cmd_msg},
    {"uptime", cmd_uptime}, {"enter", cmd_enter}, {"leave", cmd_leave},   {"say", cmd_say},
    {"me", cmd_me},         {"topic", cmd_topic},
};

bool same_word(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int cli_split_address(const std::string &text, std::string *host, uint16_t *port)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos)
        return 0;
    *host = text.substr(0, colon);
    *port = uint16_t(std::atoi(text.c_str() + colon + 1));
    return 1;
}

int cli_command(const cli_options &opt, const std::string &raw)
{
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    // Like the status window: plain text and "//..." are no commands and are dropped.
    if (line.size() < 2 || line[0] != '/' || line[1] == '/')
        return 1;
    size_t blank = line.find(' ');
    std::string word = line.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
    cli_args args{opt, blank != std::string::npos,
                  blank == std::string::npos ? std::string() : line.substr(blank + 1)};
    if (same_word(word, "quit"))
        return 0;
    for (const cli_command_entry &c : commands)
        if (same_word(word, c.name))
            return c.handler(args);
    cli_status("$red$- ismeretlen parancs!");
    return 1;
}
