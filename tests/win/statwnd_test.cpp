// The status window under the platform: the commands with their texts and effects, the
// view menu, injected commands, the colours of a line, and appends from another thread.

#include <gtest/gtest.h>

#include "settings/util.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/richedit2.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t T_PRIVATE_ = 8;
constexpr int32_t T_GETNICK_ = 17;

struct Statwnd : UiFrame {
    void SetUp() override
    {
        UiFrame::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        sw->flags &= ~STATWND_TIMESTAMP;
    }
    // A line that later checks compare against: what a command did not write.
    void mark()
    {
        statwnd_add_msg(sw, "marker");
        ASSERT_EQ(uitest_newest_text(sw), L"marker");
    }
};

std::string prefix_setting()
{
    return cfg_szoba_prefix ? cfg_szoba_prefix : "(null)";
}

TEST_F(Statwnd, CommandTextsWithoutAConnection)
{
    struct Case {
        int connected, login;
        const wchar_t *typed;
        const wchar_t *line;
    };
    const Case cases[] = {
        {0, 0, L"/getnick 5", L"- error! not connected."},
        {0, 0, L"/msg 5 hi", L"- error! not connected."},
        {0, 0, L"/uptime", L"- error! not connected."},
        {0, 0, L"/friends", L"- error! not connected."},
        {0, 0, L"/login anna", L"- error! not connected."},
        {1, 0, L"/getnick 5", L"- error! not logged in."},
        {1, 0, L"/msg 5 hi", L"- error! not logged in."},
        {1, 0, L"/friends", L"- error! not logged in."},
        {1, 1, L"/login anna", L"- error! login process is already in progress."},
        {1, 2, L"/login anna", L"- error! already logged in."},
        {1, 2, L"/getnick", L"- hiba! pl.: /getnick 987654321"},
        {1, 2, L"/msg", L"- hiba! pl.: /msg 12345 hello"},
        {0, 0, L"/server localhost", L"- hiba! pl.: /server chat.lorvando.hu:8888"},
        {0, 0, L"/hello", L"- ismeretlen parancs!"},
        {0, 0, L"/", L"- ismeretlen parancs!"},
        {0, 0, L"/help", L"- ismert parancsok: server login getnick msg help prefix exit abort friends uptime"},
        {0, 0, L"/HeLP", L"- ismert parancsok: server login getnick msg help prefix exit abort friends uptime"},
        {0, 0, L"/GETNICK 5", L"- error! not connected."},
    };
    const COLORREF red = uitest_colour("$red$x");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.typed, c.typed + std::wcslen(c.typed)));
        mark();
        {
            uitest_state state(c.connected, c.login);
            uitest_type(sw, c.typed);
        }
        EXPECT_EQ(uitest_newest_text(sw), c.line);
        const vel_textbox_line *line = uitest_newest_line(sw);
        ASSERT_NE(line, nullptr);
        // Errors are red; the help text is black.
        const bool help = std::wcsncmp(c.line, L"- ismert", 8) == 0;
        EXPECT_EQ(vel_textbox_colour_at(line, 0), help ? 0u : red);
    }
}

TEST_F(Statwnd, PlainTextAndDoubleSlashVanish)
{
    for (const wchar_t *typed : {L"hello", L"//x", L"", L" /help"}) {
        mark();
        uitest_type(sw, typed);
        EXPECT_EQ(uitest_newest_text(sw), L"marker");
        wchar_t left[16] = {L'?'};
        vel_widget_gettext(sw->edit, left, 16);
        EXPECT_STREQ(left, L"") << "the input line is emptied";
    }
}

TEST_F(Statwnd, ServerUsageLeavesTheSettingAlone)
{
    config_set_string(&cfg_server, "chat.example:8888");
    uitest_type(sw, L"/server localhost");
    EXPECT_STREQ(cfg_server, "chat.example:8888");
    // Without an argument a setting without a colon gets the usage line too.
    config_set_string(&cfg_server, "nocolon");
    mark();
    uitest_type(sw, L"/server");
    EXPECT_EQ(uitest_newest_text(sw), L"- hiba! pl.: /server chat.lorvando.hu:8888");
    EXPECT_STREQ(cfg_server, "nocolon");
}

