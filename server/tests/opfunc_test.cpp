// lvserver black-box: operator requests, allowed and refused, and the popups that answer
// "whereis" and "info".
#include <gtest/gtest.h>

#include "server/tests/rawclient.h"

namespace {

class Opfunc : public ::testing::Test {
protected:
    rc_server srv;
    rc_client op, user, other;
    void SetUp() override
    {
        ASSERT_TRUE(rc_start(&srv, {}));
        ASSERT_TRUE(rc_join(&op, srv, "operator", "op123"));
        ASSERT_TRUE(rc_join(&user, srv, "teszt", "teszt"));
        ASSERT_TRUE(rc_join(&other, srv, "vendeg"));
        for (rc_client *c : {&op, &user, &other})
            ASSERT_TRUE(rc_enter(c, 1));
        rc_drain(&op), rc_drain(&user), rc_drain(&other);
    }
    void TearDown() override { rc_stop(&srv); }
};

std::string popup_text(const rc_packet &p, uint8_t *icon = nullptr)
{
    rc_reader r(&p);
    uint8_t k = r.byte();
    if (icon)
        *icon = k;
    r.utf();
    return r.utf();
}

bool refused(rc_client *c)
{
    rc_packet p;
    uint8_t icon = 0;
    return rc_expect(c, 14, &p) && popup_text(p, &icon).find("nincs jogod") != std::string::npos && icon == 3;
}

TEST_F(Opfunc, PlainUsersAreRefusedEveryOperatorFunction)
{
    rc_payload reqs[] = {
        rc_payload().byte(9).i32(1).utf("uj tema"),
        rc_payload().byte(2).i32(1).i32(other.id),
        rc_payload().byte(5).i32(1).i32(other.id).i32(0xFFFF),
        rc_payload().byte(6).i32(1),
        rc_payload().byte(11).i32(1).i32(other.id),
        rc_payload().byte(13).i32(1).i32(other.id).i32(5),
        rc_payload().byte(4).byte(0).i32(1).i32(other.id),
        rc_payload().byte(4).byte(1).i32(other.id).i32(5),
        rc_payload().byte(10).utf("mindenkinek"),
        rc_payload().byte(1),
    };
    for (auto &req : reqs) {
        rc_send(&user, 4, req);
        EXPECT_TRUE(refused(&user)) << int(req.b[0]);
    }
    // Nothing happened to anybody.
    rc_packet p;
    EXPECT_FALSE(rc_expect_if(&other, -1, &p, [](const rc_packet &q) { return q.type != 24; }, 300));
}

TEST_F(Opfunc, OperatorChangesTopicClosesAndReopens)
{
    rc_send(&op, 4, rc_payload().byte(9).i32(1).utf("$red$Új téma"));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&other, 10, &p));
    rc_reader t(&p);
    EXPECT_EQ(t.byte(), 3);
    EXPECT_EQ(t.i32(), 1);
    EXPECT_EQ(t.utf(), "$red$Új téma");

    rc_send(&op, 4, rc_payload().byte(6).i32(1));
    ASSERT_TRUE(rc_expect(&other, 10, &p));
    rc_reader s(&p);
    EXPECT_EQ(s.byte(), 5);
    EXPECT_EQ(s.i32(), 1);
    EXPECT_EQ(s.i32(), 4);
    // A closed room keeps plain users out.
    rc_send(&other, 6, rc_payload().i32(1));
    rc_send(&other, 5, rc_payload().i32(1));
    ASSERT_TRUE(rc_expect(&other, 14, &p));
    EXPECT_NE(popup_text(p).find("zárva"), std::string::npos);
    rc_send(&op, 4, rc_payload().byte(6).i32(1));
    ASSERT_TRUE(rc_expect_if(&other, 10, &p, [](const rc_packet &q) { return q.data[0] == 5; }));
    EXPECT_TRUE(rc_enter(&other, 1));
}

