#include "toolkit/strlist.h"

#include <cstring>

strlist *strlist_add(strlist *list, const char *text, int32_t value1, int32_t value2, int32_t value3)
{
    size_t n = std::strlen(text);
    char *copy = new char[n + 1];
    std::memcpy(copy, text, n + 1);
    strlist *node = new strlist{copy, value1, value2, value3, nullptr};
    if (!list)
        return node;
    strlist *last = list;
    while (last->next)
        last = last->next;
    last->next = node;
    return list;
}

const char *strlist_get(const strlist *list, int32_t *value1, int32_t *value2, int32_t *value3)
{
    if (!list)
        return nullptr;
    if (value1)
        *value1 = list->value1;
    if (value2)
        *value2 = list->value2;
    if (value3)
        *value3 = list->value3;
    return list->text;
}

strlist *strlist_del(strlist *list)
{
    if (!list)
        return nullptr;
    strlist *rest = list->next;
    delete[] list->text;
    delete list;
    return rest;
}

strlist *strlist_free(strlist *list)
{
    while (list)
        list = strlist_del(list);
    return nullptr;
}
