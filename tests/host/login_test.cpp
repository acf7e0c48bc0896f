// Logging in end to end: the client connected to a fake chat server fetches its token
// page from a fake web server (every body form and failure), from a real nginx, and
// through a real tinyproxy, and sends the login packet to the chat server.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "protocol/internal.h"
#include "tests/support/daemon.h"
#include "tests/support/eventlog.h"
#include "tests/support/loopchat.h"

namespace {

namespace fs = std::filesystem;

const std::string TOKEN_PAGE =
    "<html><applet code='Chat'>\n<param name='token9' value='abc'>\n<param name='token13' value='xyz'>\n"
    "</applet></html>\n";

std::string utf_at(const fakepeer_bytes &b, size_t *at)
{
    size_t n = size_t(b.at(*at)) << 8 | b.at(*at + 1);
    std::string s(b.begin() + long(*at) + 2, b.begin() + long(*at + 2 + n));
    *at += 2 + n;
    return s;
}

// The login packet's two strings, "tokens|password"; empty when none arrived.
std::string login_packet(fakepeer *chat)
{
    fakepeer_packet p;
    if (!loopchat_next(chat, &p) || p.type != 1024)
        return "";
    size_t at = 0;
    std::string tokens = utf_at(p.payload, &at);
    std::string password = utf_at(p.payload, &at);
    EXPECT_EQ(at, p.payload.size());
    return tokens + "|" + password;
}

std::string expected_request(const std::string &host, const std::string &name)
{
    return "GET http://" + host + "/php/rurizu_clvh.php?ord=58203174469&username=" + name + " HTTP/1.1\nHost: " +
           host + "\n\n";
}

struct Login : ::testing::Test {
    fakepeer chat;
    fakepeer web;
    void SetUp() override
    {
        ASSERT_EQ(loopchat_connect(&chat), 1);
        ASSERT_EQ(fakepeer_listen(&web), 1);
        login_set_webport(web.port);
    }
    void TearDown() override
    {
        loopchat_close(&chat);
        login_set_webport(80);
    }
    std::string webhost() const { return "127.0.0.1:" + std::to_string(web.port); }
    // Starts a login and answers the token request with `response`; returns the request.
    std::string serve(const char *nick, const std::string &response)
    {
        LVC_RegisterNick(nick, "titok");
        EXPECT_EQ(LVC_GetLoginState(), 1);  // at once: a second login is refused meanwhile
        std::string head;
        EXPECT_EQ(fakepeer_accept(&web), 1);
        EXPECT_EQ(fakepeer_recv_head(&web, &head), 1);
        fakepeer_send(&web, response.data(), response.size());
        fakepeer_hangup(&web);
        return head;
    }
};

TEST_F(Login, ChunkedPageGivesTheLoginPacketAndTheAnswerCompletesIt)
{
    std::string half1 = TOKEN_PAGE.substr(0, 40), half2 = TOKEN_PAGE.substr(40);
    char sizes[64];
    std::snprintf(sizes, sizeof sizes, "%zx", half1.size());
    std::string body = std::string(sizes) + "\r\n" + half1 + "\r\n";
    std::snprintf(sizes, sizeof sizes, "%zx", half2.size());
    body += std::string(sizes) + "\r\n" + half2 + "\r\n0\r\n\r\n";
    std::string head = serve("big cat&\xc3\xa1", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + body);
    // Spaces become %20; the ampersand and the letter (in the ANSI code page) stay as they are.
    EXPECT_EQ(head, expected_request(webhost(), "big%20cat&\xe1"));
    EXPECT_EQ(login_packet(&chat), "abcxyz|titok");
    EXPECT_EQ(LVC_GetLoginState(), 1);

    fakepeer_bytes accepted;
    fakepeer_put_int(&accepted, 10);
    fakepeer_put_int(&accepted, 20);
    fakepeer_put_int(&accepted, 4711);
    fakepeer_put_utf(&accepted, "big cat");
    fakepeer_send_packet(&chat, 3, accepted);
    fakepeer_packet p;
    ASSERT_EQ(loopchat_next(&chat, &p), 1);
    EXPECT_EQ(p.type, 16);
    EXPECT_EQ(p.payload, fakepeer_bytes{6});
    ASSERT_EQ(loopchat_next(&chat, &p), 1);
    EXPECT_EQ(p.type, 29);
    EXPECT_EQ(p.payload, (fakepeer_bytes{0, 0, 0, 0, 9}));
    ASSERT_EQ(eventlog_wait("P15"), 1);
    EXPECT_EQ(LVC_GetLoginState(), 2);
    EXPECT_EQ(LVC_GetOwnID(), 4711);
    EXPECT_STREQ(LVC_GetOwnNick(), "big cat");
}

TEST_F(Login, PlainBodies)
{
    struct Case {
        const char *what;
        std::string response;
        const char *packet;
    } cases[] = {
        {"with its length", "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(TOKEN_PAGE.size()) + "\r\n\r\n" +
                                TOKEN_PAGE, "abcxyz|titok"},
        {"to the end of the stream", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + TOKEN_PAGE,
         "abcxyz|titok"},
        {"without token13", "HTTP/1.0 200 OK\r\n\r\n<param name='token9' value='abc'>", "abc|titok"},
        {"without tokens", "HTTP/1.0 404 Not Found\r\n\r\nnothing here", "|titok"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        serve("cica", c.response);
        EXPECT_EQ(login_packet(&chat), c.packet);
    }
}

TEST_F(Login, BrokenPageReportsTheWebServerAndEndsTheLogin)
{
    serve("cica", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nabcdefgh");
    ASSERT_EQ(eventlog_wait("X16"), 1);
    EXPECT_EQ(LVC_GetLoginState(), 0);
    fakepeer_packet p;
    EXPECT_EQ(loopchat_next(&chat, &p, 300), 0);  // no login packet
}

TEST_F(Login, UnreachableWebServer)
{
    uint16_t closed = web.port;
    lvsock_close(web.listener);
    web.listener = LVSOCK_INVALID;
    struct Case {
        const char *what;
        int proxytype;
    } cases[] = {
        {"nobody listening", 0},
        {"proxy not listening", 1},
        {"proxy type 2 cannot reach port 80", 2},
        {"unknown proxy type", 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // The login takes its proxy settings from the connection's.
        lvc.proxytype = c.proxytype;
        lvc.proxyport = closed;
        LVC_RegisterNick("cica", "");
        ASSERT_EQ(eventlog_wait("X16"), 1);
        EXPECT_EQ(LVC_GetLoginState(), 0);
        eventlog_take();
    }
    fakepeer_packet p;
    EXPECT_EQ(loopchat_next(&chat, &p, 300), 0);  // no login packet
}

TEST_F(Login, NothingHappensWhileDisconnected)
{
    loopchat_close(&chat);
    ASSERT_EQ(LVC_Init(eventlog_packet, eventlog_event, eventlog_exception), 1);
    eventlog_take();
    LVC_RegisterNick("cica", "titok");
    EXPECT_EQ(fakepeer_accept(&web, 300), 0);
    EXPECT_EQ(LVC_GetLoginState(), 0);
    EXPECT_TRUE(eventlog_take().empty());
}

// The request on the real web port names the host alone. Binding port 80 needs
// privileges that a test run may lack; then this check is skipped.
TEST(LoginPort80, RequestNamesTheHostAlone)
{
    fakepeer web80;
    web80.listener = lvsock_listen(80, &web80.port);
    if (web80.listener == LVSOCK_INVALID)
        GTEST_SKIP() << "port 80 cannot be bound here";
    fakepeer chat;
    ASSERT_EQ(loopchat_connect(&chat), 1);
    LVC_RegisterNick("Kis Macska", "");
    std::string head;
    ASSERT_EQ(fakepeer_accept(&web80), 1);
    ASSERT_EQ(fakepeer_recv_head(&web80, &head), 1);
    EXPECT_EQ(head, expected_request("127.0.0.1", "Kis%20Macska"));
    fakepeer_hangup(&web80);
    EXPECT_EQ(eventlog_wait("X16"), 1);  // no page came
    loopchat_close(&chat);
}

// ---------------------------------------------------------------- real daemons

TEST(LoginDaemons, TokenPageFromNginx)
{
    if (!daemon_runnable("/usr/sbin/nginx -v"))
        GTEST_SKIP() << "nginx cannot be run here";
    daemon_proc nginx("nginx");
    ASSERT_TRUE(daemon_nginx_start(&nginx, TOKEN_PAGE)) << nginx.read("out.txt") << nginx.read("error.log");
    fakepeer chat;
    ASSERT_EQ(loopchat_connect(&chat), 1);
    login_set_webport(nginx.port);
    LVC_RegisterNick("big cat", "titok");
    // nginx keeps the connection open after the body: the page's length ends the read.
    EXPECT_EQ(login_packet(&chat), "abcxyz|titok");
    EXPECT_EQ(LVC_GetLoginState(), 1);
    loopchat_close(&chat);
    login_set_webport(80);
    EXPECT_NE(nginx.read("access.log").find("GET http://127.0.0.1:" + std::to_string(nginx.port) +
                                                          "/php/rurizu_clvh.php?ord=58203174469&username=big%20cat "),
              std::string::npos);
}

TEST(LoginDaemons, ChatAndTokenPageThroughTinyproxy)
{
    if (!daemon_runnable("/usr/sbin/nginx -v") || !daemon_runnable("/usr/bin/tinyproxy -v"))
        GTEST_SKIP() << "nginx or tinyproxy cannot be run here";
    daemon_proc nginx("nginx");
    ASSERT_TRUE(daemon_nginx_start(&nginx, TOKEN_PAGE)) << nginx.read("error.log");
    daemon_proc proxy("tinyproxy");
    ASSERT_TRUE(daemon_tinyproxy_start(&proxy)) << proxy.read("out.txt");

    fakepeer chat;
    ASSERT_EQ(LVC_Init(eventlog_packet, eventlog_event, eventlog_exception), 1);
    eventlog_take();
    ASSERT_EQ(fakepeer_listen(&chat), 1);
    // The chat connection goes through the proxy's CONNECT tunnel; the token page request
    // goes to the proxy as an absolute URI, which it forwards to nginx.
    LVC_Connect("127.0.0.1", chat.port, 1, "127.0.0.1", proxy.port);
    ASSERT_EQ(fakepeer_accept(&chat), 1);
    ASSERT_EQ(eventlog_wait("E6"), 1);
    login_set_webport(nginx.port);
    LVC_RegisterNick("cica", "titok");
    EXPECT_EQ(login_packet(&chat), "abcxyz|titok");
    loopchat_close(&chat);
    login_set_webport(80);
    EXPECT_NE(nginx.read("access.log").find("/php/rurizu_clvh.php?ord=58203174469&username=cica "),
              std::string::npos);
}

}  // namespace
