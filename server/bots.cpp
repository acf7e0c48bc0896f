// Bots: simulated users who live in the rooms. They talk (with colour markup and styled
// prefixes), wander between rooms, leave the chat and come back, greet real users in
// private and answer when spoken to. Their lines come at a set rate for all of them
// together, so they double as a steady load.
#include "server/server.h"

#include <algorithm>
#include <cstdio>

static constexpr const char *BOTS_NAMES[] = {
    "Kati", "Pisti", "Zsófi", "Bence", "Réka", "Gábor", "Eszter", "Levente", "Dóri", "Máté",
    "Anna", "Ödön", "Tünde", "Ákos", "Vica", "Csaba", "Nóri", "Ernő", "Lili", "Feri",
};
static constexpr const char *BOTS_LINES[] = {
    "Sziasztok!", "Mi újság?", "Ma $red$nagyon$black$ meleg van.", "Ki jön este moziba?",
    "$green$Hajrá Fradi!", "Valaki látta a tegnapi meccset?", "Éhes vagyok... $ff8000$pizza$black$?",
    "Hahó, van itt valaki?", "$blue$Jó reggelt$black$ mindenkinek!", "Ez a szoba a legjobb :)",
    "Árvíztűrő tükörfúrógép", "Hol lehet jó kávét inni a belvárosban?", "$MAGENTA$lol",
    "Holnap vizsgám lesz, drukkoljatok!", "Esik az eső, $808080$szürke$black$ minden.",
};
static constexpr const char *BOTS_ACTIONS[] = {
    "integet mindenkinek", "kávét főz", "elmosolyodik", "nyújtózkodik egyet", "táncra perdül",
};
// Styles: prefix and suffix, joined by a carriage return as the client sends them.
static constexpr const char *BOTS_STYLES[] = {
    "", "$red$", "$008000$", "$0000ff$\r$red$ <3", "$ff8000$>> \r $ff8000$<<", "$800080$",
};
static constexpr const char *BOTS_GREETINGS[] = {
    "Szia %s! Hogy vagy?", "Helló %s, régen láttalak!", "%s, te is itt vagy? :)",
};
static constexpr const char *BOTS_REPLIES[] = {
    "Aha, értem.", "Tényleg? Mesélj még!", "$red$Haha$black$, ez jó!", "Most nem érek rá, bocsi.",
    "Igen, én is így gondolom.",
};
// Pending replies to private messages, at most this many.
constexpr size_t BOTS_PENDING_MAX = 1000;

struct bots_reply {
    double due;
    int32_t bot, target;
    std::string text;
};

struct bots_state {
    std::vector<srv_session *> bots;  // every bot, online or not (they keep their records)
    double next_line = 0;
    double next_move = 0;
    double next_greet = 0;
    std::vector<bots_reply> replies;
};

template <size_t N>
static const char *bots_pick(srv_state *S, const char *const (&list)[N])
{
    return list[S->rng() % N];
}

static bots_state *bots_get(srv_state *S)
{
    return static_cast<bots_state *>(S->bots);
}

static srv_room *bots_random_room(srv_state *S)
{
    if (S->rooms.empty())
        return nullptr;
    auto it = S->rooms.begin();
    std::advance(it, long(S->rng() % S->rooms.size()));
    return (it->second->states & ROOM_CLOSED) ? nullptr : it->second.get();
}

static void bots_login(srv_state *S, srv_session *b)
{
    if (session_by_nick(S, b->nick))
        return;  // a real user holds the name for now
    b->logged_in = true;
    b->login_time = S->now;
    session_register(S, b);
    if (srv_room *r = bots_random_room(S))
        rooms_enter(S, b, r->id, "");
}

void bots_start(srv_state *S, int count)
{
    auto *st = new bots_state;
    S->bots = st;
    constexpr size_t names = sizeof BOTS_NAMES / sizeof BOTS_NAMES[0];
    for (int i = 0; i < count; i++) {
        srv_session *b = session_new(S);
        b->bot = true;
        b->nick = BOTS_NAMES[size_t(i) % names];
        if (size_t(i) >= names)
            b->nick += std::to_string(size_t(i) / names);
        b->id = accounts_guest_id(S, b->nick);
        b->addr = 0x0A000000u | uint32_t(i + 2);
        char host[32];
        snprintf(host, sizeof host, "10.0.%u.%u", unsigned((i + 2) >> 8) & 255, unsigned(i + 2) & 255);
        b->host = host;
        st->bots.push_back(b);
        bots_login(S, b);
    }
    st->next_line = st->next_move = st->next_greet = S->now_f + 1;
}

