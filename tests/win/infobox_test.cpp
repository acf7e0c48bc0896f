// Information boxes: the texts of rooms and users (dates, hexadecimal fields, permission
// names), the window with its caption, registration, Escape and Ctrl+O, and the room
// list's ways of opening one.

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/win/boxtest.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/util.h"
#include "ui/infobox.h"

#include <richedit.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

// The platform's own 24-character date, without the line break.
std::wstring platform_date(int32_t id)
{
    time_t when = id;
    std::string text = std::ctime(&when);
    text.pop_back();
    return std::wstring(text.begin(), text.end());
}

std::wstring describe(int kind, const void *subject, std::wstring *caption = nullptr)
{
    std::wstring c, t;
    EXPECT_EQ(infobox_describe(kind, subject, &c, &t), 1);
    if (caption)
        *caption = c;
    return t;
}

struct RoomRecord {
    Room room{};
    std::string name, theme;
    RoomRecord(int32_t id, const char *n, const char *t, int32_t states, int32_t users) : name(n), theme(t)
    {
        room.id = id;
        room.name = name.data();
        room.theme = theme.data();
        room.states = states;
        room.usercnt = users;
    }
};

User make_user(int32_t id, const char *nick, int32_t perms, Room *room)
{
    User u{};
    u.id = id;
    std::snprintf(u.nick, sizeof u.nick, "%s", nick);
    u.perms = perms;
    u.room = room;
    return u;
}

TEST(InfoboxText, Rooms)
{
    RoomRecord permanent(999999, "F\xc5\x91 szoba", "$red$Udv $blue$mindenkinek http://x.hu", 0x5, 31);
    std::wstring caption;
    EXPECT_EQ(describe(INFOBOX_ROOM, &permanent.room, &caption),
              L"name:\tF\u0151 szoba\ndate:\t\u00e1lland\u00f3 szoba\nid:\t999999\nstates:\t0x00000005\n"
              L"users:\t31\ntopic:\tUdv mindenkinek http://x.hu\n\n$red$Udv $blue$mindenkinek http://x.hu");
    EXPECT_EQ(caption, L"F\u0151 szoba");

    RoomRecord dated(1000000, "Sajat", "", static_cast<int32_t>(0x80000010), 0);
    EXPECT_EQ(describe(INFOBOX_ROOM, &dated.room),
              L"name:\tSajat\ndate:\t" + platform_date(1000000) +
                  L"\nid:\t1000000\nstates:\t0x80000010\nusers:\t0\ntopic:\t\n\n");
    // 12 January 1970, whatever the local zone.
    EXPECT_NE(platform_date(1000000).find(L"Jan 12"), std::wstring::npos);

    Room bare{};
    bare.id = -1;
    EXPECT_EQ(describe(INFOBOX_ROOM, &bare),
              L"name:\t\ndate:\t\u00e1lland\u00f3 szoba\nid:\t-1\nstates:\t0x00000000\nusers:\t0\ntopic:\t\n\n");
}

TEST(InfoboxText, Dates)
{
    for (int32_t id : {1000000, 1000001, 1234567890, 2147483647}) {
        std::string date = infobox_date(id, "x");
        EXPECT_EQ(date.size(), 24u) << id;
        EXPECT_EQ(std::wstring(date.begin(), date.end()), platform_date(id)) << id;
    }
    EXPECT_EQ(infobox_date(999999, "regisztr\xc3\xa1lt user"), "regisztr\xc3\xa1lt user");
    EXPECT_EQ(infobox_date(INT32_MIN, "p"), "p");
}

