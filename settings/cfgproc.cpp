// The settings table and the configuration file reader.
#include "settings/cfgproc.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

int32_t cfg_autoconnect;
char *cfg_server;
int32_t cfg_autologin;
char *cfg_login;
char *cfg_proxy_server;
int32_t cfg_proxy_type;
int32_t cfg_szoba_kibe;
int32_t cfg_szoba_timestamp;
int32_t cfg_szoba_userid;
int32_t cfg_szoba_flash;
int32_t cfg_szoba_log;
int32_t cfg_szoba_showprefix;
char *cfg_szoba_prefix;
char *cfg_szoba_font;
char *cfg_szoba_monofont;
int32_t cfg_privat_timestamp;
int32_t cfg_privat_log;
int32_t cfg_privat_flash;
int32_t cfg_privat_sound;
char *cfg_privat_soundfile;
int32_t cfg_privat_bkcolor;
int32_t cfg_privat_textcolor;
int32_t cfg_status_timestamp;
char *cfg_status_font;
int32_t cfg_popups;
char *cfg_away;
int32_t cfg_bkcolor;
int32_t cfg_on_top;
int32_t cfg_play_delay;
int32_t cfg_windowlist;
int32_t cfg_minimize_to_tray;
int32_t cfg_confirm_exit;
int32_t cfg_console;

config_entry config_table[34] = {
    {"autoconnect", CFG_BOOL, &cfg_autoconnect, 0, nullptr},
    {"server", CFG_STRING, &cfg_server, 0, CONFIG_DEFAULT_SERVER},
    {"autologin", CFG_BOOL, &cfg_autologin, 0, nullptr},
    {"login", CFG_STRING, &cfg_login, 0, nullptr},
    {"proxy.server", CFG_STRING, &cfg_proxy_server, 0, ""},
    {"proxy.type", CFG_INT, &cfg_proxy_type, 0, nullptr},
    {"szoba.kibe", CFG_BOOL, &cfg_szoba_kibe, 1, nullptr},
    {"szoba.timestamp", CFG_BOOL, &cfg_szoba_timestamp, 1, nullptr},
    {"szoba.userid", CFG_BOOL, &cfg_szoba_userid, 0, nullptr},
    {"szoba.flash", CFG_BOOL, &cfg_szoba_flash, 0, nullptr},
    {"szoba.log", CFG_BOOL, &cfg_szoba_log, 0, nullptr},
    {"szoba.showprefix", CFG_BOOL, &cfg_szoba_showprefix, 1, nullptr},
    {"szoba.prefix", CFG_STRING, &cfg_szoba_prefix, 0, ""},
    {"szoba.font", CFG_STRING, &cfg_szoba_font, 0, "Arial,16,700"},
    {"szoba.monofont", CFG_STRING, &cfg_szoba_monofont, 0, "Courier,6,500"},
    {"privat.timestamp", CFG_BOOL, &cfg_privat_timestamp, 1, nullptr},
    {"privat.log", CFG_BOOL, &cfg_privat_log, 0, nullptr},
    {"privat.flash", CFG_BOOL, &cfg_privat_flash, 1, nullptr},
    {"privat.sound", CFG_BOOL, &cfg_privat_sound, 0, nullptr},
    {"privat.soundfile", CFG_STRING, &cfg_privat_soundfile, 0, ""},
    {"privat.bkcolor", CFG_INT, &cfg_privat_bkcolor, 0xFFFFFF, nullptr},
    {"privat.textcolor", CFG_INT, &cfg_privat_textcolor, 0x000000, nullptr},
    {"status.timestamp", CFG_BOOL, &cfg_status_timestamp, 1, nullptr},
    {"status.font", CFG_STRING, &cfg_status_font, 0, "Courier,7,500"},
    {"popups", CFG_BOOL, &cfg_popups, 0, nullptr},
    {"away", CFG_STRING, &cfg_away, 0, nullptr},
    {"bkcolor", CFG_INT, &cfg_bkcolor, -1, nullptr},
    {"on_top", CFG_BOOL, &cfg_on_top, 0, nullptr},
    {"play_delay", CFG_INT, &cfg_play_delay, 1000, nullptr},
    {"windowlist", CFG_BOOL, &cfg_windowlist, 1, nullptr},
    {"minimize_to_tray", CFG_BOOL, &cfg_minimize_to_tray, 0, nullptr},
    {"confirm_exit", CFG_BOOL, &cfg_confirm_exit, 1, nullptr},
    {"console", CFG_BOOL, &cfg_console, 1, nullptr},
    {nullptr, 0, nullptr, 0, nullptr},
};

