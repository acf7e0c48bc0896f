// The colour text box's line model without a window: splitting, link and e-mail marking,
// word wrap, the line limit, scrolling that follows the end, hit testing and copying.
// Every character measures 10 pixels, rows are 10 pixels high.
#include "toolkit/textbox_layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kCharWidth = 10;

int fixed_width(void *, const wchar_t *, int length, int *widths)
{
    for (int i = 0; i < length; i++)
        widths[i] = kCharWidth;
    return 1;
}

struct Box {
    vel_textbox box{};
    Box(int wrap_width, int page_rows, int max_lines = 100)
    {
        box.row_height = 10;
        box.wrap_width = wrap_width;
        box.page_rows = page_rows;
        box.max_lines = max_lines;
        box.options = VEL_TEXTBOX_WRAP;
    }
    ~Box()
    {
        while (box.lines)
            vel_textbox_free_line(static_cast<vel_textbox_line *>(vel_list_del(&box.lines, box.lines->key)));
    }
    void add(const std::wstring &text)
    {
        int added = 0;
        ASSERT_GE(vel_textbox_append_text(&box, text.c_str(), static_cast<int>(text.size()), nullptr, 0, 0, 0,
                                          fixed_width, nullptr, &added),
                  0);
    }
    // Line texts from the oldest.
    std::vector<std::wstring> texts() const
    {
        std::vector<std::wstring> out;
        if (!box.lines)
            return out;
        for (vel_list_node *n = box.lines->prev;; n = n->prev) {
            auto *l = static_cast<vel_textbox_line *>(n->data);
            out.emplace_back(l->text, static_cast<size_t>(l->length));
            if (n == box.lines)
                break;
        }
        return out;
    }
    vel_textbox_line *newest() const { return static_cast<vel_textbox_line *>(box.lines->data); }
    vel_textbox_line *oldest() const { return static_cast<vel_textbox_line *>(box.lines->prev->data); }
};

vel_textbox_line *make_line(const std::wstring &text, const COLORREF *colours = nullptr, int colour_count = 0)
{
    int consumed = 0;
    return vel_textbox_process_text(text.c_str(), static_cast<int>(text.size()), colours, colour_count, 0, 0,
                                    fixed_width, nullptr, &consumed);
}

// '.' plain, 'L' link, 'E' link and e-mail address.
std::string flag_map(const vel_textbox_line *line)
{
    std::string out;
    for (int i = 0; i < line->length; i++) {
        uint8_t f = line->flags[i];
        out += f == 0 ? '.' : f == VEL_TEXTBOX_LINK ? 'L' : f == (VEL_TEXTBOX_LINK | VEL_TEXTBOX_EMAIL) ? 'E' : '?';
    }
    return out;
}

TEST(TextboxModel, SplitsLinesAtEveryKindOfBreak)
{
    struct Case {
        const wchar_t *text;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"a\r\nb\n\nc", {L"a", L"b", L" ", L"c"}},
        {L"a\n\rb", {L"a", L"b"}},
        {L"a\rb", {L"a", L"b"}},
        {L"a\r\rb", {L"a", L" ", L"b"}},
        {L"a\n", {L"a", L" "}},
        {L"", {L" "}},
        {L"one line", {L"one line"}},
    };
    for (const Case &c : cases) {
        Box b(1000, 10);
        b.add(c.text);
        EXPECT_EQ(b.texts(), c.lines) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(b.box.line_count, static_cast<int>(c.lines.size()));
    }
}

