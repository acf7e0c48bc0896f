// The room window's input line and the packets it sends, the user list's actions, and the
// protocol events that feed room windows: decoded from real packets by the protocol
// client and handed to the application's callbacks on this thread.

#include "app/dispatch.h"
#include "resources/resource.h"
#include "settings/notify.h"
#include "settings/util.h"
#include "tests/win/roomtest.h"
#include "toolkit/mdichild.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

constexpr int32_t T_ENTER_EVENT = 5;
constexpr int32_t T_ROOMCH = 10;
constexpr int32_t T_USERLIST = 11;
constexpr int32_t T_USERCH = 12;
constexpr int32_t T_ROOM_MESSAGE = 13;

const std::string heart = "\x01\xE2\x99\xA5 ";

// ---------------------------------------------------------------- typed lines

TEST_F(RoomWindow, UsageHelpAndUnknownLines)
{
    open(201);
    const COLORREF lavender = RGB(0xDD, 0xCC, 0xFF), red = uitest_colour("$red$x");
    struct Case {
        const wchar_t *typed;
        const wchar_t *line;
        COLORREF colour;
    };
    const Case cases[] = {
        {L"/whereis", L">>> /whereis user", lavender},
        {L"/info", L">>> /info user", lavender},
        {L"/topic", L">>> /topic uj tema", lavender},
        {L"/help", L">>> ismert parancsok: whereis info topic me love help prefix leave", lavender},
        {L"/HELP", L">>> ismert parancsok: whereis info topic me love help prefix leave", lavender},
        {L"/hello", L"- ismeretlen parancs!", red},
        {L"/ x", L"- ismeretlen parancs!", red},
        {L"/", L"- ismeretlen parancs!", red},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.typed, c.typed + std::wcslen(c.typed)));
        chatwnd_add_line(cw, "marker", 0);
        roomtest_type(cw, c.typed);
        const vel_textbox_line *line = roomtest_line(cw->messages);
        EXPECT_EQ(roomtest_text(line), c.line);
        EXPECT_EQ(vel_textbox_colour_at(line, line->length - 1), c.colour);
        wchar_t left[16] = {L'?'};
        vel_widget_gettext(cw->input, left, 16);
        EXPECT_STREQ(left, L"") << "the input line is emptied";
    }
}

TEST_F(RoomWindow, TheWheelOverTheInputLineScrollsTheMessages)
{
    open(207);
    MoveWindow(cw->wnd->hwnd, 0, 0, 400, 300, TRUE);
    for (int i = 0; i < 100; i++)
        chatwnd_add_line(cw, "sor", 0);
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(cw->messages);
    const int end = box->scroll_pos;
    ASSERT_GT(end, 0);
    SendMessageW(cw->input->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * 2), 0);
    EXPECT_EQ(box->scroll_pos, end - 2);
    SendMessageW(cw->input->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(box->scroll_pos, end - 1);
}

TEST_F(RoomWindow, PrefixCommandSetsTheSetting)
{
    open(202);
    roomtest_type(cw, L"/prefix $red$[x]");
    EXPECT_STREQ(cfg_szoba_prefix, "$red$[x]");
    roomtest_type(cw, L"/prefix");
    EXPECT_STREQ(cfg_szoba_prefix, "");
}

