// Helpers shared by the chat window suites: one main frame per test program with its
// status window and room list, the status text box's newest line, the protocol client's
// state for commands that need a connection or a login, a fake chat server the client is
// connected to, and a watcher that answers a message box from another thread.
#pragma once

#include "protocol/internal.h"
#include "settings/cfgproc.h"
#include "tests/support/eventlog.h"
#include "tests/support/fakepeer.h"
#include "tests/win/wintest.h"
#include "text/string.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

// The frame is made once: the status window and the room list live for the program.
inline mainwnd *uitest_frame()
{
    static mainwnd *mw = [] {
        wintest_init();
        config_setdefaults(config_table);
        mainwnd *created = mainwnd_create();
        wintest_flush();
        return created;
    }();
    return mw;
}

// The fixture of the window suites: the program's one frame with its status window and
// room list.
struct UiFrame : ::testing::Test {
    mainwnd *mw = nullptr;
    statwnd *sw = nullptr;
    rlistwnd *rw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
        sw = mw->statwnd;
        rw = mw->rlistwnd;
        ASSERT_NE(sw, nullptr);
        ASSERT_NE(rw, nullptr);
        ASSERT_EQ(sw, status_window);
        ASSERT_EQ(rw, roomlist_window);
    }
};

inline const vel_textbox_line *uitest_newest_line(const statwnd *sw)
{
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(sw->textbox);
    return box && box->lines ? static_cast<const vel_textbox_line *>(box->lines->data) : nullptr;
}

inline std::wstring uitest_newest_text(const statwnd *sw)
{
    const vel_textbox_line *line = uitest_newest_line(sw);
    return line ? std::wstring(line->text, static_cast<size_t>(line->length)) : std::wstring();
}

// Types a line into the status window's input line and sends it with Enter.
inline void uitest_type(const statwnd *sw, const std::wstring &text)
{
    vel_widget_settext(sw->edit, text.c_str());
    SendMessageW(sw->edit->hwnd, WM_CHAR, VK_RETURN, 0);
    wintest_flush();
}

// The colour a markup name stands for.
inline COLORREF uitest_colour(const char *markup)
{
    char16_t text[64];
    uint32_t colours[64];
    LVC_CStringParserW(text, colours, markup, 0);
    return colours[0];
}

// A double click on `item` of a list view (-1: off the items), as the list reports it to
// its window.
inline void uitest_list_dblclk(const vel_widget *list, int item)
{
    NMITEMACTIVATE dbl{};
    dbl.hdr.hwndFrom = list->hwnd;
    dbl.hdr.idFrom = static_cast<UINT_PTR>(list->id);
    dbl.hdr.code = NM_DBLCLK;
    dbl.iItem = item;
    SendMessageW(GetParent(list->hwnd), WM_NOTIFY, dbl.hdr.idFrom, reinterpret_cast<LPARAM>(&dbl));
}

// Selects `item` of a list view and picks `id` from the list's right-click menu.
inline void uitest_list_menu_pick(const vel_widget *list, int item, UINT id)
{
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED;
    SendMessageW(list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    wintest_menu_pick pick(id);
    SendMessageW(list->hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->hwnd), -1);
    wintest_flush();
}

// Pretends a connection and a login state without a socket, for the checks that the
// commands make before they send; restored when the scope ends.
struct uitest_state {
    int old_connected = lvc.connected;
    int old_login = lvc.loginstate;
    uitest_state(int connected, int login)
    {
        lvc.connected = connected;
        lvc.loginstate = login;
    }
    ~uitest_state()
    {
        lvc.connected = old_connected;
        lvc.loginstate = old_login;
    }
    uitest_state(const uitest_state &) = delete;
    uitest_state &operator=(const uitest_state &) = delete;
};

// Waits, pumping, until the event log holds a line starting with `prefix` (see
// eventlog_wait); 1, or 0 after `ms`.
inline int uitest_wait_event(const char *prefix, DWORD ms = 10000)
{
    return wintest_pump_until([&] { return eventlog_wait(prefix, 0) != 0; }, ms);
}

// The program's own connection-event callback, where a suite runs the client with the
// program's callbacks; the events are recorded as well, so that the waits below see them.
inline LVC_Callback uitest_program_event = nullptr;

inline int uitest_recorded_event(int code, void *record)
{
    eventlog_event(code, record);
    return uitest_program_event ? uitest_program_event(code, record) : 0;
}

