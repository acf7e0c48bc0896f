// Rooms: the directory, entering and leaving, the members' permissions, and the packets
// that tell members (and everyone, for the room list) what changed.
#include "server/server.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>


// Topics and names are cut to these many bytes; the client's packet buffer is 8 KB.
constexpr size_t ROOMS_THEME_MAX = 2000;
constexpr size_t ROOMS_NAME_MAX = 60;
// Remembered grants per room; beyond this the oldest knowledge is simply forgotten.
constexpr size_t ROOMS_KEPT_MAX = 10000;
// Rooms per user count packet (type 24): 8 bytes each, well inside the client's buffer.
constexpr size_t ROOMS_COUNTS_PER_PACKET = 500;

srv_room *rooms_get(srv_state *S, int32_t id)
{
    auto it = S->rooms.find(id);
    return it == S->rooms.end() ? nullptr : it->second.get();
}

srv_room *rooms_by_name(srv_state *S, std::string_view name)
{
    std::string want = accounts_fold(name);
    for (auto &[id, r] : S->rooms)
        if (accounts_fold(r->name) == want)
            return r.get();
    return nullptr;
}

srv_member *rooms_member(srv_room *r, int32_t user_id)
{
    for (auto &m : r->members)
        if (m.sess->id == user_id)
            return &m;
    return nullptr;
}

int32_t rooms_count(const srv_room *r)
{
    return int32_t(r->members.size());
}

void rooms_broadcast(srv_state *S, const srv_packet &p)
{
    for (auto &[id, s] : S->by_id)
        session_send(S, s, p);
}

static void rooms_put_room(srv_packet *p, const srv_room *r)
{
    packet_utf(p, r->name);
    packet_utf(p, r->theme);
    packet_int(p, r->states);
    packet_int(p, rooms_count(r));
}

srv_room *rooms_create(srv_state *S, int32_t id, std::string_view name, std::string_view theme, int32_t states, bool permanent)
{
    if (id == 0 || rooms_get(S, id))
        return nullptr;
    auto r = std::make_unique<srv_room>();
    r->id = id;
    r->name = packet_cut(name, ROOMS_NAME_MAX);
    r->theme = packet_cut(theme, ROOMS_THEME_MAX);
    r->states = states;
    r->permanent = permanent;
    r->counted = 0;
    srv_room *room = r.get();
    S->rooms[id] = std::move(r);
    srv_packet p;
    packet_begin(&p, 10);
    packet_byte(&p, 1);
    packet_int(&p, id);
    rooms_put_room(&p, room);
    packet_end(&p);
    rooms_broadcast(S, p);
    return room;
}

static void rooms_send_leave(srv_state *S, srv_session *s, int32_t room)
{
    srv_packet p;
    packet_begin(&p, 6);
    packet_int(&p, room);
    packet_end(&p);
    session_send(S, s, p);
}

void rooms_delete(srv_state *S, srv_room *r)
{
    int32_t id = r->id;
    srv_packet p;
    packet_begin(&p, 10);
    packet_byte(&p, 2);
    packet_int(&p, id);
    packet_end(&p);
    rooms_broadcast(S, p);
    for (auto &m : r->members) {
        auto &v = m.sess->rooms;
        v.erase(std::remove(v.begin(), v.end(), id), v.end());
        rooms_send_leave(S, m.sess, id);
    }
    S->rooms.erase(id);
}

int rooms_load(srv_state *S, const std::string &path)
{
    std::vector<srv_line> lines;
    if (!srvfile_read(path, &lines))
        return 0;
    int n = 0;
    for (auto &[lineno, line] : lines) {
        // id|states|name|topic; the topic takes the rest of the line, bars included.
        std::string_view v(line);
        size_t a = v.find('|'), b = a == v.npos ? a : v.find('|', a + 1), c = b == v.npos ? b : v.find('|', b + 1);
        if (c == v.npos) {
            fprintf(stderr, "lvserver: %s:%d: expected id|states|name|topic\n", path.c_str(), lineno);
            continue;
        }
        long id = strtol(std::string(v.substr(0, a)).c_str(), nullptr, 0);
        long states = strtol(std::string(v.substr(a + 1, b - a - 1)).c_str(), nullptr, 0);
        std::string_view name = v.substr(b + 1, c - b - 1);
        if (id <= 0 || id >= SRV_GUEST_ID_BASE || name.empty() || rooms_get(S, int32_t(id))) {
            fprintf(stderr, "lvserver: %s:%d: bad or repeated room id, or empty name\n", path.c_str(), lineno);
            continue;
        }
        rooms_create(S, int32_t(id), name, v.substr(c + 1), int32_t(states), true);
        n++;
    }
    return n > 0;
}