TEST_F(RoomWindow, LinesAndCommandsSendTheirPackets)
{
    open(203);
    roomtest_wire wire;
    struct Case {
        const wchar_t *typed;
        int32_t type;
        fakepeer_bytes payload;
    };
    const std::string ascii_prefix = "$red$[x]";
    const Case cases[] = {
        {L"hello", ROOMTEST_T_MESSAGE, roomtest_message(2, 203, "", "hello")},
        {L"", ROOMTEST_T_MESSAGE, roomtest_message(2, 203, "", "")},
        {L"//x", ROOMTEST_T_MESSAGE, roomtest_message(2, 203, "", "/x")},
        {L" /x", ROOMTEST_T_MESSAGE, roomtest_message(2, 203, "", " /x")},
        {L"árvíztűrő", ROOMTEST_T_MESSAGE, roomtest_message(2, 203, "", "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91")},
        {L"/whereis anna", ROOMTEST_T_OPERATOR, roomtest_operator(14, 203, std::string("anna"))},
        {L"/WhereIs anna", ROOMTEST_T_OPERATOR, roomtest_operator(14, 203, std::string("anna"))},
        {L"/info anna", ROOMTEST_T_OPERATOR, roomtest_operator(20, 203, std::string("anna"))},
        {L"/topic uj tema", ROOMTEST_T_OPERATOR, roomtest_operator(9, 203, std::string("uj tema"))},
        {L"/me", ROOMTEST_T_MESSAGE, roomtest_message(7, 203, "", "")},
        {L"/me integet", ROOMTEST_T_MESSAGE, roomtest_message(7, 203, "", "integet")},
        {L"/love", ROOMTEST_T_MESSAGE, roomtest_message(7, 203, "", heart)},
        {L"/love anna", ROOMTEST_T_MESSAGE, roomtest_message(7, 203, "", heart + "anna")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.typed, c.typed + std::wcslen(c.typed)));
        roomtest_type(cw, c.typed);
        fakepeer_packet p = wire.next();
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.payload, c.payload);
    }
    // Lines that send nothing: the next packet is the marker typed after them.
    for (const wchar_t *silent : {L"/whereis", L"/info", L"/topic", L"/ x", L"/nincs ilyen", L"/help", L"/prefix"}) {
        SCOPED_TRACE(testing::Message() << std::string(silent, silent + std::wcslen(silent)));
        roomtest_type(cw, silent);
        roomtest_type(cw, L"marker");
        EXPECT_EQ(wire.next().payload, roomtest_message(2, 203, "", "marker"));
    }
    // The configured prefix goes with every message.
    roomtest_type(cw, L"/prefix $red$[x]");
    roomtest_type(cw, L"szia");
    EXPECT_EQ(wire.next().payload, roomtest_message(2, 203, ascii_prefix, "szia"));
}

TEST_F(RoomWindow, MenuCommandsSendTheirPackets)
{
    open(204);
    roomtest_wire wire;
    // The topic item turns the typed text into the new topic.
    vel_widget_settext(cw->input, L"friss tema");
    SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, IDC_OP_TOPIC, 0);
    wintest_flush();
    fakepeer_packet p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_OPERATOR);
    EXPECT_EQ(p.payload, roomtest_operator(9, 204, std::string("friss tema")));
    SendMessageW(cw->wnd->hwnd, WM_SYSCOMMAND, IDC_OP_CLOSE, 0);
    p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_OPERATOR);
    EXPECT_EQ(p.payload, roomtest_operator(6, 204));
    SendMessageW(cw->wnd->hwnd, WM_COMMAND, IDC_ENTER_ROOM, 0);
    p = wire.next();
    EXPECT_EQ(p.type, ROOMTEST_T_ENTER);
    EXPECT_EQ(p.payload, roomtest_ints({204}));
}

// ---------------------------------------------------------------- the user list's actions

