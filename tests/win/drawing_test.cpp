// The drawing board: drawing messages painted into a room's picture (pixels checked), the
// pair fields, the bound of long texts and absurd numbers, and the board window with its
// picture and its log.

#include <gtest/gtest.h>

#include "tests/win/boxtest.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "ui/chatwnd.h"
#include "ui/drawing.h"
#include "ui/drawwnd.h"
#include "ui/infobox.h"
#include "resources/resource.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF red = RGB(255, 0, 0);
constexpr COLORREF green = RGB(0, 255, 0);
constexpr COLORREF blue = RGB(0, 0, 255);
constexpr COLORREF black = RGB(0, 0, 0);

using pixel_set = std::set<std::pair<int, int>>;

// A room window record made by hand: the picture as the room window makes it (a memory
// surface compatible with the screen holding a 506 x 360 compatible bitmap), painted white.
struct Board {
    chatwnd cw{};
    Room room{};
    char name[16] = "Rajzolo";
    Board()
    {
        HDC screen = GetDC(nullptr);
        cw.board_dc = CreateCompatibleDC(screen);
        cw.board_bitmap = CreateCompatibleBitmap(screen, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT);
        ReleaseDC(nullptr, screen);
        cw.board_old_bitmap = static_cast<HBITMAP>(SelectObject(cw.board_dc, cw.board_bitmap));
        room.id = 42;
        room.name = name;
        cw.room = &room;
        cw.room_id = room.id;
        fill(white);
    }
    ~Board()
    {
        // As the room window does at its close: the board goes first, then the picture.
        if (cw.drawwnd)
            SendMessageW(cw.drawwnd->wnd->hwnd, WM_CLOSE, 0, 0);
        SelectObject(cw.board_dc, cw.board_old_bitmap);
        DeleteObject(cw.board_bitmap);
        DeleteDC(cw.board_dc);
    }
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    void fill(COLORREF colour)
    {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all{0, 0, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT};
        FillRect(cw.board_dc, &all, brush);
        DeleteObject(brush);
    }
    void draw(const std::string &text) { chatwnd_drawing_message(&cw, 2, "rajzolo", text.c_str(), nullptr, 77); }
    COLORREF at(int x, int y) const { return GetPixel(cw.board_dc, x, y); }
    // Every pixel that is not `background`, with the colours seen there.
    pixel_set changed(COLORREF background = white, std::set<COLORREF> *colours = nullptr) const
    {
        pixel_set out;
        for (int y = 0; y < CHATWND_BOARD_HEIGHT; y++)
            for (int x = 0; x < CHATWND_BOARD_WIDTH; x++) {
                COLORREF c = at(x, y);
                if (c != background) {
                    out.insert({x, y});
                    if (colours)
                        colours->insert(c);
                }
            }
        return out;
    }
    int count(COLORREF colour) const
    {
        int n = 0;
        for (int y = 0; y < CHATWND_BOARD_HEIGHT; y++)
            for (int x = 0; x < CHATWND_BOARD_WIDTH; x++)
                n += at(x, y) == colour;
        return n;
    }
};

pixel_set painted(const std::string &text)
{
    Board b;
    b.draw(text);
    return b.changed();
}

TEST(Drawing, ASinglePairSetsOnePixel)
{
    Board b;
    b.draw("//ff0000,3;106,125");
    std::set<COLORREF> colours;
    EXPECT_EQ(b.changed(white, &colours), (pixel_set{{100, 100}}));
    EXPECT_EQ(colours, (std::set<COLORREF>{red}));
}

TEST(Drawing, GreenCorner)
{
    Board b;
    b.draw("//00ff00,1;10,30;5,0;0,5");
    // Each line stops short of its end point, as every line of the platform does.
    pixel_set want;
    for (int x = 4; x <= 9; x++)
        want.insert({x, 5});
    for (int y = 6; y <= 9; y++)
        want.insert({9, y});
    std::set<COLORREF> colours;
    EXPECT_EQ(b.changed(white, &colours), want);
    EXPECT_EQ(colours, (std::set<COLORREF>{green}));
}

