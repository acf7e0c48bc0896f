#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/wintest.h"
#include "toolkit/widget.h"

#include <commctrl.h>

namespace {

// Every toolkit message a widget receives, in order, across all widgets.
struct event {
    vel_widget *widget;
    UINT msg;
    WPARAM wp;
};
std::vector<event> events;

int recording(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *)
{
    if (msg >= VEL_WM_COMMAND && msg <= VEL_WM_MOUSELEAVE)
        events.push_back({self, msg, wp});
    return VEL_CONTINUE;
}

RECT placed(const vel_widget *w)
{
    RECT rc;
    GetWindowRect(w->hwnd, &rc);
    MapWindowPoints(nullptr, w->parent->hwnd, reinterpret_cast<POINT *>(&rc), 2);
    return rc;
}

void set_key(int vk, bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[vk] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

class Widget : public testing::Test {
protected:
    void SetUp() override
    {
        wintest_init();
        events.clear();
        win_ = vel_window_create(nullptr, nullptr, nullptr, 0, WS_POPUP | WS_VISIBLE, L"widgets", 0, 0, 300, 200,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(win_, nullptr);
        wintest_flush();
    }
    void TearDown() override
    {
        if (win_)
            DestroyWindow(win_->hwnd);
        wintest_flush();
        EXPECT_EQ(vel_hover_widget, nullptr);
    }
    vel_widget *make(int type, int x = 0, int y = 0, int w = 20, int h = 20, int anchors = 5)
    {
        const wchar_t *text = type == VEL_STATIC ? L"label" : type == VEL_BUTTON ? L"button" : nullptr;
        return vel_widget_create(nullptr, win_, 0, 0, text, x, y, w, h, anchors, nullptr, recording, type, nullptr);
    }
    int tool_count() const
    {
        return win_->tooltip ? static_cast<int>(SendMessageW(win_->tooltip->hwnd, TTM_GETTOOLCOUNT, 0, 0)) : 0;
    }
    std::wstring tool_text(const vel_widget *w) const
    {
        wchar_t buf[80] = {};
        TOOLINFOW ti{};
        ti.cbSize = TTTOOLINFOW_V1_SIZE;
        ti.hwnd = win_->hwnd;
        ti.uId = reinterpret_cast<UINT_PTR>(w->hwnd);
        ti.lpszText = buf;
        SendMessageW(win_->tooltip->hwnd, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&ti));
        return buf;
    }
    vel_window *win_ = nullptr;
};

TEST_F(Widget, AnchoredPlacementOnResize)
{
    struct row {
        int anchors, x, y, w, h;
        RECT expected;  // in a 600 x 400 client area
    } const rows[] = {
        {15, 124, 27, 0, 20, {124, 27, 600, 380}},
        {5, 10, 20, 100, 50, {10, 20, 110, 70}},
        {13, 10, 20, 100, 30, {10, 20, 110, 370}},
        {11, 5, 40, 7, 30, {5, 330, 593, 360}},
        {2 | 4, 10, 5, 50, 25, {540, 5, 590, 30}},
        {1 | 8, 3, 4, 50, 25, {3, 371, 53, 396}},
        {0, 7, 8, 9, 10, {7, 8, 16, 18}},
    };
    std::vector<vel_widget *> widgets;
    for (const row &r : rows)
        widgets.push_back(make(VEL_CUSTOM, r.x, r.y, r.w, r.h, r.anchors));
    MoveWindow(win_->hwnd, 0, 0, 600, 400, TRUE);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(testing::Message() << "anchors " << rows[i].anchors);
        const RECT got = placed(widgets[i]);
        EXPECT_EQ(got.left, rows[i].expected.left);
        EXPECT_EQ(got.top, rows[i].expected.top);
        EXPECT_EQ(got.right, rows[i].expected.right);
        EXPECT_EQ(got.bottom, rows[i].expected.bottom);
    }
    // Anchors 15 with margins 124, 27, 0, 20 give 476 x 353.
    vel_size size{};
    vel_widget_getsize(widgets[0], &size);
    EXPECT_EQ(size.width, 476);
    EXPECT_EQ(size.height, 353);
}

// A widget is made where its anchors put it: no resize of the window is needed (the
// window here has a 300 x 200 client area and is never resized).
TEST_F(Widget, CreatedWhereItsAnchorsPlaceIt)
{
    struct row {
        int type, anchors, x, y, w, h;
        RECT expected;
    } const rows[] = {
        {VEL_CUSTOM, 15, 124, 27, 0, 20, {124, 27, 300, 180}},
        {VEL_LISTVIEW, 15, 10, 5, 10, 5, {10, 5, 290, 195}},
        {VEL_CUSTOM, 2 | 4, 10, 5, 50, 25, {240, 5, 290, 30}},
        {VEL_BUTTON, 1 | 8, 3, 4, 50, 25, {3, 171, 53, 196}},
        {VEL_STATIC, 0, 7, 8, 9, 10, {7, 8, 16, 18}},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << "type " << r.type << ", anchors " << r.anchors);
        vel_widget *w = make(r.type, r.x, r.y, r.w, r.h, r.anchors);
        ASSERT_NE(w, nullptr);
        const RECT got = placed(w);
        EXPECT_EQ(got.left, r.expected.left);
        EXPECT_EQ(got.top, r.expected.top);
        EXPECT_EQ(got.right, r.expected.right);
        EXPECT_EQ(got.bottom, r.expected.bottom);
    }
}

