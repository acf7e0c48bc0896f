#include "ui/rlistwnd_rooms.h"

#include "protocol/lvc6b.h"
#include "text/string.h"
#include "toolkit/wnd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

void rooms_write_text(std::u16string *text, char letter, const char *name)
{
    text->assign(std::strlen(name) + 3, u'\0');
    (*text)[0] = static_cast<char16_t>(letter);
    (*text)[1] = u' ';
    utf8_to_ucs2(text->data() + 2, name);
    text->resize(std::char_traits<char16_t>::length(text->c_str()));
}

void rooms_write_text(std::u16string *text, const rlistwnd_room &room)
{
    const Room *r = LVC_GetRoom(room.id);
    rooms_write_text(text, room.letter, r && r->name ? r->name : "");
}

// The platform's sort key of a text: two texts compare as the list view compares them
// exactly when their keys compare byte by byte (std::string compares bytes unsigned).
std::string rooms_key(const std::u16string &text)
{
    const int n = static_cast<int>(text.size());
    const auto *units = reinterpret_cast<const wchar_t *>(text.c_str());
    // A few bytes a character; the rare longer key is measured first.
    std::string made(static_cast<size_t>(8 * n + 64), '\0');
    int len = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, units, n, reinterpret_cast<LPWSTR>(made.data()),
                           static_cast<int>(made.size()));
    if (len <= 0) {
        made.assign(
            static_cast<size_t>(std::max(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, units, n, nullptr, 0), 0)),
            '\0');
        len = made.empty() ? 0
                           : LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, units, n,
                                          reinterpret_cast<LPWSTR>(made.data()), static_cast<int>(made.size()));
    }
    // A key is never empty: an empty one means "not made yet" (a text the platform cannot
    // map sorts first). It is kept at its own size: thousands wait to be sorted.
    return std::string(made.data(), static_cast<size_t>(std::max(len, 1)));
}

std::string rooms_key(const rlistwnd_room &room)
{
    std::u16string text;
    rooms_write_text(&text, room);
    return rooms_key(text);
}

// A key with its first bytes at hand: most comparisons end there, without a look at the
// key itself, which lies elsewhere in memory.
struct keyed {
    uint64_t head[2];
    const std::string *key;
    size_t index;
};

keyed rooms_keyed(const std::string *key, size_t index)
{
    keyed k{{0, 0}, key, index};
    for (size_t i = 0; i < 16 && i < key->size(); i++)
        k.head[i / 8] |= static_cast<uint64_t>(static_cast<unsigned char>((*key)[i])) << (56 - 8 * (i % 8));
    return k;
}

bool rooms_before(const keyed &x, const keyed &y)
{
    if (x.head[0] != y.head[0])
        return x.head[0] < y.head[0];
    if (x.head[1] != y.head[1])
        return x.head[1] < y.head[1];
    return *x.key < *y.key;
}

// A sorted added room, with its key at hand for comparing.
keyed rooms_sorted_keyed(const rlistwnd_rooms *r, const rlistwnd_keyed &k, size_t index)
{
    return {{k.head[0], k.head[1]}, &r->added[k.index].key, index};
}

// Sorts at most `budget` of the added rooms after the sorted ones and merges them in; 1
// when every added room is sorted.
bool rooms_sort_added(rlistwnd_rooms *r, size_t budget)
{
    const size_t from = r->sorted.size();
    const size_t to = from + std::min(budget, r->added.size() - from);
    if (to == from)
        return to == r->added.size();
    std::vector<keyed> order;
    order.reserve(to);
    for (size_t k = 0; k < from; k++)
        order.push_back(rooms_sorted_keyed(r, r->sorted[k], r->sorted[k].index));
    for (size_t k = from; k < to; k++)
        order.push_back(rooms_keyed(&r->added[k].key, k));
    // The new ones are sorted among themselves, then merged after the older ones among
    // equals: rooms of equal text stay in the order they came.
    std::stable_sort(order.begin() + static_cast<long>(from), order.end(), rooms_before);
    std::inplace_merge(order.begin(), order.begin() + static_cast<long>(from), order.end(), rooms_before);
    r->sorted.clear();
    for (const keyed &k : order)
        r->sorted.push_back({{k.head[0], k.head[1]}, k.index});
    return to == r->added.size();
}

