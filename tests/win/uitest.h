// Helpers shared by the chat window suites: one main frame per test program with its
// status window and room list, the status text box's newest line, the protocol client's
// state for commands that need a connection or a login, and a watcher that answers a
// message box from another thread.
#pragma once

#include "app/cfgproc.h"
#include "protocol/internal.h"
#include "tests/win/wintest.h"
#include "text/string.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

// Loopback connections between the protocol client and a fake server stall under the
// Wine of this machine (the game suite's connection stalls the same way), so the suites
// that need one run only when LV_UI_NET_TESTS is set.
inline bool uitest_net_enabled()
{
    const char *v = std::getenv("LV_UI_NET_TESTS");
    return v && *v && *v != '0';
}

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

// Waits on its own thread for a message box with `caption`, keeps its text and closes it.
struct uitest_msgbox_watch {
    std::wstring caption;
    std::wstring text;
    bool found = false;
    std::atomic<bool> stop{false};
    std::thread thread;
    explicit uitest_msgbox_watch(const wchar_t *title) : caption(title)
    {
        thread = std::thread([this] {
            for (int i = 0; i < 500 && !stop; i++) {
                if (HWND box = FindWindowW(L"#32770", caption.c_str())) {
                    wchar_t buf[256] = {};
                    GetDlgItemTextW(box, 0xFFFF, buf, 256);
                    text = buf;
                    found = true;
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
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