TEST(TextboxModel, TakesColoursPerCharacterAndNeverReadsPastAShortArray)
{
    // Colours run on across the break: the second line starts at the colour after "\r\n".
    const COLORREF colours[] = {1, 2, 3, 4, 5, 6};
    int consumed = 0;
    const std::wstring text = L"ab\r\ncd";
    vel_textbox_line *first = vel_textbox_process_text(text.c_str(), 6, colours, 6, 0, 7, fixed_width, nullptr,
                                                       &consumed);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(consumed, 4);
    EXPECT_EQ(vel_textbox_colour_at(first, 0), 1u);
    EXPECT_EQ(vel_textbox_colour_at(first, 1), 2u);
    EXPECT_EQ(first->userdata, 7);
    vel_textbox_line *second = vel_textbox_process_text(text.c_str() + 4, 2, colours + 4, 2, 0, 0, fixed_width,
                                                        nullptr, &consumed);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(vel_textbox_colour_at(second, 0), 5u);
    EXPECT_EQ(vel_textbox_colour_at(second, 1), 6u);
    vel_textbox_free_line(first);
    vel_textbox_free_line(second);

    // Three colours for a five-character line, in a heap block of exactly that size so
    // that a read past it would show under a checking allocator.
    auto *few = static_cast<COLORREF *>(std::malloc(3 * sizeof(COLORREF)));
    few[0] = 9;
    few[1] = 9;
    few[2] = 9;
    vel_textbox_line *line = make_line(L"abcde", few, 3);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(vel_textbox_colour_at(line, 2), 9u);
    EXPECT_EQ(vel_textbox_colour_at(line, 3), 0u);
    EXPECT_EQ(vel_textbox_colour_at(line, 4), 0u);
    EXPECT_EQ(vel_textbox_run_end(line, 0), 3) << "the given colour ends where the array does";
    EXPECT_EQ(vel_textbox_run_end(line, 3), 5);
    std::free(few);
    vel_textbox_free_line(line);
}

TEST(TextboxModel, KeepsColoursAsRunsThatPaintingWalks)
{
    // "[12] <anna> szia": a grey stamp, a red nick, the text in the line's last colour.
    const COLORREF grey = 0x808080, red = 0x0000FF, text = 0x112233;
    const std::vector<COLORREF> colours = {grey, grey, grey, grey, red, red, red, red, red, red, text, text, text};
    vel_textbox_line *line = make_line(L"[12] <anna> s", colours.data(), static_cast<int>(colours.size()));
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->run_count, 3);
    for (size_t i = 0; i < colours.size(); i++)
        EXPECT_EQ(vel_textbox_colour_at(line, static_cast<int>(i)), colours[i]) << i;
    EXPECT_EQ(vel_textbox_run_end(line, 0), 4);
    EXPECT_EQ(vel_textbox_run_end(line, 4), 10);
    EXPECT_EQ(vel_textbox_run_end(line, 12), 13);
    vel_textbox_free_line(line);

    // One colour for the whole line is one run; no colours at all, none (black).
    const std::vector<COLORREF> blue(5, 0xFF0000);
    line = make_line(L"abcde", blue.data(), 5);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->run_count, 1);
    EXPECT_EQ(vel_textbox_run_end(line, 2), 5);
    vel_textbox_free_line(line);
    line = make_line(L"abcde", nullptr, 0);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->run_count, 0);
    EXPECT_EQ(vel_textbox_colour_at(line, 4), 0u);
    vel_textbox_free_line(line);
}

TEST(TextboxModel, MarksWebAndMailAddresses)
{
    struct Case {
        const wchar_t *text;
        const char *flags;
    } cases[] = {
        {L"http://a.b c", "LLLLLLLLLL.."},
        {L"see http://x.hu now", "....LLLLLLLLLLL...."},
        {L"xhttp://a b", ".LLLLLLLL.."},
        {L"WWW.x.hu", "LLLLLLLL"},
        {L"ftp.a https:b", "LLLLL.LLLLLLL"},
        {L"mailto:me", "LLLLLLLLL"},
        {L"wwwx Http:", ".....LLLLL"},
        {L"mail me@x.hu ok", ".....EEEEEEE..."},
        {L"me@x.hu", "EEEEEEE"},
        {L"a.b@c.d e", "EEEEEEE.."},
        {L"me@xhu x", "........"},
        {L"me@x. y", "......."},
        {L"me@x.", "....."},
        {L"me@.x", "....."},
        {L"a @x.hu", "......."},
        {L"@x.hu", "....."},
        {L"go http://me@x.hu", "...LLLLLLLLLLLLLL"},
        {L"a@b@c.d", "EEEEEEE"},
    };
    for (const Case &c : cases) {
        vel_textbox_line *line = make_line(c.text);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(flag_map(line), c.flags) << testing::PrintToString(std::wstring(c.text));
        vel_textbox_free_line(line);
    }
}

