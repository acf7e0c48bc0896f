// lvserver: the local chat service. The records every module shares: the process-wide
// server state, connections, chat sessions, rooms and their members.
// Everything runs on the one event-loop thread; nothing here is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The largest payload a client may announce. The client builds every packet in an
// 8192-byte buffer, so anything near this is already hostile; keeping it small bounds the
// input buffer of each of a thousand connections.
constexpr uint32_t SRV_CLIENT_PAYLOAD_MAX = 65536;
// Default cap of one connection's unsent output. A client that lets this much pile up is
// not reading and is dropped; the full room list on login always fits.
constexpr size_t SRV_QUEUE_CAP_DEFAULT = 1024u * 1024;

// Ids of registered users and permanent rooms lie below this; guests and user rooms above.
constexpr int32_t SRV_GUEST_ID_BASE = 1000000;
// Ends a user list (type 11); no user may carry exactly these permissions.
constexpr int32_t SRV_USERLIST_END = 0x12345678;

// Permission bits of a user in a room.
enum : int32_t {
    PERM_CHTHEME = 0x01,
    PERM_CLOSE = 0x02,
    PERM_GETIP = 0x04,
    PERM_KICK = 0x08,
    PERM_CHPERM = 0x10,
    PERM_UNREMOVABLE = 0x20,
    PERM_AUTOIP = 0x40,
    PERM_BABEL = 0x80,
    PERM_KICKBAN = 0x200,
    PERM_SPEAK = 0x10000,
    PERM_MEGAOP = 0x40000000,
};
// The operator bits ("Op" in the client's user menu gives 0xFFFF).
constexpr int32_t PERM_OPS = 0xFFFF;
// Room state bits.
enum : int32_t { ROOM_CLOSED = 0x04, ROOM_USER_MADE = 0x10 };

// Subtypes of the user change packet (type 12).
enum : uint8_t {
    UCH_FLOOD = 0, UCH_JOIN, UCH_LEAVE, UCH_PERMS, UCH_TIMEOUT, UCH_QUIT,
    UCH_KICK, UCH_BAN, UCH_KICKCHAT, UCH_BANCHAT,
};

enum net_kind : uint8_t { NET_LISTEN, NET_CHAT, NET_WEB, NET_CONTROL, NET_STDIN, NET_PROXY, NET_UPSTREAM };

struct srv_session;

struct net_conn {
    int fd = -1;
    net_kind kind = NET_CHAT;
    net_kind listen_for = NET_CHAT;  // listeners: the kind of the connections they accept
    std::vector<uint8_t> in;         // received, not yet consumed
    std::vector<uint8_t> out;        // queued, not yet sent, from out_off on
    size_t out_off = 0;
    bool dead = false;               // closed; freed at the end of the loop turn
    bool told = false;               // the owner has heard of the close
    bool close_after_flush = false;
    bool want_write = false;         // EPOLLOUT registered
    bool dirty = false;              // on the flush list
    bool read_paused = false;        // proxy back-pressure
    bool connecting = false;         // outgoing connect in progress
    bool connecting_connect = false; // proxy upstream of a CONNECT tunnel
    uint32_t addr = 0;               // peer IPv4, host order
    uint16_t port = 0;
    srv_session *sess = nullptr;
    net_conn *peer = nullptr;        // proxy: the other end of the tunnel
    time_t opened = 0;
};

struct srv_session {
    net_conn *conn = nullptr;        // null for bots
    bool bot = false;
    bool logged_in = false;
    bool registered = false;
    int32_t id = 0;
    std::string nick;
    int32_t acct_perms = 0;          // added to the perms in every room (accounts file)
    std::string host;                // dotted address shown as host information
    uint32_t addr = 0;
    time_t login_time = 0;
    time_t last_seen = 0;
    std::vector<int32_t> rooms;      // ids of the rooms the user is in
    int flood_count = 0;             // messages in the current flood window
    time_t flood_window = 0;
    uint8_t type16 = 0;              // values of the two requests sent after login
    int32_t type29_a = 0;
    uint8_t type29_b = 0;
    uint64_t bad_packets = 0;
    uint8_t close_reason = UCH_QUIT; // what the rooms are told when the connection ends
    uint64_t packets_in = 0;
    int64_t said_ms = 0;             // wall-clock time of the user's last room line (ms)
    std::string said;                // and its text
};

struct srv_member {
    srv_session *sess;
    int32_t perms;
};

struct srv_room {
    int32_t id = 0;
    std::string name;
    std::string theme;
    int32_t states = 0;
    bool permanent = false;
    std::vector<srv_member> members;
    std::unordered_map<int32_t, int32_t> kept_perms;  // granted perms remembered across visits
    std::unordered_map<int32_t, time_t> bans;        // user id -> end of the ban
    int32_t counted = -1;                            // user count last announced (type 24)
};

struct srv_account {
    std::string nick;
    std::string password;
    int32_t id = 0;
    int32_t perms = 0;
};

struct srv_ticket {
    std::string nick;
    time_t expires = 0;
};