TEST_F(Widget, StatusBarKeepsItsOwnHeightAndPlacesItself)
{
    vel_widget *bar = make(VEL_STATUSBAR, 0, 0, 0, 0, 0);
    ASSERT_NE(bar, nullptr);
    RECT rc;
    GetClientRect(bar->hwnd, &rc);
    EXPECT_EQ(bar->h, rc.bottom);
    EXPECT_GT(bar->h, 0);
    MoveWindow(win_->hwnd, 0, 0, 500, 300, TRUE);
    const RECT got = placed(bar);
    EXPECT_EQ(got.bottom, 300);
    EXPECT_EQ(got.right - got.left, 500);
}

TEST_F(Widget, IdentifiersListAndRemoval)
{
    const int first = win_->next_id;
    vel_widget *a = make(VEL_BUTTON), *b = make(VEL_STATIC);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->id, first);
    EXPECT_EQ(b->id, first + 1);
    EXPECT_EQ(GetDlgCtrlID(a->hwnd), a->id);
    EXPECT_EQ(vel_list_get(win_->widgets, static_cast<vel_list_key>(a->id)), a);
    EXPECT_EQ(a->repaint, 1);
    // A class that does not exist: nothing made, identifier not used up.
    EXPECT_EQ(vel_widget_create(nullptr, win_, 0, 0, nullptr, 0, 0, 1, 1, 0, nullptr, nullptr, VEL_CUSTOM,
                                L"no such class"),
              nullptr);
    EXPECT_EQ(win_->next_id, first + 2);
    EXPECT_EQ(vel_widget_insert(a, win_), 0);
    EXPECT_EQ(vel_widget_remove(a), a);
    EXPECT_EQ(a->parent, nullptr);
    EXPECT_EQ(vel_widget_remove(a), nullptr);
    EXPECT_EQ(vel_widget_remove(nullptr), nullptr);
    EXPECT_EQ(vel_widget_insert(a, win_), 1);
    EXPECT_EQ(a->parent, win_);
    EXPECT_EQ(vel_widget_sendmessage(nullptr, WM_USER, 0, 0), 0);
    // Destroyed either way, a widget leaves its window's list.
    vel_widget_destroy(a);
    EXPECT_EQ(vel_list_get(win_->widgets, static_cast<vel_list_key>(first)), nullptr);
    HWND bh = b->hwnd;
    DestroyWindow(bh);
    EXPECT_EQ(win_->widgets, nullptr);
}

