// Rooms, users and the nick cache.
#include <gtest/gtest.h>

#include <string>

#include "protocol/internal.h"

namespace {

struct Directory : ::testing::Test {
    void TearDown() override
    {
        LVC_FreeRoomlist();
        nickcache_free();
        lvc.ownid = 0;
    }
};

TEST_F(Directory, ExistingRoomIsReturnedUnchanged)
{
    Room *r = room_add(7, "Budapest", "$red$téma", 3, 12);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(room_add(7, "Other", "other", 9, 99), r);
    EXPECT_STREQ(r->name, "Budapest");
    EXPECT_STREQ(r->theme, "$red$téma");
    EXPECT_EQ(r->states, 3);
    EXPECT_EQ(r->usercnt, 12);
    EXPECT_EQ(r->myperms, 0);
    EXPECT_EQ(r->chatwnd, nullptr);
    EXPECT_EQ(LVC_GetRoom(7), r);
}

TEST_F(Directory, RoomsSharingAListAreFoundApart)
{
    Room *a = room_add(5, "a", "", 0, 0);
    Room *b = room_add(261, "b", "", 0, 0);
    Room *neg = room_add(-251, "neg", "", 0, 0);  // low byte 5 as well
    EXPECT_EQ(LVC_GetRoomLists()[5]->data, neg);
    EXPECT_EQ(LVC_GetRoom(5), a);
    EXPECT_EQ(LVC_GetRoom(261), b);
    EXPECT_EQ(LVC_GetRoom(-251), neg);
    EXPECT_EQ(LVC_GetRoom(517), nullptr);
    room_del(261);
    EXPECT_EQ(LVC_GetRoom(261), nullptr);
    EXPECT_EQ(LVC_GetRoom(5), a);
    room_del(261);  // gone already: nothing happens
    EXPECT_EQ(LVC_GetRoom(-251), neg);
}

TEST_F(Directory, UsersAndTheNickCache)
{
    EXPECT_EQ(user_add(1, 10, "ghost", 0), nullptr);  // no such room
    EXPECT_EQ(nickcache_get(10), nullptr);

    Room *r = room_add(1, "r", "", 0, 0);
    User *u = user_add(1, 10, "anna", 2);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->room, r);
    EXPECT_EQ(u->perms, 2);
    EXPECT_EQ(user_add(1, 10, "other", 9), u);
    EXPECT_STREQ(u->nick, "anna");
    User *v = user_add(1, 266, "bela", 0);  // same list as 10
    EXPECT_EQ(LVC_GetUser(1, 10), u);
    EXPECT_EQ(LVC_GetUserInRoom(r, 266), v);
    EXPECT_EQ(LVC_GetUserInRoom(nullptr, 10), nullptr);
    EXPECT_EQ(LVC_GetUser(2, 10), nullptr);
    EXPECT_EQ(r->myperms, 0);

    nickcache_add(10, "renamed");  // the first nick stays
    EXPECT_STREQ(nickcache_get(10), "anna");

    user_del(1, 999);  // not present
    EXPECT_EQ(LVC_GetUser(1, 266), v);
    user_del(1, 10);
    EXPECT_EQ(LVC_GetUser(1, 10), nullptr);
    EXPECT_STREQ(nickcache_get(10), "anna");  // the cache outlives the room's user
    nickcache_del(10);
    EXPECT_EQ(nickcache_get(10), nullptr);
    EXPECT_STREQ(nickcache_get(266), "bela");

    LVC_FreeUserlist(1);
    EXPECT_EQ(LVC_GetUser(1, 266), nullptr);
    EXPECT_EQ(r->users, nullptr);  // the lists go with the last user
}

TEST_F(Directory, OwnUserSetsMyPerms)
{
    lvc.ownid = 77;
    Room *r = room_add(3, "r", "", 0, 0);
    user_add(3, 5, "x", 0x40);
    EXPECT_EQ(r->myperms, 0);
    user_add(3, 77, "me", 0x40);
    EXPECT_EQ(r->myperms, 0x40);
}