// The protocol client talking to a fake chat server on loopback, every callback recorded
// by the event log (or the program's callbacks, the connection events recorded too). This
// thread pumps its messages whenever it waits for the network: the connection's threads
// may hand work to it with sent messages, and a thread that blocks without pumping would
// hang the test.
struct uitest_chat {
    static constexpr int32_t ping = 15;
    fakepeer peer;

    // Starts the client and the server's listening socket; 1 or 0. Without callbacks the
    // event log takes every one.
    int listen(LVC_Callback packet = nullptr, LVC_Callback event = nullptr, LVC_Callback exception = nullptr)
    {
        uitest_program_event = event;
        const int started = packet ? LVC_Init(packet, uitest_recorded_event, exception)
                                   : LVC_Init(eventlog_packet, eventlog_event, eventlog_exception);
        if (!started)
            return 0;
        eventlog_take();
        return fakepeer_listen(&peer);
    }
    // Accepts the connection the client was asked to make and waits for its connect
    // event; the event log is then emptied. 1 or 0.
    int accept(DWORD ms = 10000)
    {
        if (!wintest_pump_until([&] { return lvsock_wait_readable(peer.listener, 0) == 1; }, ms) ||
            !fakepeer_accept(&peer, 1000) || !uitest_wait_event("E6", ms))
            return 0;
        eventlog_take();
        return 1;
    }
    // listen, connect and accept; 1 once connected.
    int connect()
    {
        if (!listen())
            return 0;
        LVC_Connect("127.0.0.1", peer.port, 0, "", 0);
        return accept();
    }
    // The next packet the client sends, pings skipped (the keep-alive thread's timing is
    // its own); 0 on time-out or end of stream.
    int next(fakepeer_packet *packet, DWORD ms = 10000)
    {
        do {
            if (!wintest_pump_until([&] { return lvsock_wait_readable(peer.conn, 0) != 0; }, ms) ||
                !fakepeer_recv_packet(&peer, packet, 5000))
                return 0;
        } while (packet->type == ping);
        return 1;
    }
    // Closes the connection (the server answering the client's shut-down by closing too),
    // waits for the closed event and stops the client; the event log is then emptied.
    void close()
    {
        if (LVC_Close()) {
            wintest_pump_until([&] { return fakepeer_wait_eof(&peer, 0) != 0; }, 2000);
            fakepeer_hangup(&peer);
            uitest_wait_event("E7");
        }
        LVC_Cleanup();  // joins the connection's threads: they have no more to hand over
        eventlog_take();
    }
};

// A window suite's fixture with the client connected to a fake chat server for each test.
template <typename Base>
struct UiConnected : Base {
    uitest_chat chat;
    void SetUp() override
    {
        Base::SetUp();
        ASSERT_FALSE(this->HasFatalFailure());
        ASSERT_TRUE(chat.connect());
    }
    void TearDown() override
    {
        chat.close();
        Base::TearDown();
    }
    // The next packet the client sends (a failed test when none comes).
    fakepeer_packet next()
    {
        fakepeer_packet p{};
        EXPECT_TRUE(chat.next(&p));
        return p;
    }
};

// Waits on its own thread for a message box with `caption`, keeps its text and answers it
// with `button`.
struct uitest_msgbox_watch {
    std::wstring caption;
    std::wstring text;
    bool found = false;
    std::atomic<bool> stop{false};
    std::thread thread;
    explicit uitest_msgbox_watch(const wchar_t *title, int button = IDOK) : caption(title)
    {
        thread = std::thread([this, button] {
            for (int i = 0; i < 500 && !stop; i++) {
                if (HWND box = FindWindowW(L"#32770", caption.c_str())) {
                    wchar_t buf[256] = {};
                    GetDlgItemTextW(box, 0xFFFF, buf, 256);
                    text = buf;
                    found = true;
                    PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                    return;
                }
                Sleep(10);
            }
        });
    }
    ~uitest_msgbox_watch()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
    uitest_msgbox_watch(const uitest_msgbox_watch &) = delete;
    uitest_msgbox_watch &operator=(const uitest_msgbox_watch &) = delete;
    // Joins the watcher; `found` and `text` are then final.
    void finish()
    {
        if (thread.joinable())
            thread.join();
    }
};
