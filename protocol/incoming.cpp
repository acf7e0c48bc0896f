// Decoding of every server packet: each handler reads its fields from lvc.in in payload
// order, updates the directory, the nick cache or the module state, and raises its packet
// events. Strings handed to a callback live until the callback has returned; records are
// always removed after the event that names them, so the receiver can still read them.
//
// A payload that ends before its fields do is answered like this: a packet whose required
// fields are cut short is dropped without any change; a list (room list, user list, user
// counts) stops at the last whole entry; host information that is missing counts as absent.

#include <cstring>
#include <mutex>
#include <string>

#include "protocol/internal.h"

namespace {

// A string decoded from the payload, freed when the handler is done with it.
struct incoming_str {
    char *s = net_readutf();
    incoming_str() = default;
    incoming_str(const incoming_str &) = delete;
    incoming_str &operator=(const incoming_str &) = delete;
    ~incoming_str() { mem_free(&s); }
};

bool incoming_truncated()
{
    return lvc.in.overrun;
}

// Host information, when the server appends it for this room: only while the local
// user's own record there carries permission bit 0x40.
struct incoming_host {
    LVC_Host rec{0, nullptr};
    LVC_Host *ptr = nullptr;
    incoming_host() = default;
    incoming_host(const incoming_host &) = delete;
    incoming_host &operator=(const incoming_host &) = delete;
    ~incoming_host() { mem_free(&rec.text); }
};

void readhost(const User *own, incoming_host *host)
{
    if (!own || !(own->perms & 0x40))
        return;
    host->rec.value = net_readint();
    host->rec.text = net_readutf();
    if (incoming_truncated())
        return;  // the server left it out after all: the change itself is still valid
    host->ptr = &host->rec;
}

// ---------------------------------------------------------------- login answers

void packet_registernick(int32_t type, uint32_t)
{
    LVC_EvLoginType ev{type};
    if (type != 3) {
        lvc_packet_event(11, &ev);
        lvc.loginstate = 0;
        lvc_packet_event(12 + type, nullptr);
        return;
    }
    int32_t a = net_readint();
    int32_t b = net_readint();
    int32_t id = net_readint();
    incoming_str nick;
    if (incoming_truncated())
        return;
    lvc_packet_event(11, &ev);
    lvc.login_a = a;
    lvc.login_b = b;
    lvc.ownid = id;
    size_t n = wire_utf8_cut(nick.s, std::strlen(nick.s), LVC_NICK_SIZE - 1);
    std::memcpy(lvc.ownnick, nick.s, n);
    lvc.ownnick[n] = 0;
    nickcache_add(id, lvc.ownnick);
    lvc.loginstate = 2;
    LVC_EvLoggedIn in{lvc.ownnick, id, a, b};
    lvc_packet_event(15, &in);
    LVC_SendPacket_Type16(6);
    LVC_SendPacket_Type29(0, 9);
}

// ---------------------------------------------------------------- rooms

void packet_enter(int32_t, uint32_t)
{
    int32_t roomid = net_readint();
    int32_t value = net_readint();
    incoming_str text1;
    incoming_str text2;
    if (incoming_truncated())
        return;
    LVC_EvEnter ev{roomid, LVC_GetRoom(roomid), value, text1.s, text2.s};
    lvc_packet_event(17, &ev);
}

void packet_leave_room(int32_t, uint32_t)
{
    int32_t roomid = net_readint();
    if (incoming_truncated())
        return;
    LVC_EvLeave ev{roomid, LVC_GetRoom(roomid)};
    lvc_packet_event(18, &ev);
}

// The fields of a listed room after its id, then room_add; null when cut short.
Room *room_read(int32_t id)
{
    incoming_str name;
    incoming_str theme;
    int32_t states = net_readint();
    int32_t usercnt = net_readint();
    if (incoming_truncated())
        return nullptr;
    return room_add(id, name.s, theme.s, states, usercnt);
}

// A list of many thousand rooms is read in pieces, the window answering in between: the
// directory is emptied when the first piece comes.
void packet_roomlist(int32_t, uint32_t)
{
    if (!lvc_packet_resumed())
        LVC_FreeRoomlist();
    for (unsigned n = 1;; n++) {
        if (n % 64 == 0 && lvc_packet_pause())
            return;
        int32_t id = net_readint();
        if (id == 0)
            break;
        Room *room = room_read(id);
        if (!room)
            break;
        LVC_EvRoom ev{room};
        lvc_packet_event(2, &ev);
    }
    lvc_packet_event(3, nullptr);
}

void packet_roomch(int32_t, uint32_t)
{
    uint8_t subtype = net_readbyte();
    int32_t id = net_readint();
    if (incoming_truncated())
        return;
    if (subtype == 1) {
        LVC_EvRoom ev{room_read(id)};
        if (ev.room)
            lvc_packet_event(6, &ev);
        return;
    }
    Room *room = LVC_GetRoom(id);
    if (!room)
        return;
    switch (subtype) {
    case 2: {
        LVC_EvRoom ev{room};
        lvc_packet_event(7, &ev);
        room_del(id);
        return;
    }
    case 3: {
        char *theme = net_readutf();
        if (incoming_truncated()) {
            mem_free(&theme);
            return;
        }
        // The directory owns the topic as a decoded string; hand this one over.
        mem_free(&room->theme);
        room->theme = theme;
        LVC_EvRoom ev{room};
        lvc_packet_event(8, &ev);
        return;
    }
    case 4:
    case 5:
    case 6: {
        int32_t states = subtype != 6 ? net_readint() : room->states;
        int32_t usercnt = subtype != 5 ? net_readint() : room->usercnt;
        if (incoming_truncated())
            return;
        LVC_EvRoomState ev{subtype, room, room->states};
        room->states = states;
        room->usercnt = usercnt;
        lvc_packet_event(9, &ev);
        return;
    }
    default:
        return;
    }
}

void packet_24(int32_t, uint32_t)
{
    for (;;) {
        int32_t id = net_readint();
        if (id == 0)
            break;
        int32_t count = net_readint();
        if (incoming_truncated())
            break;
        Room *room = LVC_GetRoom(id);
        if (!room)
            continue;
        room->usercnt = count;
        LVC_EvRoomState ev{0, room, room->states};
        lvc_packet_event(9, &ev);
    }
}

// ---------------------------------------------------------------- users

constexpr int32_t USERLIST_END = 0x12345678;

void packet_userlist(int32_t, uint32_t)
{
    int32_t roomid = net_readint();
    if (incoming_truncated())
        return;
    LVC_FreeUserlist(roomid);
    LVC_EvRoom ev{LVC_GetRoom(roomid)};
    lvc_packet_event(19, &ev);
    for (;;) {
        int32_t perms = net_readint();
        if (perms == USERLIST_END || incoming_truncated())
            break;
        int32_t userid = net_readint();
        incoming_str nick;
        if (incoming_truncated())
            break;
        // Users of a room missing from the directory have nowhere to go.
        if (User *user = user_add(roomid, userid, nick.s, perms)) {
            LVC_EvUser uev{ev.room, user};
            lvc_packet_event(20, &uev);
        }
    }
    lvc_packet_event(21, &ev);
}

// The event of a user change that removes the user, then the removal itself.
void userch_remove(int code, void *record, int32_t roomid, int32_t userid, bool uncache)
{
    lvc_packet_event(code, record);
    user_del(roomid, userid);
    if (uncache)
        nickcache_del(userid);
}

void packet_userch(int32_t, uint32_t)
{
    uint8_t subtype = net_readbyte();
    int32_t roomid = net_readint();
    int32_t userid = net_readint();
    if (incoming_truncated())
        return;
    Room *room = LVC_GetRoom(roomid);
    const User *own = LVC_GetUserInRoom(room, lvc.ownid);
    User *user = LVC_GetUserInRoom(room, userid);
    incoming_host host;

    switch (subtype) {
    case 0:
    case 2:
    case 4:
    case 5: {
        if (subtype == 4 && userid == 0) {
            lvc_packet_event(37, nullptr);
            return;
        }
        readhost(own, &host);
        LVC_EvUserHost ev{room, user, host.ptr};
        static constexpr int codes[6] = {26, 0, 24, 0, 27, 28};
        userch_remove(codes[subtype], &ev, roomid, userid, subtype != 2);
        return;
    }
    case 1: {
        int32_t perms = net_readint();
        incoming_str nick;
        if (incoming_truncated())
            return;
        readhost(own, &host);
        LVC_EvUserHost ev{room, user_add(roomid, userid, nick.s, perms), host.ptr};
        lvc_packet_event(23, &ev);
        return;
    }
    case 3: {
        int32_t perms = net_readint();
        if (incoming_truncated() || !user)
            return;
        LVC_EvUserPerms ev{room, user, user->perms};
        user->perms = perms;
        if (userid == lvc.ownid)
            room->myperms = perms;
        lvc_packet_event(25, &ev);
        return;
    }
    case 6:
    case 7: {
        int32_t otherid = net_readint();
        if (incoming_truncated())
            return;
        readhost(own, &host);
        LVC_EvUserBy ev{room, user, LVC_GetUserInRoom(room, otherid), host.ptr};
        userch_remove(subtype == 6 ? 29 : 30, &ev, roomid, userid, false);
        return;
    }
    case 8:
    case 9: {
        incoming_str text;
        if (incoming_truncated())
            return;
        readhost(own, &host);
        LVC_EvUserText ev{room, user, text.s, host.ptr};
        userch_remove(subtype == 8 ? 31 : 32, &ev, roomid, userid, true);
        return;
    }
    default:
        return;
    }
}

// ---------------------------------------------------------------- messages

void packet_new_message(int32_t, uint32_t)
{
    uint8_t kind = net_readbyte();
    int32_t roomid = net_readint();
    Room *room = LVC_GetRoom(roomid);
    User *user = nullptr;
    char *nick = nullptr;
    if (kind >= 5 && kind <= 7)
        user = LVC_GetUserInRoom(room, net_readint());
    else
        nick = net_readutf();
    incoming_str attributes;
    incoming_str text;
    if (!incoming_truncated()) {
        // Attributes frame the text: what stands before the first CR opens the line,
        // what follows it closes the line.
        char *suffix = std::strchr(attributes.s, '\r');
        if (suffix)
            *suffix++ = 0;
        LVC_EvMessage ev{room, kind, user, nick, attributes.s, suffix ? suffix : "", text.s};
        lvc_packet_event(33, &ev);
    }
    mem_free(&nick);
}

void packet_popup_message(int32_t, uint32_t)
{
    uint8_t icon = net_readbyte();
    incoming_str title;
    incoming_str text;
    if (incoming_truncated())
        return;
    LVC_EvPopup ev{icon, title.s, text.s};
    lvc_packet_event(16, &ev);
}

void packet_ping(int32_t, uint32_t)
{
}

// Direction of a held entry (the third number of the held list).
constexpr int32_t HELD_OUTGOING = 0;
constexpr int32_t HELD_INCOMING = 1;

}  // namespace

