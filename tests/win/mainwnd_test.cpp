// The main frame under the platform: the button bar's width rule and gap closing, dirty
// marks, the window list's order and colours, Alt+1..9 through the key table, the status
// bar and its timers, the event dispatch into the frame, the status window and the room
// list, the hand-over creation from another thread, and closing without a connection.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/dispatch.h"
#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/cfgproc.h"
#include "settings/notify.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <commctrl.h>

namespace {

std::wstring status_part(int part)
{
    wchar_t text[128] = {};
    SendMessageW(main_frame->statusbar->hwnd, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring entry_text(vel_window *child)
{
    const int item = mainwnd_find_listitem(main_frame, child);
    if (item < 0)
        return L"";
    wchar_t text[600] = {};
    vel_listview_getitemtext(main_frame->windowlist, item, 0, text, 600);
    return text;
}

std::wstring caption_of(vel_window *w)
{
    wchar_t text[128] = {};
    GetWindowTextW(w->hwnd, text, 128);
    return text;
}

// The newest line of the status window.
std::wstring last_status_line()
{
    vel_textbox *box = vel_textbox_get(status_window->textbox);
    wintest_flush();
    if (!box || !box->lines)
        return L"";
    return static_cast<vel_textbox_line *>(box->lines->data)->text;
}

vel_window *new_child(const wchar_t *caption, int kind, vel_wndproc proc = nullptr)
{
    vel_window *child = vel_mdichild_create(nullptr, nullptr, nullptr, WS_VISIBLE | WS_OVERLAPPEDWINDOW, caption,
                                            CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, main_frame->frame, proc);
    if (child)
        mainwnd_add_childwindow(main_frame, child, kind, caption, caption);
    return child;
}

void close_child(vel_window *child)
{
    mainwnd_del_childwindow(main_frame, child);
    vel_mdichild_destroy(child);
    wintest_flush();
}

// Resizes the frame so that its client area is `width` pixels wide.
void set_client_width(int width)
{
    RECT client, outer;
    GetClientRect(main_frame->frame->hwnd, &client);
    GetWindowRect(main_frame->frame->hwnd, &outer);
    const int extra = (outer.right - outer.left) - client.right;
    SetWindowPos(main_frame->frame->hwnd, nullptr, 0, 0, width + extra, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    wintest_flush();
}

bool rect_has_colour(HDC dc, const RECT &rc, COLORREF colour)
{
    for (int y = rc.top; y < rc.bottom; y++)
        for (int x = rc.left; x < rc.right; x++)
            if (GetPixel(dc, x, y) == colour)
                return true;
    return false;
}

// Draws a child's window-list entry into a canvas, as the list view asks for it.
void draw_entry(wintest_canvas &canvas, vel_window *child, RECT rc)
{
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTVIEW;
    dis.itemID = static_cast<UINT>(mainwnd_find_listitem(main_frame, child));
    dis.hDC = canvas.dc();
    dis.rcItem = rc;
    dis.itemData = reinterpret_cast<ULONG_PTR>(child);
    SendMessageW(main_frame->windowlist->hwnd, VEL_WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
}

class MainFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wintest_init();
        config_setdefaults(config_table);
        cfg_confirm_exit = 0;
        LVC_Init(packet_handler, event_handler, exception_handler);
        ASSERT_NE(mainwnd_create(), nullptr);
        wintest_flush();
    }
};

TEST_F(MainFrame, StartsWithStatusWindowAndRoomListRegistered)
{
    ASSERT_NE(status_window, nullptr);
    ASSERT_NE(roomlist_window, nullptr);
    EXPECT_EQ(main_frame->button_count, 2);
    EXPECT_EQ(mainwnd_get_child_at(main_frame, 0), status_window->wnd);
    EXPECT_EQ(mainwnd_get_child_at(main_frame, 1), roomlist_window->wnd);
    EXPECT_EQ(main_frame->frame->active_child, status_window->wnd);
    // The room list is shown behind the active status window and listed after it in the
    // Window menu, the status window's entry checked.
    const HWND client = main_frame->mdi_client->hwnd;
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(client, WM_MDIGETACTIVE, 0, 0)), status_window->wnd->hwnd);
    EXPECT_TRUE(IsWindowVisible(roomlist_window->wnd->hwnd));
    EXPECT_EQ(GetWindow(status_window->wnd->hwnd, GW_HWNDNEXT), roomlist_window->wnd->hwnd);
    HMENU window_menu = GetSubMenu(main_frame->menu, 3);
    const int items = GetMenuItemCount(window_menu);
    ASSERT_GE(items, 2);
    wchar_t text[64];
    GetMenuStringW(window_menu, static_cast<UINT>(items - 2), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&1 status");
    EXPECT_TRUE(GetMenuState(window_menu, static_cast<UINT>(items - 2), MF_BYPOSITION) & MF_CHECKED);
    GetMenuStringW(window_menu, static_cast<UINT>(items - 1), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&2 szobalista");
    EXPECT_EQ(caption_of(main_frame->frame), L":: lorvando cset ::");
    EXPECT_EQ(status_part(0), L"not connected.");
    EXPECT_EQ(status_part(1), L"not logged in.");
    // The clock shows "@" and three digits of Internet time.
    const std::wstring clock = status_part(4);
    ASSERT_EQ(clock.size(), 4u);
    EXPECT_EQ(clock[0], L'@');
    EXPECT_NE(GetMenu(main_frame->frame->hwnd), nullptr);
}

TEST_F(MainFrame, ButtonWidthRule)
{
    struct row {
        int client, count, current, want;
    };
    const row rows[] = {
        {600, 3, 90, 90}, {600, 20, 90, 27}, {600, 40, 90, 22}, {600, 1, 50, 90}, {600, 0, 57, 57},
        {303, 3, 90, 90}, {243, 3, 90, 78}, {60, 3, 90, 22},
    };
    for (const row &r : rows)
        EXPECT_EQ(mainwnd_button_width_for(r.client, r.count, r.current), r.want) << r.client << " " << r.count;
}

TEST_F(MainFrame, ButtonsShrinkWithManyChildrenAndCloseTheGap)
{
    set_client_width(600);
    std::vector<vel_window *> extra;
    // 2 registered at start + 18 = 20 children: (597 / 20) - 2 = 27.
    for (int i = 0; i < 18; i++)
        extra.push_back(new_child(L"gyerek", MAINWND_KIND_PRIVATE));
    EXPECT_EQ(main_frame->button_count, 20);
    EXPECT_EQ(main_frame->button_width, 27);
    for (int p = 0; p < 20; p++) {
        vel_widget *b = mainwnd_get_button(main_frame, mainwnd_get_child_at(main_frame, p));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->x, p * 29 + 1);
        EXPECT_EQ(b->w, 27);
        EXPECT_EQ(b->y, 4);
        EXPECT_EQ(b->h, 21);
    }
    // 40 children: 12, raised to 22.
    for (int i = 0; i < 20; i++)
        extra.push_back(new_child(L"tobb", MAINWND_KIND_PRIVATE));
    EXPECT_EQ(main_frame->button_width, 22);
    for (vel_window *w : extra)
        close_child(w);
    EXPECT_EQ(main_frame->button_count, 2);
    EXPECT_EQ(main_frame->button_width, 90);
    EXPECT_EQ(vel_listview_getitemcount(main_frame->windowlist), 2);
}

TEST_F(MainFrame, ClosingTheSecondOfThreeMovesTheThird)
{
    vel_window *a = new_child(L"egy", MAINWND_KIND_PRIVATE);
    vel_window *b = new_child(L"ketto", MAINWND_KIND_PRIVATE);
    vel_window *c = new_child(L"harom", MAINWND_KIND_PRIVATE);
    const int second_x = mainwnd_get_button(main_frame, b)->x;
    close_child(b);
    EXPECT_EQ(mainwnd_get_button(main_frame, b), nullptr);
    EXPECT_EQ(mainwnd_find_listitem(main_frame, b), -1);
    EXPECT_EQ(mainwnd_get_child_at(main_frame, 2), a);
    EXPECT_EQ(mainwnd_get_child_at(main_frame, 3), c);
    EXPECT_EQ(mainwnd_get_child_at(main_frame, 4), nullptr);
    EXPECT_EQ(mainwnd_get_button(main_frame, c)->x, second_x);
    // Unregistering twice changes nothing.
    mainwnd_del_childwindow(main_frame, b);
    EXPECT_EQ(main_frame->button_count, 4);
    close_child(a);
    close_child(c);
}

TEST_F(MainFrame, DirtyMarks)
{
    vel_window *child = new_child(L"Bodri", MAINWND_KIND_PRIVATE);
    vel_mdichild_activate(status_window->wnd);
    wintest_flush();
    vel_window *active = main_frame->frame->active_child;
    ASSERT_EQ(active, status_window->wnd);
    mainwnd_set_dirty_flag(main_frame, active, 0, 0);
    const std::wstring before = entry_text(active);
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, active, 1, 0), 0);
    EXPECT_EQ(entry_text(active), before);

