// The room window under the platform: creation, message layouts, the line limit, the
// topic bar, the menus and their states, the user list, the registry and closing.

#include "app/dispatch.h"
#include "resources/resource.h"
#include "settings/util.h"
#include "tests/support/tempfile.h"
#include "tests/win/roomtest.h"
#include "toolkit/mdichild.h"
#include "toolkit/window.h"
#include "ui/drawwnd.h"
#include "ui/privwnd.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

COLORREF colour_at(const vel_textbox_line *line, const std::wstring &part)
{
    const std::wstring text = roomtest_text(line);
    const size_t at = text.find(part);
    EXPECT_NE(at, std::wstring::npos) << "no " << std::string(part.begin(), part.end());
    return at == std::wstring::npos ? 0xFFFFFFFFu : vel_textbox_colour_at(line, at);
}

RECT child_rect(const vel_widget *w)
{
    RECT rc;
    GetWindowRect(w->hwnd, &rc);
    MapWindowPoints(nullptr, GetParent(w->hwnd), reinterpret_cast<POINT *>(&rc), 2);
    return rc;
}

bool same_rect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::wstring entry_text(mainwnd *mw, const vel_window *child)
{
    wchar_t text[128] = {};
    const int item = mainwnd_find_listitem(mw, child);
    if (item < 0)
        return L"";
    vel_listview_getitemtext(mw->windowlist, item, 0, text, 128);
    return text;
}

TEST_F(RoomWindow, CreationLinksTheRoomAndShowsItsTopicAndDate)
{
    cfg_szoba_timestamp = 1;
    cfg_szoba_kibe = 0;
    cfg_szoba_flash = 1;
    cfg_szoba_showprefix = 1;
    open(101, "Inda", "$red$tema");
    EXPECT_EQ(room->chatwnd, cw);
    EXPECT_EQ(vel_list_get(chatwnd_list, 101), cw);
    EXPECT_EQ(cw->room_id, 101);
    EXPECT_EQ(cw->state, CHATWND_NOT_ENTERED);
    EXPECT_EQ(cw->flags, CHATWND_TIMESTAMP | CHATWND_FLASH | CHATWND_SHOW_TOPIC | CHATWND_PREFIX);
    wchar_t caption[64] = {};
    GetWindowTextW(cw->wnd->hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Inda");
    EXPECT_EQ(entry_text(mw, cw->wnd), L"d Inda_");

    const vel_textbox_line *topic = roomtest_line(cw->topic_box);
    EXPECT_EQ(roomtest_text(topic), L"Inda - tema");
    EXPECT_EQ(topic->style, 2) << "centred";
    EXPECT_EQ(colour_at(topic, L"Inda"), RGB(0xAC, 0xD2, 0xFF));
    EXPECT_EQ(colour_at(topic, L"tema"), uitest_colour("$red$x"));

    const std::wstring date = roomtest_newest(cw);
    EXPECT_EQ(date.size(), std::wstring(L"2026.12.09. 12:00.00").size()) << std::string(date.begin(), date.end());
    EXPECT_EQ(vel_textbox_colour_at(roomtest_line(cw->messages), 0), uitest_colour("$red$x"));
    EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), L"0 csevegô");
    EXPECT_TRUE(IsWindowVisible(cw->topic_box->hwnd));
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(cw->wnd->hwnd, WM_GETICON, ICON_SMALL, 0)), cw->icon);
}

TEST_F(RoomWindow, MessageLayouts)
{
    open(102);
    const COLORREF red = RGB(255, 0, 0), white = RGB(255, 255, 255), magenta = RGB(255, 0, 255);
    const COLORREF pink = RGB(0xFF, 0xAF, 0xAF);
    struct Case {
        uint32_t flags;
        int kind;
        const char *prefix, *suffix, *text;
        int32_t userid;
        const wchar_t *line;
        const wchar_t *part;  // a part of the line and its colour
        COLORREF colour;
    };
    const Case cases[] = {
        // A red prefix with a tag: hidden, the text is red and the tag and suffix vanish.
        {0, 2, "$red$[VIP]", " ~~", "szia", 0, L"<anna> szia", L"szia", red},
        {CHATWND_PREFIX, 2, "$red$[VIP]", " ~~", "szia", 0, L"<anna> [VIP]szia ~~", L"[VIP]szia", red},
        {0, 2, "$00ff00$>>", "", "zold", 0, L"<anna> zold", L"zold", RGB(0, 255, 0)},
        // Without markup the text is white, or magenta for kind 3.
        {0, 2, "[VIP]", "", "szia", 0, L"<anna> szia", L"szia", white},
        {0, 3, "[VIP]", "", "integet", 0, L"anna integet", L"integet", magenta},
        {CHATWND_PREFIX, 3, "", "", "integet", 0, L"anna integet", L"anna", magenta},
        // Kind 3 with the action byte: pink nick; the hidden prefix keeps kind 3's magenta.
        {CHATWND_PREFIX, 3, "", "", "\x01szeret", 0, L"anna szeret", L"szeret", pink},
        {0, 3, "", "", "\x01szeret", 0, L"anna szeret", L"anna", pink},
        {0, 1, "", "", " bejött.", 0, L"*** anna bejött.", L"***", RGB(0xA8, 0xD1, 0xFD)},
        {0, 4, "", "", "/topic uj tema", 0, L">>> /topic uj tema", L">>>", RGB(0xDD, 0xCC, 0xFF)},
        {0, 9, "", "", "x", 0, L"[9] anna: x", L"[9]", white},
        // The user id is appended when asked for and known.
        {CHATWND_USER_ID, 2, "", "", "szia", 42, L"<anna> szia [42]", L"szia", white},
        {CHATWND_USER_ID, 2, "", "", "szia", 0, L"<anna> szia", L"szia", white},
        {0, 2, "", "", "szia", 42, L"<anna> szia", L"szia", white},
        // One slash and a letter is an ordinary message.
        {0, 2, "", "", "/x", 0, L"<anna> /x", L"/x", white},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.prefix << "|" << c.text << "|" << c.flags);
        cw->flags = CHATWND_SHOW_TOPIC | c.flags;
        chatwnd_new_message(cw, c.kind, "anna", c.prefix, c.suffix, c.text, nullptr, c.userid);
        const vel_textbox_line *line = roomtest_line(cw->messages);
        EXPECT_EQ(roomtest_text(line), c.line);
        EXPECT_EQ(colour_at(line, c.part), c.colour);
        EXPECT_EQ(line->userdata, c.userid);
    }
    // With time stamps the line starts with "[hh:mm:ss] ".
    cw->flags = CHATWND_SHOW_TOPIC | CHATWND_TIMESTAMP;
    chatwnd_new_message(cw, 2, "anna", "", "", "szia", nullptr, 0);
    const std::wstring stamped = roomtest_newest(cw);
    ASSERT_EQ(stamped.size(), 11 + std::wstring(L"<anna> szia").size());
    EXPECT_EQ(stamped[0], L'[');
    EXPECT_EQ(stamped.substr(9), L"] <anna> szia");
}

