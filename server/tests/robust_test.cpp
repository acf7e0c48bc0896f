// lvserver black-box: malformed input, abrupt ends, floods and clients that stop
// reading. After each, the server must still serve everybody else.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include "server/tests/rawclient.h"

namespace {

class Robust : public ::testing::Test {
protected:
    rc_server srv;
    rc_client good;
    void SetUp() override
    {
        ASSERT_TRUE(rc_start(&srv, {"--queue-cap", "262144"}));
        ASSERT_TRUE(rc_join(&good, srv, "jo"));
        ASSERT_TRUE(rc_enter(&good, 2));
    }
    void TearDown() override
    {
        EXPECT_TRUE(rc_alive(&srv));
        rc_stop(&srv);
    }
    // The server still answers: the old client's ping, and a new client's line in a room.
    void still_serving(const std::string &nick)
    {
        rc_packet p;
        rc_send(&good, 15, rc_payload());
        ASSERT_TRUE(rc_expect(&good, 15, &p));
        rc_client c;
        ASSERT_TRUE(rc_join(&c, srv, nick));
        ASSERT_TRUE(rc_enter(&c, 2));
        rc_send(&c, 7, rc_payload().byte(2).i32(2).utf("").utf("élek"));
        ASSERT_TRUE(rc_expect(&good, 13, &p));
    }
};

TEST_F(Robust, BadFramingClosesOnlyThatConnection)
{
    uint8_t hdr[16];
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"garbage", std::vector<uint8_t>(16, 0x55)},
        {"huge", {}},
        {"over-limit", {}},
    };
    wire_make_header(hdr, 7, 0x7FFFFFFF);
    cases[1].bytes.assign(hdr, hdr + 16);
    wire_make_header(hdr, 7, 65537);
    cases[2].bytes.assign(hdr, hdr + 16);
    int n = 0;
    for (const Case &k : cases) {
        for (bool logged_in : {false, true}) {
            rc_client c;
            bool up = logged_in ? rc_join(&c, srv, "rossz" + std::to_string(n)) : rc_connect(&c, srv.chat);
            ASSERT_TRUE(up);
            rc_send_bytes(&c, k.bytes.data(), k.bytes.size());
            EXPECT_TRUE(rc_closed(&c)) << k.name;
            still_serving("probe" + std::to_string(n++));
        }
    }
}

TEST_F(Robust, ShortFieldsAreDroppedAndTheConnectionLives)
{
    rc_client c;
    ASSERT_TRUE(rc_join(&c, srv, "rovid"));
    ASSERT_TRUE(rc_enter(&c, 2));
    rc_drain(&good, 100);
    struct Case {
        int32_t type;
        rc_payload payload;
    } shorts[] = {
        {7, rc_payload().byte(2).i32(2).utf("")},           // without text
        {7, rc_payload().byte(2).i32(2).byte(0).byte(50)},  // text claims 50 bytes
        {5, rc_payload().i32(0).byte(0)},                   // by name, no name
        {8, rc_payload().byte(3).i32(good.id)},             // without text
        {4, rc_payload().byte(2).i32(2)},                   // kick without user
        {4, rc_payload().byte(9).i32(2).byte(1)},           // topic cut short
        {4, rc_payload().byte(4).byte(1)},                  // ban without ints
        {17, rc_payload().byte(0)},                         // short id
    };
    for (const Case &k : shorts)
        rc_send(&c, k.type, k.payload);
    rc_send(&c, 15, rc_payload());
    rc_packet p;
    ASSERT_TRUE(rc_expect(&c, 15, &p));
    // None of them reached anyone.
    EXPECT_FALSE(rc_expect_if(&good, -1, &p, [](const rc_packet &q) { return q.type != 24; }, 300));
    std::string s = rc_control(srv, "sessions");
    EXPECT_NE(s.find("rovid client 127.0.0.1 rooms=2 queued=0 in=11 bad=8"), std::string::npos) << s;
    still_serving("probe");
}

TEST_F(Robust, AbruptEndsInsideAPacket)
{
    for (int i = 0; i < 3; i++) {
        rc_client c;
        ASSERT_TRUE(rc_join(&c, srv, "hirtelen" + std::to_string(i)));
        ASSERT_TRUE(rc_enter(&c, 2));
        uint8_t buf[26];
        wire_make_header(buf, 7, 100);
        size_t n = i == 0 ? 7 : i == 1 ? 16 : 26;  // inside the header, after it, in the payload
        rc_send_bytes(&c, buf, n);
        int32_t id = c.id;
        rc_close(&c);
        rc_packet p;
        ASSERT_TRUE(rc_expect_if(&good, 12, &p, [&](const rc_packet &q) {
            rc_reader r(&q);
            return r.byte() == 5 && (r.i32(), r.i32() == id);
        }));
    }
    // A client that stops in the middle of a header is simply waited for.
    rc_client half;
    ASSERT_TRUE(rc_connect(&half, srv.chat));
    uint8_t hdr[16];
    wire_make_header(hdr, 15, 0);
    rc_send_bytes(&half, hdr, 9);
    still_serving("probe");
    rc_send_bytes(&half, hdr + 9, 7);
    rc_packet p;
    EXPECT_TRUE(rc_expect(&half, 15, &p));
}

TEST_F(Robust, AClientThatDoesNotReadIsDropped)
{
    rc_client lazy;
    ASSERT_TRUE(rc_join(&lazy, srv, "lusta", "", 4096));
    ASSERT_TRUE(rc_enter(&lazy, 2));
    ASSERT_EQ(rc_control(srv, "flood start 2 20000"), "ok\n");
    // The reading client keeps getting lines all along, until the other one is dropped
    // (the kernel's buffers fill first, then the server's queue).
    rc_packet p;
    bool dropped = false;
    for (int i = 0; i < 600 && !dropped; i++) {
        for (int k = 0; k < 1000; k++)
            ASSERT_TRUE(rc_expect(&good, 13, &p));
        good.backlog.clear();
        dropped = rc_control(srv, "sessions").find("lusta") == std::string::npos;
    }
    rc_control(srv, "flood stop");
    EXPECT_TRUE(dropped);
    EXPECT_NE(rc_control(srv, "stats").find(" slow=1 "), std::string::npos);
    EXPECT_TRUE(rc_closed(&lazy, 10000));
    rc_drain(&good, 300);
    still_serving("probe");
}

TEST_F(Robust, AFloodingUserIsPutOutOfTheRoom)
{
    rc_client f;
    ASSERT_TRUE(rc_join(&f, srv, "floodolo"));
    ASSERT_TRUE(rc_enter(&f, 2));
    for (int i = 0; i < 30; i++)
        rc_send(&f, 7, rc_payload().byte(2).i32(2).utf("").utf("spam " + std::to_string(i)));
    rc_packet p;
    ASSERT_TRUE(rc_expect_if(&good, 12, &p, [](const rc_packet &q) { return q.data[0] == 0; }));
    ASSERT_TRUE(rc_expect(&f, 6, &p));
    rc_drain(&good, 200);
    still_serving("probe");
}

}  // namespace