    EXPECT_EQ(entry_text(child), L"e Bodri_");
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 0, 0), 0);  // clean already
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 1), 1);
    EXPECT_EQ(entry_text(child), L"e Bodri*");
    wchar_t button[64] = {};
    vel_widget_gettext(mainwnd_get_button(main_frame, child), button, 64);
    EXPECT_STREQ(button, L"e Bodri*");
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 0);  // dirty already
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 0, 0), 1);
    EXPECT_EQ(entry_text(child), L"e Bodri_");

    // An entry text set as a whole brings its own marker: marking goes on from it.
    EXPECT_EQ(mainwnd_set_entry_text(main_frame, child, L"e Bodri 2*"), 1);
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 0);
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 0, 0), 1);
    EXPECT_EQ(entry_text(child), L"e Bodri 2_");
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 1);
    EXPECT_EQ(mainwnd_set_entry_text(main_frame, child, L"e Bodri 3_"), 1);
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 1);
    EXPECT_EQ(entry_text(child), L"e Bodri 3*");
    // A child closed dirty and a new one in its place start clean.
    close_child(child);
    child = new_child(L"Bodri", MAINWND_KIND_PRIVATE);
    vel_mdichild_activate(status_window->wnd);
    wintest_flush();
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 1);
    EXPECT_EQ(entry_text(child), L"e Bodri*");

    vel_window stranger{};
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, &stranger, 1, 0), 0);
    close_child(child);
}

