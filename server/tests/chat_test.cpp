// lvserver black-box: rooms, room lines, private messages, nick look-ups, counts, pings.
#include <gtest/gtest.h>

#include "server/tests/rawclient.h"

namespace {

class Chat : public ::testing::Test {
protected:
    static rc_server srv;
    static void SetUpTestSuite() { ASSERT_TRUE(rc_start(&srv, {})); }
    static void TearDownTestSuite() { rc_stop(&srv); }
};
rc_server Chat::srv;

// A user change (type 12) of `sub` about `user`; fills `r` positioned after the ids.
bool expect_userch(rc_client *c, uint8_t sub, int32_t user, rc_packet *p, int ms = 3000)
{
    return rc_expect_if(c, 12, p, [&](const rc_packet &q) {
        rc_reader r(&q);
        return r.byte() == sub && (r.i32(), r.i32() == user);
    }, ms);
}

TEST_F(Chat, EnterAnnouncesListsAndShowsJoins)
{
    rc_client a, b;
    ASSERT_TRUE(rc_join(&a, srv, "belepo_a"));
    ASSERT_TRUE(rc_join(&b, srv, "belepo_b"));
    ASSERT_TRUE(rc_enter(&a, 2));

    rc_send(&b, 5, rc_payload().i32(2));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&b, 5, &p));
    rc_reader e(&p);
    EXPECT_EQ(e.i32(), 2);
    EXPECT_EQ(e.i32(), 0x10000);  // canSpeak
    EXPECT_EQ(e.utf(), "Budapest");
    EXPECT_NE(e.utf().find("/szoba.php?id=2"), std::string::npos);

    ASSERT_TRUE(rc_expect(&b, 11, &p));
    rc_reader u(&p);
    EXPECT_EQ(u.i32(), 2);
    std::vector<std::string> nicks;
    for (int32_t perms; (perms = u.i32()) != 0x12345678 && !u.bad();) {
        u.i32();
        nicks.push_back(u.utf());
    }
    EXPECT_TRUE(u.done());
    EXPECT_EQ(nicks, (std::vector<std::string>{"belepo_a", "belepo_b"}));

    ASSERT_TRUE(expect_userch(&a, 1, b.id, &p));
    rc_reader j(&p);
    j.byte(), j.i32(), j.i32();
    EXPECT_EQ(j.i32(), 0x10000);
    EXPECT_EQ(j.utf(), "belepo_b");
    EXPECT_TRUE(j.done());  // no host information for a plain user

    // Entering again repeats the answer and the list, and tells nobody.
    rc_send(&b, 5, rc_payload().i32(2));
    ASSERT_TRUE(rc_expect(&b, 5, &p));
    ASSERT_TRUE(rc_expect(&b, 11, &p));
    EXPECT_FALSE(rc_expect(&a, 12, &p, 300));

    // Leaving: the leaver gets type 6, the others subtype 2.
    rc_send(&b, 6, rc_payload().i32(2));
    ASSERT_TRUE(rc_expect(&b, 6, &p));
    ASSERT_TRUE(expect_userch(&a, 2, b.id, &p));
}

TEST_F(Chat, HostInformationOnlyForAutoIpReceivers)
{
    rc_client op, plain, comer;
    ASSERT_TRUE(rc_join(&op, srv, "admin", "admin123"));
    ASSERT_TRUE(rc_join(&plain, srv, "sima"));
    ASSERT_TRUE(rc_join(&comer, srv, "jovevo"));
    ASSERT_TRUE(rc_enter(&op, 3));
    ASSERT_TRUE(rc_enter(&plain, 3));
    ASSERT_TRUE(rc_enter(&comer, 3));
    rc_packet p;
    ASSERT_TRUE(expect_userch(&op, 1, comer.id, &p));
    rc_reader h(&p);
    h.byte(), h.i32(), h.i32(), h.i32(), h.utf();
    EXPECT_EQ(uint32_t(h.i32()), 0x7F000001u);
    EXPECT_EQ(h.utf(), "127.0.0.1");
    EXPECT_TRUE(h.done());
    ASSERT_TRUE(expect_userch(&plain, 1, comer.id, &p));
    rc_reader n(&p);
    n.byte(), n.i32(), n.i32(), n.i32(), n.utf();
    EXPECT_TRUE(n.done());
    // The same for a departure.
    rc_close(&comer);
    ASSERT_TRUE(expect_userch(&op, 5, comer.id, &p));
    EXPECT_EQ(p.data.size(), 9u + 4 + 2 + 9);
    ASSERT_TRUE(expect_userch(&plain, 5, comer.id, &p));
    EXPECT_EQ(p.data.size(), 9u);
}

