// lvcli against a loopback fake server: commands in, one line per callback out, and the
// packets it sends checked byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/child.h"
#include "tests/support/fakepeer.h"

namespace {

class LvcliTest : public ::testing::Test {
protected:
    fakepeer server;
    child_process cli;

    void SetUp() override
    {
        ASSERT_TRUE(fakepeer_listen(&server));
        ASSERT_TRUE(child_start(&cli, {LVCLI_PATH, "--prefix", "$red$>"}));
    }

    // Connects lvcli to the fake server and swallows its first ping.
    void connect()
    {
        child_write_line(&cli, "/server 127.0.0.1:" + std::to_string(server.port));
        ASSERT_TRUE(fakepeer_accept(&server));
        std::string line;
        ASSERT_TRUE(child_expect(&cli, "event 6 ", &line));
        EXPECT_NE(line.find("addr=\"127.0.0.1\" port=" + std::to_string(server.port)), std::string::npos) << line;
        fakepeer_packet ping;
        ASSERT_TRUE(fakepeer_recv_packet(&server, &ping));
        EXPECT_EQ(ping.type, 15);
    }

    // The server accepts a login unasked; lvcli answers with its two follow-up requests.
    void log_in(const std::string &nick, int32_t id)
    {
        fakepeer_bytes p;
        fakepeer_put_int(&p, 1);
        fakepeer_put_int(&p, 2);
        fakepeer_put_int(&p, id);
        fakepeer_put_utf(&p, nick);
        ASSERT_TRUE(fakepeer_send_packet(&server, 3, p));
        std::string line;
        ASSERT_TRUE(child_expect(&cli, "packet 15 ", &line));
        EXPECT_EQ(line, "packet 15 nick=\"" + nick + "\" id=" + std::to_string(id) + " a=1 b=2");
        fakepeer_packet t16, t29;
        ASSERT_TRUE(fakepeer_recv_packet(&server, &t16));
        ASSERT_TRUE(fakepeer_recv_packet(&server, &t29));
        EXPECT_EQ(t16.type, 16);
        EXPECT_EQ(t29.type, 29);
    }

