// Protocol event dispatch: every protocol event becomes calls on the windows. The
// protocol client's threads queue what they receive; woken once per batch, the
// user-interface thread drains the queue in slices, decoding every packet and running its
// callbacks there (so Room and User pointers stay valid during each reaction). The
// user-interface thread never waits for the reader.
#include "app/dispatch.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "settings/cfgproc.h"
#include "settings/notify.h"
#include "text/string.h"
#include "toolkit/uithread.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "ui/chatwnd.h"
#include "ui/mainwnd.h"
#include "ui/privwnd.h"
#include "ui/rlistwnd.h"
#include "ui/statwnd.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// One slice of the queue: long enough to absorb thousands of lines, short enough that a
// key pressed meanwhile is answered at once.
constexpr int dispatch_slice_ms = 12;
// The timer that carries a backlog on behind keyboard input.
constexpr UINT dispatch_timer_ms = 10;
// Paint messages a slice answers before the backlog goes on.
constexpr int dispatch_paints_max = 16;

bool dispatching;
UINT_PTR dispatch_timer;

void dispatch_drain(void *);

void CALLBACK dispatch_tick(HWND, UINT, UINT_PTR, DWORD)
{
    dispatch_drain(nullptr);
}

void dispatch_stop_timer()
{
    if (dispatch_timer)
        KillTimer(nullptr, dispatch_timer);
    dispatch_timer = 0;
}

// On the user-interface thread: one slice of the queue, then the per-batch work. A backlog
// goes on by a posted message, which comes before keyboard input and painting: waiting
// painting is done first, here; while input waits the backlog goes on from the timer
// instead, which comes after it. The timer runs for the whole backlog, so that it is
// already due when the input has been handled.
void dispatch_drain(void *)
{
    if (!dispatching)
        return;
    const int more = LVC_Drain(dispatch_slice_ms);
    dispatch_batch_end();
    if (!more) {
        dispatch_stop_timer();
        return;
    }
    if (!dispatch_timer)
        dispatch_timer = SetTimer(nullptr, 0, dispatch_timer_ms, dispatch_tick);
    // A thread that never waits may not have taken in the input that arrived meanwhile
    // (Wine reads its display's events only now and then while messages keep coming): a
    // wait that does not wait brings it into the queue, where the check below finds it.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    if (HIWORD(GetQueueStatus(QS_INPUT)))
        return;
    // (A window that leaves its paint message unanswered gets it again: a few rounds at
    // most, then the backlog goes on regardless.)
    MSG paint;
    for (int i = 0; i < dispatch_paints_max && PeekMessageW(&paint, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); i++)
        DispatchMessageW(&paint);
    vel_ui_post(dispatch_drain, nullptr);
}

// The protocol client's hook, on its own threads: the queue is no longer empty.
void dispatch_wake()
{
    vel_ui_post(dispatch_drain, nullptr);
}

void status(const char *format, const char *text = nullptr)
{
    if (status_window)
        statwnd_add_msg(status_window, format, text);
}

void set_taskbar_icon(int id)
{
    if (main_frame)
        mainwnd_set_taskbar_icon(main_frame, lvc_loadicon(id));
}

void not_logged_in()
{
    if (main_frame)
        mainwnd_set_not_logged_in(main_frame);
}

void not_connected()
{
    if (main_frame)
        mainwnd_set_not_connected(main_frame);
}

void logged_in(const LVC_EvLoggedIn *ev)
{
    if (main_frame) {
        mainwnd_stop_login_timer(main_frame);
        const char *nick = ev->nick ? ev->nick : "";
        auto *text = static_cast<char16_t *>(std::malloc((std::strlen(nick) + 1) * sizeof(char16_t)));
        if (text) {
            utf8_to_ucs2(text, nick);
            mainwnd_set_status_text(main_frame, 1, reinterpret_cast<const wchar_t *>(text));
            std::free(text);
        }
    }
    if (status_window)
        statwnd_add_msg(status_window, "$magenta$- registernick ... %s [%d] %d %d", ev->nick ? ev->nick : "", ev->id,
                        ev->a, ev->b);
}

