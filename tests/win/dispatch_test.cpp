// The event dispatch with a real connection: a fake chat server on loopback feeds the
// protocol client, whose reader thread hands every packet to the user-interface thread
// through the dispatch hook, while that thread keeps repainting the room list. Room lists
// replace the directory under the painting list many times over; the room list must end
// exactly in step with the last list and nothing may hang. The time from sending a room
// list to the list drawn is printed as a figure (not asserted); LV_ROOMS sets its size
// (10,000 by default).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/cfgproc.h"
#include "app/dispatch.h"
#include "protocol/lvc6b.h"
#include "tests/support/fakepeer.h"
#include "tests/win/wintest.h"
#include "toolkit/listview.h"
#include "toolkit/textbox.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <commctrl.h>

namespace {

fakepeer_bytes room_list(int first_id, int count)
{
    fakepeer_bytes b;
    for (int i = 0; i < count; i++) {
        const int id = first_id + i;
        fakepeer_put_int(&b, id);
        fakepeer_put_utf(&b, "szoba " + std::to_string(id));
        fakepeer_put_utf(&b, "$red$tema$black$ " + std::to_string(id));
        fakepeer_put_int(&b, (id % 7 == 0) ? 0x08 : 0);
        fakepeer_put_int(&b, id % 50);
    }
    fakepeer_put_int(&b, 0);
    return b;
}

fakepeer_bytes new_room(int id)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, 1);
    fakepeer_put_int(&b, id);
    fakepeer_put_utf(&b, "uj " + std::to_string(id));
    fakepeer_put_utf(&b, "friss");
    fakepeer_put_int(&b, 0x10);
    fakepeer_put_int(&b, 1);
    return b;
}

std::wstring status_part(int part)
{
    wchar_t text[64] = {};
    SendMessageW(main_frame->statusbar->hwnd, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

// The newest line of the status window, as it is now (nothing pumped).
std::wstring last_status_line()
{
    const vel_textbox *box = vel_textbox_get(status_window->textbox);
    if (!box || !box->lines)
        return L"";
    const auto *line = static_cast<const vel_textbox_line *>(box->lines->data);
    return std::wstring(line->text, static_cast<size_t>(line->length));
}

bool status_says(const wchar_t *text)
{
    return last_status_line().find(text) != std::wstring::npos;
}

// Pumps and repaints the room list until `done` holds or `ms` pass; true when it held.
template <typename F>
bool pump_until(F done, DWORD ms)
{
    return wintest_pump_until(
        [&] {
            InvalidateRect(roomlist_window->list->hwnd, nullptr, FALSE);
            UpdateWindow(roomlist_window->list->hwnd);
            return done();
        },
        ms);
}

class Dispatch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wintest_init();
        config_setdefaults(config_table);
        cfg_autologin = 0;
        cfg_confirm_exit = 0;
        LVC_Init(packet_handler, event_handler, exception_handler);
        ASSERT_NE(mainwnd_create(), nullptr);
        ASSERT_TRUE(dispatch_start());
        wintest_flush();
    }
    static void TearDownTestSuite()
    {
        dispatch_stop();
        LVC_Cleanup();
    }
};