TEST(TextboxModel, WrapsAtBlanksAndNeverSplitsAWord)
{
    struct Case {
        const wchar_t *text;
        int wrap_width;
        std::vector<int> rows;
    } cases[] = {
        // A 300-pixel word in a 200-pixel box stays on one row; the next word starts a new one.
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa bbb", 200, {31, 3}},
        {L"aaaa bbbb cccc", 100, {10, 4}},
        {L"aaaaa", 50, {5}},
        {L"aaaaaa", 50, {6}},
        {L"ab c", 5, {3, 1}},
        {L"a b c d", 30, {4, 3}},
        {L"xx yyyyyyyy zz", 50, {3, 9, 2}},
    };
    for (const Case &c : cases) {
        Box b(c.wrap_width, 10);
        vel_textbox_line *line = make_line(c.text);
        ASSERT_NE(line, nullptr);
        ASSERT_EQ(vel_textbox_process_line(&b.box, line), 1);
        std::vector<int> rows(line->row_lengths, line->row_lengths + line->rows);
        EXPECT_EQ(rows, c.rows) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(line->height, line->rows * 10);
        vel_textbox_free_line(line);
    }
    // Without the wrap option a line is one row whatever its width.
    Box b(20, 10);
    b.box.options = 0;
    vel_textbox_line *line = make_line(L"aaaa bbbb cccc");
    vel_textbox_process_line(&b.box, line);
    EXPECT_EQ(line->rows, 1);
    EXPECT_EQ(line->row_lengths[0], 14);
    vel_textbox_free_line(line);
}

TEST(TextboxModel, RewrapRecountsRowsForANewWidth)
{
    Box b(1000, 10);
    b.add(L"aaaa bbbb cccc\nxx");
    EXPECT_EQ(b.box.total_rows, 2);
    b.box.wrap_width = 50;
    vel_textbox_rewrap(&b.box);
    EXPECT_EQ(b.box.total_rows, 4);
    EXPECT_EQ(b.oldest()->rows, 3);
}

TEST(TextboxModel, KeepsTheNewestLinesUpToTheLimit)
{
    Box b(1000, 10);
    for (int i = 0; i < 150; i++)
        b.add(L"line " + std::to_wstring(i));
    EXPECT_EQ(b.box.line_count, 100);
    EXPECT_EQ(b.box.total_rows, 100);
    EXPECT_EQ(vel_textbox_max_row(&b.box), 99);
    auto texts = b.texts();
    ASSERT_EQ(texts.size(), 100u);
    EXPECT_EQ(texts.front(), L"line 50");
    EXPECT_EQ(texts.back(), L"line 149");

    Box wide(30, 10, 300);
    for (int i = 0; i < 310; i++)
        wide.add(L"aa bb");  // two rows each
    EXPECT_EQ(wide.box.line_count, 300);
    EXPECT_EQ(wide.box.total_rows, 600);
}

TEST(TextboxModel, FollowsTheEndUnlessScrolledUp)
{
    Box b(1000, 10);
    for (int i = 0; i < 5; i++)
        b.add(L"x");
    EXPECT_EQ(b.box.scroll_pos, 0);  // fewer rows than a page: nothing to scroll
    b.add(L"aaa bbb ccc ddd eee fff ggg hhh iii jjj kkk lll mmm nnn ooo ppp qqq");  // 68 chars: one row
    for (int i = 0; i < 20; i++)
        b.add(L"y");
    EXPECT_EQ(b.box.scroll_pos, vel_textbox_end_pos(&b.box));
    EXPECT_EQ(b.box.scroll_pos, 26 - 10);

    // A line of several rows that crosses the page edge is followed too.
    Box c(30, 10);
    for (int i = 0; i < 8; i++)
        c.add(L"x");
    c.add(L"aa bb cc dd");  // four rows
    EXPECT_EQ(c.box.total_rows, 12);
    EXPECT_EQ(c.box.scroll_pos, 2);

    // Scrolled up, the view stays where it was.
    b.box.scroll_pos = 3;
    for (int i = 0; i < 5; i++)
        b.add(L"z");
    EXPECT_EQ(b.box.scroll_pos, 3);
    // Back at the end it follows again.
    b.box.scroll_pos = vel_textbox_end_pos(&b.box);
    b.add(L"z");
    EXPECT_EQ(b.box.scroll_pos, vel_textbox_end_pos(&b.box));
}