// A caption too long for the entry is cut, and the unseen mark keeps the last place: it
// never overwrites the caption, and a surrogate pair is never split.
TEST_F(MainFrame, LongCaptionsKeepTheirMark)
{
    const std::wstring exact(508, L'x');
    vel_window *fits = new_child(exact.c_str(), MAINWND_KIND_POPUP);
    EXPECT_TRUE(entry_text(fits) == L"c " + exact + L"_");
    close_child(fits);

    std::wstring caption(507, L'y');
    caption += L"\xD83D\xDE00zzz";  // a pair across the cut, then more
    vel_window *child = new_child(caption.c_str(), MAINWND_KIND_POPUP);
    vel_mdichild_activate(status_window->wnd);
    wintest_flush();
    const std::wstring kept = L"c " + std::wstring(507, L'y');
    EXPECT_TRUE(entry_text(child) == kept + L"_") << entry_text(child).size();
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 1, 0), 1);
    EXPECT_TRUE(entry_text(child) == kept + L"*") << entry_text(child).size();
    wchar_t button[600] = {};
    vel_widget_gettext(mainwnd_get_button(main_frame, child), button, 600);
    EXPECT_TRUE(std::wstring(button) == kept + L"*");
    EXPECT_EQ(mainwnd_set_dirty_flag(main_frame, child, 0, 0), 1);
    EXPECT_TRUE(entry_text(child) == kept + L"_");
    // A whole entry set at once is fitted the same way.
    EXPECT_EQ(mainwnd_set_entry_text(main_frame, child, (L"c " + std::wstring(700, L'w') + L"*").c_str()), 1);
    EXPECT_TRUE(entry_text(child) == L"c " + std::wstring(508, L'w') + L"*");
    close_child(child);
}

TEST_F(MainFrame, WindowListSortsByEntryText)
{
    vel_window *priv = new_child(L"Aladar", MAINWND_KIND_PRIVATE);
    vel_window *popup = new_child(L"Rendszer", MAINWND_KIND_POPUP);
    vel_window *room = new_child(L"Budapest", MAINWND_KIND_ROOM);
    std::vector<std::wstring> order;
    for (int i = 0; i < vel_listview_getitemcount(main_frame->windowlist); i++) {
        wchar_t text[64] = {};
        vel_listview_getitemtext(main_frame->windowlist, i, 0, text, 64);
        order.push_back(text);
    }
    const std::vector<std::wstring> want = {L"a status_", L"b szobalista_", L"c Rendszer_", L"d Budapest_",
                                            L"e Aladar_"};
    EXPECT_EQ(order, want);
    close_child(priv);
    close_child(popup);
    close_child(room);
}

std::vector<std::wstring> window_list_texts()
{
    std::vector<std::wstring> out;
    for (int i = 0; i < vel_listview_getitemcount(main_frame->windowlist); i++) {
        wchar_t text[64] = {};
        vel_listview_getitemtext(main_frame->windowlist, i, 0, text, 64);
        out.push_back(text);
    }
    return out;
}

// Within a kind the captions decide; a changed marker or a kind registered later moves
// the entry to its sorted place, whatever the order of registration.
TEST_F(MainFrame, WindowListKeepsItsOrderThroughChanges)
{
    vel_window *zoli = new_child(L"Zoli", MAINWND_KIND_PRIVATE);
    vel_window *board = new_child(L"Rajz", MAINWND_KIND_DRAWING);
    vel_window *bela = new_child(L"Bela", MAINWND_KIND_PRIVATE);
    vel_window *pest = new_child(L"Pest", MAINWND_KIND_ROOM);
    vel_window *buda = new_child(L"Buda", MAINWND_KIND_ROOM);
    EXPECT_EQ(window_list_texts(), (std::vector<std::wstring>{L"a status_", L"b szobalista_", L"d Buda_", L"d Pest_",
                                                              L"e Bela_", L"e Zoli_", L"h Rajz_"}));
    // A caption change re-sorts; the marker sorts after the caption ("*" before "_").
    mainwnd_set_entry_text(main_frame, zoli, L"e Aladar_");
    mainwnd_set_dirty_flag(main_frame, bela, 1, 0);
    EXPECT_EQ(window_list_texts(), (std::vector<std::wstring>{L"a status_", L"b szobalista_", L"d Buda_", L"d Pest_",
                                                              L"e Aladar_", L"e Bela*", L"h Rajz_"}));
    close_child(buda);
    close_child(zoli);
    EXPECT_EQ(window_list_texts(),
              (std::vector<std::wstring>{L"a status_", L"b szobalista_", L"d Pest_", L"e Bela*", L"h Rajz_"}));
    close_child(board);
    close_child(bela);
    close_child(pest);
}

// Every kind's text colour, clean and dirty: red marks unseen text for every kind.
TEST_F(MainFrame, WindowListColoursOfEveryKind)
{
    vel_mdichild_activate(status_window->wnd);
    wintest_flush();
    vel_window *other = new_child(L"masik", MAINWND_KIND_PRIVATE);
    vel_mdichild_activate(other);
    wintest_flush();
    const struct {
        int kind;
        COLORREF text;
    } kinds[] = {
        {MAINWND_KIND_POPUP, RGB(0, 255, 0)},      {MAINWND_KIND_ROOM, RGB(0, 255, 255)},
        {MAINWND_KIND_PRIVATE, RGB(255, 255, 255)}, {5, RGB(192, 192, 192)},
        {6, RGB(192, 192, 192)},                    {MAINWND_KIND_DRAWING, RGB(192, 192, 192)},
    };
    const RECT rc{0, 0, 120, 19};
    auto drawn_has = [&](vel_window *child, COLORREF colour) {
        wintest_canvas canvas(120, 19);
        draw_entry(canvas, child, rc);
        return rect_has_colour(canvas.dc(), rc, colour);
    };
    for (const auto &k : kinds) {
        SCOPED_TRACE(k.kind);
        vel_window *child = new_child(L"WWWW", k.kind);
        vel_mdichild_activate(other);  // a new child comes up active
        wintest_flush();
        ASSERT_EQ(main_frame->frame->active_child, other);
        EXPECT_TRUE(drawn_has(child, k.text));
        EXPECT_FALSE(drawn_has(child, RGB(255, 0, 0)));
        mainwnd_set_dirty_flag(main_frame, child, 1, 0);
        EXPECT_TRUE(drawn_has(child, RGB(255, 0, 0)));
        EXPECT_FALSE(drawn_has(child, k.text));
        close_child(child);
    }
    // The status window when another child is active.
    mainwnd_set_dirty_flag(main_frame, status_window->wnd, 0, 0);
    EXPECT_TRUE(drawn_has(status_window->wnd, RGB(255, 200, 0)));
    close_child(other);
}

