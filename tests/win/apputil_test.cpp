// The application's small helpers: the slash-command splitter, date and beat time, font
// settings, UCS-2 buffers and the list-view column fitter.
#include "settings/apputil.h"
#include "toolkit/listview.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(ParseCommandline, SplitsCommandWordAndArgument)
{
    struct Case {
        const char *line;
        int result;
        const char *word;  // line + 1 after the call
        const char *arg;
    } cases[] = {
        {"/msg 5 hi there", 1, "msg", "5 hi there"},
        {"/help", 0, "help", ""},
        {"/me  two blanks", 1, "me", " two blanks"},
        {"/topic ", 1, "topic", ""},
        {"hi", -1, nullptr, nullptr},
        {"", -1, nullptr, nullptr},
        {"//me", -1, nullptr, nullptr},
        {" /msg", -1, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        char buf[64];
        std::strcpy(buf, c.line);
        char *arg = nullptr;
        EXPECT_EQ(parse_commandline(buf, &arg), c.result) << c.line;
        if (c.result >= 0) {
            EXPECT_STREQ(buf + 1, c.word) << c.line;
            ASSERT_NE(arg, nullptr);
            EXPECT_STREQ(arg, c.arg) << c.line;
        }
    }
    char *arg = nullptr;
    EXPECT_EQ(parse_commandline(nullptr, &arg), -1);
}

TEST(InetTime, CountsBeatsFromMidnightAtUtcPlusOne)
{
    struct Case {
        int h, m, s, beats;
    } cases[] = {
        {23, 0, 0, 0}, {12, 0, 0, 541}, {0, 0, 0, 41}, {22, 59, 59, 999}, {23, 0, 1, 0}, {23, 1, 27, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(get_inettime_of(c.h, c.m, c.s), c.beats) << c.h << ":" << c.m << ":" << c.s;
    int now = get_inettime();
    EXPECT_GE(now, 0);
    EXPECT_LE(now, 999);
}

TEST(DateString, WritesTheRedStampWithinTheBuffer)
{
    SYSTEMTIME t{};
    t.wYear = 2005;
    t.wMonth = 6;
    t.wDay = 10;
    t.wHour = 14;
    t.wMinute = 5;
    t.wSecond = 9;
    char buf[64];
    EXPECT_EQ(get_date_string_of(&t, buf, sizeof buf), buf);
    EXPECT_STREQ(buf, "$red$2005.06.10. 14:05.09");
    char small[10];
    std::memset(small, 'x', sizeof small);
    get_date_string_of(&t, small, 8);
    EXPECT_STREQ(small, "$red$20");
    EXPECT_EQ(small[8], 'x');
    char now[64];
    get_date_string(now, sizeof now);
    EXPECT_EQ(std::strncmp(now, "$red$", 5), 0);
    EXPECT_EQ(std::strlen(now), std::strlen("$red$2005.06.10. 14:05.09"));
}

TEST(FontString, ReadsFaceHeightAndWeight)
{
    struct Case {
        const char *font;
        const wchar_t *face;
        int height, weight;
    } cases[] = {
        {"Courier,7,500", L"Courier", 7, 500},
        {"Arial,16,700", L"Arial", 16, 700},
        {"Arial,0x10,700", L"Arial", 16, 700},
        {"Arial,010,0x2BC", L"Arial", 8, 700},
        {"Times New Roman,-12,400", L"Times New Roman", -12, 400},
        {"Arial", L"Arial", 0, 0},
        {"Arial,14", L"Arial", 14, 0},
        {"", L"", 0, 0},
        {",9,", L"", 9, 0},
    };
    for (const Case &c : cases) {
        wchar_t face[32];
        int height = -1, weight = -1;
        EXPECT_EQ(parse_font_string(c.font, face, 32, &height, &weight), 1);
        EXPECT_STREQ(face, c.face) << c.font;
        EXPECT_EQ(height, c.height) << c.font;
        EXPECT_EQ(weight, c.weight) << c.font;
    }
    // A face longer than the buffer is cut, never written past it.
    wchar_t face[8];
    face[7] = L'#';
    int height = 0, weight = 0;
    parse_font_string("AVeryLongFaceName,12,400", face, 6, &height, &weight);
    EXPECT_STREQ(face, L"AVery");
    EXPECT_EQ(face[7], L'#');
    EXPECT_EQ(height, 12);
    // Bytes above 0x7F widen to the same code point.
    parse_font_string("\xC1rial,1,2", face, 8, &height, &weight);
    EXPECT_EQ(face[0], 0xC1);
}

TEST(TextAlloc, GivesRoomForTheTerminator)
{
    wchar_t *t = text_alloc(5);
    ASSERT_NE(t, nullptr);
    std::wmemset(t, L'a', 6);  // n + 1 units are ours
    std::free(t);
    EXPECT_EQ(text_alloc(SIZE_MAX / 2), nullptr);
}

TEST(ListviewColumn, FillsTheViewLessTheScrollBar)
{
    vel_init();
    vel_window *window = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"lv", 0, 0, 400, 300,
                                           nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    vel_widget *lv = vel_widget_create(nullptr, window, 0, LVS_REPORT | LVS_NOCOLUMNHEADER, L"", 0, 0, 200, 100, 5,
                                       nullptr, nullptr, VEL_LISTVIEW, nullptr);
    ASSERT_NE(lv, nullptr);
    vel_listview_insertcolumn(lv, 0, L"nick", 50, LVCFMT_LEFT);
    listview_adjust_columnsize(lv);
    EXPECT_EQ(vel_listview_getcolumnwidth(lv, 0), 200);
    for (int i = 0; i < 40; i++)
        vel_listview_insertitem(lv, i, L"someone", i);
    ASSERT_TRUE(GetWindowLongW(lv->hwnd, GWL_STYLE) & WS_VSCROLL);
    listview_adjust_columnsize(lv);
    EXPECT_EQ(vel_listview_getcolumnwidth(lv, 0), 200 - GetSystemMetrics(SM_CXVSCROLL));
    DestroyWindow(window->hwnd);
}

} // namespace