TEST(TextboxModel, ScrolledUpViewKeepsItsRowsWhileOldLinesFallOut)
{
    Box b(1000, 10, 50);
    for (int i = 0; i < 50; i++)
        b.add(L"line " + std::to_wstring(i));
    b.box.scroll_pos = 20;  // "line 20" at the top
    for (int i = 50; i < 55; i++)
        b.add(L"line " + std::to_wstring(i));
    EXPECT_EQ(b.box.scroll_pos, 15);
    EXPECT_EQ(b.texts()[15], L"line 20");
    // Once the rows on screen fall out, the view stops at the top.
    for (int i = 55; i < 80; i++)
        b.add(L"line " + std::to_wstring(i));
    EXPECT_EQ(b.box.scroll_pos, 0);
}

TEST(TextboxModel, ScrollRequestsStayInRange)
{
    Box b(1000, 10);
    for (int i = 0; i < 30; i++)
        b.add(L"x");
    // max row 29, page 10: positions 0..20.
    struct Case {
        int pos, code, thumb, expected;
    } cases[] = {
        {5, SB_LINEUP, 0, 4},      {0, SB_LINEUP, 0, 0},     {5, SB_LINEDOWN, 0, 6},
        {20, SB_LINEDOWN, 0, 20},  {19, SB_LINEDOWN, 0, 20}, {15, SB_PAGEUP, 0, 5},
        {5, SB_PAGEUP, 0, 0},      {5, SB_PAGEDOWN, 0, 15},  {15, SB_PAGEDOWN, 0, 20},
        {20, SB_PAGEDOWN, 0, 20},  {5, SB_THUMBTRACK, 12, 12}, {5, SB_THUMBPOSITION, 99, 20},
        {5, SB_TOP, 0, 0},         {5, SB_BOTTOM, 0, 20},    {5, SB_ENDSCROLL, 0, 5},
    };
    for (const Case &c : cases) {
        b.box.scroll_pos = c.pos;
        EXPECT_EQ(vel_textbox_scroll_target(&b.box, c.code, c.thumb), c.expected)
            << "pos " << c.pos << " code " << c.code;
    }
}

