// Server packets decoded one at a time, as the reader thread hands them over: the events
// each raises (in order, with their records as seen during the callback) and what they
// leave in the directory, the nick cache and the private-message queues.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/internal.h"
#include "tests/support/eventlog.h"
#include "tests/support/payload.h"

namespace {

using Lines = std::vector<std::string>;

void reset_module()
{
    LVC_FreeRoomlist();
    nickcache_free();
    lvc.sent = strlist_free(lvc.sent);
    lvc.held = strlist_free(lvc.held);
    lvc.ownid = 0;
    lvc.loginstate = 0;
    lvc.connected = 0;
}

struct Incoming : ::testing::Test {
    void SetUp() override
    {
        reset_module();
        eventlog_install();
    }
    void TearDown() override { reset_module(); }

    static Lines feed(int32_t type, const P &p)
    {
        lvc_dispatch_packet(type, p.b.data(), uint32_t(p.b.size()));
        return eventlog_take();
    }
    // A room with users; `own` joins with `ownperms` when non-zero.
    static Room *room_with_users(int32_t id, int32_t ownperms = 0)
    {
        Room *r = room_add(id, "szoba", "tema", 1, 2);
        user_add(id, 9, "bob", 0);
        user_add(id, 8, "op", 0xFFFF);
        if (ownperms) {
            lvc.ownid = 7;
            user_add(id, 7, "me", ownperms);
        }
        return r;
    }
    static std::vector<std::string> held()
    {
        std::vector<std::string> out;
        for (strlist *n = lvc.held; n; n = n->next)
            out.push_back(std::to_string(n->value2) + ":" + n->text + (n->value3 ? " in" : " out"));
        return out;
    }
};

TEST_F(Incoming, RoomListReplacesTheDirectory)
{
    room_add(1, "old", "", 0, 0);
    EXPECT_EQ(feed(9, P().i(0)), Lines{"P3"});
    EXPECT_EQ(LVC_GetRoom(1), nullptr);

    P list = P().i(5).s("Fo").s("$red$tema").i(3).i(12).i(261).s("Masik").s("").i(0).i(4).i(0);
    EXPECT_EQ(feed(9, list), (Lines{"P2 r5", "P2 r261", "P3"}));
    Room *r = LVC_GetRoom(5);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->name, "Fo");
    EXPECT_STREQ(r->theme, "$red$tema");
    EXPECT_EQ(r->states, 3);
    EXPECT_EQ(r->usercnt, 12);
    EXPECT_NE(LVC_GetRoom(261), nullptr);

    // Cut inside the second room: the first stays, the loop ends, the list is finished.
    EXPECT_EQ(feed(9, list.cut(12)), (Lines{"P2 r5", "P3"}));
    EXPECT_EQ(LVC_GetRoom(261), nullptr);
    // Without the terminating 0 the loop ends at the payload's end.
    EXPECT_EQ(feed(9, list.cut(4)), (Lines{"P2 r5", "P2 r261", "P3"}));
}

TEST_F(Incoming, RoomHeldByAWindowSurvivesANewRoomList)
{
    Room *old = room_with_users(5);
    old->chatwnd = this;
    EXPECT_EQ(feed(9, P().i(5).s("Uj nev").s("").i(0).i(1).i(0)), (Lines{"P2 r5", "P3"}));
    Room *fresh = LVC_GetRoom(5);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, old);
    EXPECT_STREQ(fresh->name, "Uj nev");
    // The window's record is intact, users included, until the window lets it go.
    EXPECT_STREQ(old->name, "szoba");
    User *bob = LVC_GetUserInRoom(old, 9);
    ASSERT_NE(bob, nullptr);
    EXPECT_STREQ(bob->nick, "bob");
    LVC_FreeUnlinkedRoom(old);
}