struct srv_options {
    std::string bind = "127.0.0.1";
    int chat_port = 8888;
    int web_port = 80;
    int proxy_port = -1;
    int control_port = -1;
    std::string rooms_file;
    std::string accounts_file;
    int bots = 0;
    double bot_rate = 0.5;           // room lines per second, all bots together
    bool chunked = false;
    bool use_stdin = true;
    size_t queue_cap = SRV_QUEUE_CAP_DEFAULT;
    int max_clients = 5000;
    int idle_timeout = 200;          // seconds without a packet before a client times out
    int count_interval = 5;          // seconds between user count broadcasts
    uint32_t seed = 0;
    std::string web_host;            // shown in the room address on entry; default bind:web
};

struct srv_flood {
    bool on = false;
    int32_t room = 0;
    double rate = 0;                 // lines per second
    double due = 0;
    uint64_t seq = 0;                // lines sent so far
    uint64_t limit = 0;              // stop after this many lines; 0: until stopped
    int width = 0;                   // 0: short lines, each coloured; else lines this many
                                     // characters long, every fourth coloured
};

struct srv_stats {
    uint64_t accepted = 0, dropped_slow = 0, dropped_bad = 0, room_msgs = 0, bytes_out = 0;
};

struct srv_state {
    srv_options opt;
    int epfd = -1;
    std::vector<std::unique_ptr<net_conn>> conns;   // every open connection, listeners too
    std::vector<net_conn *> flush_list;
    int chat_clients = 0;
    std::map<int32_t, std::unique_ptr<srv_room>> rooms;
    std::unordered_map<int32_t, srv_session *> by_id;       // logged in, bots included
    std::unordered_map<std::string, srv_session *> by_nick; // folded nick -> session
    std::vector<std::unique_ptr<srv_session>> sessions;     // owner of every session
    std::unordered_map<std::string, srv_account> accounts;  // folded nick -> account
    std::unordered_map<std::string, int32_t> guest_ids;     // folded nick -> stable guest id
    int32_t next_guest_id = SRV_GUEST_ID_BASE + 1;
    std::unordered_map<std::string, srv_ticket> tickets;    // token9+token13 -> nick
    std::deque<std::string> ticket_order;
    std::unordered_map<int32_t, time_t> chat_bans;          // user id -> end of the ban
    std::mt19937 rng;
    time_t now = 0;
    double now_f = 0;                // monotonic seconds, for rates
    time_t last_counts = 0;
    srv_flood flood;
    srv_stats stats;
    bool quit = false;
    int ports[4] = {-1, -1, -1, -1}; // chat, web, control, proxy as bound
    void *bots = nullptr;            // bots.cpp's own record
};

// ---- srvfile.cpp: the server's small text files
struct srv_line {
    int number;
    std::string text;
};
// The lines of a file that are neither empty nor comments ("#"), without line ends.
int srvfile_read(const std::string &path, std::vector<srv_line> *lines);

// ---- packet.cpp: building one outgoing packet in a growing buffer
struct srv_packet {
    std::vector<uint8_t> buf;
    int32_t type = 0;
};
void packet_begin(srv_packet *p, int32_t type);
void packet_byte(srv_packet *p, uint8_t v);
void packet_int(srv_packet *p, int32_t v);
void packet_utf(srv_packet *p, std::string_view s);
// Fills in the header; the packet is then ready to send.
void packet_end(srv_packet *p);
// The longest start of `s` of at most `max` bytes that ends on a character boundary.
std::string_view packet_cut(std::string_view s, size_t max);

// ---- net.cpp: the event loop, listeners and bounded connection queues
int net_init(srv_state *S);
// Binds a listener; `port` 0 picks a free one. Returns the bound port or -1.
int net_listen(srv_state *S, const std::string &addr, int port, net_kind kind);
net_conn *net_add_stdin(srv_state *S);
// Starts a non-blocking connect for the proxy; null on immediate failure.
net_conn *net_connect(srv_state *S, uint32_t addr, uint16_t port, net_kind kind);
// Queues bytes; a connection whose queue would pass the cap is dropped. 1 queued, 0 not.
int net_send(srv_state *S, net_conn *c, const void *data, size_t n);
void net_close(srv_state *S, net_conn *c);
void net_pause_read(srv_state *S, net_conn *c, bool paused);
// One turn of the loop: waits at most `timeout_ms`, handles events, flushes, frees.
void net_poll(srv_state *S, int timeout_ms);
void net_shutdown(srv_state *S);
// Once a second: closes web connections that never finished their request.
void net_tick(srv_state *S);

