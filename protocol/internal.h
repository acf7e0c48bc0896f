// The protocol client's module state and the internal operations shared by its source
// files (wire, connection, login, directory, incoming, requests, game and log). Nothing
// outside protocol/ includes this, except tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "protocol/lvc6b.h"
#include "protocol/socket.h"
#include "protocol/wire.h"
#include "toolkit/strlist.h"

struct lvc_module {
    LVC_Callback packet_cb;
    LVC_Callback event_cb;
    LVC_Callback exception_cb;
    std::atomic<LVC_DispatchHook> hook;

    std::atomic<int> connected;
    std::atomic<int> quit;
    std::atomic<int> loginstate;
    std::atomic<int32_t> ownid;
    std::atomic<std::time_t> connecttime;
    char ownnick[LVC_NICK_SIZE];
    int32_t login_a, login_b;

    // Where LVC_Connect points; the login thread's web request goes to the same host.
    // The five settings change under cfglock (LVC_Connect); readers on other threads
    // copy them under it.
    std::mutex cfglock;
    char serverhost[256];
    std::atomic<uint16_t> serverport;  // the peer's port once connected
    int proxytype;
    char proxyhost[256];
    uint16_t proxyport;

    std::mutex sendlock;  // the outgoing buffer, from net_newpacket to net_sendpacket

    // The current connection's socket, LVSOCK_INVALID while there is none. It changes
    // only under both sendlock and socklock (in that order), so a sender (sendlock) or
    // LVC_Close (socklock) never uses a handle that was closed and perhaps reused.
    lvsock sock = LVSOCK_INVALID;
    std::mutex socklock;
    // Counts connections; a keep-alive thread pings only the connection it was started for.
    uint64_t generation;
    // Set when LVC_Close has shut the socket down. Winsock does not wake a blocked
    // receive on shut-down, and a server may never answer it: the reader then ends on
    // its own. It also releases a reader waiting for room in the inbox.
    std::atomic<int> closing;

    // The outgoing packet under construction (guarded by sendlock).
    uint8_t outbuf[WIRE_PACKET_MAX];
    wire_writer out;
    int32_t outtype;

    // The user-interface thread appends to `sent` while the reader thread (without a
    // dispatch hook) takes confirmations off it: both lists change only under sentlock.
    std::mutex sentlock;
    strlist *sent;  // private messages sent and not yet confirmed
    strlist *held;  // messages and confirmations waiting for their peer's nick

    vel_list_node *rooms[256];
    // The rooms by id: a room line finds its room without walking a list that grows with
    // the room list (tens of rooms a list with 10,000 rooms).
    std::unordered_map<int32_t, Room *> room_index;
    vel_list_node *nicks[256];

    // The packet being decoded (the reader thread, or the thread that drains the inbox).
    wire_reader in;
};

extern lvc_module lvc;

// Callbacks. Results are ignored. Raised on one of the client's own threads while a
// dispatch hook is set, they are queued for LVC_Drain with a copy of their record (the
// records those threads raise are plain numbers; see inbox.cpp).
void lvc_packet_event(int code, void *record);
void lvc_connection_event(int code, void *record);
void lvc_failure(int code, void *record);

// ---- the inbox between the client's threads and the thread that drains it (inbox.cpp)
// Marks the calling thread as one of the client's own (reader, keep-alive, login): while a
// dispatch hook is set, what it raises is queued.
void lvc_thread_queues();
// A packet read off the connection: decoded at once, or queued with a copy of its payload.
void lvc_packet_arrived(int32_t type, const uint8_t *payload, uint32_t length);
// Holds the inbox while the reader frames one received chunk: one lock and at most one
// wake of the hook for all that the chunk raises. Does nothing where callbacks run at once.
struct lvc_inbox_hold {
    lvc_inbox_hold();
    ~lvc_inbox_hold();
    lvc_inbox_hold(const lvc_inbox_hold &) = delete;
    lvc_inbox_hold &operator=(const lvc_inbox_hold &) = delete;
    bool held;
};
// Waits while the inbox is full, until the drain has taken it below its low mark; 0 when
// the wait was cut short because the reader is to stop (lvc_reader_stopping).
int lvc_inbox_wait_room();
// Wakes a reader waiting for room, to look at why it should stop.
void lvc_inbox_wake_reader();
// Forgets everything queued (LVC_Cleanup).
void lvc_inbox_clear();
// The inbox's bounds: it is full at `bytes` of payload or `items` items, and a reader
// waiting for room goes on once the drain has taken it to half of both. A single packet
// larger than the bound still goes in whole. A quarter of a megabyte is some 2,500 room
// lines, a fifth of a second of the user-interface thread's work in a flood: enough to
// keep it busy, and the memory a flood takes stays that small.
constexpr size_t LVC_INBOX_MAX_BYTES = size_t(256) << 10;
constexpr size_t LVC_INBOX_MAX_ITEMS = 4096;
void lvc_inbox_set_limits(size_t bytes, size_t items);
// Payload bytes and items queued and not yet delivered, and whether the reader waits.
struct lvc_inbox_state {
    size_t bytes;
    size_t items;
    bool reader_waiting;
};
lvc_inbox_state lvc_inbox_get_state();

