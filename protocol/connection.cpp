// The life of the protocol client: start and end, connecting directly or through an
// HTTP proxy, the reader thread of each connection with its keep-alive thread, and
// closing. Exit never waits long for a reader: connects and proxy replies have time-outs,
// every wait of a reader looks in slices whether it has been given up, and LVC_Cleanup
// leaves a reader stuck where it cannot look (a host look-up) to the process's end.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

#include "protocol/internal.h"

lvc_module lvc;

namespace {

using lvc_clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<int> keepalive_ms{60000};
std::atomic<int> connect_timeout_ms{15000};

// How long a reader's waits go before it looks whether it has been given up.
constexpr int LVC_WAIT_SLICE_MS = 200;
// How long LVC_Cleanup waits for the readers to end.
constexpr milliseconds LVC_EXIT_WAIT{1500};

// Counts LVC_Connect and LVC_Cleanup calls. A reader whose connect was followed by a
// newer one gives way: the user asked for the newer server, or the program is ending.
std::atomic<uint64_t> connect_seq{0};
// The LVC_Connect call of this reader thread; 0 on every other thread.
thread_local uint64_t tl_seq = 0;

// Reader threads. LVC_Connect never waits for an old reader; finished ones are joined at
// the next connect or at clean-up, and one that does not finish in time at clean-up is
// detached and stays listed (its `done` flag is written last) until it has finished.
struct lvc_reader {
    std::thread thread;
    std::atomic<bool> done{false};
};
// Never destroyed: a detached reader may still end after the program's statics are gone.
std::mutex readers_lock;
std::list<lvc_reader> &readers = *new std::list<lvc_reader>;
std::condition_variable &readers_done = *new std::condition_variable;

// The connection lock, held by a reader thread for its whole life: a new reader waits
// until the previous one has ended. A flag under a mutex, so that the wait can be given up.
std::mutex connlock;
bool connlock_taken = false;
std::condition_variable &connlock_free = *new std::condition_variable;

// Held by LVC_Close from its shut-down to the report of it (event 15), and taken by the
// reader before it reports the close: the old socket's events keep their order 14, 15,
// then 16, 17, 7, whichever thread runs first.
std::mutex close_order;

// What a reader thread connects to, copied when it starts.
struct lvc_target {
    char host[256];
    uint16_t port;
    int proxytype;
    char proxyhost[256];
    uint16_t proxyport;
    uint64_t seq;  // which LVC_Connect started it
};

// The keep-alive of one connection.
struct lvc_keepalive {
    std::mutex m;
    std::condition_variable cv;
    bool stop = false;
    uint64_t generation = 0;
    std::thread thread;
};

void copy_text(char *dst, size_t size, const char *src)
{
    std::snprintf(dst, size, "%s", src ? src : "");
}

// The time left until `deadline` in one wait slice: at most LVC_WAIT_SLICE_MS, 0 when the
// deadline has passed or the reader has been given up.
int wait_slice(lvc_clock::time_point deadline)
{
    if (lvc_reader_superseded())
        return 0;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - lvc_clock::now()).count();
    return int(std::clamp<long long>(left, 0, LVC_WAIT_SLICE_MS));
}

lvc_clock::time_point connect_deadline()
{
    return lvc_clock::now() + milliseconds(connect_timeout_ms.load());
}

// Joins the finished readers and forgets them; a detached one is only forgotten.
void readers_forget_done_locked()
{
    for (auto it = readers.begin(); it != readers.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        if (it->thread.joinable())
            it->thread.join();
        it = readers.erase(it);
    }
}

}  // namespace

int lvc_reader_superseded()
{
    return tl_seq != 0 && tl_seq != connect_seq.load();
}

int lvc_reader_stopping()
{
    return lvc.closing || lvc_reader_superseded();
}

void lvc_set_keepalive_ms(int ms)
{
    keepalive_ms = ms;
}

void lvc_set_connect_timeout_ms(int ms)
{
    connect_timeout_ms = ms;
}

// ---------------------------------------------------------------- start and end

int LVC_Init(LVC_Callback packet, LVC_Callback event, LVC_Callback exception)
{
    if (!packet || !event || !exception)
        return 0;
    nickcache_free();
    lvc.packet_cb = packet;
    lvc.event_cb = event;
    lvc.exception_cb = exception;

    constexpr int32_t version = 0x0002;  // 2.0: major in the low byte
    LVC_EvVersion requested{version};
    lvc_connection_event(LVC_EV_WSA_STARTING, &requested);
    int error;
    void *description;
    int started = lvsock_startup(&error, &description);
    if (started == 0) {
        LVC_ErrStartup failure{version, error};
        lvc_failure(LVC_ERR_WSASTARTUP, &failure);
        return 0;
    }
    lvc_connection_event(LVC_EV_WSA_STARTED, nullptr);
    if (started < 0) {
        lvc_failure(LVC_ERR_WSAVERSION, description);
        lvc_connection_event(LVC_EV_WSA_STOPPING, nullptr);
        lvsock_cleanup();
        lvc_connection_event(LVC_EV_WSA_STOPPED, nullptr);
        return 0;
    }
    return 1;
}

