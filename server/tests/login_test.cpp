// lvserver black-box: the token page and the login outcomes.
#include <gtest/gtest.h>

#include "server/tests/rawclient.h"

namespace {

class Login : public ::testing::Test {
protected:
    static rc_server srv;
    static void SetUpTestSuite() { ASSERT_TRUE(rc_start(&srv, {})); }
    static void TearDownTestSuite() { rc_stop(&srv); }
};
rc_server Login::srv;

TEST_F(Login, OutcomesByNickAndPassword)
{
    struct Case {
        const char *nick, *password;
        int type;
    } cases[] = {
        {"vendeg1", "", 3},
        {"vendeg2", "barmi", 3},     // a guest's password is not looked at
        {"teszt", "teszt", 3},
        {"TESZT2", "", 3},           // not registered: only "teszt" is
        {"Zsuzsi", "", 2},           // registered nick without password: needpass
        {"zsuzsi", "kutya", 1},      // wrong password, nick in other case: regerror
        {"a$b", "", 0},              // colour markup in a nick: regnick
        {"ez egy nagyon hosszu nev ami nem fer", "", 0},
        {" szokoz", "", 0},
    };
    for (const Case &k : cases) {
        rc_client c;
        ASSERT_TRUE(rc_connect(&c, srv.chat));
        EXPECT_EQ(rc_login(&c, srv, k.nick, k.password), k.type) << k.nick << "/" << k.password;
        if (k.type == 3) {
            EXPECT_STRNE(c.nick.c_str(), "");
        }
        rc_close(&c);
    }
}

TEST_F(Login, IdsAreStableAndRegisteredOnesAreLow)
{
    rc_client a;
    ASSERT_TRUE(rc_join(&a, srv, "stabil"));
    int32_t first = a.id;
    EXPECT_GT(first, 1000000);
    rc_close(&a);
    rc_client b;
    // The server may still be logging the first one out; retry until the nick is free.
    int type = -1;
    for (int i = 0; i < 20 && type != 3; i++) {
        rc_close(&b);
        ASSERT_TRUE(rc_connect(&b, srv.chat));
        type = rc_login(&b, srv, "stabil", "");
    }
    ASSERT_EQ(type, 3);
    EXPECT_EQ(b.id, first);

    rc_client reg;
    ASSERT_TRUE(rc_join(&reg, srv, "Kovács_Béla", "jelszo"));
    EXPECT_EQ(reg.id, 301);
    EXPECT_EQ(reg.nick, "Kovács_Béla");
}

TEST_F(Login, GuestNickInUseIsRefusedButAnOwnerTakesHisNickBack)
{
    rc_client a, b;
    ASSERT_TRUE(rc_join(&a, srv, "foglalt"));
    ASSERT_TRUE(rc_connect(&b, srv.chat));
    EXPECT_EQ(rc_login(&b, srv, "FOGLALT", ""), 0);

    rc_client o1, o2;
    ASSERT_TRUE(rc_join(&o1, srv, "operator", "op123"));
    ASSERT_TRUE(rc_join(&o2, srv, "operator", "op123"));
    EXPECT_EQ(o2.id, 200);
    EXPECT_TRUE(rc_closed(&o1));  // the old connection gave way
}

TEST_F(Login, TokensAreSingleUseAndMustBeKnown)
{
    std::string page = rc_http(srv.web, "GET /php/rurizu_clvh.php?ord=1&username=egyszer HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string tokens = rc_param(page, "token9") + rc_param(page, "token13");
    ASSERT_EQ(tokens.size(), 32u);
    for (int round = 0; round < 2; round++) {
        rc_client c;
        ASSERT_TRUE(rc_connect(&c, srv.chat));
        rc_send(&c, 1024, rc_payload().utf(tokens).utf(""));
        rc_packet p;
        ASSERT_TRUE(rc_expect_if(&c, -1, &p, [](const rc_packet &q) { return q.type <= 3; }));
        EXPECT_EQ(p.type, round == 0 ? 3 : 1);
    }
    rc_client c;
    ASSERT_TRUE(rc_connect(&c, srv.chat));
    rc_send(&c, 1024, rc_payload().utf("not-a-ticket").utf(""));
    rc_packet p;
    ASSERT_TRUE(rc_expect(&c, 1, &p));
    // A login packet whose fields run short is refused, not misread.
    rc_send(&c, 1024, rc_payload().byte(0).byte(40).byte('x'));
    ASSERT_TRUE(rc_expect(&c, 1, &p));
}

TEST_F(Login, PageFormsAndNickEncodings)
{
    struct Case {
        std::string request, nick;
    } cases[] = {
        // The client's own form: absolute URI, bare line feeds, %20 for blanks.
        {"GET http://127.0.0.1/php/rurizu_clvh.php?ord=58203174469&username=big%20cat HTTP/1.1\nHost: h\n\n", "big cat"},
        {"GET /php/rurizu_clvh.php?username=anna&ord=5 HTTP/1.0\r\n\r\n", "anna"},
        // Windows-1250 bytes, raw as the client sends them, and escaped as a browser would.
        {"GET /php/rurizu_clvh.php?ord=1&username=J\xE1nos%20\xF5 HTTP/1.1\n\n", "János ő"},
        {"GET /php/rurizu_clvh.php?ord=1&username=%C5%91z HTTP/1.1\n\n", "őz"},
    };
    for (const Case &k : cases) {
        std::string page = rc_http(srv.web, k.request);
        ASSERT_NE(page.find("HTTP/1.1 200 OK\r\n"), std::string::npos) << k.request;
        ASSERT_NE(page.find("\r\n\r\n"), std::string::npos);
        rc_client c;
        ASSERT_TRUE(rc_connect(&c, srv.chat));
        rc_send(&c, 1024, rc_payload().utf(rc_param(page, "token9") + rc_param(page, "token13")).utf(""));
        rc_packet p;
        ASSERT_TRUE(rc_expect(&c, 3, &p)) << k.request;
        rc_reader r(&p);
        r.i32();
        r.i32();
        r.i32();
        EXPECT_EQ(r.utf(), k.nick);
    }
    EXPECT_NE(rc_http(srv.web, "GET /php/rurizu_clvh.php?ord=1 HTTP/1.1\n\n").find(" 400 "), std::string::npos);
    EXPECT_NE(rc_http(srv.web, "GET /semmi HTTP/1.1\n\n").find(" 404 "), std::string::npos);
    EXPECT_NE(rc_http(srv.web, "POST /php/rurizu_clvh.php HTTP/1.1\n\n").find(" 405 "), std::string::npos);
    std::string room = rc_http(srv.web, "GET /szoba.php?id=2 HTTP/1.1\n\n");
    EXPECT_NE(room.find("<h1>Budapest</h1>"), std::string::npos);
}

TEST(LoginChunked, ChunkedPageCarriesTheTokens)
{
    rc_server srv;
    ASSERT_TRUE(rc_start(&srv, {"--chunked"}));
    std::string page = rc_http(srv.web, "GET /php/rurizu_clvh.php?ord=1&username=darabos HTTP/1.1\n\n");
    size_t body = page.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_NE(page.substr(0, body).find("Transfer-Encoding: chunked"), std::string::npos);
    // Undo the chunking and check the page is whole.
    std::string rest = page.substr(body + 4), html;
    for (;;) {
        size_t eol = rest.find("\r\n");
        ASSERT_NE(eol, std::string::npos);
        size_t n = std::stoul(rest.substr(0, eol), nullptr, 16);
        if (n == 0)
            break;
        html += rest.substr(eol + 2, n);
        ASSERT_EQ(rest.substr(eol + 2 + n, 2), "\r\n");
        rest = rest.substr(eol + 4 + n);
    }
    EXPECT_GT(html.size(), 128u);  // more than one chunk
    EXPECT_NE(html.find("</html>"), std::string::npos);
    rc_client c;
    ASSERT_TRUE(rc_connect(&c, srv.chat));
    rc_send(&c, 1024, rc_payload().utf(rc_param(html, "token9") + rc_param(html, "token13")).utf(""));
    rc_packet p;
    EXPECT_TRUE(rc_expect(&c, 3, &p));
    rc_stop(&srv);
}

TEST_F(Login, RoomListFollowsTheAcceptance)
{
    rc_client c;
    ASSERT_TRUE(rc_connect(&c, srv.chat));
    // Requests before the login are ignored.
    rc_send(&c, 7, rc_payload().byte(2).i32(1).utf("").utf("korai"));
    ASSERT_EQ(rc_login(&c, srv, "listazo", ""), 3);
    rc_packet p;
    ASSERT_TRUE(rc_expect(&c, 9, &p));
    rc_reader r(&p);
    std::vector<int32_t> ids;
    for (int32_t id; (id = r.i32()) != 0 && !r.bad();) {
        std::string name = r.utf(), theme = r.utf();
        int32_t states = r.i32();
        r.i32();
        ids.push_back(id);
        if (id == 1) {
            EXPECT_EQ(name, "Társalgó");
            EXPECT_NE(theme.find("$blue$"), std::string::npos);
        }
        if (id == 11) {
            EXPECT_EQ(states, 4);
        }
    }
    EXPECT_FALSE(r.bad());
    EXPECT_TRUE(r.done());
    EXPECT_EQ(ids.size(), 12u);
}

}  // namespace