int room_outside(const vel_window *)
{
    return 1;
}

TEST_F(MainFrame, WindowListColours)
{
    vel_window *popup = new_child(L"Rendszer", MAINWND_KIND_POPUP);
    vel_window *room = new_child(L"Budapest", MAINWND_KIND_ROOM);
    vel_mdichild_activate(status_window->wnd);
    wintest_flush();
    const RECT rc{0, 0, 120, 19};
    const RECT right_edge{110, 2, 120, 17};
    struct row {
        vel_window *child;
        int dirty;
        COLORREF text;
    };
    const row rows[] = {
        {popup, 0, RGB(0, 255, 0)},
        {popup, 1, RGB(255, 0, 0)},
        {roomlist_window->wnd, 0, RGB(255, 255, 0)},
        {room, 0, RGB(0, 255, 255)},
    };
    for (const row &r : rows) {
        mainwnd_set_dirty_flag(main_frame, r.child, r.dirty, 0);
        wintest_canvas canvas(120, 19);
        draw_entry(canvas, r.child, rc);
        EXPECT_TRUE(rect_has_colour(canvas.dc(), rc, r.text)) << std::string(r.dirty ? "dirty" : "clean");
        EXPECT_EQ(canvas.at(115, 9), RGB(43, 103, 166));
    }
    // A room window outside its room is drawn pale, even when dirty.
    main_frame->room_state = room_outside;
    {
        wintest_canvas canvas(120, 19);
        mainwnd_set_dirty_flag(main_frame, room, 1, 0);
        draw_entry(canvas, room, rc);
        EXPECT_TRUE(rect_has_colour(canvas.dc(), rc, RGB(190, 240, 240)));
        EXPECT_FALSE(rect_has_colour(canvas.dc(), rc, RGB(255, 0, 0)));
    }
    main_frame->room_state = nullptr;
    // The active child: button face with a raised frame, highlight on top, shadow below.
    {
        wintest_canvas canvas(120, 19);
        draw_entry(canvas, status_window->wnd, rc);
        EXPECT_EQ(canvas.at(115, 9), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(canvas.at(115, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(canvas.at(115, 18), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_FALSE(rect_has_colour(canvas.dc(), right_edge, RGB(43, 103, 166)));
    }
    close_child(popup);
    close_child(room);
}

TEST_F(MainFrame, AltDigitsActivateByPositionThroughTheKeyTable)
{
    HACCEL accel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDA_MAIN));
    ASSERT_NE(accel, nullptr);
    vel_window *third = new_child(L"harmadik", MAINWND_KIND_PRIVATE);
    vel_window *fourth = new_child(L"negyedik", MAINWND_KIND_PRIVATE);
    wintest_flush();
    // The key table reads the Alt key from the thread's keyboard state.
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE alt_before = keys[VK_MENU];
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    auto press_alt = [&](wchar_t key) {
        MSG msg{main_frame->frame->hwnd, WM_SYSKEYDOWN, static_cast<WPARAM>(key), 1 | (1 << 29), 0, {}};
        const int done = TranslateAcceleratorW(main_frame->frame->hwnd, accel, &msg);
        wintest_flush();
        return done;
    };
    EXPECT_TRUE(press_alt(L'1'));
    EXPECT_EQ(main_frame->frame->active_child, status_window->wnd);
    EXPECT_TRUE(press_alt(L'3'));
    EXPECT_EQ(main_frame->frame->active_child, third);
    EXPECT_TRUE(press_alt(L'2'));
    EXPECT_EQ(main_frame->frame->active_child, roomlist_window->wnd);
    EXPECT_TRUE(press_alt(L'4'));
    EXPECT_EQ(main_frame->frame->active_child, fourth);
    // Four children: Alt+5 finds nothing and changes nothing.
    EXPECT_TRUE(press_alt(L'5'));
    EXPECT_EQ(main_frame->frame->active_child, fourth);
    // Up to nine children each have their key; a tenth has none.
    std::vector<vel_window *> more;
    for (int i = 0; i < 6; i++)
        more.push_back(new_child((L"tobb " + std::to_wstring(i)).c_str(), MAINWND_KIND_PRIVATE));
    wintest_flush();
    EXPECT_TRUE(press_alt(L'9'));
    EXPECT_EQ(main_frame->frame->active_child, more[4]);
    EXPECT_TRUE(press_alt(L'5'));
    EXPECT_EQ(main_frame->frame->active_child, more[0]);
    EXPECT_FALSE(press_alt(L'0')) << "Alt+0 is not a key of the table";
    // Closing the second child moves the later ones up a place.
    close_child(third);
    EXPECT_TRUE(press_alt(L'3'));
    EXPECT_EQ(main_frame->frame->active_child, fourth);
    keys[VK_MENU] = alt_before;
    SetKeyboardState(keys);
    for (vel_window *w : more)
        close_child(w);
    close_child(fourth);
    DestroyAcceleratorTable(accel);
}

TEST_F(MainFrame, StatusBarPartsFollowTheWidth)
{
    set_client_width(700);
    int edges[8] = {};
    const int parts = static_cast<int>(SendMessageW(main_frame->statusbar->hwnd, SB_GETPARTS, 8,
                                                    reinterpret_cast<LPARAM>(edges)));
    ASSERT_EQ(parts, 5);
    EXPECT_EQ(edges[0], 130);
    EXPECT_EQ(edges[1], 260);
    EXPECT_EQ(edges[2], 600);
    EXPECT_EQ(edges[3], 640);
    EXPECT_EQ(edges[4], -1);
    set_client_width(600);
}

TEST_F(MainFrame, LoginTimerDotsWrapAfterFourteen)
{
    mainwnd_start_login_timer(main_frame);
    for (int tick = 1; tick <= 16; tick++) {
        SendMessageW(main_frame->frame->hwnd, WM_TIMER, MAINWND_TIMER_LOGIN, 0);
        const int dots = tick <= 14 ? tick : tick - 15;
        EXPECT_EQ(status_part(1), L"logging in.." + std::wstring(dots, L'.')) << tick;
    }
    mainwnd_start_connect_timer(main_frame);
    SendMessageW(main_frame->frame->hwnd, WM_TIMER, MAINWND_TIMER_CONNECT, 0);
    EXPECT_EQ(status_part(0), L"connecting...");
    mainwnd_set_not_connected(main_frame);
    EXPECT_EQ(status_part(0), L"not connected.");
    EXPECT_EQ(status_part(1), L"not logged in.");
}

TEST_F(MainFrame, ConnectEventShowsThePeerAndLogsIn)
{
    LVC_EvConnected ev{};
    const uint8_t addr[4] = {192, 168, 1, 2};
    std::memcpy(&ev.addr, addr, 4);
    ev.port = 8888;
    cfg_autologin = 0;
    mainwnd_start_connect_timer(main_frame);
    event_handler(LVC_EV_CONNECTED, &ev);
    EXPECT_EQ(status_part(0), L"192.168.1.2:8888");
    EXPECT_NE(last_status_line().find(L"- connected."), std::wstring::npos);
    // The connect timer is stopped: a late tick would overwrite the address otherwise.
    EXPECT_EQ(main_frame->connect_timer, 0u);

    LVC_EvLoggedIn in{"Tündér", 1000005, 0, 5};
    mainwnd_start_login_timer(main_frame);
    packet_handler(15, &in);
    EXPECT_EQ(status_part(1), L"Tündér");
    EXPECT_NE(last_status_line().find(L"- registernick ... Tündér [1000005] 0 5"), std::wstring::npos);

    exception_handler(LVC_ERR_CONNECT, nullptr);
    EXPECT_NE(last_status_line().find(L"- error: connect"), std::wstring::npos);
    EXPECT_EQ(status_part(0), L"not connected.");
    EXPECT_EQ(status_part(1), L"not logged in.");
}

TEST_F(MainFrame, RoomListProgressThenFinished)
{
    LVC_EvProgress part{450, 1000, 9};
    event_handler(LVC_EV_PROGRESS, &part);
    EXPECT_EQ(caption_of(roomlist_window->wnd), L"szobalista 45%");
    EXPECT_EQ(entry_text(roomlist_window->wnd), L"b szobalista 45%_");
    // Progress of other packet types is not the room list's.
    LVC_EvProgress other{10, 1000, 13};
    event_handler(LVC_EV_PROGRESS, &other);
    EXPECT_EQ(caption_of(roomlist_window->wnd), L"szobalista 45%");
    LVC_EvProgress done{1000, 1000, 9};
    event_handler(LVC_EV_PROGRESS, &done);
    EXPECT_EQ(caption_of(roomlist_window->wnd), L"szobalista");
    EXPECT_EQ(entry_text(roomlist_window->wnd), L"b szobalista_");
}

TEST_F(MainFrame, RoomPacketsFillTheListAndStopOnceQuitting)
{
    Room room{};
    room.id = 7;
    room.name = const_cast<char *>("Kert");
    room.theme = const_cast<char *>("$red$virag");
    LVC_EvRoom ev{&room};
    packet_handler(1, nullptr);
    EXPECT_EQ(roomlist_window->room_count, 0);
    packet_handler(2, &ev);
    EXPECT_EQ(roomlist_window->room_count, 1);
    // A null Room is dropped, not followed.
    LVC_EvRoom none{nullptr};
    packet_handler(2, &none);
    EXPECT_EQ(roomlist_window->room_count, 1);

    LVC_SetQuit(1);
    Room late{};
    late.id = 8;
    late.name = const_cast<char *>("Pince");
    late.theme = const_cast<char *>("");
    LVC_EvRoom late_ev{&late};
    packet_handler(2, &late_ev);
    packet_handler(7, &ev);
    packet_handler(1, nullptr);
    EXPECT_EQ(roomlist_window->room_count, 1);
    LVC_SetQuit(0);

    packet_handler(7, &ev);
    EXPECT_EQ(roomlist_window->room_count, 0);
}

vel_window *made_child;
DWORD creator_thread;

void *create_test_room_window(Room *room)
{
    creator_thread = GetCurrentThreadId();
    made_child = vel_mdichild_create(nullptr, nullptr, nullptr, WS_VISIBLE | WS_OVERLAPPEDWINDOW, L"atadott",
                                     CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, main_frame->frame, nullptr);
    if (made_child)
        mainwnd_add_childwindow(main_frame, made_child, MAINWND_KIND_ROOM, L"atadott", room ? L"szoba" : L"-");
    return made_child;
}

TEST_F(MainFrame, HandOverCreatesOnTheInterfaceThread)
{
    main_frame->create_chatwnd = create_test_room_window;
    Room room{};
    void *got = nullptr;
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        got = mainwnd_create_chatwnd(main_frame, &room);
        finished = true;
    });
    const DWORD start = GetTickCount();
    while (!finished && GetTickCount() - start < 10000)
        wintest_pump_for(10);
    reader.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(creator_thread, GetCurrentThreadId());
    ASSERT_NE(made_child, nullptr);
    EXPECT_EQ(got, made_child);
    EXPECT_NE(mainwnd_get_button(main_frame, made_child), nullptr);
    // On the interface thread itself the window is created directly.
    made_child = nullptr;
    void *direct = mainwnd_create_chatwnd(main_frame, &room);
    EXPECT_EQ(direct, made_child);
    close_child(static_cast<vel_window *>(got));
    close_child(static_cast<vel_window *>(direct));
    // Without a creator nothing is made.
    main_frame->create_chatwnd = nullptr;
    EXPECT_EQ(mainwnd_create_chatwnd(main_frame, &room), nullptr);
    const mainwnd_msgbox_creator saved = main_frame->create_msgbox;
    main_frame->create_msgbox = nullptr;
    EXPECT_EQ(mainwnd_create_msgbox(main_frame, "cim", "szoveg", 1, 1), nullptr);
    main_frame->create_msgbox = saved;
}

