// Fuzz target: lvserver's handling of a client's byte stream (framing, login, every
// request and operator function), on a server state without sockets. The first byte
// chooses who is talking: a fresh connection, a plain user in a room, or a chat admin.
#include <cstddef>
#include <cstdint>

#include "protocol/wire.h"
#include "server/server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    srv_state S;
    S.now = 1700000000;
    S.now_f = 1000;
    S.opt.web_host = "127.0.0.1";
    S.rng.seed(1);
    rooms_create(&S, 1, "Társalgó", "$blue$téma", 0, true);
    rooms_create(&S, 2, "Zárt", "", ROOM_CLOSED, true);
    S.accounts["admin"] = srv_account{"admin", "pw", 150, PERM_MEGAOP | PERM_OPS | PERM_SPEAK};

    // Connections without sockets: what the server sends them is queued and dropped.
    auto fake = [&](const char *nick, int32_t id, int32_t perms) {
        S.conns.push_back(std::make_unique<net_conn>());
        net_conn *c = S.conns.back().get();
        c->addr = 0x7F000001;
        session_open(&S, c);
        srv_session *s = c->sess;
        if (nick) {
            s->logged_in = true;
            s->registered = id < SRV_GUEST_ID_BASE;
            s->id = id;
            s->nick = nick;
            s->acct_perms = perms;
            session_register(&S, s);
            rooms_enter(&S, s, 1, "");
        }
        return s;
    };
    fake("peer", SRV_GUEST_ID_BASE + 7, 0);  // someone to receive room lines and changes
    uint8_t mode = data[0] % 3;
    srv_session *s = mode == 0 ? fake(nullptr, 0, 0)
                     : mode == 1 ? fake("vendeg", SRV_GUEST_ID_BASE + 1, 0)
                                 : fake("admin", 150, PERM_MEGAOP | PERM_OPS | PERM_SPEAK);
    std::string t9, t13;
    accounts_issue(&S, "belepo", &t9, &t13);

    // The rest is a list of packets for the fuzzer to shape: a selector byte, a length
    // byte and that many payload bytes each. Most are framed here, since a guessed check
    // word would stop nearly every input at the header; one selector sends the bytes
    // unframed, another logs in with the ticket just issued.
    static constexpr int32_t types[] = {4, 5, 6, 7, 8, 15, 16, 17, 29, 1024, 99};
    constexpr uint8_t n_types = sizeof types / sizeof types[0];
    std::vector<uint8_t> stream;
    size_t pos = 1;
    while (pos + 2 <= size) {
        uint8_t sel = data[pos] % (n_types + 2);
        size_t len = data[pos + 1];
        pos += 2;
        if (len > size - pos)
            len = size - pos;
        std::vector<uint8_t> payload(data + pos, data + pos + len);
        pos += len;
        if (sel == n_types) {
            stream.insert(stream.end(), payload.begin(), payload.end());
            continue;
        }
        int32_t type = sel < n_types ? types[sel] : 1024;
        if (sel == n_types + 1) {
            std::string tokens = t9 + t13;
            std::vector<uint8_t> login = {uint8_t(tokens.size() >> 8), uint8_t(tokens.size())};
            login.insert(login.end(), tokens.begin(), tokens.end());
            login.push_back(0);
            login.push_back(uint8_t(len));
            payload.insert(payload.begin(), login.begin(), login.end());
        }
        uint8_t hdr[WIRE_HEADER_SIZE];
        wire_make_header(hdr, type, uint32_t(payload.size()));
        stream.insert(stream.end(), hdr, hdr + WIRE_HEADER_SIZE);
        stream.insert(stream.end(), payload.begin(), payload.end());
    }
    // The stream arrives in two reads, split in the middle.
    size_t split = stream.size() / 2;
    s->conn->in.assign(stream.begin(), stream.begin() + long(split));
    session_feed(&S, s);
    if (s->conn && !s->conn->dead) {
        s->conn->in.insert(s->conn->in.end(), stream.begin() + long(split), stream.end());
        session_feed(&S, s);
    }
    return 0;
}
