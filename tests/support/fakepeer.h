// A loopback stand-in for a server or proxy in tests: it listens on an ephemeral port of
// 127.0.0.1, accepts the client's connection, sends raw bytes or framed packets to it and
// reads what the client sent, byte for byte or packet by packet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/socket.h"

using fakepeer_bytes = std::vector<uint8_t>;

struct fakepeer {
    lvsock listener = LVSOCK_INVALID;
    lvsock conn = LVSOCK_INVALID;
    uint16_t port = 0;

    fakepeer() = default;
    fakepeer(const fakepeer &) = delete;
    fakepeer &operator=(const fakepeer &) = delete;
    ~fakepeer();
};

// One packet as read back from the client.
struct fakepeer_packet {
    int32_t type;
    fakepeer_bytes payload;
};

// Starts listening; 1 or 0. The socket library must already be running (LVC_Init).
int fakepeer_listen(fakepeer *p);
// Accepts the next connection (closing a previous one); 1, or 0 after timeout_ms.
int fakepeer_accept(fakepeer *p, int timeout_ms = 5000);
// Closes the accepted connection (the client sees end of stream).
void fakepeer_hangup(fakepeer *p);
int fakepeer_send(fakepeer *p, const void *data, size_t n);
int fakepeer_send(fakepeer *p, const fakepeer_bytes &bytes);
int fakepeer_send_packet(fakepeer *p, int32_t type, const fakepeer_bytes &payload);
// Reads exactly n bytes; 0 on end of stream, error or time-out (per wait).
int fakepeer_recv(fakepeer *p, void *data, size_t n, int timeout_ms = 5000);
// Reads bytes up to and including the first "\n\n" or "\n\r\n" (a request head).
int fakepeer_recv_head(fakepeer *p, std::string *head, int timeout_ms = 5000);
// Reads one framed packet; 0 on a bad header, end of stream or time-out.
int fakepeer_recv_packet(fakepeer *p, fakepeer_packet *packet, int timeout_ms = 5000);
// 1 when nothing arrives within timeout_ms (the connection still open or closed quietly).
int fakepeer_quiet(fakepeer *p, int timeout_ms);
// 1 when the client closed its side within timeout_ms (end of stream, data discarded).
int fakepeer_wait_eof(fakepeer *p, int timeout_ms = 5000);

// The framed bytes of one packet.
fakepeer_bytes fakepeer_frame(int32_t type, const fakepeer_bytes &payload);
// Payload builders: append one field in wire order.
void fakepeer_put_byte(fakepeer_bytes *b, uint8_t v);
void fakepeer_put_int(fakepeer_bytes *b, int32_t v);
void fakepeer_put_utf(fakepeer_bytes *b, const std::string &s);