TEST(InfoboxText, UsersAndPermissionNames)
{
    RoomRecord room(5, "Fo", "", 0, 2);
    struct Case {
        int32_t id, perms;
        std::wstring date, perms_text;
    };
    const std::wstring registered = L"regisztr\u00e1lt user";
    const Case cases[] = {
        {12, 0x40010001, registered, L"0x40010001\n\tcanChTheme\n\tcanSpeak\n\tMEGAOP\n\t"},
        {999999, 1 << 12, registered, L"0x00001000\n\tbit #12\n\t"},
        {1000000, 0, platform_date(1000000), L"0x00000000\n\t"},
        {77, 0x1, registered, L"0x00000001\n\tcanChTheme\n\t"},
        {78, 0x00078000, registered, L"0x00078000\n\tisEgyesuletTag\n\tcanSpeak\n\tisAsleep2\n\tisAsleep\n\t"},
        {79, static_cast<int32_t>(0xF0000000), registered, L"0xf0000000\n\tSzOP\n\tROP\n\tMEGAOP\n\tVIP\n\t"},
        {80, 0x0FF80400, registered,
         L"0x0ff80400\n\tbit #10\n\tbit #19\n\tbit #20\n\tbit #21\n\tbit #22\n\tbit #23\n\tbit #24\n\tbit #25\n\t"
         L"bit #26\n\tbit #27\n\t"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.perms);
        User u = make_user(c.id, "anna", c.perms, &room.room);
        std::wstring caption;
        EXPECT_EQ(describe(INFOBOX_USER, &u, &caption),
                  L"name:\tanna\ndate:\t" + c.date + L"\nid:\t" + std::to_wstring(c.id) + L"\nperms:\t" + c.perms_text);
        EXPECT_EQ(caption, L"anna @ Fo");
    }
    // Every bit set: the 18 names and 14 numbers, in bit order.
    User all = make_user(5, "b", -1, nullptr);
    std::wstring text = describe(INFOBOX_USER, &all);
    std::wstring want = L"perms:\t0xffffffff\n\t";
    for (int bit = 0; bit < 32; bit++) {
        const char *name = infobox_perm_name(bit);
        std::string n = name ? name : "bit #" + std::to_string(bit);
        want += std::wstring(n.begin(), n.end()) + L"\n\t";
    }
    EXPECT_EQ(text.substr(text.find(L"perms:")), want);
    int named = 0;
    for (int bit = 0; bit < 32; bit++)
        named += infobox_perm_name(bit) != nullptr;
    EXPECT_EQ(named, 18);
    EXPECT_EQ(infobox_perm_name(32), nullptr);
    EXPECT_EQ(infobox_perm_name(-1), nullptr);

    std::wstring caption;
    describe(INFOBOX_USER, &all, &caption);
    EXPECT_EQ(caption, L"b @ ") << "a user without a room";

    std::wstring c, t;
    EXPECT_EQ(infobox_describe(3, &all, &c, &t), 0);
    EXPECT_EQ(infobox_describe(INFOBOX_ROOM, nullptr, &c, &t), 0);
}

// ---------------------------------------------------------------- the window

std::vector<std::wstring> opened_urls;

INT_PTR record_url(const wchar_t *url)
{
    opened_urls.push_back(url);
    return 0;
}

struct InfoboxWindow : ::testing::Test {
    mainwnd *mw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
        opened_urls.clear();
        infobox_url_opener = record_url;
    }
    void TearDown() override
    {
        for (vel_window *w : boxes())
            SendMessageW(w->hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
        infobox_url_opener = vel_util_open_url;
    }
    // The open information boxes, newest first.
    std::vector<vel_window *> boxes() const
    {
        std::vector<vel_window *> out;
        const vel_list_node *head = mw->frame->children;
        if (!head)
            return out;
        const vel_list_node *node = head;
        do {
            auto *w = static_cast<vel_window *>(node->data);
            if (w && w->proc == infobox_wndproc)
                out.push_back(w);
            node = node->next;
        } while (node != head);
        return out;
    }
};