void select_item(const chatwnd *cw, int item)
{
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(cw->userlist->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
}

TEST_F(RoomWindow, UserMenuActionsSendTheirPackets)
{
    open(205);
    User *anna = roomtest_user(room, 77, "anna", 0x00010000);
    chatwnd_add_user(cw, anna);
    roomtest_wire wire;
    auto command = [&](UINT id) {
        select_item(cw, 0);
        SendMessageW(cw->userlist->hwnd, WM_COMMAND, id, 0);
        wintest_flush();
    };
    auto chperms = [](int32_t perms) {
        fakepeer_bytes b = roomtest_operator(5, 205, int32_t{77});
        fakepeer_put_int(&b, perms);
        return b;
    };
    struct Case {
        UINT id;
        int32_t type;
        fakepeer_bytes payload;
    };
    const Case cases[] = {
        {USERS_WHEREIS, ROOMTEST_T_OPERATOR, roomtest_operator(14, 205, std::string("anna"))},
        {USERS_ASK_INFO, ROOMTEST_T_OPERATOR, roomtest_operator(20, 205, std::string("anna"))},
        {USERS_LOVE, ROOMTEST_T_MESSAGE, roomtest_message(7, 205, "", heart + "anna")},
        {USERS_OP, ROOMTEST_T_OPERATOR, chperms(0xFFFF)},
        {USERS_DEOP, ROOMTEST_T_OPERATOR, chperms(0)},
        {USERS_BABEL, ROOMTEST_T_OPERATOR, roomtest_operator(11, 205, int32_t{77})},
        {USERS_KICK, ROOMTEST_T_OPERATOR, roomtest_operator(2, 205, int32_t{77})},
    };
    for (const Case &c : cases) {
        command(c.id);
        fakepeer_packet p = wire.next();
        EXPECT_EQ(p.type, c.type) << c.id;
        EXPECT_EQ(p.payload, c.payload) << c.id;
    }
    // Ignoring sorts the user last; befriending sorts him with the friends.
    command(USERS_IGNORE);
    EXPECT_TRUE(is_user_ignored(77));
    EXPECT_EQ(roomtest_item(cw, 0), L"z anna");
    command(USERS_IGNORE);
    EXPECT_FALSE(is_user_ignored(77));
    EXPECT_EQ(roomtest_item(cw, 0), L"y anna");
    command(USERS_FRIEND);
    EXPECT_TRUE(is_user_friend(77));
    EXPECT_EQ(roomtest_item(cw, 0), L"h anna");
    command(USERS_FRIEND);
    EXPECT_FALSE(is_user_friend(77));
    // Without a selection nothing is sent: the marker comes next.
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(cw->userlist->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    SendMessageW(cw->userlist->hwnd, WM_COMMAND, USERS_KICK, 0);
    LVC_Ping();
    EXPECT_EQ(wire.next().type, 15);
}

TEST_F(RoomWindow, CtrlDoubleClickInsertsTheNickWithDollarsDoubled)
{
    open(206);
    chatwnd_add_user(cw, roomtest_user(room, 88, "$pe$ter", 0x00010000));
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE old = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    NMITEMACTIVATE activate{};
    activate.hdr.hwndFrom = cw->userlist->hwnd;
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = 0;
    SendMessageW(cw->userlist->hwnd, VEL_WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&activate));
    keys[VK_CONTROL] = old;
    SetKeyboardState(keys);
    wchar_t text[64] = {};
    vel_widget_gettext(cw->input, text, 64);
    EXPECT_STREQ(text, L"$$pe$$ter");
    // Off the items nothing happens.
    activate.iItem = -1;
    SendMessageW(cw->userlist->hwnd, VEL_WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&activate));
    vel_widget_gettext(cw->input, text, 64);
    EXPECT_STREQ(text, L"$$pe$$ter");
}

// ---------------------------------------------------------------- protocol events

fakepeer_bytes enter_packet(int32_t room, const std::string &address)
{
    fakepeer_bytes b;
    fakepeer_put_int(&b, room);
    fakepeer_put_int(&b, 7);
    fakepeer_put_utf(&b, "elso");
    fakepeer_put_utf(&b, address);
    return b;
}

fakepeer_bytes join_packet(int32_t room, int32_t user, const std::string &nick, int32_t perms)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, 1);
    fakepeer_put_int(&b, room);
    fakepeer_put_int(&b, user);
    fakepeer_put_int(&b, perms);
    fakepeer_put_utf(&b, nick);
    return b;
}

fakepeer_bytes userch_packet(int subtype, int32_t room, int32_t user)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, static_cast<uint8_t>(subtype));
    fakepeer_put_int(&b, room);
    fakepeer_put_int(&b, user);
    return b;
}

fakepeer_bytes room_message_packet(int kind, int32_t room, int32_t user, const std::string &nick,
                                   const std::string &attributes, const std::string &text)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, static_cast<uint8_t>(kind));
    fakepeer_put_int(&b, room);
    if (kind >= 5 && kind <= 7)
        fakepeer_put_int(&b, user);
    else
        fakepeer_put_utf(&b, nick);
    fakepeer_put_utf(&b, attributes);
    fakepeer_put_utf(&b, text);
    return b;
}

