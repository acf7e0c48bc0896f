// The five-in-a-row game frame: a registry of games and an empty MDI child per game.
// Nothing opens a game yet; the module holds no board and no rules.
#pragma once

#include "toolkit/list.h"
#include "toolkit/wnd.h"

#include <cstdint>

struct mainwnd;

struct game {
    int32_t key;
    int32_t value;
    void *wnd;
};

struct amobawnd {
    vel_window *wnd;
    vel_widget *winlist_entry;
    int32_t key;
    int32_t value;
    mainwnd *main_frame;
};

// The game window's kind in the main frame's window list (letter 'g').
constexpr int GAME_WINLIST_KIND = 6;

extern vel_list_node *game_list;

game *game_add(mainwnd *main_frame, int32_t key, const char *title, int32_t value, int flag);
game *game_get_entry(int32_t key);
void game_del_entry(int32_t key);
void game_enable_windows(int enable);
int game_process_message();
HWND amobawnd_create(mainwnd *main_frame, int32_t key, const char *title, int32_t value);