TEST_F(InfoboxWindow, RoomBoxShowsItsText)
{
    RoomRecord r(1000000, "Sajat szoba", "$green$Anna szobaja www.lorvando.hu", 0x10, 3);
    infobox *ib = infobox_create(mw, INFOBOX_ROOM, &r.room);
    ASSERT_NE(ib, nullptr);
    wintest_flush();
    wchar_t caption[64] = {};
    GetWindowTextW(ib->wnd->hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Sajat szoba");
    EXPECT_EQ(boxtest_text(ib->text_view), describe(INFOBOX_ROOM, &r.room));
    EXPECT_EQ(boxtest_entry_text(mw, ib->wnd), L"c Sajat szoba_");
    EXPECT_EQ(mainwnd_get_button(mw, ib->wnd), ib->winlist_entry);
    EXPECT_EQ(boxtest_tooltip(ib->winlist_entry), L"Sajat szoba");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(ib->wnd->hwnd, WM_GETICON, ICON_SMALL, 0)), ib->icon);
    EXPECT_NE(ib->icon, nullptr);
    // Read-only, and the text view fills the window 2 pixels in from each edge.
    EXPECT_TRUE(GetWindowLongW(ib->text_view->hwnd, GWL_STYLE) & ES_READONLY);
    RECT client, view;
    GetClientRect(ib->wnd->hwnd, &client);
    GetWindowRect(ib->text_view->hwnd, &view);
    MapWindowPoints(nullptr, ib->wnd->hwnd, reinterpret_cast<POINT *>(&view), 2);
    EXPECT_EQ(view.left, 2);
    EXPECT_EQ(view.top, 2);
    EXPECT_EQ(view.right, client.right - 2);
    EXPECT_EQ(view.bottom, client.bottom - 2);
}