TEST_F(MainFrame, FriendListFollowsAddAndDelete)
{
    friendlist_add(321, "Mókus");
    friendlist_add(123, "Bodri");
    ASSERT_EQ(vel_listview_getitemcount(main_frame->friendlist), 2);
    wchar_t first[32] = {};
    vel_listview_getitemtext(main_frame->friendlist, 0, 0, first, 32);
    EXPECT_STREQ(first, L"Bodri");
    friendlist_del(321);
    EXPECT_EQ(vel_listview_getitemcount(main_frame->friendlist), 1);
    EXPECT_EQ(vel_listview_findlparam(main_frame->friendlist, 321), -1);
    friendlist_del(999);
    EXPECT_EQ(vel_listview_getitemcount(main_frame->friendlist), 1);
    friendlist_del(123);
}

TEST_F(MainFrame, PanesHideAndShow)
{
    mainwnd_show_windowlist(main_frame, 0);
    EXPECT_FALSE(IsWindowVisible(main_frame->windowlist->hwnd));
    EXPECT_EQ(main_frame->mdi_client->x, 0);
    SendMessageW(main_frame->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_WINDOWLIST, 1), 0);
    EXPECT_TRUE(main_frame->flags & MAINWND_PANES_SHOWN);
    EXPECT_EQ(main_frame->mdi_client->x, main_frame->vsplitter->x + 4);
    EXPECT_TRUE(IsWindowVisible(main_frame->windowlist->hwnd));
}

