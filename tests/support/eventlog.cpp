#include "tests/support/eventlog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "protocol/internal.h"

namespace {

std::mutex lock;
std::condition_variable changed;
std::vector<std::string> lines;
std::atomic<bool> keep_progress{false};
std::atomic<int> react_code{0};
std::atomic<void (*)(void *)> react_fn{nullptr};

std::string str(const char *s)
{
    return s ? "\"" + std::string(s) + "\"" : "null";
}

std::string room(const Room *r)
{
    return r ? "r" + std::to_string(r->id) : "-";
}

std::string user(const User *u)
{
    return u ? "u" + std::to_string(u->id) : "-";
}

std::string host(const LVC_Host *h)
{
    return h ? " host=" + std::to_string(h->value) + ":" + str(h->text) : " host=-";
}

// Whether the record named by a removal event is still in the directory while the event
// runs: receivers rely on reading it.
std::string listed(const Room *r, const User *u)
{
    if (!r || !u)
        return "";
    return LVC_GetUser(r->id, u->id) == u ? " listed" : " unlisted";
}

std::string describe_packet(int code, void *rec)
{
    std::string s = "P" + std::to_string(code);
    switch (code) {
    case 2: case 6: case 8: case 19: case 21:
        return s + " " + room(static_cast<LVC_EvRoom *>(rec)->room);
    case 7: {
        const Room *r = static_cast<LVC_EvRoom *>(rec)->room;
        return s + " " + room(r) + (r && LVC_GetRoom(r->id) == r ? " listed" : " unlisted");
    }
    case 9: {
        auto *e = static_cast<LVC_EvRoomState *>(rec);
        return s + " sub=" + std::to_string(e->subtype) + " " + room(e->room) + " prev=" +
               std::to_string(e->prevstates);
    }
    case 11:
        return s + " type=" + std::to_string(static_cast<LVC_EvLoginType *>(rec)->type);
    case 15: {
        auto *e = static_cast<LVC_EvLoggedIn *>(rec);
        return s + " " + str(e->nick) + " id=" + std::to_string(e->id) + " a=" + std::to_string(e->a) +
               " b=" + std::to_string(e->b);
    }
    case 16: {
        auto *e = static_cast<LVC_EvPopup *>(rec);
        return s + " icon=" + std::to_string(e->icon) + " " + str(e->title) + " " + str(e->text);
    }
    case 17: {
        auto *e = static_cast<LVC_EvEnter *>(rec);
        return s + " id=" + std::to_string(e->roomid) + " " + room(e->room) + " v=" + std::to_string(e->value) +
               " " + str(e->text1) + " " + str(e->text2);
    }
    case 18: {
        auto *e = static_cast<LVC_EvLeave *>(rec);
        return s + " id=" + std::to_string(e->roomid) + " " + room(e->room);
    }
    case 20: {
        auto *e = static_cast<LVC_EvUser *>(rec);
        return s + " " + room(e->room) + " " + user(e->user) + (e->user ? " " + str(e->user->nick) : "");
    }
    case 23: case 24: case 26: case 27: case 28: {
        auto *e = static_cast<LVC_EvUserHost *>(rec);
        return s + " " + room(e->room) + " " + user(e->user) + host(e->host) + listed(e->room, e->user);
    }
    case 25: {
        auto *e = static_cast<LVC_EvUserPerms *>(rec);
        return s + " " + room(e->room) + " " + user(e->user) + " prev=" + std::to_string(e->prevperms) +
               " now=" + std::to_string(e->user->perms);
    }
    case 29: case 30: {
        auto *e = static_cast<LVC_EvUserBy *>(rec);
        return s + " " + room(e->room) + " " + user(e->user) + " by " + user(e->other) + host(e->host) +
               listed(e->room, e->user);
    }
    case 31: case 32: {
        auto *e = static_cast<LVC_EvUserText *>(rec);
        return s + " " + room(e->room) + " " + user(e->user) + " " + str(e->text) + host(e->host) +
               listed(e->room, e->user);
    }
    case 33: {
        auto *e = static_cast<LVC_EvMessage *>(rec);
        return s + " " + room(e->room) + " kind=" + std::to_string(e->kind) + " " + user(e->user) + " " +
               str(e->nick) + " " + str(e->prefix) + " " + str(e->suffix) + " " + str(e->text);
    }
    case 34: case 35: {
        auto *e = static_cast<LVC_EvPrivate *>(rec);
        return s + " kind=" + std::to_string(e->kind) + " id=" + std::to_string(e->userid) + " " + str(e->nick) +
               " " + str(e->text);
    }
    case 36: {
        auto *e = static_cast<LVC_EvNick *>(rec);
        return s + " id=" + std::to_string(e->userid) + " " + str(e->nick);
    }
    default:
        return rec ? s + " ?" : s;
    }
}

void add(std::string line)
{
    std::lock_guard<std::mutex> g(lock);
    lines.push_back(std::move(line));
    changed.notify_all();
}

}  // namespace

int eventlog_packet(int code, void *record)
{
    add(describe_packet(code, record));
    if (code == react_code && react_fn)
        react_fn.load()(record);
    return 0;
}

void eventlog_react(int code, void (*react)(void *record))
{
    react_fn = react;
    react_code = code;
}

int eventlog_event(int code, void *record)
{
    if (code == LVC_EV_PROGRESS) {
        if (!keep_progress)
            return 0;
        auto *e = static_cast<LVC_EvProgress *>(record);
        add("E8 " + std::to_string(e->received) + "/" + std::to_string(e->wanted) + " type=" +
            std::to_string(e->type));
        return 0;
    }
    add("E" + std::to_string(code));
    return 0;
}

int eventlog_exception(int code, void *record)
{
    if (code == LVC_ERR_NICK_MISSING) {
        add("X13 id=" + std::to_string(static_cast<LVC_ErrUser *>(record)->userid));
        return 0;
    }
    add("X" + std::to_string(code));
    return 0;
}

void eventlog_install()
{
    lvc.packet_cb = eventlog_packet;
    lvc.event_cb = eventlog_event;
    lvc.exception_cb = eventlog_exception;
    eventlog_take();
}

void eventlog_keep_progress(bool keep)
{
    keep_progress = keep;
}

std::vector<std::string> eventlog_take()
{
    std::lock_guard<std::mutex> g(lock);
    std::vector<std::string> out;
    out.swap(lines);
    return out;
}

int eventlog_wait(const std::string &prefix, int timeout_ms)
{
    std::unique_lock<std::mutex> g(lock);
    return changed.wait_for(g, std::chrono::milliseconds(timeout_ms), [&] {
        for (const auto &l : lines)
            if (l.compare(0, prefix.size(), prefix) == 0 && (l.size() == prefix.size() || l[prefix.size()] == ' '))
                return true;
        return false;
    });
}