TEST_F(Incoming, RoomChanges)
{
    room_add(5, "szoba", "tema", 1, 2);
    struct Case {
        const char *what;
        P payload;
        Lines events;
        const char *theme;
        int32_t states, usercnt;
    } cases[] = {
        {"add existing keeps old values", P().byte(1).i(5).s("x").s("y").i(8).i(9), {"P6 r5"}, "tema", 1, 2},
        {"topic", P().byte(3).i(5).s("$blue$uj"), {"P8 r5"}, "$blue$uj", 1, 2},
        {"states and count", P().byte(4).i(5).i(6).i(30), {"P9 sub=4 r5 prev=1"}, "$blue$uj", 6, 30},
        {"states", P().byte(5).i(5).i(2), {"P9 sub=5 r5 prev=6"}, "$blue$uj", 2, 30},
        {"count", P().byte(6).i(5).i(31), {"P9 sub=6 r5 prev=2"}, "$blue$uj", 2, 31},
        {"unknown subtype", P().byte(7).i(5).i(99), {}, "$blue$uj", 2, 31},
        {"room not listed", P().byte(4).i(6).i(1).i(1), {}, "$blue$uj", 2, 31},
        {"topic cut short", P().byte(3).i(5).s("zzz").cut(1), {}, "$blue$uj", 2, 31},
        {"count cut short", P().byte(4).i(5).i(1).i(1).cut(2), {}, "$blue$uj", 2, 31},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(feed(10, c.payload), c.events);
        Room *r = LVC_GetRoom(5);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r->theme, c.theme);
        EXPECT_EQ(r->states, c.states);
        EXPECT_EQ(r->usercnt, c.usercnt);
    }
    EXPECT_EQ(feed(10, P().byte(1).i(6).s("uj").s("t").i(1).i(2)), Lines{"P6 r6"});
    ASSERT_NE(LVC_GetRoom(6), nullptr);
    EXPECT_STREQ(LVC_GetRoom(6)->name, "uj");
    // Removal: the event sees the room still listed.
    EXPECT_EQ(feed(10, P().byte(2).i(5)), Lines{"P7 r5 listed"});
    EXPECT_EQ(LVC_GetRoom(5), nullptr);
    EXPECT_EQ(feed(10, P().byte(2).i(5)), Lines{});
}

TEST_F(Incoming, UserCountsOfManyRooms)
{
    room_add(5, "a", "", 4, 1);
    P p = P().i(77).i(3).i(5).i(40).i(0);
    EXPECT_EQ(feed(24, p), Lines{"P9 sub=0 r5 prev=4"});
    EXPECT_EQ(LVC_GetRoom(5)->usercnt, 40);
    EXPECT_EQ(LVC_GetRoom(77), nullptr);
    // Cut in a pair: the whole pairs before it count, the loop does not spin.
    EXPECT_EQ(feed(24, P().i(5).i(41).i(5).i(42).cut(2)), Lines{"P9 sub=0 r5 prev=4"});
    EXPECT_EQ(LVC_GetRoom(5)->usercnt, 41);
}

TEST_F(Incoming, UserList)
{
    room_with_users(5);
    P list = P().i(5).i(0x40).i(11).s("anna").i(0).i(12).s("bela").i(0x12345678);
    EXPECT_EQ(feed(11, list), (Lines{"P19 r5", "P20 r5 u11 \"anna\"", "P20 r5 u12 \"bela\"", "P21 r5"}));
    EXPECT_EQ(LVC_GetUser(5, 9), nullptr);  // the old users are gone
    ASSERT_NE(LVC_GetUser(5, 11), nullptr);
    EXPECT_EQ(LVC_GetUser(5, 11)->perms, 0x40);
    EXPECT_STREQ(nickcache_get(12), "bela");

    EXPECT_EQ(feed(11, P().i(5).i(0x12345678)), (Lines{"P19 r5", "P21 r5"}));
    EXPECT_EQ(LVC_GetUser(5, 11), nullptr);
    EXPECT_EQ(feed(11, list.cut(10)), (Lines{"P19 r5", "P20 r5 u11 \"anna\"", "P21 r5"}));
    // A room missing from the directory: its list is read, nobody is added.
    EXPECT_EQ(feed(11, P().i(6).i(0).i(1).s("x").i(0x12345678)), (Lines{"P19 -", "P21 -"}));
}