// Shown and added rooms sorted together, the shown ones first among equals. Both are in
// key order already: merging them is enough.
void rooms_place_all(rlistwnd_rooms *r)
{
    std::vector<std::string> shown_keys(r->shown.size());
    std::vector<keyed> order;
    order.reserve(r->shown.size() + r->sorted.size());
    for (size_t i = 0; i < r->shown.size(); i++) {
        shown_keys[i] = rooms_key(r->shown[i]);
        order.push_back(rooms_keyed(&shown_keys[i], i));
    }
    for (const rlistwnd_keyed &k : r->sorted)
        order.push_back(rooms_sorted_keyed(r, k, r->shown.size() + k.index));
    std::inplace_merge(order.begin(), order.begin() + static_cast<long>(r->shown.size()), order.end(), rooms_before);
    std::vector<rlistwnd_room> placed;
    placed.reserve(order.size());
    for (const keyed &k : order)
        placed.push_back(k.index < r->shown.size() ? r->shown[k.index] : r->added[k.index - r->shown.size()].room);
    r->shown.swap(placed);
}

// A few added rooms among many shown: each finds its place by a binary search, with the
// keys of the shown rooms it meets made as it meets them, and the list is rebuilt once.
void rooms_place_few(rlistwnd_rooms *r)
{
    std::vector<keyed> order;
    for (const rlistwnd_keyed &k : r->sorted)
        order.push_back(rooms_sorted_keyed(r, k, k.index));
    std::vector<rlistwnd_room> merged;
    merged.reserve(r->shown.size() + order.size());
    size_t next = 0;
    for (const keyed &k : order) {
        size_t low = next, high = r->shown.size();
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (rooms_key(r->shown[mid]) <= *k.key)
                low = mid + 1;
            else
                high = mid;
        }
        merged.insert(merged.end(), r->shown.begin() + static_cast<long>(next),
                      r->shown.begin() + static_cast<long>(low));
        merged.push_back(r->added[k.index].room);
        next = low;
    }
    merged.insert(merged.end(), r->shown.begin() + static_cast<long>(next), r->shown.end());
    r->shown.swap(merged);
}

}  // namespace

void rlistwnd_rooms_add(rlistwnd_rooms *r, int32_t id, char letter, const char *name)
{
    std::u16string text;
    rooms_write_text(&text, letter, name ? name : "");
    r->added.push_back({{id, letter}, rooms_key(text)});
}

int rlistwnd_rooms_del(rlistwnd_rooms *r, int32_t id)
{
    for (size_t i = r->added.size(); i-- > 0;) {
        if (r->added[i].room.id == id) {
            r->added.erase(r->added.begin() + static_cast<long>(i));
            // The sorted rooms are held by their places in `added`, which moved: they are
            // sorted again by the next step.
            if (i < r->sorted.size())
                r->sorted.clear();
            return 1;
        }
    }
    if (std::find(r->removed.begin(), r->removed.end(), id) != r->removed.end() || rlistwnd_rooms_find(r, id) < 0)
        return 0;
    r->removed.push_back(id);
    return 1;
}

int rlistwnd_rooms_pending(const rlistwnd_rooms *r)
{
    return !r->added.empty() || !r->removed.empty();
}

int rlistwnd_rooms_sort(rlistwnd_rooms *r, size_t budget)
{
    return rooms_sort_added(r, budget) ? 1 : 0;
}

int rlistwnd_rooms_place(rlistwnd_rooms *r, size_t budget)
{
    if (!rooms_sort_added(r, budget))
        return 0;
    if (!r->removed.empty()) {
        std::sort(r->removed.begin(), r->removed.end());
        std::erase_if(r->shown, [&](const rlistwnd_room &room) {
            return std::binary_search(r->removed.begin(), r->removed.end(), room.id);
        });
        // Let go of the room a whole list's removals took, not only of its contents.
        std::vector<int32_t>().swap(r->removed);
    }
    if (r->added.empty())
        return 1;
    // A search costs about twenty keys a room; sorting everything, one key a room.
    if (r->added.size() * 20 < r->shown.size())
        rooms_place_few(r);
    else
        rooms_place_all(r);
    // A downloaded list leaves thousands of keys behind: the room they took is given
    // back, not kept for the next list.
    std::vector<rlistwnd_added>().swap(r->added);
    std::vector<rlistwnd_keyed>().swap(r->sorted);
    return 1;
}

int rlistwnd_rooms_find(const rlistwnd_rooms *r, int32_t id)
{
    for (size_t i = 0; i < r->shown.size(); i++)
        if (r->shown[i].id == id)
            return static_cast<int>(i);
    return -1;
}

int32_t rlistwnd_rooms_id_at(const rlistwnd_rooms *r, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= r->shown.size())
        return 0;
    return r->shown[static_cast<size_t>(index)].id;
}

std::u16string rlistwnd_rooms_text(const rlistwnd_room &room)
{
    std::u16string text;
    rooms_write_text(&text, room);
    return text;
}
