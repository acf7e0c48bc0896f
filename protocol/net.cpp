// The single connection's framing on the module's buffers: the outgoing packet under the
// send lock, the reader's receive buffer with the framing of the packets in it, the
// decoding cursor of the incoming packet, and the socket loops that report errors.
#include <algorithm>
#include <cstring>
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

// How often a reader waiting for data looks whether it is to stop.
constexpr int NET_CLOSE_POLL_MS = 200;

long net_recv(void *dst, size_t n)
{
    for (;;) {
        // In a busy room the data is there already: the wait (under Wine a poll set up
        // in its server and a wake-up) is only for an idle connection.
        if (lvsock_pending(lvc.sock) == 0 && lvsock_wait_readable(lvc.sock, NET_CLOSE_POLL_MS) == 0) {
            if (lvc_reader_stopping())
                return 0;
            continue;
        }
        long r = lvsock_recv(lvc.sock, dst, n);
        if (r < 0)
            lvc_failure(LVC_ERR_RECV, nullptr);
        return r;
    }
}

uint8_t *net_framer_space(net_framer *f, size_t *room)
{
    if (f->head > 0) {
        std::memmove(f->buf.data(), f->buf.data() + f->head, f->tail - f->head);
        f->tail -= f->head;
        f->head = 0;
    }
    // The framed part is gone: what is left is the start of one packet, whose header was
    // checked when it arrived whole.
    size_t want = NET_CHUNK;
    if (f->tail >= WIRE_HEADER_SIZE)
        want = std::max(want, WIRE_HEADER_SIZE + size_t(~wire_get32(f->buf.data() + 8)));
    if (f->buf.size() < want) {
        f->buf.resize(want);
    } else if (f->buf.size() > want) {
        f->buf.resize(want);
        f->buf.shrink_to_fit();
    }
    *room = f->buf.size() - f->tail;
    return f->buf.data() + f->tail;
}

static void net_progress(size_t received, size_t wanted, int32_t type)
{
    LVC_EvProgress progress{int32_t(received), int32_t(wanted), type};
    lvc_connection_event(LVC_EV_PROGRESS, &progress);
}

// The header at `at`, which arrived whole with the last receive: checked, with packet
// event 1 raised before a room list's payload. 0 after failure 9.
static int net_new_header(const uint8_t *at, int32_t *type, uint32_t *length)
{
    net_progress(WIRE_HEADER_SIZE, WIRE_HEADER_SIZE, -1);
    LVC_ErrHeader bad;
    // A length beyond the limit is as corrupt as a wrong check word: there is no way to
    // find the next packet, and allocating it could exhaust memory.
    if (!wire_check_header(at, type, length, bad.words) || *length > WIRE_PAYLOAD_LIMIT) {
        lvc_failure(LVC_ERR_HEADER, &bad);
        return 0;
    }
    if (*type == 9)
        lvc_packet_event(1, nullptr);  // the room list is about to be replaced
    return 1;
}

int net_framer_take(net_framer *f, size_t n)
{
    lvc_inbox_hold hold;
    const size_t fresh = f->tail;  // the first byte of this receive
    f->tail += n;
    const uint8_t *buf = f->buf.data();
    size_t pos = f->head;
    int ok = 1;
    while (ok) {
        const size_t avail = f->tail - pos;
        if (avail < WIRE_HEADER_SIZE) {
            if (avail > 0)
                net_progress(avail, WIRE_HEADER_SIZE, -1);
            break;
        }
        int32_t type;
        uint32_t length;
        if (pos + WIRE_HEADER_SIZE > fresh) {
            if (!net_new_header(buf + pos, &type, &length)) {
                ok = 0;
                break;
            }
        } else {
            type = int32_t(~wire_get32(buf + pos + 4));
            length = ~wire_get32(buf + pos + 8);
        }
        const size_t have = std::min(avail - WIRE_HEADER_SIZE, size_t(length));
        if (have > 0 && pos + WIRE_HEADER_SIZE + have > fresh)
            net_progress(have, length, type);
        if (have < length)
            break;
        lvc_packet_arrived(type, buf + pos + WIRE_HEADER_SIZE, length);
        pos += WIRE_HEADER_SIZE + length;
        ok = !lvc.quit;
    }
    f->head = pos;
    return ok;
}

void net_disconnecting()
{
    lvc.connected = 0;
    lvc.connecttime = 0;
}

uint32_t lvc_dispatch_packet(int32_t type, const uint8_t *payload, uint32_t length)
{
    // A callback may drain further packets (a modal loop inside it): the cursor of the
    // packet around it comes back afterwards.
    const wire_reader outer = lvc.in;
    lvc.in = wire_reader_make(payload, length);
    if (type >= 0 && type < int32_t(std::size(lvc_handlers)) && lvc_handlers[type])
        lvc_handlers[type](type, length);
    const auto taken = uint32_t(lvc.in.overrun ? length : lvc.in.pos - payload);
    lvc.in = outer;
    return taken;
}