namespace {

constexpr size_t config_line_size = 1024;

bool config_same_key(const char *a, const char *b)
{
    for (;; a++, b++) {
        char ca = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

// Reads a number like strtol with base 0 into *out; 0 when no digit was read. The value
// is kept as its low 32 bits, so "0xFFFFFFFF" is -1 on every build (long is 32 bits on
// Windows and 64 bits elsewhere); beyond that range it is clamped first.
int config_parse_number(const char *text, int32_t *out)
{
    char *end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 0);
    if (end == text)
        return 0;
    if (value > static_cast<long long>(UINT32_MAX))
        value = INT32_MAX;
    else if (value < static_cast<long long>(INT32_MIN))
        value = INT32_MIN;
    *out = static_cast<int32_t>(static_cast<uint32_t>(value));
    return 1;
}

void config_apply(const config_entry *row, const char *value, bool report)
{
    if (report)
        std::printf("cfgkey: %s\n", row->key);
    int32_t number;
    const char *complaint = nullptr;
    switch (row->type) {
    case CFG_STRING:
        config_set_string(static_cast<char **>(row->var), value);
        break;
    case CFG_INT:
    case CFG_BOOL:
        if (config_parse_number(value, &number))
            *static_cast<int32_t *>(row->var) = number;
        else
            complaint = row->type == CFG_INT ? "int.\n" : "bool.\n";
        break;
    default:
        complaint = "invalid type.\n";
        break;
    }
    if (complaint && report)
        std::fputs(complaint, stdout);
}

void config_read_line(char *line, const config_entry *table, bool report)
{
    if (line[0] == '#')
        return;
    char *equals = nullptr;
    char *end = line;
    for (; *end && *end != '\n'; end++) {
        if (*end == '=')
            equals = end;
    }
    if (!equals)
        return;
    // A CR LF line end reads like LF on every build, not only where text mode folds it.
    if (*end == '\n' && end > equals + 1 && end[-1] == '\r')
        end--;
    *end = 0;
    *equals = 0;
    const char *value = equals + 1;
    for (const config_entry *row = table; row->key; row++) {
        if (config_same_key(line, row->key))
            config_apply(row, value, report);
    }
}

}  // namespace

char *config_set_string(char **var, const char *text)
{
    // The copy is made before the old string is freed: `text` may be that string or a
    // part of it (a setting set to its own value).
    char *copy = nullptr;
    if (text) {
        size_t n = std::strlen(text) + 1;
        copy = static_cast<char *>(std::malloc(n));
        if (copy)
            std::memcpy(copy, text, n);
    }
    std::free(*var);
    *var = copy;
    return copy;
}

void config_setdefaults(const config_entry *table)
{
    for (const config_entry *row = table; row->key; row++) {
        switch (row->type) {
        case CFG_BOOL:
        case CFG_INT:
            *static_cast<int32_t *>(row->var) = row->int_default;
            break;
        case CFG_STRING:
            config_set_string(static_cast<char **>(row->var), row->str_default);
            break;
        default:
            std::fputs("invalid type.", stdout);
            break;
        }
    }
}

namespace {

void config_read_quietly(std::FILE *file, const config_entry *table, bool report)
{
    char line[config_line_size];
    bool first = true;
    while (std::fgets(line, sizeof line, file)) {
        // Notepad saves UTF-8 with a byte order mark: it belongs to the file, and left on
        // the first line it would hide that line's key.
        char *start = line;
        if (first && std::strncmp(line, "\xEF\xBB\xBF", 3) == 0)
            start += 3;
        first = false;
        config_read_line(start, table, report);
    }
}

int config_load_reporting(const char *path, const config_entry *table, bool report)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path, "r"), std::fclose);
    if (!file)
        return 0;
    config_read_quietly(file.get(), table, report);
    return 1;
}

}  // namespace

void config_read(std::FILE *file, const config_entry *table)
{
    config_read_quietly(file, table, true);
}

int config_load(const char *path, const config_entry *table)
{
    return config_load_reporting(path, table, true);
}

int config_peek(const char *path, const config_entry *table)
{
    return config_load_reporting(path, table, false);
}

void config_print(const config_entry *table)
{
    for (const config_entry *row = table; row->key; row++) {
        switch (row->type) {
        case CFG_BOOL:
        case CFG_INT:
            std::printf("%s = %d\n", row->key, static_cast<int>(*static_cast<int32_t *>(row->var)));
            break;
        case CFG_STRING: {
            const char *value = *static_cast<char **>(row->var);
            std::printf("%s = %s\n", row->key, value ? value : "(null)");
            break;
        }
        default:
            std::printf("%s = invalid type.\n", row->key);
            break;
        }
    }
}