void room_state_changed(const LVC_EvRoomState *ev)
{
    if (!ev->room)
        return;
    if (ev->room->states == ev->prevstates) {
        rlistwnd_chg_usercnt(roomlist_window, ev->room);
        return;
    }
    if (auto *cw = static_cast<chatwnd *>(ev->room->chatwnd))
        chatwnd_update_icon(cw);
    rlistwnd_chg_states(roomlist_window, ev->room);
}

chatwnd *window_of(const Room *room)
{
    return room ? static_cast<chatwnd *>(room->chatwnd) : nullptr;
}

// A line from a user of the room: a notice of his coming or going.
void user_line(chatwnd *cw, const User *user, const char *text)
{
    chatwnd_new_message(cw, 1, user->nick, "", "", text, nullptr, user->id);
}

void entered_room(const LVC_EvEnter *ev)
{
    if (status_window)
        statwnd_add_msg(status_window, "$magenta$- enterroom ... [%d] %d %s %s", ev->roomid, ev->value,
                        ev->text1 ? ev->text1 : "", ev->text2 ? ev->text2 : "");
    Room *room = ev->room;
    if (!room)
        return;
    auto *cw = window_of(room);
    if (!cw) {
        if (!main_frame)
            return;
        cw = static_cast<chatwnd *>(mainwnd_create_chatwnd(main_frame, room));
        if (!cw)
            return;
        room->chatwnd = cw;
    } else {
        chatwnd_free_userlist(cw);
    }
    chatwnd_chg_status(cw, CHATWND_INSIDE);
    std::string address = std::string("http://") + (ev->text2 ? ev->text2 : "");
    chatwnd_new_message(cw, 1, "", "", "", address.c_str(), nullptr, 0);
    chatwnd_new_message(cw, 1, "", "", "", "beleptél a szobaba", nullptr, 0);
}

// A user left the room: the list loses him and, with the show option, a notice says how.
void user_left(Room *room, const User *user, const char *text)
{
    chatwnd *cw = window_of(room);
    if (!cw || !user)
        return;
    chatwnd_del_user(cw, user);
    chatwnd_update_usercnt(cw);
    if (cw->flags & CHATWND_KIBE)
        user_line(cw, user, text);
}

void user_left_by(int code, const LVC_EvUserBy *ev)
{
    // The other user may be gone from the room already: his nick is then left empty.
    const char *other = ev->other ? ev->other->nick : "";
    std::string text = std::string(" kiment (") + other + (code == 29 ? " $red$kirugta" : " $red$kitiltotta") +
                       "$a8d1fd$ a szobabol).";
    user_left(ev->room, ev->user, text.c_str());
}

void user_left_chat(int code, const LVC_EvUserText *ev)
{
    std::string text = std::string(" kiment (") + (ev->text ? ev->text : "") +
                       (code == 31 ? " $red$kirugta" : " $red$kitiltotta") + "$a8d1fd$ a chatbol).";
    user_left(ev->room, ev->user, text.c_str());
}

void room_message(const LVC_EvMessage *ev)
{
    chatwnd *cw = window_of(ev->room);
    if (!cw)
        return;
    if (ev->kind >= 5 && ev->kind <= 7) {
        if (!ev->user)
            return;
        chatwnd_new_message(cw, ev->kind - 4, ev->user->nick, ev->prefix, ev->suffix, ev->text, nullptr,
                            ev->user->id);
        return;
    }
    chatwnd_new_message(cw, ev->kind, ev->nick, ev->prefix, ev->suffix, ev->text, nullptr, 0);
}