TEST_F(Directory, LongNicksAreCutAtACharacterBoundary)
{
    room_add(1, "r", "", 0, 0);
    std::string ascii(200, 'n');
    EXPECT_EQ(std::string(user_add(1, 1, ascii.c_str(), 0)->nick), ascii.substr(0, 91));
    std::string accented = std::string(90, 'n') + "\xC5\x91" + "tail";  // ő straddles byte 91
    EXPECT_EQ(std::string(user_add(1, 2, accented.c_str(), 0)->nick), std::string(90, 'n'));
    std::string exact(91, 'e');
    EXPECT_EQ(std::string(user_add(1, 3, exact.c_str(), 0)->nick), exact);
}

TEST_F(Directory, RoomWithWindowSurvivesDeletionUnlinked)
{
    int window = 0;
    Room *r = room_add(9, "nine", "topic", 0, 0);
    user_add(9, 4, "dora", 0);
    r->chatwnd = &window;
    room_del(9);
    EXPECT_EQ(LVC_GetRoom(9), nullptr);
    // Still readable through the window, users and all.
    EXPECT_STREQ(r->name, "nine");
    ASSERT_NE(LVC_GetUserInRoom(r, 4), nullptr);
    EXPECT_STREQ(LVC_GetUserInRoom(r, 4)->nick, "dora");

    // A rebuilt list holds a new record for the same id.
    Room *fresh = room_add(9, "nine", "new topic", 0, 0);
    EXPECT_NE(fresh, r);
    fresh->chatwnd = &window;
    LVC_FreeUnlinkedRoom(fresh);  // still in the directory: not freed
    EXPECT_EQ(LVC_GetRoom(9), fresh);
    EXPECT_STREQ(fresh->theme, "new topic");
    fresh->chatwnd = nullptr;
    LVC_FreeUnlinkedRoom(r);  // the window lets go of the old one
}

// A fresh room list leaves a window's room unlinked; its users move to the new record.
TEST_F(Directory, UsersMoveToTheNewRecordOfTheirRoom)
{
    int window = 0;
    lvc.ownid = 7;
    Room *old = room_add(10, "ten", "", 0, 0);
    user_add(10, 4, "dora", 0x10000);
    user_add(10, 7, "en", 0x40);
    user_add(10, 260, "lili", 0);  // the same list as user 4
    old->chatwnd = &window;
    LVC_FreeRoomlist();
    Room *fresh = room_add(10, "ten", "", 0, 3);
    user_add(10, 260, "lili uj", 5);  // already known to the new record
    LVC_MoveUserlist(old, fresh);
    EXPECT_EQ(old->users, nullptr);
    const User *dora = LVC_GetUser(10, 4);
    ASSERT_NE(dora, nullptr);
    EXPECT_STREQ(dora->nick, "dora");
    EXPECT_EQ(dora->perms, 0x10000);
    EXPECT_EQ(dora->room, fresh);
    ASSERT_NE(LVC_GetUser(10, 7), nullptr);
    EXPECT_EQ(LVC_GetUser(10, 7)->room, fresh);
    EXPECT_STREQ(LVC_GetUser(10, 260)->nick, "lili uj");
    EXPECT_EQ(fresh->myperms, 0x40);
    LVC_FreeUnlinkedRoom(old);
}

TEST_F(Directory, FreeRoomlistEmptiesEveryList)
{
    for (int id = 0; id < 600; id++)
        room_add(id, "r", "", 0, 0);
    user_add(300, 1, "u", 0);
    LVC_FreeRoomlist();
    for (vel_list_node *head : lvc.rooms)
        EXPECT_EQ(head, nullptr);
    EXPECT_EQ(LVC_GetRoom(300), nullptr);
}

}  // namespace