void rooms_send_list(srv_state *S, srv_session *s, size_t most)
{
    srv_packet p;
    packet_begin(&p, 9);
    size_t n = 0;
    for (auto &[id, r] : S->rooms) {
        if (most && n++ == most)
            break;
        packet_int(&p, id);
        rooms_put_room(&p, r.get());
    }
    packet_int(&p, 0);
    packet_end(&p);
    session_send(S, s, p);
}

static void rooms_send_userlist(srv_state *S, srv_room *r, srv_session *s)
{
    srv_packet p;
    packet_begin(&p, 11);
    packet_int(&p, r->id);
    for (auto &m : r->members) {
        packet_int(&p, m.perms);
        packet_int(&p, m.sess->id);
        packet_utf(&p, m.sess->nick);
    }
    packet_int(&p, SRV_USERLIST_END);
    packet_end(&p);
    session_send(S, s, p);
}

// Sends a user change to every member: those whose own perms carry AutoIP get the
// variant with the host information of the user concerned.
static void rooms_send_userch(srv_state *S, srv_room *r, const srv_packet &plain, const srv_packet &with_host)
{
    for (auto &m : r->members)
        session_send(S, m.sess, (m.perms & PERM_AUTOIP) ? with_host : plain);
}

static void rooms_userch_pair(srv_packet *plain, srv_packet *with_host, const srv_session *s)
{
    *with_host = *plain;
    packet_int(with_host, int32_t(s->addr));
    packet_utf(with_host, s->host);
    packet_end(plain);
    packet_end(with_host);
}

static void rooms_userch_head(srv_packet *p, uint8_t sub, int32_t room, int32_t user)
{
    packet_begin(p, 12);
    packet_byte(p, sub);
    packet_int(p, room);
    packet_int(p, user);
}

static int32_t rooms_new_user_room_id(srv_state *S)
{
    // A user room's id is its creation time; two rooms made in the same second take the
    // next free ids.
    int32_t id = int32_t(S->now);
    if (id < SRV_GUEST_ID_BASE)
        id = SRV_GUEST_ID_BASE;
    while (rooms_get(S, id))
        id++;
    return id;
}

static bool rooms_name_valid(std::string_view name)
{
    if (name.empty() || name.size() > ROOMS_NAME_MAX)
        return false;
    for (unsigned char ch : name)
        if (ch < 32 || ch == 127)
            return false;
    return true;
}

srv_room *rooms_enter(srv_state *S, srv_session *s, int32_t id, std::string_view name)
{
    srv_room *r;
    bool made = false;
    if (id != 0) {
        r = rooms_get(S, id);
        if (!r) {
            session_popup(S, s, 2, "Belépés", "$red$Nincs ilyen szoba.");
            return nullptr;
        }
    } else {
        r = rooms_by_name(S, name);
        if (!r) {
            if (!rooms_name_valid(name)) {
                session_popup(S, s, 2, "Belépés", "$red$Érvénytelen szobanév.");
                return nullptr;
            }
            r = rooms_create(S, rooms_new_user_room_id(S), name, "", ROOM_USER_MADE, false);
            made = true;
        }
    }
    srv_member *m = rooms_member(r, s->id);
    bool joined = !m;  // entering again only repeats the answer and the user list
    if (!m) {
        auto ban = r->bans.find(s->id);
        if (ban != r->bans.end() && ban->second > S->now) {
            session_popup(S, s, 3, r->name, "$red$Ki vagy tiltva ebből a szobából.");
            return nullptr;
        }
        auto kept = r->kept_perms.find(s->id);
        int32_t perms = kept != r->kept_perms.end() ? kept->second : PERM_SPEAK;
        if (made)
            perms = PERM_OPS | PERM_SPEAK;  // the founder runs his room
        perms |= s->acct_perms;
        if ((r->states & ROOM_CLOSED) && !(perms & (PERM_CLOSE | PERM_MEGAOP))) {
            session_popup(S, s, 2, r->name, "$red$A szoba zárva.");
            return nullptr;
        }
        if (perms == SRV_USERLIST_END)
            perms ^= PERM_SPEAK;
        r->members.push_back({s, perms});
        s->rooms.push_back(r->id);
        m = &r->members.back();
    }
    char addr[160];
    snprintf(addr, sizeof addr, "%s/szoba.php?id=%d", S->opt.web_host.c_str(), r->id);
    srv_packet p;
    packet_begin(&p, 5);
    packet_int(&p, r->id);
    packet_int(&p, m->perms);
    packet_utf(&p, r->name);
    packet_utf(&p, addr);
    packet_end(&p);
    session_send(S, s, p);
    rooms_send_userlist(S, r, s);

    if (!joined)
        return r;
    srv_packet plain, host;
    rooms_userch_head(&plain, UCH_JOIN, r->id, s->id);
    packet_int(&plain, m->perms);
    packet_utf(&plain, s->nick);
    rooms_userch_pair(&plain, &host, s);
    for (auto &o : r->members)
        if (o.sess != s)
            session_send(S, o.sess, (o.perms & PERM_AUTOIP) ? host : plain);
    return r;
}