TEST_F(Statwnd, PrefixSetsOrClears)
{
    struct Case {
        const wchar_t *typed;
        const char *prefix;
    };
    const Case cases[] = {
        {L"/prefix $red$ >", "$red$ >"},
        {L"/prefix", ""},
        {L"/PREFIX  two  blanks ", " two  blanks "},
        {L"/prefix ", ""},
    };
    for (const Case &c : cases) {
        mark();
        uitest_type(sw, c.typed);
        EXPECT_EQ(prefix_setting(), c.prefix);
        EXPECT_EQ(uitest_newest_text(sw), L"marker") << "no message";
    }
}

TEST_F(Statwnd, UptimeLine)
{
    struct Case {
        unsigned seconds;
        const wchar_t *line;
    };
    const Case cases[] = {
        {90061, L"- uptime: 1d 01 h 01 m 01 s"},
        {0, L"- uptime: 0d 00 h 00 m 00 s"},
        {86399, L"- uptime: 0d 23 h 59 m 59 s"},
        {86400 * 12 + 7, L"- uptime: 12d 00 h 00 m 07 s"},
    };
    for (const Case &c : cases) {
        statwnd_write_uptime(sw, c.seconds);
        EXPECT_EQ(uitest_newest_text(sw), c.line);
    }
}

TEST_F(Statwnd, FontIsNeverTooSmallToRead)
{
    struct Case {
        int configured, used;
    };
    const Case cases[] = {{7, 13}, {1, 13}, {12, 13}, {13, 13}, {16, 16}, {0, 0}, {-11, -11}};
    for (const Case &c : cases)
        EXPECT_EQ(statwnd_font_height(c.configured), c.used) << c.configured;
    // The default setting gives rows of a readable height.
    EXPECT_GE(vel_textbox_get(sw->textbox)->row_height, 12);
    EXPECT_GE(sw->edit->metrics.tmHeight, 12);
}

TEST_F(Statwnd, MarkupInAnArgumentColoursTheRest)
{
    statwnd_add_msg(sw, "- a %s b %d", "$blue$x", 42);
    const vel_textbox_line *line = uitest_newest_line(sw);
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(std::wstring(line->text), L"- a x b 42");
    const COLORREF blue = uitest_colour("$blue$x");
    EXPECT_NE(blue, 0u);
    EXPECT_EQ(vel_textbox_colour_at(line, 0), 0u);
    EXPECT_EQ(vel_textbox_colour_at(line, 2), 0u);
    for (int i = 4; i < line->length; i++)
        EXPECT_EQ(vel_textbox_colour_at(line, i), blue) << i;
}

TEST_F(Statwnd, LongLinesAreCutToTheBuffer)
{
    std::string big(3000, 'a');
    statwnd_add_msg(sw, "%s", big.c_str());
    EXPECT_EQ(uitest_newest_text(sw), std::wstring(STATWND_MSG_SIZE - 1, L'a'));
}

TEST_F(Statwnd, LongInputIsCutAtACharacter)
{
    // 10000 two-byte characters are 20000 bytes of UTF-8, more than the command buffer.
    std::wstring typed = L"/prefix " + std::wstring(10000, L'\u00e9');
    uitest_type(sw, typed);
    std::string prefix = prefix_setting();
    EXPECT_LE(prefix.size() + 8, STATWND_LINE_SIZE - 1);
    EXPECT_GT(prefix.size(), 16000u);
    EXPECT_EQ(prefix.size() % 2, 0u);
    EXPECT_EQ(prefix.substr(prefix.size() - 2), "\xc3\xa9");
}

TEST_F(Statwnd, InjectRunsLikeTyping)
{
    mark();
    statwnd_inject(sw, "/help");
    EXPECT_EQ(uitest_newest_text(sw), L"- ismert parancsok: server login getnick msg help prefix exit abort friends uptime");
    // ANSI code page text arrives as UTF-8 in the setting.
    statwnd_inject(sw, "/prefix \xe1rv\xedz");
    EXPECT_EQ(prefix_setting(), "\xc3\xa1rv\xc3\xadz");
    wchar_t left[16] = {L'?'};
    vel_widget_gettext(sw->edit, left, 16);
    EXPECT_STREQ(left, L"");
}

