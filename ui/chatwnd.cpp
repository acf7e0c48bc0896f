// The room window: creation and layout, the message pane and its log, the topic bar, the
// join state and icon, the broadcast over all room windows, and closing.
#include "ui/chatwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "settings/util.h"
#include "text/string.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "toolkit/textbox.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/chatwnd_list.h"
#include "ui/childwnd.h"
#include "ui/drawwnd.h"
#include "ui/infobox.h"
#include "ui/mainwnd.h"
#include "ui/privwnd.h"
#include "ui/rlistwnd.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr COLORREF white = RGB(255, 255, 255);
constexpr int topic_height = 22;
constexpr int side_width = 147;
constexpr int input_height = 24;

// UTF-8 with markup to UCS-2 and one colour per character.
struct parsed_line {
    std::unique_ptr<char16_t[]> text;
    std::unique_ptr<uint32_t[]> colours;
};

parsed_line chatwnd_parse(const char *line, uint32_t default_colour)
{
    const size_t n = std::strlen(line) + 1;
    parsed_line out{std::make_unique_for_overwrite<char16_t[]>(n), std::make_unique_for_overwrite<uint32_t[]>(n)};
    LVC_CStringParserW(out.text.get(), out.colours.get(), line, default_colour);
    return out;
}

std::u16string chatwnd_plain(const char *markup)
{
    const char *src = markup ? markup : "";
    std::u16string out(std::strlen(src) + 1, u'\0');
    LVC_CStringParserW(out.data(), nullptr, src, 0);
    out.resize(std::char_traits<char16_t>::length(out.c_str()));
    return out;
}

const wchar_t *wide(const std::u16string &s)
{
    return reinterpret_cast<const wchar_t *>(s.c_str());
}

void chatwnd_redraw_entry(chatwnd *cw)
{
    if (cw->winlist_entry)
        vel_widget_refresh(cw->winlist_entry, FALSE);
    mainwnd *mw = cw->main_frame;
    if (!mw || !mw->windowlist)
        return;
    const int item = mainwnd_find_listitem(mw, cw->wnd);
    if (item >= 0)
        vel_listview_redrawitems(mw->windowlist, item, item);
}

vel_widget *chatwnd_small_box(chatwnd *cw, vel_window *self, DWORD style, int x, int y, int w, int h, int anchors,
                              COLORREF background, int font_height)
{
    vel_widget *box = vel_textbox_create(cw, self, 0, WS_CHILD | WS_BORDER | style, L"", x, y, w, h, anchors,
                                         nullptr, nullptr);
    if (!box)
        return nullptr;
    vel_textbox *rec = vel_textbox_get(box);
    rec->max_lines = 1;
    rec->options = VEL_TEXTBOX_LIVE_LINKS;
    rec->plain_colour = white;
    vel_widget_setbackground(box, background);
    vel_textbox_create_and_set_font(box, font_height, L"Arial", 700);
    return box;
}

// Double click on a line off a link: the line's user, privately or (Ctrl) his information.
void chatwnd_line_dblclk(chatwnd *cw, const vel_textbox_line *line)
{
    if (!line || line->userdata == 0)
        return;
    const int32_t id = line->userdata;
    const User *user = cw->room ? LVC_GetUserInRoom(cw->room, id) : nullptr;
    if (GetKeyState(VK_CONTROL) < 0) {
        if (user)
            infobox_create(cw->main_frame, INFOBOX_USER, user);
        return;
    }
    const char *nick = LVC_GetCachedNick(id);
    if (!nick && user)
        nick = user->nick;
    if (nick)
        private_add_private(cw->main_frame, id, nick);
}

int messages_wdgproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    auto *cw = static_cast<chatwnd *>(vel_textbox_get(self) ? vel_textbox_get(self)->userdata : nullptr);
    if (!cw || msg != VEL_TEXTBOX_DBLCLK)
        return VEL_CONTINUE;
    chatwnd_line_dblclk(cw, reinterpret_cast<const vel_textbox_line *>(wp));
    *result = 0;
    return VEL_DONE;
}

int topic_wdgproc(vel_widget *self, HWND, UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    auto *cw = static_cast<chatwnd *>(vel_textbox_get(self) ? vel_textbox_get(self)->userdata : nullptr);
    if (!cw || msg != WM_CONTEXTMENU)
        return VEL_CONTINUE;
    chatwnd_topic_menu(cw, lp);
    *result = 0;
    return VEL_DONE;
}