TEST_F(RoomWindow, IgnoredSendersAndDrawingMessagesAddNoLine)
{
    open(103);
    const int before = roomtest_line_count(cw);
    ignore_user(77, 1);
    chatwnd_new_message(cw, 2, "troll", "", "", "hello", nullptr, 77);
    ignore_user(77, 0);
    EXPECT_EQ(roomtest_line_count(cw), before);
    // A text of two slashes goes to the drawing board, not to the messages.
    chatwnd_new_message(cw, 2, "anna", "", "", "//", nullptr, 5);
    chatwnd_new_message(cw, 2, "anna", "", "", "//line 1,2 3,4", nullptr, 5);
    EXPECT_EQ(roomtest_line_count(cw), before);
    chatwnd_new_message(cw, 2, "troll", "", "", "hello", nullptr, 77);
    EXPECT_EQ(roomtest_newest(cw), L"<troll> hello") << "shown again once no longer ignored";
}

TEST_F(RoomWindow, KeepsTheNewest300Lines)
{
    open(104);
    for (int i = 0; i < 310; i++)
        chatwnd_add_line(cw, ("line " + std::to_string(i)).c_str(), i);
    EXPECT_EQ(roomtest_line_count(cw), CHATWND_MAX_LINES);
    EXPECT_EQ(roomtest_newest(cw), L"line 309");
    EXPECT_EQ(roomtest_newest(cw, 299), L"line 10");
    EXPECT_EQ(roomtest_line(cw->messages, 5)->userdata, 304);
}

TEST_F(RoomWindow, TopicBarHiddenAndShownTwiceRestoresTheLayout)
{
    open(105);
    MoveWindow(cw->wnd->hwnd, 0, 0, 420, 330, TRUE);
    wintest_flush();
    const vel_widget *parts[] = {cw->messages, cw->topic_box, cw->usercount_box, cw->userlist, cw->input};
    std::vector<RECT> first;
    for (const vel_widget *w : parts)
        first.push_back(child_rect(w));
    EXPECT_EQ(first[0].top, 22);
    EXPECT_EQ(first[2].top, 21);
    EXPECT_EQ(first[3].top, 40);
    EXPECT_EQ(first[3].right - first[3].left, 147);

    std::vector<RECT> hidden_first;
    for (int round = 0; round < 2; round++) {
        SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, IDC_SHOW_TOPIC, 0);
        wintest_flush();
        EXPECT_FALSE(cw->flags & CHATWND_SHOW_TOPIC);
        EXPECT_FALSE(IsWindowVisible(cw->topic_box->hwnd));
        EXPECT_EQ(child_rect(cw->messages).top, 0);
        EXPECT_EQ(child_rect(cw->usercount_box).top, 0);
        EXPECT_EQ(child_rect(cw->userlist).top, 19);
        EXPECT_EQ(child_rect(cw->messages).bottom, first[0].bottom);
        if (round == 0)
            for (const vel_widget *w : parts)
                hidden_first.push_back(child_rect(w));
        else
            for (size_t i = 0; i < std::size(parts); i++)
                EXPECT_TRUE(same_rect(child_rect(parts[i]), hidden_first[i])) << "child " << i;
        SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, IDC_SHOW_TOPIC, 0);
        wintest_flush();
        EXPECT_TRUE(cw->flags & CHATWND_SHOW_TOPIC);
        EXPECT_TRUE(IsWindowVisible(cw->topic_box->hwnd));
        for (size_t i = 0; i < std::size(parts); i++)
            EXPECT_TRUE(same_rect(child_rect(parts[i]), first[i])) << "round " << round << " child " << i;
    }
}