// A drag of a splitter by the mouse: pressed, moved by `distance` along its axis, released.
void drag(const vel_widget *splitter, int distance)
{
    const bool vertical = splitter == main_frame->vsplitter;
    const LPARAM from = MAKELPARAM(2, 2);
    const LPARAM to = vertical ? MAKELPARAM(2 + distance, 2) : MAKELPARAM(2, 2 + distance);
    SendMessageW(splitter->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, from);
    SendMessageW(splitter->hwnd, WM_MOUSEMOVE, MK_LBUTTON, to);
    SendMessageW(splitter->hwnd, WM_LBUTTONUP, 0, to);
    wintest_flush();
}

int left_in_frame(const vel_widget *w)
{
    RECT rc;
    GetWindowRect(w->hwnd, &rc);
    MapWindowPoints(nullptr, main_frame->frame->hwnd, reinterpret_cast<POINT *>(&rc), 2);
    return rc.left;
}

// Dragging the splitters moves the panes and the MDI client within their bounds, and a
// double click on the vertical one hides the panes.
TEST_F(MainFrame, SplitterDragsAndTheDoubleClickThatHidesThePanes)
{
    mainwnd_show_windowlist(main_frame, 1);
    const int client_x = main_frame->mdi_client->x, list_w = main_frame->windowlist->w;
    drag(main_frame->vsplitter, 30);
    EXPECT_EQ(main_frame->mdi_client->x, client_x + 30);
    EXPECT_EQ(left_in_frame(main_frame->mdi_client), client_x + 30);
    EXPECT_EQ(main_frame->windowlist->w, list_w + 30);
    EXPECT_EQ(main_frame->friendlist->w, list_w + 30);
    EXPECT_EQ(main_frame->hsplitter->w, list_w + 30);
    // The bounds (-100 and 100) hold from where the bar started, over several drags.
    drag(main_frame->vsplitter, 150);
    EXPECT_EQ(main_frame->windowlist->w, list_w + 100);
    drag(main_frame->vsplitter, -300);
    EXPECT_EQ(main_frame->windowlist->w, list_w - 100);
    drag(main_frame->vsplitter, 100);
    EXPECT_EQ(main_frame->mdi_client->x, client_x);

    const int list_h = main_frame->windowlist->h, friends_y = main_frame->friendlist->y;
    drag(main_frame->hsplitter, 40);
    EXPECT_EQ(main_frame->windowlist->h, list_h + 40);
    EXPECT_EQ(main_frame->friendlist->y, friends_y + 40);
    drag(main_frame->hsplitter, -40);
    EXPECT_EQ(main_frame->windowlist->h, list_h);

    SendMessageW(main_frame->vsplitter->hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
    wintest_flush();
    EXPECT_FALSE(main_frame->flags & MAINWND_PANES_SHOWN);
    EXPECT_FALSE(IsWindowVisible(main_frame->windowlist->hwnd));
    EXPECT_EQ(main_frame->mdi_client->x, 0);
    mainwnd_show_windowlist(main_frame, 1);
}

// The View menu's check marks follow the state each time it opens.
TEST_F(MainFrame, ViewMenuChecksFollowTheState)
{
    HMENU view = GetSubMenu(main_frame->menu, 1);
    auto checked = [&](UINT id) {
        SendMessageW(main_frame->frame->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 1);
        return (GetMenuState(view, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    mainwnd_show_windowlist(main_frame, 1);
    main_frame->flags &= ~(MAINWND_MINIMIZE_TO_TRAY | MAINWND_ON_TOP);
    cfg_console = 0;
    EXPECT_TRUE(checked(IDC_VIEW_WINDOWLIST));
    for (UINT id : {IDC_VIEW_FULLSCREEN, IDC_VIEW_TRAY, IDC_VIEW_ONTOP, IDC_VIEW_CONSOLE})
        EXPECT_FALSE(checked(id)) << id;
    mainwnd_show_windowlist(main_frame, 0);
    main_frame->flags |= MAINWND_MINIMIZE_TO_TRAY | MAINWND_ON_TOP;
    main_frame->frame->state |= 1u;
    cfg_console = 1;
    EXPECT_FALSE(checked(IDC_VIEW_WINDOWLIST));
    for (UINT id : {IDC_VIEW_FULLSCREEN, IDC_VIEW_TRAY, IDC_VIEW_ONTOP, IDC_VIEW_CONSOLE})
        EXPECT_TRUE(checked(id)) << id;
    main_frame->flags &= ~(MAINWND_MINIMIZE_TO_TRAY | MAINWND_ON_TOP);
    main_frame->frame->state &= ~1u;
    cfg_console = 0;
    mainwnd_show_windowlist(main_frame, 1);
}

TEST_F(MainFrame, ClosedConnectionWhileQuittingEndsTheLoop)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    event_handler(LVC_EV_CLOSED, nullptr);
    EXPECT_NE(last_status_line().find(L"- connection closed."), std::wstring::npos);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    LVC_SetQuit(1);
    event_handler(LVC_EV_CLOSED, nullptr);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    LVC_SetQuit(0);
}

UINT forwarded_command;

int recording_child_proc(vel_window *, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *)
{
    if (msg == WM_COMMAND)
        forwarded_command = LOWORD(wp);
    return VEL_CONTINUE;
}

TEST_F(MainFrame, KeyCommandsReachTheActiveChildOnlyFromKeys)
{
    vel_window *child = vel_mdichild_create(nullptr, nullptr, nullptr, WS_VISIBLE | WS_OVERLAPPEDWINDOW, L"kulcs",
                                            CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, main_frame->frame,
                                            recording_child_proc);
    ASSERT_NE(child, nullptr);
    mainwnd_add_childwindow(main_frame, child, MAINWND_KIND_PRIVATE, L"kulcs", L"kulcs");
    vel_mdichild_activate(child);
    wintest_flush();
    forwarded_command = 0;
    SendMessageW(main_frame->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_TIMESTAMP, 1), 0);  // Alt+T
    EXPECT_EQ(forwarded_command, static_cast<UINT>(IDC_TIMESTAMP));
    forwarded_command = 0;
    SendMessageW(main_frame->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_FLASH, 0), 0);  // a menu, not a key
    EXPECT_EQ(forwarded_command, 0u);
    close_child(child);
}

TEST_F(MainFrame, FullScreenAndAlwaysOnTopToggle)
{
    HWND hwnd = main_frame->frame->hwnd;
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_FULLSCREEN, 1), 0);
    wintest_flush();
    EXPECT_TRUE(main_frame->frame->state & 1u);
    EXPECT_FALSE(GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_FULLSCREEN, 1), 0);
    wintest_flush();
    EXPECT_FALSE(main_frame->frame->state & 1u);
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION);

    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_ONTOP, 0), 0);
    EXPECT_TRUE(main_frame->flags & MAINWND_ON_TOP);
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_ONTOP, 0), 0);
    EXPECT_FALSE(main_frame->flags & MAINWND_ON_TOP);
    EXPECT_FALSE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainFrame, MinimiseToTrayAndBack)
{
    HWND hwnd = main_frame->frame->hwnd;
    ShowWindow(hwnd, SW_MAXIMIZE);
    wintest_flush();
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_TRAY, 0), 0);
    ASSERT_TRUE(main_frame->flags & MAINWND_MINIMIZE_TO_TRAY);
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    wintest_flush();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), main_frame->tray_owner->hwnd);
    EXPECT_TRUE(main_frame->flags & MAINWND_WAS_MAXIMIZED);
    SendMessageW(hwnd, MAINWND_WM_TRAY, 1, WM_LBUTTONUP);
    wintest_flush();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsZoomed(hwnd));
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_VIEW_TRAY, 0), 0);
    ShowWindow(hwnd, SW_RESTORE);
    wintest_flush();
}

