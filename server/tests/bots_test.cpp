// lvserver black-box: bots talk, wander and answer private messages; the proxy tunnels
// and forwards.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <unistd.h>

#include "server/tests/rawclient.h"

namespace {

// Bot ids by nick, from the console's session list.
std::map<std::string, int32_t> bot_ids(const rc_server &srv)
{
    std::map<std::string, int32_t> ids;
    std::istringstream in(rc_control(srv, "sessions"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        int32_t id;
        std::string nick, kind;
        if (f >> id >> nick >> kind && kind == "bot")
            ids[nick] = id;
    }
    return ids;
}

TEST(Bots, TalkInColourAndAnswerPrivately)
{
    rc_server srv;
    ASSERT_TRUE(rc_start(&srv, {"--bots", "4", "--bot-rate", "40", "--seed", "7"}));
    auto ids = bot_ids(srv);
    ASSERT_EQ(ids.size(), 4u);
    ASSERT_TRUE(ids.count("Kati"));
    rc_client c;
    ASSERT_TRUE(rc_join(&c, srv, "ember"));
    ASSERT_TRUE(rc_enter(&c, 2));
    ASSERT_EQ(rc_control(srv, "enter 2 Kati"), "ok\n");

    int from_kati = 0, coloured = 0;
    rc_packet p;
    for (int i = 0; i < 400 && from_kati < 10; i++) {
        if (!rc_expect(&c, 13, &p, 5000))
            break;
        rc_reader r(&p);
        uint8_t kind = r.byte();
        EXPECT_EQ(r.i32(), 2);
        ASSERT_TRUE(kind == 6 || kind == 7) << int(kind);
        if (r.i32() != ids["Kati"])
            continue;
        std::string attrs = r.utf(), text = r.utf();
        EXPECT_FALSE(text.empty());
        from_kati++;
        coloured += (attrs + text).find('$') != std::string::npos;
    }
    EXPECT_EQ(from_kati, 10);
    EXPECT_GT(coloured, 0);

    rc_send(&c, 8, rc_payload().byte(3).i32(ids["Kati"]).utf("Szia Kati!"));
    ASSERT_TRUE(rc_expect_if(&c, 8, &p, [](const rc_packet &q) { return q.data == std::vector<uint8_t>{11}; }));
    // The answer, told apart from a greeting (which names the user) that may come too.
    int32_t kati = ids["Kati"];
    ASSERT_TRUE(rc_expect_if(&c, 8, &p, [&](const rc_packet &q) {
        rc_reader r(&q);
        return r.byte() == 3 && r.i32() == kati && r.utf().find("ember") == std::string::npos;
    }, 5000));
    rc_stop(&srv);
}

TEST(Bots, ComeAndGo)
{
    rc_server srv;
    ASSERT_TRUE(rc_start(&srv, {"--bots", "20", "--bot-rate", "0", "--seed", "3"}));
    rc_client c;
    ASSERT_TRUE(rc_join(&c, srv, "figyelo"));
    for (int32_t room : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12})
        ASSERT_TRUE(rc_enter(&c, room));
    rc_packet p;
    // Within a few seconds some bot joins or leaves a room, or leaves the chat.
    ASSERT_TRUE(rc_expect_if(&c, 12, &p, [](const rc_packet &q) { return q.data[0] == 1 || q.data[0] == 2 || q.data[0] == 5; }, 10000));
    rc_stop(&srv);
}

TEST(Proxy, TunnelsAndForwards)
{
    rc_server srv;
    ASSERT_TRUE(rc_start(&srv, {}));
    // Absolute-URI forwarding to the web port, as the client's token request goes.
    std::string page = rc_http(srv.proxy, "GET http://127.0.0.1:" + std::to_string(srv.web) +
                                              "/php/rurizu_clvh.php?ord=1&username=proxis HTTP/1.1\nHost: x\n\n");
    std::string tokens = rc_param(page, "token9") + rc_param(page, "token13");
    ASSERT_EQ(tokens.size(), 32u) << page;
    // A CONNECT tunnel to the chat port, then the protocol through it.
    rc_client c;
    ASSERT_TRUE(rc_connect(&c, srv.proxy));
    std::string req = "CONNECT 127.0.0.1:" + std::to_string(srv.chat) + " HTTP/1.0\n\n";
    rc_send_bytes(&c, req.data(), req.size());
    std::string reply;
    char ch;
    while (reply.find("\r\n\r\n") == std::string::npos && read(c.fd, &ch, 1) == 1)
        reply += ch;
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.0 200");
    rc_send(&c, 1024, rc_payload().utf(tokens).utf(""));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&c, 3, &p));
    ASSERT_TRUE(rc_expect(&c, 9, &p));
    // Names are not looked up; unknown forms are refused.
    EXPECT_EQ(rc_http(srv.proxy, "CONNECT example.invalid:80 HTTP/1.0\n\n").substr(0, 12), "HTTP/1.0 502");
    EXPECT_EQ(rc_http(srv.proxy, "GET /relative HTTP/1.0\n\n").substr(0, 12), "HTTP/1.0 400");
    // An origin that refuses the connection: the client hears so.
    EXPECT_EQ(rc_http(srv.proxy, "GET http://127.0.0.1:1/ HTTP/1.0\n\n").substr(0, 12), "HTTP/1.0 502");
    rc_stop(&srv);
}

}  // namespace
