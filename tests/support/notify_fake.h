// Recording stand-ins for the window notifications of the friends and ignore lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct notify_call {
    std::string what;  // "broadcast", "friend+" or "friend-"
    int action;        // broadcast action bits
    int32_t userid;
    std::string nick;  // friend+ only
};

// Every call since the last clear, in order.
extern std::vector<notify_call> notify_calls;
void notify_clear();
