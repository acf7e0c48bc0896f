// Operator requests (packet type 4): the first byte selects the function. Each is checked
// against the sender's permissions in the room concerned; a refusal is a popup.
#include "server/server.h"

#include <cstdio>
#include <ctime>

#include "protocol/wire.h"

// A room ban without a stated length lasts this many minutes.
constexpr int32_t OPFUNC_BAN_MINUTES = 10;
constexpr int32_t OPFUNC_BAN_MINUTES_MAX = 60 * 24 * 365;

// The sender's rights for a room: his perms as a member, else those of his account.
static int32_t opfunc_rights(srv_room *r, srv_session *s)
{
    srv_member *m = r ? rooms_member(r, s->id) : nullptr;
    return m ? m->perms : s->acct_perms;
}

static void opfunc_refuse(srv_state *S, srv_session *s)
{
    session_popup(S, s, 3, "Operátor", "$red$Ehhez nincs jogod.");
}

// The room of a function that acts on the room itself, if the sender may.
static srv_room *opfunc_room(srv_state *S, srv_session *s, int32_t id, int32_t need)
{
    srv_room *r = rooms_get(S, id);
    if (!r || !(opfunc_rights(r, s) & (need | PERM_MEGAOP))) {
        opfunc_refuse(S, s);
        return nullptr;
    }
    return r;
}

// The room and the target member for the functions that act on a user in a room; answers
// the sender itself when either is missing or he lacks `need`.
static srv_member *opfunc_target(srv_state *S, srv_session *s, int32_t room, int32_t user, int32_t need, srv_room **out)
{
    srv_room *r = rooms_get(S, room);
    if (!r) {
        session_popup(S, s, 2, "Operátor", "$red$Nincs ilyen szoba.");
        return nullptr;
    }
    int32_t rights = opfunc_rights(r, s);
    if (!(rights & (need | PERM_MEGAOP))) {
        opfunc_refuse(S, s);
        return nullptr;
    }
    srv_member *m = rooms_member(r, user);
    if (!m) {
        session_popup(S, s, 2, r->name, "$red$Nincs ilyen felhasználó a szobában.");
        return nullptr;
    }
    // Unremovable users and the chat's own staff stand above the room's operators.
    if ((m->perms & (PERM_UNREMOVABLE | PERM_MEGAOP)) && !(rights & PERM_MEGAOP) && m->sess != s) {
        opfunc_refuse(S, s);
        return nullptr;
    }
    *out = r;
    return m;
}

static void opfunc_room_ban(srv_state *S, srv_session *s, int32_t room, int32_t user, int32_t minutes)
{
    srv_room *r;
    srv_member *m = opfunc_target(S, s, room, user, PERM_KICKBAN, &r);
    if (!m)
        return;
    if (minutes <= 0 || minutes > OPFUNC_BAN_MINUTES_MAX)
        minutes = OPFUNC_BAN_MINUTES;
    r->bans[user] = S->now + time_t(minutes) * 60;
    rooms_remove(S, r, m->sess, UCH_BAN, s->id, "");
}

static void opfunc_chat_ban(srv_state *S, srv_session *s, int32_t user, int32_t minutes)
{
    if (!(s->acct_perms & PERM_MEGAOP)) {
        opfunc_refuse(S, s);
        return;
    }
    if (minutes <= 0 || minutes > OPFUNC_BAN_MINUTES_MAX)
        minutes = OPFUNC_BAN_MINUTES;
    S->chat_bans[user] = S->now + time_t(minutes) * 60;
    auto it = S->by_id.find(user);
    if (it == S->by_id.end())
        return;
    srv_session *t = it->second;
    session_logout(S, t, UCH_BANCHAT, s->nick);
    if (t->conn)
        net_close(S, t->conn);
}

static void opfunc_whereis(srv_state *S, srv_session *s, std::string_view nick)
{
    srv_session *t = session_by_nick(S, nick);
    std::string text;
    if (!t) {
        text = "$blue$" + std::string(nick) + "$black$ nincs bent.";
    } else if (t->rooms.empty()) {
        text = "$blue$" + t->nick + "$black$ bent van, de egy szobában sincs.";
    } else {
        text = "$blue$" + t->nick + "$black$ itt van: ";
        for (size_t i = 0; i < t->rooms.size(); i++) {
            srv_room *r = rooms_get(S, t->rooms[i]);
            text += (i ? ", " : "") + (r ? r->name : std::string("?"));
        }
    }
    session_popup(S, s, 1, "whereis", text);
}

