#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "toolkit/list.h"

namespace {

void *P(int v) { return reinterpret_cast<void *>(static_cast<intptr_t>(v)); }

std::vector<vel_list_key> walk(const vel_list_node *head)
{
    std::vector<vel_list_key> keys;
    if (!head)
        return keys;
    const vel_list_node *n = head;
    do {
        EXPECT_EQ(n->next->prev, n);
        keys.push_back(n->key);
        n = n->next;
    } while (n != head);
    return keys;
}

TEST(List, WalkRunsNewestToOldest)
{
    vel_list_node *head = nullptr;
    vel_list_add(&head, 'P', P(1));
    vel_list_add(&head, 'Q', P(2));
    vel_list_add(&head, 'R', P(3));
    EXPECT_EQ(walk(head), (std::vector<vel_list_key>{'R', 'Q', 'P'}));
    EXPECT_EQ(head->prev->key, vel_list_key('P'));
    while (head)
        vel_list_del(&head, head->key);
}

TEST(List, DeleteHeadMiddleAndOnly)
{
    vel_list_node *head = nullptr;
    vel_list_add(&head, 'P', P(1));
    vel_list_add(&head, 'Q', P(2));
    vel_list_add(&head, 'R', P(3));
    EXPECT_EQ(vel_list_del(&head, 'R'), P(3));
    EXPECT_EQ(head->key, vel_list_key('Q'));
    vel_list_add(&head, 'R', P(3));
    EXPECT_EQ(vel_list_del(&head, 'P'), P(1));
    EXPECT_EQ(head->key, vel_list_key('R'));
    EXPECT_EQ(walk(head), (std::vector<vel_list_key>{'R', 'Q'}));
    vel_list_del(&head, 'R');
    EXPECT_EQ(head->next, head);
    EXPECT_EQ(head->prev, head);
    EXPECT_EQ(vel_list_del(&head, 'Q'), P(2));
    EXPECT_EQ(head, nullptr);
}

TEST(List, MissingKeysAndEmptyList)
{
    vel_list_node *head = nullptr;
    EXPECT_EQ(vel_list_del(&head, 1), nullptr);
    EXPECT_EQ(vel_list_get(head, 1), nullptr);
    EXPECT_EQ(vel_list_get_node(head, 1), nullptr);
    vel_list_add(&head, 1, P(10));
    vel_list_node *before = head;
    EXPECT_EQ(vel_list_del(&head, 2), nullptr);
    EXPECT_EQ(head, before);
    vel_list_del(&head, 1);
}

TEST(List, NewerEntryShadowsSameKey)
{
    vel_list_node *head = nullptr;
    vel_list_add(&head, 7, P(1));
    vel_list_add(&head, 7, P(2));
    EXPECT_EQ(vel_list_get(head, 7), P(2));
    EXPECT_EQ(vel_list_del(&head, 7), P(2));
    EXPECT_EQ(vel_list_del(&head, 7), P(1));
    EXPECT_EQ(head, nullptr);
}

TEST(List, NullPayloadLooksMissing)
{
    vel_list_node *head = nullptr;
    vel_list_add(&head, 3, nullptr);
    EXPECT_EQ(vel_list_get(head, 3), nullptr);
    EXPECT_NE(vel_list_get_node(head, 3), nullptr);
    vel_list_del(&head, 3);
}

TEST(List, SyncFormsKeepTheRingWhole)
{
    vel_list_node *head = nullptr;
    std::mutex lock;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; i++) {
                vel_list_key key = vel_list_key(t * 1000 + i);
                vel_list_add_sync(&head, key, P(1), &lock);
                if (i % 2) {
                    EXPECT_EQ(vel_list_del_sync(&head, key, &lock), P(1));
                }
            }
        });
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(walk(head).size(), 4u * 250u);
    while (head)
        vel_list_del(&head, head->key);
}

}  // namespace