TEST(TextboxModel, AWheelTurnMovesAsManySingleStepsWould)
{
    Box b(1000, 10);
    for (int i = 0; i < 30; i++)
        b.add(L"x");
    for (int pos = 0; pos <= vel_textbox_end_pos(&b.box); pos++) {
        for (int notches = -25; notches <= 25; notches++) {
            b.box.scroll_pos = pos;
            int expected = pos;
            for (int k = 0; k < std::abs(notches); k++) {
                b.box.scroll_pos = expected;
                expected = vel_textbox_scroll_target(&b.box, notches > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
            }
            b.box.scroll_pos = pos;
            ASSERT_EQ(vel_textbox_wheel_target(&b.box, notches), expected) << "pos " << pos << " notches " << notches;
        }
    }
}

TEST(TextboxModel, HitTestFindsLineCharacterAndFlags)
{
    // 100 x 102 client: ten rows, row 9 of the page ends at y 100.
    Box b(100, 10);
    for (int i = 0; i < 12; i++)
        b.add(L"line" + std::to_wstring(i));
    b.add(L"aaaa bbbb cccc");  // rows 12 and 13
    ASSERT_EQ(b.box.total_rows, 14);
    ASSERT_EQ(b.box.scroll_pos, 4);
    uint32_t hit = 0;

    // Bottom row: second row of the wrapped line, "cccc" from index 10.
    vel_textbox_line *line = vel_textbox_get_line_from_pos(&b.box, 15, 95, 100, 102, &hit);
    ASSERT_EQ(line, b.newest());
    EXPECT_EQ(hit, 11u);
    // Right of the row's last character.
    line = vel_textbox_get_line_from_pos(&b.box, 70, 95, 100, 102, &hit);
    EXPECT_EQ(hit, 13u | VEL_TEXTBOX_HIT_RIGHT);
    // The row above: first row of the same line.
    line = vel_textbox_get_line_from_pos(&b.box, 0, 85, 100, 102, &hit);
    ASSERT_EQ(line, b.newest());
    EXPECT_EQ(hit, 0u);
    // Top row of the page: row 4, "line4"; a point outside the client area is clamped.
    line = vel_textbox_get_line_from_pos(&b.box, 25, -50, 100, 102, &hit);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::wstring(line->text), L"line4");
    EXPECT_EQ(hit, 2u);

    // Rows that do not fill the box sit at its top; below the newest line the hit is
    // marked off the line.
    Box small(100, 10);
    small.add(L"ab");
    line = vel_textbox_get_line_from_pos(&small.box, 5, 95, 100, 102, &hit);
    ASSERT_EQ(line, small.newest());
    EXPECT_EQ(hit, 0u | VEL_TEXTBOX_HIT_OFFLINE);
    small.add(L"cd\nef");
    small.box.scroll_pos = 0;
    small.box.page_rows = 10;
    line = vel_textbox_get_line_from_pos(&small.box, 5, 5, 100, 102, &hit);
    // The page starts at row 0, so the top row is "ab".
    ASSERT_EQ(line, small.oldest());
    EXPECT_EQ(hit, 0u);
    // A client height that is not whole rows leaves a strip above the top row: a point
    // there lies above the oldest line.
    line = vel_textbox_get_line_from_pos(&small.box, 5, 1, 100, 105, &hit);
    ASSERT_EQ(line, small.oldest());
    EXPECT_EQ(hit, 0u | VEL_TEXTBOX_HIT_OFFLINE);

    Box empty(100, 10);
    EXPECT_EQ(vel_textbox_get_line_from_pos(&empty.box, 5, 5, 100, 102, &hit), nullptr);
}

TEST(TextboxModel, LinkUnderAPointExtendsToTheWholeAddress)
{
    wchar_t out[64];
    int is_email = -1;
    vel_textbox_line *line = make_line(L"see xhttp://a.hu/x?y z mail me@x.hu");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(vel_textbox_get_link(line, 10, out, 64, &is_email), 15);
    EXPECT_STREQ(out, L"http://a.hu/x?y");
    EXPECT_EQ(is_email, 0);
    EXPECT_EQ(vel_textbox_get_link(line, 3, out, 64, &is_email), 0);  // the blank before it
    EXPECT_EQ(vel_textbox_get_link(line, 4, out, 64, &is_email), 0);  // "x" is not part of it
    EXPECT_EQ(vel_textbox_get_link(line, 33, out, 64, &is_email), 7);
    EXPECT_STREQ(out, L"me@x.hu");
    EXPECT_EQ(is_email, 1);
    // Too small a buffer gives nothing rather than a cut address.
    EXPECT_EQ(vel_textbox_get_link(line, 10, out, 5, &is_email), 0);
    vel_textbox_free_line(line);
}

// A font in which unit u is (u % 23) + 1 pixels wide; records what it was asked.
struct Font {
    std::vector<std::wstring> calls;
    bool fail = false;
};

int font_measure(void *context, const wchar_t *text, int length, int *widths)
{
    auto *f = static_cast<Font *>(context);
    f->calls.emplace_back(text, static_cast<size_t>(length));
    if (f->fail)
        return 0;
    for (int i = 0; i < length; i++)
        widths[i] = static_cast<uint16_t>(text[i]) % 23 + 1;
    return 1;
}

