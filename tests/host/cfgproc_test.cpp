#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/cfgproc.h"
#include "tests/support/tempfile.h"

namespace {

// Loads `content` over the defaults and returns what config_load printed.
std::string load(const std::string &content)
{
    config_setdefaults(config_table);
    std::string path = test_temp_file("lvcfg", content);
    testing::internal::CaptureStdout();
    int ok = config_load(path.c_str(), config_table);
    std::string out = testing::internal::GetCapturedStdout();
    std::remove(path.c_str());
    EXPECT_EQ(ok, 1);
    return out;
}

std::string str(const char *s)
{
    return s ? s : "(null)";
}

TEST(Config, DefaultsMatchTheTable)
{
    testing::internal::CaptureStdout();
    config_setdefaults(config_table);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    int rows = 0;
    while (config_table[rows].key)
        rows++;
    EXPECT_EQ(rows, 33);
    EXPECT_EQ(str(cfg_server), std::string(CONFIG_CHAT_HOST) + ":8888");
    EXPECT_EQ(cfg_login, nullptr);
    EXPECT_EQ(cfg_away, nullptr);
    EXPECT_EQ(str(cfg_proxy_server), "");
    EXPECT_EQ(str(cfg_szoba_font), "Arial,16,700");
    EXPECT_EQ(str(cfg_szoba_monofont), "Courier,6,500");
    EXPECT_EQ(str(cfg_status_font), "Courier,7,500");
    EXPECT_EQ(cfg_privat_bkcolor, 0xFFFFFF);
    EXPECT_EQ(cfg_privat_textcolor, 0);
    EXPECT_EQ(cfg_bkcolor, -1);
    EXPECT_EQ(cfg_play_delay, 1000);
    const int32_t on[] = {cfg_szoba_kibe, cfg_szoba_timestamp, cfg_szoba_showprefix, cfg_privat_timestamp,
                          cfg_privat_flash, cfg_status_timestamp, cfg_windowlist, cfg_confirm_exit, cfg_console};
    for (int32_t v : on)
        EXPECT_EQ(v, 1);
    const int32_t off[] = {cfg_autoconnect, cfg_autologin, cfg_proxy_type, cfg_szoba_userid, cfg_szoba_flash,
                           cfg_szoba_log, cfg_privat_log, cfg_privat_sound, cfg_popups, cfg_on_top,
                           cfg_minimize_to_tray};
    for (int32_t v : off)
        EXPECT_EQ(v, 0);
}

struct IntCase {
    const char *file;
    int32_t *var;
    int32_t value;
    const char *printed;
};

TEST(Config, NumbersAndFlags)
{
    const IntCase cases[] = {
        {"play_delay=0x200\n", &cfg_play_delay, 512, "cfgkey: play_delay\n"},
        {"play_delay=fast\n", &cfg_play_delay, 1000, "cfgkey: play_delay\nint.\n"},
        {"play_delay=010\n", &cfg_play_delay, 8, "cfgkey: play_delay\n"},
        {"play_delay= -25ms\n", &cfg_play_delay, -25, "cfgkey: play_delay\n"},
        {"play_delay=\n", &cfg_play_delay, 1000, "cfgkey: play_delay\nint.\n"},
        {"bkcolor=-1\n", &cfg_bkcolor, -1, "cfgkey: bkcolor\n"},
        {"bkcolor=0x404040\n", &cfg_bkcolor, 0x404040, "cfgkey: bkcolor\n"},
        {"bkcolor=0xFFFFFFFF\n", &cfg_bkcolor, -1, "cfgkey: bkcolor\n"},
        {"privat.bkcolor=0xFFFF00\n", &cfg_privat_bkcolor, 0xFFFF00, "cfgkey: privat.bkcolor\n"},
        {"console=0\n", &cfg_console, 0, "cfgkey: console\n"},
        {"console=yes\n", &cfg_console, 1, "cfgkey: console\nbool.\n"},
        {"autoconnect=1\r\n", &cfg_autoconnect, 1, "cfgkey: autoconnect\n"},
        {"AutoConnect=2", &cfg_autoconnect, 2, "cfgkey: autoconnect\n"},
        {"proxy.type=1\nproxy.type=2\n", &cfg_proxy_type, 2, "cfgkey: proxy.type\ncfgkey: proxy.type\n"},
        {"play_delay=99999999999999999999\n", &cfg_play_delay, INT32_MAX, "cfgkey: play_delay\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.file), c.printed) << c.file;
        EXPECT_EQ(*c.var, c.value) << c.file;
    }
}

struct StringCase {
    std::string file;
    char **var;
    const char *value;  // null: the default stays
    const char *printed;
};

TEST(Config, StringsAndKeys)
{
    const StringCase cases[] = {
        {"SERVER=host:1234\n", &cfg_server, "host:1234", "cfgkey: server\n"},
        {"server = host:1234\n", &cfg_server, nullptr, ""},
        {"szoba.prefix=\n", &cfg_szoba_prefix, "", "cfgkey: szoba.prefix\n"},
        {"szoba.prefix=$red$ \n", &cfg_szoba_prefix, "$red$ ", "cfgkey: szoba.prefix\n"},
        {"szoba.prefix=$red$\r\n", &cfg_szoba_prefix, "$red$", "cfgkey: szoba.prefix\n"},
        {"login=a=b\n", &cfg_login, nullptr, ""},
        {"login==b\n", &cfg_login, nullptr, ""},
        {"login=nick$jelsz\xC3\xB3\n", &cfg_login, "nick$jelsz\xC3\xB3", "cfgkey: login\n"},
        {"#server=x\n", &cfg_server, nullptr, ""},
        {" #server=x\n", &cfg_server, nullptr, ""},
        {"status.font=a#b\n", &cfg_status_font, "a#b", "cfgkey: status.font\n"},
        {"server=last", &cfg_server, "last", "cfgkey: server\n"},
        {"\n\njunk line\nserver=x:1\n=\n", &cfg_server, "x:1", "cfgkey: server\n"},
        {"away=\xC3\xA9n\n", &cfg_away, "\xC3\xA9n", "cfgkey: away\n"},
        {std::string("server=a\0b\n", 11), &cfg_server, "a", "cfgkey: server\n"},
        // Notepad's byte order mark opens the file, not the first key; elsewhere it is text.
        {"\xEF\xBB\xBFserver=bom:1\r\n", &cfg_server, "bom:1", "cfgkey: server\n"},
        {"\xEF\xBB\xBF#server=x\nlogin=n\n", &cfg_server, nullptr, "cfgkey: login\n"},
        {"login=n\n\xEF\xBB\xBFserver=x\n", &cfg_server, nullptr, "cfgkey: login\n"},
    };
    for (const auto &c : cases) {
        config_setdefaults(config_table);
        std::string before = str(*c.var);
        EXPECT_EQ(load(c.file), c.printed) << c.file;
        EXPECT_EQ(str(*c.var), c.value ? c.value : before) << c.file;
    }
}

TEST(Config, LongLinesAreReadInPieces)
{
    // 1023 bytes fill the buffer: the rest of the line is read as a line of its own.
    std::string line = "szoba.prefix=" + std::string(1023 - 13, 'x') + "server=tail:1\n";
    EXPECT_EQ(load(line), "cfgkey: szoba.prefix\ncfgkey: server\n");
    EXPECT_EQ(std::string(cfg_szoba_prefix), std::string(1010, 'x'));
    EXPECT_EQ(std::string(cfg_server), "tail:1");
}

TEST(Config, EveryMatchingRowIsSet)
{
    // A table may bind one key twice; both rows are handled.
    int32_t a = 0, b = 0;
    char *s = nullptr;
    config_entry table[] = {
        {"x", CFG_INT, &a, 1, nullptr},
        {"X", CFG_BOOL, &b, 1, nullptr},
        {"odd", 9, &a, 0, nullptr},
        {"s", CFG_STRING, &s, 0, nullptr},
        {nullptr, 0, nullptr, 0, nullptr},
    };
    testing::internal::CaptureStdout();
    config_setdefaults(table);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "invalid type.");
    EXPECT_EQ(s, nullptr);
    std::string path = test_temp_file("lvcfg", "x=7\nodd=1\ns=v\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(config_load(path.c_str(), table), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "cfgkey: x\ncfgkey: X\ncfgkey: odd\ninvalid type.\ncfgkey: s\n");
    std::remove(path.c_str());
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 7);
    testing::internal::CaptureStdout();
    config_print(table);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "x = 7\nX = 7\nodd = invalid type.\ns = v\n");
    config_set_string(&s, nullptr);
    EXPECT_EQ(s, nullptr);
}