TEST_F(Widget, SplitterDragIsClampedAndBoundsFollowTheBar)
{
    vel_window_setbackground(win_, RGB(255, 0, 0));
    vel_widget *v = make(VEL_VSPLITTER, 100, 0, 5, 200, 5);
    vel_widget *hz = make(VEL_HSPLITTER, 0, 150, 300, 4, 5);
    ASSERT_TRUE(v && hz);
    // Each bar shows its own sizing cursor.
    EXPECT_EQ(SendMessageW(hz->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hz->hwnd), HTCLIENT), 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZENS));
    EXPECT_EQ(SendMessageW(v->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(v->hwnd), HTCLIENT), 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZEWE));
    EXPECT_EQ(v->cursor, vel_cursor_we);
    EXPECT_EQ(hz->cursor, vel_cursor_ns);
    wintest_flush();
    UpdateWindow(win_->hwnd);
    HDC dc = GetDC(win_->hwnd);
    // The pixels of the strip where the bar is dragged to.
    auto strip = [dc] {
        std::vector<COLORREF> px;
        for (int y = 40; y < 60; ++y)
            for (int x = 200; x < 205; ++x)
                px.push_back(GetPixel(dc, x, y));
        return px;
    };
    const std::vector<COLORREF> before = strip();
    v->min_offset = -100;
    v->max_offset = 100;
    SendMessageW(v->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 50));
    EXPECT_EQ(v->drag_flags & 1u, 1u);
    EXPECT_EQ(GetCapture(), v->hwnd);
    struct move {
        int x, offset;
    } const moves[] = {{153, 100}, {-47, -50}, {-300, -100}, {53, 50}, {400, 100}};
    for (const move &m : moves) {
        SendMessageW(v->hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(m.x), 50));
        EXPECT_EQ(v->offset, m.offset) << m.x;
    }
    // The halftone line shows at the dragged place while dragging, and is gone afterwards.
    EXPECT_NE(strip(), before);
    SendMessageW(v->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(400, 50));
    EXPECT_EQ(strip(), before);
    ReleaseDC(win_->hwnd, dc);
    EXPECT_EQ(v->drag_flags & 1u, 0u);
    EXPECT_NE(GetCapture(), v->hwnd);
    EXPECT_EQ(v->min_offset, -200);
    EXPECT_EQ(v->max_offset, 0);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().msg, UINT(VEL_WM_SPLITTER_MOVED));
    EXPECT_EQ(static_cast<int>(events.back().wp), 100);
    int moved = 0;
    for (auto &e : events)
        moved += e.msg == VEL_WM_SPLITTER_MOVED;
    EXPECT_EQ(moved, 1);

    // A horizontal bar follows y; losing the capture ends the drag like a release.
    hz->min_offset = -30;
    hz->max_offset = 10;
    SendMessageW(hz->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 2));
    SendMessageW(hz->hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, static_cast<WORD>(-20)));
    EXPECT_EQ(hz->offset, -22);
    ReleaseCapture();
    EXPECT_EQ(hz->drag_flags & 1u, 0u);
    EXPECT_EQ(hz->min_offset, -8);
    EXPECT_EQ(hz->max_offset, 32);
    EXPECT_EQ(static_cast<int>(events.back().wp), -22);
}

TEST_F(Widget, TabMovesInCreationOrderSkippingStaticsAndWraps)
{
    vel_widget *a = make(VEL_BUTTON), *s = make(VEL_STATIC), *b = make(VEL_BUTTON), *t = make(VEL_STATIC);
    ASSERT_TRUE(a && s && b && t);
    struct row {
        vel_widget *from;
        bool shift;
        vel_widget *to;
    } const rows[] = {{a, false, b}, {b, false, a}, {a, true, b}, {b, true, a}};
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.from->id << (r.shift ? " shift" : ""));
        vel_widget_setfocus(r.from);
        ASSERT_EQ(GetFocus(), r.from->hwnd);
        set_key(VK_SHIFT, r.shift);
        SendMessageW(r.from->hwnd, WM_KEYDOWN, VK_TAB, 0);
        set_key(VK_SHIFT, false);
        EXPECT_EQ(GetFocus(), r.to->hwnd);
    }
    // The only widget that takes focus keeps it.
    vel_widget_destroy(b);
    vel_widget_setfocus(a);
    SendMessageW(a->hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(GetFocus(), a->hwnd);
}