TEST_F(Chat, RoomLinesCarryTheSenderAndHisStyle)
{
    rc_client a, b;
    ASSERT_TRUE(rc_join(&a, srv, "beszelo"));
    ASSERT_TRUE(rc_join(&b, srv, "hallgato"));
    ASSERT_TRUE(rc_enter(&a, 4));
    ASSERT_TRUE(rc_enter(&b, 4));
    struct Case {
        uint8_t kind_in, kind_out;
        std::string attrs, text;
    } cases[] = {
        {2, 6, "$red$\r!", "szia"},
        {7, 7, "", "integet"},
        {1, 5, "", "jelez"},
    };
    for (const Case &k : cases) {
        rc_send(&a, 7, rc_payload().byte(k.kind_in).i32(4).utf(k.attrs).utf(k.text));
        for (rc_client *c : {&a, &b}) {
            rc_packet p;
            ASSERT_TRUE(rc_expect(c, 13, &p));
            rc_reader r(&p);
            EXPECT_EQ(r.byte(), k.kind_out);
            EXPECT_EQ(r.i32(), 4);
            EXPECT_EQ(r.i32(), a.id);
            EXPECT_EQ(r.utf(), k.attrs);
            EXPECT_EQ(r.utf(), k.text);
            EXPECT_TRUE(r.done());
        }
    }
    // Kinds the server keeps for itself, lines to a room one is not in, empty lines.
    rc_send(&a, 7, rc_payload().byte(4).i32(4).utf("").utf("hint"));
    rc_send(&a, 7, rc_payload().byte(2).i32(5).utf("").utf("mashova"));
    rc_send(&a, 7, rc_payload().byte(2).i32(4).utf("").utf(""));
    rc_send(&a, 7, rc_payload().byte(2).i32(4).utf("").utf("utolso"));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&b, 13, &p));
    rc_reader r(&p);
    r.byte(), r.i32(), r.i32(), r.utf();
    EXPECT_EQ(r.utf(), "utolso");
}

TEST_F(Chat, PrivateMessagesAreConfirmedInOrder)
{
    rc_client a, b;
    ASSERT_TRUE(rc_join(&a, srv, "kuldo"));
    ASSERT_TRUE(rc_join(&b, srv, "cimzett"));
    rc_send(&a, 8, rc_payload().byte(3).i32(b.id).utf("egy"));
    rc_send(&a, 8, rc_payload().byte(2).i32(b.id).utf("ketto"));
    rc_send(&a, 8, rc_payload().byte(1).i32(b.id).utf("harom"));  // kind 1: no confirmation
    rc_send(&a, 8, rc_payload().byte(3).i32(987654321).utf("senkinek"));
    rc_send(&a, 8, rc_payload().byte(3).i32(a.id).utf("magamnak"));  // to oneself: delivered, not confirmed
    rc_send(&a, 8, rc_payload().byte(11).i32(b.id).utf("hamis"));   // never relayed
    for (auto [kind, text] : {std::pair<int, std::string>{3, "egy"}, {2, "ketto"}, {1, "harom"}}) {
        rc_packet p;
        ASSERT_TRUE(rc_expect(&b, 8, &p));
        rc_reader r(&p);
        EXPECT_EQ(r.byte(), kind);
        EXPECT_EQ(r.i32(), a.id);
        EXPECT_EQ(r.utf(), text);
    }
    // The sender's stream, in order: two confirmations, the one for the absent user and
    // its explanation, his own message, the confirmation and explanation of kind 11.
    std::vector<std::string> seen;
    rc_packet p;
    while (rc_expect(&a, 8, &p, 500)) {
        rc_reader r(&p);
        uint8_t kind = r.byte();
        seen.push_back(kind == 11 ? "ok" : std::to_string(kind) + ":" + std::to_string(r.i32()));
    }
    std::vector<std::string> want = {"ok", "ok", "ok", "1:987654321", "3:" + std::to_string(a.id), "ok",
                                     "1:" + std::to_string(b.id)};
    EXPECT_EQ(seen, want);
    EXPECT_FALSE(rc_expect(&b, 8, &p, 300));
}

