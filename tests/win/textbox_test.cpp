// The colour text box as a real control under the platform: appending, the line limit
// and the scroll bar, following the end, wheel and scroll messages, resizing, the
// double-click notification, the right double-click copy, the hand cursor, appends from
// another thread, and the pixels of drawn colour runs and links.
#include "toolkit/textbox.h"
#include "toolkit/textbox_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include "textui_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

struct DblClk {
    int count = 0;
    std::wstring text;
    int32_t userdata = 0;
    uint32_t hit = 0;
};
DblClk g_dblclk;
int g_frame_paints;  // WM_NCPAINTs the box received: its scroll bar drawn

int owner_proc(vel_widget *, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *)
{
    if (msg == WM_NCPAINT)
        g_frame_paints++;
    if (msg == VEL_TEXTBOX_DBLCLK) {
        auto *line = reinterpret_cast<vel_textbox_line *>(wp);
        g_dblclk.count++;
        g_dblclk.text.assign(line->text, static_cast<size_t>(line->length));
        g_dblclk.userdata = line->userdata;
        g_dblclk.hit = static_cast<uint32_t>(lp);
    }
    return VEL_CONTINUE;
}

class TextboxTest : public UiWindowTest {
protected:
    void SetUp() override
    {
        g_dblclk = DblClk{};
        make_window(L"textbox", 400, 300);
        widget = vel_textbox_create(nullptr, window, 0, WS_VSCROLL, L"", 0, 0, 240, 162, 5, nullptr, owner_proc);
        ASSERT_NE(widget, nullptr);
        box = vel_textbox_get(widget);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(vel_textbox_create_and_set_font(widget, 16, L"Arial", 400), nullptr);
        ASSERT_NE(box->link_font, nullptr);
        vel_widget_setbackground(widget, RGB(255, 255, 255));
        wintest_flush();
    }

    void add(const wchar_t *text, const COLORREF *colours = nullptr, int style = 0, int32_t userdata = 0)
    {
        ASSERT_EQ(vel_textbox_add_line_c(widget, text, colours, style, userdata), 1);
    }

    std::vector<std::wstring> texts() const
    {
        std::vector<std::wstring> out;
        if (!box->lines)
            return out;
        for (vel_list_node *n = box->lines->prev;; n = n->prev) {
            auto *l = static_cast<vel_textbox_line *>(n->data);
            out.emplace_back(l->text, static_cast<size_t>(l->length));
            if (n == box->lines)
                break;
        }
        return out;
    }

    SCROLLINFO scroll() const
    {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(widget->hwnd, SB_VERT, &si);
        return si;
    }

    // Client point in the middle of character `index` of the newest line's first row.
    POINT point_in_newest(int index) const
    {
        auto *line = static_cast<vel_textbox_line *>(box->lines->data);
        RECT rc;
        GetClientRect(widget->hwnd, &rc);
        int x = line->x;
        for (int i = 0; i < index; i++)
            x += line->widths[i];
        int page = box->page_rows > 0 ? box->page_rows : 1;
        int first_row = box->total_rows - line->rows;
        int top = rc.bottom - 2 - (box->scroll_pos + page - first_row) * box->row_height;
        return POINT{x + line->widths[index] / 2, top + box->row_height / 2};
    }

    vel_widget *widget = nullptr;
    vel_textbox *box = nullptr;
};

TEST_F(TextboxTest, StartsEmptyWithItsDefaults)
{
    EXPECT_EQ(box->max_lines, 100);
    EXPECT_EQ(box->options, static_cast<uint32_t>(VEL_TEXTBOX_WRAP));
    EXPECT_EQ(box->line_count, 0);
    EXPECT_EQ(box->row_height, widget->metrics.tmHeight + widget->metrics.tmExternalLeading);
    RECT rc;
    GetClientRect(widget->hwnd, &rc);
    EXPECT_EQ(box->wrap_width, rc.right);
    EXPECT_EQ(box->page_rows, (rc.bottom - 2) / box->row_height);
    SCROLLINFO si = scroll();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 0);
    EXPECT_EQ(si.nPos, 0);
}