// Entries of other users stay, in their order. The entries are taken off the list under
// its lock and delivered after it is released: a receiver may send a private message,
// which appends to the sent list under the same lock.
void flush_private_in(int32_t userid, const char *nick)
{
    strlist *mine = nullptr;
    {
        std::lock_guard lock(lvc.sentlock);
        strlist **link = &lvc.held;
        strlist **tail = &mine;
        while (*link) {
            strlist *node = *link;
            if (node->value2 != userid) {
                link = &node->next;
                continue;
            }
            *link = node->next;
            node->next = nullptr;
            *tail = node;
            tail = &node->next;
        }
    }
    for (strlist *node = mine; node; node = node->next) {
        LVC_EvPrivate ev{node->value1, userid, nick, node->text};
        lvc_packet_event(node->value3 == HELD_INCOMING ? 34 : 35, &ev);
    }
    strlist_free(mine);
}

namespace {

// A private message or a confirmation for `userid`. With the nick known it is delivered;
// otherwise it waits in the held list for the answer to a nick request.
void private_deliver(const char *text, int32_t kind, int32_t userid, int32_t direction)
{
    const char *nick = nickcache_get(userid);
    if (!nick) {
        LVC_ErrUser err{userid};
        lvc_failure(LVC_ERR_NICK_MISSING, &err);
        LVC_GetNickByID(userid);
        std::lock_guard lock(lvc.sentlock);
        lvc.held = strlist_add(lvc.held, text, kind, userid, direction);
        return;
    }
    // The nick may have become known without a nick answer (a user list, a join): what
    // waits for this user goes first, so the conversation stays in order.
    flush_private_in(userid, nick);
    LVC_EvPrivate ev{kind, userid, nick, text};
    lvc_packet_event(direction == HELD_INCOMING ? 34 : 35, &ev);
}

constexpr uint8_t PRIVATE_CONFIRMATION = 11;

void packet_private_message(int32_t, uint32_t)
{
    uint8_t kind = net_readbyte();
    if (incoming_truncated())
        return;
    if (kind == PRIVATE_CONFIRMATION) {
        // The oldest sent message is the one confirmed; it leaves the sent list before
        // anyone hears of it, so a reply sent from the event cannot disturb the order.
        int32_t sentkind, target;
        std::string text;
        {
            std::lock_guard lock(lvc.sentlock);
            const char *head = strlist_get(lvc.sent, &sentkind, &target, nullptr);
            if (!head)
                return;
            text = head;
            lvc.sent = strlist_del(lvc.sent);
        }
        private_deliver(text.c_str(), sentkind, target, HELD_OUTGOING);
        return;
    }
    int32_t sender = net_readint();
    incoming_str text;
    if (incoming_truncated())
        return;
    private_deliver(text.s, kind, sender, HELD_INCOMING);
}

void packet_18(int32_t, uint32_t)
{
    int32_t userid = net_readint();
    incoming_str nick;
    if (incoming_truncated())
        return;
    // An empty nick means the user is offline; caching it would show that user nameless
    // until they next leave the chat, so only real nicks are kept.
    if (*nick.s)
        nickcache_add(userid, nick.s);
    LVC_EvNick ev{userid, nick.s};
    lvc_packet_event(36, &ev);
    flush_private_in(userid, nick.s);
}

}  // namespace

const lvc_handler lvc_handlers[25] = {
    packet_registernick, packet_registernick, packet_registernick, packet_registernick,
    nullptr, packet_enter, packet_leave_room, nullptr,
    packet_private_message, packet_roomlist, packet_roomch, packet_userlist,
    packet_userch, packet_new_message, packet_popup_message, packet_ping,
    nullptr, nullptr, packet_18, nullptr,
    nullptr, nullptr, nullptr, nullptr,
    packet_24,
};
