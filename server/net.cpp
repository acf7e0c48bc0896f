// The event loop: one thread, epoll over non-blocking sockets. Input is read into each
// connection's bounded buffer and handed to the module that owns the connection's kind;
// output is queued per connection (bounded: a peer that stops reading is dropped) and
// flushed once per loop turn, so a burst of packets leaves in few system calls.
// Connections are closed by marking them; their owners hear of it and the records are
// freed at the end of the turn, so no handler ever sees a record vanish under it.
#include "server/server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/wire.h"

// How much unconsumed input each kind may hold. A chat connection needs one whole packet;
// a web request head, a console line or a proxy buffer are small.
static size_t net_in_cap(net_kind k)
{
    switch (k) {
    case NET_CHAT: return WIRE_HEADER_SIZE + SRV_CLIENT_PAYLOAD_MAX;
    case NET_WEB: return 16384;
    default: return 65536;
    }
}

static void net_set_events(srv_state *S, net_conn *c)
{
    epoll_event ev{};
    ev.events = (c->read_paused ? 0u : uint32_t(EPOLLIN)) | (c->want_write || c->connecting ? uint32_t(EPOLLOUT) : 0u);
    ev.data.ptr = c;
    epoll_ctl(S->epfd, EPOLL_CTL_MOD, c->fd, &ev);
}

static net_conn *net_adopt(srv_state *S, int fd, net_kind kind, uint32_t events)
{
    auto c = std::make_unique<net_conn>();
    c->fd = fd;
    c->kind = kind;
    c->opened = S->now;
    epoll_event ev{};
    ev.events = events;
    ev.data.ptr = c.get();
    if (epoll_ctl(S->epfd, EPOLL_CTL_ADD, fd, &ev) != 0)
        return nullptr;
    S->conns.push_back(std::move(c));
    return S->conns.back().get();
}

static void net_clock(srv_state *S)
{
    S->now = time(nullptr);
    S->now_f = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int net_init(srv_state *S)
{
    net_clock(S);
    S->epfd = epoll_create1(EPOLL_CLOEXEC);
    return S->epfd >= 0;
}

int net_listen(srv_state *S, const std::string &addr, int port, net_kind kind)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, addr.c_str(), &sa.sin_addr) != 1)
        return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof sa;
    if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(fd, 1024) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        close(fd);
        return -1;
    }
    net_conn *c = net_adopt(S, fd, NET_LISTEN, EPOLLIN);
    if (!c) {
        close(fd);
        return -1;
    }
    c->listen_for = kind;
    return ntohs(sa.sin_port);
}

net_conn *net_add_stdin(srv_state *S)
{
    int fl = fcntl(0, F_GETFL);
    if (fl < 0)
        return nullptr;
    // epoll refuses regular files and /dev/null: then there is simply no console on stdin.
    net_conn *c = net_adopt(S, 0, NET_STDIN, EPOLLIN);
    if (c)
        fcntl(0, F_SETFL, fl | O_NONBLOCK);
    return c;
}

net_conn *net_connect(srv_state *S, uint32_t addr, uint16_t port, net_kind kind)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(addr);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 && errno != EINPROGRESS) {
        close(fd);
        return nullptr;
    }
    net_conn *c = net_adopt(S, fd, kind, EPOLLIN | EPOLLOUT);
    if (!c) {
        close(fd);
        return nullptr;
    }
    c->connecting = true;
    c->addr = addr;
    c->port = port;
    return c;
}

int net_send(srv_state *S, net_conn *c, const void *data, size_t n)
{
    if (!c || c->dead)
        return 0;
    if (c->kind == NET_STDIN) {
        // The operator's terminal: a blocking write is what a console wants.
        fwrite(data, 1, n, stdout);
        fflush(stdout);
        return 1;
    }
    size_t queued = c->out.size() - c->out_off;
    if (queued + n > S->opt.queue_cap && queued > 0) {
        S->stats.dropped_slow++;
        net_close(S, c);
        return 0;
    }
    if (c->out_off > 0 && c->out_off >= c->out.size() / 2) {
        c->out.erase(c->out.begin(), c->out.begin() + long(c->out_off));
        c->out_off = 0;
    }
    const uint8_t *b = static_cast<const uint8_t *>(data);
    c->out.insert(c->out.end(), b, b + n);
    if (!c->dirty) {
        c->dirty = true;
        S->flush_list.push_back(c);
    }
    return 1;
}

void net_close(srv_state *S, net_conn *c)
{
    if (!c || c->dead)
        return;
    c->dead = true;
    if (c->kind != NET_STDIN) {
        epoll_ctl(S->epfd, EPOLL_CTL_DEL, c->fd, nullptr);
        close(c->fd);
    } else {
        epoll_ctl(S->epfd, EPOLL_CTL_DEL, 0, nullptr);
    }
    c->fd = -1;
}

void net_pause_read(srv_state *S, net_conn *c, bool paused)
{
    if (c->dead || c->read_paused == paused)
        return;
    c->read_paused = paused;
    net_set_events(S, c);
}