void LVC_Cleanup()
{
    LVC_Close();
    // Every reader gives way, and one waiting for room in the inbox is woken to see it.
    connect_seq++;
    lvc_inbox_wake_reader();
    {
        std::unique_lock lock(readers_lock);
        readers_done.wait_until(lock, lvc_clock::now() + LVC_EXIT_WAIT, [] {
            return std::all_of(readers.begin(), readers.end(), [](const lvc_reader &r) { return r.done.load(); });
        });
        readers_forget_done_locked();
        for (lvc_reader &r : readers)
            r.thread.detach();
    }
    lvc_inbox_clear();
    lvc.hook = nullptr;
    nickcache_free();
    {
        std::lock_guard lock(lvc.sentlock);
        lvc.sent = strlist_free(lvc.sent);
        lvc.held = strlist_free(lvc.held);
    }
    lvc_connection_event(LVC_EV_WSA_STOPPING, nullptr);
    lvsock_cleanup();
    lvc_connection_event(LVC_EV_WSA_STOPPED, nullptr);
}

// ---------------------------------------------------------------- connecting

// Connects within the connect time-out; a reader that is given up stops trying.
static int connect_within(lvsock s, uint32_t addr, uint16_t port)
{
    int r = lvsock_connect_begin(s, addr, port);
    const lvc_clock::time_point deadline = connect_deadline();
    while (r == 0) {
        const int slice = wait_slice(deadline);
        if (slice == 0)
            return 0;
        r = lvsock_connect_wait(s, slice);
    }
    return r == 1;
}

lvsock socket_connect_direct(const char *host, uint16_t port, int *error)
{
    uint32_t addr;
    if (!lvsock_resolve(host, &addr)) {
        *error = LVC_ERR_RESOLVE;
        return LVSOCK_INVALID;
    }
    lvsock s = lvsock_tcp();
    if (s == LVSOCK_INVALID) {
        *error = LVC_ERR_SOCKET;
        return LVSOCK_INVALID;
    }
    if (!connect_within(s, addr, port)) {
        lvsock_close(s);
        *error = LVC_ERR_CONNECT;
        return LVSOCK_INVALID;
    }
    return s;
}

static bool recv_exactly(lvsock s, char *dst, size_t n)
{
    while (n > 0) {
        long r = lvsock_recv(s, dst, n);
        if (r <= 0)
            return false;
        dst += r;
        n -= size_t(r);
    }
    return true;
}

// Reads the proxy's reply up to the end of its blank line and not a byte further: the
// chat server's first packet may follow in the same segment. What has arrived is looked
// at in place (peeked) and only the reply's part of it is taken. 1 when the blank line
// came; 0 when the reply broke off, filled the buffer (`size` bytes with the NUL), took
// longer than the connect time-out or the reader was given up.
static int proxy_read_reply(lvsock s, char *reply, size_t size, size_t *len)
{
    const lvc_clock::time_point deadline = connect_deadline();
    bool one_more = false;  // the reply ends "\n\r": the blank line's line feed completes it
    while (*len < size - 1) {
        int ready = 0;
        for (int slice; ready == 0 && (slice = wait_slice(deadline)) > 0;)
            ready = lvsock_wait_readable(s, slice);
        if (ready != 1)
            return 0;
        const long n = lvsock_peek(s, reply + *len, size - 1 - *len);
        if (n <= 0)
            return 0;
        size_t take = 0;
        bool complete = false;
        while (take < size_t(n) && !complete) {
            take++;
            const std::string_view head(reply, *len + take);
            // A proxy that ends its lines with bare line feeds ends the reply with "\n\n".
            complete = one_more || head.ends_with("\n\n");
            one_more = !complete && head.ends_with("\n\r");
        }
        if (!recv_exactly(s, reply + *len, take))
            return 0;
        *len += take;
        if (complete)
            return 1;
    }
    return 0;
}

