// Popup message boxes under Wine: the height fitted to the wrapped text, the system icon
// of each kind, the colours, the focus left where it was, and the ways to close a box.
#include <gtest/gtest.h>

#include "app/dispatch.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "ui/msgbox.h"

#include <string>

namespace {

int height_of(const msgbox *mb)
{
    RECT rc;
    GetWindowRect(mb->wnd->hwnd, &rc);
    return rc.bottom - rc.top;
}

int rows_of(const msgbox *mb)
{
    return vel_textbox_get(mb->text_box)->total_rows;
}

HICON icon_of(const msgbox *mb)
{
    return reinterpret_cast<HICON>(SendMessageW(mb->icon_view->hwnd, STM_GETICON, 0, 0));
}

struct Msgbox : ::testing::Test {
    mainwnd *mw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
        ASSERT_EQ(mw->create_msgbox, msgbox_creator);
    }
    void close(msgbox *mb)
    {
        SendMessageW(mb->wnd->hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
    }
};

TEST_F(Msgbox, HeightFollowsTheWrappedLines)
{
    msgbox *one = msgbox_create(mw, "hir", "egy sor", 1, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(rows_of(one), 1);
    EXPECT_EQ(height_of(one), 91);
    EXPECT_EQ(one->text_box->h, 21);
    RECT rc;
    GetWindowRect(one->wnd->hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 360);
    close(one);

    msgbox *three = msgbox_create(mw, "hir", "egy\nketto\nharom", 1, 1);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(rows_of(three), 3);
    EXPECT_EQ(height_of(three), 123);
    EXPECT_EQ(three->text_box->h, 53);
    close(three);

    // A long line wraps at the box's width; each wrapped row adds 16 pixels.
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "szoveg ";
    msgbox *wrapped = msgbox_create(mw, "hir", text.c_str(), 1, 1);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_GT(rows_of(wrapped), 2);
    EXPECT_EQ(height_of(wrapped), 16 * rows_of(wrapped) + 75);
    close(wrapped);
}

TEST_F(Msgbox, IconByKind)
{
    struct row {
        int kind;
        LPCWSTR icon;
    };
    const row rows[] = {{0, IDI_INFORMATION}, {1, IDI_INFORMATION}, {2, IDI_EXCLAMATION},
                        {3, IDI_HAND},        {4, IDI_INFORMATION}, {-1, IDI_INFORMATION}};
    for (const row &r : rows) {
        msgbox *mb = msgbox_create(mw, "ikon", "x", r.kind, 1);
        ASSERT_NE(mb, nullptr);
        EXPECT_EQ(icon_of(mb), LoadIconW(nullptr, r.icon)) << r.kind;
        close(mb);
    }
    EXPECT_NE(LoadIconW(nullptr, IDI_EXCLAMATION), LoadIconW(nullptr, IDI_HAND));
}

TEST_F(Msgbox, TextColoursAndTheColourFlag)
{
    msgbox *mb = msgbox_create(mw, "szin", "ab$red$c", 1, 1);
    ASSERT_NE(mb, nullptr);
    const vel_textbox *box = vel_textbox_get(mb->text_box);
    const auto *line = static_cast<const vel_textbox_line *>(box->lines->data);
    ASSERT_EQ(std::wstring(line->text, static_cast<size_t>(line->length)), L"abc");
    EXPECT_EQ(vel_textbox_colour_at(line, 0), RGB(0x20, 0x47, 0x6E));
    EXPECT_EQ(vel_textbox_colour_at(line, 2), uitest_colour("$red$x"));
    EXPECT_EQ(box->colour_mode, 0u);
    close(mb);

    mb = msgbox_create(mw, "szin", "ab$red$c", 1, 0);
    ASSERT_NE(mb, nullptr);
    EXPECT_EQ(vel_textbox_get(mb->text_box)->colour_mode, 2u);
    EXPECT_EQ(vel_textbox_get(mb->text_box)->plain_colour, RGB(0, 0, 0));
    close(mb);
}

TEST_F(Msgbox, OpeningLeavesTheFocusWhereTheUserTypes)
{
    vel_mdichild_activate(mw->statwnd->wnd);
    vel_widget_setfocus(mw->statwnd->edit);
    wintest_flush();
    ASSERT_EQ(GetFocus(), mw->statwnd->edit->hwnd);
    msgbox *mb = msgbox_create(mw, "figyelem", "uzenet", 2, 1);
    ASSERT_NE(mb, nullptr);
    wintest_flush();
    EXPECT_TRUE(IsWindowVisible(mb->wnd->hwnd));
    EXPECT_EQ(GetWindow(mw->mdi_client->hwnd, GW_CHILD), mb->wnd->hwnd) << "the box is in front";
    EXPECT_EQ(GetFocus(), mw->statwnd->edit->hwnd);
    EXPECT_EQ(mw->frame->active_child, mw->statwnd->wnd);
    // Not resizable, no minimise or maximise box.
    const LONG style = GetWindowLongW(mb->wnd->hwnd, GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_SYSMENU);

    // Activated by the user, the box gives the keyboard to its button.
    vel_mdichild_activate(mb->wnd);
    SetFocus(mb->wnd->hwnd);
    wintest_flush();
    EXPECT_EQ(GetFocus(), mb->ok_button->hwnd);
    close(mb);
}

TEST_F(Msgbox, VettemEnterAndEscapeCloseAndUnregister)
{
    struct row {
        const char *how;
        UINT msg;
        WPARAM wp;
    };
    const row rows[] = {{"click", BM_CLICK, 0}, {"enter", WM_KEYDOWN, VK_RETURN}, {"escape", WM_KEYDOWN, VK_ESCAPE}};
    for (const row &r : rows) {
        msgbox *mb = msgbox_create(mw, "zaras", "x", 1, 1);
        ASSERT_NE(mb, nullptr);
        vel_window *wnd = mb->wnd;
        HWND hwnd = wnd->hwnd;
        wchar_t caption[32] = {};
        GetWindowTextW(mb->ok_button->hwnd, caption, 32);
        EXPECT_STREQ(caption, L"Vettem");
        const int item = mainwnd_find_listitem(mw, wnd);
        ASSERT_GE(item, 0);
        wchar_t entry[64] = {};
        vel_listview_getitemtext(mw->windowlist, item, 0, entry, 64);
        EXPECT_STREQ(entry, L"c zaras_");
        SendMessageW(mb->ok_button->hwnd, r.msg, r.wp, 0);
        wintest_flush();
        EXPECT_FALSE(IsWindow(hwnd)) << r.how;
        EXPECT_EQ(mainwnd_find_listitem(mw, wnd), -1) << r.how;
    }
    // Other keys leave the box open.
    msgbox *mb = msgbox_create(mw, "marad", "x", 1, 1);
    ASSERT_NE(mb, nullptr);
    SendMessageW(mb->ok_button->hwnd, WM_KEYDOWN, 'A', 0);
    wintest_flush();
    EXPECT_TRUE(IsWindow(mb->wnd->hwnd));
    close(mb);
}

TEST_F(Msgbox, PopupEventOpensABoxThroughTheFrame)
{
    LVC_EvPopup ev{3, "Rendszer\xC3\xBCzenet", "$blue$karbantartas"};
    packet_handler(16, &ev);
    wintest_flush();
    HWND hwnd = FindWindowExW(mw->mdi_client->hwnd, nullptr, nullptr, L"Rendszerüzenet");
    ASSERT_NE(hwnd, nullptr);
    vel_window *wnd = vel_wnd_from_hwnd(hwnd, 0, 0, VEL_KIND_MDICHILD);
    ASSERT_NE(wnd, nullptr);
    auto *mb = static_cast<msgbox *>(wnd->user);
    ASSERT_NE(mb, nullptr);
    EXPECT_EQ(icon_of(mb), LoadIconW(nullptr, IDI_HAND));
    EXPECT_EQ(height_of(mb), 91);
    close(mb);
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
