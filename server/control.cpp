// The operator's console, on standard input and on the loopback control port: one command
// per line, one answer ("ok", "error: ...", or listed lines then "ok"). It can provoke
// every packet the client decodes, well-formed or not.
#include "server/server.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/wire.h"

// Flood lines, and deliveries (lines times listeners), per loop turn at most, whatever the
// rate asked for: an overloaded server floods more slowly instead of piling up queues and
// long turns.
constexpr size_t CONTROL_FLOOD_LINES = 2000;
constexpr size_t CONTROL_FLOOD_DELIVERIES = 200000;

static const char CONTROL_HELP[] =
    "help | sessions | rooms | stats | quit\n"
    "popup <nick|*> <icon> <title> | <text>\n"
    "topic <room> <text> | states <room> <states> | count <room> <n> | statecount <room> <states> <n>\n"
    "mkroom <id|0> <states> <name> | <topic> | rmroom <room> | roomlist <nick> [rooms]\n"
    "kick <room> <nick> [by] | ban <room> <nick> [minutes] | floodkick <room> <nick>\n"
    "perms <room> <nick> <perms> | enter <room> <nick> | leave <room> <nick>\n"
    "kickchat <nick> [by] | banchat <nick> [minutes] | timeout <nick> | drop <nick>\n"
    "say <room> <nick> <kind> <text> | sayp <room> <nick> <kind> <prefix|-> <suffix|-> <text>\n"
    "msg <from> <to> <kind> <text> | nick <to> <id> [nick] | bcast <text> | counts\n"
    "raw <nick> <type> [hex] | malformed <nick> <badmagic|badcheck|hugelen|truncated|overrun|garbage>\n"
    "room <room> | flood start <room> <lines-per-second> [lines] [width] | flood stop | flood\n"
    "said <nick>\n";

// Splits off the next blank-separated word.
static std::string_view control_word(std::string_view *rest)
{
    size_t i = 0;
    while (i < rest->size() && (*rest)[i] == ' ')
        i++;
    rest->remove_prefix(i);
    size_t e = rest->find(' ');
    std::string_view w = rest->substr(0, e);
    rest->remove_prefix(e == rest->npos ? rest->size() : e + 1);
    return w;
}

static bool control_int(std::string_view w, long *v)
{
    if (w.empty())
        return false;
    std::string s(w);
    char *end;
    *v = strtol(s.c_str(), &end, 0);
    return *end == 0;
}

// A user by nick, or by id written as #id.
static srv_session *control_user(srv_state *S, std::string_view w)
{
    if (!w.empty() && w[0] == '#') {
        long id;
        auto it = control_int(w.substr(1), &id) ? S->by_id.find(int32_t(id)) : S->by_id.end();
        return it == S->by_id.end() ? nullptr : it->second;
    }
    return session_by_nick(S, w);
}

static srv_room *control_room(srv_state *S, std::string_view w)
{
    long id;
    return control_int(w, &id) ? rooms_get(S, int32_t(id)) : rooms_by_name(S, w);
}

static void control_malformed(srv_state *S, srv_session *t, std::string_view what, std::string *out)
{
    uint8_t b[64];
    size_t n = 16;
    wire_make_header(b, 15, 0);
    if (what == "badmagic") {
        b[0] ^= 0x40;
    } else if (what == "badcheck") {
        b[15] ^= 1;
    } else if (what == "hugelen") {
        wire_make_header(b, 13, 0x7FFFFFFF);
    } else if (what == "truncated") {
        // Announces 100 bytes and sends 10: the client waits for the rest.
        wire_make_header(b, 14, 100);
        memset(b + 16, 'x', 10);
        n = 26;
    } else if (what == "overrun") {
        // A popup whose title claims 200 bytes inside a 7-byte payload.
        wire_make_header(b, 14, 7);
        const uint8_t pay[7] = {1, 0, 200, 'a', 'b', 'c', 'd'};
        memcpy(b + 16, pay, 7);
        n = 23;
    } else if (what == "garbage") {
        for (auto &x : b)
            x = uint8_t(S->rng());
        n = sizeof b;
    } else {
        *out = "error: unknown kind of malformed packet\n";
        return;
    }
    if (t->conn)
        net_send(S, t->conn, b, n);
    *out = "ok\n";
}

