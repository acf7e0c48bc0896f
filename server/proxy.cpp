// The optional HTTP proxy: "CONNECT host:port" tunnels and absolute-URI requests passed on
// to their origin, each client connection bound to one upstream connection. Hosts are
// numeric addresses or localhost: the loop never waits for a name server.
#include "server/server.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cstdlib>

static bool proxy_resolve(std::string_view host, uint32_t *addr)
{
    if (host == "localhost") {
        *addr = 0x7F000001u;
        return true;
    }
    in_addr a{};
    if (inet_pton(AF_INET, std::string(host).c_str(), &a) != 1)
        return false;
    *addr = ntohl(a.s_addr);
    return true;
}

static bool proxy_host_port(std::string_view hp, int def_port, uint32_t *addr, uint16_t *port)
{
    size_t colon = hp.rfind(':');
    long p = def_port;
    if (colon != hp.npos) {
        p = strtol(std::string(hp.substr(colon + 1)).c_str(), nullptr, 10);
        hp = hp.substr(0, colon);
    }
    if (p <= 0 || p > 65535)
        return false;
    *port = uint16_t(p);
    return proxy_resolve(hp, addr);
}

static void proxy_fail(srv_state *S, net_conn *c, const char *status)
{
    std::string a = std::string("HTTP/1.0 ") + status + "\r\nContent-Length: 0\r\n\r\n";
    net_send(S, c, a.data(), a.size());
    c->close_after_flush = true;
    c->in.clear();
}

// The client's request head is complete: open the upstream connection it names.
static void proxy_request(srv_state *S, net_conn *c, size_t head_end)
{
    std::string_view in(reinterpret_cast<const char *>(c->in.data()), c->in.size());
    std::string_view line = in.substr(0, in.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    size_t sp1 = line.find(' '), sp2 = sp1 == line.npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == line.npos) {
        proxy_fail(S, c, "400 Bad Request");
        return;
    }
    std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    uint32_t addr;
    uint16_t port;
    std::string forward;
    if (method == "CONNECT") {
        if (!proxy_host_port(target, 443, &addr, &port)) {
            proxy_fail(S, c, "502 Bad Gateway");
            return;
        }
        c->in.erase(c->in.begin(), c->in.begin() + long(head_end));
    } else if (target.substr(0, 7) == "http://") {
        size_t slash = target.find('/', 7);
        std::string_view hp = target.substr(7, slash == target.npos ? target.npos : slash - 7);
        if (!proxy_host_port(hp, 80, &addr, &port)) {
            proxy_fail(S, c, "502 Bad Gateway");
            return;
        }
        // The origin gets the request in origin form; the rest passes unchanged.
        forward = std::string(method) + " " + std::string(slash == target.npos ? "/" : target.substr(slash)) +
                  std::string(in.substr(sp2));
        c->in.clear();
    } else {
        proxy_fail(S, c, "400 Bad Request");
        return;
    }
    net_conn *u = net_connect(S, addr, port, NET_UPSTREAM);
    if (!u) {
        proxy_fail(S, c, "502 Bad Gateway");
        return;
    }
    c->peer = u;
    u->peer = c;
    u->in.assign(forward.begin(), forward.end());  // held until the connection is made
    u->connecting_connect = method == "CONNECT";
    net_pause_read(S, c, true);
}

void proxy_upstream_ready(srv_state *S, net_conn *u)
{
    net_conn *c = u->peer;
    if (!c || c->dead) {
        net_close(S, u);
        return;
    }
    if (u->connecting_connect) {
        static const char ok[] = "HTTP/1.0 200 Connection established\r\n\r\n";
        net_send(S, c, ok, sizeof ok - 1);
    } else {
        net_send(S, u, u->in.data(), u->in.size());
    }
    u->in.clear();
    if (!c->in.empty()) {
        net_send(S, u, c->in.data(), c->in.size());  // bytes the client sent early
        c->in.clear();
    }
    net_pause_read(S, c, false);
}

void proxy_feed(srv_state *S, net_conn *c)
{
    net_conn *p = c->peer;
    if (c->kind == NET_PROXY && !p) {
        std::string_view in(reinterpret_cast<const char *>(c->in.data()), c->in.size());
        size_t lf = in.find("\n\n"), crlf = in.find("\r\n\r\n");
        size_t end = std::min(lf == in.npos ? lf : lf + 2, crlf == in.npos ? crlf : crlf + 4);
        if (end != in.npos)
            proxy_request(S, c, end);
        return;
    }
    if (!p || p->dead || p->connecting)
        return;
    net_send(S, p, c->in.data(), c->in.size());
    c->in.clear();
    // Back-pressure: stop reading this side while the other side's queue is long.
    if (p->out.size() - p->out_off > S->opt.queue_cap / 4)
        net_pause_read(S, c, true);
}

void proxy_closed(srv_state *S, net_conn *c)
{
    net_conn *p = c->peer;
    c->peer = nullptr;
    if (!p || p->dead)
        return;
    p->peer = nullptr;
    if (c->kind == NET_UPSTREAM && c->connecting) {
        proxy_fail(S, p, "502 Bad Gateway");  // the origin could not be reached
        return;
    }
    if (p->out.size() == p->out_off)
        net_close(S, p);
    else
        p->close_after_flush = true;  // pass on what is still queued, then close
}