wintest_reused_blocks *after_destroy;

// A child as the chat windows are: it leaves the frame's registry when it is destroyed.
int registered_child_proc(vel_window *self, HWND, UINT msg, WPARAM, LPARAM, LRESULT *)
{
    if (msg == WM_DESTROY) {
        mainwnd_del_childwindow(main_frame, self);
        if (after_destroy)
            after_destroy->take(sizeof(vel_widget));
    }
    return VEL_CONTINUE;
}

// The bar button of a new child that leaves the registry when it is destroyed.
vel_widget *button_of_new_child(const wchar_t *caption, HWND *child_hwnd)
{
    vel_window *child = new_child(caption, MAINWND_KIND_PRIVATE, registered_child_proc);
    *child_hwnd = child ? child->hwnd : nullptr;
    return child ? mainwnd_get_button(main_frame, child) : nullptr;
}

// "Close" picked from a bar button's menu closes the child, whose button goes with it; the
// button's handling must not touch its record afterwards.
TEST_F(MainFrame, CloseFromTheBarButtonsMenu)
{
    HWND child_hwnd;
    vel_widget *button = button_of_new_child(L"menus", &child_hwnd);
    ASSERT_NE(button, nullptr);
    auto *child = static_cast<vel_window *>(button->data);
    const int before = main_frame->button_count;
    wintest_reused_blocks blocks;
    after_destroy = &blocks;
    {
        wintest_menu_pick pick(SC_CLOSE);
        SendMessageW(button->hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(button->hwnd), MAKELPARAM(-1, -1));
    }
    after_destroy = nullptr;
    wintest_flush();
    EXPECT_FALSE(IsWindow(child_hwnd));
    EXPECT_EQ(main_frame->button_count, before - 1);
    EXPECT_EQ(mainwnd_find_listitem(main_frame, child), -1);
    EXPECT_TRUE(blocks.untouched());
}