static void opfunc_info(srv_state *S, srv_session *s, srv_room *r, std::string_view nick)
{
    srv_session *t = session_by_nick(S, nick);
    const srv_account *a = accounts_find(S, nick);
    if (!t && !a) {
        session_popup(S, s, 1, "info", "$blue$" + std::string(nick) + "$black$ nem ismert felhasználó.");
        return;
    }
    char line[160];
    std::string text = "$blue$" + (t ? t->nick : a->nick) + "$black$\n";
    snprintf(line, sizeof line, "id: %d\nregisztrált: %s\n", t ? t->id : a->id, a ? "igen" : "nem");
    text += line;
    if (t) {
        char when[64];
        tm lt{};
        localtime_r(&t->login_time, &lt);
        strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &lt);
        text += std::string("bent van ") + when + " óta\n";
        if (opfunc_rights(r, s) & (PERM_GETIP | PERM_MEGAOP))
            text += "host: " + t->host + "\n";
    } else {
        text += "most nincs bent\n";
    }
    session_popup(S, s, 1, "info", text);
}

void opfunc_handle(srv_state *S, srv_session *s, const uint8_t *data, size_t n)
{
    wire_reader rd = wire_reader_make(data, n);
    wire_reader *r = &rd;
    uint8_t fn = wire_read_byte(r);
    const char *txt = "";
    size_t nt = 0;
    int32_t a = 0, b = 0, c = 0;
    uint8_t sub = 0;
    // Decode first: a request whose fields run short is dropped whole.
    switch (fn) {
    case 2: case 11: a = wire_read_int(r); b = wire_read_int(r); break;
    case 4: sub = wire_read_byte(r); a = wire_read_int(r); b = wire_read_int(r); break;
    case 5: case 13: a = wire_read_int(r); b = wire_read_int(r); c = wire_read_int(r); break;
    case 6: a = wire_read_int(r); break;
    case 9: case 14: case 20: a = wire_read_int(r); nt = wire_read_utf_view(r, &txt); break;
    case 10: nt = wire_read_utf_view(r, &txt); break;
    default: break;
    }
    if (r->overrun) {
        s->bad_packets++;
        return;
    }
    std::string_view text(txt, nt);
    srv_room *room = nullptr;
    srv_member *m = nullptr;
    switch (fn) {
    case 1:  // reload the accounts file
        if (!(s->acct_perms & PERM_MEGAOP) || S->opt.accounts_file.empty()) {
            opfunc_refuse(S, s);
            break;
        }
        S->accounts.clear();
        session_popup(S, s, 1, "sighup", accounts_load(S, S->opt.accounts_file) ? "accounts újratöltve" : "$red$accounts: hiba");
        break;
    case 2:
        if ((m = opfunc_target(S, s, a, b, PERM_KICK, &room)))
            rooms_remove(S, room, m->sess, UCH_KICK, s->id, "");
        break;
    case 4:
        if (sub == 0)
            opfunc_room_ban(S, s, a, b, OPFUNC_BAN_MINUTES);
        else if (sub == 1)
            opfunc_chat_ban(S, s, a, b);
        else
            session_popup(S, s, 2, "Operátor", "$red$Ismeretlen kitiltás.");
        break;
    case 5:
        if ((m = opfunc_target(S, s, a, b, PERM_CHPERM, &room)))
            // The request sets the operator bits; the others (speech, staff) stay.
            rooms_set_perms(S, room, m, (m->perms & ~PERM_OPS) | (c & PERM_OPS));
        break;
    case 6:
        if ((room = opfunc_room(S, s, a, PERM_CLOSE)))
            rooms_set_states(S, room, room->states ^ ROOM_CLOSED);
        break;
    case 9:
        if ((room = opfunc_room(S, s, a, PERM_CHTHEME)))
            rooms_set_theme(S, room, text);
        break;
    case 10:
        if (!(s->acct_perms & PERM_MEGAOP)) {
            opfunc_refuse(S, s);
            break;
        }
        for (auto &[id, t] : S->by_id)
            session_popup(S, t, 1, s->nick, text);
        break;
    case 11:
        if ((m = opfunc_target(S, s, a, b, PERM_BABEL, &room)))
            rooms_set_perms(S, room, m, m->perms ^ PERM_SPEAK);
        break;
    case 13:
        opfunc_room_ban(S, s, a, b, c);
        break;
    case 14:
    case 20:
        // Only registered users may ask about others (the client offers it only to them).
        if (s->id >= SRV_GUEST_ID_BASE) {
            session_popup(S, s, 2, fn == 14 ? "whereis" : "info", "$red$Csak regisztrált felhasználóknak.");
            break;
        }
        if (fn == 14)
            opfunc_whereis(S, s, text);
        else
            opfunc_info(S, s, rooms_get(S, a), text);
        break;
    default:
        session_popup(S, s, 2, "Operátor", "$red$Ismeretlen funkció.");
        break;
    }
}
