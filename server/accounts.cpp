// Registered nicks (the accounts file), stable ids for every nick, and the login tickets
// that the web page hands out and the login packet redeems.
#include "server/server.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

// Unredeemed tickets: how long one lives and how many are kept at most.
constexpr int ACCOUNTS_TICKET_LIFE = 300;
constexpr size_t ACCOUNTS_TICKETS_MAX = 8192;
// Nicks are at most this many bytes (the client's nick field holds 91).
constexpr size_t ACCOUNTS_NICK_MAX = 30;
// Forgotten guest nicks: past this many, the ids of nicks not online are released.
constexpr size_t ACCOUNTS_GUESTS_MAX = 200000;

std::string accounts_fold(std::string_view nick)
{
    std::string f(nick);
    for (char &ch : f)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return f;
}

int accounts_nick_valid(std::string_view nick)
{
    if (nick.empty() || nick.size() > ACCOUNTS_NICK_MAX)
        return 0;
    // No control characters, no colour markup, no blanks at the ends, valid UTF-8.
    if (nick.front() == ' ' || nick.back() == ' ')
        return 0;
    size_t i = 0;
    while (i < nick.size()) {
        unsigned char ch = uint8_t(nick[i]);
        if (ch < 32 || ch == 127 || ch == '$' || ch == '\'' || ch == '"' || ch == '<' || ch == '>')
            return 0;
        size_t len = ch < 0x80 ? 1 : (ch >> 5) == 6 ? 2 : (ch >> 4) == 14 ? 3 : (ch >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > nick.size())
            return 0;
        for (size_t k = 1; k < len; k++)
            if ((uint8_t(nick[i + k]) & 0xC0) != 0x80)
                return 0;
        i += len;
    }
    return 1;
}

const srv_account *accounts_find(srv_state *S, std::string_view nick)
{
    auto it = S->accounts.find(accounts_fold(nick));
    return it == S->accounts.end() ? nullptr : &it->second;
}

// An id for a registered nick without one in the file: derived from the nick, so it stays
// the same from run to run whatever the order of the file.
static int32_t accounts_hash_id(srv_state *S, std::string_view folded)
{
    uint32_t h = 2166136261u;
    for (unsigned char ch : folded)
        h = (h ^ ch) * 16777619u;
    int32_t id = int32_t(1000 + h % 900000);
    for (;;) {
        bool taken = false;
        for (auto &[k, a] : S->accounts)
            taken |= a.id == id;
        if (!taken)
            return id;
        id = id + 1 >= SRV_GUEST_ID_BASE ? 1000 : id + 1;
    }
}

int accounts_load(srv_state *S, const std::string &path)
{
    std::vector<srv_line> lines;
    if (!srvfile_read(path, &lines))
        return 0;
    std::vector<std::string> need_id;
    for (auto &[lineno, line] : lines) {
        // nick password [id [perms]]
        std::istringstream in(line);
        srv_account a;
        std::string id, perms;
        in >> a.nick >> a.password >> id >> perms;
        long v = id.empty() ? 0 : strtol(id.c_str(), nullptr, 0);
        if (!accounts_nick_valid(a.nick) || a.password.empty() || v < 0 || v >= SRV_GUEST_ID_BASE ||
            (v > 0 && v < 128)) {
            fprintf(stderr, "lvserver: %s:%d: expected nick password [id [perms]] (id 128..999999)\n", path.c_str(), lineno);
            continue;
        }
        a.id = int32_t(v);
        a.perms = perms.empty() ? 0 : int32_t(strtoul(perms.c_str(), nullptr, 0));
        std::string key = accounts_fold(a.nick);
        if (a.id == 0)
            need_id.push_back(key);
        S->accounts[key] = a;
    }
    for (auto &key : need_id)
        S->accounts[key].id = accounts_hash_id(S, key);
    return 1;
}

int32_t accounts_guest_id(srv_state *S, std::string_view nick)
{
    std::string key = accounts_fold(nick);
    auto it = S->guest_ids.find(key);
    if (it != S->guest_ids.end())
        return it->second;
    if (S->guest_ids.size() >= ACCOUNTS_GUESTS_MAX) {
        for (auto g = S->guest_ids.begin(); g != S->guest_ids.end();)
            g = S->by_id.count(g->second) ? std::next(g) : S->guest_ids.erase(g);
    }
    int32_t id = S->next_guest_id++;
    S->guest_ids[key] = id;
    return id;
}

static std::string accounts_token(srv_state *S)
{
    static const char hex[] = "0123456789abcdef";
    std::string t(16, '0');
    for (char &ch : t)
        ch = hex[S->rng() & 15];
    return t;
}

void accounts_issue(srv_state *S, std::string_view nick, std::string *token9, std::string *token13)
{
    // Redeemed tickets leave their keys in the order; those are trimmed here too.
    while ((S->tickets.size() >= ACCOUNTS_TICKETS_MAX || S->ticket_order.size() >= 2 * ACCOUNTS_TICKETS_MAX) &&
           !S->ticket_order.empty()) {
        S->tickets.erase(S->ticket_order.front());
        S->ticket_order.pop_front();
    }
    *token9 = accounts_token(S);
    *token13 = accounts_token(S);
    std::string key = *token9 + *token13;
    S->tickets[key] = srv_ticket{std::string(nick), S->now + ACCOUNTS_TICKET_LIFE};
    S->ticket_order.push_back(key);
}

int accounts_redeem(srv_state *S, std::string_view tokens, std::string *nick)
{
    auto it = S->tickets.find(std::string(tokens));
    if (it == S->tickets.end())
        return 0;
    bool fresh = it->second.expires > S->now;
    *nick = it->second.nick;
    S->tickets.erase(it);  // a ticket is good for one login; its key leaves the order lazily
    return fresh;
}
