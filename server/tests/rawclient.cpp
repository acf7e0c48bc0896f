#include "server/tests/rawclient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "protocol/wire.h"

bool rc_start(rc_server *srv, const std::vector<std::string> &extra, bool demo)
{
    signal(SIGPIPE, SIG_IGN);
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return false;
    std::vector<std::string> args = {LVSERVER_PATH, "--chat-port", "0", "--web-port", "0", "--control-port", "0",
                                     "--proxy-port", "0", "--no-stdin", "--count-interval", "1"};
    if (demo) {
        args.insert(args.end(), {"--rooms", LVSERVER_DEMO "/rooms.txt", "--accounts", LVSERVER_DEMO "/accounts.txt"});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        close(pipefd[1]);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    srv->pid = pid;
    // The first line names the ports.
    std::string line;
    char ch;
    pollfd pfd{pipefd[0], POLLIN, 0};
    while (poll(&pfd, 1, 5000) > 0 && read(pipefd[0], &ch, 1) == 1 && ch != '\n')
        line += ch;
    close(pipefd[0]);
    return sscanf(line.c_str(), "lvserver: chat %d web %d control %d proxy %d", &srv->chat, &srv->web, &srv->control,
                  &srv->proxy) == 4;
}

bool rc_alive(rc_server *srv)
{
    int st;
    return srv->pid > 0 && waitpid(srv->pid, &st, WNOHANG) == 0;
}

void rc_stop(rc_server *srv)
{
    if (srv->pid <= 0)
        return;
    kill(srv->pid, SIGTERM);
    int st;
    waitpid(srv->pid, &st, 0);
    srv->pid = -1;
}

static int rc_dial(int port, int rcvbuf = 0)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (rcvbuf > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    sa.sin_addr.s_addr = htonl(0x7F000001);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

static bool rc_write_all(int fd, const void *data, size_t n)
{
    auto *p = static_cast<const uint8_t *>(data);
    while (n > 0) {
        ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0)
            return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

// Reads from `fd` into `out` until `done` says so, the peer closes, or 3 s pass quietly.
template <class D>
static void rc_read_until(int fd, std::string *out, D done)
{
    pollfd pfd{fd, POLLIN, 0};
    char buf[4096];
    while (!done(*out) && poll(&pfd, 1, 3000) > 0) {
        ssize_t k = read(fd, buf, sizeof buf);
        if (k <= 0)
            break;
        out->append(buf, size_t(k));
    }
    close(fd);
}

std::string rc_control(const rc_server &srv, const std::string &line)
{
    int fd = rc_dial(srv.control);
    if (fd < 0)
        return "error: no control port";
    std::string cmd = line + "\n", out;
    rc_write_all(fd, cmd.data(), cmd.size());
    rc_read_until(fd, &out, [](const std::string &o) {
        if (o.empty() || o.back() != '\n')
            return false;
        size_t nl = o.rfind('\n', o.size() - 2);
        std::string last = o.substr(nl == std::string::npos ? 0 : nl + 1);
        return last.rfind("ok", 0) == 0 || last.rfind("error", 0) == 0;
    });
    return out;
}

std::string rc_http(int port, const std::string &request)
{
    int fd = rc_dial(port);
    if (fd < 0)
        return "";
    rc_write_all(fd, request.data(), request.size());
    std::string out;
    rc_read_until(fd, &out, [](const std::string &) { return false; });
    return out;
}

rc_payload &rc_payload::byte(uint8_t v)
{
    b.push_back(v);
    return *this;
}

rc_payload &rc_payload::i32(int32_t v)
{
    size_t n = b.size();
    b.resize(n + 4);
    wire_put32(b.data() + n, uint32_t(v));
    return *this;
}

rc_payload &rc_payload::utf(const std::string &s)
{
    size_t n = b.size();
    b.resize(n + 2 + s.size());
    wire_writer w = wire_writer_make(b.data(), b.size(), n);
    wire_write_utf_n(&w, s.data(), s.size());
    return *this;
}

bool rc_connect(rc_client *c, int port, int rcvbuf)
{
    c->fd = rc_dial(port, rcvbuf);
    return c->fd >= 0;
}

void rc_close(rc_client *c)
{
    if (c->fd >= 0)
        close(c->fd);
    c->fd = -1;
}

bool rc_send_bytes(rc_client *c, const void *data, size_t n)
{
    return rc_write_all(c->fd, data, n);
}

bool rc_send(rc_client *c, int32_t type, const rc_payload &p)
{
    std::vector<uint8_t> buf(WIRE_HEADER_SIZE + p.b.size());
    wire_make_header(buf.data(), type, uint32_t(p.b.size()));
    std::copy(p.b.begin(), p.b.end(), buf.begin() + WIRE_HEADER_SIZE);
    return rc_write_all(c->fd, buf.data(), buf.size());
}

static int64_t rc_now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool rc_read_raw(rc_client *c, rc_packet *out, int ms)
{
    int64_t end = rc_now_ms() + ms;
    for (;;) {
        size_t have = c->in.size() - c->off;
        const uint8_t *at = c->in.data() + c->off;
        if (have >= WIRE_HEADER_SIZE) {
            int32_t type;
            uint32_t len;
            if (!wire_check_header(at, &type, &len, nullptr))
                return false;
            if (have >= WIRE_HEADER_SIZE + len) {
                out->type = type;
                out->data.assign(at + WIRE_HEADER_SIZE, at + WIRE_HEADER_SIZE + len);
                c->off += WIRE_HEADER_SIZE + len;
                return true;
            }
        }
        c->in.erase(c->in.begin(), c->in.begin() + long(c->off));
        c->off = 0;
        int left = int(end - rc_now_ms());
        pollfd pfd{c->fd, POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, left) <= 0)
            return false;
        uint8_t buf[65536];
        ssize_t k = read(c->fd, buf, sizeof buf);
        if (k <= 0)
            return false;
        c->in.insert(c->in.end(), buf, buf + k);
    }
}

bool rc_expect(rc_client *c, int32_t type, rc_packet *out, int ms)
{
    return rc_expect_if(c, type, out, [](const rc_packet &) { return true; }, ms);
}

bool rc_closed(rc_client *c, int ms)
{
    int64_t end = rc_now_ms() + ms;
    uint8_t buf[65536];
    for (;;) {
        int left = int(end - rc_now_ms());
        pollfd pfd{c->fd, POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, left) <= 0)
            return false;
        ssize_t k = read(c->fd, buf, sizeof buf);
        if (k == 0 || (k < 0 && errno == ECONNRESET))
            return true;
    }
}

void rc_drain(rc_client *c, int ms)
{
    rc_packet p;
    c->backlog.clear();
    while (rc_read_raw(c, &p, ms)) {
    }
}

std::string rc_param(const std::string &page, const std::string &name)
{
    std::string key = "<param name='" + name + "' value='";
    size_t at = page.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    return page.substr(at, page.find('\'', at) - at);
}

int rc_login(rc_client *c, const rc_server &srv, const std::string &nick, const std::string &password)
{
    std::string name;
    for (char ch : nick)
        name += ch == ' ' ? std::string("%20") : std::string(1, ch);
    std::string page = rc_http(srv.web, "GET http://127.0.0.1/php/rurizu_clvh.php?ord=58203174469&username=" + name +
                                            " HTTP/1.1\nHost: 127.0.0.1\n\n");
    std::string tokens = rc_param(page, "token9") + rc_param(page, "token13");
    rc_send(c, 1024, rc_payload().utf(tokens).utf(password));
    rc_packet p;
    if (!rc_expect_if(c, -1, &p, [](const rc_packet &q) { return q.type >= 0 && q.type <= 3; }))
        return -1;
    if (p.type == 3) {
        rc_reader r(&p);
        r.i32();
        r.i32();
        c->id = r.i32();
        c->nick = r.utf();
    }
    return p.type;
}

bool rc_join(rc_client *c, const rc_server &srv, const std::string &nick, const std::string &password, int rcvbuf)
{
    rc_packet list;
    return rc_connect(c, srv.chat, rcvbuf) && rc_login(c, srv, nick, password) == 3 && rc_expect(c, 9, &list);
}

bool rc_enter(rc_client *c, int32_t room)
{
    rc_packet p;
    rc_send(c, 5, rc_payload().i32(room));
    return rc_expect(c, 5, &p) && rc_expect(c, 11, &p);
}

std::string rc_reader::utf()
{
    const char *b;
    size_t n = wire_read_utf_view(&r, &b);
    return std::string(b, n);
}
