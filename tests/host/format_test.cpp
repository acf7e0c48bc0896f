#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "text/string.h"

namespace {

constexpr const char *STAMP = "[10:00:00] ";

struct RoomCase {
    const char *name;
    int kind;
    const char *nick, *prefix, *suffix, *text, *stamp;
    const char *line;
};

TEST(Format, RoomLayouts)
{
    const RoomCase cases[] = {
        {"notice", 1, "anna", "$red$", "!", " bej\xC3\xB6tt.", STAMP, "[10:00:00] $a8d1fd$*** anna bej\xC3\xB6tt."},
        {"ordinary", 2, "anna", "$red$", "", "szia", STAMP, "[10:00:00] <anna> $red$szia"},
        {"ordinary with suffix", 2, "anna", "P", "S", "t", STAMP, "[10:00:00] <anna> PtS"},
        {"action", 3, "anna", "P", "S", "int", STAMP, "[10:00:00] $MAGENTA$anna $MAGENTA$PintS"},
        {"action in pink", 3, "anna", "P", "S", "\x01int", STAMP, "[10:00:00] $ffafaf$anna $ffafaf$PintS"},
        {"action only the marker", 3, "anna", "", "", "\x01", STAMP, "[10:00:00] $ffafaf$anna $ffafaf$"},
        {"hint", 4, "anna", "P", "S", "t", STAMP, "[10:00:00] $ddccff$>>> P$ddccff$tS"},
        {"unknown kind", 7, "nick", "P", "S", "text", STAMP, "[10:00:00] [7] nick: text"},
        {"kind 0", 0, "nick", "P", "S", "text", STAMP, "[10:00:00] [0] nick: text"},
        {"kind counts modulo 256", 258, "anna", "P", "", "t", STAMP, "[10:00:00] <anna> Pt"},
        {"negative kind", -1, "n", "P", "", "t", STAMP, "[10:00:00] [255] n: t"},
        {"no stamp", 2, "anna", "", "", "szia", "", "<anna> szia"},
        {"no stamp notice", 1, "anna", "", "", " ment.", "", "$a8d1fd$*** anna ment."},
        {"missing strings", 2, nullptr, nullptr, nullptr, nullptr, nullptr, "<> "},
        {"percent signs are text", 2, "%s%n", "%d", "%x", "100%s", STAMP, "[10:00:00] <%s%n> %d100%s%x"},
    };
    std::vector<char> line(LVC_LINE_SIZE);
    for (const auto &c : cases) {
        LVC_FormatMessage(line.data(), c.kind, c.nick, c.prefix, c.suffix, c.text, c.stamp);
        EXPECT_STREQ(line.data(), c.line) << c.name;
    }
}

struct PrivateCase {
    int kind;
    const char *text, *stamp;
    const char *line;
};

TEST(Format, PrivateLayouts)
{
    const PrivateCase cases[] = {
        {1, "kil\xC3\xA9pett", STAMP, "[10:00:00] $BLUE$*** kil\xC3\xA9pett"},
        {2, "hi", STAMP, "[10:00:00] $RED$peer hi"},
        {3, "hi", STAMP, "[10:00:00] <peer> hi"},
        {4, "hi", STAMP, "[10:00:00] $RED$me hi"},
        {5, "hi", STAMP, "[10:00:00] <me> hi"},
        {9, "hi", STAMP, "[10:00:00] $GRAY$[9] peer: hi"},
        {-3, "hi", STAMP, "[10:00:00] $GRAY$[-3] peer: hi"},
        {3, "%s%s%s", "", "<peer> %s%s%s"},
    };
    std::vector<char> line(LVC_LINE_SIZE);
    for (const auto &c : cases) {
        LVC_FormatPrivateLine(line.data(), c.kind, "me", "peer", c.text, c.stamp);
        EXPECT_STREQ(line.data(), c.line) << c.kind;
    }
}

TEST(Format, OverlongLinesAreCutAtACharacterBoundary)
{
    // 16384 bytes of room for a text of two-byte characters that does not fit: the line
    // must end at a whole character and never touch the guard after the buffer.
    std::string text;
    while (text.size() < 2 * LVC_LINE_SIZE)
        text += "\xC5\x91";
    for (const char *nick : {"a", "ab"}) {
        std::vector<char> buf(LVC_LINE_SIZE + 64, '#');
        LVC_FormatMessage(buf.data(), 2, nick, "", "$red$", text.c_str(), STAMP);
        size_t len = std::strlen(buf.data());
        EXPECT_LE(len, LVC_LINE_SIZE - 1);
        EXPECT_GE(len, LVC_LINE_SIZE - 2);
        EXPECT_EQ(static_cast<unsigned char>(buf[len - 1]), 0x91) << nick;  // the last character is whole
        EXPECT_EQ(buf[LVC_LINE_SIZE], '#');
        // Nothing that follows the cut field is written after it.
        EXPECT_EQ(std::string(buf.data()).find("$red$"), std::string::npos);
    }
    std::vector<char> buf(LVC_LINE_SIZE + 64, '#');
    LVC_FormatPrivateLine(buf.data(), 3, "me", text.c_str(), "x", STAMP);
    EXPECT_LE(std::strlen(buf.data()), LVC_LINE_SIZE - 1);
    EXPECT_EQ(buf[LVC_LINE_SIZE], '#');
}

struct HiddenCase {
    int kind;
    const char *prefix;
    const char *hidden;
};

TEST(Format, HiddenPrefixKeepsOnlyItsLastColour)
{
    const HiddenCase cases[] = {
        {2, "$00ff00$>>", "$ff00$"},
        {2, "", "$ffffff$"},
        {3, "", "$ff00ff$"},
        {2, nullptr, "$ffffff$"},
        {2, "$red$x$blue$", "$ff$"},
        {2, "$red$x$default$", "$ffffff$"},
        {3, "$red$x$default$", "$ff00ff$"},
        {2, "$black$", "$0$"},
        {2, "$ff8000$", "$ff8000$"},
        // An unclosed name swallows the blank that follows the prefix: not a colour. The
        // text keeps the colour of the prefix's last visible character, or the default.
        {2, "$00ff00", "$ffffff$"},
        {3, "$00ff00", "$ff00ff$"},
        {2, "$red$x$00ff00", "$ff0000$"},
        {2, "$red$ab$", "$ff0000$"},
        {3, "$green$$$", "$ff00$"},
        {2, "$$", "$ffffff$"},
    };
    for (const auto &c : cases) {
        char buf[LVC_HIDDEN_PREFIX_SIZE + 8];
        std::memset(buf, '#', sizeof buf);
        LVC_FormatHiddenPrefix(buf, c.kind, c.prefix);
        EXPECT_STREQ(buf, c.hidden) << (c.prefix ? c.prefix : "(null)");
        EXPECT_EQ(buf[LVC_HIDDEN_PREFIX_SIZE], '#');
    }
}

TEST(Format, TimeStampIsTheLocalTimeOfDay)
{
    time_t when = 1118405109;  // a moment with two-digit fields in every time zone
    std::tm local = *std::localtime(&when);
    char expected[32];
    std::snprintf(expected, sizeof expected, "[%02d:%02d:%02d] ", local.tm_hour, local.tm_min, local.tm_sec);

    char buf[LVC_STAMP_SIZE + 8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_STREQ(LVC_FormatTimeStamp(buf, 1, &when), expected);
    EXPECT_EQ(buf[LVC_STAMP_SIZE], '#');

    EXPECT_STREQ(LVC_FormatTimeStamp(buf, 0, &when), "");
    LVC_FormatTimeStamp(buf, 1, nullptr);
    ASSERT_EQ(std::strlen(buf), 11u);
    EXPECT_EQ(buf[0], '[');
    EXPECT_EQ(buf[3], ':');
    EXPECT_EQ(buf[9], ']');
}

TEST(Format, TimeStampOfALongLocaleFormFitsItsField)
{
    const char *locales[] = {"en_US.UTF-8", "en_US", "English_United States.1252", "English"};
    const char *set = nullptr;
    for (const char *name : locales) {
        if ((set = std::setlocale(LC_TIME, name)))
            break;
    }
    if (!set)
        GTEST_SKIP() << "no locale with a 12-hour time form";
    time_t when = 1118405109;
    char buf[LVC_STAMP_SIZE + 8];
    std::memset(buf, '#', sizeof buf);
    LVC_FormatTimeStamp(buf, 1, &when);
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(buf[LVC_STAMP_SIZE], '#');
    size_t len = std::strlen(buf);
    ASSERT_GE(len, 3u);
    EXPECT_EQ(buf[0], '[');
    EXPECT_EQ(std::string(buf + len - 2), "] ");
}

}  // namespace