TEST_F(RoomWindow, SystemMenuHoldsTheRoomEntries)
{
    open(106);
    HMENU system = GetSystemMenu(cw->wnd->hwnd, FALSE);
    ASSERT_NE(system, nullptr);
    struct Entry {
        int pos;
        const wchar_t *text;
        UINT id;  // 0 for a popup or separator
    };
    const Entry entries[] = {
        {0, L"&Nézet", 0}, {1, L"&Operátori funkciók", 0}, {2, L"B&uffer", 0}, {3, L"&Rajztábla", IDC_DRAWING},
        {4, L"&Belépés a szobába", IDC_ENTER_ROOM}, {5, L"&Info", IDC_ROOM_INFO}, {6, L"&Figyelmeztetés", 0},
    };
    for (const Entry &e : entries) {
        wchar_t text[64] = {};
        GetMenuStringW(system, static_cast<UINT>(e.pos), text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, e.text);
        if (e.id)
            EXPECT_EQ(GetMenuItemID(system, e.pos), e.id);
        else
            EXPECT_NE(GetSubMenu(system, e.pos), nullptr);
    }
    EXPECT_TRUE(GetMenuState(system, 7, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetSubMenu(system, 1), GetSubMenu(cw->menu, 1)) << "the topic bar's menu is the operator popup";
}

TEST_F(RoomWindow, MenuStatesFollowTheRoomAndTheOptions)
{
    open(107);
    HMENU system = GetSystemMenu(cw->wnd->hwnd, FALSE);
    auto checked = [&](UINT id) { return (GetMenuState(system, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    auto grayed = [&](UINT id) { return (GetMenuState(system, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    struct Case {
        int32_t myperms, states, state;
        bool topic_on, close_on, close_checked, enter_on;
    };
    const Case cases[] = {
        {0, 0, CHATWND_NOT_ENTERED, false, false, false, true},
        {0x01, 0, CHATWND_INSIDE, true, false, false, false},
        {0x02, 0x04, CHATWND_LEFT, false, true, true, true},
        {0x03, 0x04, CHATWND_ENTRY_REQUESTED, true, true, true, true},
        {0x03, 0x08, CHATWND_INSIDE, true, true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.myperms << "/" << c.states << "/" << c.state);
        room->myperms = c.myperms;
        room->states = c.states;
        cw->state = c.state;
        SendMessageW(cw->wnd->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(system), 0);
        EXPECT_EQ(!grayed(IDC_OP_TOPIC), c.topic_on);
        EXPECT_EQ(!grayed(IDC_OP_CLOSE), c.close_on);
        EXPECT_EQ(checked(IDC_OP_CLOSE), c.close_checked);
        EXPECT_EQ(!grayed(IDC_ENTER_ROOM), c.enter_on);
        // The topic bar's own copy of the popup follows the same rules.
        HMENU popup = GetSubMenu(cw->menu, 1);
        chatwnd_adjust_opfuncmenu(cw, popup);
        EXPECT_EQ((GetMenuState(popup, IDC_OP_TOPIC, MF_BYCOMMAND) & MF_GRAYED) == 0, c.topic_on);
    }
    // Option items are checked with their bits; each command toggles its bit.
    const std::pair<UINT, uint32_t> options[] = {{IDC_KIBE, CHATWND_KIBE},       {IDC_TIMESTAMP, CHATWND_TIMESTAMP},
                                                 {IDC_USERID, CHATWND_USER_ID},  {IDC_FLASH, CHATWND_FLASH},
                                                 {IDC_PREFIX, CHATWND_PREFIX}};
    for (const auto &[id, bit] : options) {
        const uint32_t before = cw->flags;
        SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, id, 0);
        EXPECT_EQ(cw->flags, before ^ bit) << id;
        SendMessageW(cw->wnd->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(system), 0);
        EXPECT_EQ(checked(id), (cw->flags & bit) != 0) << id;
        SendMessageW(cw->wnd->hwnd, WM_COMMAND, id, 0);
        EXPECT_EQ(cw->flags, before) << "a menu command reaches the same handler: " << id;
    }
    EXPECT_TRUE(checked(IDC_SHOW_TOPIC));
    EXPECT_FALSE(checked(IDC_COLOURS_OFF));
    SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, IDC_COLOURS_OFF, 0);
    SendMessageW(cw->wnd->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(system), 0);
    EXPECT_TRUE(checked(IDC_COLOURS_OFF));
    EXPECT_EQ(vel_textbox_get(cw->messages)->colour_mode, 2u);
    EXPECT_FALSE(checked(IDC_DRAWING));
}

TEST_F(RoomWindow, AcceleratorsReachTheActiveRoomWindow)
{
    open(108);
    vel_mdichild_activate(cw->wnd);
    wintest_flush();
    ASSERT_EQ(mw->frame->active_child, cw->wnd);
    const uint32_t before = cw->flags;
    // Alt+T and Ctrl+Alt+F arrive at the frame as accelerator commands.
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_TIMESTAMP, 1), 0);
    EXPECT_EQ(cw->flags, before ^ CHATWND_TIMESTAMP);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_FLASH, 1), 0);
    EXPECT_EQ(cw->flags, before ^ CHATWND_TIMESTAMP ^ CHATWND_FLASH);
}

// Zoomed, the window's system menu sits on the frame's menu bar; its items picked there
// reach the window, also those whose ids the frame's key table shares.
TEST_F(RoomWindow, ZoomedWindowsMenuOnTheFrameBarReachesIt)
{
    open(110);
    vel_mdichild_activate(cw->wnd);
    SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    wintest_flush();
    ASSERT_EQ(mw->frame->zoomed_child, cw->wnd);
    HMENU bar = GetMenu(mw->frame->hwnd);
    HMENU system = GetSubMenu(bar, 0);
    ASSERT_EQ(system, GetSystemMenu(cw->wnd->hwnd, FALSE));
    const uint32_t before = cw->flags;
    for (UINT id : {IDC_TIMESTAMP, IDC_FLASH, IDC_KIBE}) {
        EXPECT_NE(GetMenuState(system, id, MF_BYCOMMAND), static_cast<UINT>(-1)) << id;
        SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);  // as the menu sends it
    }
    EXPECT_EQ(cw->flags, before ^ CHATWND_TIMESTAMP ^ CHATWND_FLASH ^ CHATWND_KIBE);
    // The frame's own menu commands stay the frame's.
    const uint32_t panes = mw->flags & MAINWND_PANES_SHOWN;
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_WINDOWLIST, 0), 0);
    EXPECT_NE(mw->flags & MAINWND_PANES_SHOWN, panes);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_WINDOWLIST, 0), 0);
    EXPECT_EQ(cw->flags, before ^ CHATWND_TIMESTAMP ^ CHATWND_FLASH ^ CHATWND_KIBE);
    SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    wintest_flush();
}

