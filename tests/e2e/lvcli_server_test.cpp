// lvcli against lvserver with its demo data: the whole login through the token page,
// the room list, a room conversation and a private one between two clients.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/e2e/child.h"
#include "tests/support/daemon.h"

namespace {

struct ports {
    int chat = 0, web = 0, control = 0, proxy = 0;
};

class LvcliServerTest : public ::testing::Test {
protected:
    child_process server;
    ports port;

    void SetUp() override
    {
        ASSERT_TRUE(child_start(&server, {LVSERVER_PATH, "--chat-port", "0", "--web-port", "0", "--control-port",
                                          "0", "--proxy-port", "0", "--rooms", LVSERVER_DEMO "/rooms.txt",
                                          "--accounts", LVSERVER_DEMO "/accounts.txt", "--count-interval", "1"}));
        std::string first;
        ASSERT_TRUE(child_read_line(&server, &first));
        ASSERT_EQ(std::sscanf(first.c_str(), "lvserver: chat %d web %d control %d proxy %d", &port.chat, &port.web,
                              &port.control, &port.proxy),
                  4)
            << first;
    }

    // Starts a client, connects and logs in; returns its own user id (0 on failure).
    int log_in(child_process *cli, const std::string &login, const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> argv = {LVCLI_PATH, "--web-port", std::to_string(port.web)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        if (!child_start(cli, argv))
            return 0;
        child_write_line(cli, "/server 127.0.0.1:" + std::to_string(port.chat));
        if (!child_expect(cli, "event 6 "))
            return 0;
        child_write_line(cli, "/login " + login);
        std::string line;
        if (!child_expect(cli, "packet 15 ", &line, 10000))
            return 0;
        int id = 0;
        size_t at = line.find(" id=");
        if (at != std::string::npos)
            id = std::atoi(line.c_str() + at + 4);
        // The full room list follows the login: event 1, a room each, event 3.
        int rooms = 0;
        while (child_read_line(cli, &line, 10000) && line != "packet 3")
            rooms += line.rfind("packet 2 room=", 0) == 0;
        return line == "packet 3" && rooms > 0 ? id : 0;
    }
};

TEST_F(LvcliServerTest, LoginRoomListAndTalkInARoom)
{
    child_process cli;
    int id = log_in(&cli, "Kati");
    ASSERT_GT(id, 0);
    EXPECT_GE(id, 1000000) << "unregistered nicks get ids from 1,000,000 up";

    child_write_line(&cli, "/enter 1");
    std::string line;
    ASSERT_TRUE(child_expect(&cli, "packet 17 ", &line));
    EXPECT_EQ(line.rfind("packet 17 roomid=1 room=1 ", 0), 0u) << line;

    child_write_line(&cli, "/say 1 Szia mindenki!");
    ASSERT_TRUE(child_expect(&cli, "packet 33 ", &line));
    EXPECT_NE(line.find("text=\"Szia mindenki!\""), std::string::npos) << line;
    EXPECT_NE(line.find("user=" + std::to_string(id)), std::string::npos) << line;

    child_write_line(&cli, "/quit");
    EXPECT_TRUE(child_expect(&cli, "event 7"));
    EXPECT_EQ(child_wait(&cli), 0);
}

TEST_F(LvcliServerTest, RegisteredNicksNeedTheirPassword)
{
    child_process bad, good;
    std::string line;
    ASSERT_TRUE(child_start(&bad, {LVCLI_PATH, "--web-port", std::to_string(port.web)}));
    child_write_line(&bad, "/server 127.0.0.1:" + std::to_string(port.chat));
    ASSERT_TRUE(child_expect(&bad, "event 6 "));
    child_write_line(&bad, "/login admin");
    ASSERT_TRUE(child_expect(&bad, "packet 1", &line, 10000));
    EXPECT_EQ(line, "packet 11 type=2");
    ASSERT_TRUE(child_expect(&bad, "packet 14", &line));

    EXPECT_EQ(log_in(&good, "admin$admin123"), 150);
}

TEST_F(LvcliServerTest, PrivateMessageIsDeliveredAndConfirmed)
{
    child_process anna, bela;
    int anna_id = log_in(&anna, "Anna");
    int bela_id = log_in(&bela, "Bela");
    ASSERT_GT(anna_id, 0);
    ASSERT_GT(bela_id, 0);

    child_write_line(&anna, "/msg " + std::to_string(bela_id) + " Szia Béla!");
    std::string line;
    // Béla's client does not know Anna's nick yet: it asks, then shows the message.
    ASSERT_TRUE(child_expect(&bela, "packet 34 ", &line));
    EXPECT_EQ(line, "packet 34 kind=3 userid=" + std::to_string(anna_id) + " nick=\"Anna\" text=\"Szia Béla!\"");
    ASSERT_TRUE(child_expect(&anna, "packet 35 ", &line));
    EXPECT_EQ(line, "packet 35 kind=3 userid=" + std::to_string(bela_id) + " nick=\"Bela\" text=\"Szia Béla!\"");
}

TEST_F(LvcliServerTest, LogsInThroughARealProxy)
{
    if (!daemon_runnable("/usr/bin/tinyproxy -v"))
        GTEST_SKIP() << "tinyproxy cannot be run here";
    daemon_proc proxy("tinyproxy");
    ASSERT_TRUE(daemon_tinyproxy_start(&proxy)) << proxy.read("out.txt");
    child_process cli;
    // The chat connection is tunnelled with CONNECT; the token page request goes to the
    // proxy as an absolute URI.
    int id = log_in(&cli, "Proxis", {"--proxy-type", "1", "--proxy", "127.0.0.1:" + std::to_string(proxy.port)});
    EXPECT_GT(id, 0);
    std::string log = proxy.read("tinyproxy.log");
    EXPECT_NE(log.find("CONNECT 127.0.0.1:" + std::to_string(port.chat)), std::string::npos) << log;
    EXPECT_NE(log.find("rurizu_clvh.php"), std::string::npos) << log;
}

}  // namespace