void connected(const LVC_EvConnected *ev)
{
    rlistwnd_set_progress(roomlist_window, 0, 1);
    if (main_frame) {
        mainwnd_stop_connect_timer(main_frame);
        // The address is in network order: its first byte is the most significant.
        const auto *b = reinterpret_cast<const uint8_t *>(&ev->addr);
        wchar_t text[32];
        std::swprintf(text, 32, L"%d.%d.%d.%d:%d", b[0], b[1], b[2], b[3], ev->port);
        mainwnd_set_status_text(main_frame, 0, text);
    }
    status("$blue$- connected.");
    if (cfg_autologin && status_window)
        statwnd_inject(status_window, "/login");
}

void closed()
{
    static char lost[] = "$red$$$ hiba: megszakadt a kapcsolat a szerverrel.";
    status("$blue$- connection closed.");
    chatwnd_broadcast_msg(3, lost, 3, 0);
    private_broadcast_msg(lost);
    not_connected();
    rlistwnd_set_progress(roomlist_window, 0, 0);
    // A list cut short shows the rooms that came.
    rlistwnd_list_end(roomlist_window);
    // The end of the program: a quit that every modal loop running now (the menu in
    // keyboard mode after Alt+X, a message box, a drag) lets through.
    if (LVC_GetQuit())
        vel_quit(0);
}

// A message from the peer (34), or the server's confirmation of one of ours (35), shown
// with the kind raised by 2. The server's system senders (ids below 128) send the kinds
// g, f and d as notices that have no place in a conversation.
void private_message(int code, const LVC_EvPrivate *ev)
{
    if (!main_frame)
        return;
    const char *nick = ev->nick ? ev->nick : "";
    const char *text = ev->text ? ev->text : "";
    if (code == 35) {
        private_private_message(main_frame, ev->userid, nick, text, ev->kind + 2, 0);
        return;
    }
    if (ev->userid < 128 && (ev->kind == 'g' || ev->kind == 'f' || ev->kind == 'd'))
        return;
    private_private_message(main_frame, ev->userid, nick, text, ev->kind, 1);
}

}  // namespace