TEST_F(Dispatch, RoomListsFromTheServerAreDrawnInStep)
{
    fakepeer chat;
    ASSERT_TRUE(fakepeer_listen(&chat));
    LVC_Connect("127.0.0.1", chat.port, 0, "", 0);
    ASSERT_TRUE(pump_until([&] { return lvsock_wait_readable(chat.listener, 0) == 1; }, 10000));
    ASSERT_TRUE(fakepeer_accept(&chat));
    const std::wstring peer = L"127.0.0.1:" + std::to_wstring(chat.port);
    ASSERT_TRUE(pump_until([&] { return status_part(0) == peer; }, 10000)) << "connect event not shown";

    // One large list, timed from the first byte sent to the list drawn.
    const char *size = std::getenv("LV_ROOMS");
    const int rooms = size && std::atoi(size) > 0 ? std::atoi(size) : 10000;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(fakepeer_send_packet(&chat, 9, room_list(1, rooms)));
    ASSERT_TRUE(pump_until([&] { return roomlist_window->room_count == rooms; }, 600000));
    InvalidateRect(roomlist_window->list->hwnd, nullptr, FALSE);
    UpdateWindow(roomlist_window->list->hwnd);
    std::printf("[ figure ] %d rooms: %lu ms from the first byte to the list drawn\n", rooms,
                static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(vel_listview_getitemcount(roomlist_window->list), rooms);
    wchar_t caption[64] = {};
    GetWindowTextW(roomlist_window->wnd->hwnd, caption, 64);
    EXPECT_STREQ(caption, L"szobalista");

    // Lists replacing each other under the painting list, with rooms added between them.
    int expected = 0;
    const DWORD stress_start = GetTickCount();
    for (int round = 0; round < 20; round++) {
        const int count = 20 + (round * 37) % 100;
        ASSERT_TRUE(fakepeer_send_packet(&chat, 9, room_list(round * 1000 + 1, count)));
        ASSERT_TRUE(fakepeer_send_packet(&chat, 10, new_room(900000 + round)));
        expected = count + 1;
    }
    const int last_first = 19 * 1000 + 1;
    ASSERT_TRUE(pump_until(
        [&] {
            return roomlist_window->room_count == expected && LVC_GetRoom(900019) && LVC_GetRoom(last_first);
        },
        120000))
        << "room list ended at " << roomlist_window->room_count << ", wanted " << expected;
    std::printf("[ figure ] 20 lists and 20 new rooms: %lu ms\n",
                static_cast<unsigned long>(GetTickCount() - stress_start));
    EXPECT_EQ(vel_listview_getitemcount(roomlist_window->list), expected);
    EXPECT_EQ(LVC_GetRoom(1), nullptr);

    // The server hangs up: the closed event reaches the frame.
    fakepeer_hangup(&chat);
    ASSERT_TRUE(pump_until([] { return !LVC_IsConnected() && status_part(0) == L"not connected."; }, 10000));
}

// A proxy that accepts the tunnel request and hangs up before its blank line: the attempt
// ends with a red line, and the connect timer stops.
TEST_F(Dispatch, AProxyThatBreaksOffEndsTheAttempt)
{
    fakepeer proxy;
    ASSERT_TRUE(fakepeer_listen(&proxy));
    mainwnd_start_connect_timer(main_frame);
    LVC_Connect("127.0.0.1", 8888, 1, "127.0.0.1", proxy.port);
    ASSERT_TRUE(pump_until([&] { return lvsock_wait_readable(proxy.listener, 0) == 1; }, 10000));
    ASSERT_TRUE(fakepeer_accept(&proxy));
    std::string request;
    ASSERT_TRUE(fakepeer_recv_head(&proxy, &request));
    EXPECT_EQ(request.rfind("CONNECT 127.0.0.1:8888 HTTP/1.0", 0), 0u) << request;
    fakepeer_send(&proxy, "HTTP/1.0 200", 12);
    fakepeer_hangup(&proxy);
    ASSERT_TRUE(pump_until([] { return status_says(L"- error: proxy"); }, 10000));
    EXPECT_EQ(main_frame->connect_timer, 0u);
    EXPECT_EQ(status_part(0), L"not connected.");
    EXPECT_FALSE(LVC_IsConnected());
}

// The login's answers and the failures that end an attempt, each with its line and the
// state it leaves in the status bar.
TEST_F(Dispatch, LoginAnswersAndFailuresReachTheStatusWindowAndBar)
{
    struct answer {
        int code;
        const wchar_t *line;
    };
    for (const answer &a : {answer{12, L"- error: registernick (regnick)"},
                            answer{13, L"- error: registernick (regerror)"},
                            answer{14, L"- error: registernick (needpass)"}}) {
        mainwnd_start_login_timer(main_frame);
        packet_handler(a.code, nullptr);
        EXPECT_TRUE(status_says(a.line)) << a.code;
        EXPECT_EQ(main_frame->login_timer, 0u) << a.code;
        EXPECT_EQ(status_part(1), L"not logged in.");
    }

    LVC_EvNick online{4711, "anna"};
    packet_handler(36, &online);
    EXPECT_TRUE(status_says(L"- id: 4711 - nick: anna [online]"));
    LVC_EvNick offline{4712, ""};
    packet_handler(36, &offline);
    EXPECT_TRUE(status_says(L"- id: 4712 - nick:  [offline]"));

    mainwnd_start_connect_timer(main_frame);
    exception_handler(LVC_ERR_RESOLVE, nullptr);
    EXPECT_TRUE(status_says(L"- error: gethostbyname"));
    EXPECT_EQ(main_frame->connect_timer, 0u);
    EXPECT_EQ(status_part(0), L"not connected.");

    // The web server's failure comes from the login thread: it is shown on this thread.
    mainwnd_start_login_timer(main_frame);
    std::thread login([] { exception_handler(LVC_ERR_WEBHOST, nullptr); });
    login.join();
    EXPECT_FALSE(status_says(L"- error: web server")) << "shown off the interface thread";
    ASSERT_TRUE(pump_until([] { return status_says(L"- error: web server"); }, 5000));
    EXPECT_EQ(main_frame->login_timer, 0u);
    EXPECT_EQ(status_part(1), L"not logged in.");
}

}  // namespace
