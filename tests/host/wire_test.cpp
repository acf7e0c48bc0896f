#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/wire.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(WireHeader, PingExampleBytes)
{
    uint8_t h[16];
    wire_make_header(h, 15, 0);
    EXPECT_EQ(Bytes(h, h + 16), (Bytes{0xE9, 0x04, 0xC7, 0xA1, 0xFF, 0xFF, 0xFF, 0xF0,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x31}));
}

TEST(WireHeader, RoundTripAndRejects)
{
    uint8_t h[16];
    wire_make_header(h, 13, 1234);
    int32_t type;
    uint32_t len, words[4];
    ASSERT_EQ(wire_check_header(h, &type, &len, words), 1);
    EXPECT_EQ(type, 13);
    EXPECT_EQ(len, 1234u);

    h[15] ^= 1;  // check word off by one bit
    EXPECT_EQ(wire_check_header(h, &type, &len, words), 0);
    EXPECT_EQ(words[3], wire_get32(h + 12));

    wire_make_header(h, 13, 1234);
    h[0] = 0xE8;  // wrong magic, check word recomputed to match it
    wire_put32(h + 12, (wire_get32(h) + wire_get32(h + 4) + wire_get32(h + 8)) ^ WIRE_MAGIC);
    EXPECT_EQ(wire_check_header(h, &type, &len, words), 0);
    EXPECT_EQ(words[0], 0xE804C7A1u);
}

TEST(WireFields, IntsAndStringsRoundTrip)
{
    uint8_t buf[512];
    wire_writer w = wire_writer_make(buf, sizeof buf, 0);
    wire_write_int(&w, -1);
    wire_write_byte(&w, 0xAB);
    wire_write_utf(&w, "");
    std::string s300(300, 'x');
    wire_write_utf(&w, s300.c_str());
    ASSERT_FALSE(w.overflow);
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xAB, 0x00, 0x00}));
    EXPECT_EQ(buf[7], 0x01);
    EXPECT_EQ(buf[8], 0x2C);

    wire_reader r = wire_reader_make(buf, w.pos);
    EXPECT_EQ(wire_read_int(&r), -1);
    EXPECT_EQ(wire_read_byte(&r), 0xAB);
    char *empty = wire_read_utf(&r);
    EXPECT_STREQ(empty, "");
    char *longer = wire_read_utf(&r);
    EXPECT_EQ(std::string(longer), s300);
    delete[] empty;
    delete[] longer;
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(r.pos, r.end);
}

TEST(WireFields, ReadsPastTheEndYieldZeroAndEmpty)
{
    const uint8_t data[] = {0x00, 0x00, 0x01};
    wire_reader r = wire_reader_make(data, sizeof data);
    EXPECT_EQ(wire_read_int(&r), 0);
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(wire_read_byte(&r), 0);

    const uint8_t cut[] = {0x00, 0x05, 'a', 'b'};  // announces 5 bytes, holds 2
    wire_reader r2 = wire_reader_make(cut, sizeof cut);
    char *s = wire_read_utf(&r2);
    EXPECT_STREQ(s, "");
    EXPECT_TRUE(r2.overrun);
    delete[] s;
}

TEST(WireFields, LongTextIsCutAtCharacterBoundary)
{
    // 10 bytes of room: 2 for the length, 8 for text. "ő" is two bytes (C5 91).
    uint8_t buf[10];
    wire_writer w = wire_writer_make(buf, sizeof buf, 0);
    wire_write_utf(&w, "abcdefg\xC5\x91xyz");  // the 8th and 9th bytes are one character
    ASSERT_FALSE(w.overflow);
    EXPECT_EQ(w.pos, 9u);
    EXPECT_EQ(buf[1], 7);

    wire_write_int(&w, 5);  // no room left: overflow, nothing written
    EXPECT_TRUE(w.overflow);
    EXPECT_EQ(w.pos, 9u);
}

TEST(WireFields, TextIsCutAt65535Bytes)
{
    std::vector<uint8_t> buf(70000);
    std::string big(70000, 'a');
    wire_writer w = wire_writer_make(buf.data(), buf.size(), 0);
    wire_write_utf(&w, big.c_str());
    EXPECT_EQ(w.pos, 2u + 65535u);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[1], 0xFF);
}

}  // namespace
