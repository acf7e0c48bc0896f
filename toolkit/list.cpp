#include "toolkit/list.h"

#include <cstdlib>
#include <new>

void vel_list_add(vel_list_node **head, vel_list_key key, void *data)
{
    // The rest of the program cannot handle a failed add, so running out of memory here
    // ends the program rather than losing an entry silently.
    vel_list_node *node = new vel_list_node{key, data, nullptr, nullptr};
    vel_list_node *first = *head;
    if (!first) {
        node->next = node->prev = node;
    } else {
        vel_list_node *oldest = first->prev;
        oldest->next = node;
        node->next = first;
        node->prev = oldest;
        first->prev = node;
    }
    *head = node;
}

vel_list_node *vel_list_get_node(const vel_list_node *head, vel_list_key key)
{
    if (!head)
        return nullptr;
    const vel_list_node *n = head;
    do {
        if (n->key == key)
            return const_cast<vel_list_node *>(n);
        n = n->next;
    } while (n != head);
    return nullptr;
}

void *vel_list_get(const vel_list_node *head, vel_list_key key)
{
    vel_list_node *n = vel_list_get_node(head, key);
    return n ? n->data : nullptr;
}

void *vel_list_del(vel_list_node **head, vel_list_key key)
{
    vel_list_node *n = vel_list_get_node(*head, key);
    if (!n)
        return nullptr;
    if (n->next == n) {
        *head = nullptr;
    } else {
        n->prev->next = n->next;
        n->next->prev = n->prev;
        if (*head == n)
            *head = n->next;
    }
    void *data = n->data;
    delete n;
    return data;
}

void vel_list_add_sync(vel_list_node **head, vel_list_key key, void *data, std::mutex *lock)
{
    std::lock_guard<std::mutex> guard(*lock);
    vel_list_add(head, key, data);
}

void *vel_list_del_sync(vel_list_node **head, vel_list_key key, std::mutex *lock)
{
    std::lock_guard<std::mutex> guard(*lock);
    return vel_list_del(head, key);
}
