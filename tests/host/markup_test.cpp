#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "text/string.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t DEF = 0x123456;  // a default colour no table entry has

struct Parsed {
    std::u16string text;
    std::vector<uint32_t> colours;
};

Parsed parse(const std::string &src, uint32_t def = DEF)
{
    size_t n = src.size();
    std::vector<char16_t> text(n + 1, u'\xFFFF');
    std::vector<uint32_t> colours(n + 1, 0xDEADBEEF);
    LVC_CStringParserW(text.data(), colours.data(), src.c_str(), def);
    Parsed p{std::u16string(text.data()), {}};
    p.colours.assign(colours.begin(), colours.begin() + static_cast<long>(p.text.size()));
    // Nothing beyond one colour per unit is written.
    EXPECT_EQ(colours[p.text.size()], 0xDEADBEEF) << src;
    return p;
}

struct MarkupCase {
    const char *src;
    std::u16string text;
    std::vector<uint32_t> colours;  // platform order 0x00BBGGRR
};

TEST(Markup, TextAndColours)
{
    const MarkupCase cases[] = {
        {"", u"", {}},
        {"ab", u"ab", {DEF, DEF}},
        {"$red$a$BLUE$b", u"ab", {0x0000FF, 0xFF0000}},
        {"$RED$x", u"x", {0x0000FF}},
        {"$Red$x", u"x", {0x0000FF}},
        {"5$$", u"5$", {DEF, DEF}},
        {"5$", u"5", {DEF}},
        {"$$red$$", u"$red$", {DEF, DEF, DEF, DEF, DEF}},
        {"$ff8000$x", u"x", {0x0080FF}},
        {"$8000$x", u"x", {0x008000}},
        {"$ff$x", u"x", {0xFF0000}},
        {"$AbCdEf$x", u"x", {0xEFCDAB}},
        {"$1ffffff$x", u"x", {0xFFFFFF}},
        {"$123456789$x", u"x", {0x896745}},
        {"$nonsense$x", u"x", {WHITE}},
        {"$12g4$x", u"x", {WHITE}},
        {"$DEFAULT$x", u"x", {DEF}},
        {"$red$a$default$b", u"ab", {0x0000FF, DEF}},
        {"a$red", u"a", {DEF}},
        {"a$b c", u"a", {DEF}},
        {"$green$\xC3\xA1$pink$\xE2\x82\xAC", u"\u00E1\u20AC", {0x00FF00, 0xAFAFFF}},
        {"$orange$o$opcolor4$p", u"op", {0x00C8FF, 0x00C8FF}},
        {"$white$a$lightgray$b$gray$c$darkgray$d$black$e", u"abcde", {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0}},
        {"$yellow$a$magenta$b$cyan$c", u"abc", {0x00FFFF, 0xFF00FF, 0xFFFF00}},
        {"$opcolor1$a$opcolor2$b$opcolor3$c$opcolor5$d", u"abcd", {0x00FF00, 0x0000FF, 0x00FFFF, 0xFFFF00}},
        {"$redd$x", u"x", {WHITE}},
        {"$re$x", u"x", {WHITE}},
    };
    for (const auto &c : cases) {
        Parsed p = parse(c.src);
        EXPECT_EQ(p.text, c.text) << c.src;
        EXPECT_EQ(p.colours, c.colours) << c.src;
    }
}

TEST(Markup, LongNamesAreReadAsHexadecimal)
{
    // A name far longer than any in the table must be collected safely and read as a
    // number: only its low 24 bits count.
    std::string name(5000, 'f');
    name += "0a0b0c";
    Parsed p = parse("$" + name + "$z");
    EXPECT_EQ(p.text, u"z");
    EXPECT_EQ(p.colours, (std::vector<uint32_t>{0x0C0B0A}));
    p = parse("$" + std::string(5000, 'Q') + "$z");
    EXPECT_EQ(p.colours, (std::vector<uint32_t>{WHITE}));
}

TEST(Markup, StrippingNeedsNoColours)
{
    const char *src = "$red$hiba $$5 $nonsense$ok";
    std::vector<char16_t> text(std::strlen(src) + 1);
    LVC_CStringParserW(text.data(), nullptr, src, 0);
    EXPECT_EQ(std::u16string(text.data()), u"hiba $5 ok");
}

TEST(Markup, DecodesCharactersWithTheUtf8Rule)
{
    // A stray continuation byte is a character of its own; a cut sequence at the end is
    // dropped; a "$" inside a multi-byte form is a continuation byte, not markup.
    Parsed p = parse("\xBF$red$\xC3");
    EXPECT_EQ(p.text, u"\u003F");
    p = parse("\xC3$x");
    EXPECT_EQ(p.text, u"\u00E4x");
}

TEST(Markup, FinalColourIsTheColourInForceAtTheEnd)
{
    uint32_t final_colour = 0;
    std::vector<char16_t> text(32);
    EXPECT_EQ(markup_parse(text.data(), nullptr, "ab$blue$", 7, &final_colour), 2u);
    EXPECT_EQ(final_colour, 0xFF0000u);
    EXPECT_EQ(markup_parse(nullptr, nullptr, "$00ff00$>> ", 7, &final_colour), 3u);
    EXPECT_EQ(final_colour, 0x00FF00u);
}

TEST(Markup, AnsiFormConvertsTheText)
{
    const char *src = "$red$\xC5\x91r$$";
    std::vector<char> text(std::strlen(src) + 1, '\x7F');
    std::vector<uint32_t> colours(std::strlen(src));
    LVC_CStringParserA(text.data(), colours.data(), src, 0);
    EXPECT_EQ(std::string(text.data()), "\xF5r$");
    EXPECT_EQ(colours[0], 0x0000FFu);
    EXPECT_EQ(colours[2], 0x0000FFu);
}

}  // namespace
