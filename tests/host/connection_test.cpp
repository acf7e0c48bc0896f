// The connection against loopback fake peers: framing of what is read, broken headers and
// streams, reconnecting, the keep-alive, proxies and the dispatch hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
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
    const Case cases[] = {
        {"cut short", "HTTP/1.0 200 Connection established\r\n"},
        {"over 64 KB", "HTTP/1.0 200 OK\r\nX: " + std::string(70000, 'a')},
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

// Stands in for a user-interface thread: runs handed-over tasks one at a time.
struct TaskThread {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> tasks;
    bool stop = false;
    std::thread thread{[this] { run(); }};

    void run()
    {
        std::unique_lock lock(m);
        while (!stop || !tasks.empty()) {
            cv.wait(lock, [this] { return stop || !tasks.empty(); });
            while (!tasks.empty()) {
                auto task = std::move(tasks.front());
                tasks.pop_front();
                lock.unlock();
                task();
                lock.lock();
            }
        }
    }
    ~TaskThread()
    {
        {
            std::lock_guard lock(m);
            stop = true;
        }
        cv.notify_all();
        thread.join();
    }
};

TaskThread *hook_target;

void hand_over(LVC_Task task, void *arg)
{
    std::mutex done_m;
    std::condition_variable done_cv;
    bool done = false;
    {
        std::lock_guard lock(hook_target->m);
        hook_target->tasks.push_back([&] {
            task(arg);
            std::lock_guard l(done_m);
            done = true;
            done_cv.notify_all();
        });
        // Notified under the lock: the test may destroy the task thread right after.
        hook_target->cv.notify_all();
    }
    std::unique_lock l(done_m);
    done_cv.wait(l, [&] { return done; });
}

TEST_F(Connection, DispatchHookRunsReaderCallbacksOnItsThread)
{
    TaskThread ui;
    hook_target = &ui;
    LVC_SetDispatchHook(hand_over);
    connect_and_ping();
    ASSERT_EQ(fakepeer_send_packet(&peer, 9, {0, 0, 0, 0}), 1);
    ASSERT_EQ(lvcrec_wait(LVCREC_PACKET, 1), 1);
    fakepeer_hangup(&peer);
    ASSERT_EQ(lvcrec_wait(LVCREC_EVENT, LVC_EV_CLOSED), 1);

    auto log = lvcrec_log();
    int reader_events = 0;
    for (const lvcrec_entry &e : log) {
        if (e.code == LVC_EV_WSA_STARTING || e.code == LVC_EV_WSA_STARTED)
            continue;  // raised by LVC_Init on the test's thread
        EXPECT_EQ(e.thread, ui.thread.get_id()) << e.source << e.code;
        reader_events++;
    }
    EXPECT_GT(reader_events, 5);
    LVC_SetDispatchHook(nullptr);
}

}  // namespace
