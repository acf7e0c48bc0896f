// The event dispatch with a real connection: a fake chat server on loopback feeds the
// protocol client, whose reader thread queues every packet for the user-interface thread,
// which drains the queue in batches while it keeps repainting the room list. Room lists
// replace the directory under the painting list many times over; the room list must end
// exactly in step with the last list and nothing may hang. The time from sending a room
// list to the list drawn is printed as a figure (not asserted); LV_ROOMS sets its size
// (10,000 by default). Room windows: one closed in the middle of a batch hears nothing
// more, and a line typed during a flood goes out before the flood has been absorbed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/dispatch.h"
#include "protocol/lvc6b.h"
#include "settings/cfgproc.h"
#include "tests/support/fakepeer.h"
#include "tests/win/wintest.h"
#include "toolkit/listview.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/chatwnd.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <commctrl.h>

#include <atomic>
#include <thread>
#include <vector>

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

fakepeer_bytes enter_packet(int32_t room)
{
    fakepeer_bytes b;
    fakepeer_put_int(&b, room);
    fakepeer_put_int(&b, 7);
    fakepeer_put_utf(&b, "elso");
    fakepeer_put_utf(&b, "szoba.example");
    return b;
}

fakepeer_bytes room_line(int32_t room, const std::string &text)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, 2);
    fakepeer_put_int(&b, room);
    fakepeer_put_utf(&b, "flood");
    fakepeer_put_utf(&b, "");
    fakepeer_put_utf(&b, text);
    return b;
}

void add_frame(fakepeer_bytes *stream, int32_t type, const fakepeer_bytes &payload)
{
    const fakepeer_bytes f = fakepeer_frame(type, payload);
    stream->insert(stream->end(), f.begin(), f.end());
}

// The program's packet callback with a look at the room lines it is given: how many, and
// whether their room still had a window. The line "zar" closes its room's window from
// inside the callback, as a user's click would between two packets of one batch.
// With a server to watch, the line count at which the client's first room line (type 7)
// had reached it is kept too.
struct line_probe {
    int lines = 0;
    int lines_at_close = -1;
    std::vector<bool> window_after_close;
    fakepeer *server = nullptr;
    int lines_at_typed = -1;
    std::string typed;
};
line_probe probe;

void probe_server()
{
    fakepeer_packet p{};
    while (probe.lines_at_typed < 0 && lvsock_wait_readable(probe.server->conn, 0) == 1 &&
           fakepeer_recv_packet(probe.server, &p, 1000)) {
        if (p.type == 7) {
            probe.lines_at_typed = probe.lines;
            probe.typed.assign(p.payload.end() - 5, p.payload.end());
        }
    }
}

int probing_packet_handler(int code, void *record)
{
    const auto *ev = static_cast<const LVC_EvMessage *>(record);
    if (code == 33 && ev && ev->room && probe.lines_at_close >= 0)
        probe.window_after_close.push_back(ev->room->chatwnd != nullptr);
    packet_handler(code, record);
    if (code != 33 || !ev || !ev->room)
        return 0;
    probe.lines++;
    if (probe.server)
        probe_server();
    if (std::string(ev->text) == "zar" && ev->room->chatwnd) {
        probe.lines_at_close = probe.lines;
        SendMessageW(static_cast<chatwnd *>(ev->room->chatwnd)->wnd->hwnd, WM_CLOSE, 0, 0);
    }
    return 0;
}

class Dispatch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wintest_init();
        config_setdefaults(config_table);
        cfg_autologin = 0;
        cfg_confirm_exit = 0;
        cfg_szoba_log = 0;
        LVC_Init(probing_packet_handler, event_handler, exception_handler);
        ASSERT_NE(mainwnd_create(), nullptr);
        ASSERT_TRUE(dispatch_start());
        wintest_flush();
    }
    static void TearDownTestSuite()
    {
        dispatch_stop();
        LVC_Cleanup();
    }
    // Connects the client to `chat` and waits for the connect event's status bar text.
    static void connect(fakepeer *chat)
    {
        ASSERT_TRUE(fakepeer_listen(chat));
        LVC_Connect("127.0.0.1", chat->port, 0, "", 0);
        ASSERT_TRUE(pump_until([&] { return lvsock_wait_readable(chat->listener, 0) == 1; }, 10000));
        ASSERT_TRUE(fakepeer_accept(chat));
        const std::wstring peer = L"127.0.0.1:" + std::to_wstring(chat->port);
        ASSERT_TRUE(pump_until([&] { return status_part(0) == peer; }, 10000)) << "connect event not shown";
    }
    static void hang_up(fakepeer *chat)
    {
        fakepeer_hangup(chat);
        ASSERT_TRUE(pump_until([] { return !LVC_IsConnected() && status_part(0) == L"not connected."; }, 10000));
    }
    // Room 401 in the room list and entered: its window open.
    static chatwnd *enter_room(fakepeer *chat)
    {
        EXPECT_TRUE(fakepeer_send_packet(chat, 9, room_list(401, 1)));
        EXPECT_TRUE(fakepeer_send_packet(chat, 5, enter_packet(401)));
        EXPECT_TRUE(pump_until([] { return LVC_GetRoom(401) && LVC_GetRoom(401)->chatwnd; }, 10000));
        return LVC_GetRoom(401) ? static_cast<chatwnd *>(LVC_GetRoom(401)->chatwnd) : nullptr;
    }
};