// Every user change, for a local user without and with permission bit 0x40: the host
// information is read only in the second case, and the event always comes first.
TEST_F(Incoming, UserChanges)
{
    struct Case {
        const char *what;
        P fields;     // after subtype, room id, user id
        int subtype;
        int32_t userid;
        const char *plain;
        const char *withhost;
        bool in_room_after;
        bool cached_after;
    } cases[] = {
        {"flood", P(), 0, 9, "P26 r5 u9 host=- listed", "P26 r5 u9 host=3:\"h.example\" listed", false, false},
        {"join", P().i(0).s("uj"), 1, 20, "P23 r5 u20 host=- listed", "P23 r5 u20 host=3:\"h.example\" listed", true, true},
        {"left room", P(), 2, 9, "P24 r5 u9 host=- listed", "P24 r5 u9 host=3:\"h.example\" listed", false, true},
        {"timed out", P(), 4, 9, "P27 r5 u9 host=- listed", "P27 r5 u9 host=3:\"h.example\" listed", false, false},
        {"left chat", P(), 5, 9, "P28 r5 u9 host=- listed", "P28 r5 u9 host=3:\"h.example\" listed", false, false},
        {"kicked", P().i(8), 6, 9, "P29 r5 u9 by u8 host=- listed", "P29 r5 u9 by u8 host=3:\"h.example\" listed",
         false, true},
        {"banned", P().i(8), 7, 9, "P30 r5 u9 by u8 host=- listed", "P30 r5 u9 by u8 host=3:\"h.example\" listed",
         false, true},
        {"kicked from chat", P().s("admin"), 8, 9, "P31 r5 u9 \"admin\" host=- listed",
         "P31 r5 u9 \"admin\" host=3:\"h.example\" listed", false, false},
        {"banned from chat", P().s("admin"), 9, 9, "P32 r5 u9 \"admin\" host=- listed",
         "P32 r5 u9 \"admin\" host=3:\"h.example\" listed", false, false},
        {"other user missing", P().i(55), 6, 9, "P29 r5 u9 by - host=- listed",
         "P29 r5 u9 by - host=3:\"h.example\" listed", false, true},
        {"user missing", P(), 2, 99, "P24 r5 - host=-", "P24 r5 - host=3:\"h.example\"", false, false},
        {"timeout of nobody", P(), 4, 0, "P37", "P37", false, false},
        {"unknown subtype", P(), 10, 9, nullptr, nullptr, true, true},
    };
    for (bool withhost : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (withhost ? " with host" : ""));
            reset_module();
            room_with_users(5, withhost ? 0x40 : 1);
            nickcache_add(99, "ghost");
            if (c.userid == 99)
                nickcache_del(99);
            P p = P().byte(uint8_t(c.subtype)).i(5).i(c.userid);
            p.b.insert(p.b.end(), c.fields.b.begin(), c.fields.b.end());
            if (withhost && c.subtype != 10 && c.userid != 0)
                p.i(3).s("h.example");
            const char *expect = withhost ? c.withhost : c.plain;
            EXPECT_EQ(feed(12, p), expect ? Lines{expect} : Lines{});
            EXPECT_EQ(LVC_GetUser(5, c.userid) != nullptr, c.in_room_after);
            EXPECT_EQ(nickcache_get(c.userid) != nullptr, c.cached_after);
        }
    }
}

TEST_F(Incoming, UserChangeEdgeCases)
{
    // Host information announced by the permissions but left out: the change still holds.
    room_with_users(5, 0x40);
    EXPECT_EQ(feed(12, P().byte(2).i(5).i(9)), Lines{"P24 r5 u9 host=- listed"});
    EXPECT_EQ(LVC_GetUser(5, 9), nullptr);
    // Cut before its own fields: dropped.
    EXPECT_EQ(feed(12, P().byte(6).i(5).i(8).i(7).cut(1)), Lines{});
    EXPECT_NE(LVC_GetUser(5, 8), nullptr);
    EXPECT_EQ(feed(12, P().byte(1).i(5).i(30).i(0).s("x").cut(1)), Lines{});
    EXPECT_EQ(LVC_GetUser(5, 30), nullptr);
    // A room missing from the directory is still reported, with nulls.
    EXPECT_EQ(feed(12, P().byte(1).i(6).i(30).i(0).s("x")), Lines{"P23 - - host=-"});
}

TEST_F(Incoming, PermissionChanges)
{
    Room *r = room_with_users(5, 1);
    EXPECT_EQ(feed(12, P().byte(3).i(5).i(9).i(0x10)), Lines{"P25 r5 u9 prev=0 now=16"});
    EXPECT_EQ(r->myperms, 1);
    // The local user: the room's own permissions follow, and with 0x40 host information
    // starts to arrive on the next changes.
    EXPECT_EQ(feed(12, P().byte(3).i(5).i(7).i(0x40)), Lines{"P25 r5 u7 prev=1 now=64"});
    EXPECT_EQ(r->myperms, 0x40);
    EXPECT_EQ(feed(12, P().byte(2).i(5).i(9).i(1).s("h")), Lines{"P24 r5 u9 host=1:\"h\" listed"});
    // A user not in the room: nothing.
    EXPECT_EQ(feed(12, P().byte(3).i(5).i(44).i(1)), Lines{});
}