TEST_F(RoomWindow, ActivationClearsTheUnseenMark)
{
    open(109);
    vel_mdichild_activate(mw->statwnd->wnd);
    wintest_flush();
    chatwnd_new_message(cw, 2, "anna", "", "", "szia", nullptr, 0);
    EXPECT_EQ(entry_text(mw, cw->wnd), L"d Inda*");
    vel_mdichild_activate(cw->wnd);
    wintest_flush();
    EXPECT_EQ(entry_text(mw, cw->wnd), L"d Inda_");
}

TEST_F(RoomWindow, StatusAndIconFollowTheRoom)
{
    open(110);
    EXPECT_EQ(chatwnd_room_state(cw->wnd), CHATWND_NOT_ENTERED);
    EXPECT_EQ(chatwnd_room_state(mw->statwnd->wnd), CHATWND_INSIDE) << "not a room window";
    chatwnd_chg_status(cw, CHATWND_INSIDE);
    EXPECT_EQ(cw->state, CHATWND_INSIDE);
    EXPECT_EQ(chatwnd_room_state(cw->wnd), CHATWND_INSIDE);
    room->states = 0x04;
    chatwnd_update_icon(cw);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(cw->wnd->hwnd, WM_GETICON, ICON_SMALL, 0)), cw->icon_closed);
    room->states = 0;
    chatwnd_update_icon(cw);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(cw->wnd->hwnd, WM_GETICON, ICON_SMALL, 0)), cw->icon);
    // The directory owns the topic: replaced as the protocol client replaces it.
    delete[] room->theme;
    room->theme = new char[16];
    std::strcpy(room->theme, "uj $blue$tema");
    chatwnd_update_topic(cw);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->topic_box)), L"Inda - uj tema");
}

TEST_F(RoomWindow, RoomLogHoldsTheHeaderAndEveryLine)
{
    std::remove("s121.log");
    cfg_szoba_log = 1;
    open(121, "Inda", "$red$tema");
    chatwnd_new_message(cw, 2, "anna", "", "", "szia", nullptr, 0);
    chatwnd_add_line(cw, "$blue$kek $$ dollar", 0);
    chatwnd_add_line(cw, "az \xC5\x91r \xC3\xBCl", 0);  // "az őr ül": the log is in the ANSI code page
    cfg_szoba_log = 0;
    chatwnd_add_line(cw, "not logged", 0);
    // The end of the batch writes the lines; the log stays open while the window is.
    log_flush();
    EXPECT_EQ(log_is_open('s', 121), 1);
    std::string text = test_read_file("s121.log");
    close();
    EXPECT_EQ(log_is_open('s', 121), 0) << "closing the window closes its log";
    EXPECT_EQ(test_read_file("s121.log"), text);
    std::remove("s121.log");
    std::erase(text, '\r');
    const size_t date_end = text.find('\n', text.find('\n') + 1);
    ASSERT_NE(date_end, std::string::npos);
    EXPECT_EQ(text.substr(0, 14), "[Inda - tema]\n");
    EXPECT_EQ(date_end - 14, std::string("2026.12.09. 12:00.00").size()) << text;
    EXPECT_EQ(text.substr(date_end + 1), "<anna> szia\nkek $ dollar\naz \xF5r \xFCl\n");
}

TEST_F(RoomWindow, FocusGoesToTheInputLine)
{
    open(122);
    SetFocus(mw->statwnd->wnd->hwnd);
    SetFocus(cw->wnd->hwnd);
    wintest_flush();
    EXPECT_EQ(GetFocus(), cw->input->hwnd);
}