TEST_F(TextboxTest, SplitsTextAndMeasuresEveryCharacter)
{
    const COLORREF colours[] = {1, 2, 3, 4, 5, 6, 7, 8};
    add(L"a\r\nb\n\nc", colours, 2, 42);
    EXPECT_EQ(texts(), (std::vector<std::wstring>{L"a", L"b", L" ", L"c"}));
    auto *last = static_cast<vel_textbox_line *>(box->lines->data);
    EXPECT_EQ(last->style, 2);
    EXPECT_EQ(last->userdata, 42);
    EXPECT_EQ(vel_textbox_colour_at(last, 0), 7u);  // "c" is the seventh unit
    EXPECT_GT(last->widths[0], 0);
    add(L"");
    add(L"x\n");
    EXPECT_EQ(texts().size(), 7u);
    EXPECT_EQ(texts().back(), L" ");

    // A counted colour array shorter than the text: the rest is colour 0.
    const COLORREF two[] = {RGB(255, 0, 0), RGB(255, 0, 0)};
    ASSERT_EQ(vel_textbox_add_text(widget, L"abcd", 4, two, 2, 0, 0), 1);
    last = static_cast<vel_textbox_line *>(box->lines->data);
    EXPECT_EQ(vel_textbox_colour_at(last, 1), RGB(255, 0, 0));
    EXPECT_EQ(vel_textbox_colour_at(last, 2), 0u);
}

TEST_F(TextboxTest, KeepsOneHundredLinesAndTheScrollRangeCoversThem)
{
    for (int i = 0; i < 150; i++)
        add((L"line " + std::to_wstring(i)).c_str());
    EXPECT_EQ(box->line_count, 100);
    EXPECT_EQ(texts().front(), L"line 50");
    EXPECT_EQ(box->total_rows, 100);
    SCROLLINFO si = scroll();
    EXPECT_EQ(si.nMax, 99);
    EXPECT_EQ(static_cast<int>(si.nPage), box->page_rows);
    EXPECT_EQ(si.nPos, 100 - box->page_rows);
    EXPECT_EQ(si.nPos, box->scroll_pos);
}

TEST_F(TextboxTest, ScrollBarRedrawsAreSpacedDuringABurstAndTheLastValuesArrive)
{
    // One line at a time with the thread idle in between, as a room flood arrives: the
    // bar is drawn at its own pace, not once per line, and catches up by its timer.
    ShowWindow(window->hwnd, SW_SHOWNOACTIVATE);
    wintest_pump_for(150);
    g_frame_paints = 0;
    const DWORD start = GetTickCount();
    for (int i = 0; i < 60; i++) {
        add((L"burst " + std::to_wstring(i)).c_str());
        wintest_flush();
    }
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_LE(g_frame_paints, static_cast<int>(elapsed / 100) + 2) << elapsed << " ms";
    wintest_pump_for(250);
    EXPECT_FALSE(box->bar_dirty);
    EXPECT_FALSE(box->bar_timer);
    EXPECT_GE(g_frame_paints, 1);
    SCROLLINFO si = scroll();
    EXPECT_EQ(si.nPos, box->scroll_pos);
    EXPECT_EQ(si.nMax, box->total_rows - 1);
}