int chatwnd_build(chatwnd *cw, vel_window *self)
{
    cw->wnd = self;
    const int t = (cw->flags & CHATWND_SHOW_TOPIC) ? 1 : 0;
    wchar_t face[LF_FACESIZE];
    int height = 0, weight = 0;
    parse_font_string(cfg_szoba_font ? cfg_szoba_font : "", face, LF_FACESIZE, &height, &weight);

    cw->input = chatwnd_input_create(cw, self);
    cw->messages = vel_textbox_create(cw, self, 0, WS_CHILD | WS_VISIBLE | WS_VSCROLL, L"", 0, topic_height * t,
                                      side_width, input_height,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM, nullptr,
                                      messages_wdgproc);
    cw->topic_box = chatwnd_small_box(cw, self, t ? WS_VISIBLE : 0, 0, 0, 0, topic_height,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP, RGB(0x16, 0x38, 0x75), 16);
    cw->usercount_box = chatwnd_small_box(cw, self, WS_VISIBLE, 0, 21 * t, side_width, 20,
                                          VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP, RGB(0x1D, 0x47, 0x85), 14);
    cw->userlist = chatwnd_userlist_create(cw, self, 19 + 21 * t);
    if (!cw->input || !cw->messages || !cw->topic_box || !cw->usercount_box || !cw->userlist)
        return 0;
    vel_textbox *box = vel_textbox_get(cw->messages);
    box->max_lines = CHATWND_MAX_LINES;
    box->options = VEL_TEXTBOX_WRAP | VEL_TEXTBOX_LIVE_LINKS;
    box->link_style = VEL_TEXTBOX_LINK_FONT;
    box->plain_colour = white;
    box->colour_mode = 0;
    vel_widget_setbackground(cw->messages, RGB(0x00, 0x00, 0x33));
    vel_textbox_create_and_set_font(cw->messages, height, face, weight);
    vel_textbox_get(cw->topic_box)->owner_proc = topic_wdgproc;
    vel_textbox_get(cw->usercount_box)->colour_mode = 2;
    vel_textbox_add_line_c(cw->usercount_box, L"0 csevegô", nullptr, 2, 0);

    HDC screen = GetDC(self->hwnd);
    cw->board_dc = CreateCompatibleDC(screen);
    cw->board_bitmap = CreateCompatibleBitmap(screen, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT);
    ReleaseDC(self->hwnd, screen);
    if (!cw->board_dc || !cw->board_bitmap)
        return 0;
    cw->board_old_bitmap = static_cast<HBITMAP>(SelectObject(cw->board_dc, cw->board_bitmap));
    return 1;
}

void chatwnd_release_board(chatwnd *cw)
{
    if (cw->board_dc && cw->board_old_bitmap)
        SelectObject(cw->board_dc, cw->board_old_bitmap);
    if (cw->board_bitmap)
        DeleteObject(cw->board_bitmap);
    if (cw->board_dc)
        DeleteDC(cw->board_dc);
    cw->board_dc = nullptr;
    cw->board_bitmap = cw->board_old_bitmap = nullptr;
}

// Everything that ties the window to the room and the frame goes, and the server is told
// that the user left. Runs once: at the close request, or when the window is destroyed
// without one (its frame going), so the room is left exactly once either way.
void chatwnd_release(chatwnd *cw)
{
    if (!cw->room && !cw->board_dc)
        return;
    if (cw->drawwnd && cw->drawwnd->wnd)
        SendMessageW(cw->drawwnd->wnd->hwnd, WM_CLOSE, 0, 0);
    cw->drawwnd = nullptr;
    chatwnd_release_board(cw);
    if (vel_list_get(chatwnd_list, cw->room_id) == cw)
        vel_list_del(&chatwnd_list, cw->room_id);
    if (cw->main_frame)
        mainwnd_del_childwindow(cw->main_frame, cw->wnd);
    cw->winlist_entry = nullptr;
    chatwnd_detach_menus(cw);
    log_close('s', cw->room_id);
    if (Room *room = cw->room) {
        cw->room = nullptr;
        if (room->chatwnd == cw)
            room->chatwnd = nullptr;
        // A room the directory let go of while this window held it is this window's to free.
        LVC_FreeUnlinkedRoom(room);
        LVC_LeaveRoom(cw->room_id);
    }
}

}  // namespace

int chatwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *cw = static_cast<chatwnd *>(self->user);
    if (!cw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!chatwnd_build(cw, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_CLOSE:
        // The room is left here; the window then leaves the window list below.
        chatwnd_release(cw);
        break;
    case WM_DESTROY:
        chatwnd_release(cw);
        self->user = nullptr;
        std::free(cw);
        return VEL_CONTINUE;
    case WM_SYSCOMMAND:
        if (chatwnd_system_command(cw, static_cast<UINT>(wp))) {
            *result = 0;
            return VEL_DONE;
        }
        return VEL_CONTINUE;
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
        chatwnd_init_menu(cw);
        return VEL_CONTINUE;
    default:
        break;
    }
    const childwnd_common common{cw->main_frame, cw->winlist_entry, cw->input, CHILDWND_CLOSE_LEAVES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

chatwnd *chatwnd_create(mainwnd *main_frame, Room *room)
{
    if (!main_frame || !main_frame->frame || !room)
        return nullptr;
    auto *cw = static_cast<chatwnd *>(std::calloc(1, sizeof(chatwnd)));
    if (!cw)
        return nullptr;
    cw->main_frame = main_frame;
    cw->room = room;
    cw->room_id = room->id;
    cw->flags = CHATWND_SHOW_TOPIC;
    if (cfg_szoba_timestamp)
        cw->flags |= CHATWND_TIMESTAMP;
    if (cfg_szoba_kibe)
        cw->flags |= CHATWND_KIBE;
    if (cfg_szoba_flash)
        cw->flags |= CHATWND_FLASH;
    if (cfg_szoba_showprefix)
        cw->flags |= CHATWND_PREFIX;
    cw->icon = lvc_loadicon(IDI_ROOM);
    cw->icon_closed = lvc_loadicon(IDI_ROOM_CLOSED);
    cw->menu = LoadMenuW(vel_instance ? vel_instance : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_ROOM));
    std::u16string name(std::strlen(room->name ? room->name : "") + 1, u'\0');
    utf8_to_ucs2(name.data(), room->name ? room->name : "");
    name.resize(std::char_traits<char16_t>::length(name.c_str()));
    vel_window *wnd = vel_mdichild_create(cw, cw->icon, cw->icon, WS_OVERLAPPEDWINDOW | WS_VISIBLE, wide(name),
                                          CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, main_frame->frame, chatwnd_wndproc);
    if (!wnd) {
        // A refused window hands its record back: it is freed here, once.
        if (cw->menu)
            DestroyMenu(cw->menu);
        std::free(cw);
        return nullptr;
    }
    cw->wnd = wnd;
    room->chatwnd = cw;
    vel_list_add(&chatwnd_list, cw->room_id, cw);
    chatwnd_insert_menus(cw);
    if (cfg_szoba_log) {
        std::u16string topic = chatwnd_plain(room->theme);
        log_debug('s', cw->room_id, L"[%s - %s]\n", wide(name), wide(topic));
    }
    cw->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_ROOM, wide(name), L"");
    chatwnd_update_topic(cw);
    char date[64];
    chatwnd_add_line(cw, get_date_string(date, sizeof date), 0);
    chatwnd_update_icon(cw);
    return cw;
}

void chatwnd_new_message(chatwnd *cw, int kind, const char *nick, const char *prefix, const char *suffix,
                         const char *text, const time_t *when, int32_t userid)
{
    if (!cw)
        return;
    if (userid != 0 && is_user_ignored(userid))
        return;
    text = text ? text : "";
    if (text[0] == '/' && text[1] == '/') {
        chatwnd_drawing_message(cw, kind, nick, text, when, userid);
        return;
    }
    char stamp[LVC_STAMP_SIZE];
    LVC_FormatTimeStamp(stamp, (cw->flags & CHATWND_TIMESTAMP) ? 1 : 0, when);
    char hidden[LVC_HIDDEN_PREFIX_SIZE];
    if (!(cw->flags & CHATWND_PREFIX)) {
        prefix = LVC_FormatHiddenPrefix(hidden, kind, prefix ? prefix : "");
        suffix = "";
    }
    auto line = std::make_unique_for_overwrite<char[]>(LVC_LINE_SIZE + 16);
    LVC_FormatMessage(line.get(), kind, nick, prefix, suffix, text, stamp);
    if ((cw->flags & CHATWND_USER_ID) && userid != 0) {
        const size_t used = std::strlen(line.get());
        std::snprintf(line.get() + used, LVC_LINE_SIZE + 16 - used, " [%d]", static_cast<int>(userid));
    }
    chatwnd_add_line(cw, line.get(), userid);
    if (!cw->main_frame)
        return;
    if (cw->flags & CHATWND_FLASH)
        mainwnd_set_taskbar_icon(cw->main_frame, cw->icon);
    mainwnd_set_dirty_flag(cw->main_frame, cw->wnd, 1, (cw->flags & CHATWND_FLASH) ? 1 : 0);
}

