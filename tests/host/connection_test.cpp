// The connection against loopback fake peers: framing of what is read, broken headers and
// streams, reconnecting, the keep-alive, proxies, time-outs, the end of the program and
// the hand-over of everything to a draining thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "protocol/internal.h"
#include "tests/support/daemon.h"
#include "tests/support/fakepeer.h"
#include "tests/support/lvcrecorder.h"

namespace {

using std::vector;

uint32_t loopback()
{
    uint32_t a;
    lvsock_resolve("127.0.0.1", &a);
    return a;
}

struct Connection : ::testing::Test {
    fakepeer peer;

    void SetUp() override
    {
        lvcrec_reset();
        ASSERT_EQ(lvcrec_init(), 1);
        ASSERT_EQ(fakepeer_listen(&peer), 1);
    }
    void TearDown() override
    {
        LVC_Cleanup();
        LVC_SetDispatchHook(nullptr);
        lvc_set_keepalive_ms(60000);
        lvc_set_connect_timeout_ms(15000);
        LVC_FreeRoomlist();
        lvc.quit = 0;
    }

    // Connects directly to the fake peer and takes the first keep-alive ping off the wire.
    void connect_and_ping()
    {
        LVC_Connect("127.0.0.1", peer.port, 0, "", 0);
        ASSERT_EQ(fakepeer_accept(&peer), 1);
        ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
        fakepeer_packet ping;
        ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
        ASSERT_EQ(ping.type, 15);
    }

    void expect_closed_after_header_failure(const vector<uint32_t> &words)
    {
        ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
        auto log = lvcrec_log();
        const lvcrec_entry *bad = lvcrec_last(log, LVCREC_FAILURE, LVC_ERR_HEADER);
        ASSERT_NE(bad, nullptr);
        EXPECT_EQ(bad->fields, vector<int64_t>(words.begin(), words.end()));
        EXPECT_EQ(lvcrec_codes(LVCREC_EVENT).back(), LVC_EV_CLOSED);
        EXPECT_EQ(LVC_IsConnected(), 0);
        EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
    }
};

TEST(ConnectionInit, NullCallbackStartsNothing)
{
    lvcrec_reset();
    EXPECT_EQ(LVC_Init(nullptr, lvcrec_event, lvcrec_failure), 0);
    EXPECT_EQ(LVC_Init(lvcrec_packet, nullptr, lvcrec_failure), 0);
    EXPECT_EQ(LVC_Init(lvcrec_packet, lvcrec_event, nullptr), 0);
    EXPECT_TRUE(lvcrec_log().empty());
}

TEST(ConnectionInit, ReportsLibraryStartAndStop)
{
    lvcrec_reset();
    ASSERT_EQ(lvcrec_init(), 1);
    LVC_Cleanup();
    auto log = lvcrec_log();
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(log.front().fields, vector<int64_t>{2});  // version 2.0
}

TEST_F(Connection, FirstPacketIsThePingExactly)
{
    EXPECT_EQ(LVC_GetUptime(), 0);
    LVC_Connect("127.0.0.1", peer.port, 0, "", 0);
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
    uint8_t raw[16];
    ASSERT_EQ(fakepeer_recv(&peer, raw, 16), 1);
    EXPECT_EQ(vector<uint8_t>(raw, raw + 16), (vector<uint8_t>{0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF0,
                                                               0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x31}));
    // Exactly one ping in the first minute.
    EXPECT_EQ(fakepeer_quiet(&peer, 300), 1);

    auto log = lvcrec_log();
    const lvcrec_entry *ev = lvcrec_last(log, LVCREC_EVENT, LVC_EV_CONNECTED);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->fields[0], int64_t(loopback()));
    EXPECT_EQ(ev->fields[1], peer.port);
    EXPECT_EQ(lvc.serverport.load(), peer.port);
    EXPECT_EQ(LVC_IsConnected(), 1);
    EXPECT_EQ(LVC_GetLoginState(), 0);
}

TEST_F(Connection, UptimeCountsWhileConnectedOnly)
{
    connect_and_ping();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_GE(LVC_GetUptime(), 1);
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
    EXPECT_EQ(LVC_GetUptime(), 0);
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());  // end of stream is no failure
}