// ---- wire (the single connection's framing, on the module's buffers)
// Sending: net_newpacket takes the send lock; net_sendpacket frames, writes and releases
// it. A packet whose fields overflowed the 8192-byte buffer is not sent.
void net_newpacket(int32_t type);
void net_writebyte(uint8_t v);
void net_writeint(int32_t v);
size_t net_writeutf(const char *s);  // the bytes of `s` written: fewer when it was cut to fit
int net_sendpacket();
// 1 while the packet under construction still fits the buffer (it will be sent).
int net_packet_fits();
// Decoding of the current packet (lvc.in); past its end: 0 or an empty string.
uint8_t net_readbyte();
int32_t net_readint();
char *net_readutf();  // new copy; release with mem_free
void mem_free(char **s);
void net_disconnecting();

// The reader's receive buffer: bytes [head, tail) have arrived and are not framed yet.
struct net_framer {
    std::vector<uint8_t> buf;
    size_t head = 0;
    size_t tail = 0;
};
// The most the reader asks of one receive, unless a larger packet is under way.
constexpr size_t NET_CHUNK = 65536;
// Where the next receive goes, and in *room how much fits there: the unframed bytes are
// moved to the front; the buffer grows for a packet larger than a chunk and shrinks back
// once such a packet has gone.
uint8_t *net_framer_space(net_framer *f, size_t *room);
// Frames what the `n` bytes just received complete, in order: the progress event of each
// header and payload they add to, packet event 1 before a room list, every whole packet
// (lvc_packet_arrived) and failure 9 for a bad header. 0 when the connection must end (a
// bad header, or quit set).
int net_framer_take(net_framer *f, size_t n);
// One receive from the connection's socket, waiting in slices so that a reader that is to
// stop (lvc_reader_stopping) ends even where the receive is not woken. Bytes received; 0
// at end of stream or when stopping; -1 after a receive error (failure 11 raised).
long net_recv(void *dst, size_t n);

// ---- incoming packets: the handler of each type 0..24 (null: read and skipped).
typedef void (*lvc_handler)(int32_t type, uint32_t length);
extern const lvc_handler lvc_handlers[25];
// Decodes one packet's payload with its handler, as the reader thread does; the bytes the
// handler read (all of them unless it paused).
uint32_t lvc_dispatch_packet(int32_t type, const uint8_t *payload, uint32_t length);
// A handler of a long packet (a room list of many thousand rooms) asks between two of its
// records whether to pause: true when the drain delivering it has used its time. The
// handler then returns at once, and the rest of the packet comes to it again, at the next
// drain, before anything after it; lvc_packet_resumed() is then true. Outside a drain
// (or inside a drain within a callback) a packet never pauses.
bool lvc_packet_pause();
bool lvc_packet_resumed();

// ---- directory
Room *room_add(int32_t id, const char *name, const char *theme, int32_t states, int32_t usercnt);
void room_del(int32_t id);
User *user_add(int32_t roomid, int32_t userid, const char *nick, int32_t perms);
void user_del(int32_t roomid, int32_t userid);
void nickcache_add(int32_t userid, const char *nick);
const char *nickcache_get(int32_t userid);
void nickcache_del(int32_t userid);
void nickcache_free();

// ---- connection
// A connected socket, or LVSOCK_INVALID with *error set to the failure code (0: none).
lvsock socket_connect(const char *host, uint16_t port, int *error, int proxytype,
                      const char *proxyhost, uint16_t proxyport);
lvsock socket_connect_direct(const char *host, uint16_t port, int *error);
int sock_write(lvsock s, const void *src, uint32_t count);
// Sends the finished packet only if connection `generation` is still the current one
// (the keep-alive thread's ping); releases the send lock like net_sendpacket.
int net_sendpacket_on(uint64_t generation);
// On a reader thread: 1 once a newer LVC_Connect or LVC_Cleanup has given it up.
// Elsewhere always 0.
int lvc_reader_superseded();
// On a reader thread: 1 once it should stop reading: given up, or its connection shut
// down by LVC_Close.
int lvc_reader_stopping();
// The keep-alive interval; 60000 ms unless a test shortens it.
void lvc_set_keepalive_ms(int ms);
// How long a connect, or a proxy's reply, may take: 15000 ms unless a test shortens it.
void lvc_set_connect_timeout_ms(int ms);

// ---- logs
// 1 while the log's file is open.
int log_is_open(char letter, int32_t id);
// How long a log stays open without lines; 1000 ms unless a test shortens it.
void log_set_idle_ms(int ms);

// ---- login (token page and login packet)
// The web server's port for the token page: 80, except in tests, which cannot rely on
// binding it. With another port the request names "host:port".
void login_set_webport(uint16_t port);
uint16_t login_webport();

// Where the token page's response comes from: recv-like (bytes read, 0 at end, -1 on error).
struct login_source {
    long (*recv)(void *ctx, void *buf, size_t n);
    void *ctx;
};
constexpr size_t LOGIN_PAGE_SIZE = 65536;
struct login_page {
    char header[LOGIN_PAGE_SIZE];  // NUL-terminated
    char body[LOGIN_PAGE_SIZE];    // NUL-terminated; at most 65535 bytes are kept
    size_t bodylen;
};
// Reads the response header and its plain or chunked body. 1 when the page can be used
// (a page larger than the buffer is cut); 0 when the response broke off in its header or
// in the middle of a chunk.
int login_read_page(login_source *src, login_page *page);
// The value of the parameter whose text starts with `prefix` (up to and including the
// value's opening apostrophe), NUL-terminated in place; null when absent or unterminated.
char *get_param(char *page, size_t length, const char *prefix);

// ---- incoming
// Delivers, oldest first, the held private messages and confirmations of `userid`.
void flush_private_in(int32_t userid, const char *nick);