TEST_F(InfoboxWindow, UserBoxCaptionAndEveryRequestANewBox)
{
    RoomRecord r(5, "Fo", "", 0, 1);
    User u = make_user(1234567, "anna", 0x40010001, &r.room);
    infobox *first = infobox_create(mw, INFOBOX_USER, &u);
    infobox *second = infobox_create(mw, INFOBOX_USER, &u);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    wintest_flush();
    wchar_t caption[64] = {};
    GetWindowTextW(second->wnd->hwnd, caption, 64);
    EXPECT_STREQ(caption, L"anna @ Fo");
    EXPECT_EQ(boxtest_text(second->text_view), describe(INFOBOX_USER, &u));
    EXPECT_EQ(boxes().size(), 2u);
    EXPECT_EQ(infobox_create(mw, 7, &u), nullptr);
    EXPECT_EQ(infobox_create(mw, INFOBOX_USER, nullptr), nullptr);
    EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(InfoboxWindow, EscapeClosesFromTheWindowAndFromTheText)
{
    RoomRecord r(5, "Fo", "", 0, 1);
    for (bool in_text : {false, true}) {
        SCOPED_TRACE(in_text);
        infobox *ib = infobox_create(mw, INFOBOX_ROOM, &r.room);
        ASSERT_NE(ib, nullptr);
        wintest_flush();
        vel_window *wnd = ib->wnd;
        HWND hwnd = wnd->hwnd;
        ASSERT_GE(mainwnd_find_listitem(mw, wnd), 0);
        SendMessageW(in_text ? ib->text_view->hwnd : hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(IsWindow(hwnd)) << "the close request is posted";
        wintest_flush();
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_LT(mainwnd_find_listitem(mw, wnd), 0);
        EXPECT_EQ(mainwnd_get_button(mw, wnd), nullptr);
    }
    // Other keys do nothing.
    infobox *ib = infobox_create(mw, INFOBOX_ROOM, &r.room);
    ASSERT_NE(ib, nullptr);
    SendMessageW(ib->text_view->hwnd, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(ib->wnd->hwnd, WM_KEYDOWN, 'X', 0);
    wintest_flush();
    EXPECT_TRUE(IsWindow(ib->wnd->hwnd));
}

TEST_F(InfoboxWindow, CtrlOOpensTheSelection)
{
    RoomRecord r(5, "Fo", "$red$Udv http://www.lorvando.hu/szoba vege", 0, 1);
    infobox *ib = infobox_create(mw, INFOBOX_ROOM, &r.room);
    ASSERT_NE(ib, nullptr);
    wintest_flush();
    const std::wstring text = boxtest_text(ib->text_view);
    const std::wstring url = L"http://www.lorvando.hu/szoba";
    const size_t at = text.find(url);
    ASSERT_NE(at, std::wstring::npos);
    // Every line break before the address is one character in the control.
    CHARRANGE sel{static_cast<LONG>(at), static_cast<LONG>(at + url.size())};
    SendMessageW(ib->text_view->hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));

    SendMessageW(ib->wnd->hwnd, WM_SYSCOMMAND, IDC_KEY_CTRL_O, 0);
    ASSERT_EQ(opened_urls.size(), 1u);
    EXPECT_EQ(opened_urls[0], url);

    // The key comes through the frame to the active child as a command.
    vel_mdichild_activate(ib->wnd);
    wintest_flush();
    ASSERT_EQ(mw->frame->active_child, ib->wnd);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_KEY_CTRL_O, 1), 0);
    ASSERT_EQ(opened_urls.size(), 2u);
    EXPECT_EQ(opened_urls[1], url);

    // Nothing selected: nothing to open.
    sel = {3, 3};
    SendMessageW(ib->text_view->hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    SendMessageW(ib->wnd->hwnd, WM_SYSCOMMAND, IDC_KEY_CTRL_O, 0);
    EXPECT_EQ(opened_urls.size(), 2u);
    EXPECT_TRUE(IsWindow(ib->wnd->hwnd));
}

// ---------------------------------------------------------------- from the room list

struct RoomListInfo : InfoboxWindow {
    rlistwnd *rw = nullptr;
    void SetUp() override
    {
        InfoboxWindow::SetUp();
        rw = mw->rlistwnd;
        ASSERT_NE(rw, nullptr);
        rlistwnd_deleteall(rw);
        LVC_FreeRoomlist();
    }
    void TearDown() override
    {
        rlistwnd_deleteall(rw);
        LVC_FreeRoomlist();
        InfoboxWindow::TearDown();
    }
    void select(int item)
    {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
        wintest_flush();
    }
    void right_double_click(int item)
    {
        NMITEMACTIVATE dbl{};
        dbl.hdr.hwndFrom = rw->list->hwnd;
        dbl.hdr.idFrom = static_cast<UINT_PTR>(rw->list->id);
        dbl.hdr.code = NM_RDBLCLK;
        dbl.iItem = item;
        SendMessageW(rw->wnd->hwnd, WM_NOTIFY, dbl.hdr.idFrom, reinterpret_cast<LPARAM>(&dbl));
        wintest_flush();
    }
    std::wstring newest_caption() const
    {
        std::vector<vel_window *> all = boxes();
        wchar_t caption[64] = {};
        if (!all.empty())
            GetWindowTextW(all.front()->hwnd, caption, 64);
        return caption;
    }
};

TEST_F(RoomListInfo, InfoItemOpensABoxForTheSelectedRoom)
{
    Room *a = room_add(5, "Alfa", "tema", 0, 3);
    Room *b = room_add(6, "Beta", "", 0, 1);
    ASSERT_EQ(rlistwnd_add_room(rw, a), 1);
    ASSERT_EQ(rlistwnd_add_room(rw, b), 1);
    // Nothing selected: nothing opens.
    SendMessageW(rw->list->hwnd, WM_COMMAND, RLISTWND_CMD_INFO, 0);
    wintest_flush();
    EXPECT_TRUE(boxes().empty());

    select(1);
    SendMessageW(rw->list->hwnd, WM_COMMAND, RLISTWND_CMD_INFO, 0);
    wintest_flush();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(newest_caption(), L"Beta");
}

TEST_F(RoomListInfo, RightDoubleClickOpensTheRoomUnderTheMouse)
{
    Room *a = room_add(5, "Alfa", "tema", 0, 3);
    Room *b = room_add(1000007, "Beta", "", 0x10, 1);
    ASSERT_EQ(rlistwnd_add_room(rw, a), 1);
    ASSERT_EQ(rlistwnd_add_room(rw, b), 1);
    right_double_click(1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(newest_caption(), L"Alfa") << "y Alfa sorts after e Beta";
    right_double_click(0);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(newest_caption(), L"Beta");
    right_double_click(-1);
    EXPECT_EQ(boxes().size(), 2u) << "off the items nothing opens";
}

}  // namespace