TEST_F(Connection, SkipsUnhandledPacketsAndKeepsFraming)
{
    connect_and_ping();
    fakepeer_bytes ten(10, 0xAA);
    ASSERT_EQ(fakepeer_send_packet(&peer, 20, ten), 1);
    ASSERT_EQ(fakepeer_send_packet(&peer, 21, {}), 1);  // empty payload
    fakepeer_bytes list;
    fakepeer_put_int(&list, 0);
    ASSERT_EQ(fakepeer_send_packet(&peer, 9, list), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_PACKET, 1), 1);  // the room list is about to change
    EXPECT_EQ(LVC_IsConnected(), 1);
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);

    auto log = lvcrec_log();
    vector<vector<int64_t>> payload_progress;
    for (const lvcrec_entry &e : log)
        if (e.source == LVCREC_EVENT && e.code == LVC_EV_PROGRESS && e.fields[2] != -1)
            payload_progress.push_back(e.fields);
    ASSERT_FALSE(payload_progress.empty());
    EXPECT_EQ(payload_progress.front(), (vector<int64_t>{10, 10, 20}));
    EXPECT_EQ(payload_progress.back(), (vector<int64_t>{4, 4, 9}));
    EXPECT_EQ(payload_progress.size(), 2u);  // none for the empty payload
    // Packet event 1 comes before the room list's payload is read.
    auto first = [&](auto pred) { return std::find_if(log.begin(), log.end(), pred) - log.begin(); };
    EXPECT_LT(first([](const lvcrec_entry &e) { return e.source == LVCREC_PACKET && e.code == 1; }),
              first([](const lvcrec_entry &e) {
                  return e.source == LVCREC_EVENT && e.code == LVC_EV_PROGRESS && e.fields[2] == 9;
              }));
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
}

TEST_F(Connection, BadHeadersEndTheConnection)
{
    struct Case {
        const char *name;
        std::function<void(uint8_t *)> spoil;
    };
    const Case cases[] = {
        {"check word off by one", [](uint8_t *h) { wire_put32(h + 12, wire_get32(h + 12) + 1); }},
        {"wrong magic", [](uint8_t *h) { wire_put32(h, 0x12345678); }},
        {"wrong magic, matching check", [](uint8_t *h) {
             wire_put32(h, 0xE904C7A0);
             wire_put32(h + 12, (wire_get32(h) + wire_get32(h + 4) + wire_get32(h + 8)) ^ WIRE_MAGIC);
         }},
        {"length over the limit", [](uint8_t *h) { wire_make_header(h, 13, WIRE_PAYLOAD_LIMIT + 1); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        lvcrec_reset();
        connect_and_ping();
        uint8_t h[16];
        wire_make_header(h, 13, 4);
        c.spoil(h);
        ASSERT_EQ(fakepeer_send(&peer, h, 16), 1);
        expect_closed_after_header_failure({wire_get32(h), wire_get32(h + 4), wire_get32(h + 8), wire_get32(h + 12)});
    }
}

TEST_F(Connection, StreamCutInsideAPayload)
{
    connect_and_ping();
    uint8_t h[16];
    wire_make_header(h, 13, 100);
    ASSERT_EQ(fakepeer_send(&peer, h, 16), 1);
    fakepeer_bytes half(50, 1);
    ASSERT_EQ(fakepeer_send(&peer, half), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_PROGRESS, 2), 1);
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
    auto log = lvcrec_log();
    EXPECT_EQ(lvcrec_last(log, LVCREC_EVENT, LVC_EV_PROGRESS)->fields, (vector<int64_t>{50, 100, 13}));
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11, 6, 16, 17, 7}));
}

TEST_F(Connection, ConnectWhileConnectedClosesTheOldSocketFirst)
{
    connect_and_ping();
    fakepeer second;
    ASSERT_EQ(fakepeer_listen(&second), 1);
    LVC_Connect("127.0.0.1", second.port, 0, "", 0);
    EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
    ASSERT_EQ(fakepeer_accept(&second), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED, 2), 1);
    fakepeer_packet ping;
    ASSERT_EQ(fakepeer_recv_packet(&second, &ping), 1);
    EXPECT_EQ(ping.type, 15);
    EXPECT_EQ(fakepeer_quiet(&second, 300), 1);  // the old keep-alive never pings here
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11, 6, 14, 15, 16, 17, 7, 6}));
    EXPECT_EQ(lvcrec_last(lvcrec_log(), LVCREC_EVENT, 6)->fields[1], second.port);
}

