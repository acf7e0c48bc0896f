// First-in, first-out queue of a text and three numbers. A list is a pointer to its
// first node; null is the empty list. Each node owns a copy of its text.
#pragma once

#include <cstdint>

struct strlist {
    char *text;
    int32_t value1;
    int32_t value2;
    int32_t value3;
    strlist *next;
};

// Appends a node with a copy of `text`; returns the list (the new node for an empty one).
strlist *strlist_add(strlist *list, const char *text, int32_t value1, int32_t value2, int32_t value3);
// The first node's text (not a copy), its values stored through the non-null pointers;
// null and nothing stored for an empty list.
const char *strlist_get(const strlist *list, int32_t *value1, int32_t *value2, int32_t *value3);
// Frees the first node; returns the rest.
strlist *strlist_del(strlist *list);
// Frees every node; returns null.
strlist *strlist_free(strlist *list);
