// The protocol client's module state and the internal operations shared by its source
// files (wire, connection, login, directory, incoming, requests, game and log). Nothing
// outside protocol/ includes this, except tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "app/strlist.h"
#include "protocol/lvc6b.h"
#include "protocol/socket.h"
#include "protocol/wire.h"

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
    std::mutex connlock;  // held by a reader thread for its whole life

    // The current connection's socket, LVSOCK_INVALID while there is none. It changes
    // only under both sendlock and socklock (in that order), so a sender (sendlock) or
    // LVC_Close (socklock) never uses a handle that was closed and perhaps reused.
    lvsock sock = LVSOCK_INVALID;
    std::mutex socklock;
    // Counts connections; a keep-alive thread pings only the connection it was started for.
    uint64_t generation;
    // Set when LVC_Close has shut the socket down. Winsock does not wake a blocked
    // receive on shut-down, and a server may never answer it: the reader then ends on
    // its own.
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
    vel_list_node *nicks[256];

    // The packet being decoded (reader thread, or the dispatch hook's thread).
    wire_reader in;
};

extern lvc_module lvc;

// Callbacks. Results are ignored.
void lvc_packet_event(int code, void *record);
void lvc_connection_event(int code, void *record);
void lvc_failure(int code, void *record);

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
int net_readheader(int32_t *type, uint32_t *length);
// Reads a packet's payload from the connection, reporting progress with its type.
int net_readpayload(void *dst, uint32_t count, int32_t type);
void net_disconnecting();

// ---- incoming packets: the handler of each type 0..24 (null: read and skipped).
typedef void (*lvc_handler)(int32_t type, uint32_t length);
extern const lvc_handler lvc_handlers[25];
// Decodes one packet's payload with its handler, as the reader thread does.
void lvc_dispatch_packet(int32_t type, const uint8_t *payload, uint32_t length);

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
int sock_read(lvsock s, void *dst, uint32_t count, int32_t type);
int sock_write(lvsock s, const void *src, uint32_t count);
// Sends the finished packet only if connection `generation` is still the current one
// (the keep-alive thread's ping); releases the send lock like net_sendpacket.
int net_sendpacket_on(uint64_t generation);
// Runs task(arg) through the dispatch hook when called on a reader thread with a hook
// set; otherwise, or inside a task already handed over, runs it at once.
void lvc_run(LVC_Task task, void *arg);
// The keep-alive interval; 60000 ms unless a test shortens it.
void lvc_set_keepalive_ms(int ms);

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
