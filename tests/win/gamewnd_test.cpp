// The five-in-a-row frame under Wine: the game registry and the empty game window.
#include <gtest/gtest.h>

#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "ui/game.h"

#include <cstdlib>
#include <string>

namespace {

struct Game : ::testing::Test {
    mainwnd *mw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
    }
    void TearDown() override
    {
        while (game_list)
            std::free(vel_list_del(&game_list, game_list->key));
    }
};

TEST_F(Game, AddMakesARecordWithoutAWindowAndKeepsItOutOfTheRegistry)
{
    game *g = game_add(mw, 42, "anna", 7, 1);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->key, 42);
    EXPECT_EQ(g->value, 7);
    EXPECT_EQ(g->wnd, nullptr);
    EXPECT_EQ(game_get_entry(42), nullptr);
    EXPECT_EQ(game_process_message(), 0);
    std::free(g);
}

TEST_F(Game, RegistryGetsAndDeletesByKey)
{
    game *a = game_add(mw, 1, "a", 0, 0);
    game *b = game_add(mw, -2, "b", 0, 0);
    vel_list_add(&game_list, static_cast<uint32_t>(a->key), a);
    vel_list_add(&game_list, static_cast<uint32_t>(b->key), b);
    EXPECT_EQ(game_get_entry(1), a);
    EXPECT_EQ(game_get_entry(-2), b);
    EXPECT_EQ(game_get_entry(3), nullptr);
    game_del_entry(1);
    EXPECT_EQ(game_get_entry(1), nullptr);
    EXPECT_EQ(game_get_entry(-2), b);
    game_del_entry(3);  // an unknown key changes nothing
    EXPECT_EQ(game_get_entry(-2), b);
    std::free(a);
}

TEST_F(Game, WindowIsAnEmptyChildThatLeavesRegistryAndListOnClose)
{
    HWND hwnd = amobawnd_create(mw, 55, "am\xC3\xB4" "ba", 9);
    ASSERT_NE(hwnd, nullptr);
    wchar_t caption[32] = {};
    GetWindowTextW(hwnd, caption, 32);
    EXPECT_STREQ(caption, L"amôba");
    RECT rc;
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 400);
    EXPECT_EQ(rc.bottom - rc.top, 300);
    EXPECT_EQ(GetWindow(hwnd, GW_CHILD), nullptr);
    auto *wnd = vel_wnd_from_hwnd(hwnd, 0, 0, VEL_KIND_MDICHILD);
    ASSERT_NE(wnd, nullptr);
    const int item = mainwnd_find_listitem(mw, wnd);
    ASSERT_GE(item, 0);
    wchar_t entry[32] = {};
    vel_listview_getitemtext(mw->windowlist, item, 0, entry, 32);
    EXPECT_STREQ(entry, L"g amôba_");

    // Enabling and disabling reach the windows of the registered games.
    auto *g = static_cast<game *>(std::calloc(1, sizeof(game)));
    g->key = 55;
    g->wnd = hwnd;
    vel_list_add(&game_list, 55, g);
    vel_list_add(&game_list, 56, std::calloc(1, sizeof(game)));  // a game without a window
    game_enable_windows(0);
    EXPECT_FALSE(IsWindowEnabled(hwnd));
    game_enable_windows(1);
    EXPECT_TRUE(IsWindowEnabled(hwnd));

    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(game_get_entry(55), nullptr);
    EXPECT_NE(game_get_entry(56), nullptr);
    EXPECT_EQ(mainwnd_find_listitem(mw, wnd), -1);
    std::free(g);
}

}  // namespace
