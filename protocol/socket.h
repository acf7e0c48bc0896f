// The one platform seam of the protocol client: Winsock 2 on Windows, BSD sockets
// elsewhere. Everything above it is the same on every build.
#pragma once

#include <cstddef>
#include <cstdint>

using lvsock = intptr_t;
constexpr lvsock LVSOCK_INVALID = -1;

// Starts the socket library (Windows: WSAStartup for exactly 2.0). Returns 1 or 0 and
// fills *error, *version with what the library said.
int lvsock_startup(int *error, void **description);
void lvsock_cleanup();
// Dotted IPv4 address or host name to an address in network order; 0 when unresolved.
int lvsock_resolve(const char *host, uint32_t *addr);
lvsock lvsock_tcp();
int lvsock_connect(lvsock s, uint32_t addr, uint16_t port);
// Bytes moved, 0 at end of stream, -1 on error.
long lvsock_send(lvsock s, const void *buf, size_t n);
long lvsock_recv(lvsock s, void *buf, size_t n);
int lvsock_shutdown(lvsock s);  // both directions; 0 on success, else the error
int lvsock_close(lvsock s);     // 0 on success, else the error
int lvsock_peer(lvsock s, uint32_t *addr, uint16_t *port);