TEST_F(TextboxTest, StaysWhereScrolledAndFollowsTheEndOtherwise)
{
    for (int i = 0; i < 40; i++)
        add((L"line " + std::to_wstring(i)).c_str());
    int end = box->scroll_pos;
    ASSERT_EQ(end, 40 - box->page_rows);
    SendMessageW(widget->hwnd, WM_VSCROLL, SB_LINEUP, 0);
    SendMessageW(widget->hwnd, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(box->scroll_pos, end - 2);
    add(L"more");
    add(L"and more");
    EXPECT_EQ(box->scroll_pos, end - 2);
    EXPECT_EQ(scroll().nPos, end - 2);
    SendMessageW(widget->hwnd, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(box->scroll_pos, end + 2);
    add(L"followed");
    EXPECT_EQ(box->scroll_pos, end + 3);
    EXPECT_EQ(scroll().nPos, end + 3);
    SendMessageW(widget->hwnd, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(box->scroll_pos, 0);
    SendMessageW(widget->hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), 0);
    EXPECT_EQ(box->scroll_pos, 7);
    EXPECT_EQ(scroll().nPos, 7);
}

TEST_F(TextboxTest, WheelScrollsOneLinePerNotch)
{
    for (int i = 0; i < 40; i++)
        add(L"x");
    int end = box->scroll_pos;
    SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
    EXPECT_EQ(box->scroll_pos, end - 2);
    SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 119), 0);
    EXPECT_EQ(box->scroll_pos, end - 2);
    SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(box->scroll_pos, end - 1);
    SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-119)), 0);
    EXPECT_EQ(box->scroll_pos, end - 1);
    // Never past the end.
    SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-600)), 0);
    EXPECT_EQ(box->scroll_pos, end);
}

TEST_F(TextboxTest, ResizeRewrapsAndShowsTheEnd)
{
    const wchar_t *words = L"one two three four five six seven eight nine ten eleven twelve";
    for (int i = 0; i < 20; i++)
        add(words);
    int wide_rows = box->total_rows;
    SendMessageW(widget->hwnd, WM_VSCROLL, SB_TOP, 0);
    MoveWindow(widget->hwnd, 0, 0, 120, 200, TRUE);
    wintest_flush();
    RECT rc;
    GetClientRect(widget->hwnd, &rc);
    EXPECT_EQ(box->wrap_width, rc.right);
    EXPECT_EQ(box->page_rows, (rc.bottom - 2) / box->row_height);
    EXPECT_GT(box->total_rows, wide_rows);
    auto *line = static_cast<vel_textbox_line *>(box->lines->data);
    // Every row but a lone overflowing word fits the new width.
    int first = 0;
    for (int r = 0; r < line->rows; r++) {
        int width = 0;
        for (int i = first; i < first + line->row_lengths[r]; i++)
            width += line->widths[i];
        if (line->row_lengths[r] > 1 && line->text[first + line->row_lengths[r] - 1] == L' ')
            width -= line->widths[first + line->row_lengths[r] - 1];
        EXPECT_LE(width, box->wrap_width) << "row " << r;
        first += line->row_lengths[r];
    }
    EXPECT_EQ(first, line->length);
    EXPECT_EQ(box->scroll_pos, vel_textbox_end_pos(box));
    EXPECT_EQ(scroll().nMax, box->total_rows - 1);
}

TEST_F(TextboxTest, DoubleClickOffALinkNotifiesTheOwner)
{
    box->options |= VEL_TEXTBOX_LIVE_LINKS;
    add(L"hello http://example.org/", nullptr, 0, 1234);
    POINT pt = point_in_newest(1);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(g_dblclk.count, 1);
    EXPECT_EQ(g_dblclk.text, L"hello http://example.org/");
    EXPECT_EQ(g_dblclk.userdata, 1234);
    EXPECT_EQ(g_dblclk.hit, 1u);

    // With links not live, a link is ordinary text for the owner.
    box->options &= ~static_cast<uint32_t>(VEL_TEXTBOX_LIVE_LINKS);
    pt = point_in_newest(8);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(g_dblclk.count, 2);
    EXPECT_EQ(g_dblclk.hit, 8u);

    // Right of the text: the hit says so.
    RECT rc;
    GetClientRect(widget->hwnd, &rc);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(rc.right - 3, pt.y));
    EXPECT_EQ(g_dblclk.count, 3);
    EXPECT_TRUE(g_dblclk.hit & VEL_TEXTBOX_HIT_RIGHT);
}

struct Opened {
    int count = 0;
    std::wstring address;
    int is_email = -1;
};
Opened g_opened;

void record_open(const wchar_t *address, int is_email)
{
    g_opened.count++;
    g_opened.address = address;
    g_opened.is_email = is_email;
}