TEST_F(RoomWindow, TheRoomListEntersThroughARealWindow)
{
    room_del(123);
    room = room_add(123, "Belepo", "t", 0, 0);
    ASSERT_NE(room, nullptr);
    rlistwnd_add_room(roomlist_window, room);
    vel_widget_settext(roomlist_window->name_edit, L"Belepo");
    roomtest_wire wire;
    uitest_state logged_in(1, 2);
    rlistwnd_push_button(roomlist_window);
    wintest_flush();
    cw = static_cast<chatwnd *>(room->chatwnd);
    ASSERT_NE(cw, nullptr) << "the window opens at once";
    EXPECT_EQ(cw->state, CHATWND_ENTRY_REQUESTED);
    fakepeer_packet p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_ENTER);
    EXPECT_EQ(p.payload, roomtest_ints({123}));
    // Inside the room the window is only brought forward.
    chatwnd_chg_status(cw, CHATWND_INSIDE);
    vel_mdichild_activate(mw->statwnd->wnd);
    rlistwnd_push_button(roomlist_window);
    wintest_flush();
    EXPECT_EQ(mw->frame->active_child, cw->wnd);
    EXPECT_EQ(cw->state, CHATWND_INSIDE);
    LVC_Ping();
    EXPECT_EQ(wire.next().type, 15) << "no second entry request";
    rlistwnd_del_room(roomlist_window, room);
}

// ---------------------------------------------------------------- the user list

TEST(RoomUsers, SortLetters)
{
    struct Case {
        int32_t perms;
        int is_friend, ignored;
        char letter;
    };
    const Case cases[] = {
        {0x00010000, 0, 0, 'y'},
        {0x00010001, 0, 0, 'e'},
        {0x10010000, 0, 0, 'd'},
        {0x20010000, 0, 0, 'c'},
        {0x20110001, 0, 0, 'g'},
        {static_cast<int32_t>(0x80010000), 0, 0, 'b'},
        {0x40010000, 0, 0, 'a'},
        {static_cast<int32_t>(0xC0010000), 0, 0, 'a'},
        {0x1FF11FFF, 0, 0, 'f'},
        {0x1FF51FFF, 0, 0, 'f'},
        {0x40000000, 0, 0, 'x'},
        {0x00000000, 0, 0, 'x'},
        // A friend without bit 0x10000 sorts as a friend; an ignored operator sorts last.
        {0x00000000, 1, 0, 'h'},
        {0x00010001, 0, 1, 'z'},
        {0x00010001, 1, 1, 'z'},
    };
    for (const Case &c : cases)
        EXPECT_EQ(chatwnd_user_letter(c.perms, c.is_friend, c.ignored), c.letter) << std::hex << c.perms;
}

TEST(RoomUsers, MarksAndColours)
{
    struct Case {
        int32_t perms;
        int is_friend, ignored;
        const wchar_t *mark;
        COLORREF colour;
    };
    const Case cases[] = {
        {0x00010000, 0, 0, L"", RGB(0xFF, 0xFF, 0xFF)},
        {0x00018000, 0, 0, L"", RGB(0x27, 0xF9, 0xB1)},
        {0x00010001, 0, 0, L"@", RGB(0x00, 0xFF, 0xFF)},
        {0x10010000, 0, 0, L"@", RGB(0xFF, 0xC8, 0x00)},
        {0x20010000, 0, 0, L"@", RGB(0xFF, 0xFF, 0x00)},
        {0x20110001, 0, 0, L"", RGB(0xFF, 0xAF, 0xAF)},
        {static_cast<int32_t>(0x80010000), 0, 0, L"@", RGB(0xFF, 0x00, 0x00)},
        {0x40010000, 0, 0, L"#", RGB(0x00, 0xFF, 0x00)},
        // Colour-only rows keep the mark chosen before them.
        {0x40050000, 0, 0, L"#", RGB(0xDC, 0xDC, 0xDC)},
        {0x10030000, 0, 0, L"@", RGB(0x10, 0x2C, 0x4B)},
        {0x1FF11FFF, 0, 0, L"\u00f7", RGB(0xAA, 0xAA, 0xAA)},
        {0x00010000, 1, 0, L"%", RGB(0xBE, 0xFF, 0xB4)},
        // The two examples: a friend without bit 0x10000, an ignored operator.
        {0x00000000, 1, 0, L"!", RGB(0xC0, 0xC0, 0xC0)},
        {0x00010001, 0, 1, L"@", RGB(0x28, 0x28, 0x28)},
    };
    for (const Case &c : cases) {
        const chatwnd_user_look look = chatwnd_user_style(c.perms, c.is_friend, c.ignored);
        EXPECT_STREQ(look.mark, c.mark) << std::hex << c.perms;
        EXPECT_EQ(look.colour, c.colour) << std::hex << c.perms;
    }
}

// The child whose window-list entry has this text, or null (information boxes are kind c).
vel_window *listed(const mainwnd *mw, const std::wstring &entry)
{
    for (int i = 0; i < vel_listview_getitemcount(mw->windowlist); i++) {
        wchar_t text[128] = {};
        vel_listview_getitemtext(mw->windowlist, i, 0, text, 128);
        if (entry == text)
            return reinterpret_cast<vel_window *>(vel_listview_getlparam(mw->windowlist, i));
    }
    return nullptr;
}

