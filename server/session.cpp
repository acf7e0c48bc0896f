// A chat connection: framing of the client's byte stream, login, and the requests of a
// logged-in user (rooms, room lines, private messages, nick look-ups, pings).
#include "server/server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "protocol/wire.h"

// Flood limit: room lines and private messages of one user within one window.
constexpr int SESSION_FLOOD_LINES = 25;
constexpr int SESSION_FLOOD_WINDOW = 5;
// Relayed texts are cut to these sizes, so that every line passed on fits into a packet
// the client itself could have built (8192 bytes with the header).
constexpr size_t SESSION_TEXT_MAX = 7000;
constexpr size_t SESSION_ATTRS_MAX = 1000;
// A connection that has not logged in after this many seconds is closed.
constexpr int SESSION_LOGIN_TIMEOUT = 60;

srv_session *session_new(srv_state *S)
{
    S->sessions.push_back(std::make_unique<srv_session>());
    srv_session *s = S->sessions.back().get();
    s->last_seen = S->now;
    return s;
}

void session_open(srv_state *S, net_conn *c)
{
    srv_session *s = session_new(S);
    s->conn = c;
    c->sess = s;
    s->addr = c->addr;
    char host[32];
    snprintf(host, sizeof host, "%u.%u.%u.%u", c->addr >> 24, (c->addr >> 16) & 255, (c->addr >> 8) & 255, c->addr & 255);
    s->host = host;
    S->chat_clients++;
}

void session_send(srv_state *S, srv_session *s, const srv_packet &p)
{
    if (s->conn)
        net_send(S, s->conn, p.buf.data(), p.buf.size());
}

void session_popup(srv_state *S, srv_session *s, uint8_t icon, std::string_view title, std::string_view text)
{
    srv_packet p;
    packet_begin(&p, 14);
    packet_byte(&p, icon);
    packet_utf(&p, title);
    packet_utf(&p, text);
    packet_end(&p);
    session_send(S, s, p);
}

static void session_simple(srv_state *S, srv_session *s, int32_t type)
{
    srv_packet p;
    packet_begin(&p, type);
    packet_end(&p);
    session_send(S, s, p);
}

void session_register(srv_state *S, srv_session *s)
{
    S->by_id[s->id] = s;
    S->by_nick[accounts_fold(s->nick)] = s;
}

srv_session *session_by_nick(srv_state *S, std::string_view nick)
{
    auto it = S->by_nick.find(accounts_fold(nick));
    return it == S->by_nick.end() ? nullptr : it->second;
}

void session_logout(srv_state *S, srv_session *s, uint8_t reason, std::string_view by)
{
    if (!s->logged_in)
        return;
    std::vector<int32_t> rooms = s->rooms;
    for (int32_t id : rooms)
        if (srv_room *r = rooms_get(S, id))
            rooms_remove(S, r, s, reason, 0, by);
    auto i = S->by_id.find(s->id);
    if (i != S->by_id.end() && i->second == s)
        S->by_id.erase(i);
    auto n = S->by_nick.find(accounts_fold(s->nick));
    if (n != S->by_nick.end() && n->second == s)
        S->by_nick.erase(n);
    s->logged_in = false;
}

void session_closed(srv_state *S, net_conn *c)
{
    srv_session *s = c->sess;
    if (!s)
        return;
    session_logout(S, s, s->close_reason, "");
    S->chat_clients--;
    s->conn = nullptr;
    c->sess = nullptr;
    auto it = std::find_if(S->sessions.begin(), S->sessions.end(), [s](auto &u) { return u.get() == s; });
    if (it != S->sessions.end()) {
        std::swap(*it, S->sessions.back());
        S->sessions.pop_back();
    }
}

