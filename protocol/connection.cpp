// The life of the protocol client: start and end, connecting directly or through an
// HTTP proxy, the reader thread of each connection with its keep-alive thread, closing,
// and the hand-over of callbacks to the dispatch hook.
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

// Set on reader threads: only their callbacks are handed to the dispatch hook. Callbacks
// raised on other threads (LVC_Close on the user-interface thread, a failed ping of the
// keep-alive thread) run where they are raised, so that no thread waits on the hook's
// thread while that thread may be waiting for it.
thread_local bool tl_reader = false;
// Depth of tasks already handed over on this thread: their callbacks run inline.
thread_local int tl_in_task = 0;

std::atomic<int> keepalive_ms{60000};

// Reader threads. LVC_Connect never waits for an old reader (its callbacks may be waiting
// for the caller's thread); finished ones are joined at the next connect or at clean-up.
struct lvc_reader {
    std::thread thread;
    std::atomic<bool> done{false};
};
// Never destroyed: the application may leave with a reader still running, and the
// destructor of a running std::thread would abort the process on its way out.
std::mutex readers_lock;
std::list<lvc_reader> &readers = *new std::list<lvc_reader>;

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

// Counts LVC_Connect calls. A reader whose connect was followed by a newer one while it
// was still waiting or connecting gives way: the user asked for the newer server.
std::atomic<uint64_t> connect_seq{0};

// The keep-alive of one connection.
struct lvc_keepalive {
    std::mutex m;
    std::condition_variable cv;
    bool stop = false;
    uint64_t generation = 0;
    std::thread thread;
};

struct lvc_raise {
    LVC_Callback cb;
    int code;
    void *record;
};

void raise_task(void *arg)
{
    auto *r = static_cast<lvc_raise *>(arg);
    if (r->cb)
        r->cb(r->code, r->record);
}

struct lvc_task_call {
    LVC_Task task;
    void *arg;
};

void task_trampoline(void *arg)
{
    auto *call = static_cast<lvc_task_call *>(arg);
    tl_in_task++;
    call->task(call->arg);
    tl_in_task--;
}

struct lvc_packet {
    int32_t type;
    const uint8_t *payload;
    uint32_t length;
};

void packet_task(void *arg)
{
    auto *p = static_cast<lvc_packet *>(arg);
    lvc_dispatch_packet(p->type, p->payload, p->length);
}

void copy_text(char *dst, size_t size, const char *src)
{
    std::snprintf(dst, size, "%s", src ? src : "");
}

}  // namespace

void lvc_run(LVC_Task task, void *arg)
{
    LVC_DispatchHook hook = lvc.hook.load();
    if (!hook || !tl_reader || tl_in_task > 0) {
        task(arg);
        return;
    }
    lvc_task_call call{task, arg};
    hook(task_trampoline, &call);
}

void lvc_packet_event(int code, void *record)
{
    lvc_raise r{lvc.packet_cb, code, record};
    lvc_run(raise_task, &r);
}

void lvc_connection_event(int code, void *record)
{
    lvc_raise r{lvc.event_cb, code, record};
    lvc_run(raise_task, &r);
}

void lvc_failure(int code, void *record)
{
    lvc_raise r{lvc.exception_cb, code, record};
    lvc_run(raise_task, &r);
}

void lvc_set_keepalive_ms(int ms)
{
    keepalive_ms = ms;
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
    std::list<lvc_reader> ending;
    {
        std::lock_guard lock(readers_lock);
        ending.swap(readers);
    }
    for (lvc_reader &r : ending)
        r.thread.join();
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

void LVC_SetDispatchHook(LVC_DispatchHook hook)
{
    lvc.hook = hook;
}

// ---------------------------------------------------------------- connecting

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
    if (!lvsock_connect(s, addr, port)) {
        lvsock_close(s);
        *error = LVC_ERR_CONNECT;
        return LVSOCK_INVALID;
    }
    return s;
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

    // One byte at a time, so that nothing the server sends after the proxy's blank line
    // is taken from the stream.
    constexpr size_t reply_size = 65536;
    auto reply = std::make_unique<char[]>(reply_size);
    size_t len = 0;
    bool complete = false;
    while (ok && !complete && len < reply_size - 1) {
        if (lvsock_recv(s, reply.get() + len, 1) != 1)
            break;
        len++;
        std::string_view head(reply.get(), len);
        if (head.ends_with("\n\r")) {
            // The blank line's final line feed.
            complete = lvsock_recv(s, reply.get() + len, 1) == 1;
            len += complete;
        } else {
            // A proxy that ends its lines with bare line feeds.
            complete = head.ends_with("\n\n");
        }
    }
    reply[len] = 0;
    std::printf("proxy response: %s", reply.get());
    std::fflush(stdout);
    if (!complete) {
        // The reply broke off, or filled the buffer without a blank line.
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
    std::unique_lock lock(k->m);
    while (!k->stop) {
        lock.unlock();
        keepalive_ping(k->generation);
        lock.lock();
        k->cv.wait_for(lock, std::chrono::milliseconds(keepalive_ms.load()), [k] { return k->stop; });
    }
}

// ---------------------------------------------------------------- the reader thread

// Reads and dispatches packets until the connection ends or quit is set.
static void netThread_loop()
{
    while (lvc.connected && !lvc.quit) {
        int32_t type;
        uint32_t length;
        if (!net_readheader(&type, &length))
            break;
        if (type == 9)
            lvc_packet_event(1, nullptr);  // the room list is about to be replaced
        std::unique_ptr<uint8_t[]> payload(new uint8_t[length]);
        if (!net_readpayload(payload.get(), length, type))
            break;
        lvc_packet packet{type, payload.get(), length};
        lvc_run(packet_task, &packet);
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

static void netThread(lvc_target target, std::atomic<bool> *done)
{
    tl_reader = true;
    {
        // Waits for the previous reader to end.
        std::lock_guard conn(lvc.connlock);
        if (target.seq == connect_seq) {
            {
                std::lock_guard lock(lvc.sentlock);
                lvc.sent = strlist_free(lvc.sent);
                lvc.held = strlist_free(lvc.held);
            }
            int error = 0;
            lvsock s = socket_connect(target.host, target.port, &error, target.proxytype,
                                      target.proxyhost, target.proxyport);
            if (target.seq != connect_seq) {
                if (s != LVSOCK_INVALID)
                    lvsock_close(s);  // never reported as connected: nothing to report
            } else if (s == LVSOCK_INVALID) {
                lvc_failure(error, nullptr);
            } else {
                netThread_connected(s);
            }
        }
    }
    *done = true;
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
    for (auto it = readers.begin(); it != readers.end();) {
        if (it->done) {
            it->thread.join();
            it = readers.erase(it);
        } else {
            ++it;
        }
    }
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
