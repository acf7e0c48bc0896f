// BSD sockets for the host build, and its log files.
#ifndef _WIN32

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "protocol/socket.h"

int lvsock_startup(int *error, void **description)
{
    *error = 0;
    *description = nullptr;
    return 1;
}

void lvsock_cleanup() {}

int lvsock_resolve(const char *host, uint32_t *addr)
{
    in_addr a;
    if (inet_aton(host, &a)) {
        *addr = a.s_addr;
        return 1;
    }
    // getaddrinfo rather than gethostbyname: the reader and login threads resolve at the
    // same time and gethostbyname's static result is not thread-safe here.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res)
        return 0;
    *addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return 1;
}

lvsock lvsock_tcp()
{
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return s < 0 ? LVSOCK_INVALID : lvsock(s);
}

static void lvsock_set_blocking(lvsock s, bool blocking)
{
    int flags = fcntl(int(s), F_GETFL);
    fcntl(int(s), F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

int lvsock_connect_begin(lvsock s, uint32_t addr, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr;
    sa.sin_port = htons(port);
    lvsock_set_blocking(s, false);
    if (connect(int(s), reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
        lvsock_set_blocking(s, true);
        return 1;
    }
    // An interrupted connect goes on by itself, like one in progress.
    return errno == EINPROGRESS || errno == EINTR ? 0 : -1;
}

int lvsock_connect_wait(lvsock s, int timeout_ms)
{
    pollfd p{int(s), POLLOUT, 0};
    int r = poll(&p, 1, timeout_ms);
    if (r == 0 || (r < 0 && errno == EINTR))
        return 0;
    int error = 0;
    socklen_t len = sizeof error;
    if (r < 0 || getsockopt(int(s), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
        return -1;
    lvsock_set_blocking(s, true);
    return 1;
}

long lvsock_send(lvsock s, const void *buf, size_t n)
{
    ssize_t r;
    do
        r = send(int(s), buf, n, MSG_NOSIGNAL);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : long(r);
}

long lvsock_recv(lvsock s, void *buf, size_t n)
{
    ssize_t r;
    do
        r = recv(int(s), buf, n, 0);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : long(r);
}

long lvsock_peek(lvsock s, void *buf, size_t n)
{
    ssize_t r;
    do
        r = recv(int(s), buf, n, MSG_PEEK);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : long(r);
}

int lvsock_shutdown(lvsock s)
{
    return shutdown(int(s), SHUT_RDWR) == 0 ? 0 : errno;
}

int lvsock_close(lvsock s)
{
    return close(int(s)) == 0 ? 0 : errno;
}

int lvsock_peer(lvsock s, uint32_t *addr, uint16_t *port)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getpeername(int(s), reinterpret_cast<sockaddr *>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    *addr = sa.sin_addr.s_addr;
    *port = ntohs(sa.sin_port);
    return 1;
}

lvsock lvsock_listen(uint16_t port, uint16_t *bound_port)
{
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return LVSOCK_INVALID;
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    socklen_t len = sizeof sa;
    if (bind(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        close(s);
        return LVSOCK_INVALID;
    }
    if (bound_port)
        *bound_port = ntohs(sa.sin_port);
    return s;
}

lvsock lvsock_accept(lvsock listener)
{
    int s;
    do
        s = accept4(int(listener), nullptr, nullptr, SOCK_CLOEXEC);
    while (s < 0 && errno == EINTR);
    return s < 0 ? LVSOCK_INVALID : lvsock(s);
}

int lvsock_wait_readable(lvsock s, int timeout_ms)
{
    pollfd p{int(s), POLLIN, 0};
    int r;
    do
        r = poll(&p, 1, timeout_ms);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

long lvsock_pending(lvsock s)
{
    int n = 0;
    return ioctl(int(s), FIONREAD, &n) == 0 && n > 0 ? n : 0;
}

const char lvfile_line_end[] = "\n";

lvfile lvfile_open_append(const char *name)
{
    int fd;
    do
        fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? LVFILE_INVALID : lvfile(fd);
}

int lvfile_write(lvfile f, const void *buf, size_t n)
{
    const char *at = static_cast<const char *>(buf);
    while (n > 0) {
        ssize_t r = write(int(f), at, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return 0;
        at += r;
        n -= size_t(r);
    }
    return 1;
}

void lvfile_close(lvfile f)
{
    close(int(f));
}

#endif