TEST_F(Widget, HoverSendsLeaveBeforeEnterAndDetectsLeavingOnItsTimer)
{
    vel_widget *a = make(VEL_BUTTON, 0, 0, 50, 20), *b = make(VEL_BUTTON, 60, 0, 50, 20);
    vel_widget *custom = make(VEL_CUSTOM, 120, 0, 50, 20);
    ASSERT_TRUE(a && b && custom);
    SetCursorPos(10, 10);
    SendMessageW(a->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(a->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(11, 10));
    SetCursorPos(70, 10);
    SendMessageW(b->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(custom->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    std::vector<std::pair<vel_widget *, UINT>> got;
    for (auto &e : events)
        got.emplace_back(e.widget, e.msg);
    EXPECT_EQ(got, (std::vector<std::pair<vel_widget *, UINT>>{
                       {a, VEL_WM_MOUSEENTER}, {a, VEL_WM_MOUSELEAVE}, {b, VEL_WM_MOUSEENTER}}));
    EXPECT_EQ(vel_hover_widget, b);
    EXPECT_EQ(a->hover & 1u, 0u);
    EXPECT_EQ(a->hover_timer, 0u);
    EXPECT_EQ(b->hover & 1u, 1u);
    EXPECT_NE(b->hover_timer, 0u);

    // While bit 1 is set (a menu is open) leaving is not detected. The pointer moves that
    // the display reports for the warps above arrive late: let them in first.
    wintest_pump_for(200);
    events.clear();
    b->hover |= 2u;
    SetCursorPos(1200, 1000);
    wintest_pump_for(200);
    EXPECT_TRUE(events.empty());
    b->hover &= ~2u;
    wintest_pump_for(300);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].widget, b);
    EXPECT_EQ(events[0].msg, UINT(VEL_WM_MOUSELEAVE));
    EXPECT_EQ(vel_hover_widget, nullptr);
    EXPECT_EQ(b->hover_timer, 0u);
}

TEST_F(Widget, DestroyedHoverWidgetIsForgotten)
{
    vel_widget *a = make(VEL_BUTTON, 0, 0, 50, 20);
    SendMessageW(a->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    EXPECT_EQ(vel_hover_widget, a);
    vel_widget_destroy(a);
    EXPECT_EQ(vel_hover_widget, nullptr);
}

TEST_F(Widget, TooltipToolsAreAddedUpdatedAndDeleted)
{
    vel_widget *a = make(VEL_BUTTON), *b = make(VEL_BUTTON), *c = make(VEL_BUTTON);
    ASSERT_TRUE(a && b && c);
    auto tip_of = [](const vel_widget *w) {
        wchar_t buf[80];
        vel_widget_gettooltiptext(w, buf, 80);
        return std::wstring(buf);
    };
    EXPECT_EQ(vel_widget_settooltiptext(a, nullptr), 1);
    // Until the pointer comes over a widget with a tip, the widgets keep their tips and
    // the window has no tooltip control.
    ASSERT_EQ(vel_widget_settooltiptext(a, L"Szia"), 1);
    vel_widget_settooltiptext(b, L"B");
    vel_widget_settooltiptext(b, L"Bé");
    vel_widget_settooltiptext(c, L"C");
    vel_widget_settooltiptext(c, nullptr);
    EXPECT_EQ(win_->tooltip, nullptr);
    EXPECT_EQ(tip_of(a), L"Szia");
    EXPECT_EQ(tip_of(b), L"Bé");
    EXPECT_EQ(tip_of(c), L"");
    SendMessageW(c->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(win_->tooltip, nullptr);
    SendMessageW(a->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    ASSERT_NE(win_->tooltip, nullptr);
    EXPECT_EQ(win_->tooltip->type, VEL_TOOLTIP);
    EXPECT_FALSE(GetWindowLongW(win_->tooltip->hwnd, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(tool_count(), 2);
    EXPECT_EQ(tool_text(a), L"Szia");
    EXPECT_EQ(tool_text(b), L"Bé");
    EXPECT_EQ(tip_of(b), L"Bé");
    // From now on tips go straight to the control.
    vel_widget_destroy(b);
    vel_widget_destroy(c);
    b = make(VEL_BUTTON);
    ASSERT_TRUE(b);
    EXPECT_EQ(tool_count(), 1);
    vel_widget_settooltiptext(a, L"Viszlát");
    EXPECT_EQ(tool_count(), 1);
    EXPECT_EQ(tool_text(a), L"Viszlát");
    vel_widget_settooltiptext(b, L"B");
    EXPECT_EQ(tool_count(), 2);
    EXPECT_EQ(vel_widget_settooltiptext(b, nullptr), 1);
    EXPECT_EQ(tool_count(), 1);
    EXPECT_EQ(vel_widget_settooltiptext(b, nullptr), 1);
    EXPECT_EQ(tool_count(), 1);
    // A destroyed widget takes its tool with it.
    vel_widget_destroy(a);
    EXPECT_EQ(tool_count(), 0);
    // Tab never lands on the tooltip.
    vel_widget_setfocus(b);
    SendMessageW(b->hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(GetFocus(), b->hwnd);
    // The window takes its tooltip and its controls with it.
    HWND tip = win_->tooltip->hwnd, bh = b->hwnd;
    DestroyWindow(win_->hwnd);
    win_ = nullptr;
    EXPECT_FALSE(IsWindow(tip));
    EXPECT_FALSE(IsWindow(bh));
}

TEST_F(Widget, FontBackgroundTextAndRichEdit)
{
    vel_widget *s = make(VEL_STATIC, 0, 0, 100, 20);
    HFONT f1 = vel_widget_create_and_set_font(s, -16, L"Tahoma", FW_BOLD);
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(s->font, f1);
    EXPECT_EQ(SendMessageW(s->hwnd, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(f1));
    EXPECT_GE(s->metrics.tmHeight, 16);
    EXPECT_EQ(s->metrics.tmWeight, FW_BOLD);
    HFONT f2 = vel_widget_create_and_set_font(s, -10, L"Tahoma", FW_NORMAL);
    ASSERT_NE(f2, nullptr);
    LOGFONTW lf;
    EXPECT_EQ(GetObjectW(f1, sizeof lf, &lf), 0);  // the old font is deleted
    EXPECT_LT(s->metrics.tmHeight, 16);
    EXPECT_EQ(vel_widget_settext(s, L"új szöveg"), 1);
    wchar_t buf[32];
    vel_widget_gettext(s, buf, 32);
    EXPECT_STREQ(buf, L"új szöveg");
    HBRUSH brush = vel_widget_setbackground(s, RGB(0, 0, 255));
    ASSERT_NE(brush, nullptr);
    wintest_canvas canvas(10, 10);
    EXPECT_EQ(SendMessageW(s->hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0), 1);
    EXPECT_EQ(canvas.at(3, 3), RGB(0, 0, 255));
    vel_widget *re = make(VEL_RICHEDIT, 0, 30, 100, 20);
    ASSERT_NE(re, nullptr);
    EXPECT_NE(vel_richedit_lib, nullptr);
    wchar_t cls[32];
    GetClassNameW(re->hwnd, cls, 32);
    EXPECT_STREQ(cls, L"RichEdit20W");
}

TEST_F(Widget, MdiClientBecomesTheWindowsClient)
{
    vel_widget *client = vel_widget_create(nullptr, win_, 0, WS_CLIPCHILDREN, nullptr, 0, 0, 0, 0, 15, nullptr,
                                           nullptr, VEL_MDICLIENT, nullptr);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(win_->mdi_client, client);
    // The MDI client takes no hover.
    SendMessageW(client->hwnd, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(vel_hover_widget, nullptr);
    DestroyWindow(client->hwnd);
    EXPECT_EQ(win_->mdi_client, nullptr);
}

}  // namespace
