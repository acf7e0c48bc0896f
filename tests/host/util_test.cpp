#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "settings/util.h"
#include "tests/support/notify_fake.h"
#include "tests/support/tempfile.h"

namespace {

std::map<int32_t, std::string> friends()
{
    std::map<int32_t, std::string> out;
    if (!friends_list)
        return out;
    const vel_list_node *n = friends_list;
    do {
        out[static_cast<int32_t>(n->key)] = static_cast<const char *>(n->data);
        n = n->next;
    } while (n != friends_list);
    return out;
}

class Lists : public testing::Test {
protected:
    void SetUp() override
    {
        util_free_lists();
        notify_clear();
    }
    void TearDown() override { util_free_lists(); }
};

TEST_F(Lists, IgnoreTogglesAndNotifiesOnChangeOnly)
{
    EXPECT_EQ(ignore_list, nullptr);
    ignore_user(42, 1);
    ignore_user(42, 1);
    EXPECT_EQ(is_user_ignored(42), 1);
    EXPECT_EQ(is_user_ignored(43), 0);
    ignore_user(43, 0);
    ignore_user(42, 0);
    EXPECT_EQ(is_user_ignored(42), 0);
    ignore_user(42, 2);  // neither on nor off
    EXPECT_EQ(is_user_ignored(42), 0);
    ASSERT_EQ(notify_calls.size(), 2u);
    for (const auto &c : notify_calls) {
        EXPECT_EQ(c.what, "broadcast");
        EXPECT_EQ(c.action, 8);
        EXPECT_EQ(c.userid, 42);
    }
}

TEST_F(Lists, FriendAddedOnceAndRemovedWithItsName)
{
    char name[] = "anna";
    friend_user(5, 1, name);
    name[0] = 'X';  // the list keeps its own copy
    friend_user(5, 1, "other");
    friend_user(6, 0, "nobody");
    EXPECT_EQ(is_user_friend(5), 1);
    EXPECT_EQ(is_user_friend(6), 0);
    EXPECT_EQ(friends(), (std::map<int32_t, std::string>{{5, "anna"}}));
    friend_user(5, 0, nullptr);
    EXPECT_EQ(is_user_friend(5), 0);
    EXPECT_EQ(friends_list, nullptr);
    ASSERT_EQ(notify_calls.size(), 4u);
    EXPECT_EQ(notify_calls[0].what, "broadcast");
    EXPECT_EQ(notify_calls[0].action, 8);
    EXPECT_EQ(notify_calls[1].what, "friend+");
    EXPECT_EQ(notify_calls[1].nick, "anna");
    EXPECT_EQ(notify_calls[2].what, "broadcast");
    EXPECT_EQ(notify_calls[3].what, "friend-");
    for (const auto &c : notify_calls)
        EXPECT_EQ(c.userid, 5);
}

TEST_F(Lists, IgnoreAndFriendsAreSeparate)
{
    ignore_user(7, 1);
    EXPECT_EQ(is_user_friend(7), 0);
    friend_user(8, 1, "b");
    EXPECT_EQ(is_user_ignored(8), 0);
}

struct FriendsFile {
    const char *name;
    std::string lines;  // with "\n" line ends; also tried with "\r\n"
    std::map<int32_t, std::string> friends;
};

TEST_F(Lists, LoadFriendsFiles)
{
    const FriendsFile cases[] = {
        {"named with blanks", "123 Ruv Erur\n", {{123, "Ruv Erur"}}},
        {"bad ids and no blank", "0 x\n-5 y\nabc z\n77\n", {}},
        {"leading zeros and sign", "007 bond\n+9 plus\n", {{7, "bond"}, {9, "plus"}}},
        {"digits then text", "12ab c\n", {{12, "c"}}},
        {"blank first", " 5 x\n", {}},
        {"empty name", "31 \n", {{31, ""}}},
        {"repeated id keeps first name", "4 first\n4 second\n", {{4, "first"}}},
        {"no final line end", "1 a\n2 b", {{1, "a"}, {2, "b"}}},
        {"blank lines", "\n\n3 c\n\n", {{3, "c"}}},
        {"utf-8 names", "9 \xC3\x81rp\xC3\xA1" "d\n", {{9, "\xC3\x81rp\xC3\xA1" "d"}}},
        {"huge id clamped", "99999999999999999999 big\n", {{INT32_MAX, "big"}}},
        {"percent signs", "3 %s%n%d\n", {{3, "%s%n%d"}}},
        {"empty file", "", {}},
    };
    for (const auto &c : cases) {
        for (const char *eol : {"\n", "\r\n"}) {
            std::string content;
            for (char ch : c.lines)
                content += ch == '\n' ? std::string(eol) : std::string(1, ch);
            util_free_lists();
            std::string path = test_temp_file("lvfriends", content);
            EXPECT_EQ(load_friends(path.c_str()), 1);
            std::remove(path.c_str());
            EXPECT_EQ(friends(), c.friends) << c.name << (eol[1] ? " (CR LF)" : " (LF)");
        }
    }
}

TEST_F(Lists, LongLinesAreReadInPieces)
{
    // The first 1023 bytes are one line; the rest of the line is read as another.
    std::string name(1023 - 2, 'n');
    std::string path = test_temp_file("lvfriends", "1 " + name + "2 rest\n");
    EXPECT_EQ(load_friends(path.c_str()), 1);
    std::remove(path.c_str());
    EXPECT_EQ(friends(), (std::map<int32_t, std::string>{{1, name}, {2, "rest"}}));
}

TEST_F(Lists, MissingFileLoadsNothing)
{
    EXPECT_EQ(load_friends(test_temp_path("lvfriends-missing").c_str()), 0);
    EXPECT_EQ(friends_list, nullptr);
}

TEST_F(Lists, SaveWritesNewestFirstAndReloads)
{
    friend_user(1, 1, "egy");
    friend_user(2, 1, "k\xC3\xA9t tag");
    friend_user(3, 1, "three");
    std::string path = test_temp_path("lvfriends");
    ASSERT_EQ(save_friends(path.c_str()), 1);
    std::string text = test_read_file(path);
    // Text mode may write CR LF on Windows; the lines are what count.
    std::string lf;
    for (char ch : text)
        if (ch != '\r')
            lf += ch;
    EXPECT_EQ(lf, "3 three\n2 k\xC3\xA9t tag\n1 egy\n");
    auto saved = friends();
    util_free_lists();
    ASSERT_EQ(load_friends(path.c_str()), 1);
    EXPECT_EQ(friends(), saved);
    EXPECT_EQ(friends_list->key, 1u);  // each load-and-save cycle reverses the lines
    // Saving over an existing file replaces it.
    friend_user(3, 0, nullptr);
    ASSERT_EQ(save_friends(path.c_str()), 1);
    util_free_lists();
    load_friends(path.c_str());
    EXPECT_EQ(friends(), (std::map<int32_t, std::string>{{1, "egy"}, {2, "k\xC3\xA9t tag"}}));
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
    std::remove(path.c_str());
}

TEST_F(Lists, SavingAnEmptyListWritesAnEmptyFile)
{
    std::string path = test_temp_file("lvfriends", "5 old\n");
    ASSERT_EQ(save_friends(path.c_str()), 1);
    EXPECT_EQ(test_read_file(path), "");
    std::remove(path.c_str());
}

TEST_F(Lists, NamesNeverSpanLines)
{
    friend_user(4, 1, "two\nlines");
    friend_user(5, 1, "cr\rhere");
    std::string path = test_temp_path("lvfriends");
    ASSERT_EQ(save_friends(path.c_str()), 1);
    util_free_lists();
    load_friends(path.c_str());
    std::remove(path.c_str());
    EXPECT_EQ(friends(), (std::map<int32_t, std::string>{{4, "two"}, {5, "cr"}}));
}

TEST_F(Lists, FailedSaveKeepsTheOldFile)
{
    std::string path = test_temp_file("lvfriends", "9 keep me\n");
    // The new file cannot be created: a folder stands in its place.
    std::filesystem::create_directory(path + ".new");
    friend_user(1, 1, "new");
    EXPECT_EQ(save_friends(path.c_str()), 0);
    EXPECT_EQ(test_read_file(path), "9 keep me\n");
    std::filesystem::remove(path + ".new");
    std::remove(path.c_str());

    // The file cannot be replaced (a folder has its name): the new file is cleaned up.
    std::string folder = test_temp_path("lvfriends-dir");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(save_friends(folder.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(folder + ".new"));
    std::filesystem::remove(folder);

    // A folder that does not exist: nothing can be written.
    std::string missing = test_temp_path("lvfriends-nodir") + "/friends";
    EXPECT_EQ(save_friends(missing.c_str()), 0);
}

}  // namespace
