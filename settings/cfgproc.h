// The settings: one table of typed keys bound to global variables, its defaults, and the
// plain-text configuration file read over them ("key=value" lines, "#" comments). The
// file is never written back.
//
// The settings floor (settings/): the settings, the friends and ignore lists and the
// helpers the windows share. It uses the base (toolkit, text, protocol) and knows no
// window module; the windows and the program use it.
#pragma once

#include <cstdint>
#include <cstdio>

enum { CFG_BOOL = 1, CFG_STRING = 2, CFG_INT = 3 };

struct config_entry {
    const char *key;
    int32_t type;
    void *var;  // int32_t for bool and int, char* for string
    int32_t int_default;
    const char *str_default;  // may be null: the string stays null until set
};

// The chat server's host, and where `server` points by default.
constexpr const char *CONFIG_CHAT_HOST = "chat.lorvando.hu";
constexpr const char *CONFIG_DEFAULT_SERVER = "chat.lorvando.hu:8888";

// The settings, in table order. Colours are 0xRRGGBB; -1 in `bkcolor` is the platform's
// workspace colour. String settings are heap copies owned by the table.
extern int32_t cfg_autoconnect;
extern char *cfg_server;
extern int32_t cfg_autologin;
extern char *cfg_login;
extern char *cfg_proxy_server;
extern int32_t cfg_proxy_type;
extern int32_t cfg_szoba_kibe;
extern int32_t cfg_szoba_timestamp;
extern int32_t cfg_szoba_userid;
extern int32_t cfg_szoba_flash;
extern int32_t cfg_szoba_log;
extern int32_t cfg_szoba_showprefix;
extern char *cfg_szoba_prefix;
extern char *cfg_szoba_font;
extern char *cfg_szoba_monofont;
extern int32_t cfg_privat_timestamp;
extern int32_t cfg_privat_log;
extern int32_t cfg_privat_flash;
extern int32_t cfg_privat_sound;
extern char *cfg_privat_soundfile;
extern int32_t cfg_privat_bkcolor;
extern int32_t cfg_privat_textcolor;
extern int32_t cfg_status_timestamp;
extern char *cfg_status_font;
extern int32_t cfg_popups;
extern char *cfg_away;
extern int32_t cfg_bkcolor;
extern int32_t cfg_on_top;
extern int32_t cfg_play_delay;
extern int32_t cfg_windowlist;
extern int32_t cfg_minimize_to_tray;
extern int32_t cfg_confirm_exit;
extern int32_t cfg_console;

// The 33 settings and the row with a null key that ends them.
extern config_entry config_table[34];

// Every variable to its default; "invalid type." for a row of an unknown type.
void config_setdefaults(const config_entry *table);
// Reads the file over the current values; 0 when it cannot be opened (nothing changed),
// else 1. Reports each key it sets as "cfgkey: <key>" on standard output.
int config_load(const char *path, const config_entry *table);
// The same on an open stream, read to its end.
void config_read(std::FILE *file, const config_entry *table);
// Reads the file over the current values like config_load, reporting nothing: for a
// setting that must be known before the program's diagnostics have anywhere to go.
int config_peek(const char *path, const config_entry *table);
// Replaces the string *var with a copy of `text` (null stays null) and returns it.
char *config_set_string(char **var, const char *text);
// Every row as "key = value" on standard output.
void config_print(const config_entry *table);