void close_listed(const mainwnd *mw, const std::wstring &entry)
{
    if (vel_window *w = listed(mw, entry))
        SendMessageW(w->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
}

// Holds Ctrl down for this thread's key state while it lives.
struct ctrl_held {
    BYTE keys[256];
    ctrl_held()
    {
        GetKeyboardState(keys);
        BYTE down[256];
        std::memcpy(down, keys, sizeof down);
        down[VK_CONTROL] = 0x80;
        SetKeyboardState(down);
    }
    ~ctrl_held() { SetKeyboardState(keys); }
    ctrl_held(const ctrl_held &) = delete;
    ctrl_held &operator=(const ctrl_held &) = delete;
};

// A double click on a user's line or list row opens the conversation with him (with Ctrl:
// his information box, or his nick in the input line); the user list's right-click menu
// and the topic bar's act on the real menus.
TEST_F(RoomWindow, DoubleClicksAndMenusOfLinesUsersAndTopic)
{
    open(119);
    User *user = roomtest_user(room, 601, "cel", 0x10000);
    chatwnd_add_user(cw, user);
    chatwnd_new_message(cw, 2, "cel", "", "", "szia", nullptr, 601);
    const vel_textbox_line *line = roomtest_line(cw->messages);
    ASSERT_NE(line, nullptr);
    SendMessageW(cw->messages->hwnd, VEL_TEXTBOX_DBLCLK, reinterpret_cast<WPARAM>(line), 0);
    wintest_flush();
    privwnd *pw = private_get_entry(601);
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(mw->frame->active_child, pw->wnd);
    SendMessageW(pw->wnd->hwnd, WM_CLOSE, 0, 0);
    {
        ctrl_held ctrl;
        SendMessageW(cw->messages->hwnd, VEL_TEXTBOX_DBLCLK, reinterpret_cast<WPARAM>(line), 0);
    }
    EXPECT_NE(listed(mw, L"c cel @ Inda_"), nullptr);
    close_listed(mw, L"c cel @ Inda_");

    uitest_list_dblclk(cw->userlist, 0);
    wintest_flush();
    ASSERT_NE(private_get_entry(601), nullptr);
    SendMessageW(private_get_entry(601)->wnd->hwnd, WM_CLOSE, 0, 0);
    vel_widget_settext(cw->input, L"");
    {
        ctrl_held ctrl;
        uitest_list_dblclk(cw->userlist, 0);
    }
    wchar_t typed[32] = {};
    vel_widget_gettext(cw->input, typed, 32);
    EXPECT_STREQ(typed, L"cel");

    uitest_list_menu_pick(cw->userlist, 0, USERS_INFO);
    EXPECT_NE(listed(mw, L"c cel @ Inda_"), nullptr);
    close_listed(mw, L"c cel @ Inda_");

    // The topic bar: the operator functions, "&close" allowed by the room's rights.
    room->myperms = 0x02;
    roomtest_wire wire;
    {
        wintest_menu_pick pick(IDC_OP_CLOSE);
        SendMessageW(cw->topic_box->hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(cw->topic_box->hwnd), -1);
    }
    wintest_flush();
    fakepeer_packet p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_OPERATOR);
    EXPECT_EQ(p.payload, roomtest_operator(6, 119));
}

TEST_F(RoomWindow, UsersAreListedInOrderAndCounted)
{
    open(111);
    struct Who {
        int32_t id;
        const char *nick;
        int32_t perms;
        const wchar_t *item;
    };
    const Who users[] = {
        {11, "zoli", 0x00010000, L"y zoli"},
        {12, "bea", 0x40010000, L"a bea"},
        {13, "cecil", 0x00010001, L"e cecil"},
        {14, "adam", 0x00010000, L"y adam"},
    };
    int count = 0;
    for (const Who &w : users) {
        chatwnd_add_user(cw, roomtest_user(room, w.id, w.nick, w.perms));
        chatwnd_update_usercnt(cw);
        EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), std::to_wstring(++count) + L" csevegô");
    }
    // A repeated join lists the user once.
    EXPECT_EQ(chatwnd_add_user(cw, LVC_GetUserInRoom(room, 13)), 1);
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 4);
    const wchar_t *order[] = {L"a bea", L"e cecil", L"y adam", L"y zoli"};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(roomtest_item(cw, i), order[i]);
    // A change of rights moves the user to his new place.
    User *adam = LVC_GetUserInRoom(room, 14);
    adam->perms = static_cast<int32_t>(0x80010000);
    chatwnd_chg_user(cw, adam);
    EXPECT_EQ(roomtest_item(cw, 1), L"b adam");
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 4);
    chatwnd_chg_user(cw, nullptr);
    for (const Who &w : users) {
        chatwnd_del_user(cw, LVC_GetUserInRoom(room, w.id));
        chatwnd_update_usercnt(cw);
        EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), std::to_wstring(--count) + L" csevegô");
        EXPECT_EQ(vel_listview_getitemcount(cw->userlist), count);
    }
    // The column never needs a horizontal scroll bar, with or without a vertical one.
    EXPECT_FALSE(GetWindowLongW(cw->userlist->hwnd, GWL_STYLE) & WS_HSCROLL);
    for (int i = 0; i < 40; i++)
        chatwnd_add_user(cw, roomtest_user(room, 1000 + i, ("u" + std::to_string(i)).c_str(), 0x10000));
    wintest_flush();
    const LONG style = GetWindowLongW(cw->userlist->hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    RECT client;
    GetClientRect(cw->userlist->hwnd, &client);
    EXPECT_EQ(vel_listview_getcolumnwidth(cw->userlist, 0), client.right);
}

