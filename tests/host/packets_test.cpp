// Server packets over a real loopback connection: a fake chat server plays a session
// with every packet type and subtype, and the test compares the whole stream of events
// with the script, and what the client sends back (nick requests, login follow-ups).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/internal.h"
#include "tests/support/eventlog.h"
#include "tests/support/payload.h"
#include "tests/support/loopchat.h"

namespace {

using Lines = std::vector<std::string>;

struct Step {
    int32_t type;
    P payload;
    Lines events;
};

// Plays the steps, then a marker packet, and returns what was raised up to the marker.
Lines play(fakepeer *chat, const std::vector<Step> &steps)
{
    for (const Step &s : steps)
        EXPECT_EQ(fakepeer_send_packet(chat, s.type, s.payload.b), 1);
    fakepeer_send_packet(chat, 6, P().i(-999).b);
    EXPECT_EQ(eventlog_wait("P18 id=-999"), 1);
    Lines got = eventlog_take();
    got.pop_back();
    return got;
}

Lines expected(const std::vector<Step> &steps)
{
    Lines all;
    for (const Step &s : steps)
        all.insert(all.end(), s.events.begin(), s.events.end());
    return all;
}

struct Packets : ::testing::Test {
    fakepeer chat;
    void SetUp() override
    {
        ASSERT_EQ(loopchat_connect(&chat), 1);
        LVC_FreeRoomlist();
        lvc.held = strlist_free(lvc.held);
    }
    void TearDown() override
    {
        loopchat_close(&chat);
        LVC_FreeRoomlist();
        lvc.held = strlist_free(lvc.held);
    }
};

TEST_F(Packets, ASessionWithEveryPacket)
{
    std::vector<Step> steps = {
        {3, P().i(1).i(2).i(7).s("en"), {"P11 type=3", "P15 \"en\" id=7 a=1 b=2"}},
        {9, P().i(5).s("Fo").s("t").i(1).i(2).i(6).s("Masik").s("").i(0).i(0).i(0),
         {"P1", "P2 r5", "P2 r6", "P3"}},
        {5, P().i(5).i(1).s("Fo").s("web/fo"), {"P17 id=5 r5 v=1 \"Fo\" \"web/fo\""}},
        {11, P().i(5).i(0x40).i(7).s("en").i(0).i(9).s("bob").i(0).i(8).s("cili").i(0x12345678),
         {"P19 r5", "P20 r5 u7 \"en\"", "P20 r5 u9 \"bob\"", "P20 r5 u8 \"cili\"", "P21 r5"}},
        // With 0x40 the user changes of room 5 carry host information.
        {12, P().byte(1).i(5).i(20).i(0).s("uj").i(1).s("a.example"), {"P23 r5 u20 host=1:\"a.example\" listed"}},
        {12, P().byte(3).i(5).i(20).i(2), {"P25 r5 u20 prev=0 now=2"}},
        {12, P().byte(2).i(5).i(20).i(2).s("b"), {"P24 r5 u20 host=2:\"b\" listed"}},
        {12, P().byte(0).i(5).i(9).i(3).s("c"), {"P26 r5 u9 host=3:\"c\" listed"}},
        {12, P().byte(4).i(5).i(0), {"P37"}},
        {12, P().byte(4).i(5).i(8).i(4).s("d"), {"P27 r5 u8 host=4:\"d\" listed"}},
        {11, P().i(5).i(0x40).i(7).s("en").i(0).i(30).s("dani").i(0).i(31).s("eva").i(0).i(32).s("feri").i(0).i(33)
                 .s("gabi").i(0x12345678),
         {"P19 r5", "P20 r5 u7 \"en\"", "P20 r5 u30 \"dani\"", "P20 r5 u31 \"eva\"", "P20 r5 u32 \"feri\"",
          "P20 r5 u33 \"gabi\"", "P21 r5"}},
        {12, P().byte(5).i(5).i(30).i(5).s("e"), {"P28 r5 u30 host=5:\"e\" listed"}},
        {12, P().byte(6).i(5).i(31).i(7).i(6).s("f"), {"P29 r5 u31 by u7 host=6:\"f\" listed"}},
        {12, P().byte(7).i(5).i(32).i(7).i(7).s("g"), {"P30 r5 u32 by u7 host=7:\"g\" listed"}},
        {12, P().byte(8).i(5).i(33).s("admin").i(8).s("h"), {"P31 r5 u33 \"admin\" host=8:\"h\" listed"}},
        {12, P().byte(9).i(5).i(7).s("admin").i(9).s("i"), {"P32 r5 u7 \"admin\" host=9:\"i\" listed"}},
        {12, P().byte(11).i(5).i(7), {}},
        // The local user is gone from room 5: no more host information there.
        {12, P().byte(1).i(5).i(40).i(0).s("hugo"), {"P23 r5 u40 host=- listed"}},
        {13, P().byte(2).i(5).s("hugo").s("$red$\r!").s("szia"), {"P33 r5 kind=2 - \"hugo\" \"$red$\" \"!\" \"szia\""}},
        {13, P().byte(6).i(5).i(40).s("").s("hello"), {"P33 r5 kind=6 u40 null \"\" \"\" \"hello\""}},
        {10, P().byte(1).i(7).s("Uj").s("t").i(0).i(0), {"P6 r7"}},
        {10, P().byte(3).i(7).s("tema"), {"P8 r7"}},
        {10, P().byte(4).i(7).i(3).i(4), {"P9 sub=4 r7 prev=0"}},
        {10, P().byte(5).i(7).i(1), {"P9 sub=5 r7 prev=3"}},
        {10, P().byte(6).i(7).i(9), {"P9 sub=6 r7 prev=1"}},
        {10, P().byte(2).i(7), {"P7 r7 listed"}},
        {24, P().i(99).i(1).i(6).i(12).i(0), {"P9 sub=0 r6 prev=0"}},
        {14, P().byte(1).s("Cim").s("Szoveg"), {"P16 icon=1 \"Cim\" \"Szoveg\""}},
        {15, P(), {}},
        {20, P().i(1).i(2).s("ignored"), {}},
        {8, P().byte(3).i(40).s("privat"), {"P34 kind=3 id=40 \"hugo\" \"privat\""}},
        {6, P().i(5), {"P18 id=5 r5"}},
        {0, P(), {"P11 type=0", "P12"}},
    };
    EXPECT_EQ(play(&chat, steps), expected(steps));
    EXPECT_EQ(LVC_GetLoginState(), 0);
    EXPECT_EQ(LVC_GetRoom(7), nullptr);
    EXPECT_EQ(LVC_GetRoom(6)->usercnt, 12);
    EXPECT_EQ(LVC_GetRoom(5)->myperms, 0x40);
}

TEST_F(Packets, HeldMessagesAskForTheNickAndArriveInOrder)
{
    std::vector<Step> steps = {
        {8, P().byte(3).i(50).s("egy"), {"X13 id=50"}},
        {8, P().byte(3).i(51).s("mas"), {"X13 id=51"}},
        {8, P().byte(2).i(50).s("ketto"), {"X13 id=50"}},
    };
    EXPECT_EQ(play(&chat, steps), expected(steps));
    // Each held message asked the server for its sender's nick.
    for (int32_t id : {50, 51, 50}) {
        fakepeer_packet p;
        ASSERT_EQ(loopchat_next(&chat, &p), 1);
        EXPECT_EQ(p.type, 17);
        EXPECT_EQ(p.payload, (fakepeer_bytes{0, 0, 0, uint8_t(id)}));
    }
    std::vector<Step> answer = {
        {18, P().i(50).s("anna"),
         {"P36 id=50 \"anna\"", "P34 kind=3 id=50 \"anna\" \"egy\"", "P34 kind=2 id=50 \"anna\" \"ketto\""}},
    };
    EXPECT_EQ(play(&chat, answer), expected(answer));
    ASSERT_NE(lvc.held, nullptr);
    EXPECT_EQ(lvc.held->value2, 51);
    EXPECT_EQ(lvc.held->next, nullptr);
}

TEST_F(Packets, ConfirmationsOfSentMessages)
{
    lvc.ownid = 7;
    nickcache_add(40, "hugo");
    LVC_SendPrivateMessage(3, 40, "elso");
    LVC_SendPrivateMessage(1, 40, "nem kell visszaigazolni");
    LVC_SendPrivateMessage(3, 7, "magamnak");
    LVC_SendPrivateMessage(2, 60, "ismeretlen");
    std::vector<Step> steps = {
        {8, P().byte(11), {"P35 kind=3 id=40 \"hugo\" \"elso\""}},
        {8, P().byte(11), {"X13 id=60"}},
        {8, P().byte(11), {}},
        {18, P().i(60).s("zoli"), {"P36 id=60 \"zoli\"", "P35 kind=2 id=60 \"zoli\" \"ismeretlen\""}},
    };
    EXPECT_EQ(play(&chat, steps), expected(steps));
}

// An application answers private messages from inside the event: the reply joins the
// sent list while held messages are being delivered, and is confirmed in its turn.
TEST_F(Packets, RepliesFromInsideTheEvent)
{
    eventlog_react(34, [](void *record) {
        auto *e = static_cast<LVC_EvPrivate *>(record);
        LVC_SendPrivateMessage(3, e->userid, (std::string("re: ") + e->text).c_str());
    });
    std::vector<Step> steps = {
        {8, P().byte(3).i(50).s("egy"), {"X13 id=50"}},
        {8, P().byte(3).i(50).s("ketto"), {"X13 id=50"}},
        {18, P().i(50).s("anna"),
         {"P36 id=50 \"anna\"", "P34 kind=3 id=50 \"anna\" \"egy\"", "P34 kind=3 id=50 \"anna\" \"ketto\""}},
        {8, P().byte(11), {"P35 kind=3 id=50 \"anna\" \"re: egy\""}},
        {8, P().byte(11), {"P35 kind=3 id=50 \"anna\" \"re: ketto\""}},
    };
    Lines got = play(&chat, steps);
    eventlog_react(0, nullptr);
    EXPECT_EQ(got, expected(steps));
    std::vector<std::string> sent;
    fakepeer_packet p;
    while (sent.size() < 4 && loopchat_next(&chat, &p))
        sent.push_back(std::to_string(p.type));
    EXPECT_EQ(sent, (std::vector<std::string>{"17", "17", "8", "8"}));
}

TEST_F(Packets, RoomListProgressAndCutPayloads)
{
    eventlog_keep_progress(true);
    std::vector<Step> steps = {
        {9, P().i(5).s("Fo").s("t").i(1).i(2).i(0), {"E8 16/16 type=-1", "P1", "E8 23/23 type=9", "P2 r5", "P3"}},
        // Cut inside its second entry: the first counts, the connection goes on.
        {24, P().i(5).i(3).i(5), {"E8 16/16 type=-1", "E8 12/12 type=24", "P9 sub=0 r5 prev=1"}},
        {13, P().byte(2).i(5).s("x"), {"E8 16/16 type=-1", "E8 8/8 type=13"}},
    };
    Lines got = play(&chat, steps);
    eventlog_keep_progress(false);
    got.resize(got.size() - 2);  // the marker's header and payload
    EXPECT_EQ(got, expected(steps));
    EXPECT_EQ(LVC_GetRoom(5)->usercnt, 3);
}

}  // namespace
