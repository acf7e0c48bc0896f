// The server's view of the chat as the client learns it: rooms, the users of each room
// and a cache of nicks by user id, each spread over 256 lists by the id's low 8 bits.
#include <cstring>

#include "protocol/internal.h"

static vel_list_key directory_key(int32_t id)
{
    return vel_list_key(uint32_t(id));
}

static unsigned directory_slot(int32_t id)
{
    return uint32_t(id) & 0xFF;
}

static char *directory_copy(const char *s)
{
    if (!s)
        s = "";
    size_t n = std::strlen(s);
    char *copy = new char[n + 1];
    std::memcpy(copy, s, n + 1);
    return copy;
}

// Empties all 256 user lists of a room, freeing the records and the lists.
static void directory_free_users(Room *room)
{
    if (!room->users)
        return;
    for (int slot = 0; slot < 256; slot++)
        while (vel_list_node *&head = room->users[slot])
            delete static_cast<User *>(vel_list_del(&head, head->key));
    delete[] room->users;
    room->users = nullptr;
}

static void directory_free_room(Room *room)
{
    directory_free_users(room);
    delete[] room->name;
    delete[] room->theme;
    delete room;
}

// ---------------------------------------------------------------- rooms

Room *room_add(int32_t id, const char *name, const char *theme, int32_t states, int32_t usercnt)
{
    if (Room *existing = LVC_GetRoom(id))
        return existing;
    Room *room = new Room{};
    room->id = id;
    room->name = directory_copy(name);
    room->theme = directory_copy(theme);
    room->states = states;
    room->usercnt = usercnt;
    vel_list_add(&lvc.rooms[directory_slot(id)], directory_key(id), room);
    lvc.room_index[id] = room;
    return room;
}

Room *LVC_GetRoom(int32_t id)
{
    auto it = lvc.room_index.find(id);
    return it == lvc.room_index.end() ? nullptr : it->second;
}

void room_del(int32_t id)
{
    lvc.room_index.erase(id);
    Room *room = static_cast<Room *>(vel_list_del(&lvc.rooms[directory_slot(id)], directory_key(id)));
    // A room with a window stays alive, unlinked, with its users: the window frees it.
    if (room && !room->chatwnd)
        directory_free_room(room);
}

void LVC_FreeRoomlist()
{
    for (vel_list_node *&head : lvc.rooms)
        while (head)
            room_del(int32_t(uint32_t(head->key)));
}

vel_list_node *const *LVC_GetRoomLists()
{
    return lvc.rooms;
}

void LVC_FreeUnlinkedRoom(Room *room)
{
    // A room the directory still holds is the directory's own: its window only lets go.
    if (!room || LVC_GetRoom(room->id) == room)
        return;
    directory_free_room(room);
}

void LVC_MoveUserlist(Room *from, Room *to)
{
    if (!from || !to || from == to)
        return;
    // The room list does not carry the local user's rights in the room.
    to->myperms = from->myperms;
    if (!from->users)
        return;
    if (!to->users)
        to->users = new vel_list_node *[256]{};
    for (int slot = 0; slot < 256; slot++) {
        while (vel_list_node *&head = from->users[slot]) {
            auto *user = static_cast<User *>(vel_list_del(&head, head->key));
            // A user the new record knows already is the new record's.
            if (LVC_GetUserInRoom(to, user->id)) {
                delete user;
                continue;
            }
            user->room = to;
            vel_list_add(&to->users[directory_slot(user->id)], directory_key(user->id), user);
        }
    }
    delete[] from->users;
    from->users = nullptr;
}

// ---------------------------------------------------------------- users

User *user_add(int32_t roomid, int32_t userid, const char *nick, int32_t perms)
{
    Room *room = LVC_GetRoom(roomid);
    if (!room)
        return nullptr;
    if (User *existing = LVC_GetUserInRoom(room, userid))
        return existing;
    if (!nick)
        nick = "";
    User *user = new User{};
    user->room = room;
    user->id = userid;
    // At most 91 bytes, never ending inside a character.
    size_t n = wire_utf8_cut(nick, std::strlen(nick), LVC_NICK_SIZE - 1);
    std::memcpy(user->nick, nick, n);
    user->nick[n] = 0;
    user->perms = perms;
    if (!room->users)
        room->users = new vel_list_node *[256]{};
    vel_list_add(&room->users[directory_slot(userid)], directory_key(userid), user);
    nickcache_add(userid, nick);
    if (userid == lvc.ownid)
        room->myperms = perms;
    return user;
}

void user_del(int32_t roomid, int32_t userid)
{
    Room *room = LVC_GetRoom(roomid);
    if (room && room->users)
        delete static_cast<User *>(vel_list_del(&room->users[directory_slot(userid)], directory_key(userid)));
}

void LVC_FreeUserlist(int32_t roomid)
{
    if (Room *room = LVC_GetRoom(roomid))
        directory_free_users(room);
}

User *LVC_GetUser(int32_t roomid, int32_t userid)
{
    return LVC_GetUserInRoom(LVC_GetRoom(roomid), userid);
}

User *LVC_GetUserInRoom(Room *room, int32_t userid)
{
    if (!room || !room->users)
        return nullptr;
    return static_cast<User *>(vel_list_get(room->users[directory_slot(userid)], directory_key(userid)));
}

// ---------------------------------------------------------------- nick cache

void nickcache_add(int32_t userid, const char *nick)
{
    vel_list_node **head = &lvc.nicks[directory_slot(userid)];
    // The first nick learnt for an id stays.
    if (vel_list_get_node(*head, directory_key(userid)))
        return;
    vel_list_add(head, directory_key(userid), directory_copy(nick));
}

const char *nickcache_get(int32_t userid)
{
    return static_cast<const char *>(vel_list_get(lvc.nicks[directory_slot(userid)], directory_key(userid)));
}

const char *LVC_GetCachedNick(int32_t userid)
{
    return nickcache_get(userid);
}

void nickcache_del(int32_t userid)
{
    delete[] static_cast<char *>(vel_list_del(&lvc.nicks[directory_slot(userid)], directory_key(userid)));
}

void nickcache_free()
{
    for (vel_list_node *&head : lvc.nicks)
        while (head)
            delete[] static_cast<char *>(vel_list_del(&head, head->key));
}