struct RoomEvents : RoomWindow {
    void SetUp() override
    {
        RoomWindow::SetUp();
        ASSERT_TRUE(LVC_Init(packet_handler, event_handler, exception_handler));
    }
    void TearDown() override
    {
        RoomWindow::TearDown();
        LVC_Cleanup();
    }
    static void feed(int32_t type, const fakepeer_bytes &payload)
    {
        lvc_dispatch_packet(type, payload.data(), static_cast<uint32_t>(payload.size()));
        wintest_flush();
    }
    // The room in the directory without a window.
    Room *known(int32_t id)
    {
        room_del(id);
        room = room_add(id, "Inda", "tema", 0, 0);
        return room;
    }
};

TEST_F(RoomEvents, EnteringTwiceMakesOneWindowAndWritesTheLinesTwice)
{
    known(301);
    feed(T_ENTER_EVENT, enter_packet(301, "inda.example/szoba"));
    cw = static_cast<chatwnd *>(room->chatwnd);
    ASSERT_NE(cw, nullptr);
    EXPECT_EQ(cw->state, CHATWND_INSIDE);
    EXPECT_EQ(roomtest_newest(cw, 1), L"*** http://inda.example/szoba");
    EXPECT_EQ(roomtest_newest(cw), L"*** beleptél a szobaba");
    chatwnd_add_user(cw, roomtest_user(room, 9, "anna", 0x10000));
    cw->state = CHATWND_LEFT;
    const int lines = roomtest_line_count(cw);
    feed(T_ENTER_EVENT, enter_packet(301, "inda.example/szoba"));
    EXPECT_EQ(room->chatwnd, cw) << "the same window";
    EXPECT_EQ(roomtest_line_count(cw), lines + 2);
    EXPECT_EQ(roomtest_newest(cw, 1), L"*** http://inda.example/szoba");
    EXPECT_EQ(roomtest_newest(cw), L"*** beleptél a szobaba");
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 0) << "emptied for the new list";
    EXPECT_EQ(cw->state, CHATWND_INSIDE);
    EXPECT_NE(uitest_newest_text(status_window).find(L"- enterroom ... [301] 7 elso inda.example/szoba"),
              std::wstring::npos);
}

TEST_F(RoomEvents, EnteringAnUnknownRoomOpensNothing)
{
    room_del(302);
    const vel_list_node *before = chatwnd_list;
    feed(T_ENTER_EVENT, enter_packet(302, "x"));
    EXPECT_EQ(chatwnd_list, before);
    EXPECT_EQ(vel_list_get(chatwnd_list, 302), nullptr);
}

TEST_F(RoomEvents, JoinsAndLeavesWithAndWithoutTheShowOption)
{
    known(303);
    feed(T_ENTER_EVENT, enter_packet(303, "x"));
    cw = static_cast<chatwnd *>(room->chatwnd);
    ASSERT_NE(cw, nullptr);
    struct Leave {
        int subtype;
        const wchar_t *text;
    };
    const Leave leaves[] = {
        {2, L" kiment."}, {0, L" floodolt."}, {4, L" kifagyott."}, {5, L" kilépett a chatből."},
    };
    for (int kibe = 0; kibe < 2; kibe++) {
        cw->flags = kibe ? (cw->flags | CHATWND_KIBE) : (cw->flags & ~CHATWND_KIBE);
        for (const Leave &l : leaves) {
            SCOPED_TRACE(testing::Message() << kibe << "/" << l.subtype);
            const int lines = roomtest_line_count(cw);
            feed(T_USERCH, join_packet(303, 40, "anna", 0x10000));
            EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 1);
            EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), L"1 csevegô");
            if (kibe) {
                EXPECT_EQ(roomtest_newest(cw), L"*** anna bejött.");
                EXPECT_EQ(roomtest_line(cw->messages)->userdata, 40);
            }
            feed(T_USERCH, userch_packet(l.subtype, 303, 40));
            EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 0);
            EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), L"0 csevegô");
            if (kibe) {
                EXPECT_EQ(roomtest_newest(cw), std::wstring(L"*** anna") + l.text);
            }
            EXPECT_EQ(roomtest_line_count(cw), lines + (kibe ? 2 : 0));
        }
    }
    // Kicks and bans name who did it; a kicker gone from the room leaves the name empty.
    feed(T_USERCH, join_packet(303, 41, "bob", 0x10000));
    feed(T_USERCH, join_packet(303, 42, "op", 0x10001));
    fakepeer_bytes kick = userch_packet(6, 303, 41);
    fakepeer_put_int(&kick, 42);
    feed(T_USERCH, kick);
    EXPECT_EQ(roomtest_newest(cw), L"*** bob kiment (op kirugta a szobabol).");
    feed(T_USERCH, join_packet(303, 41, "bob", 0x10000));
    fakepeer_bytes ban = userch_packet(7, 303, 41);
    fakepeer_put_int(&ban, 99);
    feed(T_USERCH, ban);
    EXPECT_EQ(roomtest_newest(cw), L"*** bob kiment ( kitiltotta a szobabol).");
    feed(T_USERCH, join_packet(303, 41, "bob", 0x10000));
    fakepeer_bytes chat_kick = userch_packet(8, 303, 41);
    fakepeer_put_utf(&chat_kick, "admin");
    feed(T_USERCH, chat_kick);
    EXPECT_EQ(roomtest_newest(cw), L"*** bob kiment (admin kirugta a chatbol).");
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 1);
    // A leave of a user the room does not hold changes nothing.
    const int lines = roomtest_line_count(cw);
    feed(T_USERCH, userch_packet(2, 303, 555));
    EXPECT_EQ(roomtest_line_count(cw), lines);
}