TEST_F(Connection, NewerConnectWinsOverOneStillConnecting)
{
    // The first connect hangs at a proxy that has not answered yet.
    testing::internal::CaptureStdout();
    fakepeer proxy;
    ASSERT_EQ(fakepeer_listen(&proxy), 1);
    LVC_Connect("chat.example", 8888, 1, "127.0.0.1", proxy.port);
    ASSERT_EQ(fakepeer_accept(&proxy), 1);
    std::string head;
    ASSERT_EQ(fakepeer_recv_head(&proxy, &head), 1);

    LVC_Connect("127.0.0.1", peer.port, 0, "", 0);
    std::string ok = "HTTP/1.0 200 Connection established\r\n\r\n";
    ASSERT_EQ(fakepeer_send(&proxy, ok.data(), ok.size()), 1);
    EXPECT_EQ(fakepeer_wait_eof(&proxy), 1);  // given up without a word
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
    fakepeer_packet ping;
    ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11, 6}));
    EXPECT_EQ(lvcrec_last(lvcrec_log(), LVCREC_EVENT, 6)->fields[1], peer.port);
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
    testing::internal::GetCapturedStdout();
}

TEST_F(Connection, KeepAlivePingsOnIntervalAndStopsWithItsConnection)
{
    lvc_set_keepalive_ms(40);
    connect_and_ping();
    fakepeer_packet p;
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(fakepeer_recv_packet(&peer, &p), 1);
        EXPECT_EQ(p.type, 15);
        EXPECT_TRUE(p.payload.empty());
    }
    // With the long interval a keep-alive that did not end with its connection would hold
    // up the close: event 7 comes only after the keep-alive thread is gone.
    lvc_set_keepalive_ms(60000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(LVC_Close(), 1);
    EXPECT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED, 1, 3000), 1);
    EXPECT_EQ(LVC_Close(), 0);  // not connected any more
}

TEST_F(Connection, DisconnectedRequestsReachNoOtherSocket)
{
    connect_and_ping();
    EXPECT_EQ(LVC_Close(), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
    ASSERT_EQ(fakepeer_wait_eof(&peer), 1);

    // A fresh connection that may well get the closed socket's handle.
    lvsock other = lvsock_tcp();
    ASSERT_EQ(lvsock_connect(other, loopback(), peer.port), 1);
    ASSERT_EQ(fakepeer_accept(&peer), 1);

    LVC_Ping();                     // gated: dropped
    LVC_SendSighup();               // ungated: the send fails
    LVC_BcastMessage("hello");
    EXPECT_EQ(fakepeer_quiet(&peer, 200), 1);
    EXPECT_EQ(lvcrec_codes(LVCREC_FAILURE), (vector<int>{LVC_ERR_SEND, LVC_ERR_SEND}));
    lvsock_close(other);
}

TEST_F(Connection, ConnectFailuresAreReportedOnce)
{
    struct Case {
        const char *host;
        uint16_t port;
        int proxytype;
        int failure;
    };
    uint16_t closed;
    lvsock l = lvsock_listen(0, &closed);
    lvsock_close(l);
    const Case cases[] = {
        {"no-such-host.invalid", 8888, 0, LVC_ERR_RESOLVE},
        {"127.0.0.1", closed, 0, LVC_ERR_CONNECT},
        {"127.0.0.1", 80, 2, LVC_ERR_PROXY},       // type 2 does not carry port 80
        {"127.0.0.1", peer.port, 3, LVC_ERR_PROXY},  // unknown proxy type
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failure);
        lvcrec_reset();
        LVC_Connect(c.host, c.port, c.proxytype, "127.0.0.1", peer.port);
        ASSERT_EQ(lvcrec_wait(LVCREC_FAILURE, c.failure), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(lvcrec_codes(LVCREC_FAILURE), vector<int>{c.failure});
        EXPECT_TRUE(lvcrec_codes(LVCREC_EVENT).empty());
    }
    EXPECT_EQ(lvsock_wait_readable(peer.listener, 0), 0);  // nobody came to the proxy
}

TEST_F(Connection, ProxyTypeTwoGoesDirectForTheChatPort)
{
    LVC_Connect("127.0.0.1", peer.port, 2, "192.0.2.1", 3128);
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    fakepeer_packet ping;
    ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);  // no CONNECT line first
    EXPECT_EQ(ping.type, 15);
}

