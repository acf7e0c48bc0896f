// What the friends and ignore lists tell the windows. The user interface defines these
// (the room windows and the main frame's friends list); test programs link recording
// stand-ins instead.
#pragma once

#include <cstdint>

// Action bit 0x08: every room window redraws the user `userid` if he is in its room.
constexpr int CHATWND_BROADCAST_REDRAW_USER = 0x08;

void chatwnd_broadcast_msg(int action, char *text, int state, int32_t userid);
void friendlist_add(int32_t userid, const char *nick);
void friendlist_del(int32_t userid);