// ---- session.cpp: a chat connection's packets
void session_open(srv_state *S, net_conn *c);
// Frames and handles what has arrived on a chat connection; consumes c->in.
void session_feed(srv_state *S, srv_session *s);
// Handles one framed packet from the session's client.
void session_packet(srv_state *S, srv_session *s, int32_t type, const uint8_t *p, size_t n);
void session_closed(srv_state *S, net_conn *c);
void session_send(srv_state *S, srv_session *s, const srv_packet &p);
// Passes a private message on (or explains why not) and confirms it to the sender.
void session_private(srv_state *S, srv_session *s, uint8_t kind, int32_t target, std::string_view text);
void session_popup(srv_state *S, srv_session *s, uint8_t icon, std::string_view title, std::string_view text);
// Logs the session out: leaves every room with the given reason (UCH_QUIT, UCH_TIMEOUT,
// UCH_KICKCHAT, UCH_BANCHAT; `by` names the one who did it) and forgets its nick.
void session_logout(srv_state *S, srv_session *s, uint8_t reason, std::string_view by);
srv_session *session_new(srv_state *S);
// Makes a session known under its nick and id (login of a client or a bot).
void session_register(srv_state *S, srv_session *s);
srv_session *session_by_nick(srv_state *S, std::string_view nick);
void session_tick(srv_state *S);

// ---- rooms.cpp: rooms, members and what they see
srv_room *rooms_get(srv_state *S, int32_t id);
srv_room *rooms_by_name(srv_state *S, std::string_view name);
srv_room *rooms_create(srv_state *S, int32_t id, std::string_view name, std::string_view theme, int32_t states, bool permanent);
void rooms_delete(srv_state *S, srv_room *r);
int rooms_load(srv_state *S, const std::string &path);
// The room list; with `most` above 0 only that many rooms of it (the first by id).
void rooms_send_list(srv_state *S, srv_session *s, size_t most = 0);
// Puts the session into the room (by id, or by name when id is 0; an unknown name makes
// a user room). Refusals are answered with a popup. Returns the room or null.
srv_room *rooms_enter(srv_state *S, srv_session *s, int32_t id, std::string_view name);
// Takes the user out of the room and tells the others why (a UCH_* subtype); `other` is
// the kicker's id (UCH_KICK, UCH_BAN), `text` the name in UCH_KICKCHAT and UCH_BANCHAT.
void rooms_remove(srv_state *S, srv_room *r, srv_session *s, uint8_t why, int32_t other, std::string_view text);
srv_member *rooms_member(srv_room *r, int32_t user_id);
void rooms_set_perms(srv_state *S, srv_room *r, srv_member *m, int32_t perms);
void rooms_set_theme(srv_state *S, srv_room *r, std::string_view theme);
void rooms_set_states(srv_state *S, srv_room *r, int32_t states);
void rooms_set_count(srv_state *S, srv_room *r, int32_t count);
int32_t rooms_count(const srv_room *r);
// A room line from the user (kinds 5 to 7 carry the sender's id) or from a bare nick.
void rooms_say(srv_state *S, srv_room *r, uint8_t kind, int32_t sender_id, std::string_view nick, std::string_view attrs, std::string_view text);
void rooms_broadcast(srv_state *S, const srv_packet &p);
void rooms_send_counts(srv_state *S);
void rooms_tick(srv_state *S);

// ---- accounts.cpp: registered nicks, stable ids, login tickets, bans
int accounts_load(srv_state *S, const std::string &path);
const srv_account *accounts_find(srv_state *S, std::string_view nick);
int32_t accounts_guest_id(srv_state *S, std::string_view nick);
std::string accounts_fold(std::string_view nick);
int accounts_nick_valid(std::string_view nick);
// Issues the two login tokens for a nick.
void accounts_issue(srv_state *S, std::string_view nick, std::string *token9, std::string *token13);
// Takes (and uses up) the ticket named by the login packet's token string.
int accounts_redeem(srv_state *S, std::string_view tokens, std::string *nick);

// Records a ban of `user` for `minutes`; expired bans are forgotten on the way.
void accounts_ban(srv_state *S, std::unordered_map<int32_t, time_t> *bans, int32_t user, long minutes);

// ---- opfunc.cpp: operator requests (type 4)
void opfunc_handle(srv_state *S, srv_session *s, const uint8_t *p, size_t n);

// ---- web.cpp: the token page
void web_feed(srv_state *S, net_conn *c);
// Parses one request head; fills the answer. Exposed for tests and the fuzzer.
int web_answer(srv_state *S, std::string_view head, std::string *answer);
// Percent-decodes and converts a Windows-1250 user name to UTF-8.
std::string web_decode_name(std::string_view raw);

// ---- proxy.cpp: the optional HTTP proxy
void proxy_feed(srv_state *S, net_conn *c);
void proxy_upstream_ready(srv_state *S, net_conn *c);
void proxy_closed(srv_state *S, net_conn *c);

// ---- control.cpp: the console
void control_feed(srv_state *S, net_conn *c);
// Runs one command line; the reply goes to `out`.
void control_line(srv_state *S, std::string_view line, std::string *out);
void control_tick(srv_state *S);
// The network wait of the main loop, at most `most` ms: shorter while a flood is due.
int control_wait_ms(const srv_state *S, int most);

// ---- bots.cpp: simulated users
void bots_start(srv_state *S, int count);
void bots_tick(srv_state *S);
// A private message reached a bot.
void bots_private(srv_state *S, srv_session *bot, srv_session *from, std::string_view text);
void bots_stop(srv_state *S);
