#include <gtest/gtest.h>

#include <vector>

#include "tests/win/wintest.h"
#include "toolkit/mdichild.h"
#include "toolkit/mdiframe.h"
#include "toolkit/widget.h"

namespace {

std::vector<std::pair<vel_window *, LPARAM>> activations;  // VEL_WM_CHILDACTIVATE to the frame
int alive_at_probe = -1;  // WM_APP to the frame: whether the window in wp still existed

int frame_proc(vel_window *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *)
{
    if (msg == WM_CREATE) {
        HMENU window_menu = GetSubMenu(GetMenu(self->hwnd), 0);
        vel_widget_create(nullptr, self, WS_EX_CLIENTEDGE, WS_CLIPCHILDREN, reinterpret_cast<const wchar_t *>(window_menu),
                          0, 0, 0, 0, 15, nullptr, nullptr, VEL_MDICLIENT, nullptr);
    } else if (msg == WM_APP) {
        alive_at_probe = IsWindow(reinterpret_cast<HWND>(wp)) ? 1 : 0;
    } else if (msg == VEL_WM_CHILDACTIVATE) {
        activations.emplace_back(reinterpret_cast<vel_window *>(wp), lp);
    }
    return VEL_CONTINUE;
}

class Mdi : public testing::Test {
protected:
    void SetUp() override
    {
        wintest_init();
        activations.clear();
        HMENU bar = CreateMenu();
        HMENU window_menu = CreatePopupMenu();
        AppendMenuW(window_menu, MF_STRING, 100, L"Lépcsőzetes");
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(window_menu), L"Ablak");
        AppendMenuW(bar, MF_STRING, 101, L"Súgó");
        frame_ = vel_mdiframe_create(nullptr, nullptr, nullptr, 0,
                                     WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, L"frame", 0, 0, 800, 600,
                                     nullptr, bar, frame_proc);
        ASSERT_NE(frame_, nullptr);
        ASSERT_NE(frame_->mdi_client, nullptr);
        client_ = frame_->mdi_client->hwnd;
        SendMessageW(frame_->hwnd, WM_SIZE, 0, 0);
        bar_items_ = GetMenuItemCount(bar);
        wintest_flush();
    }
    void TearDown() override
    {
        DestroyWindow(frame_->hwnd);
        wintest_flush();
    }
    vel_window *child(const wchar_t *caption, int x = 10, int y = 10, int w = 200, int h = 150,
                      DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE)
    {
        vel_window *c = vel_mdichild_create(nullptr, nullptr, LoadIconW(nullptr, IDI_APPLICATION), style, caption, x,
                                            y, w, h, frame_, nullptr);
        EXPECT_NE(c, nullptr);
        return c;
    }
    static void command(vel_window *c, WPARAM sc) { SendMessageW(c->hwnd, WM_SYSCOMMAND, sc, 0); }
    RECT in_client(const vel_window *c) const
    {
        RECT rc;
        GetWindowRect(c->hwnd, &rc);
        MapWindowPoints(nullptr, client_, reinterpret_cast<POINT *>(&rc), 2);
        return rc;
    }
    RECT client_rect() const
    {
        RECT rc;
        GetClientRect(client_, &rc);
        return rc;
    }
    int bar_count() const { return GetMenuItemCount(GetMenu(frame_->hwnd)); }
    // The menu bar's zoom items: icon item first with the child's system menu, then the
    // three buttons at the end.
    void expect_zoom_items_of(const vel_window *c) const
    {
        HMENU bar = GetMenu(frame_->hwnd);
        ASSERT_EQ(bar_count(), bar_items_ + 4);
        EXPECT_EQ(GetMenuItemID(bar, 0), UINT(-1));  // it has a submenu
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoW(bar, 0, TRUE, &mii));
        EXPECT_EQ(mii.wID, UINT(VEL_ZOOM_ICON_ID));
        EXPECT_EQ(mii.hSubMenu, GetSystemMenu(c->hwnd, FALSE));
        EXPECT_TRUE(mii.fType & MFT_OWNERDRAW);
        EXPECT_EQ(mii.dwItemData, static_cast<ULONG_PTR>(SendMessageW(c->hwnd, WM_GETICON, ICON_SMALL, 0)));
        const int n = bar_count();
        EXPECT_EQ(GetMenuItemID(bar, n - 3), UINT(SC_MINIMIZE));
        EXPECT_EQ(GetMenuItemID(bar, n - 2), UINT(SC_RESTORE));
        EXPECT_EQ(GetMenuItemID(bar, n - 1), UINT(SC_CLOSE));
        EXPECT_EQ(frame_->zoomed_child, c);
    }
    void expect_zoomed(const vel_window *c) const
    {
        EXPECT_EQ(c->child_flags & 1u, 1u);
        EXPECT_FALSE(GetWindowLongW(c->hwnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
        const RECT rc = in_client(c), cr = client_rect();
        EXPECT_EQ(rc.left, 0);
        EXPECT_EQ(rc.top, 0);
        EXPECT_EQ(rc.right, cr.right);
        EXPECT_EQ(rc.bottom, cr.bottom);
    }
    void expect_normal_at(const vel_window *c, RECT place) const
    {
        EXPECT_EQ(c->child_flags & 1u, 0u);
        EXPECT_FALSE(IsIconic(c->hwnd));
        EXPECT_EQ(GetWindowLongW(c->hwnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), WS_CAPTION | WS_THICKFRAME);
        const RECT rc = in_client(c);
        EXPECT_TRUE(EqualRect(&rc, &place)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
    }
    vel_window *frame_ = nullptr;
    HWND client_ = nullptr;
    int bar_items_ = 0;
};

TEST_F(Mdi, ChildIsRegisteredWithItsExtraSystemMenuItems)
{
    vel_window *a = child(L"A");
    EXPECT_EQ(a->kind, VEL_KIND_MDICHILD);
    EXPECT_EQ(a->frame, frame_);
    EXPECT_EQ(a->next_id, 6000);
    EXPECT_EQ(GetParent(a->hwnd), client_);
    EXPECT_EQ(vel_list_get(frame_->children, reinterpret_cast<vel_list_key>(a->hwnd)), a);
    HMENU sys = GetSystemMenu(a->hwnd, FALSE);
    EXPECT_EQ(GetMenuItemID(sys, 0), UINT(VEL_SC_CENTER));
    EXPECT_EQ(GetMenuItemID(sys, 1), UINT(VEL_SC_ONTOP));
    wchar_t text[32];
    GetMenuStringW(sys, 0, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"To center");
    GetMenuStringW(sys, 1, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"On top");
    EXPECT_EQ(frame_->active_child, a);
}

TEST_F(Mdi, ZoomAThenBAndRestoringBGivesTheMenuBarBackToA)
{
    vel_window *a = child(L"A", 10, 10, 200, 150), *b = child(L"B", 40, 30, 220, 160);
    const RECT b_place = in_client(b);
    command(a, SC_MAXIMIZE);
    expect_zoomed(a);
    expect_zoom_items_of(a);
    vel_mdichild_activate(b);
    command(b, SC_MAXIMIZE);
    expect_zoomed(b);
    EXPECT_EQ(a->child_flags & 1u, 1u);
    expect_zoom_items_of(b);
    command(b, SC_RESTORE);
    expect_normal_at(b, b_place);
    expect_zoom_items_of(a);
    expect_zoomed(a);
    // The MDI client keeps the zoomed child at its size.
    MoveWindow(frame_->hwnd, 0, 0, 700, 500, TRUE);
    expect_zoomed(a);
}

TEST_F(Mdi, MinimisingTheZoomedChildAndRestoringItFromTheIcon)
{
    vel_window *a = child(L"A", 30, 20, 200, 150);
    const RECT place = in_client(a);
    command(a, SC_MAXIMIZE);
    command(a, SC_MINIMIZE);
    EXPECT_TRUE(IsIconic(a->hwnd));
    EXPECT_EQ(frame_->zoomed_child, nullptr);
    EXPECT_EQ(bar_count(), bar_items_);
    EXPECT_EQ(a->child_flags & 1u, 1u);  // the mark stays
    command(a, SC_RESTORE);
    expect_normal_at(a, place);
    EXPECT_EQ(bar_count(), bar_items_);
    // Zoomed straight from the minimised state, it still comes back to its place.
    command(a, SC_MINIMIZE);
    command(a, SC_MAXIMIZE);
    expect_zoomed(a);
    expect_zoom_items_of(a);
    command(a, SC_RESTORE);
    expect_normal_at(a, place);
}

TEST_F(Mdi, MaximisingTwiceAddsTheItemsOnce)
{
    vel_window *a = child(L"A");
    const RECT place = in_client(a);
    command(a, SC_MAXIMIZE);
    command(a, SC_MAXIMIZE);
    expect_zoom_items_of(a);
    command(a, SC_RESTORE);
    expect_normal_at(a, place);
    EXPECT_EQ(bar_count(), bar_items_);
}

TEST_F(Mdi, ToCenterCentresOrFillsTheClient)
{
    const RECT cr = client_rect();
    vel_window *small = child(L"small", 5, 5, 200, 150);
    command(small, VEL_SC_CENTER);
    RECT rc = in_client(small);
    EXPECT_EQ(rc.left, (cr.right - 200) / 2);
    EXPECT_EQ(rc.top, (cr.bottom - 150) / 2);
    EXPECT_EQ(rc.right - rc.left, 200);
    vel_window *big = child(L"big", 0, 0, 2000, 300);
    command(big, VEL_SC_CENTER);
    rc = in_client(big);
    EXPECT_TRUE(EqualRect(&rc, &cr));
}

TEST_F(Mdi, OnTopChildStaysAboveActivatedSiblings)
{
    vel_window *a = child(L"A"), *b = child(L"B", 50, 50), *c = child(L"C", 90, 90);
    command(a, VEL_SC_ONTOP);
    EXPECT_EQ(frame_->ontop_child, a);
    vel_mdichild_getsystemmenu(a);
    EXPECT_TRUE(GetMenuState(GetSystemMenu(a->hwnd, FALSE), VEL_SC_ONTOP, MF_BYCOMMAND) & MF_CHECKED);
    vel_mdichild_activate(b);
    EXPECT_EQ(GetTopWindow(client_), a->hwnd);
    EXPECT_EQ(GetWindow(a->hwnd, GW_HWNDNEXT), b->hwnd);
    vel_mdichild_activate(c);
    EXPECT_EQ(GetTopWindow(client_), a->hwnd);
    EXPECT_EQ(frame_->active_child, c);
    // Chosen again, "On top" is switched off.
    command(a, VEL_SC_ONTOP);
    EXPECT_EQ(frame_->ontop_child, nullptr);
    vel_mdichild_getsystemmenu(a);
    EXPECT_FALSE(GetMenuState(GetSystemMenu(a->hwnd, FALSE), VEL_SC_ONTOP, MF_BYCOMMAND) & MF_CHECKED);
    vel_mdichild_activate(b);
    EXPECT_EQ(GetTopWindow(client_), b->hwnd);
}

TEST_F(Mdi, CascadeAndTileRestoreZoomedAndMinimisedChildrenFirst)
{
    using arrange = void (*)(vel_window *, int);
    for (arrange f : {arrange(vel_mdiframe_cascade), arrange(vel_mdiframe_tile_horizontal),
                      arrange(vel_mdiframe_tile_vertical)}) {
        vel_window *a = child(L"A"), *b = child(L"B"), *c = child(L"C");
        command(a, SC_MAXIMIZE);
        command(b, SC_MINIMIZE);
        f(frame_, 0);
        for (vel_window *w : {a, b, c}) {
            EXPECT_FALSE(IsIconic(w->hwnd));
            EXPECT_EQ(w->child_flags & 1u, 0u);
            EXPECT_TRUE(GetWindowLongW(w->hwnd, GWL_STYLE) & WS_CAPTION);
        }
        EXPECT_EQ(frame_->zoomed_child, nullptr);
        EXPECT_EQ(bar_count(), bar_items_);
        // Arranged: no two children share their top-left corner.
        const RECT ra = in_client(a), rb = in_client(b), rcc = in_client(c);
        EXPECT_FALSE(ra.left == rb.left && ra.top == rb.top);
        EXPECT_FALSE(rb.left == rcc.left && rb.top == rcc.top);
        for (vel_window *w : {a, b, c})
            vel_mdichild_destroy(w);
        EXPECT_EQ(frame_->children, nullptr);
    }
}

TEST_F(Mdi, SystemMenuFollowsTheStateTable)
{
    vel_window *a = child(L"A");
    struct row {
        const char *name;
        UINT default_item;
        bool maximise, move, size, restore, minimise, ontop, center;  // enabled?
    } const rows[] = {
        {"normal", SC_CLOSE, true, true, true, false, true, true, true},
        {"zoomed", SC_CLOSE, false, false, false, true, true, false, false},
        {"minimised", SC_RESTORE, true, true, false, true, false, true, false},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        if (r.name[0] == 'z')
            command(a, SC_MAXIMIZE);
        if (r.name[0] == 'm')
            command(a, SC_MINIMIZE);
        HMENU sys = vel_mdichild_getsystemmenu(a);
        EXPECT_EQ(GetMenuDefaultItem(sys, FALSE, 0), r.default_item);
        auto enabled = [sys](UINT id) {
            const UINT state = GetMenuState(sys, id, MF_BYCOMMAND);
            EXPECT_NE(state, UINT(-1)) << id;
            return !(state & MF_GRAYED);
        };
        EXPECT_EQ(enabled(SC_MAXIMIZE), r.maximise);
        EXPECT_EQ(enabled(SC_MOVE), r.move);
        EXPECT_EQ(enabled(SC_SIZE), r.size);
        EXPECT_EQ(enabled(SC_RESTORE), r.restore);
        EXPECT_EQ(enabled(SC_MINIMIZE), r.minimise);
        EXPECT_EQ(enabled(VEL_SC_ONTOP), r.ontop);
        EXPECT_EQ(enabled(VEL_SC_CENTER), r.center);
    }
    // Items the window's style does not allow are taken out.
    // (Without MDIS_ALLCHILDSTYLES the MDI client gives every child all of them, so the
    // style is narrowed after creation.)
    vel_window *fixed = child(L"fixed", 0, 0, 100, 100, WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    const LONG style = GetWindowLongW(fixed->hwnd, GWL_STYLE);
    SetWindowLongW(fixed->hwnd, GWL_STYLE, style & ~(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    HMENU sys = vel_mdichild_getsystemmenu(fixed);
    for (UINT id : {SC_SIZE, SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE})
        EXPECT_EQ(GetMenuState(sys, id, MF_BYCOMMAND), UINT(-1)) << id;
    EXPECT_NE(GetMenuState(sys, SC_CLOSE, MF_BYCOMMAND), UINT(-1));
}

TEST_F(Mdi, MenuBarOpensTheZoomedChildsSystemMenuAdjusted)
{
    vel_window *a = child(L"A");
    command(a, SC_MAXIMIZE);
    HMENU sys = GetSystemMenu(a->hwnd, FALSE);
    EnableMenuItem(sys, SC_MOVE, MF_BYCOMMAND | MF_ENABLED);
    SendMessageW(frame_->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sys), MAKELPARAM(0, FALSE));
    EXPECT_TRUE(GetMenuState(sys, SC_MOVE, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(Mdi, MenuBarButtonsReachTheZoomedChild)
{
    vel_window *a = child(L"A"), *b = child(L"B");
    command(a, SC_MAXIMIZE);
    vel_mdichild_activate(b);
    command(b, SC_MAXIMIZE);
    SendMessageW(frame_->hwnd, WM_COMMAND, MAKEWPARAM(SC_MINIMIZE, 0), 0);
    EXPECT_TRUE(IsIconic(b->hwnd));
    expect_zoom_items_of(a);
    HWND ah = a->hwnd;
    SendMessageW(frame_->hwnd, WM_COMMAND, MAKEWPARAM(SC_CLOSE, 0), 0);
    EXPECT_FALSE(IsWindow(ah));
    EXPECT_EQ(frame_->zoomed_child, nullptr);
    EXPECT_EQ(bar_count(), bar_items_);
    EXPECT_EQ(vel_list_get(frame_->children, reinterpret_cast<vel_list_key>(ah)), nullptr);
}

TEST_F(Mdi, DestroyingTheZoomedChildHandsTheMenuBarToTheNextZoomedOne)
{
    vel_window *a = child(L"A"), *b = child(L"B"), *c = child(L"C");
    command(a, SC_MAXIMIZE);
    vel_mdichild_activate(b);
    command(b, SC_MAXIMIZE);
    vel_mdichild_activate(c);
    EXPECT_EQ(frame_->active_child, c);
    vel_mdichild_destroy(b);
    expect_zoom_items_of(a);
    expect_zoomed(a);
    // Closing a child goes through the MDI client.
    HWND ch = c->hwnd;
    SendMessageW(ch, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(ch));
    EXPECT_NE(frame_->active_child, c);
}

// A child that closes itself from its own button, as dialogs and popups do.
int closing_child(vel_window *self, HWND, UINT msg, WPARAM, LPARAM, LRESULT *)
{
    if (msg == VEL_WM_COMMAND)
        vel_mdichild_destroy(self);
    return VEL_CONTINUE;
}

TEST_F(Mdi, ChildClosingItselfFromItsButton)
{
    vel_window *a = vel_mdichild_create(nullptr, nullptr, nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"popup", 0, 0,
                                        200, 100, frame_, closing_child);
    ASSERT_NE(a, nullptr);
    command(a, SC_MAXIMIZE);
    vel_widget *button = vel_widget_create(nullptr, a, 0, BS_PUSHBUTTON, L"Bezár", 5, 5, 60, 24, 5, nullptr, nullptr,
                                           VEL_BUTTON, nullptr);
    ASSERT_NE(button, nullptr);
    HWND ah = a->hwnd, bh = button->hwnd;
    SendMessageW(ah, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED), reinterpret_cast<LPARAM>(bh));
    EXPECT_FALSE(IsWindow(ah));
    EXPECT_EQ(frame_->children, nullptr);
    EXPECT_EQ(frame_->zoomed_child, nullptr);
    EXPECT_EQ(frame_->active_child, nullptr);
    EXPECT_EQ(bar_count(), bar_items_);
}

TEST_F(Mdi, ActivationIsReportedToTheFrame)
{
    vel_window *a = child(L"A"), *b = child(L"B");
    activations.clear();
    EXPECT_EQ(vel_mdichild_activate(a), b);
    EXPECT_EQ(frame_->active_child, a);
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0], (std::pair<vel_window *, LPARAM>{b, 1}));
    EXPECT_EQ(activations[1], (std::pair<vel_window *, LPARAM>{a, 0}));
}

TEST_F(Mdi, NewIconRebuildsTheZoomedMenu)
{
    vel_window *a = child(L"A");
    command(a, SC_MAXIMIZE);
    HICON icon = LoadIconW(nullptr, IDI_WARNING);
    vel_mdichild_seticon(a, nullptr, icon);
    expect_zoom_items_of(a);
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_DATA;
    GetMenuItemInfoW(GetMenu(frame_->hwnd), 0, TRUE, &mii);
    EXPECT_EQ(mii.dwItemData, reinterpret_cast<ULONG_PTR>(icon));
}

TEST_F(Mdi, ZoomItemsAreMeasuredAndDrawn)
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    const int base = GetSystemMetrics(SM_CXMENUSIZE) + ncm.lfMenuFont.lfHeight - 3;
    struct row {
        UINT id;
        ULONG_PTR data;
        int width;
    } const rows[] = {{VEL_ZOOM_ICON_ID, 0, base + 4}, {SC_MINIMIZE, 1, base}, {SC_RESTORE, 2, base + 2},
                      {SC_CLOSE, 3, base + 2}};
    for (const row &r : rows) {
        MEASUREITEMSTRUCT mis{};
        mis.CtlType = ODT_MENU;
        mis.itemID = r.id;
        mis.itemData = r.data;
        EXPECT_EQ(SendMessageW(frame_->hwnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)), 1);
        EXPECT_EQ(static_cast<int>(mis.itemWidth), r.width) << r.id;
        EXPECT_EQ(static_cast<int>(mis.itemHeight), GetSystemMetrics(SM_CYMENUSIZE));
    }
    const int cx = GetSystemMetrics(SM_CXMENUSIZE), cy = GetSystemMetrics(SM_CYMENUSIZE);
    for (const row &r : rows) {
        wintest_canvas canvas(60, 40);
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_MENU;
        dis.itemID = r.id;
        dis.itemAction = ODA_DRAWENTIRE;
        dis.hDC = canvas.dc();
        dis.rcItem = {0, 0, 50, cy};
        dis.itemData = r.id == VEL_ZOOM_ICON_ID ? reinterpret_cast<ULONG_PTR>(LoadIconW(nullptr, IDI_APPLICATION))
                                                : r.data;
        EXPECT_EQ(SendMessageW(frame_->hwnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)), 1);
        int painted = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                if (canvas.at(x, y) != RGB(0, 0, 0)) {
                    ++painted;
                    // Buttons stay inside their shrunken rectangle.
                    if (r.id != VEL_ZOOM_ICON_ID) {
                        EXPECT_TRUE(x < cx - 2 && y >= 2 && y < cy - 4) << x << "," << y;
                    }
                }
        EXPECT_GT(painted, 20) << r.id;
    }
}

void CALLBACK give_up(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

// A frame that makes and destroys a widget per child window (as a bar of buttons does)
// never gives a widget an identifier of the Window menu's entries: their picks still
// activate the child.
TEST_F(Mdi, WidgetIdentifiersAreReusedAndLeaveTheWindowMenusOwn)
{
    vel_window *first = child(L"elso");
    vel_window *second = child(L"masodik");
    ASSERT_EQ(frame_->active_child, second);
    for (int i = 0; i < 1200; i++) {
        vel_widget *button = vel_widget_create(nullptr, frame_, 0, 0, L"", 0, 0, 10, 10, 5, nullptr, nullptr,
                                               VEL_BUTTON, nullptr);
        ASSERT_NE(button, nullptr) << i;
        ASSERT_LT(button->id, 7000) << i;
        vel_widget_destroy(button);
        wintest_flush();
    }
    // The Window menu's entry for the first child (the MDI client numbers them from 7000).
    SendMessageW(frame_->hwnd, WM_COMMAND, MAKEWPARAM(7000, 0), 0);
    wintest_flush();
    EXPECT_EQ(frame_->active_child, first);
}

TEST_F(Mdi, LoopTranslatesTheMdiKeysOfTheFrame)
{
    vel_window *a = child(L"A");
    HWND ah = a->hwnd;
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(ah, WM_KEYDOWN, VK_F4, 0);
    PostMessageW(frame_->hwnd, WM_APP, reinterpret_cast<WPARAM>(ah), 0);
    PostMessageW(frame_->hwnd, WM_CLOSE, 0, 0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 5000, give_up);
    const WPARAM code = vel_run(frame_, nullptr);
    KillTimer(nullptr, timer);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(alive_at_probe, 0);
    // The frame is gone too; make TearDown harmless.
    frame_ = vel_mdiframe_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"spare", 0, 0, 100, 100,
                                 nullptr, CreateMenu(), nullptr);
}

}  // namespace