std::vector<int> table_widths(vel_textbox_widths *table, const std::wstring &text)
{
    std::vector<int> w(text.size(), -1);
    EXPECT_EQ(vel_textbox_widths_measure(table, text.c_str(), static_cast<int>(text.size()), w.data()), 1);
    return w;
}

std::vector<int> font_widths(const std::wstring &text)
{
    std::vector<int> w;
    for (wchar_t c : text)
        w.push_back(static_cast<uint16_t>(c) % 23 + 1);
    return w;
}

struct Table {
    Font font;
    vel_textbox_widths table{};
    Table() { vel_textbox_widths_init(&table, font_measure, &font); }
    ~Table() { vel_textbox_widths_clear(&table); }
};

TEST(TextboxWidths, LearnsTheCommonRangeAtOnceAndEachNewUnitOnce)
{
    Table t;
    ASSERT_EQ(vel_textbox_widths_reset(&t.table), 1);
    ASSERT_EQ(t.font.calls.size(), 1u);
    EXPECT_EQ(t.font.calls[0].size(), 0x17Fu - 0x20u + 1);
    EXPECT_EQ(t.font.calls[0].front(), L' ');
    EXPECT_EQ(t.font.calls[0].back(), L'\u017F');

    // Hungarian text is known already: no call.
    const std::wstring hu = L"Árvíztűrő tükörfúrógép ŐŰőű";
    EXPECT_EQ(table_widths(&t.table, hu), font_widths(hu));
    EXPECT_EQ(t.font.calls.size(), 1u);

    // The units of a line not seen yet go in one call, each once, in the line's order (a
    // surrogate pair stays whole).
    const std::wstring late = L"a€b漢€c\U0001F600漢 ő";
    EXPECT_EQ(table_widths(&t.table, late), font_widths(late));
    ASSERT_EQ(t.font.calls.size(), 2u);
    EXPECT_EQ(t.font.calls[1], L"€漢\U0001F600");
    EXPECT_EQ(table_widths(&t.table, late), font_widths(late));
    EXPECT_EQ(t.font.calls.size(), 2u);

    // More new units than fit the look-up's own buffer: still one call.
    std::wstring many;
    for (wchar_t c = 0x4E00; c < 0x4E00 + 600; c++)
        many += c;
    EXPECT_EQ(table_widths(&t.table, many), font_widths(many));
    ASSERT_EQ(t.font.calls.size(), 3u);
    EXPECT_EQ(t.font.calls[2], many);

    // Clearing (a new font) forgets everything.
    vel_textbox_widths_clear(&t.table);
    EXPECT_EQ(table_widths(&t.table, L"ab"), font_widths(L"ab"));
    ASSERT_EQ(t.font.calls.size(), 4u);
    EXPECT_EQ(t.font.calls[3], L"ab");
}

TEST(TextboxWidths, AFailedMeasureIsNotRemembered)
{
    Table t;
    t.font.fail = true;
    std::vector<int> w(3, -1);
    EXPECT_EQ(vel_textbox_widths_measure(&t.table, L"xyz", 3, w.data()), 0);
    t.font.fail = false;
    EXPECT_EQ(table_widths(&t.table, L"xyz"), font_widths(L"xyz"));
    EXPECT_EQ(t.font.calls.back(), L"xyz");
}

TEST(TextboxModel, CopiesAllLinesWithBreaksOrOneLineWithout)
{
    Box b(1000, 10);
    size_t length = 99;
    EXPECT_EQ(vel_textbox_copy_text(&b.box, nullptr, &length), nullptr);
    EXPECT_EQ(length, 0u);
    b.add(L"first\nsecond\n\nlast");
    wchar_t *all = vel_textbox_copy_text(&b.box, nullptr, &length);
    ASSERT_NE(all, nullptr);
    EXPECT_STREQ(all, L"first\r\nsecond\r\n \r\nlast\r\n");
    EXPECT_EQ(length, 24u);
    std::free(all);
    wchar_t *one = vel_textbox_copy_text(&b.box, b.oldest(), &length);
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one, L"first");
    EXPECT_EQ(length, 5u);
    std::free(one);
}

} // namespace
