// The single connection's framing on the module's buffers: the outgoing packet under the
// send lock, the decoding cursor of the incoming packet, and the socket read and write
// loops that report progress and errors.
#include <iterator>

#include "protocol/internal.h"

void net_newpacket(int32_t type)
{
    lvc.sendlock.lock();
    lvc.outtype = type;
    lvc.out = wire_writer_make(lvc.outbuf, sizeof lvc.outbuf, WIRE_HEADER_SIZE);
}

void net_writebyte(uint8_t v)
{
    wire_write_byte(&lvc.out, v);
}

void net_writeint(int32_t v)
{
    wire_write_int(&lvc.out, v);
}

size_t net_writeutf(const char *s)
{
    return wire_write_utf(&lvc.out, s ? s : "");
}

// -1 on a socket error, 0 at end of stream, 1 when everything went out.
static int sock_write_all(lvsock s, const void *src, uint32_t count)
{
    const char *at = static_cast<const char *>(src);
    while (count > 0) {
        long r = lvsock_send(s, at, count);
        if (r <= 0)
            return r < 0 ? -1 : 0;
        at += r;
        count -= uint32_t(r);
    }
    return 1;
}

int sock_write(lvsock s, const void *src, uint32_t count)
{
    int r = sock_write_all(s, src, count);
    if (r < 0)
        lvc_failure(LVC_ERR_SEND, nullptr);
    return r == 1;
}

// Frames and writes the packet when `send_it`, then releases the send lock. The failure
// callback runs after the lock is released: a callback may send a request itself.
static int net_finish(bool send_it)
{
    bool failed = false;
    int sent = 0;
    // A packet whose fields overflowed the buffer is dropped whole: a truncated packet
    // would be misread by the server.
    if (send_it && !lvc.out.overflow) {
        size_t total = lvc.out.pos;
        wire_make_header(lvc.outbuf, lvc.outtype, uint32_t(total - WIRE_HEADER_SIZE));
        // Without a connection the socket is invalid: the send fails like a send on a
        // broken connection, and no other socket can receive the bytes.
        failed = lvc.sock == LVSOCK_INVALID || sock_write_all(lvc.sock, lvc.outbuf, uint32_t(total)) < 0;
        sent = 1;
    }
    lvc.sendlock.unlock();
    if (failed)
        lvc_failure(LVC_ERR_SEND, nullptr);
    return sent;
}

int net_packet_fits()
{
    return !lvc.out.overflow;
}

int net_sendpacket()
{
    return net_finish(true);
}

int net_sendpacket_on(uint64_t generation)
{
    return net_finish(lvc.connected && lvc.generation == generation);
}

uint8_t net_readbyte()
{
    return wire_read_byte(&lvc.in);
}

int32_t net_readint()
{
    return wire_read_int(&lvc.in);
}

char *net_readutf()
{
    return wire_read_utf(&lvc.in);
}

void mem_free(char **s)
{
    delete[] *s;
    *s = nullptr;
}

// How often a reader waiting for data looks whether LVC_Close has ended its connection.
constexpr int NET_CLOSE_POLL_MS = 200;

// The receive loop. With `watch_close` (the connection's own socket, on the reader
// thread) waiting for data is done in slices, so that a connection shut down by
// LVC_Close ends like one closed by the server even where the receive is not woken.
static int sock_read_loop(lvsock s, void *dst, uint32_t count, int32_t type, bool watch_close)
{
    char *at = static_cast<char *>(dst);
    uint32_t got = 0;
    while (got < count) {
        if (watch_close && lvsock_wait_readable(s, NET_CLOSE_POLL_MS) == 0) {
            if (lvc.closing)
                return 0;
            continue;
        }
        long r = lvsock_recv(s, at + got, count - got);
        if (r == 0)
            return 0;
        if (r < 0) {
            lvc_failure(LVC_ERR_RECV, nullptr);
            return 0;
        }
        got += uint32_t(r);
        LVC_EvProgress progress{int32_t(got), int32_t(count), type};
        lvc_connection_event(LVC_EV_PROGRESS, &progress);
    }
    return 1;
}

int sock_read(lvsock s, void *dst, uint32_t count, int32_t type)
{
    return sock_read_loop(s, dst, count, type, false);
}

int net_readpayload(void *dst, uint32_t count, int32_t type)
{
    return sock_read_loop(lvc.sock, dst, count, type, true);
}

int net_readheader(int32_t *type, uint32_t *length)
{
    uint8_t hdr[WIRE_HEADER_SIZE];
    if (!net_readpayload(hdr, sizeof hdr, -1))
        return 0;
    LVC_ErrHeader bad;
    // A length beyond the limit is as corrupt as a wrong check word: there is no way to
    // find the next packet, and allocating it could exhaust memory.
    if (wire_check_header(hdr, type, length, bad.words) && *length <= WIRE_PAYLOAD_LIMIT)
        return 1;
    lvc_failure(LVC_ERR_HEADER, &bad);
    return 0;
}

void net_disconnecting()
{
    lvc.connected = 0;
    lvc.connecttime = 0;
}

void lvc_dispatch_packet(int32_t type, const uint8_t *payload, uint32_t length)
{
    lvc.in = wire_reader_make(payload, length);
    if (type >= 0 && type < int32_t(std::size(lvc_handlers)) && lvc_handlers[type])
        lvc_handlers[type](type, length);
}