TEST_F(Statwnd, ExitAsksTheFrameToClose)
{
    // Typed without a flush: the close request must not reach the frame here.
    vel_widget_settext(sw->edit, L"/exit");
    SendMessageW(sw->edit->hwnd, WM_CHAR, VK_RETURN, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, mw->frame->hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(SC_CLOSE));
}

TEST_F(Statwnd, ViewMenuTimeStampsAndColours)
{
    HWND hwnd = sw->wnd->hwnd;
    HMENU system = GetSystemMenu(hwnd, FALSE);
    HMENU view = GetSubMenu(system, 0);
    ASSERT_NE(view, nullptr);
    wchar_t name[32] = {};
    GetMenuStringW(system, 0, name, 32, MF_BYPOSITION);
    EXPECT_STREQ(name, L"&view");
    EXPECT_EQ(GetMenuState(system, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    ASSERT_EQ(GetMenuItemCount(view), 3);
    EXPECT_EQ(GetMenuItemID(view, 0), 3u);
    EXPECT_EQ(GetMenuItemID(view, 2), 6u);

    // Time stamps: lines written after the toggle start with "[hh:mm:ss] ".
    SendMessageW(hwnd, WM_SYSCOMMAND, 3, 0);
    statwnd_add_msg(sw, "stamped");
    std::wstring text = uitest_newest_text(sw);
    ASSERT_GE(text.size(), 11u + 7u);
    EXPECT_EQ(text[0], L'[');
    EXPECT_EQ(text.substr(text.size() - 7), L"stamped");
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 0);
    EXPECT_TRUE(GetMenuState(view, 3, MF_BYCOMMAND) & MF_CHECKED);
    // The command message reaches the same toggle (the frame passes Alt+T on this way).
    SendMessageW(hwnd, WM_COMMAND, 3, 0);
    statwnd_add_msg(sw, "plain");
    EXPECT_EQ(uitest_newest_text(sw), L"plain");
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 0);
    EXPECT_FALSE(GetMenuState(view, 3, MF_BYCOMMAND) & MF_CHECKED);

    const vel_textbox *box = vel_textbox_get(sw->textbox);
    SendMessageW(hwnd, WM_SYSCOMMAND, 6, 0);
    EXPECT_EQ(box->colour_mode, 2u);
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 0);
    EXPECT_TRUE(GetMenuState(view, 6, MF_BYCOMMAND) & MF_CHECKED);
    SendMessageW(hwnd, WM_SYSCOMMAND, 6, 0);
    EXPECT_EQ(box->colour_mode, 0u);
}

// Another thread appends while this one paints: every line arrives, in order, and the
// window's entry is marked as holding unseen text.
TEST_F(Statwnd, AppendsFromAnotherThreadWhilePainting)
{
    vel_textbox *box = vel_textbox_get(sw->textbox);
    const int32_t old_max = box->max_lines;
    constexpr int total = 1500;
    box->max_lines = total + 10;
    ASSERT_NE(mw->rlistwnd, nullptr);
    SendMessageW(mw->mdi_client->hwnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(mw->rlistwnd->wnd->hwnd), 0);
    wintest_flush();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < total; i++)
            statwnd_add_msg(sw, "$green$line %d", i);
        done = true;
    });
    while (!done) {
        InvalidateRect(sw->textbox->hwnd, nullptr, TRUE);
        UpdateWindow(sw->textbox->hwnd);
        wintest_flush();
    }
    writer.join();
    wintest_flush();
    std::vector<std::wstring> got;
    const vel_list_node *n = box->lines;
    for (int i = 0; i < total && n; i++, n = n->next)
        got.push_back(static_cast<const vel_textbox_line *>(n->data)->text);
    ASSERT_EQ(got.size(), static_cast<size_t>(total));
    for (int i = 0; i < total; i++)
        ASSERT_EQ(got[static_cast<size_t>(total - 1 - i)], L"line " + std::to_wstring(i));
    int item = mainwnd_find_listitem(mw, sw->wnd);
    ASSERT_GE(item, 0);
    wchar_t entry[64] = {};
    vel_listview_getitemtext(mw->windowlist, item, 0, entry, 64);
    EXPECT_EQ(entry[std::wcslen(entry) - 1], L'*') << entry;
    box->max_lines = old_max;
    SendMessageW(mw->mdi_client->hwnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(sw->wnd->hwnd), 0);
    wintest_flush();
    vel_listview_getitemtext(mw->windowlist, mainwnd_find_listitem(mw, sw->wnd), 0, entry, 64);
    EXPECT_EQ(entry[std::wcslen(entry) - 1], L'_') << "activation clears the mark: " << entry;
}