TEST_F(RoomEvents, UserListAndRightsChanges)
{
    known(304);
    feed(T_ENTER_EVENT, enter_packet(304, "x"));
    cw = static_cast<chatwnd *>(room->chatwnd);
    ASSERT_NE(cw, nullptr);
    fakepeer_bytes list;
    fakepeer_put_int(&list, 304);
    for (int i = 0; i < 3; i++) {
        fakepeer_put_int(&list, 0x10000);
        fakepeer_put_int(&list, 50 + i);
        fakepeer_put_utf(&list, "user" + std::to_string(i));
    }
    fakepeer_put_int(&list, 0x12345678);
    feed(T_USERLIST, list);
    EXPECT_EQ(vel_listview_getitemcount(cw->userlist), 3);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->usercount_box)), L"3 csevegô");
    fakepeer_bytes op = userch_packet(3, 304, 52);
    fakepeer_put_int(&op, 0x40010000);
    feed(T_USERCH, op);
    EXPECT_EQ(roomtest_item(cw, 0), L"a user2");
}

TEST_F(RoomEvents, RoomMessagesReachOnlyAnOpenWindow)
{
    known(305);
    // No window: dropped, and no window is made for it.
    feed(T_ROOM_MESSAGE, room_message_packet(2, 305, 0, "anna", "", "korai"));
    EXPECT_EQ(room->chatwnd, nullptr);
    open(305);
    roomtest_user(room, 60, "bela", 0x10000);
    feed(T_ROOM_MESSAGE, room_message_packet(2, 305, 0, "anna", "$red$[A]\r vege", "szia"));
    EXPECT_EQ(roomtest_newest(cw), L"<anna> szia");
    EXPECT_EQ(roomtest_line(cw->messages)->userdata, 0);
    // Kinds 5 to 7 name the sender by id: shown as 1 to 3 with his nick and id.
    feed(T_ROOM_MESSAGE, room_message_packet(6, 305, 60, "", "", "hello"));
    EXPECT_EQ(roomtest_newest(cw), L"<bela> hello");
    EXPECT_EQ(roomtest_line(cw->messages)->userdata, 60);
    feed(T_ROOM_MESSAGE, room_message_packet(7, 305, 60, "", "", "integet"));
    EXPECT_EQ(roomtest_newest(cw), L"bela integet");
    // A sender id the room does not hold: dropped.
    const int lines = roomtest_line_count(cw);
    feed(T_ROOM_MESSAGE, room_message_packet(6, 305, 61, "", "", "ghost"));
    EXPECT_EQ(roomtest_line_count(cw), lines);
}