void rooms_remove(srv_state *S, srv_room *r, srv_session *s, uint8_t why, int32_t other, std::string_view text)
{
    srv_member *m = rooms_member(r, s->id);
    if (!m)
        return;
    srv_packet plain, host;
    rooms_userch_head(&plain, why, r->id, s->id);
    if (why == UCH_KICK || why == UCH_BAN)
        packet_int(&plain, other);
    else if (why == UCH_KICKCHAT || why == UCH_BANCHAT)
        packet_utf(&plain, text);
    rooms_userch_pair(&plain, &host, s);
    // The user concerned hears it too, so his window can say why he is out.
    rooms_send_userch(S, r, plain, host);
    rooms_send_leave(S, s, r->id);
    r->members.erase(r->members.begin() + (m - r->members.data()));
    auto &v = s->rooms;
    v.erase(std::remove(v.begin(), v.end(), r->id), v.end());
    if (!r->permanent && r->members.empty())
        rooms_delete(S, r);
}

void rooms_set_perms(srv_state *S, srv_room *r, srv_member *m, int32_t perms)
{
    if (perms == SRV_USERLIST_END)
        perms ^= PERM_SPEAK;  // would end the user list early on every client
    m->perms = perms;
    if (r->kept_perms.size() >= ROOMS_KEPT_MAX)
        r->kept_perms.clear();
    r->kept_perms[m->sess->id] = perms & ~m->sess->acct_perms;
    srv_packet p;
    rooms_userch_head(&p, UCH_PERMS, r->id, m->sess->id);
    packet_int(&p, perms);
    packet_end(&p);
    for (auto &o : r->members)
        session_send(S, o.sess, p);
}

void rooms_set_theme(srv_state *S, srv_room *r, std::string_view theme)
{
    r->theme = packet_cut(theme, ROOMS_THEME_MAX);
    srv_packet p;
    packet_begin(&p, 10);
    packet_byte(&p, 3);
    packet_int(&p, r->id);
    packet_utf(&p, r->theme);
    packet_end(&p);
    rooms_broadcast(S, p);
}

// A room change carrying one int (subtype 5 states, 6 user count), to everyone.
static void rooms_roomch_int(srv_state *S, srv_room *r, uint8_t sub, int32_t value)
{
    srv_packet p;
    packet_begin(&p, 10);
    packet_byte(&p, sub);
    packet_int(&p, r->id);
    packet_int(&p, value);
    packet_end(&p);
    rooms_broadcast(S, p);
}

void rooms_set_states(srv_state *S, srv_room *r, int32_t states)
{
    r->states = states;
    rooms_roomch_int(S, r, 5, states);
}

void rooms_set_count(srv_state *S, srv_room *r, int32_t count)
{
    rooms_roomch_int(S, r, 6, count);
    r->counted = count;  // the next count broadcast puts the real number back
}

void rooms_say(srv_state *S, srv_room *r, uint8_t kind, int32_t sender_id, std::string_view nick, std::string_view attrs, std::string_view text)
{
    srv_packet p;
    packet_begin(&p, 13);
    packet_byte(&p, kind);
    packet_int(&p, r->id);
    if (kind >= 5 && kind <= 7)
        packet_int(&p, sender_id);
    else
        packet_utf(&p, nick);
    packet_utf(&p, attrs);
    packet_utf(&p, text);
    packet_end(&p);
    for (auto &m : r->members)
        session_send(S, m.sess, p);
    S->stats.room_msgs++;
}

void rooms_send_counts(srv_state *S)
{
    std::vector<srv_room *> changed;
    for (auto &[id, r] : S->rooms)
        if (r->counted != rooms_count(r.get()))
            changed.push_back(r.get());
    for (size_t i = 0; i < changed.size(); i += ROOMS_COUNTS_PER_PACKET) {
        srv_packet p;
        packet_begin(&p, 24);
        for (size_t j = i; j < changed.size() && j < i + ROOMS_COUNTS_PER_PACKET; j++) {
            changed[j]->counted = rooms_count(changed[j]);
            packet_int(&p, changed[j]->id);
            packet_int(&p, changed[j]->counted);
        }
        packet_int(&p, 0);
        packet_end(&p);
        rooms_broadcast(S, p);
    }
}

void rooms_tick(srv_state *S)
{
    if (S->now - S->last_counts >= S->opt.count_interval) {
        S->last_counts = S->now;
        rooms_send_counts(S);
    }
}