static srv_session *bots_random_online(srv_state *S, bots_state *st)
{
    if (st->bots.empty())
        return nullptr;
    srv_session *b = st->bots[S->rng() % st->bots.size()];
    return b->logged_in ? b : nullptr;
}

static void bots_say(srv_state *S, srv_session *b)
{
    if (b->rooms.empty())
        return;
    srv_room *r = rooms_get(S, b->rooms[S->rng() % b->rooms.size()]);
    if (!r)
        return;
    srv_member *m = rooms_member(r, b->id);
    if (!m || !(m->perms & PERM_SPEAK))
        return;
    if (S->rng() % 8 == 0)
        rooms_say(S, r, 7, b->id, b->nick, "", bots_pick(S, BOTS_ACTIONS));
    else
        rooms_say(S, r, 6, b->id, b->nick, bots_pick(S, BOTS_STYLES), bots_pick(S, BOTS_LINES));
}

// One bot changes its whereabouts: another room, out of a room, out of the chat, back in.
static void bots_move(srv_state *S, bots_state *st)
{
    if (st->bots.empty())
        return;
    srv_session *b = st->bots[S->rng() % st->bots.size()];
    if (!b->logged_in) {
        bots_login(S, b);
        return;
    }
    switch (S->rng() % 4) {
    case 0:
        session_logout(S, b, UCH_QUIT, "");
        break;
    case 1:
        if (!b->rooms.empty())
            if (srv_room *r = rooms_get(S, b->rooms[0]))
                if (b->rooms.size() > 1 || S->rng() % 2)
                    rooms_remove(S, r, b, UCH_LEAVE, 0, "");
        break;
    default:
        if (srv_room *r = bots_random_room(S))
            if (!rooms_member(r, b->id))
                rooms_enter(S, b, r->id, "");
        break;
    }
}

// A bot greets a real user who shares a room with it.
static void bots_greet(srv_state *S, bots_state *st)
{
    srv_session *b = bots_random_online(S, st);
    if (!b)
        return;
    for (int32_t rid : b->rooms) {
        srv_room *r = rooms_get(S, rid);
        if (!r)
            continue;
        for (auto &m : r->members) {
            if (m.sess->bot)
                continue;
            char text[256];
            snprintf(text, sizeof text, bots_pick(S, BOTS_GREETINGS), m.sess->nick.c_str());
            session_private(S, b, 3, m.sess->id, text);
            return;
        }
    }
}

void bots_private(srv_state *S, srv_session *bot, srv_session *from, std::string_view)
{
    bots_state *st = bots_get(S);
    if (!st || from->bot || st->replies.size() >= BOTS_PENDING_MAX)
        return;
    st->replies.push_back({S->now_f + 1 + double(S->rng() % 2000) / 1000, bot->id, from->id, bots_pick(S, BOTS_REPLIES)});
}

void bots_tick(srv_state *S)
{
    bots_state *st = bots_get(S);
    if (!st || st->bots.empty())
        return;
    double now = S->now_f;
    if (S->opt.bot_rate > 0) {
        // At most a second's worth of lines at once, so a stalled loop does not burst.
        if (st->next_line < now - 1)
            st->next_line = now - 1;
        for (; st->next_line <= now; st->next_line += 1.0 / S->opt.bot_rate)
            if (srv_session *b = bots_random_online(S, st))
                bots_say(S, b);
    }
    if (st->next_move <= now) {
        bots_move(S, st);
        st->next_move = now + 20.0 / double(st->bots.size()) + double(S->rng() % 1000) / 1000;
    }
    if (st->next_greet <= now) {
        bots_greet(S, st);
        st->next_greet = now + 45 + double(S->rng() % 30);
    }
    for (size_t i = 0; i < st->replies.size();) {
        bots_reply &r = st->replies[i];
        if (r.due > now) {
            i++;
            continue;
        }
        auto b = S->by_id.find(r.bot);
        if (b != S->by_id.end() && b->second->bot)
            session_private(S, b->second, 3, r.target, r.text);
        st->replies.erase(st->replies.begin() + long(i));
    }
}

void bots_stop(srv_state *S)
{
    delete bots_get(S);
    S->bots = nullptr;
}
