// The chat protocol's wire format, free of any connection: the 16-byte packet header and
// bounded readers and writers of the three field types (byte, big-endian int, utf).
// The client's single connection (net_*) and the local chat service both build on it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t WIRE_MAGIC = 0xE904C7A1u;
constexpr size_t WIRE_HEADER_SIZE = 16;
// The client's outgoing packet buffer, header included.
constexpr size_t WIRE_PACKET_MAX = 8192;
// The largest payload a peer may announce. A full room list is the biggest packet the
// server sends: 50,000 rooms with names and colourful topics of a few hundred bytes each
// stay well below 16 MiB, while a corrupt or hostile length cannot make us allocate more.
constexpr uint32_t WIRE_PAYLOAD_LIMIT = 16u * 1024 * 1024;
// A utf field's length is a 16-bit count.
constexpr size_t WIRE_UTF_MAX = 65535;

void wire_put32(uint8_t *p, uint32_t v);
uint32_t wire_get32(const uint8_t *p);

// Writes the header of a packet of `type` with a payload of `length` bytes.
void wire_make_header(uint8_t *hdr, int32_t type, uint32_t length);
// Checks a received header: magic and check word. On success stores the type and the
// payload length and returns 1; otherwise returns 0. `words` (may be null) receives the
// four words as received either way.
int wire_check_header(const uint8_t *hdr, int32_t *type, uint32_t *length, uint32_t words[4]);

// Decoding cursor over one payload. Reads past the end yield 0 or an empty string and
// set `overrun`; nothing is ever read beyond `end`.
struct wire_reader {
    const uint8_t *pos;
    const uint8_t *end;
    bool overrun;
};

wire_reader wire_reader_make(const uint8_t *data, size_t length);
uint8_t wire_read_byte(wire_reader *r);
int32_t wire_read_int(wire_reader *r);
// A new NUL-terminated copy of the string (free with delete[]); an empty one on overrun.
char *wire_read_utf(wire_reader *r);
// The string's bytes without copying (not NUL-terminated); empty on overrun.
size_t wire_read_utf_view(wire_reader *r, const char **bytes);

// Encoding cursor over a caller's buffer of `cap` bytes. A field that does not fit sets
// `overflow` and writes nothing; a packet with `overflow` set must not be sent.
struct wire_writer {
    uint8_t *buf;
    size_t cap;
    size_t pos;
    bool overflow;
};

wire_writer wire_writer_make(uint8_t *buf, size_t cap, size_t pos);
void wire_write_byte(wire_writer *w, uint8_t v);
void wire_write_int(wire_writer *w, int32_t v);
// Writes the 16-bit length and the bytes. A text longer than 65535 bytes or than the room
// left is cut at the last UTF-8 character boundary that fits; only when not even the
// length fits does the writer overflow. Returns the bytes of the text written.
size_t wire_write_utf(wire_writer *w, const char *s);
size_t wire_write_utf_n(wire_writer *w, const char *s, size_t n);

// The longest prefix of s[0..n) that is at most `max` bytes and does not end inside a
// UTF-8 multi-byte character.
size_t wire_utf8_cut(const char *s, size_t n, size_t max);