int packet_handler(int code, void *record)
{
    if (LVC_GetQuit())
        return 0;
    const auto *room_ev = static_cast<const LVC_EvRoom *>(record);
    switch (code) {
    case 1:
        // A whole list follows: the room list is drawn once, when it is complete (code 3).
        rlistwnd_list_begin(roomlist_window);
        break;
    case 2:
    case 6:
        if (room_ev && room_ev->room) {
            chatwnd_rebind_room(room_ev->room);
            rlistwnd_add_room(roomlist_window, room_ev->room);
            rlistwnd_update_tooltip(roomlist_window);
        }
        break;
    case 3:
        rlistwnd_list_end(roomlist_window);
        set_taskbar_icon(IDI_ROOMLIST);
        break;
    case 7:
        if (room_ev && room_ev->room) {
            rlistwnd_del_room(roomlist_window, room_ev->room);
            rlistwnd_update_tooltip(roomlist_window);
        }
        break;
    case 8:
        if (room_ev && room_ev->room) {
            rlistwnd_chg_theme(roomlist_window, room_ev->room);
            if (chatwnd *cw = window_of(room_ev->room))
                chatwnd_update_topic(cw);
        }
        break;
    case 9:
        if (record)
            room_state_changed(static_cast<const LVC_EvRoomState *>(record));
        break;
    case 12:
        status("$red$- error: registernick (regnick)");
        not_logged_in();
        break;
    case 13:
        status("$red$- error: registernick (regerror)");
        not_logged_in();
        break;
    case 14:
        status("$red$- error: registernick (needpass)");
        not_logged_in();
        break;
    case 15:
        if (record)
            logged_in(static_cast<const LVC_EvLoggedIn *>(record));
        break;
    case 16:
        if (const auto *ev = static_cast<const LVC_EvPopup *>(record); ev && main_frame) {
            mainwnd_create_msgbox(main_frame, ev->title, ev->text, ev->icon, 1);
            set_taskbar_icon(IDI_POPUP);
        }
        break;
    case 34:
    case 35:
        if (record)
            private_message(code, static_cast<const LVC_EvPrivate *>(record));
        break;
    case 17:
        if (record)
            entered_room(static_cast<const LVC_EvEnter *>(record));
        break;
    case 20:
        if (const auto *ev = static_cast<const LVC_EvUser *>(record); ev && ev->user) {
            if (chatwnd *cw = window_of(ev->room)) {
                chatwnd_add_user(cw, ev->user);
                chatwnd_update_usercnt(cw);
            }
        }
        break;
    case 23:
        if (const auto *ev = static_cast<const LVC_EvUserHost *>(record); ev && ev->user) {
            if (chatwnd *cw = window_of(ev->room)) {
                chatwnd_add_user(cw, ev->user);
                chatwnd_update_usercnt(cw);
                if (cw->flags & CHATWND_KIBE)
                    user_line(cw, ev->user, " bejött.");
            }
        }
        break;
    case 24:
    case 26:
    case 27:
    case 28:
        if (const auto *ev = static_cast<const LVC_EvUserHost *>(record)) {
            const char *text = code == 24 ? " kiment." : code == 26 ? " floodolt." : code == 27 ? " kifagyott."
                                                                                             : " kilépett a chatből.";
            user_left(ev->room, ev->user, text);
        }
        break;
    case 25:
        if (const auto *ev = static_cast<const LVC_EvUserPerms *>(record); ev && ev->user) {
            if (chatwnd *cw = window_of(ev->room))
                chatwnd_chg_user(cw, ev->user);
        }
        break;
    case 29:
    case 30:
        if (record)
            user_left_by(code, static_cast<const LVC_EvUserBy *>(record));
        break;
    case 31:
    case 32:
        if (record)
            user_left_chat(code, static_cast<const LVC_EvUserText *>(record));
        break;
    case 33:
        if (record)
            room_message(static_cast<const LVC_EvMessage *>(record));
        break;
    case 36:
        if (const auto *ev = static_cast<const LVC_EvNick *>(record); ev && status_window) {
            const char *nick = ev->nick ? ev->nick : "";
            statwnd_add_msg(status_window, "$8000$- id: %d - nick: %s [%s]", ev->userid, nick,
                            *nick ? "online" : "offline");
        }
        break;
    default:
        break;
    }
    return 0;
}

int event_handler(int code, void *record)
{
    switch (code) {
    case LVC_EV_CONNECTED:
        if (record)
            connected(static_cast<const LVC_EvConnected *>(record));
        break;
    case LVC_EV_CLOSED:
        closed();
        break;
    case LVC_EV_PROGRESS:
        if (const auto *ev = static_cast<const LVC_EvProgress *>(record); ev && ev->type == 9)
            rlistwnd_set_progress(roomlist_window, ev->received, ev->wanted);
        break;
    default:
        break;
    }
    return 0;
}

int exception_handler(int code, void *)
{
    switch (code) {
    case LVC_ERR_RESOLVE:
        status("$red$- error: gethostbyname");
        not_connected();
        break;
    case LVC_ERR_CONNECT:
        status("$red$- error: connect");
        not_connected();
        break;
    case LVC_ERR_PROXY:
        // A proxy that could not be used (or broke off before its blank line): the
        // attempt is over, as for a failed connect.
        status("$red$- error: proxy");
        not_connected();
        break;
    case LVC_ERR_WEBHOST:
        status("$red$- error: web server");
        not_logged_in();
        break;
    default:
        break;
    }
    return 0;
}

void dispatch_batch_end()
{
    // The logs write what the batch brought, in one write a file: a killed program loses
    // at most this batch's lines.
    log_flush();
}

int dispatch_start()
{
    if (!vel_ui_start())
        return 0;
    dispatching = true;
    LVC_SetDispatchHook(dispatch_wake);
    return 1;
}

void dispatch_stop()
{
    // What is still queued is dropped (LVC_Cleanup forgets it): the program is ending and
    // no window may be touched. A drain already posted finds nothing to do.
    dispatching = false;
    dispatch_stop_timer();
}
