// The ignore and friends lists, keyed by the server's user id, and the friends file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "toolkit/list.h"

// Ignore list: payload 1 for every ignored id; empty at every start.
extern vel_list_node *ignore_list;
// Friends list: payload the friend's name (UTF-8, a heap copy owned by the entry); the
// head is the friend added last.
extern vel_list_node *friends_list;

// With on 1 adds an id not yet ignored, with on 0 removes an ignored one; either change
// has the room windows redraw that user. Anything else does nothing.
void ignore_user(int32_t id, int on);
int is_user_ignored(int32_t id);
// With on 1 adds an id not yet a friend with a copy of `name`, with on 0 removes a friend;
// either change has the room windows redraw the user and updates the main frame's list.
void friend_user(int32_t id, int on, const char *name);
int is_user_friend(int32_t id);

// Reads "id name" lines (LF or CR LF) and adds each id above 0 as a friend; a repeated id
// keeps its first name. 0 when the file cannot be opened.
int load_friends(const char *path);
// The same on an open stream, read to its end.
void friends_read(std::FILE *file);
// Writes one "id name" line per friend, newest first, to a new file that then replaces
// `path`: a failed write leaves the old file as it was. 0 on failure.
int save_friends(const char *path);
// Empties both lists without telling any window (the windows are gone at shutdown).
void util_free_lists();