static void control_raw(srv_state *S, srv_session *t, long type, std::string_view hex, std::string *out)
{
    std::string digits;
    for (char ch : hex)
        if (ch != ' ')
            digits += ch;
    srv_packet p;
    packet_begin(&p, int32_t(type));
    for (size_t i = 0; i < digits.size(); i += 2) {
        if (i + 1 >= digits.size() || !isxdigit(uint8_t(digits[i])) || !isxdigit(uint8_t(digits[i + 1]))) {
            *out = "error: payload must be pairs of hex digits\n";
            return;
        }
        packet_byte(&p, uint8_t(strtol(digits.substr(i, 2).c_str(), nullptr, 16)));
    }
    packet_end(&p);
    session_send(S, t, p);
    *out = "ok\n";
}

static void control_sessions(srv_state *S, std::string *out)
{
    char line[512];
    for (auto &u : S->sessions) {
        srv_session *s = u.get();
        std::string rooms;
        for (int32_t id : s->rooms)
            rooms += (rooms.empty() ? "" : ",") + std::to_string(id);
        size_t q = s->conn ? s->conn->out.size() - s->conn->out_off : 0;
        snprintf(line, sizeof line, "%d %s %s %s rooms=%s queued=%zu in=%llu bad=%llu\n", s->id,
                 s->logged_in ? s->nick.c_str() : "-", s->bot ? "bot" : "client", s->host.c_str(),
                 rooms.empty() ? "-" : rooms.c_str(), q, (unsigned long long)s->packets_in,
                 (unsigned long long)s->bad_packets);
        *out += line;
    }
}

// The commands that act on a user in a room: kick, ban, floodkick, perms, enter, leave.
static void control_room_user(srv_state *S, std::string_view cmd, std::string_view rest, std::string *out)
{
    srv_room *r = control_room(S, control_word(&rest));
    srv_session *t = control_user(S, control_word(&rest));
    std::string_view arg = control_word(&rest);
    if (!r || !t) {
        *out = "error: no such room or user\n";
        return;
    }
    srv_member *m = rooms_member(r, t->id);
    long v = 0;
    if (cmd == "enter") {
        *out = rooms_enter(S, t, r->id, "") ? "ok\n" : "error: refused\n";
        return;
    }
    if (!m) {
        *out = "error: not in that room\n";
        return;
    }
    if (cmd == "perms") {
        if (!control_int(arg, &v)) {
            *out = "error: perms?\n";
            return;
        }
        rooms_set_perms(S, r, m, int32_t(v));
    } else if (cmd == "kick") {
        srv_session *by = control_user(S, arg);
        rooms_remove(S, r, t, UCH_KICK, by ? by->id : 0, "");
    } else if (cmd == "ban") {
        if (!control_int(arg, &v) || v <= 0)
            v = 10;
        accounts_ban(S, &r->bans, t->id, v);
        rooms_remove(S, r, t, UCH_BAN, 0, "");
    } else if (cmd == "floodkick") {
        rooms_remove(S, r, t, UCH_FLOOD, 0, "");
    } else {
        rooms_remove(S, r, t, UCH_LEAVE, 0, "");
    }
    *out = "ok\n";
}

// The commands that end a user's presence: kickchat, banchat, timeout, drop.
static void control_end_user(srv_state *S, std::string_view cmd, std::string_view rest, std::string *out)
{
    srv_session *t = control_user(S, control_word(&rest));
    if (!t) {
        *out = "error: no such user\n";
        return;
    }
    std::string_view arg = rest;
    long v;
    if (cmd == "kickchat") {
        session_logout(S, t, UCH_KICKCHAT, arg.empty() ? "admin" : arg);
    } else if (cmd == "banchat") {
        if (!control_int(arg, &v) || v <= 0)
            v = 10;
        accounts_ban(S, &S->chat_bans, t->id, v);
        session_logout(S, t, UCH_BANCHAT, "admin");
    } else if (cmd == "timeout") {
        session_logout(S, t, UCH_TIMEOUT, "");
    } else {
        session_logout(S, t, UCH_QUIT, "");
    }
    if (t->conn)
        net_close(S, t->conn);
    *out = "ok\n";
}