// Opens a CONNECT tunnel through the proxy. The reply's status is not examined: a proxy
// that refuses still leaves us connected, to whatever it sends next.
static lvsock socket_connect_tunnel(const char *host, uint16_t port, int *error,
                                    const char *proxyhost, uint16_t proxyport)
{
    lvsock s = socket_connect_direct(proxyhost, proxyport, error);
    if (s == LVSOCK_INVALID)
        return s;
    char request[320];
    int n = std::snprintf(request, sizeof request, "CONNECT %s:%d HTTP/1.0\n\n", host, port);
    bool ok = sock_write(s, request, uint32_t(n));
    std::printf("GET string sent..\n%s\n", request);

    constexpr size_t reply_size = 65536;
    auto reply = std::make_unique<char[]>(reply_size);
    size_t len = 0;
    const bool complete = ok && proxy_read_reply(s, reply.get(), reply_size, &len);
    reply[len] = 0;
    std::printf("proxy response: %s", reply.get());
    std::fflush(stdout);
    if (!complete) {
        lvsock_close(s);
        *error = LVC_ERR_PROXY;
        return LVSOCK_INVALID;
    }
    return s;
}

lvsock socket_connect(const char *host, uint16_t port, int *error, int proxytype,
                      const char *proxyhost, uint16_t proxyport)
{
    *error = 0;
    switch (proxytype) {
    case 0:
        return socket_connect_direct(host, port, error);
    case 1:
        // Port 80 talks HTTP itself: the caller sends its absolute-URI request to the proxy.
        if (port == 80)
            return socket_connect_direct(proxyhost, proxyport, error);
        return socket_connect_tunnel(host, port, error, proxyhost, proxyport);
    case 2:
        if (port != 80)
            return socket_connect_direct(host, port, error);
        break;
    default:
        break;
    }
    *error = LVC_ERR_PROXY;
    return LVSOCK_INVALID;
}

// ---------------------------------------------------------------- keep-alive

static void keepalive_ping(uint64_t generation)
{
    if (!lvc.connected)
        return;
    net_newpacket(15);
    net_sendpacket_on(generation);
}

static void keepaliveThread(lvc_keepalive *k)
{
    lvc_thread_queues();
    std::unique_lock lock(k->m);
    while (!k->stop) {
        lock.unlock();
        keepalive_ping(k->generation);
        lock.lock();
        k->cv.wait_for(lock, std::chrono::milliseconds(keepalive_ms.load()), [k] { return k->stop; });
    }
}

// ---------------------------------------------------------------- the reader thread

// Reads the connection in chunks and frames the packets in them until the connection
// ends, quit is set or the reader is to stop. With a dispatch hook the packets go to the
// inbox, and a full inbox holds the reader here, so that TCP holds the server back.
static void netThread_loop()
{
    net_framer framer;
    while (lvc.connected && !lvc.quit && lvc_inbox_wait_room()) {
        size_t room;
        uint8_t *at = net_framer_space(&framer, &room);
        const long n = net_recv(at, room);
        if (n <= 0 || !net_framer_take(&framer, size_t(n)))
            break;
    }
    net_disconnecting();
}

// Takes the socket away from senders and closes it: events 16, 17 and 7, or failure 5.
static void netThread_close()
{
    { std::lock_guard order(close_order); }
    lvsock s;
    {
        std::lock_guard send(lvc.sendlock);
        std::lock_guard sock(lvc.socklock);
        s = lvc.sock;
        lvc.sock = LVSOCK_INVALID;
    }
    lvc_connection_event(LVC_EV_CLOSING, nullptr);
    int r = lvsock_close(s);
    if (r != 0) {
        LVC_ErrResult failure{r};
        lvc_failure(LVC_ERR_CLOSESOCKET, &failure);
        return;
    }
    lvc_connection_event(LVC_EV_SOCKET_CLOSED, nullptr);
    lvc_connection_event(LVC_EV_CLOSED, nullptr);
}

static void netThread_connected(lvsock s)
{
    uint32_t addr = 0;
    uint16_t port = 0;
    lvsock_peer(s, &addr, &port);
    lvc.serverport = port;

    lvc_keepalive keepalive;
    {
        std::lock_guard send(lvc.sendlock);
        std::lock_guard sock(lvc.socklock);
        lvc.sock = s;
        keepalive.generation = ++lvc.generation;
    }
    // The state is set before event 6 so that the application's reaction (an automatic
    // login) already sees the connection as open.
    lvc.closing = 0;
    lvc.loginstate = 0;
    lvc.ownid = 0;
    lvc.connecttime = std::time(nullptr);
    lvc.connected = 1;
    LVC_EvConnected connected{addr, port, s};
    lvc_connection_event(LVC_EV_CONNECTED, &connected);

    try {
        keepalive.thread = std::thread(keepaliveThread, &keepalive);
    } catch (const std::system_error &) {
        // Without a keep-alive the connection still works until the server times it out.
    }

    netThread_loop();

    // Wake a sender blocked on a full socket (it holds the send lock), then stop the
    // keep-alive before the handle goes away.
    {
        std::lock_guard sock(lvc.socklock);
        lvsock_shutdown(lvc.sock);
    }
    if (keepalive.thread.joinable()) {
        {
            std::lock_guard lock(keepalive.m);
            keepalive.stop = true;
        }
        keepalive.cv.notify_all();
        keepalive.thread.join();
    }
    netThread_close();
}