TEST_F(RoomEvents, EventsAfterClosingFindNoWindow)
{
    known(306);
    feed(T_ENTER_EVENT, enter_packet(306, "x"));
    cw = static_cast<chatwnd *>(room->chatwnd);
    ASSERT_NE(cw, nullptr);
    feed(T_USERCH, join_packet(306, 70, "anna", 0x10000));
    // The close runs on this thread between two events, as it does between two packets
    // handed over by the reader thread.
    SendMessageW(cw->wnd->hwnd, WM_CLOSE, 0, 0);
    cw = nullptr;
    wintest_flush();
    EXPECT_EQ(room->chatwnd, nullptr);
    feed(T_ROOM_MESSAGE, room_message_packet(2, 306, 0, "anna", "", "late"));
    feed(T_USERCH, join_packet(306, 71, "bob", 0x10000));
    feed(T_USERCH, userch_packet(2, 306, 70));
    fakepeer_bytes topic;
    fakepeer_put_byte(&topic, 3);
    fakepeer_put_int(&topic, 306);
    fakepeer_put_utf(&topic, "uj");
    feed(T_ROOMCH, topic);
    EXPECT_EQ(room->chatwnd, nullptr);
    EXPECT_EQ(vel_list_get(chatwnd_list, 306), nullptr);
}

TEST_F(RoomEvents, TopicAndStatesReachTheWindow)
{
    known(307);
    open(307);
    fakepeer_bytes topic;
    fakepeer_put_byte(&topic, 3);
    fakepeer_put_int(&topic, 307);
    fakepeer_put_utf(&topic, "$blue$uj tema");
    feed(T_ROOMCH, topic);
    EXPECT_EQ(roomtest_text(roomtest_line(cw->topic_box)), L"Inda - uj tema");
    fakepeer_bytes closed;
    fakepeer_put_byte(&closed, 4);
    fakepeer_put_int(&closed, 307);
    fakepeer_put_int(&closed, 0x04);
    fakepeer_put_int(&closed, 3);
    feed(T_ROOMCH, closed);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(cw->wnd->hwnd, WM_GETICON, ICON_SMALL, 0)), cw->icon_closed);
}

TEST_F(RoomEvents, ANewRoomListRebindsTheOpenWindow)
{
    open(308, "Regi", "tema");
    fakepeer_bytes list;
    fakepeer_put_int(&list, 308);
    fakepeer_put_utf(&list, "Uj nev");
    fakepeer_put_utf(&list, "friss");
    fakepeer_put_int(&list, 0);
    fakepeer_put_int(&list, 1);
    fakepeer_put_int(&list, 0);
    feed(9, list);
    Room *fresh = LVC_GetRoom(308);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->chatwnd, cw);
    EXPECT_EQ(cw->room, fresh);
    room = fresh;
    feed(T_ROOM_MESSAGE, room_message_packet(2, 308, 0, "anna", "", "megjott"));
    EXPECT_EQ(roomtest_newest(cw), L"<anna> megjott");
}

TEST_F(RoomEvents, LostConnectionMarksEveryWindowLeft)
{
    open(309);
    chatwnd_chg_status(cw, CHATWND_INSIDE);
    event_handler(LVC_EV_CLOSED, nullptr);
    wintest_flush();
    EXPECT_EQ(cw->state, CHATWND_LEFT);
    EXPECT_EQ(roomtest_newest(cw), L"$ hiba: megszakadt a kapcsolat a szerverrel.");
}