TEST_F(Connection, ProxyTypeOneForPortEightyConnectsToTheProxyItself)
{
    LVC_Connect("192.0.2.1", 80, 1, "127.0.0.1", peer.port);
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    fakepeer_packet ping;
    ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
    EXPECT_EQ(ping.type, 15);
}

TEST_F(Connection, ProxyErrorStatusStillConnects)
{
    testing::internal::CaptureStdout();
    LVC_Connect("chat.example", 8888, 1, "127.0.0.1", peer.port);
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    std::string head;
    ASSERT_EQ(fakepeer_recv_head(&peer, &head), 1);
    EXPECT_EQ(head, "CONNECT chat.example:8888 HTTP/1.0\n\n");
    // A packet right behind the blank line must not be swallowed with the reply.
    std::string reply = "HTTP/1.0 403 Forbidden\r\nProxy-agent: fake\r\n\r\n";
    fakepeer_bytes bytes(reply.begin(), reply.end());
    fakepeer_bytes list = fakepeer_frame(9, {0, 0, 0, 0});
    bytes.insert(bytes.end(), list.begin(), list.end());
    ASSERT_EQ(fakepeer_send(&peer, bytes), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
    fakepeer_packet ping;
    ASSERT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
    EXPECT_EQ(ping.type, 15);
    EXPECT_EQ(lvcrec_wait(LVCREC_PACKET, 1), 1);
    EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "GET string sent..\nCONNECT chat.example:8888 HTTP/1.0\n\n\nproxy response: " + reply);
}

TEST_F(Connection, ProxyReplyWithoutBlankLineFails)
{
    struct Case {
        const char *name;
        std::string reply;
    };
    // A reply of exactly 64 KB whose blank line ends in its last byte: with its NUL it
    // does not fit the buffer.
    const std::string head = "HTTP/1.0 200 OK\r\nX: ";
    const Case cases[] = {
        {"cut short", "HTTP/1.0 200 Connection established\r\n"},
        {"over 64 KB", head + std::string(70000, 'a')},
        {"blank line ending at 64 KB", head + std::string(65536 - head.size() - 4, 'a') + "\r\n\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        lvcrec_reset();
        testing::internal::CaptureStdout();  // the reply is echoed, all 64 KB of it
        LVC_Connect("chat.example", 8888, 1, "127.0.0.1", peer.port);
        ASSERT_EQ(fakepeer_accept(&peer), 1);
        std::string head;
        ASSERT_EQ(fakepeer_recv_head(&peer, &head), 1);
        fakepeer_send(&peer, c.reply.data(), c.reply.size());
        fakepeer_hangup(&peer);
        // Byte by byte through Wine's socket layer, 64 KB take a while.
        EXPECT_EQ(lvcrec_wait(LVCREC_FAILURE, LVC_ERR_PROXY, 1, 60000), 1);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("proxy response: HTTP/1.0 200"), std::string::npos);
        EXPECT_LE(out.size(), 65536u + 100);
        EXPECT_TRUE(lvcrec_codes(LVCREC_EVENT).empty());
        EXPECT_EQ(LVC_IsConnected(), 0);
    }
}