// ---------------------------------------------------------------- with a connection

struct StatwndConnected : UiConnected<Statwnd> {
    static fakepeer_bytes ints(std::initializer_list<int32_t> values)
    {
        fakepeer_bytes b;
        for (int32_t v : values)
            fakepeer_put_int(&b, v);
        return b;
    }
};

TEST_F(StatwndConnected, GetnickAndMsgSendTheirRequests)
{
    uitest_state state(1, 2);
    uitest_type(sw, L"/getnick 77");
    fakepeer_packet p = next();
    EXPECT_EQ(p.type, T_GETNICK_);
    EXPECT_EQ(p.payload, ints({77}));

    // "/msg 42" has an empty text: nothing goes out, so the next request is the getnick.
    uitest_type(sw, L"/msg 42");
    uitest_type(sw, L"/MSG abc hi there");
    uitest_type(sw, L"/getnick 5");
    p = next();
    EXPECT_EQ(p.type, T_PRIVATE_);
    fakepeer_bytes want;
    fakepeer_put_byte(&want, 3);
    fakepeer_put_int(&want, 0);
    fakepeer_put_utf(&want, "hi there");
    EXPECT_EQ(p.payload, want);
    p = next();
    EXPECT_EQ(p.type, T_GETNICK_);
    EXPECT_EQ(p.payload, ints({5}));
}

TEST_F(StatwndConnected, FriendsAreCheckedInListOrder)
{
    uitest_state state(1, 2);
    vel_list_add(&friends_list, 10, strdup("anna"));
    vel_list_add(&friends_list, 11, strdup("bela"));
    uitest_type(sw, L"/friends");
    EXPECT_EQ(next().payload, ints({11}));
    EXPECT_EQ(next().payload, ints({10}));
    const vel_list_node *n = vel_textbox_get(sw->textbox)->lines;
    EXPECT_EQ(std::wstring(static_cast<const vel_textbox_line *>(n->data)->text), L"- checking: anna");
    EXPECT_EQ(std::wstring(static_cast<const vel_textbox_line *>(n->next->data)->text), L"- checking: bela");
    util_free_lists();
}

TEST_F(StatwndConnected, UptimeOfAFreshConnection)
{
    uitest_type(sw, L"/uptime");
    std::wstring text = uitest_newest_text(sw);
    EXPECT_EQ(text.substr(0, 24), L"- uptime: 0d 00 h 00 m 0");
    EXPECT_EQ(text.size(), 27u) << std::string(text.begin(), text.end());
}

TEST_F(StatwndConnected, LoginStoresTheArgumentAndStartsTheLogin)
{
    uitest_type(sw, L"/login anna$titok$x");
    EXPECT_STREQ(cfg_login, "anna$titok$x");
    // The token page is fetched from port 80 of the chat host, where nothing listens here.
    EXPECT_TRUE(uitest_wait_event("X16"));
}

TEST_F(Statwnd, ServerCommandConnectsAndStoresTheAddress)
{
    for (const wchar_t *command : {L"/SERVER", L"/server"}) {
        uitest_chat chat;
        ASSERT_TRUE(chat.listen());
        std::string address = "127.0.0.1:" + std::to_string(chat.peer.port);
        config_set_string(&cfg_proxy_server, "");
        cfg_proxy_type = 0;
        if (command[1] == L'S') {
            uitest_type(sw, std::wstring(command) + L" " + std::wstring(address.begin(), address.end()));
            EXPECT_EQ(std::string(cfg_server), address);
        } else {
            // Without an argument the setting is used.
            config_set_string(&cfg_server, address.c_str());
            uitest_type(sw, command);
        }
        EXPECT_TRUE(chat.accept());
        chat.close();
    }
}

}  // namespace
