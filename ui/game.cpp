// The five-in-a-row game frame: the registry of games and the empty game window.
#include "ui/game.h"

#include "resources/resource.h"
#include "settings/apputil.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <cstdlib>
#include <cstring>
#include <vector>

vel_list_node *game_list;

namespace {

vel_list_key game_key(int32_t key)
{
    return static_cast<uint32_t>(key);
}

int amobawnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *aw = static_cast<amobawnd *>(self->user);
    if (!aw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_DESTROY:
        game_del_entry(aw->key);
        if (aw->main_frame)
            mainwnd_del_childwindow(aw->main_frame, self);
        self->user = nullptr;
        std::free(aw);
        return VEL_CONTINUE;
    default: {
        const childwnd_common common{aw->main_frame, aw->winlist_entry, nullptr, CHILDWND_CLOSE_LEAVES};
        return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
    }
    }
}

}  // namespace

game *game_add(mainwnd *main_frame, int32_t key, const char *title, int32_t value, int flag)
{
    auto *g = static_cast<game *>(std::calloc(1, sizeof(game)));
    if (!g)
        return nullptr;
    g->key = key;
    g->value = value;
    if (main_frame)
        g->wnd = mainwnd_create_gamewnd(main_frame, key, title, value, flag);
    return g;
}

game *game_get_entry(int32_t key)
{
    return static_cast<game *>(vel_list_get(game_list, game_key(key)));
}

void game_del_entry(int32_t key)
{
    vel_list_del(&game_list, game_key(key));
}

void game_enable_windows(int enable)
{
    const vel_list_node *head = game_list;
    if (!head)
        return;
    const vel_list_node *node = head;
    do {
        if (const auto *g = static_cast<const game *>(node->data); g && g->wnd)
            EnableWindow(static_cast<HWND>(g->wnd), enable ? TRUE : FALSE);
        node = node->next;
    } while (node != head);
}

int game_process_message()
{
    return 0;
}

HWND amobawnd_create(mainwnd *main_frame, int32_t key, const char *title, int32_t value)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    auto *aw = static_cast<amobawnd *>(std::calloc(1, sizeof(amobawnd)));
    if (!aw)
        return nullptr;
    aw->key = key;
    aw->value = value;
    aw->main_frame = main_frame;
    const char *utf8 = title ? title : "";
    std::vector<char16_t> caption(std::strlen(utf8) + 1);
    utf8_to_ucs2(caption.data(), utf8);
    const auto *text = reinterpret_cast<const wchar_t *>(caption.data());
    HICON icon = lvc_loadicon(IDI_GAME);
    vel_window *wnd = vel_mdichild_create(aw, icon, icon, WS_OVERLAPPEDWINDOW | WS_VISIBLE, text, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 400, 300, main_frame->frame, amobawnd_wndproc);
    if (!wnd) {
        std::free(aw);
        return nullptr;
    }
    aw->wnd = wnd;
    aw->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, GAME_WINLIST_KIND, text, text);
    return wnd->hwnd;
}
