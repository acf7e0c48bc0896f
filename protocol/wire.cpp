#include "protocol/wire.h"

#include <cstring>

void wire_put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t wire_get32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void wire_make_header(uint8_t *hdr, int32_t type, uint32_t length)
{
    uint32_t t = ~uint32_t(type);
    uint32_t n = ~length;
    wire_put32(hdr, WIRE_MAGIC);
    wire_put32(hdr + 4, t);
    wire_put32(hdr + 8, n);
    wire_put32(hdr + 12, (WIRE_MAGIC + t + n) ^ WIRE_MAGIC);
}

int wire_check_header(const uint8_t *hdr, int32_t *type, uint32_t *length, uint32_t words[4])
{
    uint32_t w[4];
    for (int i = 0; i < 4; i++)
        w[i] = wire_get32(hdr + 4 * i);
    if (words)
        std::memcpy(words, w, sizeof w);
    if (w[0] != WIRE_MAGIC || w[3] != ((w[0] + w[1] + w[2]) ^ WIRE_MAGIC))
        return 0;
    *type = int32_t(~w[1]);
    *length = ~w[2];
    return 1;
}

wire_reader wire_reader_make(const uint8_t *data, size_t length)
{
    return wire_reader{data, data + length, false};
}

static bool reader_has(wire_reader *r, size_t n)
{
    if (!r->overrun && size_t(r->end - r->pos) >= n)
        return true;
    r->overrun = true;
    return false;
}

uint8_t wire_read_byte(wire_reader *r)
{
    return reader_has(r, 1) ? *r->pos++ : 0;
}

int32_t wire_read_int(wire_reader *r)
{
    if (!reader_has(r, 4))
        return 0;
    uint32_t v = wire_get32(r->pos);
    r->pos += 4;
    return int32_t(v);
}

size_t wire_read_utf_view(wire_reader *r, const char **bytes)
{
    *bytes = "";
    if (!reader_has(r, 2))
        return 0;
    size_t n = size_t(r->pos[0]) << 8 | r->pos[1];
    if (size_t(r->end - r->pos) < 2 + n) {
        r->pos = r->end;
        r->overrun = true;
        return 0;
    }
    *bytes = reinterpret_cast<const char *>(r->pos + 2);
    r->pos += 2 + n;
    return n;
}

char *wire_read_utf(wire_reader *r)
{
    const char *bytes;
    size_t n = wire_read_utf_view(r, &bytes);
    char *s = new char[n + 1];
    std::memcpy(s, bytes, n);
    s[n] = 0;
    return s;
}

wire_writer wire_writer_make(uint8_t *buf, size_t cap, size_t pos)
{
    return wire_writer{buf, cap, pos, false};
}

static bool writer_has(wire_writer *w, size_t n)
{
    if (!w->overflow && w->cap - w->pos >= n)
        return true;
    w->overflow = true;
    return false;
}

void wire_write_byte(wire_writer *w, uint8_t v)
{
    if (writer_has(w, 1))
        w->buf[w->pos++] = v;
}

void wire_write_int(wire_writer *w, int32_t v)
{
    if (!writer_has(w, 4))
        return;
    wire_put32(w->buf + w->pos, uint32_t(v));
    w->pos += 4;
}

size_t wire_utf8_cut(const char *s, size_t n, size_t max)
{
    if (n <= max)
        return n;
    size_t cut = max;
    // Back up over continuation bytes to the start of the character that straddles the
    // limit; that character is left out whole.
    while (cut > 0 && (uint8_t(s[cut]) & 0xC0) == 0x80)
        cut--;
    return cut;
}

size_t wire_write_utf_n(wire_writer *w, const char *s, size_t n)
{
    if (!writer_has(w, 2))
        return 0;
    size_t room = w->cap - w->pos - 2;
    n = wire_utf8_cut(s, n, room < WIRE_UTF_MAX ? room : WIRE_UTF_MAX);
    w->buf[w->pos] = uint8_t(n >> 8);
    w->buf[w->pos + 1] = uint8_t(n);
    std::memcpy(w->buf + w->pos + 2, s, n);
    w->pos += 2 + n;
    return n;
}

size_t wire_write_utf(wire_writer *w, const char *s)
{
    return wire_write_utf_n(w, s, std::strlen(s));
}