static void control_say(srv_state *S, std::string_view cmd, std::string_view rest, std::string *out)
{
    srv_room *r = control_room(S, control_word(&rest));
    std::string_view nick = control_word(&rest);
    long kind;
    if (!r || !control_int(control_word(&rest), &kind) || kind < 0 || kind > 255) {
        *out = "error: say <room> <nick> <kind> <text>\n";
        return;
    }
    std::string attrs;
    if (cmd == "sayp") {
        std::string_view pre = control_word(&rest), suf = control_word(&rest);
        attrs = std::string(pre == "-" ? "" : pre) + "\r" + std::string(suf == "-" ? "" : suf);
    }
    srv_session *t = control_user(S, nick);
    // Kinds 5 to 7 name their sender by id, so he must be someone the room knows.
    if (kind >= 5 && kind <= 7 && !(t && rooms_member(r, t->id))) {
        *out = "error: kinds 5 to 7 need a user in the room\n";
        return;
    }
    rooms_say(S, r, uint8_t(kind), t ? t->id : 0, t ? std::string_view(t->nick) : nick, attrs, rest);
    *out = "ok\n";
}

static void control_msg(srv_state *S, std::string_view rest, std::string *out)
{
    std::string_view from = control_word(&rest);
    srv_session *to = control_user(S, control_word(&rest));
    long kind, fid = 0;
    srv_session *f = control_user(S, from);
    // The sender may be anyone online, or any id at all (#id) for a user the client
    // does not know yet.
    if (f)
        fid = f->id;
    else if (!(from.size() > 1 && from[0] == '#' && control_int(from.substr(1), &fid))) {
        *out = "error: msg <from nick|#id> <to> <kind> <text>\n";
        return;
    }
    if (!to || !control_int(control_word(&rest), &kind) || kind < 0 || kind > 255) {
        *out = "error: msg <from nick|#id> <to> <kind> <text>\n";
        return;
    }
    srv_packet p;
    packet_begin(&p, 8);
    packet_byte(&p, uint8_t(kind));
    if (kind != 11) {
        packet_int(&p, int32_t(fid));
        packet_utf(&p, rest);
    }
    packet_end(&p);
    if (to->bot && f)
        bots_private(S, to, f, rest);
    session_send(S, to, p);
    *out = "ok\n";
}

