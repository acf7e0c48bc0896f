#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "text/string.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::u16string decode(const std::string &utf8)
{
    std::vector<char16_t> buf(utf8.size() + 1, u'\xFFFF');
    utf8_to_ucs2(buf.data(), utf8.c_str());
    return std::u16string(buf.data());
}

// The units written, embedded 0 units included, up to the terminator the decoder wrote.
std::u16string decode_raw(const std::string &utf8, size_t units)
{
    std::vector<char16_t> buf(utf8.size() + 1, u'\xFFFF');
    utf8_to_ucs2(buf.data(), utf8.c_str());
    return std::u16string(buf.data(), units);
}

std::string encode(const std::u16string &ucs2)
{
    std::vector<char> buf(ucs2.size() * 3 + 1, '\x7F');
    ucs2_to_utf8(buf.data(), ucs2.c_str());
    return std::string(buf.data());
}

struct DecodeCase {
    const char *name;
    std::string utf8;
    std::u16string ucs2;
};

TEST(Encoding, DecodesByTheLeadByteRule)
{
    const DecodeCase cases[] = {
        {"empty", "", u""},
        {"ascii", "szia!", u"szia!"},
        {"hungarian", "\xC3\x81rv\xC3\xADzt\xC5\xB1r\xC5\x91", u"\u00C1rv\u00EDzt\u0171r\u0151"},
        {"euro", "\xE2\x82\xAC", u"\u20AC"},
        {"overlong two-byte slash", "\xC0\xAF", u"/"},
        {"overlong three-byte A", "\xE0\x81\x81", u"A"},
        {"continuation form unchecked", "\xC3\x41", u"\u00C1"},
        {"four-byte form truncated to 16 bits", "\xF0\x9F\x98\x80", u"\uF600"},
        {"stray continuation yields low bits", "\xBFx", u"\u003Fx"},
        {"six-byte lead keeps one bit", "\xFC\x80\x80\x80\x80\x81", u"\u0001"},
        {"cut short at the end is dropped", "ab\xE2\x82", u"ab"},
        {"cut short lead alone", "a\xC3", u"a"},
        {"0xFF takes seven bytes", "\xFF\x81\x81\x81\x81\x81\x81\x81z", u"\u1041z"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(c.utf8), c.ucs2) << c.name;
}

TEST(Encoding, Byte80EndsTheTextEarly)
{
    // 0x80 alone is a one-byte form whose value is 0: the text after it is still written.
    EXPECT_EQ(decode_raw("a\x80" "b", 3), std::u16string(u"a\0b", 3));
    EXPECT_EQ(decode("a\x80" "b"), u"a");
}

TEST(Encoding, DecoderNeverReadsPastTheTerminator)
{
    // A lead byte that promises more bytes than remain: the bytes after the NUL belong to
    // someone else and must not be consumed.
    const char text[] = "\xF7\x80\0\x80\x80";
    const char *p = text;
    uint16_t unit = 0xABCD;
    EXPECT_EQ(utf8_decode_next(&p, &unit), 0);
    EXPECT_EQ(p, text + 2);
    EXPECT_EQ(unit, 0xABCD);
}

struct EncodeCase {
    const char *name;
    std::u16string ucs2;
    std::string utf8;
};

TEST(Encoding, EncodesOneToThreeBytes)
{
    const EncodeCase cases[] = {
        {"empty", u"", ""},
        {"ascii", u"abc", "abc"},
        {"last one-byte", u"\u007F", "\x7F"},
        {"first two-byte", u"\u0080", "\xC2\x80"},
        {"last two-byte", u"\u07FF", "\xDF\xBF"},
        {"first three-byte", u"\u0800", "\xE0\xA0\x80"},
        {"euro", u"\u20AC", "\xE2\x82\xAC"},
        {"highest unit", u"\uFFFF", "\xEF\xBF\xBF"},
        {"surrogates one by one", u"\xD83D\xDE00", "\xED\xA0\xBD\xED\xB8\x80"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(encode(c.ucs2), c.utf8) << c.name;
}

TEST(Encoding, EveryUnitRoundTrips)
{
    std::u16string all;
    for (unsigned u = 1; u <= 0xFFFF; u++)
        all.push_back(static_cast<char16_t>(u));
    EXPECT_EQ(decode(encode(all)), all);
}

TEST(Encoding, HungarianRoundTripKeepsLength)
{
    const std::string word = "\xC3\x81rv\xC3\xADzt\xC5\xB1r\xC5\x91";
    ASSERT_EQ(word.size(), 13u);
    std::u16string wide = decode(word);
    EXPECT_EQ(wide.size(), 9u);
    EXPECT_EQ(encode(wide), word);
}

struct AnsiCase {
    const char *name;
    std::string utf8;
    std::string ansi;  // Windows-1250
};

const AnsiCase ansi_cases[] = {
    {"empty", "", ""},
    {"ascii", "lvchat 1.0", "lvchat 1.0"},
    {"hungarian accents", "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91 t\xC3\xBCk\xC3\xB6rf\xC3\xBAr\xC3\xB3g\xC3\xA9p",
     "\xE1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p"},
    {"upper double acute", "\xC5\x90\xC5\xB0", "\xD5\xDB"},
    {"euro and quotes", "\xE2\x82\xAC\xE2\x80\x9E\xE2\x80\x9D", "\x80\x84\x94"},
    {"polish and czech", "\xC5\x81\xC5\xBA\xC4\x8D", "\xA3\x9F\xE8"},
};

TEST(Encoding, AnsiIsWindows1250)
{
    for (const auto &c : ansi_cases) {
        std::vector<char> ansi(c.utf8.size() + 1, '\x7F');
        EXPECT_EQ(std::string(utf8_to_ansi(ansi.data(), c.utf8.c_str())), c.ansi) << c.name;
        std::vector<char> back(c.ansi.size() * 3 + 1, '\x7F');
        EXPECT_EQ(std::string(ansi_to_utf8(back.data(), c.ansi.c_str())), c.utf8) << c.name;
    }
}

TEST(Encoding, AnsiReplacesWhatTheCodePageLacks)
{
    // Cyrillic and CJK have no Windows-1250 byte: each becomes one replacement byte, and
    // the output never grows beyond the input's length.
    const std::string utf8 = "a\xD0\x96\xE4\xB8\xAD" "b";
    std::vector<char> ansi(utf8.size() + 1, '\x7F');
    std::string out = utf8_to_ansi(ansi.data(), utf8.c_str());
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out.front(), 'a');
    EXPECT_EQ(out.back(), 'b');
    EXPECT_NE(out[1], 0);
    EXPECT_LT(static_cast<unsigned char>(out[1]), 0x80);
}

TEST(Encoding, EveryAnsiByteRoundTrips)
{
    std::string all;
    for (int b = 1; b < 256; b++)
        all.push_back(static_cast<char>(b));
    std::vector<char> utf8(all.size() * 3 + 1);
    ansi_to_utf8(utf8.data(), all.c_str());
    std::vector<char> back(std::strlen(utf8.data()) + 1);
    EXPECT_EQ(std::string(utf8_to_ansi(back.data(), utf8.data())), all);
}

#ifdef _WIN32
TEST(Encoding, WindowsTestsRunWithTheHungarianCodePage)
{
    EXPECT_EQ(GetACP(), 1250u);
}
#endif

}  // namespace
