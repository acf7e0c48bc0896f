// The ignore and friends lists and the friends file.
#include "settings/util.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "settings/notify.h"

vel_list_node *ignore_list;
vel_list_node *friends_list;

namespace {

constexpr size_t friends_line_size = 1024;

using file_ptr = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

void *util_member()
{
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(1));
}

char *util_copy(const char *text)
{
    size_t n = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(std::malloc(n));
    if (copy)
        std::memcpy(copy, text, n);
    return copy;
}

vel_list_key util_key(int32_t id)
{
    return static_cast<vel_list_key>(static_cast<uint32_t>(id));
}

// The leading decimal number like atoi, clamped to the 32-bit range.
int32_t util_read_id(const char *text)
{
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

void friends_read_line(char *line)
{
    char *blank = std::strchr(line, ' ');
    if (!blank)
        return;
    char *end = std::strchr(blank, '\n');
    if (end) {
        // CR LF files read the same on every build, not only where text mode folds them.
        if (end > blank + 1 && end[-1] == '\r')
            end--;
        *end = 0;
    }
    *blank = 0;
    int32_t id = util_read_id(line);
    if (id > 0)
        friend_user(id, 1, blank + 1);
}

}  // namespace

void ignore_user(int32_t id, int on)
{
    if (on == 1 && !is_user_ignored(id))
        vel_list_add(&ignore_list, util_key(id), util_member());
    else if (on == 0 && is_user_ignored(id))
        vel_list_del(&ignore_list, util_key(id));
    else
        return;
    chatwnd_broadcast_msg(CHATWND_BROADCAST_REDRAW_USER, nullptr, 0, id);
}

int is_user_ignored(int32_t id)
{
    return vel_list_get(ignore_list, util_key(id)) ? 1 : 0;
}

void friend_user(int32_t id, int on, const char *name)
{
    if (!name)
        name = "";
    if (on == 1 && !is_user_friend(id)) {
        char *copy = util_copy(name);
        if (!copy)
            return;
        vel_list_add(&friends_list, util_key(id), copy);
        chatwnd_broadcast_msg(CHATWND_BROADCAST_REDRAW_USER, nullptr, 0, id);
        friendlist_add(id, copy);
    } else if (on == 0 && is_user_friend(id)) {
        std::free(vel_list_del(&friends_list, util_key(id)));
        chatwnd_broadcast_msg(CHATWND_BROADCAST_REDRAW_USER, nullptr, 0, id);
        friendlist_del(id);
    }
}

int is_user_friend(int32_t id)
{
    return vel_list_get_node(friends_list, util_key(id)) ? 1 : 0;
}

void friends_read(std::FILE *file)
{
    char line[friends_line_size];
    while (std::fgets(line, sizeof line, file))
        friends_read_line(line);
}

int load_friends(const char *path)
{
    file_ptr file(std::fopen(path, "r"), std::fclose);
    if (!file)
        return 0;
    friends_read(file.get());
    return 1;
}

int save_friends(const char *path)
{
    std::string fresh = std::string(path) + ".new";
    std::FILE *out = std::fopen(fresh.c_str(), "w");
    if (!out)
        return 0;
    bool ok = true;
    if (friends_list) {
        const vel_list_node *node = friends_list;
        do {
            // A name never spans lines: the file would read back as two friends.
            std::string_view name(static_cast<const char *>(node->data));
            name = name.substr(0, name.find_first_of("\r\n"));
            int id = static_cast<int>(static_cast<uint32_t>(node->key));
            if (std::fprintf(out, "%d ", id) < 0 || std::fwrite(name.data(), 1, name.size(), out) != name.size() ||
                std::fputc('\n', out) == EOF)
                ok = false;
            node = node->next;
        } while (ok && node != friends_list);
    }
    if (std::fflush(out) != 0 || std::ferror(out))
        ok = false;
    if (std::fclose(out) != 0)
        ok = false;
    std::error_code ec;
    if (ok)
        std::filesystem::rename(fresh, path, ec);
    if (!ok || ec) {
        std::remove(fresh.c_str());
        return 0;
    }
    return 1;
}

void util_free_lists()
{
    while (ignore_list)
        vel_list_del(&ignore_list, ignore_list->key);
    while (friends_list)
        std::free(vel_list_del(&friends_list, friends_list->key));
}
