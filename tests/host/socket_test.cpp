#include <gtest/gtest.h>

#include <string>

#include "protocol/socket.h"
#include "tests/support/fakepeer.h"

namespace {

struct SocketLibrary : ::testing::Test {
    void SetUp() override
    {
        int error;
        void *description;
        ASSERT_EQ(lvsock_startup(&error, &description), 1);
    }
    void TearDown() override { lvsock_cleanup(); }
};

TEST_F(SocketLibrary, ResolvesDottedAndNamedHosts)
{
    uint32_t a = 0;
    ASSERT_EQ(lvsock_resolve("127.0.0.1", &a), 1);
    const uint8_t *b = reinterpret_cast<const uint8_t *>(&a);
    EXPECT_EQ(b[0], 127);
    EXPECT_EQ(b[3], 1);
    ASSERT_EQ(lvsock_resolve("localhost", &a), 1);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(&a)[0], 127);
    EXPECT_EQ(lvsock_resolve("no-such-host.invalid", &a), 0);
}

TEST_F(SocketLibrary, LoopbackExchangeEndOfStreamAndPeerName)
{
    fakepeer peer;
    ASSERT_EQ(fakepeer_listen(&peer), 1);
    ASSERT_NE(peer.port, 0);

    uint32_t addr;
    ASSERT_EQ(lvsock_resolve("127.0.0.1", &addr), 1);
    lvsock s = lvsock_tcp();
    ASSERT_NE(s, LVSOCK_INVALID);
    ASSERT_EQ(lvsock_connect(s, addr, peer.port), 1);
    ASSERT_EQ(fakepeer_accept(&peer), 1);

    uint32_t paddr;
    uint16_t pport;
    ASSERT_EQ(lvsock_peer(s, &paddr, &pport), 1);
    EXPECT_EQ(paddr, addr);
    EXPECT_EQ(pport, peer.port);

    EXPECT_EQ(lvsock_send(s, "hello", 5), 5);
    char got[5];
    ASSERT_EQ(fakepeer_recv(&peer, got, 5), 1);
    EXPECT_EQ(std::string(got, 5), "hello");

    ASSERT_EQ(fakepeer_send(&peer, "xy", 2), 1);
    ASSERT_EQ(lvsock_wait_readable(s, 5000), 1);
    EXPECT_EQ(lvsock_pending(s), 2);  // the reader skips its wait on this
    char two[8];
    EXPECT_EQ(lvsock_recv(s, two, sizeof two), 2);
    EXPECT_EQ(lvsock_pending(s), 0);

    EXPECT_EQ(lvsock_wait_readable(s, 50), 0);  // nothing more yet
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvsock_wait_readable(s, 5000), 1);
    EXPECT_EQ(lvsock_pending(s), 0);  // the end of the stream is found by the wait, not here
    EXPECT_EQ(lvsock_recv(s, two, sizeof two), 0);
    EXPECT_EQ(lvsock_shutdown(s), 0);
    EXPECT_EQ(lvsock_close(s), 0);
}

TEST_F(SocketLibrary, ConnectToClosedPortFails)
{
    uint16_t port;
    lvsock l = lvsock_listen(0, &port);
    ASSERT_NE(l, LVSOCK_INVALID);
    lvsock_close(l);  // nobody listens there now
    uint32_t addr;
    ASSERT_EQ(lvsock_resolve("127.0.0.1", &addr), 1);
    lvsock s = lvsock_tcp();
    EXPECT_EQ(lvsock_connect(s, addr, port), 0);
    lvsock_close(s);
}

TEST_F(SocketLibrary, PacketRoundTripThroughFakePeer)
{
    fakepeer peer;
    ASSERT_EQ(fakepeer_listen(&peer), 1);
    uint32_t addr;
    lvsock_resolve("127.0.0.1", &addr);
    lvsock s = lvsock_tcp();
    ASSERT_EQ(lvsock_connect(s, addr, peer.port), 1);
    ASSERT_EQ(fakepeer_accept(&peer), 1);

    fakepeer_bytes payload;
    fakepeer_put_byte(&payload, 7);
    fakepeer_put_int(&payload, -2);
    fakepeer_put_utf(&payload, "abc");
    fakepeer_bytes framed = fakepeer_frame(13, payload);
    ASSERT_EQ(framed.size(), 16u + 1 + 4 + 5);
    ASSERT_EQ(lvsock_send(s, framed.data(), framed.size()), long(framed.size()));

    fakepeer_packet got;
    ASSERT_EQ(fakepeer_recv_packet(&peer, &got), 1);
    EXPECT_EQ(got.type, 13);
    EXPECT_EQ(got.payload, (fakepeer_bytes{7, 0xFF, 0xFF, 0xFF, 0xFE, 0, 3, 'a', 'b', 'c'}));

    lvsock_close(s);
    EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
}

}  // namespace