void chatwnd_add_line(chatwnd *cw, const char *line, int32_t userid)
{
    if (!cw || !cw->messages || !line)
        return;
    parsed_line parsed = chatwnd_parse(line, white);
    static_assert(sizeof(COLORREF) == sizeof(uint32_t));
    vel_textbox_add_line_c(cw->messages, reinterpret_cast<const wchar_t *>(parsed.text.get()),
                           reinterpret_cast<const COLORREF *>(parsed.colours.get()), 0, userid);
    if (cfg_szoba_log)
        log_debug('s', cw->room_id, L"%s\n", reinterpret_cast<const wchar_t *>(parsed.text.get()));
}

void chatwnd_update_topic(chatwnd *cw)
{
    if (!cw || !cw->room || !cw->topic_box)
        return;
    const char *name = cw->room->name ? cw->room->name : "";
    const char *theme = cw->room->theme ? cw->room->theme : "";
    std::string line = std::string("$acd2ff$") + name + " - " + theme;
    parsed_line parsed = chatwnd_parse(line.c_str(), white);
    vel_textbox_add_line_c(cw->topic_box, reinterpret_cast<const wchar_t *>(parsed.text.get()),
                           reinterpret_cast<const COLORREF *>(parsed.colours.get()), 2, 0);
    vel_widget_refresh(cw->topic_box, TRUE);
    if (cw->winlist_entry)
        vel_widget_settooltiptext(cw->winlist_entry, reinterpret_cast<const wchar_t *>(parsed.text.get()));
}

void chatwnd_update_icon(chatwnd *cw)
{
    if (!cw || !cw->room || !cw->wnd)
        return;
    HICON icon = (cw->room->states & 0x04) ? cw->icon_closed : cw->icon;
    vel_mdichild_seticon(cw->wnd, icon, icon);
    chatwnd_redraw_entry(cw);
}

void chatwnd_chg_status(chatwnd *cw, int state)
{
    if (!cw)
        return;
    cw->state = state;
    chatwnd_redraw_entry(cw);
}

void chatwnd_broadcast_one(void *record, int action, char *text, int state, int32_t userid)
{
    auto *cw = static_cast<chatwnd *>(record);
    if (!cw)
        return;
    if ((action & 0x01) && text)
        chatwnd_add_line(cw, text, 0);
    if (action & 0x04)
        LVC_EnterRoom(cw->room_id, "");
    if (action & 0x02)
        chatwnd_chg_status(cw, state);
    const User *user = cw->room ? LVC_GetUserInRoom(cw->room, userid) : nullptr;
    if ((action & 0x08) && user)
        chatwnd_chg_user(cw, user);
    if ((action & 0x10) && user && text) {
        const char *name = cw->room->name ? cw->room->name : "";
        const size_t used = std::strlen(text);
        if (used + std::strlen(name) + 2 < CHATWND_BROADCAST_TEXT_SIZE) {
            std::strcat(text, name);
            std::strcat(text, ", ");
        }
    }
}

void chatwnd_rebind_room(Room *room)
{
    if (!room || room->chatwnd)
        return;
    auto *cw = static_cast<chatwnd *>(vel_list_get(chatwnd_list, room->id));
    if (!cw || cw->room == room)
        return;
    Room *old = cw->room;
    cw->room = room;
    room->chatwnd = cw;
    if (old) {
        // The user is still in the room: its users (the list shows them by id) go on with
        // the new record, which the server fills no more.
        LVC_MoveUserlist(old, room);
        old->chatwnd = nullptr;
        LVC_FreeUnlinkedRoom(old);
    }
    chatwnd_update_usercnt(cw);
    chatwnd_update_topic(cw);
    chatwnd_update_icon(cw);
}

void *chatwnd_create_hook(Room *room)
{
    return chatwnd_create(main_frame, room);
}

// Only a registered room window's record is read: a child of another kind carries a
// record of its own. Anything else counts as inside, as without a reader.
int chatwnd_room_state(const vel_window *child)
{
    const vel_list_node *head = chatwnd_list;
    if (!child || !head)
        return CHATWND_INSIDE;
    const vel_list_node *n = head;
    do {
        const auto *cw = static_cast<const chatwnd *>(n->data);
        if (cw && cw->wnd == child)
            return cw->state;
        n = n->next;
    } while (n != head);
    return CHATWND_INSIDE;
}

namespace {

int ops_join_state(void *cw)
{
    return static_cast<chatwnd *>(cw)->state;
}

void ops_set_join_state(void *cw, int state)
{
    chatwnd_chg_status(static_cast<chatwnd *>(cw), state);
}

void ops_activate(void *cw)
{
    vel_mdichild_activate(static_cast<chatwnd *>(cw)->wnd);
}

}  // namespace

const rlistwnd_room_ops chatwnd_room_windows = {ops_join_state, ops_set_join_state, ops_activate};
