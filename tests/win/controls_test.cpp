// The thin control wrappers against real controls: list view, display rich edit,
// tooltip and static.
#include "toolkit/listview.h"
#include "toolkit/richedit.h"
#include "toolkit/static.h"
#include "toolkit/tooltip.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include "textui_support.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <string>

namespace {

class ControlsTest : public UiWindowTest {
protected:
    void SetUp() override { make_window(L"controls", 500, 400); }
    vel_widget *make(int type, DWORD style, const wchar_t *text = L"")
    {
        return vel_widget_create(nullptr, window, 0, style, text, 0, 0, 200, 150, 5, nullptr, nullptr, type, nullptr);
    }
};

TEST_F(ControlsTest, ListViewItemsColumnsAndLookups)
{
    vel_widget *lv = make(VEL_LISTVIEW, LVS_REPORT);
    ASSERT_NE(lv, nullptr);
    vel_listview_insertcolumn(lv, 0, L"nick", 80, LVCFMT_LEFT);
    vel_listview_insertcolumn(lv, 1, L"room", 60, LVCFMT_LEFT);
    EXPECT_EQ(vel_listview_getcolumnwidth(lv, 1), 60);
    vel_listview_setcolumnwidth(lv, 1, 70);
    EXPECT_EQ(vel_listview_getcolumnwidth(lv, 1), 70);

    EXPECT_EQ(vel_listview_insertitem(lv, 0, L"anna", 101), 0);
    EXPECT_EQ(vel_listview_insertitem(lv, 1, L"bela", 102), 1);
    EXPECT_EQ(vel_listview_insertitem(lv, 0, L"cili", 103), 0);
    EXPECT_EQ(vel_listview_getitemcount(lv), 3);
    vel_listview_setitem(lv, 2, 1, L"Lobby");

    wchar_t buf[16];
    EXPECT_EQ(vel_listview_getitemtext(lv, 2, 1, buf, 16), 5);
    EXPECT_STREQ(buf, L"Lobby");
    EXPECT_EQ(vel_listview_getitemtext(lv, 1, 0, buf, 3), 2);  // bounded by the capacity
    EXPECT_STREQ(buf, L"an");
    EXPECT_EQ(vel_listview_getlparam(lv, 2), 102);
    EXPECT_EQ(vel_listview_findlparam(lv, 101), 1);
    EXPECT_EQ(vel_listview_findlparam(lv, 999), -1);
    EXPECT_EQ(vel_listview_findtext(lv, L"bela"), 2);
    EXPECT_EQ(vel_listview_findtext(lv, L"bel"), -1);  // exact text only

    ListView_SetItemState(lv->hwnd, 1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(vel_listview_getnextitem(lv, -1, LVNI_SELECTED), 1);

    vel_listview_setbkgndcolor(lv, RGB(1, 2, 3));
    EXPECT_EQ(vel_listview_getbkgndcolor(lv), RGB(1, 2, 3));
    EXPECT_EQ(ListView_GetTextBkColor(lv->hwnd), RGB(1, 2, 3));
    vel_listview_settextcolor(lv, RGB(4, 5, 6));
    EXPECT_EQ(ListView_GetTextColor(lv->hwnd), RGB(4, 5, 6));

    LVHITTESTINFO hit{};
    RECT rc;
    ListView_GetItemRect(lv->hwnd, 2, &rc, LVIR_LABEL);
    hit.pt.x = rc.left + 2;
    hit.pt.y = (rc.top + rc.bottom) / 2;
    EXPECT_EQ(vel_listview_hittest(lv, &hit), 2);
    vel_listview_redrawitems(lv, 0, 2);

    vel_listview_deleteitem(lv, 0);
    EXPECT_EQ(vel_listview_getitemcount(lv), 2);
    EXPECT_EQ(vel_listview_findlparam(lv, 103), -1);
    vel_listview_deleteallitems(lv);
    EXPECT_EQ(vel_listview_getitemcount(lv), 0);
}

TEST_F(ControlsTest, RichEditAppendsAtTheEndAndColours)
{
    vel_widget *re = make(VEL_RICHEDIT, ES_MULTILINE | ES_READONLY | WS_VSCROLL);
    ASSERT_NE(re, nullptr);
    vel_richedit_add_line(re, L"first\r");
    SendMessageW(re->hwnd, EM_SETSEL, 0, 0);  // the caret elsewhere: still appended at the end
    vel_richedit_add_line(re, L"second");
    wchar_t buf[64] = {};
    vel_widget_gettext(re, buf, 64);
    // The control reports its paragraph break as CR LF.
    EXPECT_STREQ(buf, L"first\r\nsecond");
    vel_richedit_set_text_color(re, RGB(200, 0, 0));
    CHARFORMATW cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(re->hwnd, EM_SETSEL, 0, -1);
    SendMessageW(re->hwnd, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    EXPECT_EQ(cf.crTextColor, RGB(200, 0, 0));
    vel_richedit_setbkgndcolor(re, RGB(0, 0, 0));
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(re->hwnd, EM_SETBKGNDCOLOR, 0, RGB(1, 1, 1))), RGB(0, 0, 0));
}

TEST_F(ControlsTest, TooltipToolsAreWidgetsOfTheWindow)
{
    vel_widget *tip = make(VEL_TOOLTIP, TTS_ALWAYSTIP);
    ASSERT_NE(tip, nullptr);
    vel_widget *a = make(VEL_BUTTON, BS_PUSHBUTTON, L"a");
    vel_widget *b = make(VEL_BUTTON, BS_PUSHBUTTON, L"b");
    EXPECT_EQ(vel_tooltip_gettoolcount(tip), 0);
    EXPECT_EQ(vel_tooltip_gettoolinfo(tip, a, nullptr), 0);
    EXPECT_NE(vel_tooltip_addtool(tip, a, L"first"), 0);
    EXPECT_NE(vel_tooltip_addtool(tip, b, L"second"), 0);
    EXPECT_EQ(vel_tooltip_gettoolcount(tip), 2);
    TOOLINFOW info{};
    EXPECT_NE(vel_tooltip_gettoolinfo(tip, a, &info), 0);
    EXPECT_EQ(info.uId, reinterpret_cast<UINT_PTR>(a->hwnd));
    EXPECT_EQ(info.hwnd, window->hwnd);
    EXPECT_TRUE(info.uFlags & TTF_IDISHWND);

    vel_tooltip_updatetiptext(tip, a, L"changed");
    wchar_t text[32] = {};
    TOOLINFOW q{};
    q.cbSize = TTTOOLINFOW_V1_SIZE;
    q.hwnd = window->hwnd;
    q.uId = reinterpret_cast<UINT_PTR>(a->hwnd);
    q.lpszText = text;
    SendMessageW(tip->hwnd, TTM_GETTEXTW, 32, reinterpret_cast<LPARAM>(&q));
    EXPECT_STREQ(text, L"changed");

    vel_tooltip_deltool(tip, a);
    EXPECT_EQ(vel_tooltip_gettoolcount(tip), 1);
    EXPECT_EQ(vel_tooltip_gettoolinfo(tip, a, nullptr), 0);
    EXPECT_NE(vel_tooltip_gettoolinfo(tip, b, nullptr), 0);
}

TEST_F(ControlsTest, StaticTakesAnImage)
{
    vel_widget *st = make(VEL_STATIC, SS_BITMAP);
    ASSERT_NE(st, nullptr);
    HBITMAP bmp = CreateBitmap(8, 8, 1, 32, nullptr);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(vel_static_setimage(st, IMAGE_BITMAP, bmp), nullptr);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageW(st->hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0)), bmp);
    DestroyWindow(st->hwnd);
    DeleteObject(bmp);
}

} // namespace