TEST(Config, MissingFileChangesNothing)
{
    config_setdefaults(config_table);
    config_set_string(&cfg_server, "kept:1");
    std::string path = test_temp_path("lvcfg-missing");
    EXPECT_EQ(config_load(path.c_str(), config_table), 0);
    EXPECT_STREQ(cfg_server, "kept:1");
}

// A quiet read sets what a loud one sets (the last line of a key wins, bad numbers keep
// the value) and prints nothing: it runs before the console exists.
TEST(Config, PeekReadsLikeLoadAndSaysNothing)
{
    const std::string content = "console=1\n# console=0\nCONSOLE = 5\nconsole=0\r\nconfirm_exit=x\n";
    std::string path = test_temp_file("lvcfg-peek", content);
    int32_t console = 1, confirm = 7;
    const config_entry table[] = {{"console", CFG_BOOL, &console, 1, nullptr},
                                  {"confirm_exit", CFG_BOOL, &confirm, 1, nullptr},
                                  {nullptr, 0, nullptr, 0, nullptr}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(config_peek(path.c_str(), table), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(console, 0);
    EXPECT_EQ(confirm, 7);
    std::remove(path.c_str());
    EXPECT_EQ(config_peek(path.c_str(), table), 0);
}

TEST(Config, PrintShowsEveryRow)
{
    config_setdefaults(config_table);
    testing::internal::CaptureStdout();
    config_print(config_table);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("autoconnect = 0\n"), std::string::npos);
    EXPECT_NE(out.find("login = (null)\n"), std::string::npos);
    EXPECT_NE(out.find("szoba.font = Arial,16,700\n"), std::string::npos);
    EXPECT_NE(out.find("bkcolor = -1\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 33);
}

TEST(Config, SetStringCopies)
{
    char *var = nullptr;
    char text[] = "abc";
    char *stored = config_set_string(&var, text);
    EXPECT_EQ(stored, var);
    EXPECT_NE(var, text);
    text[0] = 'x';
    EXPECT_STREQ(var, "abc");
    config_set_string(&var, "");
    EXPECT_STREQ(var, "");
    config_set_string(&var, nullptr);
}

// A setting set to its own value, or to a tail of it, keeps that text (the old string
// must outlive the copy).
TEST(Config, SetStringFromItself)
{
    char *var = nullptr;
    config_set_string(&var, "chat.example:8888");
    char *stored = config_set_string(&var, var);
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(var, "chat.example:8888");
    config_set_string(&var, var + 5);
    EXPECT_STREQ(var, "example:8888");
    config_set_string(&cfg_server, "kept:1");
    config_set_string(&cfg_server, cfg_server);
    EXPECT_STREQ(cfg_server, "kept:1");
    config_set_string(&var, nullptr);
    EXPECT_EQ(var, nullptr);
}

}  // namespace