// Dispatches one message at a time until `done` holds or `ms` pass: a backlog drained
// slice by slice never leaves the queue empty, so a wait that empties the queue first
// would see only its end.
template <typename F>
bool pump_each_until(F done, DWORD ms)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

std::wstring newest_status()
{
    const vel_textbox *box = vel_textbox_get(status_window->textbox);
    if (!box || !box->lines)
        return L"";
    const auto *line = static_cast<const vel_textbox_line *>(box->lines->data);
    return std::wstring(line->text, static_cast<size_t>(line->length));
}

std::wstring caption_of_roomlist()
{
    wchar_t caption[64] = {};
    GetWindowTextW(roomlist_window->wnd->hwnd, caption, 64);
    return caption;
}

TEST_F(Dispatch, RoomListsFromTheServerAreDrawnInStep)
{
    fakepeer chat;
    connect(&chat);

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
    hang_up(&chat);
}

TEST_F(Dispatch, RoomListProgressIsShownAsItArrives)
{
    fakepeer chat;
    connect(&chat);
    fakepeer_bytes list = room_list(1, 1);
    list.resize(1000, 0xEE);  // the list ends at its 0; the rest is not read
    const fakepeer_bytes frame = fakepeer_frame(9, list);
    ASSERT_TRUE(fakepeer_send(&chat, frame.data(), 16 + 450));
    EXPECT_TRUE(pump_until([] { return caption_of_roomlist() == L"szobalista 45%"; }, 10000)) << caption_of_roomlist();
    ASSERT_TRUE(fakepeer_send(&chat, frame.data() + 16 + 450, frame.size() - 16 - 450));
    EXPECT_TRUE(pump_until([] { return caption_of_roomlist() == L"szobalista" && roomlist_window->room_count == 1; },
                           10000))
        << caption_of_roomlist();
    hang_up(&chat);
}

// The user closes a room window between two room lines of one batch: the lines after it
// find the room without a window and are dropped.
TEST_F(Dispatch, ARoomWindowClosedInsideABatchHearsNothingMore)
{
    fakepeer chat;
    connect(&chat);
    ASSERT_NE(enter_room(&chat), nullptr);
    probe = line_probe{};
    fakepeer_bytes batch;
    for (const char *text : {"egy", "zar", "harom", "negy"})
        add_frame(&batch, 13, room_line(401, text));
    add_frame(&batch, 5, enter_packet(499));  // a marker: its status line comes last
    ASSERT_TRUE(fakepeer_send(&chat, batch));
    ASSERT_TRUE(pump_until(
        [] { return status_window && newest_status().find(L"[499]") != std::wstring::npos; }, 10000));
    EXPECT_EQ(probe.lines_at_close, 2);
    EXPECT_EQ(probe.window_after_close, (std::vector<bool>{false, false}));
    EXPECT_EQ(LVC_GetRoom(401)->chatwnd, nullptr);
    hang_up(&chat);
}

// Keyboard input outranks the rest of a backlog: a line typed while a flood is being
// absorbed reaches the server before the flood's last line reaches the window.
TEST_F(Dispatch, ALineTypedDuringAFloodGoesOutFirst)
{
    fakepeer chat;
    connect(&chat);
    chatwnd *cw = enter_room(&chat);
    ASSERT_NE(cw, nullptr);
    SetForegroundWindow(main_frame->frame->hwnd);
    SetFocus(cw->input->hwnd);
    probe = line_probe{};
    probe.server = &chat;
    constexpr int flood = 3000;
    fakepeer_bytes stream;
    for (int i = 0; i < flood; i++)
        add_frame(&stream, 13, room_line(401, "$red$flood #" + std::to_string(i)));
    ASSERT_TRUE(fakepeer_send(&chat, stream));
    ASSERT_TRUE(pump_each_until([] { return probe.lines >= 20; }, 20000));
    // Typed: the keys go through the input queue like a user's.
    std::vector<INPUT> keys;
    for (wchar_t c : std::wstring(L"hello\r")) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wScan = c;
        in.ki.dwFlags = KEYEVENTF_UNICODE;
        keys.push_back(in);
        in.ki.dwFlags |= KEYEVENTF_KEYUP;
        keys.push_back(in);
    }
    ASSERT_EQ(SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT)), keys.size());
    ASSERT_TRUE(pump_until([] { return probe.lines == flood; }, 120000));
    probe.server = nullptr;
    EXPECT_EQ(probe.typed, "hello");
    EXPECT_GE(probe.lines_at_typed, 20);
    EXPECT_LT(probe.lines_at_typed, flood / 2);
    std::printf("[ figure ] the typed line went out after %d of %d flood lines\n", probe.lines_at_typed, flood);
    hang_up(&chat);
}

bool status_says(const wchar_t *text)
{
    return status_window && newest_status().find(text) != std::wstring::npos;
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

    // The web server's failure comes from the login thread: a web port where nothing
    // listens. It is shown on this thread.
    fakepeer chat;
    connect(&chat);
    uint16_t closed_port = 0;
    {
        fakepeer web;
        ASSERT_TRUE(fakepeer_listen(&web));
        closed_port = web.port;
    }
    LVC_SetWebPort(closed_port);
    mainwnd_start_login_timer(main_frame);
    LVC_RegisterNick("anna", "");
    ASSERT_TRUE(pump_until([] { return status_says(L"- error: web server"); }, 10000));
    EXPECT_EQ(main_frame->login_timer, 0u);
    EXPECT_EQ(status_part(1), L"not logged in.");
    LVC_SetWebPort(80);
    hang_up(&chat);
}

}  // namespace
