// The colour text box's measuring and painting as the screen shows them: widths from the
// per-font table against measuring each line whole, lines appended between two paints
// against a paint after each, a scrolled-up view that keeps its pixels while lines pour
// in, and a burst of appends that costs one frame.
#include "toolkit/textbox.h"
#include "toolkit/textbox_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include "textui_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// How the box has always measured a line: the whole line in one placement call.
std::vector<int> whole_line_widths(HWND hwnd, HFONT font, const std::wstring &text)
{
    std::vector<int> widths(text.size() + 1, -1);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    GCP_RESULTSW res{};
    res.lStructSize = sizeof res;
    res.lpDx = widths.data();
    res.nGlyphs = static_cast<UINT>(text.size());
    EXPECT_NE(GetCharacterPlacementW(dc, text.c_str(), static_cast<int>(text.size()), 0, &res, 0), 0u);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    widths.pop_back();
    return widths;
}

struct Whole {
    HWND hwnd;
    HFONT font;
};

int measure_whole(void *context, const wchar_t *text, int length, int *widths)
{
    auto *w = static_cast<Whole *>(context);
    std::vector<int> got = whole_line_widths(w->hwnd, w->font, std::wstring(text, static_cast<size_t>(length)));
    std::copy(got.begin(), got.end(), widths);
    return 1;
}

// The client area's pixels as the screen holds them.
std::vector<uint32_t> client_pixels(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto *p = static_cast<const uint32_t *>(bits);
    std::vector<uint32_t> out(p, p + static_cast<size_t>(rc.right) * static_cast<size_t>(rc.bottom));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(hwnd, screen);
    for (uint32_t &px : out)
        px &= 0xFFFFFF;
    return out;
}

// Pixels that are not the white background, in rows [top, bottom).
int ink_in_rows(const std::vector<uint32_t> &pixels, int width, int top, int bottom)
{
    int n = 0;
    for (int y = std::max(0, top); y < bottom && static_cast<size_t>(y) * width < pixels.size(); y++)
        for (int x = 0; x < width; x++)
            n += pixels[static_cast<size_t>(y) * width + x] != 0xFFFFFF;
    return n;
}

// Paints the thread receives for one window, seen as they leave the queue.
HWND g_counted;
int g_paints;
HHOOK g_hook;

LRESULT CALLBACK count_paints(int code, WPARAM wp, LPARAM lp)
{
    const auto *msg = reinterpret_cast<const MSG *>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && msg->message == WM_PAINT && msg->hwnd == g_counted)
        g_paints++;
    return CallNextHookEx(g_hook, code, wp, lp);
}

// One window for the suite, shown once (hiding a window costs Wine a wait for a window
// manager that Xvfb does not have); each test gets two fresh boxes side by side.
class TextboxPaint : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vel_init();
        window = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"textbox paint", 0, 0, 520,
                                   240, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window->hwnd, SW_SHOWNOACTIVATE);
        wintest_pump_for(100);
    }

    static void TearDownTestSuite()
    {
        if (window)
            DestroyWindow(window->hwnd);
        window = nullptr;
        wintest_flush();
    }

    void SetUp() override
    {
        ASSERT_NE(window, nullptr);
        left = make_box(0);
        right = make_box(250);
        ASSERT_TRUE(left && right);
        wintest_flush();
    }

    void TearDown() override
    {
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        for (vel_textbox *box : {left, right})
            if (box)
                vel_widget_destroy(box->widget);
        wintest_flush();
    }

    vel_textbox *make_box(int x)
    {
        vel_widget *w = vel_textbox_create(nullptr, window, 0, WS_VSCROLL, L"", x, 0, 240, 162, 5, nullptr, nullptr);
        if (!w || !vel_textbox_create_and_set_font(w, 16, L"Arial", 400))
            return nullptr;
        vel_widget_setbackground(w, RGB(255, 255, 255));
        vel_textbox *box = vel_textbox_get(w);
        box->link_style = VEL_TEXTBOX_LINK_FONT;
        box->max_lines = 30;
        return box;
    }

    static void add(vel_textbox *box, const std::wstring &text, const std::vector<COLORREF> &colours = {})
    {
        ASSERT_EQ(vel_textbox_add_text(box->widget, text.c_str(), static_cast<int>(text.size()),
                                       colours.empty() ? nullptr : colours.data(), static_cast<int>(colours.size()),
                                       0, 0),
                  1);
    }

    // Line n of a flood: coloured runs, a link, and every third line long enough to wrap.
    static void flood_line(vel_textbox *box, int n)
    {
        std::wstring text = L"[12:0" + std::to_wstring(n % 10) + L"] <anna> sor " + std::to_wstring(n) +
                            L" www.example.hu/" + std::to_wstring(n);
        if (n % 3 == 0)
            text += L" és még néhány szó, hogy a sor biztosan több sorba törjön";
        std::vector<COLORREF> colours(text.size(), RGB(0, 0, 160));
        for (size_t i = 0; i < 8 && i < colours.size(); i++)
            colours[i] = RGB(200, 0, 0);
        add(box, text, colours);
    }

    static void paint_now(const vel_textbox *box)
    {
        InvalidateRect(box->widget->hwnd, nullptr, FALSE);
        UpdateWindow(box->widget->hwnd);
    }

    static vel_window *window;
    vel_textbox *left = nullptr;
    vel_textbox *right = nullptr;
};