// A real HTTP proxy daemon on loopback tunnels the chat connection to the fake server.
TEST_F(Connection, TunnelThroughTinyproxy)
{
    if (!daemon_runnable("/usr/bin/tinyproxy -v"))
        GTEST_SKIP() << "tinyproxy cannot be run here";
    daemon_proc proxy("tinyproxy");
    ASSERT_TRUE(daemon_tinyproxy_start(&proxy)) << proxy.read("out.txt");
    const uint16_t proxyport = proxy.port;

    testing::internal::CaptureStdout();
    LVC_Connect("127.0.0.1", peer.port, 1, "127.0.0.1", proxyport);
    EXPECT_EQ(fakepeer_accept(&peer), 1);
    EXPECT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CONNECTED), 1);
    fakepeer_packet ping;
    EXPECT_EQ(fakepeer_recv_packet(&peer, &ping), 1);
    EXPECT_EQ(ping.type, 15);
    // The peer the client sees is the proxy.
    EXPECT_EQ(lvcrec_last(lvcrec_log(), LVCREC_EVENT, 6)->fields[1], proxyport);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("proxy response: HTTP/1.0 200 Connection established\r\n"), std::string::npos) << out;
    EXPECT_EQ(fakepeer_send_packet(&peer, 9, {0, 0, 0, 0}), 1);
    EXPECT_EQ(lvcrec_wait(LVCREC_PACKET, 1), 1);
    LVC_Close();
    EXPECT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);
}

// Stands in for a user-interface thread: drains the client's inbox whenever the hook
// wakes it, unless the test holds it (a user interface that is busy).
struct FakeUi {
    std::mutex m;
    std::condition_variable cv;
    bool woken = false;
    bool held = false;
    bool stop = false;
    std::thread thread{[this] { run(); }};

    void run()
    {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [this] { return stop || (woken && !held); });
            if (stop)
                return;
            woken = false;
            lock.unlock();
            while (LVC_Drain(5)) {
            }
            lock.lock();
        }
    }
    void wake()
    {
        std::lock_guard lock(m);
        woken = true;
        cv.notify_all();
    }
    // Held, it drains nothing; let go, it drains what has piled up.
    void hold(bool on)
    {
        std::lock_guard lock(m);
        held = on;
        woken = woken || !on;
        cv.notify_all();
    }
    void finish()
    {
        {
            std::lock_guard lock(m);
            stop = true;
            cv.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }
    ~FakeUi() { finish(); }
};

FakeUi *fake_ui;

void fake_ui_wake()
{
    fake_ui->wake();
}

// The client with its dispatch hook pointed at a fake user-interface thread.
struct HandOver : Connection {
    FakeUi ui;
    void SetUp() override
    {
        Connection::SetUp();
        fake_ui = &ui;
        LVC_SetDispatchHook(fake_ui_wake);
    }
    void TearDown() override
    {
        // The drainer ends first: clean-up drops what it would still have delivered.
        ui.finish();
        Connection::TearDown();
        lvc_inbox_set_limits(LVC_INBOX_MAX_BYTES, LVC_INBOX_MAX_ITEMS);
    }
    // Every entry after LVC_Init's two, which ran on this thread, ran on the fake one.
    void expect_all_on_the_ui_thread(const std::vector<lvcrec_entry> &log)
    {
        for (const lvcrec_entry &e : log) {
            if (e.source == LVCREC_EVENT && (e.code == LVC_EV_WSA_STARTING || e.code == LVC_EV_WSA_STARTED))
                continue;
            EXPECT_EQ(e.thread, ui.thread.get_id()) << char(e.source) << e.code;
        }
    }
};

fakepeer_bytes nick_answer(int32_t id, size_t length)
{
    fakepeer_bytes b;
    fakepeer_put_int(&b, id);
    fakepeer_put_utf(&b, std::string(length, char('a' + id % 26)));
    return b;
}

// The ids of the nick answers (packet event 36) in the order the callback saw them.
struct NickOrder {
    std::mutex m;
    std::vector<int32_t> ids;
    void observe()
    {
        lvcrec_observe_packets([this](int code, void *record) {
            if (code != 36)
                return;
            std::lock_guard lock(m);
            ids.push_back(static_cast<LVC_EvNick *>(record)->userid);
        });
    }
    std::vector<int32_t> take()
    {
        std::lock_guard lock(m);
        return ids;
    }
};

std::vector<int32_t> first_ids(int n)
{
    std::vector<int32_t> ids(size_t(n), 0);
    for (int i = 0; i < n; i++)
        ids[size_t(i)] = i;
    return ids;
}

