// The one platform seam of the protocol client: Winsock 2 on Windows, BSD sockets
// elsewhere, and the few file calls of the conversation logs. Everything above it is the
// same on every build.
#pragma once

#include <cstddef>
#include <cstdint>

using lvsock = intptr_t;
constexpr lvsock LVSOCK_INVALID = -1;

// Starts the socket library (Windows: WSAStartup asking for 2.0). Returns 1 when it runs
// at exactly version 2.0. Returns 0 when it did not start (*error: the library's error
// code), or -1 when it started at another version (*description: the library's own
// description record; the caller stops it again with lvsock_cleanup).
int lvsock_startup(int *error, void **description);
void lvsock_cleanup();
// Dotted IPv4 address or host name to an address in network order. 1, or 0 unresolved.
int lvsock_resolve(const char *host, uint32_t *addr);
lvsock lvsock_tcp();
// A connect that can be given up: begin answers 1 when connected at once, 0 while under
// way, -1 on failure; wait answers the same after waiting up to timeout_ms (< 0: without
// limit). Once connected the socket blocks again. addr in network order, port in host
// order.
int lvsock_connect_begin(lvsock s, uint32_t addr, uint16_t port);
int lvsock_connect_wait(lvsock s, int timeout_ms);
// Connects, waiting as long as it takes: 1 when connected, 0 on failure.
inline int lvsock_connect(lvsock s, uint32_t addr, uint16_t port)
{
    int r = lvsock_connect_begin(s, addr, port);
    while (r == 0)
        r = lvsock_connect_wait(s, -1);
    return r == 1;
}
// Bytes moved, 0 at end of stream, -1 on error. Never raises a signal.
long lvsock_send(lvsock s, const void *buf, size_t n);
long lvsock_recv(lvsock s, void *buf, size_t n);
// As lvsock_recv, but the bytes stay in the socket for the next receive.
long lvsock_peek(lvsock s, void *buf, size_t n);
int lvsock_shutdown(lvsock s);  // both directions; 0 on success, else the error
int lvsock_close(lvsock s);     // 0 on success, else the error
// The peer's address (network order) and port (host order); 1, or 0 on failure.
int lvsock_peer(lvsock s, uint32_t *addr, uint16_t *port);

// Listening on the loopback address, for the local chat service and for tests: port 0
// asks for an ephemeral port; *bound_port receives the port actually bound.
lvsock lvsock_listen(uint16_t port, uint16_t *bound_port);
// The next connection on a listening socket, or LVSOCK_INVALID.
lvsock lvsock_accept(lvsock listener);
// Waits until the socket has something to read (data, a connection or end of stream):
// 1 ready, 0 time-out, -1 error. timeout_ms < 0 waits without limit.
int lvsock_wait_readable(lvsock s, int timeout_ms);
// How many bytes a receive would return at once (0 when nothing has arrived or on error).
// Cheaper than a wait: under Wine it does not ask the Wine server.
long lvsock_pending(lvsock s);

// Log files: opened for appending (every write lands at the end, wherever the file has
// grown to), created when missing. On Windows the file is shared for reading, writing and
// deleting, so that the user can read, move or delete a log while the program keeps it
// open. Bytes are written as they stand: lines end with lvfile_line_end.
using lvfile = intptr_t;
constexpr lvfile LVFILE_INVALID = -1;
lvfile lvfile_open_append(const char *name);
// One system write of all n bytes; 1 when they were written.
int lvfile_write(lvfile f, const void *buf, size_t n);
void lvfile_close(lvfile f);
// The line end of the platform's text files.
extern const char lvfile_line_end[];