TEST_F(Opfunc, KickBanPermsAndBabel)
{
    rc_packet p;
    // Op: the operator bits change, canSpeak stays.
    rc_send(&op, 4, rc_payload().byte(5).i32(1).i32(user.id).i32(0xFFFF));
    ASSERT_TRUE(rc_expect(&other, 12, &p));
    rc_reader o(&p);
    EXPECT_EQ(o.byte(), 3);
    o.i32();
    EXPECT_EQ(o.i32(), user.id);
    EXPECT_EQ(o.i32(), 0x1FFFF);
    // Now the new operator may silence someone; the silenced one cannot talk.
    rc_send(&user, 4, rc_payload().byte(11).i32(1).i32(other.id));
    ASSERT_TRUE(rc_expect(&other, 12, &p));
    rc_reader b(&p);
    b.byte(), b.i32(), b.i32();
    EXPECT_EQ(b.i32(), 0);
    rc_send(&other, 7, rc_payload().byte(2).i32(1).utf("").utf("halló"));
    ASSERT_TRUE(rc_expect(&other, 14, &p));
    EXPECT_NE(popup_text(p).find("nem beszélhetsz"), std::string::npos);

    // Kick: everybody learns who did it; the kicked one gets type 6.
    rc_send(&op, 4, rc_payload().byte(2).i32(1).i32(other.id));
    ASSERT_TRUE(rc_expect_if(&user, 12, &p, [](const rc_packet &q) { return q.data[0] == 6; }));
    rc_reader k(&p);
    EXPECT_EQ(k.byte(), 6);
    k.i32();
    EXPECT_EQ(k.i32(), other.id);
    EXPECT_EQ(k.i32(), op.id);
    ASSERT_TRUE(rc_expect(&other, 6, &p));

    // Ban from the room: re-entering is refused.
    ASSERT_TRUE(rc_enter(&other, 1));
    rc_send(&op, 4, rc_payload().byte(13).i32(1).i32(other.id).i32(5));
    ASSERT_TRUE(rc_expect_if(&user, 12, &p, [](const rc_packet &q) { return q.data[0] == 7; }));
    rc_send(&other, 5, rc_payload().i32(1));
    ASSERT_TRUE(rc_expect(&other, 14, &p));
    EXPECT_NE(popup_text(p).find("Ki vagy tiltva"), std::string::npos);

    // The operator cannot throw out the chat's staff.
    rc_client adm;
    ASSERT_TRUE(rc_join(&adm, srv, "admin", "admin123"));
    ASSERT_TRUE(rc_enter(&adm, 1));
    rc_send(&op, 4, rc_payload().byte(2).i32(1).i32(adm.id));
    EXPECT_TRUE(refused(&op));
}

TEST_F(Opfunc, ChatBanEndsTheConnectionAndTheNextLogin)
{
    rc_client adm;
    ASSERT_TRUE(rc_join(&adm, srv, "admin", "admin123"));
    rc_send(&adm, 4, rc_payload().byte(4).byte(1).i32(other.id).i32(5));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&user, 12, &p));
    rc_reader r(&p);
    EXPECT_EQ(r.byte(), 9);
    r.i32();
    EXPECT_EQ(r.i32(), other.id);
    EXPECT_EQ(r.utf(), "admin");
    EXPECT_TRUE(rc_closed(&other));
    rc_client again;
    ASSERT_TRUE(rc_connect(&again, srv.chat));
    EXPECT_EQ(rc_login(&again, srv, "vendeg", ""), 1);
}

TEST_F(Opfunc, WhereisAndInfoAnswerWithPopups)
{
    rc_packet p;
    rc_send(&user, 4, rc_payload().byte(14).i32(1).utf("vendeg"));
    ASSERT_TRUE(rc_expect(&user, 14, &p));
    EXPECT_NE(popup_text(p).find("Társalgó"), std::string::npos);
    rc_send(&user, 4, rc_payload().byte(14).i32(1).utf("senki"));
    ASSERT_TRUE(rc_expect(&user, 14, &p));
    EXPECT_NE(popup_text(p).find("nincs bent"), std::string::npos);

    rc_send(&user, 4, rc_payload().byte(20).i32(1).utf("operator"));
    ASSERT_TRUE(rc_expect(&user, 14, &p));
    std::string info = popup_text(p);
    EXPECT_NE(info.find("id: 200"), std::string::npos);
    EXPECT_NE(info.find("regisztrált: igen"), std::string::npos);
    EXPECT_EQ(info.find("host:"), std::string::npos);  // a plain user does not see addresses
    rc_send(&op, 4, rc_payload().byte(20).i32(1).utf("vendeg"));
    ASSERT_TRUE(rc_expect(&op, 14, &p));
    EXPECT_NE(popup_text(p).find("host: 127.0.0.1"), std::string::npos);

    // Guests may not ask; unknown functions are named as such.
    rc_send(&other, 4, rc_payload().byte(14).i32(1).utf("teszt"));
    ASSERT_TRUE(rc_expect(&other, 14, &p));
    EXPECT_NE(popup_text(p).find("regisztrált"), std::string::npos);
    rc_send(&other, 4, rc_payload().byte(77));
    ASSERT_TRUE(rc_expect(&other, 14, &p));
    EXPECT_NE(popup_text(p).find("Ismeretlen"), std::string::npos);
}

}  // namespace
