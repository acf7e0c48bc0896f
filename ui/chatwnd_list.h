// The registry of open room windows and the broadcast over it (lost connection, changes of
// the friends and ignore lists). Room windows add themselves when they open.
#pragma once

#include "toolkit/list.h"

#include <cstdint>

// Key the room id, payload the room window's record.
extern vel_list_node *chatwnd_list;
// What a broadcast does to one room window; set by the room window module.
extern void (*chatwnd_broadcast_apply)(void *chatwnd, int action, char *text, int state, int32_t userid);