TEST_F(RoomWindow, RemovingTheOwnUserMarksTheWindowLeft)
{
    open(112);
    const int32_t old_own = lvc.ownid;
    lvc.ownid = 500;
    chatwnd_chg_status(cw, CHATWND_INSIDE);
    User *other = roomtest_user(room, 501, "masik", 0x10000);
    User *self = roomtest_user(room, 500, "en", 0x10000);
    chatwnd_add_user(cw, other);
    chatwnd_add_user(cw, self);
    chatwnd_del_user(cw, other);
    EXPECT_EQ(cw->state, CHATWND_INSIDE);
    chatwnd_del_user(cw, self);
    EXPECT_EQ(cw->state, CHATWND_LEFT);
    lvc.ownid = old_own;
}

TEST_F(RoomWindow, UserContextMenuStates)
{
    open(113);
    User *target = roomtest_user(room, 601, "cel", 0x00000000);
    const int32_t old_own = lvc.ownid;
    struct Case {
        int32_t own, myperms;
        bool ignored, is_friend;
        bool ask_on, op_on, babel_on, kick_on;
    };
    const Case cases[] = {
        {5, 0, false, false, true, false, false, false},
        {1000000, 0x10, true, false, false, true, false, false},
        {999999, 0x80, false, true, true, false, true, false},
        {5, 0x08, true, true, true, false, false, true},
        {5, 0x98, false, false, true, true, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.own << "/" << c.myperms);
        lvc.ownid = c.own;
        room->myperms = c.myperms;
        ignore_user(601, c.ignored ? 1 : 0);
        friend_user(601, c.is_friend ? 1 : 0, "cel");
        HMENU menu = chatwnd_user_menu(cw, target);
        auto state = [menu](UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND); };
        EXPECT_EQ(!(state(USERS_WHEREIS) & MF_GRAYED), c.ask_on);
        EXPECT_EQ(!(state(USERS_ASK_INFO) & MF_GRAYED), c.ask_on);
        EXPECT_EQ(!(state(USERS_OP) & MF_GRAYED), c.op_on);
        EXPECT_EQ(!(state(USERS_DEOP) & MF_GRAYED), c.op_on);
        EXPECT_EQ(!(state(USERS_BABEL) & MF_GRAYED), c.babel_on);
        EXPECT_TRUE(state(USERS_BABEL) & MF_CHECKED) << "the target lacks bit 0x10000";
        EXPECT_EQ(!(state(USERS_KICK) & MF_GRAYED), c.kick_on);
        EXPECT_EQ((state(USERS_IGNORE) & MF_CHECKED) != 0, c.ignored);
        EXPECT_EQ((state(USERS_FRIEND) & MF_CHECKED) != 0, c.is_friend);
        EXPECT_FALSE(state(USERS_INFO) & MF_GRAYED);
        EXPECT_FALSE(state(USERS_LOVE) & MF_GRAYED);
        EXPECT_FALSE(state(USERS_GAME) & MF_GRAYED);
        EXPECT_TRUE(state(USERS_OPPOSITE) & MF_GRAYED);
        EXPECT_EQ(GetMenuItemCount(menu), 16);
        DestroyMenu(menu);
    }
    ignore_user(601, 0);
    friend_user(601, 0, "cel");
    lvc.ownid = old_own;
}