TEST_F(HandOver, EveryCallbackRunsOnTheDrainingThreadInOrder)
{
    NickOrder order;
    order.observe();
    connect_and_ping();
    // Packets in pieces of every size, a room list among them, then a bad header.
    fakepeer_bytes stream;
    auto add = [&](int32_t type, const fakepeer_bytes &payload) {
        const fakepeer_bytes f = fakepeer_frame(type, payload);
        stream.insert(stream.end(), f.begin(), f.end());
    };
    for (int i = 0; i < 300; i++)
        add(18, nick_answer(i, size_t(i % 40)));
    add(9, {0, 0, 0, 0});
    for (int i = 300; i < 600; i++)
        add(18, nick_answer(i, 3));
    uint8_t bad[16];
    wire_make_header(bad, 13, 4);
    wire_put32(bad, 0x12345678);
    stream.insert(stream.end(), bad, bad + 16);
    const size_t pieces[] = {1, 7, 15, 16, 17, 100, 1500, 3, 4096};
    for (size_t at = 0, i = 0; at < stream.size(); i++) {
        const size_t n = std::min(pieces[i % std::size(pieces)], stream.size() - at);
        ASSERT_EQ(fakepeer_send(&peer, stream.data() + at, n), 1);
        at += n;
        if (i % 50 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);

    EXPECT_EQ(order.take(), first_ids(600));
    const auto log = lvcrec_log();
    expect_all_on_the_ui_thread(log);
    // Records raised on the reader arrive as they were raised, long after its stack moved on.
    EXPECT_EQ(lvcrec_last(log, LVCREC_EVENT, LVC_EV_CONNECTED)->fields[1], peer.port);
    EXPECT_EQ(lvcrec_last(log, LVCREC_FAILURE, LVC_ERR_HEADER)->fields,
              (vector<int64_t>{0x12345678, wire_get32(bad + 4), wire_get32(bad + 8), wire_get32(bad + 12)}));
    vector<int> packets(300, 36);
    packets.push_back(1);
    packets.push_back(3);
    packets.insert(packets.end(), 300, 36);
    EXPECT_EQ(lvcrec_codes(LVCREC_PACKET), packets);
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11, 6, 16, 17, 7}));
}

// A user interface that falls behind stops the reader: the inbox stays within its bound,
// the socket's buffers fill and the server's sending stalls. Let go, every packet arrives.
TEST_F(HandOver, AFullInboxHoldsTheServerBack)
{
    constexpr size_t limit = 64 * 1024;
    lvc_inbox_set_limits(limit, 100000);
    NickOrder order;
    order.observe();
    connect_and_ping();
    ui.hold(true);
    constexpr int packets = 16000;
    const fakepeer_bytes one = fakepeer_frame(18, nick_answer(0, 1000));
    std::atomic<size_t> sent{0};
    std::thread server([&] {
        for (int i = 0; i < packets; i++) {
            if (!fakepeer_send_packet(&peer, 18, nick_answer(i, 1000)))
                return;
            sent += one.size();
        }
    });
    // Wait until the reader waits and the server has sent nothing for a while.
    size_t before = 0;
    for (int i = 0; i < 200 && (sent != before || !lvc_inbox_get_state().reader_waiting); i++) {
        before = sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const lvc_inbox_state full = lvc_inbox_get_state();
    EXPECT_TRUE(full.reader_waiting);
    EXPECT_LE(full.bytes, limit + NET_CHUNK + one.size());
    EXPECT_LT(sent.load(), packets * one.size()) << "the server was never held back";
    EXPECT_TRUE(order.take().empty());

    ui.hold(false);
    server.join();
    EXPECT_EQ(sent.load(), packets * one.size());
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED, 1, 60000), 1);
    EXPECT_EQ(order.take(), first_ids(packets));
    expect_all_on_the_ui_thread(lvcrec_log());
}