TEST_F(Incoming, RoomMessages)
{
    room_with_users(5);
    struct Case {
        const char *what;
        P payload;
        const char *event;
    } cases[] = {
        {"prefix and suffix", P().byte(2).i(5).s("bob").s("$red$\r!").s("hello"),
         "P33 r5 kind=2 - \"bob\" \"$red$\" \"!\" \"hello\""},
        {"no CR", P().byte(2).i(5).s("bob").s("$red$").s("hi"), "P33 r5 kind=2 - \"bob\" \"$red$\" \"\" \"hi\""},
        {"split at the first CR", P().byte(3).i(5).s("x").s("a\rb\rc").s("t"),
         "P33 r5 kind=3 - \"x\" \"a\" \"b\rc\" \"t\""},
        {"sender by id", P().byte(5).i(5).i(9).s("").s("hi"), "P33 r5 kind=5 u9 null \"\" \"\" \"hi\""},
        {"sender id not in room", P().byte(7).i(5).i(66).s("").s("hi"), "P33 r5 kind=7 - null \"\" \"\" \"hi\""},
        {"room not listed", P().byte(2).i(6).s("bob").s("").s("x"), "P33 - kind=2 - \"bob\" \"\" \"\" \"x\""},
        {"cut short", P().byte(2).i(5).s("bob").s("").s("hello").cut(1), nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(feed(13, c.payload), c.event ? Lines{c.event} : Lines{});
    }
}

TEST_F(Incoming, LoginEnterLeavePopupPing)
{
    room_add(5, "a", "", 0, 0);
    struct Case {
        int32_t type;
        P payload;
        Lines events;
    } cases[] = {
        {0, P(), {"P11 type=0", "P12"}},
        {1, P(), {"P11 type=1", "P13"}},
        {2, P(), {"P11 type=2", "P14"}},
        {5, P().i(5).i(3).s("Szoba").s("lvchat.example/szoba"),
         {"P17 id=5 r5 v=3 \"Szoba\" \"lvchat.example/szoba\""}},
        {5, P().i(6).i(0).s("").s(""), {"P17 id=6 - v=0 \"\" \"\""}},
        {5, P().i(5).i(3).s("Szoba").cut(1), {}},
        {6, P().i(5), {"P18 id=5 r5"}},
        {6, P().i(6), {"P18 id=6 -"}},
        {6, P(), {}},
        {14, P().byte(2).s("Figyelem").s("$red$szoveg"), {"P16 icon=2 \"Figyelem\" \"$red$szoveg\""}},
        {14, P().byte(2).s("Figyelem"), {}},
        {15, P(), {}},
        {15, P().i(1), {}},
        {4, P().i(1), {}},
        {7, P().i(1), {}},
        {20, P().i(1).i(2), {}},
        {-1, P().i(1), {}},
        {25, P().i(1), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        lvc.loginstate = 1;
        EXPECT_EQ(feed(c.type, c.payload), c.events);
        EXPECT_EQ(lvc.loginstate, c.type >= 0 && c.type <= 2 ? 0 : 1);
    }
}

TEST_F(Incoming, LoginAccepted)
{
    lvc.loginstate = 1;
    EXPECT_EQ(feed(3, P().i(11).i(22).i(4711).s("Macska")),
              (Lines{"P11 type=3", "P15 \"Macska\" id=4711 a=11 b=22"}));
    EXPECT_EQ(lvc.loginstate, 2);
    EXPECT_EQ(lvc.ownid, 4711);
    EXPECT_STREQ(lvc.ownnick, "Macska");
    EXPECT_STREQ(nickcache_get(4711), "Macska");

    // A nick too long for the 92-byte field is cut at a character boundary.
    reset_module();
    std::string longnick = std::string(90, 'a') + "\xc3\xa1\xc3\xa1";
    feed(3, P().i(1).i(2).i(5).s(longnick));
    EXPECT_EQ(std::string(lvc.ownnick), std::string(90, 'a'));
    // Cut short: nothing is believed.
    reset_module();
    lvc.loginstate = 1;
    EXPECT_EQ(feed(3, P().i(1).i(2).i(5).s("x").cut(1)), Lines{});
    EXPECT_EQ(lvc.loginstate, 1);
    EXPECT_EQ(lvc.ownid, 0);
}

TEST_F(Incoming, PrivateMessagesWaitForTheirNick)
{
    nickcache_add(9, "bob");
    EXPECT_EQ(feed(8, P().byte(3).i(9).s("szia")), Lines{"P34 kind=3 id=9 \"bob\" \"szia\""});

    EXPECT_EQ(feed(8, P().byte(3).i(20).s("egy")), Lines{"X13 id=20"});
    EXPECT_EQ(feed(8, P().byte(3).i(21).s("masik")), Lines{"X13 id=21"});
    EXPECT_EQ(feed(8, P().byte(2).i(20).s("ketto")), Lines{"X13 id=20"});
    EXPECT_EQ(held(), (std::vector<std::string>{"20:egy in", "21:masik in", "20:ketto in"}));

    EXPECT_EQ(feed(18, P().i(20).s("anna")), (Lines{"P36 id=20 \"anna\"", "P34 kind=3 id=20 \"anna\" \"egy\"",
                                                    "P34 kind=2 id=20 \"anna\" \"ketto\""}));
    EXPECT_EQ(held(), std::vector<std::string>{"21:masik in"});
    EXPECT_STREQ(nickcache_get(20), "anna");
    // A nick answer never replaces a cached nick.
    EXPECT_EQ(feed(18, P().i(20).s("other")), Lines{"P36 id=20 \"other\""});
    EXPECT_STREQ(nickcache_get(20), "anna");
    EXPECT_EQ(feed(8, P().byte(3).i(9).s("x").cut(1)), Lines{});
}

TEST_F(Incoming, HeldMessagesGoFirstWhenTheNickArrivesAnotherWay)
{
    room_add(5, "a", "", 0, 0);
    EXPECT_EQ(feed(8, P().byte(3).i(20).s("elso")), Lines{"X13 id=20"});
    // The user turns up in a room before the nick answer: the nick is cached now.
    feed(12, P().byte(1).i(5).i(20).i(0).s("anna"));
    EXPECT_EQ(feed(8, P().byte(3).i(20).s("masodik")),
              (Lines{"P34 kind=3 id=20 \"anna\" \"elso\"", "P34 kind=3 id=20 \"anna\" \"masodik\""}));
    EXPECT_EQ(lvc.held, nullptr);
    // The late nick answer finds nothing left to deliver.
    EXPECT_EQ(feed(18, P().i(20).s("anna")), Lines{"P36 id=20 \"anna\""});
}

TEST_F(Incoming, OfflineNickAnswerDeliversButIsNotCached)
{
    EXPECT_EQ(feed(8, P().byte(3).i(30).s("hahó")), Lines{"X13 id=30"});
    EXPECT_EQ(feed(18, P().i(30).s("")), (Lines{"P36 id=30 \"\"", "P34 kind=3 id=30 \"\" \"hahó\""}));
    EXPECT_EQ(nickcache_get(30), nullptr);
}

TEST_F(Incoming, ConfirmationsFollowTheSentOrder)
{
    nickcache_add(9, "bob");
    lvc.sent = strlist_add(lvc.sent, "elso", 3, 9, 0);
    lvc.sent = strlist_add(lvc.sent, "masodik", 2, 40, 0);
    lvc.sent = strlist_add(lvc.sent, "harmadik", 3, 9, 0);
    EXPECT_EQ(feed(8, P().byte(11)), Lines{"P35 kind=3 id=9 \"bob\" \"elso\""});
    EXPECT_EQ(feed(8, P().byte(11)), Lines{"X13 id=40"});
    EXPECT_EQ(held(), std::vector<std::string>{"40:masodik out"});
    EXPECT_EQ(feed(8, P().byte(11)), Lines{"P35 kind=3 id=9 \"bob\" \"harmadik\""});
    EXPECT_EQ(lvc.sent, nullptr);
    EXPECT_EQ(feed(8, P().byte(11)), Lines{});  // nothing left to confirm

    // Held incoming and outgoing entries of one user come out in arrival order.
    EXPECT_EQ(feed(8, P().byte(3).i(40).s("valasz")), Lines{"X13 id=40"});
    EXPECT_EQ(feed(18, P().i(40).s("cili")), (Lines{"P36 id=40 \"cili\"", "P35 kind=2 id=40 \"cili\" \"masodik\"",
                                                    "P34 kind=3 id=40 \"cili\" \"valasz\""}));
}

}  // namespace