void control_line(srv_state *S, std::string_view line, std::string *out)
{
    std::string_view rest = line;
    std::string_view cmd = control_word(&rest);
    long a, b;
    out->clear();
    if (cmd.empty()) {
        return;
    } else if (cmd == "help") {
        *out = std::string(CONTROL_HELP) + "ok\n";
    } else if (cmd == "sessions") {
        control_sessions(S, out);
        *out += "ok\n";
    } else if (cmd == "rooms") {
        char l[256];
        for (auto &[id, r] : S->rooms) {
            snprintf(l, sizeof l, "%d 0x%x %d %s\n", id, unsigned(r->states), rooms_count(r.get()), r->name.c_str());
            *out += l;
        }
        *out += "ok\n";
    } else if (cmd == "room") {
        // One room in full, its topic (markup and all) on a line of its own.
        srv_room *r = control_room(S, control_word(&rest));
        if (!r) {
            *out = "error: no such room\n";
            return;
        }
        char l[256];
        snprintf(l, sizeof l, "%d 0x%x %d %s\n", r->id, unsigned(r->states), rooms_count(r), r->name.c_str());
        *out = l + r->theme + "\nok\n";
    } else if (cmd == "stats") {
        char l[256];
        snprintf(l, sizeof l, "clients=%d users=%zu rooms=%zu accepted=%llu slow=%llu bad=%llu lines=%llu out=%llu\nok\n",
                 S->chat_clients, S->by_id.size(), S->rooms.size(), (unsigned long long)S->stats.accepted,
                 (unsigned long long)S->stats.dropped_slow, (unsigned long long)S->stats.dropped_bad,
                 (unsigned long long)S->stats.room_msgs, (unsigned long long)S->stats.bytes_out);
        *out = l;
    } else if (cmd == "quit") {
        S->quit = true;
        *out = "ok\n";
    } else if (cmd == "popup") {
        std::string_view who = control_word(&rest);
        long icon;
        size_t bar = rest.find(" | ");
        if (!control_int(control_word(&rest), &icon) || (bar = rest.find(" | ")) == rest.npos) {
            *out = "error: popup <nick|*> <icon> <title> | <text>\n";
            return;
        }
        std::string_view title = rest.substr(0, bar), text = rest.substr(bar + 3);
        if (who == "*") {
            for (auto &[id, s] : S->by_id)
                session_popup(S, s, uint8_t(icon), title, text);
        } else if (srv_session *t = control_user(S, who)) {
            session_popup(S, t, uint8_t(icon), title, text);
        } else {
            *out = "error: no such user\n";
            return;
        }
        *out = "ok\n";
    } else if (cmd == "bcast") {
        for (auto &[id, s] : S->by_id)
            session_popup(S, s, 1, "Rendszerüzenet", rest);
        *out = "ok\n";
    } else if (cmd == "topic" || cmd == "states" || cmd == "count" || cmd == "statecount" || cmd == "rmroom") {
        srv_room *r = control_room(S, control_word(&rest));
        if (!r) {
            *out = "error: no such room\n";
            return;
        }
        if (cmd == "topic") {
            rooms_set_theme(S, r, rest);
        } else if (cmd == "rmroom") {
            rooms_delete(S, r);
        } else if (!control_int(control_word(&rest), &a)) {
            *out = "error: number?\n";
            return;
        } else if (cmd == "states") {
            rooms_set_states(S, r, int32_t(a));
        } else if (cmd == "count") {
            rooms_set_count(S, r, int32_t(a));
        } else if (!control_int(control_word(&rest), &b)) {
            *out = "error: number?\n";
            return;
        } else {
            r->states = int32_t(a);
            srv_packet p;
            packet_begin(&p, 10);
            packet_byte(&p, 4);
            packet_int(&p, r->id);
            packet_int(&p, int32_t(a));
            packet_int(&p, int32_t(b));
            packet_end(&p);
            rooms_broadcast(S, p);
            r->counted = int32_t(b);
        }
        *out = "ok\n";
    } else if (cmd == "mkroom") {
        size_t bar;
        if (!control_int(control_word(&rest), &a) || !control_int(control_word(&rest), &b) ||
            (bar = rest.find(" | ")) == rest.npos || bar == 0) {
            *out = "error: mkroom <id|0> <states> <name> | <topic>\n";
            return;
        }
        int32_t id = int32_t(a);
        if (id == 0)
            for (id = int32_t(S->now); rooms_get(S, id); id++) {}
        srv_room *r = rooms_create(S, id, rest.substr(0, bar), rest.substr(bar + 3), int32_t(b), id < SRV_GUEST_ID_BASE);
        *out = r ? "ok " + std::to_string(id) + "\n" : "error: room id in use\n";
    } else if (cmd == "roomlist") {
        srv_session *t = control_user(S, control_word(&rest));
        std::string_view count = control_word(&rest);
        long most = 0;
        if (!count.empty() && (!control_int(count, &most) || most <= 0))
            *out = "error: roomlist <nick> [rooms]\n";
        else if (!t)
            *out = "error: no such user\n";
        else
            rooms_send_list(S, t, size_t(most)), *out = "ok\n";
    } else if (cmd == "counts") {
        rooms_send_counts(S);
        *out = "ok\n";
    } else if (cmd == "kick" || cmd == "ban" || cmd == "floodkick" || cmd == "perms" || cmd == "enter" || cmd == "leave") {
        control_room_user(S, cmd, rest, out);
    } else if (cmd == "kickchat" || cmd == "banchat" || cmd == "timeout" || cmd == "drop") {
        control_end_user(S, cmd, rest, out);
    } else if (cmd == "say" || cmd == "sayp") {
        control_say(S, cmd, rest, out);
    } else if (cmd == "msg") {
        control_msg(S, rest, out);
    } else if (cmd == "nick") {
        srv_session *t = control_user(S, control_word(&rest));
        if (!t || !control_int(control_word(&rest), &a)) {
            *out = "error: nick <to> <id> [nick]\n";
            return;
        }
        srv_packet p;
        packet_begin(&p, 18);
        packet_int(&p, int32_t(a));
        packet_utf(&p, rest);
        packet_end(&p);
        session_send(S, t, p);
        *out = "ok\n";
    } else if (cmd == "raw" || cmd == "malformed") {
        srv_session *t = control_user(S, control_word(&rest));
        if (!t) {
            *out = "error: no such user\n";
        } else if (cmd == "malformed") {
            control_malformed(S, t, control_word(&rest), out);
        } else if (!control_int(control_word(&rest), &a)) {
            *out = "error: raw <nick> <type> [hex]\n";
        } else {
            control_raw(S, t, a, rest, out);
        }
    } else if (cmd == "said") {
        // When the user's last room line arrived and what it said: how long a line typed
        // in a client takes to get here.
        srv_session *t = control_user(S, control_word(&rest));
        if (!t) {
            *out = "error: no such user\n";
            return;
        }
        std::string said = t->said;
        for (char &c : said)
            if (static_cast<unsigned char>(c) < 32)
                c = ' ';  // one answer line, whatever the user typed
        *out = std::to_string(t->said_ms) + " " + said + "\nok\n";
    } else if (cmd == "flood") {
        std::string_view what = control_word(&rest);
        srv_room *r = what == "start" ? control_room(S, control_word(&rest)) : nullptr;
        double rate = atof(std::string(control_word(&rest)).c_str());
        std::string_view count = control_word(&rest);
        std::string_view width = control_word(&rest);
        long limit = 0, chars = 0;
        if (what.empty()) {
            // Progress, for scripts that wait for a counted flood to finish.
            *out = std::string(S->flood.on ? "on" : "off") + " sent=" + std::to_string(S->flood.seq) + "\nok\n";
            return;
        } else if (what == "stop") {
            S->flood.on = false;
        } else if (!r || rate <= 0 || (!count.empty() && (!control_int(count, &limit) || limit <= 0)) ||
                   (!width.empty() && (!control_int(width, &chars) || chars < 0 || chars > 400))) {
            *out = "error: flood start <room> <lines-per-second> [lines] [width] | flood stop\n";
            return;
        } else {
            S->flood = srv_flood{true, r->id, rate, S->now_f, 0, uint64_t(limit), int(chars)};
        }
        *out = "ok\n";
    } else {
        *out = "error: unknown command (try help)\n";
    }
}