TEST_F(Chat, NickLookupsPingsAndIgnoredRequests)
{
    rc_client a, b;
    ASSERT_TRUE(rc_join(&a, srv, "kereso"));
    ASSERT_TRUE(rc_join(&b, srv, "Keresett Béla"));
    rc_send(&a, 16, rc_payload().byte(6));
    rc_send(&a, 29, rc_payload().i32(0).byte(9));
    rc_send(&a, 99, rc_payload().i32(1));
    rc_send(&a, 17, rc_payload().i32(b.id));
    rc_send(&a, 17, rc_payload().i32(424242));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&a, 18, &p));
    rc_reader r(&p);
    EXPECT_EQ(r.i32(), b.id);
    EXPECT_EQ(r.utf(), "Keresett Béla");
    ASSERT_TRUE(rc_expect(&a, 18, &p));
    rc_reader o(&p);
    EXPECT_EQ(o.i32(), 424242);
    EXPECT_EQ(o.utf(), "");
    rc_send(&a, 15, rc_payload());
    ASSERT_TRUE(rc_expect(&a, 15, &p));
    EXPECT_TRUE(p.data.empty());
}

TEST_F(Chat, EnteringByNameMakesAUserRoomThatEndsWithItsLastUser)
{
    rc_client a, w;
    ASSERT_TRUE(rc_join(&a, srv, "alapito"));
    ASSERT_TRUE(rc_join(&w, srv, "figyelo"));
    rc_send(&a, 5, rc_payload().i32(0).utf("Új szoba"));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&w, 10, &p));
    rc_reader c(&p);
    EXPECT_EQ(c.byte(), 1);
    int32_t id = c.i32();
    EXPECT_GE(id, 1000000);
    EXPECT_EQ(c.utf(), "Új szoba");
    c.utf();
    EXPECT_EQ(c.i32(), 0x10);
    ASSERT_TRUE(rc_expect(&a, 5, &p));
    rc_reader e(&p);
    EXPECT_EQ(e.i32(), id);
    EXPECT_EQ(e.i32(), 0x1FFFF);  // the founder's operator rights

    // By name, in another case, the same room.
    rc_send(&w, 5, rc_payload().i32(0).utf("ÚJ SZOBA"));
    ASSERT_TRUE(rc_expect(&w, 5, &p));
    EXPECT_EQ(rc_reader(&p).i32(), id);
    rc_send(&w, 6, rc_payload().i32(id));
    rc_send(&a, 6, rc_payload().i32(id));
    ASSERT_TRUE(rc_expect_if(&w, 10, &p, [](const rc_packet &q) { return q.data[0] == 2; }));
    rc_reader d(&p);
    d.byte();
    EXPECT_EQ(d.i32(), id);

    // Unknown ids and bad names are refused with a popup.
    rc_send(&a, 5, rc_payload().i32(777));
    ASSERT_TRUE(rc_expect(&a, 14, &p));
    rc_send(&a, 5, rc_payload().i32(0).utf("rossz\nnev"));
    ASSERT_TRUE(rc_expect(&a, 14, &p));
}

TEST_F(Chat, UserCountsComeInBatches)
{
    rc_client a, w;
    ASSERT_TRUE(rc_join(&w, srv, "szamlalo"));
    ASSERT_TRUE(rc_join(&a, srv, "szamolt"));
    ASSERT_TRUE(rc_enter(&a, 9));
    rc_packet p;
    bool seen = false;
    for (int i = 0; i < 5 && !seen; i++) {
        ASSERT_TRUE(rc_expect(&w, 24, &p, 2500));
        rc_reader r(&p);
        for (int32_t id; (id = r.i32()) != 0 && !r.bad();) {
            int32_t n = r.i32();
            if (id == 9) {
                EXPECT_EQ(n, 1);
                seen = true;
            }
        }
        EXPECT_TRUE(r.done());
    }
    EXPECT_TRUE(seen);
}

}  // namespace
