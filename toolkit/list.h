// Keyed, circular, doubly linked list of opaque payloads.
//
// A list is nothing but a pointer to its head node (null: empty). The head is the newest
// entry; walking `next` runs from the newest to the oldest and comes back to the head,
// whose `prev` is the oldest. Keys need not be unique: the newest entry with a key
// shadows the older ones. The list owns its nodes, never the payloads.
#pragma once

#include <cstdint>
#include <mutex>

using vel_list_key = std::uintptr_t;

struct vel_list_node {
    vel_list_key key;
    void *data;
    vel_list_node *next;
    vel_list_node *prev;
};

void vel_list_add(vel_list_node **head, vel_list_key key, void *data);
void *vel_list_del(vel_list_node **head, vel_list_key key);
void *vel_list_get(const vel_list_node *head, vel_list_key key);
vel_list_node *vel_list_get_node(const vel_list_node *head, vel_list_key key);

// The same operations serialised through the caller's mutex. A reader that walks or gets
// concurrently with them must hold the same mutex.
void vel_list_add_sync(vel_list_node **head, vel_list_key key, void *data, std::mutex *lock);
void *vel_list_del_sync(vel_list_node **head, vel_list_key key, std::mutex *lock);