TEST_F(RoomWindow, DrawnRowsShowMarkAndColour)
{
    open(114);
    ignore_user(701, 1);
    chatwnd_add_user(cw, roomtest_user(room, 701, "WWWWWW", 0x00010001));
    wintest_canvas canvas(147, 17);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTVIEW;
    dis.itemID = 0;
    dis.hDC = canvas.dc();
    dis.rcItem = {0, 0, 147, 17};
    dis.itemData = 701;
    SendMessageW(cw->userlist->hwnd, VEL_WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    int text_pixels = 0, background = 0;
    for (int x = 0; x < 147; x++) {
        for (int y = 0; y < 17; y++) {
            const COLORREF c = canvas.at(x, y);
            text_pixels += c == RGB(0x28, 0x28, 0x28);
            background += c == RGB(0x2B, 0x67, 0xA6);
        }
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(cw->userlist->hwnd, WM_GETFONT, 0, 0));
    const int ink = wintest_text_ink(font, L"WWWWWW", RGB(0x28, 0x28, 0x28), RGB(0x2B, 0x67, 0xA6));
    ASSERT_GT(ink, 0);
    EXPECT_GE(text_pixels, ink / 2) << "the ignored user's text colour";
    EXPECT_GT(background, 147 * 17 / 2);
    // A user no longer in the room draws nothing.
    wintest_canvas empty(147, 17);
    dis.hDC = empty.dc();
    dis.itemData = 702;
    SendMessageW(cw->userlist->hwnd, VEL_WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    EXPECT_EQ(empty.at(70, 8), RGB(0, 0, 0));
    ignore_user(701, 0);
}

// ---------------------------------------------------------------- closing and the directory

// A stand-in drawing board window that notes when it is asked to close, and whether the
// room's picture was still there then.
struct board_probe {
    chatwnd *owner;
    int closes;
    bool surface_alive;
};

int board_probe_proc(vel_window *self, HWND, UINT msg, WPARAM, LPARAM, LRESULT *)
{
    auto *probe = static_cast<board_probe *>(self->user);
    if (probe && msg == WM_CLOSE) {
        probe->closes++;
        probe->surface_alive = probe->owner->board_dc && GetObjectType(probe->owner->board_dc) == OBJ_MEMDC;
    }
    return VEL_CONTINUE;
}

TEST_F(RoomWindow, ClosingClosesTheBoardReleasesTheSurfaceAndLeavesOnce)
{
    open(115);
    board_probe probe{cw, 0, false};
    vel_window *board_wnd = vel_mdichild_create(&probe, nullptr, nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"board",
                                                0, 0, 100, 100, mw->frame, board_probe_proc);
    ASSERT_NE(board_wnd, nullptr);
    drawwnd board{};
    board.wnd = board_wnd;
    board.chat = cw;
    cw->drawwnd = &board;
    HDC dc = cw->board_dc;
    HBITMAP bitmap = cw->board_bitmap;
    ASSERT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    ASSERT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    HWND hwnd = cw->wnd->hwnd;
    HWND board_hwnd = board_wnd->hwnd;
    vel_window *wnd = cw->wnd;
    {
        roomtest_wire wire;
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
        fakepeer_packet leave = wire.next();
        EXPECT_EQ(leave.type, ROOMTEST_T_LEAVE);
        EXPECT_EQ(leave.payload, roomtest_ints({115}));
        // Anything after would be a second leave: a marker request must come next.
        LVC_Ping();
        EXPECT_EQ(wire.next().type, 15);
    }
    cw = nullptr;
    EXPECT_EQ(probe.closes, 1);
    EXPECT_TRUE(probe.surface_alive) << "the board closes before the picture goes";
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(GetObjectType(dc), 0u);
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(room->chatwnd, nullptr);
    EXPECT_EQ(vel_list_get(chatwnd_list, 115), nullptr);
    EXPECT_EQ(mainwnd_find_listitem(mw, wnd), -1);
    if (IsWindow(board_hwnd))
        SendMessageW(board_hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
}

TEST_F(RoomWindow, DestroyedWithoutACloseRequestStillLeavesOnce)
{
    open(124);
    HWND hwnd = cw->wnd->hwnd;
    roomtest_wire wire;
    SendMessageW(mw->mdi_client->hwnd, WM_MDIDESTROY, reinterpret_cast<WPARAM>(hwnd), 0);
    wintest_flush();
    cw = nullptr;
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(room->chatwnd, nullptr);
    EXPECT_EQ(vel_list_get(chatwnd_list, 124), nullptr);
    fakepeer_packet p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_LEAVE);
    EXPECT_EQ(p.payload, roomtest_ints({124}));
    LVC_Ping();
    EXPECT_EQ(wire.next().type, 15);
}

TEST_F(RoomWindow, LeaveCommandClosesTheWindow)
{
    open(116);
    HWND hwnd = cw->wnd->hwnd;
    roomtest_wire wire;
    roomtest_type(cw, L"/LEAVE now");
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(room->chatwnd, nullptr);
    cw = nullptr;
    fakepeer_packet leave = wire.next();
    EXPECT_EQ(leave.type, ROOMTEST_T_LEAVE);
    EXPECT_EQ(leave.payload, roomtest_ints({116}));
}

TEST_F(RoomWindow, AnUnlinkedRoomLivesWithItsWindowAndGoesWithIt)
{
    open(117, "Regi", "tema");
    room_del(117);
    EXPECT_EQ(LVC_GetRoom(117), nullptr);
    EXPECT_EQ(room->chatwnd, cw) << "kept for the window";
    chatwnd_update_topic(cw);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->topic_box)), L"Regi - tema");
    close();
    room = nullptr;  // freed with the window
    EXPECT_EQ(vel_list_get(chatwnd_list, 117), nullptr);
}

// A fresh room list (the dispatch's codes 1 and 2) while the user is in the room: the
// window follows the new record and keeps its users.
TEST_F(RoomWindow, AFreshRoomRecordTakesOverTheWindow)
{
    open(118, "Regi", "tema");
    chatwnd_add_user(cw, roomtest_user(room, 5, "anna", 0x10000));
    chatwnd_add_user(cw, roomtest_user(room, 6, "bela", 0x10000));
    chatwnd_update_usercnt(cw);
    LVC_FreeRoomlist();
    packet_handler(1, nullptr);
    Room *fresh = room_add(118, "Uj", "friss", 0, 2);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->chatwnd, nullptr);
    LVC_EvRoom listed{fresh};
    packet_handler(2, &listed);
    room = fresh;
    EXPECT_EQ(fresh->chatwnd, cw);
    EXPECT_EQ(cw->room, fresh);
    ASSERT_EQ(vel_listview_getitemcount(cw->userlist), 2);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), L"2 csevegô");
    ASSERT_NE(LVC_GetUserInRoom(fresh, 5), nullptr);
    EXPECT_STREQ(LVC_GetUserInRoom(fresh, 5)->nick, "anna");
    // Later changes of the room reach the same list.
    LVC_EvUserHost left{fresh, LVC_GetUserInRoom(fresh, 6), nullptr};
    packet_handler(24, &left);
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 1);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->topic_box)), L"Uj - friss");
    close();
    EXPECT_EQ(LVC_GetRoom(118), fresh) << "the directory's record stays";
    EXPECT_EQ(fresh->chatwnd, nullptr);
}

}  // namespace
