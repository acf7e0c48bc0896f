// One input is one friends file: loaded, saved, and loaded again to the same set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

#include "settings/util.h"
#include "tests/fuzz/fuzz_file.h"
#include "tests/support/notify_fake.h"

namespace {

std::map<vel_list_key, std::string> friends_now()
{
    std::map<vel_list_key, std::string> out;
    if (!friends_list)
        return out;
    const vel_list_node *n = friends_list;
    do {
        out[n->key] = static_cast<const char *>(n->data);
        n = n->next;
    } while (n != friends_list);
    return out;
}

std::string save_path()
{
    return "/tmp/lvfuzz-friends-" + std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_file file = fuzz_open(data, size);
    if (!file)
        return 0;
    friends_read(file.get());
    file.reset();

    // What was loaded must survive a save and a load, unless a name holds a line break
    // (saving cuts it there) or a NUL (the line reader stops there).
    auto loaded = friends_now();
    bool plain = true;
    for (const auto &entry : loaded)
        plain = plain && entry.second.find_first_of("\r\n") == std::string::npos;
    std::string path = save_path();
    if (plain && !std::memchr(data, 0, size) && save_friends(path.c_str())) {
        util_free_lists();
        if (!load_friends(path.c_str()) || friends_now() != loaded)
            std::abort();
    }
    std::remove(path.c_str());
    util_free_lists();
    notify_clear();
    return 0;
}