TEST(Drawing, WidthOf65536ClearsAndIgnoresThePairs)
{
    Board b;
    b.draw("//ff0000,3;106,125;50,0");
    ASSERT_GT(b.count(red), 0);
    b.draw("//000000,65536;106,125;50,50;10,10");
    EXPECT_EQ(b.count(black), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
    // The width is read with its base: 0x10000 clears too, in the message's colour.
    b.draw("//0000ff,0x10000");
    EXPECT_EQ(b.count(blue), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
    b.draw("//00ff00,0200000;1,1");
    EXPECT_EQ(b.count(green), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
    // Not quite 65536: a stroke, no clearing.
    b.draw("//ff0000,65535;106,125");
    EXPECT_EQ(b.count(red), 1);
}

TEST(Drawing, ABadMoveEndsTheStroke)
{
    // The first move is drawn, the second does not parse, the third is never reached.
    const pixel_set first = painted("//0000ff,0;10,30;5,0");
    ASSERT_EQ(first.size(), 5u);
    for (const char *bad : {"x,1", "", "5", "5,", ",5", "5 ,5", "5,5 ", "5;5", "5,5,5", "08,1", "5,0x"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(painted(std::string("//0000ff,0;10,30;5,0;") + bad + ";0,5"), first);
    }
    // A bad start pair draws nothing at all.
    EXPECT_TRUE(painted("//0000ff,0;10;5,0").empty());
    EXPECT_TRUE(painted("//0000ff,0").empty());
}

TEST(Drawing, WidthsReadWithTheirBase)
{
    const std::string stroke = ";106,125;60,0";
    const pixel_set eight = painted("//ff0000,8" + stroke);
    const pixel_set one = painted("//ff0000,0" + stroke);
    ASSERT_GT(eight.size(), 6 * one.size());
    EXPECT_EQ(painted("//ff0000,010" + stroke), eight);
    EXPECT_EQ(painted("//ff0000,0x8" + stroke), eight);
    EXPECT_EQ(painted("//ff0000,0X08" + stroke), eight);
    EXPECT_EQ(painted("//ff0000,8px" + stroke), eight) << "the width ends where the number does";
    // "08" is an octal 0 followed by a stray digit; no width at all is 0 as well.
    EXPECT_EQ(painted("//ff0000,08" + stroke), one);
    EXPECT_EQ(painted("//ff0000" + stroke), one);
    EXPECT_EQ(painted("//ff0000," + stroke), one);
    EXPECT_EQ(painted("//ff0000,1" + stroke), one);
}

TEST(Drawing, ColourFromTheFirstSixCharacters)
{
    struct Case {
        const char *field;
        COLORREF colour;
    };
    const Case cases[] = {
        {"ff0000", RGB(255, 0, 0)},     {"00FF00", RGB(0, 255, 0)},   {"123456", RGB(0x12, 0x34, 0x56)},
        {"abcdef12,0", RGB(0xAB, 0xCD, 0xEF)}, {"ff,0", RGB(0, 0, 0xFF)}, {"80g000", RGB(0, 0, 0x80)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.field);
        Board b;
        b.draw(std::string("//") + c.field + ";106,125");
        EXPECT_EQ(b.at(100, 100), c.colour);
    }
}

TEST(Drawing, EmptyLastFieldDropped)
{
    const pixel_set stroke = painted("//ff0000,0;10,30;5,0");
    EXPECT_EQ(painted("//ff0000,0;10,30;5,0;"), stroke);
    // An empty field in the middle is a bad pair: only the start pixel.
    EXPECT_EQ(painted("//ff0000,0;10,30;;5,0"), (pixel_set{{4, 5}}));
    for (const char *nothing : {"//", "//;", "//ff0000,3;", "/", "", "/ff0000;106,125", "x//ff0000;106,125"})
        EXPECT_TRUE(painted(nothing).empty()) << nothing;
}

// Exactly `gap` bytes (0, or 4 and more) of zero-length moves: ";0,0", ";00,0" and so on.
std::string zero_moves(size_t gap)
{
    EXPECT_TRUE(gap == 0 || gap >= 4) << gap;
    std::string out;
    while (gap >= 8) {
        out += ";0,0";
        gap -= 4;
    }
    if (gap >= 4)
        out += ";" + std::string(gap - 3, '0') + ",0";
    return out;
}

TEST(Drawing, OverlongTextKeepsTheFieldsThatFit)
{
    // A start at (100, 100), filler, the move ";50,0" ending at byte `move_end` of the text
    // after the slashes, filler up to `total` bytes.
    const std::string head = "ff0000,0;106,125";
    const std::string move = ";50,0";
    auto text = [&](size_t move_end, size_t total) {
        std::string body = head + zero_moves(move_end - move.size() - head.size()) + move;
        return "//" + body + zero_moves(total - body.size());
    };
    const pixel_set line = painted("//" + head + move);
    ASSERT_EQ(line.size(), 50u);
    const pixel_set start{{100, 100}};

    struct Case {
        size_t move_end, total;
        bool drawn;
    };
    const Case cases[] = {
        {DRAWING_TEXT_MAX, DRAWING_TEXT_MAX, true},              // fits exactly
        {DRAWING_TEXT_MAX, DRAWING_TEXT_MAX + 5000, true},       // the ";" right after the limit
        {DRAWING_TEXT_MAX + 1, DRAWING_TEXT_MAX + 5000, false},  // the move is cut: dropped
        {DRAWING_TEXT_MAX + 4, DRAWING_TEXT_MAX + 4, false},
        {DRAWING_TEXT_MAX - 10, DRAWING_TEXT_MAX + 60000, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.move_end);
        const std::string t = text(c.move_end, c.total);
        ASSERT_EQ(t.size(), c.total + 2);
        EXPECT_EQ(painted(t), c.drawn ? line : start);
    }
    // A first field longer than the working copy: nothing is painted.
    EXPECT_TRUE(painted("//ff0000," + std::string(DRAWING_TEXT_MAX, '1') + ";106,125").empty());
}

TEST(Drawing, AbsurdNumbersNeitherHangNorWrap)
{
    {
        // A pen 100000000 wide is drawn as the widest pen, which still covers the picture.
        Board b;
        b.draw("//ff0000,100000000;10,30;100,100");
        EXPECT_EQ(b.count(red), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
        b.draw("//00ff00,2147483647;10,30;1,1");
        EXPECT_EQ(b.count(green), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
        b.draw("//0000ff,-5;106,125;10,0");
        EXPECT_EQ(b.count(blue), 10) << "a negative width is the thinnest pen";
    }
    {
        // Far out and back: the current point never wraps around.
        Board b;
        b.draw("//ff0000,0;106,125;2147483647,0;2147483647,0;-2147483647,0;-2147483647,0");
        EXPECT_EQ(b.at(300, 100), red);
        EXPECT_EQ(b.at(505, 100), red);
        EXPECT_EQ(b.at(50, 100), white);
        EXPECT_EQ(b.count(red), CHATWND_BOARD_WIDTH - 100);
    }
    {
        // From a start far away back through the picture, along y = x - 19.
        Board b;
        b.draw("//ff0000,0;2147483647,2147483647;-2147483647,-2147483647");
        EXPECT_EQ(b.at(100, 81), red);
        EXPECT_EQ(b.at(300, 281), red);
        EXPECT_EQ(b.at(100, 90), white);
    }
    {
        // Numbers beyond the int range count as its ends.
        Board b;
        b.draw("//ff0000,0;99999999999999,-99999999999999;-99999999999999,99999999999999;"
               "-2147483648,-2147483648;0x7fffffffffff,0");
        b.draw("//00ff00,3;106,125;0,-99999999999999999999");
        EXPECT_EQ(b.at(100, 50), green);
        EXPECT_EQ(b.at(100, 0), green);
    }
}

// Every pixel of `a` lies next to (or on) a pixel of `b`.
bool within_a_pixel(const pixel_set &a, const pixel_set &b)
{
    for (auto [x, y] : a) {
        bool close_by = false;
        for (int ny = y - 1; ny <= y + 1 && !close_by; ny++)
            for (int nx = x - 1; nx <= x + 1 && !close_by; nx++)
                close_by = b.count({nx, ny}) > 0;
        if (!close_by)
            return false;
    }
    return true;
}

// Lines are handed to the platform only close_by the picture. Within that reach they are the
// platform's own lines; a line cut further out keeps its course through the picture (its
// cut end rounded to a whole pixel far away moves it by less than a pixel).
TEST(Drawing, CutLinesKeepTheirCourse)
{
    struct Case {
        int width, dx, dy;
        bool cut;
    };
    const Case cases[] = {
        {0, 900, 300, false},   {9, -1100, 250, false}, {40, 30, -1200, false}, {3, 1300, 2, false},
        {0, 3001, 1000, true},  {0, -2999, 777, true},  {0, 17, -4001, true},   {1, 4000, 3999, true},
        {9, 3001, 1000, true},  {9, -1234, -4321, true}, {40, 2500, -999, true}, {200, 3333, 1, true},
        {3, -5000, 2, true},    {0, 1, 5000, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.dx << "," << c.dy);
        Board cut;
        cut.draw("//ff0000," + std::to_string(c.width) + ";206,225;" + std::to_string(c.dx) + "," +
                 std::to_string(c.dy));
        Board whole;
        HPEN pen = CreatePen(PS_SOLID, c.width, red);
        HGDIOBJ old = SelectObject(whole.cw.board_dc, pen);
        SetPixel(whole.cw.board_dc, 200, 200, red);
        MoveToEx(whole.cw.board_dc, 200, 200, nullptr);
        LineTo(whole.cw.board_dc, 200 + c.dx, 200 + c.dy);
        SelectObject(whole.cw.board_dc, old);
        DeleteObject(pen);
        const pixel_set a = cut.changed(), b = whole.changed();
        ASSERT_GT(b.size(), 100u);
        if (c.cut) {
            EXPECT_TRUE(within_a_pixel(a, b));
            EXPECT_TRUE(within_a_pixel(b, a));
        } else {
            EXPECT_EQ(a, b);
        }
    }
}

TEST(Drawing, IntPairs)
{
    struct Case {
        const char *field;
        int valid, first, second;
    };
    const Case cases[] = {
        {"1,2", 1, 1, 2},
        {"-1,-2", 1, -1, -2},
        {"+3,4", 1, 3, 4},
        {"0x10,0X1f", 1, 16, 31},
        {"010,07", 1, 8, 7},
        {"0,0", 1, 0, 0},
        {" 5,\t6", 1, 5, 6},
        {"2147483647,-2147483648", 1, INT_MAX, INT_MIN},
        {"99999999999,-99999999999", 1, INT_MAX, INT_MIN},
        {"0xffffffff,1", 1, INT_MAX, 1},
        {"", 0, 0, 0},
        {",", 0, 0, 0},
        {"1", 0, 0, 0},
        {"1,", 0, 0, 0},
        {",2", 0, 0, 0},
        {"1 ,2", 0, 0, 0},
        {"1,2 ", 0, 0, 0},
        {"1,2,3", 0, 0, 0},
        {"a,1", 0, 0, 0},
        {"1,b", 0, 0, 0},
        {"08,1", 0, 0, 0},
        {"1,09", 0, 0, 0},
        {"0x,1", 0, 0, 0},
        {"1,0x", 0, 0, 0},
        {"1;2", 0, 0, 0},
        {"--1,2", 0, 0, 0},
        {"1,2x", 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.field);
        int a = 12345, b = 54321;
        EXPECT_EQ(get_int_pair(c.field, &a, &b), c.valid);
        EXPECT_EQ(a, c.valid ? c.first : 12345);
        EXPECT_EQ(b, c.valid ? c.second : 54321);
    }
    int a = 0, b = 0;
    EXPECT_EQ(get_int_pair(nullptr, &a, &b), 0);
}

TEST(Drawing, BoundedText)
{
    const std::string fits(DRAWING_TEXT_MAX, '1');
    EXPECT_EQ(drawing_bounded(fits).size(), DRAWING_TEXT_MAX);
    EXPECT_TRUE(drawing_bounded(fits + "1").empty());
    EXPECT_EQ(drawing_bounded("ab;" + fits), "ab");
    EXPECT_EQ(drawing_bounded(fits + ";1,1"), fits);
}

// ---------------------------------------------------------------- the board window

struct DrawWindow : ::testing::Test {
    mainwnd *mw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
    }
    static RECT child_rect(const vel_widget *w)
    {
        RECT rc;
        GetWindowRect(w->hwnd, &rc);
        MapWindowPoints(nullptr, GetParent(w->hwnd), reinterpret_cast<POINT *>(&rc), 2);
        return rc;
    }
};

TEST_F(DrawWindow, ShowsThePictureDrawnBeforeAndAfter)
{
    Board b;
    b.draw("//ff0000,0;106,125;50,0");
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    EXPECT_EQ(b.cw.drawwnd, dw);
    EXPECT_EQ(dw->chat, &b.cw);
    wintest_flush();
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageW(dw->picture_view->hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0)),
              b.cw.board_bitmap);

    // What the control paints is the room's picture, taken from the room's surface.
    auto shown = [&](int x, int y) {
        wintest_canvas canvas(CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT);
        SendMessageW(dw->picture_view->hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()),
                     PRF_CLIENT);
        return canvas.at(x, y);
    };
    EXPECT_EQ(shown(120, 100), red);
    EXPECT_EQ(shown(120, 120), white);
    b.draw("//0000ff,0;106,145;50,0");
    EXPECT_EQ(shown(120, 120), blue);

    // On the screen too, after the board's own refresh.
    HDC screen = GetDC(dw->picture_view->hwnd);
    EXPECT_EQ(GetPixel(screen, 120, 120), blue);
    ReleaseDC(dw->picture_view->hwnd, screen);
}

TEST_F(DrawWindow, LogsOnlyWhatArrivesWhileOpen)
{
    Board b;
    b.draw("//ff0000,0;106,125;50,0");
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    EXPECT_EQ(boxtest_text(dw->log_view), L"") << "earlier messages are painted, not logged";
    b.draw("//00ff00,2;106,145;5,5");
    b.draw("//000000,65536");
    b.draw("//\xc3\xa1rv\xc3\xadz");
    EXPECT_EQ(boxtest_text(dw->log_view), L"///00ff00,2;106,145;5,5\n///000000,65536\n///\u00e1rv\u00edz\n");
    EXPECT_EQ(b.count(black), CHATWND_BOARD_WIDTH * CHATWND_BOARD_HEIGHT);
}

TEST_F(DrawWindow, LogKeepsItsNewestLines)
{
    Board b;
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    EXPECT_EQ(dw->log_max, DRAWWND_LOG_MAX);
    EXPECT_EQ(SendMessageW(dw->log_view->hwnd, EM_GETLIMITTEXT, 0, 0), DRAWWND_LOG_MAX)
        << "the control itself would stop far earlier";
    // A small bound, so that the rich edit of the test platform keeps up.
    dw->log_max = 3000;
    auto message = [](int i) { return "//ff0000,0;106,125;" + std::string(200, '0') + "," + std::to_string(i); };
    const size_t line_size = message(100).size() + 2;  // one more slash, the line break
    const int count = static_cast<int>(dw->log_max / static_cast<long>(line_size)) * 3;
    for (int i = 100; i < 100 + count; i++) {
        b.draw(message(i));
        ASSERT_LE(static_cast<long>(boxtest_text(dw->log_view).size()), dw->log_max) << i;
    }
    const std::wstring log = boxtest_text(dw->log_view);
    EXPECT_GT(static_cast<long>(log.size()), dw->log_max - static_cast<long>(line_size));
    // Whole lines only, the newest last, the oldest gone.
    const std::string last = "/" + message(100 + count - 1) + "\n";
    EXPECT_EQ(log.substr(0, 3), L"///");
    EXPECT_EQ(log.substr(log.size() - last.size()), std::wstring(last.begin(), last.end()));
    EXPECT_EQ(log.find(L",100\n"), std::wstring::npos);
    EXPECT_EQ(log.size() % line_size, 0u);
    // A line longer than the bound empties the log and stands alone.
    const std::string huge = "//ff0000,0;106,125;" + std::string(4000, '0') + ",1";
    b.draw(huge);
    EXPECT_EQ(boxtest_text(dw->log_view), L"/" + std::wstring(huge.begin(), huge.end()) + L"\n");
}

TEST_F(DrawWindow, RegistrationLayoutAndOneBoardPerRoom)
{
    Board b;
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    wchar_t caption[64] = {};
    GetWindowTextW(dw->wnd->hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Rajzolo");
    EXPECT_EQ(boxtest_entry_text(mw, dw->wnd), L"h Rajzolo_");
    ASSERT_NE(dw->winlist_entry, nullptr);
    EXPECT_EQ(mainwnd_get_button(mw, dw->wnd), dw->winlist_entry);
    EXPECT_EQ(boxtest_tooltip(dw->winlist_entry), L"Rajzolo - Rajzt\u00e1bla");

    // The picture keeps its place; the log takes everything below it, at any size.
    for (SIZE size : {SIZE{440, 340}, SIZE{700, 600}, SIZE{600, 500}}) {
        SetWindowPos(dw->wnd->hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
        wintest_flush();
        RECT client;
        GetClientRect(dw->wnd->hwnd, &client);
        RECT pic = child_rect(dw->picture_view);
        EXPECT_EQ(pic.left, 0);
        EXPECT_EQ(pic.top, 0);
        EXPECT_EQ(pic.right - pic.left, CHATWND_BOARD_WIDTH);
        EXPECT_EQ(pic.bottom - pic.top, CHATWND_BOARD_HEIGHT);
        RECT log = child_rect(dw->log_view);
        EXPECT_EQ(log.left, 0);
        EXPECT_EQ(log.top, 362);
        EXPECT_EQ(log.right, client.right);
        EXPECT_EQ(log.bottom, std::max(client.bottom, 362L));
    }

    // Asking again brings the same board forward instead of a second one.
    EXPECT_EQ(drawwnd_create(mw, &b.cw), dw);
    EXPECT_EQ(mw->frame->active_child, dw->wnd);
}

TEST_F(DrawWindow, CloseLeavesThePictureWithTheRoom)
{
    Board b;
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    vel_window *wnd = dw->wnd;
    HWND hwnd = wnd->hwnd;
    ASSERT_GE(mainwnd_find_listitem(mw, wnd), 0);
    // The user's close: through the system command, as the caption's button sends it.
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(b.cw.drawwnd, nullptr);
    EXPECT_LT(mainwnd_find_listitem(mw, wnd), 0);
    EXPECT_EQ(mainwnd_get_button(mw, wnd), nullptr);
    // The picture lives on and keeps being painted.
    b.draw("//ff0000,3;106,125");
    EXPECT_EQ(b.at(100, 100), red);
    // A board opened later shows it, with an empty log.
    dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    EXPECT_EQ(boxtest_text(dw->log_view), L"");
}

TEST_F(DrawWindow, RoomWindowClosesItsBoardFirst)
{
    auto *b = new Board;
    drawwnd *dw = drawwnd_create(mw, &b->cw);
    ASSERT_NE(dw, nullptr);
    HWND hwnd = dw->wnd->hwnd;
    wintest_flush();
    // The room window's close request: the board is closed, then the picture released.
    delete b;
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(DrawWindow, WithoutTheRoomSurfaceItStillLogs)
{
    Board b;
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    HDC surface = b.cw.board_dc;
    b.cw.board_dc = nullptr;
    b.draw("//ff0000,3;106,125;5,5");
    EXPECT_EQ(boxtest_text(dw->log_view), L"///ff0000,3;106,125;5,5\n");
    wintest_canvas canvas(CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT);
    SendMessageW(dw->picture_view->hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    EXPECT_EQ(canvas.at(100, 100), GetSysColor(COLOR_BTNFACE));
    b.cw.board_dc = surface;
    EXPECT_EQ(b.count(red), 0);
    chatwnd_drawing_message(nullptr, 2, "x", "//ff0000,3;106,125", nullptr, 1);
    chatwnd_drawing_message(&b.cw, 2, "x", nullptr, nullptr, 1);
    EXPECT_EQ(boxtest_text(dw->log_view), L"///ff0000,3;106,125;5,5\n");
}

TEST_F(DrawWindow, MenuCommandsBecomeSystemCommands)
{
    Board b;
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    wintest_flush();
    HWND hwnd = dw->wnd->hwnd;
    SendMessageW(hwnd, WM_COMMAND, SC_MINIMIZE, 0);
    wintest_flush();
    EXPECT_TRUE(IsIconic(hwnd));
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    wintest_flush();
    EXPECT_FALSE(IsIconic(hwnd));
}

}  // namespace

namespace {

// A board with strokes and both kinds of information box, tiled, for a look (LV_UI_HOLD_MS
// keeps them on screen for a screen grab).
TEST_F(DrawWindow, Gallery)
{
    Board b;
    b.draw("//ffffff,65536");
    b.draw("//ff0000,3;60,60;100,0;0,100;-100,0;0,-100");
    b.draw("//00aa00,9;250,100;80,80;80,-80");
    b.draw("//0000ff,0;300,300;150,0");
    drawwnd *dw = drawwnd_create(mw, &b.cw);
    ASSERT_NE(dw, nullptr);
    b.draw("//ff8000,5;100,250;60,30;60,-30");
    b.draw("//000000,1;20,340;480,0");
    Room room{};
    char name[] = "Fo szoba";
    char theme[] = "$red$Udv$blue$ mindenkinek! http://www.lorvando.hu";
    room.id = 1000000;
    room.name = name;
    room.theme = theme;
    room.usercnt = 31;
    room.states = 0x08;
    ASSERT_NE(infobox_create(mw, INFOBOX_ROOM, &room), nullptr);
    User user{};
    user.id = 12;
    std::snprintf(user.nick, sizeof user.nick, "anna");
    user.perms = 0x40011001;
    user.room = &room;
    ASSERT_NE(infobox_create(mw, INFOBOX_USER, &user), nullptr);
    SetWindowPos(mw->frame->hwnd, nullptr, 0, 0, 1100, 800, SWP_NOZORDER);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, IDC_WINDOW_TILE_VERTICAL, 0);
    SetWindowPos(dw->wnd->hwnd, HWND_TOP, 0, 0, 520, 480, 0);
    wintest_flush();
    if (const char *hold = std::getenv("LV_UI_HOLD_MS"))
        wintest_pump_for(static_cast<DWORD>(std::atoi(hold)));
    EXPECT_EQ(boxtest_text(dw->log_view), L"///ff8000,5;100,250;60,30;60,-30\n///000000,1;20,340;480,0\n");
    // The boxes close with the frame's children at the end of the program.
}

}  // namespace