TEST_F(RoomWindow, BroadcastAsksToEnterEveryOpenRoomAgain)
{
    open(311);
    Room *second_room = room_add(312, "Masik", "t", 0, 0);
    chatwnd *second = chatwnd_create(mw, second_room);
    ASSERT_NE(second, nullptr);
    {
        roomtest_wire wire;
        chatwnd_broadcast_msg(0x04, nullptr, 0, 0);
        // In list order: the older window first.
        fakepeer_packet p = wire.next();
        EXPECT_EQ(p.type, ROOMTEST_T_ENTER);
        EXPECT_EQ(p.payload, roomtest_ints({311}));
        p = wire.next();
        EXPECT_EQ(p.type, ROOMTEST_T_ENTER);
        EXPECT_EQ(p.payload, roomtest_ints({312}));
    }
    EXPECT_EQ(cw->state, CHATWND_NOT_ENTERED) << "bit 0x02 was not asked for";
    SendMessageW(second->wnd->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    room_del(312);
}

TEST_F(RoomEvents, BroadcastAppendsRoomNamesOnlyWhereTheUserIs)
{
    open(310, "Elso", "t");
    roomtest_user(room, 90, "anna", 0x10000);
    char text[CHATWND_BROADCAST_TEXT_SIZE] = "anna: ";
    chatwnd_broadcast_msg(0x10, text, 0, 90);
    EXPECT_STREQ(text, "anna: Elso, ");
    chatwnd_broadcast_msg(0x10, text, 0, 91);
    EXPECT_STREQ(text, "anna: Elso, ");
    // A text that would overflow its buffer is left as it is.
    std::memset(text, 'x', sizeof text - 3);
    text[sizeof text - 3] = 0;
    chatwnd_broadcast_msg(0x10, text, 0, 90);
    EXPECT_EQ(std::strlen(text), sizeof text - 3);
}

// ---------------------------------------------------------------- with the reader thread

// The program's own callbacks, run on this thread through the dispatch window, with the
// client connected to a fake chat server.
struct RoomWindowConnected : RoomWindow {
    uitest_chat chat;
    bool dispatching = false;
    void SetUp() override
    {
        RoomWindow::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(chat.listen(packet_handler, event_handler, exception_handler));
        ASSERT_TRUE(dispatching = dispatch_start());
        LVC_Connect("127.0.0.1", chat.peer.port, 0, "", 0);
        ASSERT_TRUE(chat.accept());
    }
    void TearDown() override
    {
        chat.close();
        if (dispatching)
            dispatch_stop();
        RoomWindow::TearDown();
    }
};

TEST_F(RoomWindowConnected, ACloseBetweenReaderEventsLeavesOnceAndDropsTheRest)
{
    fakepeer_bytes list;
    fakepeer_put_int(&list, 401);
    fakepeer_put_utf(&list, "Inda");
    fakepeer_put_utf(&list, "tema");
    fakepeer_put_int(&list, 0);
    fakepeer_put_int(&list, 0);
    fakepeer_put_int(&list, 0);
    ASSERT_TRUE(fakepeer_send_packet(&chat.peer, 9, list));
    ASSERT_TRUE(fakepeer_send_packet(&chat.peer, T_ENTER_EVENT, enter_packet(401, "x")));
    ASSERT_TRUE(wintest_pump_until([] { return LVC_GetRoom(401) && LVC_GetRoom(401)->chatwnd; }));
    Room *entered = LVC_GetRoom(401);
    auto *window = static_cast<chatwnd *>(entered->chatwnd);
    // Messages keep coming while the user closes the window.
    for (int i = 0; i < 200; i++)
        ASSERT_TRUE(fakepeer_send_packet(&chat.peer, T_ROOM_MESSAGE, room_message_packet(2, 401, 0, "anna", "", "m")));
    PostMessageW(window->wnd->hwnd, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200; i++)
        ASSERT_TRUE(fakepeer_send_packet(&chat.peer, T_ROOM_MESSAGE, room_message_packet(2, 401, 0, "anna", "", "m")));
    ASSERT_TRUE(fakepeer_send_packet(&chat.peer, T_ENTER_EVENT, enter_packet(499, "marker")));
    ASSERT_TRUE(wintest_pump_until(
        [] { return uitest_newest_text(status_window).find(L"[499]") != std::wstring::npos; }, 20000));
    EXPECT_EQ(entered->chatwnd, nullptr);
    EXPECT_EQ(vel_list_get(chatwnd_list, 401), nullptr);
    fakepeer_packet p{};
    ASSERT_TRUE(chat.next(&p));
    EXPECT_EQ(p.type, ROOMTEST_T_LEAVE);
    EXPECT_EQ(p.payload, roomtest_ints({401}));
    // A marker request: a second leave would come before it.
    LVC_GetNickByID(1);
    ASSERT_TRUE(chat.next(&p));
    EXPECT_EQ(p.type, 17);
}

}  // namespace