static void net_flush(srv_state *S, net_conn *c)
{
    while (!c->dead && c->out_off < c->out.size()) {
        ssize_t k = send(c->fd, c->out.data() + c->out_off, c->out.size() - c->out_off, MSG_NOSIGNAL);
        if (k > 0) {
            c->out_off += size_t(k);
            S->stats.bytes_out += uint64_t(k);
            continue;
        }
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!c->want_write) {
                c->want_write = true;
                net_set_events(S, c);
            }
            return;
        }
        if (k < 0 && errno == EINTR)
            continue;
        net_close(S, c);
        return;
    }
    if (c->dead)
        return;
    c->out.clear();
    c->out.shrink_to_fit();  // a thousand idle connections should not each keep a big buffer
    c->out_off = 0;
    if (c->want_write) {
        c->want_write = false;
        net_set_events(S, c);
    }
    if (c->close_after_flush) {
        shutdown(c->fd, SHUT_WR);
        net_close(S, c);
    } else if (c->peer && c->peer->read_paused) {
        net_pause_read(S, c->peer, false);  // the tunnel drained: read the other side again
    }
}

static void net_accept(srv_state *S, net_conn *l)
{
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        int fd = accept4(l->fd, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (l->listen_for == NET_CHAT && S->chat_clients >= S->opt.max_clients) {
            close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        net_conn *c = net_adopt(S, fd, l->listen_for, EPOLLIN);
        if (!c) {
            close(fd);
            continue;
        }
        c->addr = ntohl(sa.sin_addr.s_addr);
        c->port = ntohs(sa.sin_port);
        S->stats.accepted++;
        if (c->kind == NET_CHAT)
            session_open(S, c);
    }
}

static void net_dispatch(srv_state *S, net_conn *c)
{
    switch (c->kind) {
    case NET_CHAT: session_feed(S, c->sess); break;
    case NET_WEB: web_feed(S, c); break;
    case NET_CONTROL:
    case NET_STDIN: control_feed(S, c); break;
    case NET_PROXY:
    case NET_UPSTREAM: proxy_feed(S, c); break;
    case NET_LISTEN: break;
    }
}

static void net_readable(srv_state *S, net_conn *c)
{
    static uint8_t buf[65536];
    size_t cap = net_in_cap(c->kind);
    size_t room = c->in.size() < cap ? cap - c->in.size() : 0;
    if (room == 0) {
        // The owner could not make sense of a full buffer: nothing more will help.
        S->stats.dropped_bad++;
        net_close(S, c);
        return;
    }
    ssize_t k = read(c->fd, buf, room < sizeof buf ? room : sizeof buf);
    if (k == 0 || (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        net_close(S, c);
        return;
    }
    if (k < 0)
        return;
    c->in.insert(c->in.end(), buf, buf + k);
    net_dispatch(S, c);
}

static void net_writable(srv_state *S, net_conn *c)
{
    if (c->connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(c->fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            net_close(S, c);  // still marked connecting: the owner knows it never got through
            return;
        }
        c->connecting = false;
        net_set_events(S, c);
        proxy_upstream_ready(S, c);
        return;
    }
    net_flush(S, c);
}

// Tells the owners of closed connections, then frees them. An owner's reaction (a user
// leaving his rooms) can close more connections; they are handled in the same sweep.
static void net_reap(srv_state *S)
{
    for (bool again = true; again;) {
        again = false;
        for (size_t i = 0; i < S->conns.size(); i++) {
            net_conn *c = S->conns[i].get();
            if (!c->dead || c->told)
                continue;
            c->told = true;
            again = true;
            if (c->kind == NET_CHAT)
                session_closed(S, c);
            else if (c->kind == NET_PROXY || c->kind == NET_UPSTREAM)
                proxy_closed(S, c);
        }
    }
    size_t w = 0;
    for (size_t i = 0; i < S->conns.size(); i++) {
        if (!S->conns[i]->dead)
            S->conns[w++] = std::move(S->conns[i]);
    }
    S->conns.resize(w);
}

static bool net_any_dead(srv_state *S)
{
    for (auto &c : S->conns)
        if (c->dead)
            return true;
    return false;
}

static void net_flush_all(srv_state *S)
{
    // Flushing may drop a connection and its owner may queue more: loop until quiet.
    while (!S->flush_list.empty()) {
        std::vector<net_conn *> list;
        list.swap(S->flush_list);
        for (net_conn *c : list) {
            c->dirty = false;
            if (!c->dead && !c->connecting)
                net_flush(S, c);
        }
        if (net_any_dead(S))
            net_reap(S);
    }
    if (net_any_dead(S))
        net_reap(S);
}

void net_poll(srv_state *S, int timeout_ms)
{
    epoll_event evs[256];
    int n = epoll_wait(S->epfd, evs, 256, timeout_ms);
    net_clock(S);
    for (int i = 0; i < n; i++) {
        net_conn *c = static_cast<net_conn *>(evs[i].data.ptr);
        if (c->dead)
            continue;
        if (c->kind == NET_LISTEN) {
            net_accept(S, c);
            continue;
        }
        if (evs[i].events & EPOLLOUT)
            net_writable(S, c);
        if (!c->dead && (evs[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
            net_readable(S, c);
    }
    net_flush_all(S);
}

void net_shutdown(srv_state *S)
{
    net_flush_all(S);
    for (auto &c : S->conns)
        net_close(S, c.get());
    net_reap(S);
    if (S->epfd >= 0)
        close(S->epfd);
    S->epfd = -1;
}