    fakepeer_packet next_packet()
    {
        fakepeer_packet p{};
        // Keep-alive pings may come at any time; they are not what the tests look for.
        while (fakepeer_recv_packet(&server, &p) && p.type == 15) {
        }
        return p;
    }
};

TEST_F(LvcliTest, CommandsNeedAConnectionAndUnknownOnesAreNamed)
{
    std::string line;
    child_write_line(&cli, "/msg 42 hi");
    ASSERT_TRUE(child_expect(&cli, "status ", &line));
    EXPECT_EQ(line, "status \"$red$- error! not connected.\"");
    child_write_line(&cli, "/server localhost");
    ASSERT_TRUE(child_expect(&cli, "status ", &line));
    EXPECT_EQ(line, "status \"$red$- hiba! pl.: /server localhost:8888\"");
    child_write_line(&cli, "plain text is dropped");
    child_write_line(&cli, "/HELLO");
    ASSERT_TRUE(child_expect(&cli, "status ", &line));
    EXPECT_EQ(line, "status \"$red$- ismeretlen parancs!\"");
    child_close_input(&cli);
    EXPECT_EQ(child_wait(&cli), 0);
}

TEST_F(LvcliTest, RoomListEnterAndTalk)
{
    connect();
    log_in("Árvíztűrő", 4711);

    fakepeer_bytes list;
    fakepeer_put_int(&list, 12);
    fakepeer_put_utf(&list, "Társalgó");
    fakepeer_put_utf(&list, "$blue$\"hello\"");
    fakepeer_put_int(&list, 1);
    fakepeer_put_int(&list, 5);
    fakepeer_put_int(&list, 0);
    ASSERT_TRUE(fakepeer_send_packet(&server, 9, list));
    std::string line;
    ASSERT_TRUE(child_expect(&cli, "packet 1", &line));
    EXPECT_EQ(line, "packet 1");
    ASSERT_TRUE(child_expect(&cli, "packet 2 ", &line));
    EXPECT_EQ(line, "packet 2 room=12");
    ASSERT_TRUE(child_expect(&cli, "packet 3", &line));

    child_write_line(&cli, "/enter 12");
    fakepeer_packet enter = next_packet();
    EXPECT_EQ(enter.type, 5);
    EXPECT_EQ(enter.payload, (fakepeer_bytes{0, 0, 0, 12}));

    child_write_line(&cli, "/say 12 szia");
    fakepeer_packet say = next_packet();
    EXPECT_EQ(say.type, 7);
    fakepeer_bytes want;
    fakepeer_put_byte(&want, 2);
    fakepeer_put_int(&want, 12);
    fakepeer_put_utf(&want, "$red$>");
    fakepeer_put_utf(&want, "szia");
    EXPECT_EQ(say.payload, want);

    // A room message comes back with prefix and suffix split at the carriage return.
    fakepeer_bytes msg;
    fakepeer_put_byte(&msg, 2);
    fakepeer_put_int(&msg, 12);
    fakepeer_put_utf(&msg, "Árvíztűrő");
    fakepeer_put_utf(&msg, "$red$>\r!");
    fakepeer_put_utf(&msg, "szia \"mindenki\"");
    ASSERT_TRUE(fakepeer_send_packet(&server, 13, msg));
    ASSERT_TRUE(child_expect(&cli, "packet 33 ", &line));
    EXPECT_EQ(line, "packet 33 room=12 kind=2 user=null nick=\"Árvíztűrő\" prefix=\"$red$>\" "
                    "suffix=\"!\" text=\"szia \\\"mindenki\\\"\"");
}

TEST_F(LvcliTest, PrivateMessageFromAnUnknownUserWaitsForTheNick)
{
    connect();
    log_in("me", 1000);

    fakepeer_bytes pm;
    fakepeer_put_byte(&pm, 3);
    fakepeer_put_int(&pm, 77);
    fakepeer_put_utf(&pm, "hali");
    ASSERT_TRUE(fakepeer_send_packet(&server, 8, pm));
    std::string line;
    ASSERT_TRUE(child_expect(&cli, "exception 13", &line));
    EXPECT_EQ(line, "exception 13 userid=77");
    fakepeer_packet ask = next_packet();
    EXPECT_EQ(ask.type, 17);
    EXPECT_EQ(ask.payload, (fakepeer_bytes{0, 0, 0, 77}));

    fakepeer_bytes nick;
    fakepeer_put_int(&nick, 77);
    fakepeer_put_utf(&nick, "bot");
    ASSERT_TRUE(fakepeer_send_packet(&server, 18, nick));
    ASSERT_TRUE(child_expect(&cli, "packet 36 ", &line));
    EXPECT_EQ(line, "packet 36 userid=77 nick=\"bot\"");
    ASSERT_TRUE(child_expect(&cli, "packet 34 ", &line));
    EXPECT_EQ(line, "packet 34 kind=3 userid=77 nick=\"bot\" text=\"hali\"");

    child_write_line(&cli, "/msg 77 szia");
    fakepeer_packet out = next_packet();
    EXPECT_EQ(out.type, 8);
    fakepeer_bytes want;
    fakepeer_put_byte(&want, 3);
    fakepeer_put_int(&want, 77);
    fakepeer_put_utf(&want, "szia");
    EXPECT_EQ(out.payload, want);
    fakepeer_bytes confirm;
    fakepeer_put_byte(&confirm, 11);
    ASSERT_TRUE(fakepeer_send_packet(&server, 8, confirm));
    ASSERT_TRUE(child_expect(&cli, "packet 35 ", &line));
    EXPECT_EQ(line, "packet 35 kind=3 userid=77 nick=\"bot\" text=\"szia\"");
}

TEST_F(LvcliTest, QuitClosesTheConnectionAndReportsIt)
{
    connect();
    child_write_line(&cli, "/uptime");
    std::string line;
    ASSERT_TRUE(child_expect(&cli, "status ", &line));
    EXPECT_EQ(line.rfind("status \"- uptime: 0d 00 h 00 m 0", 0), 0u) << line;
    child_write_line(&cli, "/quit");
    EXPECT_TRUE(fakepeer_wait_eof(&server));
    ASSERT_TRUE(child_expect(&cli, "event 7", &line));
    EXPECT_EQ(child_wait(&cli), 0);
}

}  // namespace