// Takes the connection lock, which the previous reader holds until it has ended; a
// reader given up meanwhile stops waiting.
static bool netThread_take_connlock()
{
    std::unique_lock lock(connlock);
    while (connlock_taken) {
        if (lvc_reader_superseded())
            return false;
        connlock_free.wait_for(lock, milliseconds(LVC_WAIT_SLICE_MS));
    }
    connlock_taken = true;
    return true;
}

static void netThread_release_connlock()
{
    {
        std::lock_guard lock(connlock);
        connlock_taken = false;
    }
    connlock_free.notify_all();
}

static void netThread_run(const lvc_target &target)
{
    {
        std::lock_guard lock(lvc.sentlock);
        lvc.sent = strlist_free(lvc.sent);
        lvc.held = strlist_free(lvc.held);
    }
    int error = 0;
    lvsock s = socket_connect(target.host, target.port, &error, target.proxytype, target.proxyhost,
                              target.proxyport);
    if (lvc_reader_superseded()) {
        if (s != LVSOCK_INVALID)
            lvsock_close(s);  // never reported as connected: nothing to report
    } else if (s == LVSOCK_INVALID) {
        lvc_failure(error, nullptr);
    } else {
        netThread_connected(s);
    }
}

static void netThread(lvc_target target, std::atomic<bool> *done)
{
    tl_seq = target.seq;
    lvc_thread_queues();
    if (netThread_take_connlock()) {
        if (!lvc_reader_superseded())
            netThread_run(target);
        netThread_release_connlock();
    }
    {
        std::lock_guard lock(readers_lock);
        *done = true;
    }
    readers_done.notify_all();
}

void LVC_Connect(const char *host, uint16_t port, int proxytype, const char *proxyhost, uint16_t proxyport)
{
    lvc_target target;
    {
        std::lock_guard lock(lvc.cfglock);
        copy_text(lvc.serverhost, sizeof lvc.serverhost, host);
        lvc.serverport = port;
        lvc.proxytype = proxytype;
        copy_text(lvc.proxyhost, sizeof lvc.proxyhost, proxyhost);
        lvc.proxyport = proxyport;
        copy_text(target.host, sizeof target.host, lvc.serverhost);
        target.port = port;
        target.proxytype = proxytype;
        copy_text(target.proxyhost, sizeof target.proxyhost, lvc.proxyhost);
        target.proxyport = proxyport;
        target.seq = ++connect_seq;
    }
    LVC_Close();

    std::lock_guard lock(readers_lock);
    readers_forget_done_locked();
    lvc_reader &r = readers.emplace_back();
    try {
        r.thread = std::thread(netThread, target, &r.done);
    } catch (const std::system_error &) {
        readers.pop_back();
        lvc_failure(LVC_ERR_SOCKET, nullptr);
    }
}

int LVC_Close()
{
    if (!lvc.connected)
        return 0;
    lvc_connection_event(LVC_EV_SHUTTING_DOWN, nullptr);
    std::lock_guard order(close_order);
    int r;
    {
        std::lock_guard sock(lvc.socklock);
        // The reader may have ended the connection meanwhile.
        if (lvc.sock == LVSOCK_INVALID)
            return 0;
        r = lvsock_shutdown(lvc.sock);
    }
    if (r != 0) {
        LVC_ErrResult failure{r};
        lvc_failure(LVC_ERR_SHUTDOWN, &failure);
        return 0;
    }
    lvc.closing = 1;
    lvc_inbox_wake_reader();
    lvc_connection_event(LVC_EV_SHUT_DOWN, nullptr);
    return 1;
}

int LVC_GetUptime()
{
    std::time_t since = lvc.connecttime;
    return since == 0 ? 0 : int(std::time(nullptr) - since);
}

// ---------------------------------------------------------------- state

int LVC_IsConnected()
{
    return lvc.connected;
}

int LVC_GetQuit()
{
    return lvc.quit;
}

void LVC_SetQuit(int quit)
{
    lvc.quit = quit;
}

int LVC_GetLoginState()
{
    return lvc.loginstate;
}

int32_t LVC_GetOwnID()
{
    return lvc.ownid;
}

const char *LVC_GetOwnNick()
{
    return lvc.ownnick;
}

const char *LVC_GetServerHost()
{
    return lvc.serverhost;
}