// The login packet: the web page's two tokens and the password decide the outcome.
static void session_login(srv_state *S, srv_session *s, wire_reader *r)
{
    const char *tok, *pw;
    size_t ntok = wire_read_utf_view(r, &tok);
    size_t npw = wire_read_utf_view(r, &pw);
    std::string nick;
    if (r->overrun || !accounts_redeem(S, std::string_view(tok, ntok), &nick)) {
        session_simple(S, s, 1);  // regerror: no such ticket
        return;
    }
    if (!accounts_nick_valid(nick)) {
        session_simple(S, s, 0);  // regnick
        return;
    }
    std::string_view password(pw, npw);
    const srv_account *a = accounts_find(S, nick);
    srv_session *old = session_by_nick(S, nick);
    int32_t id;
    if (a) {
        if (password.empty()) {
            session_simple(S, s, 2);  // needpass
            return;
        }
        if (password != a->password) {
            session_simple(S, s, 1);
            return;
        }
        id = a->id;
        nick = a->nick;
    } else {
        if (old) {
            session_simple(S, s, 0);  // a guest nick already in use
            return;
        }
        id = accounts_guest_id(S, nick);
    }
    auto ban = S->chat_bans.find(id);
    if (ban != S->chat_bans.end() && ban->second > S->now) {
        session_popup(S, s, 3, "Kitiltás", "$red$Ki vagy tiltva a chatből.");
        session_simple(S, s, 1);
        return;
    }
    if (old) {
        // The owner of a registered nick comes back (typically after a lost connection):
        // the old connection gives way to the new one.
        session_logout(S, old, UCH_QUIT, "");
        if (old->conn)
            net_close(S, old->conn);
    }
    s->logged_in = true;
    s->registered = a != nullptr;
    s->acct_perms = a ? a->perms : 0;
    s->id = id;
    s->nick = nick;
    s->login_time = S->now;
    session_register(S, s);

    srv_packet p;
    packet_begin(&p, 3);
    packet_int(&p, s->registered ? 1 : 0);
    packet_int(&p, int32_t(S->by_id.size()));
    packet_int(&p, id);
    packet_utf(&p, nick);
    packet_end(&p);
    session_send(S, s, p);
    rooms_send_list(S, s);
}

// Counts a line against the flood limit; true when the user has passed it.
static bool session_flooding(srv_state *S, srv_session *s)
{
    if (s->bot)
        return false;
    if (S->now - s->flood_window >= SESSION_FLOOD_WINDOW) {
        s->flood_window = S->now;
        s->flood_count = 0;
    }
    return ++s->flood_count > SESSION_FLOOD_LINES;
}

static void session_room_line(srv_state *S, srv_session *s, wire_reader *r)
{
    uint8_t kind = wire_read_byte(r);
    int32_t room = wire_read_int(r);
    const char *attrs, *text;
    size_t na = wire_read_utf_view(r, &attrs);
    size_t nt = wire_read_utf_view(r, &text);
    srv_room *rm = rooms_get(S, room);
    srv_member *m = rm ? rooms_member(rm, s->id) : nullptr;
    if (r->overrun || !m || nt == 0)
        return;  // a short packet is counted by the caller
    // The user's own lines go out with his id (kinds 5 to 7, shown as 1 to 3); the
    // other kinds are the server's own (hints, nick-only lines) and are not taken from users.
    if (kind >= 1 && kind <= 3)
        kind = uint8_t(kind + 4);
    if (kind < 5 || kind > 7)
        return;
    if (!(m->perms & PERM_SPEAK)) {
        session_popup(S, s, 2, rm->name, "$red$Ebben a szobában most nem beszélhetsz.");
        return;
    }
    if (session_flooding(S, s)) {
        rooms_remove(S, rm, s, UCH_FLOOD, 0, "");
        return;
    }
    s->said_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::system_clock::now().time_since_epoch()).count();
    s->said.assign(text, std::min(nt, size_t(200)));
    rooms_say(S, rm, kind, s->id, s->nick, packet_cut(std::string_view(attrs, na), SESSION_ATTRS_MAX),
              packet_cut(std::string_view(text, nt), SESSION_TEXT_MAX));
}

void session_private(srv_state *S, srv_session *s, uint8_t kind, int32_t target, std::string_view text)
{
    srv_session *t = nullptr;
    auto it = S->by_id.find(target);
    if (it != S->by_id.end())
        t = it->second;
    // Kind 11 is the server's delivery confirmation: relayed, it would put the peer's
    // queue of sent messages out of step, so it is never passed on.
    bool deliver = t && kind != 11;
    if (deliver) {
        srv_packet p;
        packet_begin(&p, 8);
        packet_byte(&p, kind);
        packet_int(&p, s->id);
        packet_utf(&p, text);
        packet_end(&p);
        if (t->bot)
            bots_private(S, t, s, text);
        else
            session_send(S, t, p);
    }
    // The client matches confirmations to its sent messages in order, so every message
    // it expects one for gets one, delivered or not; a failed one is then explained.
    if (target != s->id && kind != 1) {
        srv_packet c;
        packet_begin(&c, 8);
        packet_byte(&c, 11);
        packet_end(&c);
        session_send(S, s, c);
    }
    if (!deliver && target != s->id) {
        srv_packet n;
        packet_begin(&n, 8);
        packet_byte(&n, 1);
        packet_int(&n, target);
        packet_utf(&n, t ? "$red$Ez az üzenet nem küldhető el." : "$red$A felhasználó nincs bent, az üzenet nem ment át.");
        packet_end(&n);
        session_send(S, s, n);
    }
}

