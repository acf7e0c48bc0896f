// Winsock 2 for the Windows builds, and their log files.
#ifdef _WIN32

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string_view>

#include "protocol/socket.h"

// The library's description record outlives lvsock_startup: failure 2 hands it on.
static WSADATA lvsock_wsadata;

int lvsock_startup(int *error, void **description)
{
    *error = 0;
    *description = nullptr;
    int r = WSAStartup(MAKEWORD(2, 0), &lvsock_wsadata);
    if (r != 0) {
        *error = r;
        return 0;
    }
    if (LOBYTE(lvsock_wsadata.wVersion) != 2 || HIBYTE(lvsock_wsadata.wVersion) != 0) {
        *description = &lvsock_wsadata;
        return -1;
    }
    return 1;
}

void lvsock_cleanup()
{
    WSACleanup();
}

int lvsock_resolve(const char *host, uint32_t *addr)
{
    unsigned long a = inet_addr(host);
    if (a != INADDR_NONE || std::string_view(host) == "255.255.255.255") {
        *addr = uint32_t(a);
        return 1;
    }
    // Winsock keeps gethostbyname's result per thread, so concurrent resolvers are safe.
    hostent *h = gethostbyname(host);
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0])
        return 0;
    std::memcpy(addr, h->h_addr_list[0], 4);
    return 1;
}

lvsock lvsock_tcp()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? LVSOCK_INVALID : lvsock(s);
}

static void lvsock_set_blocking(lvsock s, bool blocking)
{
    u_long nonblocking = blocking ? 0 : 1;
    ioctlsocket(SOCKET(s), FIONBIO, &nonblocking);
}

int lvsock_connect_begin(lvsock s, uint32_t addr, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr;
    sa.sin_port = htons(port);
    lvsock_set_blocking(s, false);
    if (connect(SOCKET(s), reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
        lvsock_set_blocking(s, true);
        return 1;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int lvsock_connect_wait(lvsock s, int timeout_ms)
{
    // Winsock reports a finished connect as writable, a failed one as an exception.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(SOCKET(s), &writable);
    FD_SET(SOCKET(s), &failed);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int r = select(0, nullptr, &writable, &failed, timeout_ms < 0 ? nullptr : &tv);
    if (r == 0)
        return 0;
    if (r == SOCKET_ERROR || FD_ISSET(SOCKET(s), &failed))
        return -1;
    lvsock_set_blocking(s, true);
    return 1;
}

// Winsock moves at most INT_MAX bytes per call; the callers loop anyway.
static int lvsock_chunk(size_t n)
{
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : int(n);
}

long lvsock_send(lvsock s, const void *buf, size_t n)
{
    int r = send(SOCKET(s), static_cast<const char *>(buf), lvsock_chunk(n), 0);
    return r == SOCKET_ERROR ? -1 : long(r);
}

long lvsock_recv(lvsock s, void *buf, size_t n)
{
    int r = recv(SOCKET(s), static_cast<char *>(buf), lvsock_chunk(n), 0);
    return r == SOCKET_ERROR ? -1 : long(r);
}

long lvsock_peek(lvsock s, void *buf, size_t n)
{
    int r = recv(SOCKET(s), static_cast<char *>(buf), lvsock_chunk(n), MSG_PEEK);
    return r == SOCKET_ERROR ? -1 : long(r);
}

int lvsock_shutdown(lvsock s)
{
    return shutdown(SOCKET(s), SD_BOTH) == 0 ? 0 : WSAGetLastError();
}

int lvsock_close(lvsock s)
{
    return closesocket(SOCKET(s)) == 0 ? 0 : WSAGetLastError();
}

int lvsock_peer(lvsock s, uint32_t *addr, uint16_t *port)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getpeername(SOCKET(s), reinterpret_cast<sockaddr *>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    *addr = sa.sin_addr.s_addr;
    *port = ntohs(sa.sin_port);
    return 1;
}

lvsock lvsock_listen(uint16_t port, uint16_t *bound_port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return LVSOCK_INVALID;
    // Exclusive use: on Windows SO_REUSEADDR would let another program steal the port.
    BOOL one = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&one), sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    int len = sizeof sa;
    if (bind(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        closesocket(s);
        return LVSOCK_INVALID;
    }
    if (bound_port)
        *bound_port = ntohs(sa.sin_port);
    return lvsock(s);
}

lvsock lvsock_accept(lvsock listener)
{
    SOCKET s = accept(SOCKET(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? LVSOCK_INVALID : lvsock(s);
}

int lvsock_wait_readable(lvsock s, int timeout_ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(SOCKET(s), &set);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int r = select(0, &set, nullptr, nullptr, timeout_ms < 0 ? nullptr : &tv);
    return r == SOCKET_ERROR ? -1 : r > 0 ? 1 : 0;
}

long lvsock_pending(lvsock s)
{
    u_long n = 0;
    return ioctlsocket(SOCKET(s), FIONREAD, &n) == 0 ? long(n) : 0;
}

const char lvfile_line_end[] = "\r\n";

lvfile lvfile_open_append(const char *name)
{
    // Log names are ASCII ("s12.log").
    wchar_t wide[MAX_PATH];
    size_t n = 0;
    for (; name[n] && n + 1 < MAX_PATH; n++)
        wide[n] = static_cast<unsigned char>(name[n]);
    wide[n] = 0;
    HANDLE h = CreateFileW(wide, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? LVFILE_INVALID : reinterpret_cast<lvfile>(h);
}

int lvfile_write(lvfile f, const void *buf, size_t n)
{
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(f), buf, static_cast<DWORD>(n), &written, nullptr) && written == n;
}

void lvfile_close(lvfile f)
{
    CloseHandle(reinterpret_cast<HANDLE>(f));
}

#endif
