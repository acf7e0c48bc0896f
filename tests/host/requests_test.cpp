// Request packets as the server receives them, the gate on the connection, the sent list
// of private messages and the bound of the outgoing buffer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "protocol/internal.h"
#include "tests/support/fakepeer.h"
#include "tests/support/lvcrecorder.h"

namespace {

using Bytes = fakepeer_bytes;

struct Requests : ::testing::Test {
    fakepeer peer;

    void SetUp() override
    {
        lvcrec_reset();
        ASSERT_EQ(lvcrec_init(), 1);
        ASSERT_EQ(fakepeer_listen(&peer), 1);
        LVC_Connect("127.0.0.1", peer.port, 0, "", 0);
        ASSERT_EQ(fakepeer_accept(&peer), 1);
        ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
        fakepeer_packet ping;
        ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
    }
    void TearDown() override
    {
        LVC_Cleanup();
        lvc.ownid = 0;
    }

    fakepeer_packet next()
    {
        fakepeer_packet p{-1, {}};
        EXPECT_EQ(fakepeer_recv_packet(&peer, &p), 1);
        return p;
    }
};

Bytes utf(const std::string &s)
{
    Bytes b;
    fakepeer_put_utf(&b, s);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(Requests, PayloadsOfEveryRequest)
{
    struct Case {
        const char *name;
        std::function<void()> send;
        int32_t type;
        Bytes payload;
    };
    const Case cases[] = {
        {"enter by id", [] { LVC_EnterRoom(17, ""); }, 5, {0, 0, 0, 0x11}},
        {"enter by name", [] { LVC_EnterRoom(0, "abc"); }, 5, {0, 0, 0, 0, 0, 3, 'a', 'b', 'c'}},
        {"leave", [] { LVC_LeaveRoom(-1); }, 6, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"room message", [] { LVC_SendMessage(2, 300, "$red$", "hi"); }, 7,
         cat({{2, 0, 0, 1, 0x2C}, utf("$red$"), utf("hi")})},
        {"private", [] { LVC_SendPrivateMessage(3, 9, "szia"); }, 8, cat({{3, 0, 0, 0, 9}, utf("szia")})},
        {"theme", [] { LVC_ChangeTheme(4, "new"); }, 4, cat({{9, 0, 0, 0, 4}, utf("new")})},
        {"kick", [] { LVC_OpfuncRoomUser(2, 4, 5); }, 4, {2, 0, 0, 0, 4, 0, 0, 0, 5}},
        {"close room", [] { LVC_OpfuncOneID(6, 4); }, 4, {6, 0, 0, 0, 4}},
        {"op", [] { LVC_ChPerms(4, 5, 0xFFFF); }, 4, {5, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0xFF, 0xFF}},
        {"whereis", [] { LVC_Ask_(14, 0, "bob"); }, 4, cat({{14, 0, 0, 0, 0}, utf("bob")})},
        {"ban", [] { LVC_Ban(3, 1, 2); }, 4, {4, 3, 0, 0, 0, 1, 0, 0, 0, 2}},
        {"ban from room", [] { LVC_BanFromRoom(1, 2, 3); }, 4, {13, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}},
        {"broadcast", [] { LVC_BcastMessage(""); }, 4, {10, 0, 0}},
        {"sighup", [] { LVC_SendSighup(); }, 4, {1}},
        {"ping", [] { LVC_Ping(); }, 15, {}},
        {"nick", [] { LVC_GetNickByID(258); }, 17, {0, 0, 1, 2}},
        {"type 16", [] { LVC_SendPacket_Type16(6); }, 16, {6}},
        {"type 29", [] { LVC_SendPacket_Type29(0, 9); }, 29, {0, 0, 0, 0, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.send();
        fakepeer_packet p = next();
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.payload, c.payload);
    }
}

TEST_F(Requests, PrivateMessagesAwaitingConfirmation)
{
    lvc.ownid = 42;
    LVC_SendPrivateMessage(3, 7, "");  // nothing at all
    LVC_SendPrivateMessage(1, 7, "kind one");
    LVC_SendPrivateMessage(3, 42, "to myself");
    LVC_SendPrivateMessage(3, 7, "first");
    LVC_SendPrivateMessage(2, 8, "second");
    for (const char *text : {"kind one", "to myself", "first", "second"}) {
        fakepeer_packet p = next();
        EXPECT_EQ(p.type, 8);
        Bytes tail = utf(text);
        EXPECT_EQ(Bytes(p.payload.begin() + 5, p.payload.end()), tail) << text;
    }
    std::lock_guard lock(lvc.sentlock);
    int32_t kind, user;
    ASSERT_STREQ(strlist_get(lvc.sent, &kind, &user, nullptr), "first");
    EXPECT_EQ(kind, 3);
    EXPECT_EQ(user, 7);
    ASSERT_STREQ(strlist_get(lvc.sent->next, &kind, &user, nullptr), "second");
    EXPECT_EQ(user, 8);
    EXPECT_EQ(lvc.sent->next->next, nullptr);
}

TEST_F(Requests, LongTextsAreCutToTheBufferAtACharacterBoundary)
{
    // The text starts 25 bytes into the packet (header, kind, room, empty attributes and
    // its own length); 8167 bytes are left, an odd count that would split a character.
    std::string text;
    while (text.size() < 9000)
        text += "\xC3\xA1";  // á, two bytes
    LVC_SendMessage(2, 1, "", text.c_str());
    fakepeer_packet p = next();
    ASSERT_EQ(p.type, 7);
    ASSERT_LE(p.payload.size() + 16, WIRE_PACKET_MAX);
    size_t n = size_t(p.payload[7]) << 8 | p.payload[8];
    EXPECT_EQ(9 + n, p.payload.size());
    EXPECT_EQ(n % 2, 0u);  // whole characters only
    EXPECT_GE(n, WIRE_PACKET_MAX - 16 - 9 - 1);
    EXPECT_EQ(std::string(p.payload.begin() + 9, p.payload.end()), text.substr(0, n));
}

// A private message is cut the same way; the sent list keeps what went out, so that the
// server's confirmation shows the text the peer got, and the caller learns how much that was.
TEST_F(Requests, ALongPrivateMessageIsRecordedAsSent)
{
    std::string text;
    while (text.size() < 9000)
        text += "\xC3\xA1";
    const int sent = LVC_SendPrivateMessage(3, 7, text.c_str());
    fakepeer_packet p = next();
    ASSERT_EQ(p.type, 8);
    const size_t n = size_t(p.payload[5]) << 8 | p.payload[6];
    EXPECT_EQ(7 + n, p.payload.size());
    EXPECT_EQ(n % 2, 0u);
    EXPECT_EQ(sent, static_cast<int>(n));
    EXPECT_EQ(LVC_SendPrivateMessage(3, 7, ""), 0);
    std::lock_guard lock(lvc.sentlock);
    ASSERT_NE(lvc.sent, nullptr);
    const std::string recorded = lvc.sent->text;
    EXPECT_EQ(recorded.size(), n);
    EXPECT_TRUE(recorded == text.substr(0, n));
}

TEST_F(Requests, OverflowingPacketIsDroppedAndTheLockReleased)
{
    // The attributes fill the buffer; the text's length no longer fits.
    std::string attributes(WIRE_PACKET_MAX, 'a');
    LVC_SendMessage(2, 1, attributes.c_str(), "x");
    net_newpacket(99);
    for (int i = 0; i < 3000; i++)
        net_writeint(i);
    EXPECT_EQ(net_sendpacket(), 0);
    LVC_Ping();  // would dead-lock if the lock had been kept
    fakepeer_packet p = next();
    EXPECT_EQ(p.type, 15);
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
}

TEST_F(Requests, GatedRequestsNeedTheConnection)
{
    LVC_Close();
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
    LVC_EnterRoom(1, "");
    LVC_LeaveRoom(1);
    LVC_SendMessage(2, 1, "", "x");
    LVC_SendPrivateMessage(3, 5, "x");
    LVC_ChangeTheme(1, "x");
    LVC_OpfuncRoomUser(2, 1, 2);
    LVC_OpfuncOneID(6, 1);
    LVC_ChPerms(1, 2, 0);
    LVC_Ban(1, 2, 3);
    LVC_Ping();
    LVC_GetNickByID(1);
    LVC_SendPacket_Type16(6);
    LVC_SendPacket_Type29(0, 9);
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
    {
        std::lock_guard lock(lvc.sentlock);
        EXPECT_EQ(lvc.sent, nullptr);
    }
    // The ungated ones try and fail.
    LVC_Ask_(20, 0, "x");
    LVC_BanFromRoom(1, 2, 3);
    EXPECT_EQ(lvcrec_codes(LVCREC_FAILURE), (std::vector<int>{LVC_ERR_SEND, LVC_ERR_SEND}));
    EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
}

// Decoding never reads past the payload.
TEST(NetDecoding, FieldsPastTheEndYieldZeroAndEmpty)
{
    const uint8_t payload[] = {0x80, 0, 0, 0, 1, 0, 5, 'a', 'b'};
    lvc.in = wire_reader_make(payload, sizeof payload);
    EXPECT_EQ(net_readbyte(), 0x80);
    EXPECT_EQ(net_readint(), 1);
    char *s = net_readutf();  // announces 5 bytes, 2 present
    EXPECT_STREQ(s, "");
    mem_free(&s);
    EXPECT_EQ(s, nullptr);
    mem_free(&s);  // already null: stays null
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(net_readint(), 0);
    EXPECT_TRUE(lvc.in.overrun);

    const uint8_t empty[] = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    lvc.in = wire_reader_make(empty, sizeof empty);
    s = net_readutf();
    EXPECT_STREQ(s, "");
    mem_free(&s);
    EXPECT_EQ(net_readint(), -1);
    EXPECT_FALSE(lvc.in.overrun);
}

}  // namespace