static void session_private_in(srv_state *S, srv_session *s, wire_reader *r)
{
    uint8_t kind = wire_read_byte(r);
    int32_t target = wire_read_int(r);
    const char *text;
    size_t nt = wire_read_utf_view(r, &text);
    if (r->overrun || nt == 0)
        return;
    if (session_flooding(S, s)) {
        session_popup(S, s, 2, "Flood", "$red$Túl sok üzenet: lassíts!");
        return;
    }
    session_private(S, s, kind, target, packet_cut(std::string_view(text, nt), SESSION_TEXT_MAX));
}

static void session_nick_lookup(srv_state *S, srv_session *s, int32_t id)
{
    auto it = S->by_id.find(id);
    srv_packet p;
    packet_begin(&p, 18);
    packet_int(&p, id);
    packet_utf(&p, it == S->by_id.end() ? std::string_view() : std::string_view(it->second->nick));
    packet_end(&p);
    session_send(S, s, p);
}

void session_packet(srv_state *S, srv_session *s, int32_t type, const uint8_t *data, size_t n)
{
    wire_reader r = wire_reader_make(data, n);
    s->last_seen = S->now;
    s->packets_in++;
    if (type == 15) {
        session_simple(S, s, 15);
        return;
    }
    if (!s->logged_in) {
        if (type == 1024)
            session_login(S, s, &r);
        return;
    }
    switch (type) {
    case 4:
        opfunc_handle(S, s, data, n);
        break;
    case 5: {
        int32_t id = wire_read_int(&r);
        const char *name = "";
        size_t nn = id == 0 ? wire_read_utf_view(&r, &name) : 0;
        if (!r.overrun)
            rooms_enter(S, s, id, std::string_view(name, nn));
        break;
    }
    case 6: {
        int32_t id = wire_read_int(&r);
        srv_room *rm = rooms_get(S, id);
        if (!r.overrun && rm && rooms_member(rm, s->id))
            rooms_remove(S, rm, s, UCH_LEAVE, 0, "");
        break;
    }
    case 7:
        session_room_line(S, s, &r);
        break;
    case 8:
        session_private_in(S, s, &r);
        break;
    case 16:
        s->type16 = wire_read_byte(&r);
        break;
    case 17: {
        int32_t id = wire_read_int(&r);
        if (!r.overrun)
            session_nick_lookup(S, s, id);
        break;
    }
    case 29:
        s->type29_a = wire_read_int(&r);
        s->type29_b = wire_read_byte(&r);
        break;
    default:
        break;  // a request this server does not know: read and ignored
    }
    if (r.overrun)
        s->bad_packets++;
}

void session_feed(srv_state *S, srv_session *s)
{
    net_conn *c = s->conn;
    size_t used = 0;
    while (c && !c->dead && c->in.size() - used >= WIRE_HEADER_SIZE) {
        int32_t type;
        uint32_t len;
        if (!wire_check_header(c->in.data() + used, &type, &len, nullptr) || len > SRV_CLIENT_PAYLOAD_MAX) {
            // The stream cannot be framed any more: nothing after this can be trusted.
            S->stats.dropped_bad++;
            net_close(S, c);
            return;
        }
        if (c->in.size() - used < WIRE_HEADER_SIZE + len)
            break;
        session_packet(S, s, type, c->in.data() + used + WIRE_HEADER_SIZE, len);
        used += WIRE_HEADER_SIZE + len;
        c = s->conn;
    }
    if (c && !c->dead)
        c->in.erase(c->in.begin(), c->in.begin() + long(used));
}

void session_tick(srv_state *S)
{
    for (auto &u : S->sessions) {
        srv_session *s = u.get();
        if (!s->conn || s->conn->dead)
            continue;
        if (s->logged_in && S->now - s->last_seen > S->opt.idle_timeout) {
            s->close_reason = UCH_TIMEOUT;
            net_close(S, s->conn);
        } else if (!s->logged_in && S->now - s->conn->opened > SESSION_LOGIN_TIMEOUT) {
            net_close(S, s->conn);
        }
    }
}