vel_window *TextboxPaint::window;

TEST_F(TextboxPaint, TableWidthsAreThoseOfMeasuringTheWholeLine)
{
    HWND hwnd = left->widget->hwnd;
    const std::wstring texts[] = {
        L"Árvíztűrő tükörfúrógép: ŐŰőű áéíóöőúüű ÁÉÍÓÖŐÚÜŰ AVATAR To Wa Ty",
        L"nézd meg: http://példa.hu/ő?x=1 és írj: anna@example.hu",
        // Units first seen here, outside the range learnt with the font.
        L"€ – „idézet” … • ✓ 漢字 \U0001F600 e\u0301 a\u0308 \u05E9\u05DC\u05D5\u05DD",
        L"\U0001F600\U0001F601 mixed ő with known € units",
    };
    for (const std::wstring &text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        add(left, text);
        const auto *line = static_cast<const vel_textbox_line *>(left->lines->data);
        std::vector<int> got(line->widths, line->widths + line->length);
        EXPECT_EQ(got, whole_line_widths(hwnd, left->widget->font, text));
    }

    // The same wrap points as a line measured whole, in a box narrow enough to wrap.
    MoveWindow(hwnd, 0, 0, 130, 162, TRUE);
    add(left, texts[0]);
    const auto *wrapped = static_cast<const vel_textbox_line *>(left->lines->data);
    ASSERT_GT(wrapped->rows, 2);
    Whole whole{hwnd, left->widget->font};
    int consumed = 0;
    vel_textbox_line *direct = vel_textbox_process_text(texts[0].c_str(), static_cast<int>(texts[0].size()), nullptr,
                                                        0, 0, 0, measure_whole, &whole, &consumed);
    ASSERT_NE(direct, nullptr);
    vel_textbox_process_line(left, direct);
    EXPECT_EQ(std::vector<int>(wrapped->row_lengths, wrapped->row_lengths + wrapped->rows),
              std::vector<int>(direct->row_lengths, direct->row_lengths + direct->rows));
    vel_textbox_free_line(direct);

    // A new font starts the table again: the widths are the new font's.
    const std::wstring sample = L"Wűő€漢 mmm";
    ASSERT_NE(vel_textbox_create_and_set_font(left->widget, 28, L"Times New Roman", 700), nullptr);
    add(left, sample);
    const auto *big = static_cast<const vel_textbox_line *>(left->lines->data);
    const std::vector<int> expected = whole_line_widths(hwnd, left->widget->font, sample);
    EXPECT_EQ(std::vector<int>(big->widths, big->widths + big->length), expected);
    add(right, sample);
    const auto *small = static_cast<const vel_textbox_line *>(right->lines->data);
    EXPECT_NE(std::vector<int>(small->widths, small->widths + small->length), expected);
}

