// Outgoing packets of any size: the fields go through the wire codec into a buffer that
// grows as they are written, and the header is filled in at the end.
#include "server/server.h"

#include "protocol/wire.h"

void packet_begin(srv_packet *p, int32_t type)
{
    p->type = type;
    p->buf.assign(WIRE_HEADER_SIZE, 0);
}

// A writer over `need` more bytes at the end of the buffer.
static wire_writer packet_grow(srv_packet *p, size_t need)
{
    size_t pos = p->buf.size();
    p->buf.resize(pos + need);
    return wire_writer_make(p->buf.data(), p->buf.size(), pos);
}

void packet_byte(srv_packet *p, uint8_t v)
{
    wire_writer w = packet_grow(p, 1);
    wire_write_byte(&w, v);
}

void packet_int(srv_packet *p, int32_t v)
{
    wire_writer w = packet_grow(p, 4);
    wire_write_int(&w, v);
}

void packet_utf(srv_packet *p, std::string_view s)
{
    size_t n = s.size() < WIRE_UTF_MAX ? s.size() : WIRE_UTF_MAX;
    wire_writer w = packet_grow(p, 2 + n);
    wire_write_utf_n(&w, s.empty() ? "" : s.data(), s.size());  // a default view's data() is null
    p->buf.resize(w.pos);  // a cut text leaves part of the room unused
}

void packet_end(srv_packet *p)
{
    wire_make_header(p->buf.data(), p->type, uint32_t(p->buf.size() - WIRE_HEADER_SIZE));
}