void control_feed(srv_state *S, net_conn *c)
{
    size_t used = 0;
    for (;;) {
        auto *b = reinterpret_cast<const char *>(c->in.data());
        std::string_view in(b + used, c->in.size() - used);
        size_t nl = in.find('\n');
        if (nl == in.npos)
            break;
        std::string_view line = in.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string out;
        control_line(S, line, &out);
        if (!out.empty())
            net_send(S, c, out.data(), out.size());
        used += nl + 1;
        if (c->dead)
            return;
    }
    c->in.erase(c->in.begin(), c->in.begin() + long(used));
}

// One flood line; its number ends it, so that a script finds the last one in a log.
static std::string control_flood_line(const srv_flood &f)
{
    static const char *const colours[] = {"$red$", "$green$", "$blue$", "$ff8000$", "$MAGENTA$"};
    std::string number = "flood #" + std::to_string(f.seq);
    if (f.width == 0)
        return colours[f.seq % 5] + number;
    // Words of a chat line, cut to the width; every fourth line coloured.
    static const char words[] =
        "szia mindenki ma este lesz a meccs a kocsmaban aki jon az szoljon idoben mert a helyek "
        "fogynak es a csapos is korabban zar mint a mult heten amikor mindenki sokaig maradt ";
    std::string line = f.seq % 4 == 0 ? colours[(f.seq / 4) % 5] : "";
    size_t fill = size_t(f.width) > number.size() + 1 ? size_t(f.width) - number.size() - 1 : 0;
    size_t from = size_t(f.seq * 7) % (sizeof words - 1);
    for (size_t i = 0; i < fill; i++)
        line += words[(from + i) % (sizeof words - 1)];
    return line + " " + number;
}

// How long the main loop may wait for the network: no longer than until the next flood
// line is due, so that a fast flood is not held to one burst per wait.
int control_wait_ms(const srv_state *S, int most)
{
    if (!S->flood.on)
        return most;
    double ms = (S->flood.due - S->now_f) * 1000;
    return ms <= 0 ? 0 : std::min(most, int(ms) + 1);
}

void control_tick(srv_state *S)
{
    srv_flood &f = S->flood;
    if (!f.on)
        return;
    srv_room *r = rooms_get(S, f.room);
    if (!r) {
        f.on = false;
        return;
    }
    size_t burst = std::min(CONTROL_FLOOD_LINES, CONTROL_FLOOD_DELIVERIES / (r->members.size() + 1) + 1);
    for (size_t n = 0; f.on && f.due <= S->now_f && n < burst; n++) {
        rooms_say(S, r, 2, 0, "flood", "", control_flood_line(f));
        f.seq++;
        f.due += 1.0 / f.rate;
        if (f.limit && f.seq >= f.limit)
            f.on = false;
    }
    if (f.due < S->now_f)
        f.due = S->now_f;  // the burst cap was hit: do not owe lines forever
}
