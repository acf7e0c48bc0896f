// lvserver black-box: the control console provokes every packet the client decodes.
#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <unistd.h>

#include "server/tests/rawclient.h"

namespace {

class Console : public ::testing::Test {
protected:
    rc_server srv;
    rc_client a, b;
    void SetUp() override
    {
        ASSERT_TRUE(rc_start(&srv, {}));
        ASSERT_TRUE(rc_join(&a, srv, "anna"));
        ASSERT_TRUE(rc_join(&b, srv, "bela"));
        ASSERT_TRUE(rc_enter(&a, 2));
        ASSERT_TRUE(rc_enter(&b, 2));
        rc_drain(&a, 100), rc_drain(&b, 100);
    }
    void TearDown() override { rc_stop(&srv); }
    std::string ctl(const std::string &line) { return rc_control(srv, line); }
};

// Exactly `n` raw bytes from the connection, whatever they are.
std::vector<uint8_t> raw_bytes(rc_client *c, size_t n)
{
    std::vector<uint8_t> out(c->in.begin() + long(c->off), c->in.end());
    c->in.clear();
    c->off = 0;
    pollfd pfd{c->fd, POLLIN, 0};
    uint8_t buf[256];
    while (out.size() < n && poll(&pfd, 1, 2000) > 0) {
        ssize_t k = read(c->fd, buf, sizeof buf);
        if (k <= 0)
            break;
        out.insert(out.end(), buf, buf + k);
    }
    out.resize(std::min(out.size(), n));
    return out;
}

TEST_F(Console, PopupsToOneAndToAll)
{
    EXPECT_EQ(ctl("popup anna 2 Figyelem | $red$Vigyázz!"), "ok\n");
    rc_packet p;
    ASSERT_TRUE(rc_expect(&a, 14, &p));
    rc_reader r(&p);
    EXPECT_EQ(r.byte(), 2);
    EXPECT_EQ(r.utf(), "Figyelem");
    EXPECT_EQ(r.utf(), "$red$Vigyázz!");
    EXPECT_FALSE(rc_expect(&b, 14, &p, 200));
    EXPECT_EQ(ctl("popup * 1 Mindenki | hello"), "ok\n");
    EXPECT_TRUE(rc_expect(&a, 14, &p));
    EXPECT_TRUE(rc_expect(&b, 14, &p));
    EXPECT_EQ(ctl("bcast szerviz"), "ok\n");
    EXPECT_TRUE(rc_expect(&b, 14, &p));
    EXPECT_EQ(ctl("popup senki 1 x | y").substr(0, 5), "error");
    EXPECT_EQ(ctl("popup anna 1 cím nélkül").substr(0, 5), "error");
}

TEST_F(Console, RoomChangesOfEverySubtype)
{
    struct Case {
        std::string cmd;
        std::vector<uint8_t> payload;  // the type-10 payload expected
    } cases[] = {
        {"topic 2 $green$zöld", {3, 0, 0, 0, 2, 0, 12, '$', 'g', 'r', 'e', 'e', 'n', '$', 'z', 0xC3, 0xB6, 'l', 'd'}},
        {"states 2 8", {5, 0, 0, 0, 2, 0, 0, 0, 8}},
        {"count 2 99", {6, 0, 0, 0, 2, 0, 0, 0, 99}},
        {"statecount 2 1 7", {4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 7}},
        {"mkroom 500 4 Titkos | rejtett", {1, 0, 0, 1, 0xF4, 0, 6, 'T', 'i', 't', 'k', 'o', 's', 0, 7, 'r', 'e', 'j', 't', 'e', 't', 't', 0, 0, 0, 4, 0, 0, 0, 0}},
        {"rmroom 500", {2, 0, 0, 1, 0xF4}},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(ctl(k.cmd).substr(0, 2), "ok") << k.cmd;
        rc_packet p;
        ASSERT_TRUE(rc_expect(&a, 10, &p)) << k.cmd;
        EXPECT_EQ(p.data, k.payload) << k.cmd;
    }
    // Removing a room with people in it sends them out.
    EXPECT_EQ(ctl("rmroom 2"), "ok\n");
    rc_packet p;
    EXPECT_TRUE(rc_expect(&b, 6, &p));
    EXPECT_EQ(ctl("topic 2 x"), "error: no such room\n");
}

TEST_F(Console, UserChangesOfEverySubtype)
{
    struct Case {
        std::string cmd;
        uint8_t sub;
        bool closes;
    } cases[] = {
        {"perms 2 bela 0x1ffff", 3, false},
        {"floodkick 2 bela", 0, false},
        {"enter 2 bela", 1, false},
        {"kick 2 bela anna", 6, false},
        {"enter 2 bela", 1, false},
        {"ban 2 bela 1", 7, false},
        {"leave 2 anna", 2, false},
    };
    rc_client w;
    ASSERT_TRUE(rc_join(&w, srv, "watcher"));
    ASSERT_TRUE(rc_enter(&w, 2));
    rc_drain(&w, 100);
    for (const Case &k : cases) {
        ASSERT_EQ(ctl(k.cmd), "ok\n") << k.cmd;
        rc_packet p;
        ASSERT_TRUE(rc_expect(&w, 12, &p)) << k.cmd;
        EXPECT_EQ(p.data[0], k.sub) << k.cmd;
    }
    // The end of a presence: the watcher learns the reason, the connection is closed.
    struct End {
        std::string nick, cmd;
        uint8_t sub;
        std::string text;
    } ends[] = {
        {"e1", "kickchat e1 Admin", 8, "Admin"},
        {"e2", "banchat e2 1", 9, "admin"},
        {"e3", "timeout e3", 4, ""},
        {"e4", "drop e4", 5, ""},
    };
    for (const End &k : ends) {
        rc_client c;
        ASSERT_TRUE(rc_join(&c, srv, k.nick));
        ASSERT_TRUE(rc_enter(&c, 2));
        rc_drain(&w, 100);
        ASSERT_EQ(ctl(k.cmd), "ok\n");
        rc_packet p;
        ASSERT_TRUE(rc_expect(&w, 12, &p)) << k.cmd;
        rc_reader r(&p);
        EXPECT_EQ(r.byte(), k.sub);
        r.i32();
        EXPECT_EQ(r.i32(), c.id);
        if (!k.text.empty()) {
            EXPECT_EQ(r.utf(), k.text);
        }
        EXPECT_TRUE(r.done());
        EXPECT_TRUE(rc_closed(&c)) << k.cmd;
    }
}

TEST_F(Console, LinesAndPrivateMessagesAsAnyone)
{
    rc_packet p;
    EXPECT_EQ(ctl("say 2 anna 6 mint anna"), "ok\n");
    ASSERT_TRUE(rc_expect(&b, 13, &p));
    rc_reader s(&p);
    EXPECT_EQ(s.byte(), 6);
    EXPECT_EQ(s.i32(), 2);
    EXPECT_EQ(s.i32(), a.id);
    EXPECT_EQ(s.utf(), "");
    EXPECT_EQ(s.utf(), "mint anna");
    EXPECT_EQ(ctl("sayp Budapest Szellem 2 $red$ - kísértet"), "ok\n");
    ASSERT_TRUE(rc_expect(&b, 13, &p));
    rc_reader g(&p);
    EXPECT_EQ(g.byte(), 2);
    g.i32();
    EXPECT_EQ(g.utf(), "Szellem");
    EXPECT_EQ(g.utf(), "$red$\r");
    EXPECT_EQ(g.utf(), "kísértet");
    EXPECT_EQ(ctl("say 2 senki 6 nem lehet").substr(0, 5), "error");

    EXPECT_EQ(ctl("msg #4711 anna 3 ismeretlentol"), "ok\n");
    ASSERT_TRUE(rc_expect(&a, 8, &p));
    rc_reader m(&p);
    EXPECT_EQ(m.byte(), 3);
    EXPECT_EQ(m.i32(), 4711);
    EXPECT_EQ(m.utf(), "ismeretlentol");
    EXPECT_EQ(ctl("msg bela anna 11 x"), "ok\n");  // a bare confirmation
    ASSERT_TRUE(rc_expect(&a, 8, &p));
    EXPECT_EQ(p.data, std::vector<uint8_t>{11});
    EXPECT_EQ(ctl("nick anna 4711 Valaki"), "ok\n");
    ASSERT_TRUE(rc_expect(&a, 18, &p));
    rc_reader n(&p);
    EXPECT_EQ(n.i32(), 4711);
    EXPECT_EQ(n.utf(), "Valaki");
    EXPECT_EQ(ctl("roomlist anna"), "ok\n");
    EXPECT_TRUE(rc_expect(&a, 9, &p));
    // A shortened list: the first two rooms, then the end mark.
    EXPECT_EQ(ctl("roomlist anna 2"), "ok\n");
    ASSERT_TRUE(rc_expect(&a, 9, &p));
    rc_reader l(&p);
    int rooms = 0;
    for (int32_t id = l.i32(); id != 0 && rooms < 10; id = l.i32()) {
        rooms++;
        l.utf(), l.utf(), l.i32(), l.i32();  // name, topic, states, count
    }
    EXPECT_EQ(rooms, 2);
    EXPECT_EQ(ctl("roomlist anna 0").substr(0, 5), "error");
    EXPECT_EQ(ctl("counts"), "ok\n");
}

TEST(ConsoleRaw, RawAndMalformedPackets)
{
    // No count updates here: the client must see exactly the bytes asked for.
    rc_server srv;
    ASSERT_TRUE(rc_start(&srv, {"--count-interval", "3600"}));
    auto ctl = [&](const std::string &line) { return rc_control(srv, line); };
    rc_client a;
    ASSERT_TRUE(rc_join(&a, srv, "anna"));
    EXPECT_EQ(ctl("raw anna 20 01 02 0a"), "ok\n");
    rc_packet p;
    ASSERT_TRUE(rc_expect(&a, 20, &p));
    EXPECT_EQ(p.data, (std::vector<uint8_t>{1, 2, 10}));
    EXPECT_EQ(ctl("raw anna 20 0"), "error: payload must be pairs of hex digits\n");

    struct Case {
        std::string what;
        size_t n;
        std::vector<uint8_t> head;  // the first bytes the client receives
    } cases[] = {
        {"badmagic", 16, {0xA9, 0x04, 0xC7, 0xA1}},
        {"badcheck", 16, {0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x30}},
        {"hugelen", 16, {0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF2, 0x80, 0, 0, 0}},
        {"truncated", 26, {0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF1, 0xFF, 0xFF, 0xFF, 0x9B}},
        {"overrun", 23, {0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF1, 0xFF, 0xFF, 0xFF, 0xF8}},
        {"garbage", 64, {}},
    };
    for (const Case &k : cases) {
        rc_client c;
        ASSERT_TRUE(rc_join(&c, srv, "m_" + k.what));
        rc_drain(&c, 100);
        ASSERT_EQ(ctl("malformed m_" + k.what + " " + k.what), "ok\n");
        std::vector<uint8_t> got = raw_bytes(&c, k.n);
        ASSERT_EQ(got.size(), k.n) << k.what;
        EXPECT_TRUE(std::equal(k.head.begin(), k.head.end(), got.begin())) << k.what;
    }
    EXPECT_EQ(ctl("malformed anna semmi").substr(0, 5), "error");
    rc_stop(&srv);
}

TEST_F(Console, FloodStartsAndStops)
{
    EXPECT_EQ(ctl("flood start 2 200"), "ok\n");
    int lines = 0;
    rc_packet p;
    while (lines < 50 && rc_expect(&a, 13, &p, 1000))
        lines++;
    EXPECT_EQ(lines, 50);
    EXPECT_EQ(ctl("flood stop"), "ok\n");
    rc_drain(&a, 300);
    EXPECT_FALSE(rc_expect(&a, 13, &p, 500));
    EXPECT_EQ(ctl("flood start 2 0").substr(0, 5), "error");
}

// A counted flood sends exactly that many lines, numbered from 0, then reports itself off.
TEST_F(Console, CountedFloodStopsByItself)
{
    EXPECT_EQ(ctl("flood"), "off sent=0\nok\n");
    EXPECT_EQ(ctl("flood start Budapest 100000 250"), "ok\n");
    rc_packet p;
    int lines = 0;
    std::string last;
    while (rc_expect(&a, 13, &p, 1000)) {
        rc_reader r(&p);
        r.byte(), r.i32();  // kind, room id
        r.utf();            // nick
        r.utf();            // attributes
        last = r.utf();
        lines++;
    }
    EXPECT_EQ(lines, 250);
    EXPECT_NE(last.find("flood #249"), std::string::npos) << last;
    EXPECT_EQ(ctl("flood"), "off sent=250\nok\n");
    for (const char *bad : {"flood start 2 10 0", "flood start 2 10 x", "flood start 2 10 -5", "flood start 99 10 5"})
        EXPECT_EQ(ctl(bad).substr(0, 5), "error") << bad;
}

// A flood of a given width: lines that long, every fourth coloured, numbered at the end;
// and the time a user's own room line arrived, for measuring a client's delay.
TEST_F(Console, ShapedFloodAndSaid)
{
    EXPECT_EQ(ctl("flood start 2 100000 8 80"), "ok\n");
    rc_packet p;
    for (int n = 0; n < 8 && rc_expect(&a, 13, &p, 1000); n++) {
        rc_reader r(&p);
        r.byte(), r.i32(), r.utf(), r.utf();
        std::string text = r.utf();
        const bool coloured = text[0] == '$';
        EXPECT_EQ(coloured, n % 4 == 0) << text;
        const size_t markup = coloured ? text.find('$', 1) + 1 : 0;
        EXPECT_EQ(text.size() - markup, 80u) << text;
        EXPECT_TRUE(text.ends_with(" flood #" + std::to_string(n))) << text;
    }
    EXPECT_EQ(ctl("flood start 2 10 5 401").substr(0, 5), "error");

    EXPECT_EQ(ctl("said anna").substr(0, 2), "0 ");
    const auto before = std::chrono::system_clock::now();
    rc_send(&a, 7, rc_payload().byte(2).i32(2).utf("").utf("hello\nthere"));
    ASSERT_TRUE(rc_expect(&b, 13, &p, 1000));
    const std::string said = ctl("said anna");
    EXPECT_TRUE(said.ends_with(" hello there\nok\n")) << said;
    const long long ms = std::stoll(said);
    const long long from = std::chrono::duration_cast<std::chrono::milliseconds>(before.time_since_epoch()).count();
    EXPECT_GE(ms, from - 5);
    EXPECT_LE(ms, from + 5000);
    EXPECT_EQ(ctl("said nobody"), "error: no such user\n");
}

TEST_F(Console, RoomShowsItsTopic)
{
    EXPECT_EQ(ctl("topic 2 $red$Új téma"), "ok\n");
    EXPECT_EQ(ctl("room Budapest"), "2 0x0 2 Budapest\n$red$Új téma\nok\n");
    EXPECT_EQ(ctl("room 99"), "error: no such room\n");
}

TEST_F(Console, ListsAndErrors)
{
    std::string s = ctl("sessions");
    EXPECT_NE(s.find(" anna client 127.0.0.1 rooms=2 "), std::string::npos) << s;
    EXPECT_NE(ctl("rooms").find("2 0x0 2 Budapest\n"), std::string::npos);
    EXPECT_EQ(ctl("stats").substr(0, 10), "clients=2 ");
    EXPECT_NE(ctl("help").find("malformed"), std::string::npos);
    EXPECT_EQ(ctl("nincs ilyen"), "error: unknown command (try help)\n");
    EXPECT_EQ(ctl("kick 2 senki"), "error: no such room or user\n");
}

}  // namespace