TEST_F(HandOver, CleanupReleasesAReaderWaitingForRoom)
{
    lvc_inbox_set_limits(4096, 100000);
    connect_and_ping();
    ui.hold(true);
    for (int i = 0; i < 40; i++)
        ASSERT_EQ(fakepeer_send_packet(&peer, 18, nick_answer(i, 1000)), 1);
    for (int i = 0; i < 100 && !lvc_inbox_get_state().reader_waiting; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(lvc_inbox_get_state().reader_waiting);
    ui.finish();
    // Started once more, the socket library outlives the clean-up for the fake server.
    ASSERT_EQ(lvcrec_init(), 1);
    const auto start = std::chrono::steady_clock::now();
    LVC_Cleanup();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // The reader itself closed the connection: it was not left behind.
    EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
    EXPECT_EQ(lvc_inbox_get_state().items, 0u);
}

// The login thread queues its failures too: failure 16, the web host out of reach, is
// delivered on the draining thread.
TEST_F(HandOver, LoginFailuresReachTheDrainingThread)
{
    testing::internal::CaptureStdout();
    connect_and_ping();
    uint16_t closed;
    lvsock l = lvsock_listen(0, &closed);
    lvsock_close(l);
    LVC_SetWebPort(closed);
    LVC_RegisterNick("anna", "");
    ASSERT_EQ(lvcrec_wait(LVCREC_FAILURE, LVC_ERR_WEBHOST), 1);
    LVC_SetWebPort(80);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(lvcrec_last(lvcrec_log(), LVCREC_FAILURE, LVC_ERR_WEBHOST)->thread, ui.thread.get_id());
}

// A listening socket whose queue of connections is full: connecting to it is never
// answered (the SYNs are dropped).
struct unanswered {
    lvsock listener;
    uint16_t port = 0;
    std::vector<lvsock> fillers;
    unanswered()
    {
        listener = lvsock_listen(0, &port);
        uint32_t addr = loopback();
        for (int i = 0; i < 40; i++) {
            lvsock s = lvsock_tcp();
            lvsock_connect_begin(s, addr, port);
            fillers.push_back(s);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~unanswered()
    {
        for (lvsock s : fillers)
            lvsock_close(s);
        lvsock_close(listener);
    }
};

TEST_F(Connection, ConnectAndProxyReplyTimeOut)
{
    lvc_set_connect_timeout_ms(300);
    unanswered nobody;
    LVC_Connect("127.0.0.1", nobody.port, 0, "", 0);
    ASSERT_EQ(lvcrec_wait(LVCREC_FAILURE, LVC_ERR_CONNECT), 1);

    testing::internal::CaptureStdout();
    LVC_Connect("chat.example", 8888, 1, "127.0.0.1", peer.port);
    ASSERT_EQ(fakepeer_accept(&peer), 1);
    std::string head;
    ASSERT_EQ(fakepeer_recv_head(&peer, &head), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_FAILURE, LVC_ERR_PROXY), 1);
    EXPECT_EQ(fakepeer_wait_eof(&peer), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(lvcrec_codes(LVCREC_FAILURE), (vector<int>{LVC_ERR_CONNECT, LVC_ERR_PROXY}));
    EXPECT_EQ(lvcrec_codes(LVCREC_EVENT), (vector<int>{10, 11}));
}

// However long a connect may take, the end of the program does not wait for it: a proxy
// that accepts and stays silent, an address that never answers.
TEST_F(Connection, CleanupDoesNotWaitForAConnectUnderWay)
{
    lvc_set_connect_timeout_ms(600000);
    unanswered nobody;
    fakepeer proxy;
    ASSERT_EQ(fakepeer_listen(&proxy), 1);
    for (bool through_proxy : {true, false}) {
        SCOPED_TRACE(through_proxy);
        testing::internal::CaptureStdout();
        if (through_proxy) {
            LVC_Connect("chat.example", 8888, 1, "127.0.0.1", proxy.port);
            ASSERT_EQ(fakepeer_accept(&proxy), 1);
            std::string head;
            ASSERT_EQ(fakepeer_recv_head(&proxy, &head), 1);
        } else {
            LVC_Connect("127.0.0.1", nobody.port, 0, "", 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        // Started once more, the socket library outlives the clean-up for the fake peers.
        ASSERT_EQ(lvcrec_init(), 1);
        const auto start = std::chrono::steady_clock::now();
        LVC_Cleanup();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        testing::internal::GetCapturedStdout();
        if (through_proxy) {
            EXPECT_EQ(fakepeer_wait_eof(&proxy), 1) << "the reader gave the proxy up";
        }
        EXPECT_TRUE(lvcrec_codes(LVCREC_FAILURE).empty());
    }
}

}  // namespace
