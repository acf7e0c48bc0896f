// The rooms of the room list in the order the list shows them, and the changes that wait
// to be shown. Rooms arrive one at a time within a batch of packets (a whole list at
// once when it is downloaded); they are sorted a step at a time and take their places
// together, so that a list of many thousand rooms is never inserted room by room.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct rlistwnd_room {
    int32_t id;
    char letter;  // the sort letter of its states when it was listed
};

// A room not shown yet, with the sort key of its first-column text, made as it came (the
// directory is not searched for thousands of names at once).
struct rlistwnd_added {
    rlistwnd_room room;
    std::string key;
};

// A sorted added room: its key's first bytes and its place in `added`.
struct rlistwnd_keyed {
    uint64_t head[2];
    size_t index;
};

struct rlistwnd_rooms {
    std::vector<rlistwnd_room> shown;   // as the list view shows them, sorted
    std::vector<rlistwnd_added> added;  // not shown yet, in the order they came
    std::vector<int32_t> removed;      // shown rooms that go
    std::vector<int32_t> changed;      // rooms whose rows are drawn again (topic, count)
    // The first added rooms in key order: each step sorts some of the ones after them and
    // merges them in, so that no single step sorts a whole long list.
    std::vector<rlistwnd_keyed> sorted;
};

// Lists a room named `name` (UTF-8); it is shown once placed.
void rlistwnd_rooms_add(rlistwnd_rooms *r, int32_t id, char letter, const char *name);
// Unlists a room; 1 when it was listed (shown and not removed yet, or added).
int rlistwnd_rooms_del(rlistwnd_rooms *r, int32_t id);
// 1 while rooms wait to be added or removed.
int rlistwnd_rooms_pending(const rlistwnd_rooms *r);
// Sorts at most `budget` added rooms among the ones sorted before; 1 once every added
// room is sorted. Nothing is placed.
int rlistwnd_rooms_sort(rlistwnd_rooms *r, size_t budget);
// Removes the rooms that go and puts the added ones at their sorted places: after every
// room whose text does not compare greater, in the order they came among equals. A long
// list is placed in steps: each call sorts at most `budget` added rooms among the ones
// sorted before, and returns 0 while rooms remain to be sorted (nothing is placed yet),
// 1 once the rooms are placed.
int rlistwnd_rooms_place(rlistwnd_rooms *r, size_t budget);
// The place of a shown room, or -1.
int rlistwnd_rooms_find(const rlistwnd_rooms *r, int32_t id);
// The id of the shown room at `index`, or 0.
int32_t rlistwnd_rooms_id_at(const rlistwnd_rooms *r, int index);
// The first-column text of a shown room, "<letter> <name>"; the name is the directory's
// (empty for a room it no longer holds).
std::u16string rlistwnd_rooms_text(const rlistwnd_room &room);
