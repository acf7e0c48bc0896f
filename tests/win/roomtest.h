// Helpers of the room window suites: rooms and users in the directory, the lines of a
// room window's boxes, and a pretend connection whose requests a fake server reads.
#pragma once

#include "protocol/internal.h"
#include "tests/support/fakepeer.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "ui/chatwnd.h"
#include "ui/chatwnd_list.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

// Room settings that every case starts from.
inline void roomtest_defaults()
{
    cfg_szoba_timestamp = 0;
    cfg_szoba_kibe = 1;
    cfg_szoba_flash = 0;
    cfg_szoba_showprefix = 0;
    cfg_szoba_log = 0;
    config_set_string(&cfg_szoba_prefix, "");
}

inline std::wstring roomtest_text(const vel_textbox_line *line)
{
    return line ? std::wstring(line->text, static_cast<size_t>(line->length)) : std::wstring();
}

// The newest line of a text box, `back` lines before it.
inline const vel_textbox_line *roomtest_line(const vel_widget *box_widget, int back = 0)
{
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(box_widget);
    if (!box || !box->lines)
        return nullptr;
    const vel_list_node *n = box->lines;
    for (int i = 0; i < back; i++) {
        n = n->next;
        if (n == box->lines)
            return nullptr;
    }
    return static_cast<const vel_textbox_line *>(n->data);
}

inline std::wstring roomtest_newest(const chatwnd *cw, int back = 0)
{
    return roomtest_text(roomtest_line(cw->messages, back));
}

inline int roomtest_line_count(const chatwnd *cw)
{
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(cw->messages);
    return box ? box->line_count : 0;
}

inline std::wstring roomtest_item(const chatwnd *cw, int item)
{
    wchar_t text[128] = {};
    vel_listview_getitemtext(cw->userlist, item, 0, text, 128);
    return text;
}

// Types a line into the room's input line and sends it with Enter.
inline void roomtest_type(const chatwnd *cw, const std::wstring &text)
{
    vel_widget_settext(cw->input, text.c_str());
    SendMessageW(cw->input->hwnd, WM_CHAR, VK_RETURN, 0);
    wintest_flush();
}

// A user in a room of the directory, with a nick and rights.
inline User *roomtest_user(Room *room, int32_t id, const char *nick, int32_t perms)
{
    User *user = user_add(room->id, id, nick, perms);
    if (user)
        user->perms = perms;
    return user;
}

// The client's socket connected to a fake server, without a reader thread: the requests
// the windows send are read back as packets. The connection flag is restored at the end.
struct roomtest_wire {
    fakepeer chat;
    lvsock sock = LVSOCK_INVALID;
    roomtest_wire()
    {
        static const int started = [] {
            int error = 0;
            void *description = nullptr;
            return lvsock_startup(&error, &description);
        }();
        EXPECT_EQ(started, 1);
        uint32_t addr = 0;
        EXPECT_TRUE(fakepeer_listen(&chat));
        EXPECT_TRUE(lvsock_resolve("127.0.0.1", &addr));
        sock = lvsock_tcp();
        EXPECT_TRUE(lvsock_connect(sock, addr, chat.port));
        EXPECT_TRUE(fakepeer_accept(&chat));
        std::scoped_lock lock(lvc.sendlock, lvc.socklock);
        lvc.sock = sock;
        lvc.connected = 1;
    }
    ~roomtest_wire()
    {
        {
            std::scoped_lock lock(lvc.sendlock, lvc.socklock);
            lvc.connected = 0;
            lvc.sock = LVSOCK_INVALID;
        }
        lvsock_close(sock);
    }
    roomtest_wire(const roomtest_wire &) = delete;
    roomtest_wire &operator=(const roomtest_wire &) = delete;
    fakepeer_packet next()
    {
        fakepeer_packet p{};
        EXPECT_TRUE(fakepeer_recv_packet(&chat, &p, 3000));
        return p;
    }
};

// Payloads of the requests, field by field.
inline fakepeer_bytes roomtest_operator(int function, int32_t id)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, static_cast<uint8_t>(function));
    fakepeer_put_int(&b, id);
    return b;
}

inline fakepeer_bytes roomtest_operator(int function, int32_t id, const std::string &text)
{
    fakepeer_bytes b = roomtest_operator(function, id);
    fakepeer_put_utf(&b, text);
    return b;
}

inline fakepeer_bytes roomtest_operator(int function, int32_t id, int32_t user)
{
    fakepeer_bytes b = roomtest_operator(function, id);
    fakepeer_put_int(&b, user);
    return b;
}

inline fakepeer_bytes roomtest_message(int kind, int32_t room, const std::string &prefix, const std::string &text)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, static_cast<uint8_t>(kind));
    fakepeer_put_int(&b, room);
    fakepeer_put_utf(&b, prefix);
    fakepeer_put_utf(&b, text);
    return b;
}

inline fakepeer_bytes roomtest_ints(std::initializer_list<int32_t> values)
{
    fakepeer_bytes b;
    for (int32_t v : values)
        fakepeer_put_int(&b, v);
    return b;
}

constexpr int32_t ROOMTEST_T_OPERATOR = 4;
constexpr int32_t ROOMTEST_T_ENTER = 5;
constexpr int32_t ROOMTEST_T_LEAVE = 6;
constexpr int32_t ROOMTEST_T_MESSAGE = 7;

// One room window per case, closed at the end unless the case closed it.
struct RoomWindow : ::testing::Test {
    mainwnd *mw = nullptr;
    Room *room = nullptr;
    chatwnd *cw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
        roomtest_defaults();
    }
    // A room of the directory (made anew) with its window.
    chatwnd *open(int32_t id, const char *name = "Inda", const char *theme = "$red$tema")
    {
        room_del(id);
        room = room_add(id, name, theme, 0, 0);
        EXPECT_NE(room, nullptr);
        cw = room ? chatwnd_create(mw, room) : nullptr;
        EXPECT_NE(cw, nullptr);
        wintest_flush();
        return cw;
    }
    void close()
    {
        if (cw && room && room->chatwnd == cw)
            SendMessageW(cw->wnd->hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
        cw = nullptr;
    }
    void TearDown() override
    {
        close();
        if (room)
            room_del(room->id);
    }
};