TEST_F(TextboxPaint, AppendsBetweenTwoPaintsLeaveThePictureOfAPaintAfterEach)
{
    // Left: a paint after every line. Right: the same lines, then one paint.
    left->frame_interval = 0;
    for (int n = 0; n < 45; n++) {
        flood_line(left, n);
        UpdateWindow(left->widget->hwnd);
    }
    for (int n = 0; n < 45; n++)
        flood_line(right, n);
    ASSERT_TRUE(ui_pump_until([&] { return !right->frame_pending; }));

    ASSERT_EQ(left->line_count, 30);
    ASSERT_EQ(right->total_rows, left->total_rows);
    ASSERT_EQ(right->scroll_pos, vel_textbox_end_pos(right));
    RECT rc;
    GetClientRect(left->widget->hwnd, &rc);
    const std::vector<uint32_t> each = client_pixels(left->widget->hwnd);
    const std::vector<uint32_t> once = client_pixels(right->widget->hwnd);
    // Both show text, the newest line at the bottom.
    const int bottom = rc.bottom - 2;
    EXPECT_GT(ink_in_rows(each, rc.right, bottom - left->row_height, bottom), 0);
    EXPECT_GT(ink_in_rows(each, rc.right, 0, rc.bottom), rc.right);
    EXPECT_TRUE(each == once) << "the two ways paint different pictures";
}

TEST_F(TextboxPaint, AScrolledUpViewKeepsItsPixelsWhileLinesPourIn)
{
    right->max_lines = 50;
    for (int n = 0; n < 40; n++)
        flood_line(right, n);
    HWND hwnd = right->widget->hwnd;
    for (int i = 0; i < 3; i++)
        SendMessageW(hwnd, WM_VSCROLL, SB_LINEUP, 0);
    paint_now(right);
    const std::vector<uint32_t> before = client_pixels(hwnd);

    // Twenty more lines, ten of the oldest dropping out: the rows on screen stay.
    for (int n = 40; n < 60; n++)
        flood_line(right, n);
    wintest_pump_for(2 * VEL_TEXTBOX_FRAME_MS + 20);
    EXPECT_TRUE(client_pixels(hwnd) == before) << "the view moved";
    EXPECT_LT(right->scroll_pos, vel_textbox_end_pos(right));

    // Back at the end, the view follows again: the same picture as a box that was always
    // there.
    SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
    for (int n = 60; n < 63; n++)
        flood_line(right, n);
    left->max_lines = 50;
    for (int n = 0; n < 63; n++)
        flood_line(left, n);
    wintest_pump_for(2 * VEL_TEXTBOX_FRAME_MS + 20);
    EXPECT_EQ(right->scroll_pos, vel_textbox_end_pos(right));
    EXPECT_TRUE(client_pixels(hwnd) == client_pixels(left->widget->hwnd)) << "the view did not follow";
}

TEST_F(TextboxPaint, ABurstOfAppendsCostsAFrameAndTheLastStateArrives)
{
    constexpr int kInterval = 150;
    right->frame_interval = kInterval;
    g_counted = right->widget->hwnd;
    g_paints = 0;
    g_hook = SetWindowsHookExW(WH_GETMESSAGE, count_paints, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    const DWORD start = GetTickCount();
    for (int n = 0; n < 80; n++) {
        flood_line(right, n);
        wintest_flush();
    }
    const DWORD elapsed = GetTickCount() - start;
    // Not a paint per line: at most one at once and one per interval after it.
    EXPECT_LE(g_paints, 2 + static_cast<int>(elapsed / kInterval)) << elapsed << " ms";
    wintest_pump_for(2 * kInterval + 50);
    EXPECT_GE(g_paints, 1);
    EXPECT_FALSE(right->frame_pending);
    const std::vector<uint32_t> shown = client_pixels(right->widget->hwnd);
    paint_now(right);
    EXPECT_TRUE(client_pixels(right->widget->hwnd) == shown) << "the last frame missed lines";
}

} // namespace