TEST_F(TextboxTest, DoubleClickOnALiveLinkOpensTheWholeAddress)
{
    EXPECT_EQ(box->opener, vel_textbox_open_address);
    g_opened = Opened{};
    box->opener = record_open;
    box->options |= VEL_TEXTBOX_LIVE_LINKS;
    add(L"see xwww.example.org/a?b=c now");
    POINT pt = point_in_newest(12);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(g_opened.count, 1);
    EXPECT_EQ(g_opened.address, L"www.example.org/a?b=c");
    EXPECT_EQ(g_opened.is_email, 0);
    EXPECT_EQ(g_dblclk.count, 0);  // the owner hears nothing of it

    add(L"write to anna@example.hu please");
    pt = point_in_newest(9);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(g_opened.count, 2);
    EXPECT_EQ(g_opened.address, L"mailto:anna@example.hu");
    EXPECT_EQ(g_opened.is_email, 1);
    EXPECT_EQ(g_dblclk.count, 0);

    // Off the link, on the same line: the owner is told instead.
    pt = point_in_newest(2);
    SendMessageW(widget->hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(g_opened.count, 2);
    EXPECT_EQ(g_dblclk.count, 1);
}

TEST_F(TextboxTest, HandCursorOnlyOverALiveLink)
{
    add(L"go www.example.org now");
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    POINT pt = point_in_newest(5);
    POINT screen = pt;
    ClientToScreen(widget->hwnd, &screen);
    SetCursorPos(screen.x, screen.y);
    POINT now{};
    GetCursorPos(&now);
    if (now.x != screen.x || now.y != screen.y)
        GTEST_SKIP() << "the display does not move the pointer";
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(widget->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(widget->hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), hand);  // links not live
    box->options |= VEL_TEXTBOX_LIVE_LINKS;
    EXPECT_EQ(SendMessageW(widget->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(widget->hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), hand);
    // Over "go" it is not a link.
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    pt = point_in_newest(0);
    screen = pt;
    ClientToScreen(widget->hwnd, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(widget->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(widget->hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), hand);
}

TEST_F(TextboxTest, RightDoubleClickCopiesEverythingOrWithShiftOneLine)
{
    ui_put_clipboard(L"before");
    // An empty box leaves the clipboard alone.
    SendMessageW(widget->hwnd, WM_RBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(ui_clipboard_text(), L"before");
    add(L"first line\nsecond");
    add(L"third");
    SendMessageW(widget->hwnd, WM_RBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(ui_clipboard_text(), L"first line\r\nsecond\r\nthird\r\n");
    POINT pt = point_in_newest(0);
    SendMessageW(widget->hwnd, WM_RBUTTONDBLCLK, MK_SHIFT, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(ui_clipboard_text(), L"third");
    pt.y -= box->row_height;
    SendMessageW(widget->hwnd, WM_RBUTTONDBLCLK, MK_SHIFT, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(ui_clipboard_text(), L"second");
}

TEST_F(TextboxTest, LinesFromAnotherThreadArriveInOrderOnTheWindowThread)
{
    box->max_lines = 1000;
    std::atomic<int> returned{0};
    std::thread writer([&] {
        for (int i = 0; i < 200; i++) {
            EXPECT_EQ(vel_textbox_add_line_c(widget, (L"w" + std::to_wstring(i)).c_str(), nullptr, 0, i), 1);
            returned = i + 1;
        }
    });
    // While this thread takes no messages the writer's first append waits for it: the
    // lines are never touched off the window's thread.
    Sleep(100);
    EXPECT_EQ(returned, 0);
    EXPECT_EQ(box->line_count, 0);
    // Each append is done here before the writer's call returns.
    ASSERT_TRUE(wintest_pump_until([&] { return returned == 200; }));
    writer.join();
    ASSERT_EQ(box->line_count, 200);
    auto t = texts();
    for (int i = 0; i < 200; i++)
        EXPECT_EQ(t[static_cast<size_t>(i)], L"w" + std::to_wstring(i));
    std::thread more([this] { vel_textbox_add_line_c(widget, L"far", nullptr, 0, 0); });
    ASSERT_TRUE(wintest_pump_until([&] { return box->line_count == 201; }));
    more.join();
    add(L"direct");
    t = texts();
    EXPECT_EQ(t[t.size() - 2], L"far");
    EXPECT_EQ(t.back(), L"direct");
}

// Pixels of a line drawn into a white bitmap.
struct Canvas {
    static constexpr int W = 400, H = 40;
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t *bits = nullptr;
    Canvas()
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = W;
        bi.bmiHeader.biHeight = -H;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void *p = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t *>(p);
        old = SelectObject(dc, bmp);
        for (int i = 0; i < W * H; i++)
            bits[i] = 0xFFFFFF;
        SetBkMode(dc, TRANSPARENT);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    // Pixels in columns [x0, x1) close to the colour (0x00BBGGRR).
    int count(int x0, int x1, COLORREF c, int tolerance = 60) const
    {
        int n = 0;
        for (int y = 0; y < H; y++)
            for (int x = x0; x < x1 && x < W; x++) {
                uint32_t px = bits[y * W + x];  // 0x00RRGGBB
                int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
                if (std::abs(r - static_cast<int>(GetRValue(c))) < tolerance &&
                    std::abs(g - static_cast<int>(GetGValue(c))) < tolerance &&
                    std::abs(b - static_cast<int>(GetBValue(c))) < tolerance)
                    n++;
            }
        return n;
    }
    // The longest run of non-white pixels along one row within [x0, x1).
    int longest_row_run(int x0, int x1) const
    {
        int best = 0;
        for (int y = 0; y < H; y++) {
            int run = 0;
            for (int x = x0; x < x1 && x < W; x++) {
                run = (bits[y * W + x] & 0xFFFFFF) != 0xFFFFFF ? run + 1 : 0;
                best = std::max(best, run);
            }
        }
        return best;
    }
};

int width_of(const vel_textbox_line *line, int from, int to)
{
    int w = 0;
    for (int i = from; i < to; i++)
        w += line->widths[i];
    return w;
}

TEST_F(TextboxTest, DrawsColourRunsInTheChosenColourMode)
{
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    std::vector<COLORREF> colours(8, red);
    for (int i = 4; i < 8; i++)
        colours[static_cast<size_t>(i)] = blue;
    add(L"MMMMWWWW", colours.data());
    auto *line = static_cast<vel_textbox_line *>(box->lines->data);
    int split = width_of(line, 0, 4), end = width_of(line, 0, 8);
    // How many pixels of each half the installed face leaves in one colour: the line drawn
    // whole in that plain colour. Runs drawn apart must leave about as many.
    auto plain = [&](COLORREF c, int x0, int x1) {
        box->colour_mode = 2;
        box->plain_colour = c;
        Canvas p;
        vel_textbox_render_line(box, p.dc, line, 0, Canvas::W);
        box->colour_mode = 0;
        return p.count(x0, x1, c);
    };
    const int red_left = plain(red, 0, split), blue_right = plain(blue, split, end);
    const int red_right = plain(red, split, end);
    ASSERT_GT(red_left, 0);
    ASSERT_GT(blue_right, 0);

    {
        Canvas c;
        vel_textbox_render_line(box, c.dc, line, 0, Canvas::W);
        EXPECT_GE(c.count(0, split, red), red_left * 3 / 4);
        EXPECT_EQ(c.count(0, split, blue), 0);
        EXPECT_GE(c.count(split, end, blue), blue_right * 3 / 4);
        EXPECT_EQ(c.count(split, end, red), 0);
    }
    box->colour_mode = 1;  // the whole line in its first colour
    {
        Canvas c;
        vel_textbox_render_line(box, c.dc, line, 0, Canvas::W);
        EXPECT_GE(c.count(split, end, red), red_right * 3 / 4);
        EXPECT_EQ(c.count(0, end, blue), 0);
    }
    box->colour_mode = 2;  // plain colour black
    box->plain_colour = RGB(0, 0, 0);
    {
        Canvas c;
        vel_textbox_render_line(box, c.dc, line, 0, Canvas::W);
        EXPECT_EQ(c.count(0, end, red), 0);
        EXPECT_EQ(c.count(0, end, blue), 0);
        EXPECT_GE(c.count(0, end, RGB(0, 0, 0)), (red_left + red_right) * 3 / 4);
    }
}

TEST_F(TextboxTest, DrawsLinksUnderlinedWithTheLinkStyle)
{
    add(L"ab www.x.hu cd");
    auto *line = static_cast<vel_textbox_line *>(box->lines->data);
    int link_from = width_of(line, 0, 3), link_to = width_of(line, 0, 11);
    {
        Canvas c;
        vel_textbox_render_line(box, c.dc, line, 0, Canvas::W);
        EXPECT_LT(c.longest_row_run(link_from, link_to), (link_to - link_from) * 3 / 4);
    }
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    {
        Canvas c;
        vel_textbox_render_line(box, c.dc, line, 0, Canvas::W);
        // The underline runs under the whole address, but not under "ab".
        EXPECT_GE(c.longest_row_run(link_from, link_to), (link_to - link_from) * 9 / 10);
        EXPECT_LT(c.longest_row_run(0, width_of(line, 0, 2)), width_of(line, 0, 2));
    }
}

TEST_F(TextboxTest, AlignsRightAndCentred)
{
    add(L"right", nullptr, 1);
    auto *line = static_cast<vel_textbox_line *>(box->lines->data);
    int w = width_of(line, 0, line->length);
    Canvas c;
    vel_textbox_render_line(box, c.dc, line, 0, 300);
    EXPECT_EQ(line->x, 300 - w);
    add(L"centre", nullptr, 2);
    line = static_cast<vel_textbox_line *>(box->lines->data);
    w = width_of(line, 0, line->length);
    vel_textbox_render_line(box, c.dc, line, 0, 300);
    EXPECT_EQ(line->x, (300 - w) / 2);
}

// Under Xvfb with LV_TEXTBOX_HOLD_MS set, keeps a box of coloured, wrapped, linked lines
// on screen for that long, for a screenshot.
TEST_F(TextboxTest, Showcase)
{
    const char *hold = std::getenv("LV_TEXTBOX_HOLD_MS");
    MoveWindow(window->hwnd, 20, 20, 520, 360, TRUE);
    widget->w = 500;  // the box's placement, kept when the window is shown
    widget->h = 320;
    vel_widget_adjust_placement(widget, FALSE);
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    box->options |= VEL_TEXTBOX_LIVE_LINKS;
    struct Part {
        const wchar_t *text;
        COLORREF colour;
    } parts[] = {
        {L"[12:01] ", RGB(128, 128, 128)}, {L"<anna> ", RGB(200, 0, 0)},
        {L"szia mindenki, nezzetek meg ezt: http://example.org/hirek/ma es irjatok a velemenyeteket ", RGB(0, 0, 200)},
        {L"a levelcimemre: anna@example.hu koszi!", RGB(0, 140, 0)},
    };
    // Shown from the start and flushed after every line, so what stays on screen is the
    // frames the appends asked for, not one final repaint.
    ShowWindow(window->hwnd, SW_SHOW);
    wintest_flush();
    for (int n = 0; n < 14; n++) {
        std::wstring text;
        std::vector<COLORREF> colours;
        for (const Part &p : parts) {
            text += p.text;
            colours.insert(colours.end(), wcslen(p.text), p.colour);
        }
        std::wstring number = std::to_wstring(n + 1) + L". ";
        text.insert(0, number);
        colours.insert(colours.begin(), number.size(), RGB(0, 0, 0));
        add(text.c_str(), colours.data(), 0, n);
        wintest_flush();
    }
    add(L"- kozepre igazitott sor -", nullptr, 2);
    wintest_flush();
    EXPECT_GT(box->total_rows, box->line_count);  // the long lines wrapped
    EXPECT_GT(box->scroll_pos, 0);                // and overflowed the box
    if (hold) {
        DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(hold));
        while (static_cast<LONG>(until - GetTickCount()) > 0) {
            wintest_flush();
            Sleep(20);
        }
    }
}

} // namespace
