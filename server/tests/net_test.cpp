// lvserver in process: connection records that die while departures are announced.
#include <gtest/gtest.h>

#include <algorithm>

#include "server/server.h"

namespace {

// A chat connection without a socket, logged in and in room 1.
srv_session *fake_member(srv_state *S, const char *nick, int32_t id)
{
    S->conns.push_back(std::make_unique<net_conn>());
    net_conn *c = S->conns.back().get();
    session_open(S, c);
    srv_session *s = c->sess;
    s->logged_in = true;
    s->id = id;
    s->nick = nick;
    session_register(S, s);
    rooms_enter(S, s, 1, "");
    return s;
}

TEST(NetReap, AReaderDroppedWhileOthersLeaveIsNotLeftToFlush)
{
    srv_state S;
    S.opt.queue_cap = 1000;
    rooms_create(&S, 1, "szoba", "", 0, true);
    srv_session *lazy = fake_member(&S, "lusta", 1000001);
    srv_session *b = fake_member(&S, "b", 1000002);
    srv_session *c = fake_member(&S, "c", 1000003);
    // The lazy reader's queue is a little below the cap and waits for the socket: one
    // departure announcement still fits, the second does not.
    net_conn *lc = lazy->conn;
    lc->out.assign(S.opt.queue_cap - 30, 0);
    lc->out_off = 0;
    lc->dirty = false;
    S.flush_list.clear();
    net_close(&S, b->conn);
    net_close(&S, c->conn);
    net_poll(&S, 0);  // no sockets: only the end of the turn runs, with both departures

    EXPECT_TRUE(S.by_id.empty());  // b and c logged out; lusta dropped on the second
    for (net_conn *f : S.flush_list)
        EXPECT_NE(std::find_if(S.conns.begin(), S.conns.end(), [f](auto &u) { return u.get() == f; }), S.conns.end());
    net_poll(&S, 0);
    EXPECT_TRUE(S.conns.empty());
    EXPECT_TRUE(S.rooms.at(1)->members.empty());
}

}  // namespace
