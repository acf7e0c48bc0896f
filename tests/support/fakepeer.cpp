#include "tests/support/fakepeer.h"

#include <cstring>

#include "protocol/wire.h"

fakepeer::~fakepeer()
{
    fakepeer_hangup(this);
    if (listener != LVSOCK_INVALID)
        lvsock_close(listener);
}

int fakepeer_listen(fakepeer *p)
{
    p->listener = lvsock_listen(0, &p->port);
    return p->listener != LVSOCK_INVALID;
}

int fakepeer_accept(fakepeer *p, int timeout_ms)
{
    fakepeer_hangup(p);
    if (lvsock_wait_readable(p->listener, timeout_ms) != 1)
        return 0;
    p->conn = lvsock_accept(p->listener);
    return p->conn != LVSOCK_INVALID;
}

void fakepeer_hangup(fakepeer *p)
{
    if (p->conn == LVSOCK_INVALID)
        return;
    lvsock_shutdown(p->conn);
    lvsock_close(p->conn);
    p->conn = LVSOCK_INVALID;
}

int fakepeer_send(fakepeer *p, const void *data, size_t n)
{
    const char *at = static_cast<const char *>(data);
    while (n > 0) {
        long r = lvsock_send(p->conn, at, n);
        if (r <= 0)
            return 0;
        at += r;
        n -= size_t(r);
    }
    return 1;
}

int fakepeer_send(fakepeer *p, const fakepeer_bytes &bytes)
{
    return fakepeer_send(p, bytes.data(), bytes.size());
}

int fakepeer_send_packet(fakepeer *p, int32_t type, const fakepeer_bytes &payload)
{
    return fakepeer_send(p, fakepeer_frame(type, payload));
}

int fakepeer_recv(fakepeer *p, void *data, size_t n, int timeout_ms)
{
    char *at = static_cast<char *>(data);
    while (n > 0) {
        if (lvsock_wait_readable(p->conn, timeout_ms) != 1)
            return 0;
        long r = lvsock_recv(p->conn, at, n);
        if (r <= 0)
            return 0;
        at += r;
        n -= size_t(r);
    }
    return 1;
}

int fakepeer_recv_head(fakepeer *p, std::string *head, int timeout_ms)
{
    head->clear();
    char c;
    while (fakepeer_recv(p, &c, 1, timeout_ms)) {
        head->push_back(c);
        if (head->ends_with("\n\n") || head->ends_with("\n\r\n"))
            return 1;
    }
    return 0;
}

int fakepeer_recv_packet(fakepeer *p, fakepeer_packet *packet, int timeout_ms)
{
    uint8_t hdr[WIRE_HEADER_SIZE];
    uint32_t length;
    if (!fakepeer_recv(p, hdr, sizeof hdr, timeout_ms) ||
        !wire_check_header(hdr, &packet->type, &length, nullptr) || length > WIRE_PAYLOAD_LIMIT)
        return 0;
    packet->payload.assign(length, 0);
    return length == 0 || fakepeer_recv(p, packet->payload.data(), length, timeout_ms);
}

int fakepeer_quiet(fakepeer *p, int timeout_ms)
{
    int r = lvsock_wait_readable(p->conn, timeout_ms);
    if (r == 0)
        return 1;
    char c;
    return r == 1 && lvsock_recv(p->conn, &c, 1) == 0;
}

int fakepeer_wait_eof(fakepeer *p, int timeout_ms)
{
    char buf[4096];
    for (;;) {
        if (lvsock_wait_readable(p->conn, timeout_ms) != 1)
            return 0;
        long r = lvsock_recv(p->conn, buf, sizeof buf);
        if (r <= 0)
            return 1;
    }
}

fakepeer_bytes fakepeer_frame(int32_t type, const fakepeer_bytes &payload)
{
    fakepeer_bytes out(WIRE_HEADER_SIZE + payload.size());
    wire_make_header(out.data(), type, uint32_t(payload.size()));
    if (!payload.empty())
        std::memcpy(out.data() + WIRE_HEADER_SIZE, payload.data(), payload.size());
    return out;
}

void fakepeer_put_byte(fakepeer_bytes *b, uint8_t v)
{
    b->push_back(v);
}

void fakepeer_put_int(fakepeer_bytes *b, int32_t v)
{
    uint8_t four[4];
    wire_put32(four, uint32_t(v));
    b->insert(b->end(), four, four + 4);
}

void fakepeer_put_utf(fakepeer_bytes *b, const std::string &s)
{
    b->push_back(uint8_t(s.size() >> 8));
    b->push_back(uint8_t(s.size()));
    b->insert(b->end(), s.begin(), s.end());
}
