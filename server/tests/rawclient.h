// A small test peer of lvserver built on the wire codec: starts the server on free ports,
// fetches login tokens, sends packets and waits for the ones it expects.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <sys/types.h>

#include "protocol/wire.h"

struct rc_server {
    pid_t pid = -1;
    int chat = -1, web = -1, control = -1, proxy = -1;
};

// Starts lvserver with the demo data and `extra` options; ports are chosen by the server.
bool rc_start(rc_server *srv, const std::vector<std::string> &extra, bool demo = true);
void rc_stop(rc_server *srv);
// True while the server process is still running.
bool rc_alive(rc_server *srv);

// One console command over the control port: the answer up to its "ok" or "error" line.
std::string rc_control(const rc_server &srv, const std::string &line);
// One HTTP exchange on the given port: the whole answer until the server closes.
std::string rc_http(int port, const std::string &request);

struct rc_packet {
    int32_t type = -1;
    std::vector<uint8_t> data;
};

// Payload builder.
struct rc_payload {
    std::vector<uint8_t> b;
    rc_payload &byte(uint8_t v);
    rc_payload &i32(int32_t v);
    rc_payload &utf(const std::string &s);
};

struct rc_client {
    int fd = -1;
    std::vector<uint8_t> in;        // received bytes from `off` on
    size_t off = 0;
    std::deque<rc_packet> backlog;  // received but not yet asked for
    int32_t id = 0;
    std::string nick;
};

// `rcvbuf`, when not 0, sets the socket's receive buffer before connecting.
bool rc_connect(rc_client *c, int port, int rcvbuf = 0);
void rc_close(rc_client *c);
bool rc_send(rc_client *c, int32_t type, const rc_payload &p);
bool rc_send_bytes(rc_client *c, const void *data, size_t n);
// The next packet of `type` (any type when -1) within `ms`; earlier packets of other types
// stay in the backlog. False on time-out or end of stream.
bool rc_expect(rc_client *c, int32_t type, rc_packet *out, int ms = 3000);
// Like rc_expect, but also requires the payload to satisfy `pred`.
template <class P>
bool rc_expect_if(rc_client *c, int32_t type, rc_packet *out, P pred, int ms = 3000);
// True when the server has closed the connection within `ms`.
bool rc_closed(rc_client *c, int ms = 3000);
// Forgets the backlog and whatever arrives within `ms`.
void rc_drain(rc_client *c, int ms = 200);

// The value of one applet parameter in a token page, or empty.
std::string rc_param(const std::string &page, const std::string &name);
// Fetches tokens for `nick` from the web port and sends the login packet; returns the
// type of the answer (0 to 3) or -1.
int rc_login(rc_client *c, const rc_server &srv, const std::string &nick, const std::string &password);
// Connects and logs in; false unless accepted.
bool rc_join(rc_client *c, const rc_server &srv, const std::string &nick, const std::string &password = "", int rcvbuf = 0);
// Enters a room by id and waits for the answer and the user list.
bool rc_enter(rc_client *c, int32_t room);

// Decoding helpers over a received payload.
struct rc_reader {
    wire_reader r;
    explicit rc_reader(const rc_packet *p) : r(wire_reader_make(p->data.data(), p->data.size())) {}
    uint8_t byte() { return wire_read_byte(&r); }
    int32_t i32() { return wire_read_int(&r); }
    std::string utf();
    bool bad() const { return r.overrun; }
    bool done() const { return r.pos == r.end; }
};

bool rc_read_raw(rc_client *c, rc_packet *out, int ms);

template <class P>
bool rc_expect_if(rc_client *c, int32_t type, rc_packet *out, P pred, int ms)
{
    for (auto it = c->backlog.begin(); it != c->backlog.end(); ++it) {
        if ((type == -1 || it->type == type) && pred(*it)) {
            *out = *it;
            c->backlog.erase(it);
            return true;
        }
    }
    for (;;) {
        rc_packet p;
        if (!rc_read_raw(c, &p, ms))
            return false;
        if ((type == -1 || p.type == type) && pred(p)) {
            *out = p;
            return true;
        }
        c->backlog.push_back(std::move(p));
    }
}