// The bar button's mouse: a double click zooms the child and a second one restores it; a
// middle click closes it.
TEST_F(MainFrame, BarButtonDoubleAndMiddleClick)
{
    HWND hwnd;
    vel_widget *button = button_of_new_child(L"gomb", &hwnd);
    ASSERT_NE(button, nullptr);
    auto *child = static_cast<vel_window *>(button->data);
    SendMessageW(button->hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    wintest_flush();
    EXPECT_EQ(main_frame->frame->zoomed_child, child);
    SendMessageW(button->hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    wintest_flush();
    EXPECT_EQ(main_frame->frame->zoomed_child, nullptr);
    const int buttons = main_frame->button_count;
    SendMessageW(button->hwnd, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button->hwnd, WM_MBUTTONUP, 0, MAKELPARAM(5, 5));
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(main_frame->button_count, buttons - 1);
}

void CALLBACK connection_closed_while_quitting(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    LVC_SetQuit(1);
    event_handler(LVC_EV_CLOSED, nullptr);
}

void CALLBACK loop_did_not_end(HWND, UINT, UINT_PTR, DWORD)
{
    EndMenu();
    PostQuitMessage(99);
}

// Alt+X while connected: the key's release puts the menu bar into keyboard mode, and the
// connection's end arrives inside that menu's loop. The message loop ends all the same.
TEST_F(MainFrame, ClosedConnectionInsideTheMenuLoopEndsTheProgram)
{
    HWND hwnd = main_frame->frame->hwnd;
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
    SetTimer(nullptr, 0, 200, connection_closed_while_quitting);
    const UINT_PTR give_up = SetTimer(nullptr, 0, 5000, loop_did_not_end);
    EXPECT_EQ(vel_run(main_frame->frame, nullptr), 0u);
    KillTimer(nullptr, give_up);
    LVC_SetQuit(0);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetCurrentThreadId(), &info);
    EXPECT_FALSE(info.flags & GUI_INMENUMODE);
    EXPECT_TRUE(IsWindow(hwnd));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Cancel in the exit question leaves everything as it was, also while connected.
TEST_F(MainFrame, CancelInTheExitQuestionKeepsEverything)
{
    cfg_confirm_exit = 1;
    const int connected = lvc.connected;
    lvc.connected = 1;
    HWND hwnd = main_frame->frame->hwnd;
    uitest_msgbox_watch watch(L"Kilépés", IDCANCEL);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_FILE_EXIT, 1), 0);
    watch.finish();
    wintest_flush();
    EXPECT_TRUE(watch.found);
    EXPECT_EQ(watch.text, L"Biztosan kilépsz?");
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(LVC_GetQuit());
    EXPECT_EQ(lvc.connected, 1);
    lvc.connected = connected;
    cfg_confirm_exit = 0;
}

// Last: closing destroys the frame.
TEST_F(MainFrame, ExitWithoutConfirmationWhileNotConnectedDestroysTheFrame)
{
    cfg_confirm_exit = 0;
    HWND hwnd = main_frame->frame->hwnd;
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_FILE_EXIT, 1), 0);
    wintest_flush();
    EXPECT_TRUE(LVC_GetQuit());
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
