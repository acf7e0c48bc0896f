#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/cli.h"
#include "protocol/lvc6b.h"

namespace {

std::mutex out_lock;
std::condition_variable closed_cv;
bool closed_seen;

}  // namespace

std::string cli_quote(const char *s)
{
    if (!s)
        return "null";
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; p++) {
        switch (*p) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (*p < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", *p);
                out += esc;
            } else {
                out += char(*p);
            }
        }
    }
    return out + "\"";
}

namespace {

std::string quote(const char *s) { return cli_quote(s); }

// A line under construction: "kind CODE name=value ...".
struct line_builder {
    std::string text;
    line_builder(const char *kind, int code) : text(std::string(kind) + " " + std::to_string(code)) {}
    line_builder &num(const char *name, long long v)
    {
        text += std::string(" ") + name + "=" + std::to_string(v);
        return *this;
    }
    line_builder &str(const char *name, const char *s)
    {
        text += std::string(" ") + name + "=" + quote(s);
        return *this;
    }
    line_builder &room(const Room *r) { return r ? num("room", r->id) : raw("room", "null"); }
    line_builder &user(const char *name, const User *u) { return u ? num(name, u->id) : raw(name, "null"); }
    line_builder &host(const LVC_Host *h)
    {
        if (!h)
            return raw("host", "null");
        return raw("host", "{\"value\":" + std::to_string(h->value) + ",\"text\":" + quote(h->text) + "}");
    }
    line_builder &raw(const char *name, const std::string &v)
    {
        text += std::string(" ") + name + "=" + v;
        return *this;
    }
};

void print_packet(line_builder &b, int code, void *rec)
{
    switch (code) {
    case 2: case 6: case 7: case 8: case 19: case 21:
        b.room(static_cast<LVC_EvRoom *>(rec)->room);
        break;
    case 9: {
        auto *r = static_cast<LVC_EvRoomState *>(rec);
        b.num("subtype", r->subtype).room(r->room).num("prevstates", r->prevstates);
        break;
    }
    case 11:
        b.num("type", static_cast<LVC_EvLoginType *>(rec)->type);
        break;
    case 15: {
        auto *r = static_cast<LVC_EvLoggedIn *>(rec);
        b.str("nick", r->nick).num("id", r->id).num("a", r->a).num("b", r->b);
        break;
    }
    case 16: {
        auto *r = static_cast<LVC_EvPopup *>(rec);
        b.num("icon", r->icon).str("title", r->title).str("text", r->text);
        break;
    }
    case 17: {
        auto *r = static_cast<LVC_EvEnter *>(rec);
        b.num("roomid", r->roomid).room(r->room).num("value", r->value).str("text1", r->text1).str("text2", r->text2);
        break;
    }
    case 18: {
        auto *r = static_cast<LVC_EvLeave *>(rec);
        b.num("roomid", r->roomid).room(r->room);
        break;
    }
    case 20: {
        auto *r = static_cast<LVC_EvUser *>(rec);
        b.room(r->room).user("user", r->user);
        break;
    }
    case 23: case 24: case 26: case 27: case 28: {
        auto *r = static_cast<LVC_EvUserHost *>(rec);
        b.room(r->room).user("user", r->user).host(r->host);
        break;
    }
    case 25: {
        auto *r = static_cast<LVC_EvUserPerms *>(rec);
        b.room(r->room).user("user", r->user).num("prevperms", r->prevperms);
        break;
    }
    case 29: case 30: {
        auto *r = static_cast<LVC_EvUserBy *>(rec);
        b.room(r->room).user("user", r->user).user("other", r->other).host(r->host);
        break;
    }
    case 31: case 32: {
        auto *r = static_cast<LVC_EvUserText *>(rec);
        b.room(r->room).user("user", r->user).str("text", r->text).host(r->host);
        break;
    }
    case 33: {
        auto *r = static_cast<LVC_EvMessage *>(rec);
        b.room(r->room).num("kind", r->kind).user("user", r->user).str("nick", r->nick)
            .str("prefix", r->prefix).str("suffix", r->suffix).str("text", r->text);
        break;
    }
    case 34: case 35: {
        auto *r = static_cast<LVC_EvPrivate *>(rec);
        b.num("kind", r->kind).num("userid", r->userid).str("nick", r->nick).str("text", r->text);
        break;
    }
    case 36: {
        auto *r = static_cast<LVC_EvNick *>(rec);
        b.num("userid", r->userid).str("nick", r->nick);
        break;
    }
    default:
        break;  // codes 1, 3, 12, 13, 14, 37 carry no record
    }
}

}  // namespace

void cli_status(const std::string &text)
{
    cli_print("status " + cli_quote(text.c_str()));
}

void cli_print(const std::string &line)
{
    std::lock_guard<std::mutex> guard(out_lock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int cli_packet(int code, void *record)
{
    line_builder b("packet", code);
    if (record)
        print_packet(b, code, record);
    cli_print(b.text);
    return 0;
}

int cli_event(int code, void *record)
{
    line_builder b("event", code);
    if (code == LVC_EV_CONNECTED && record) {
        auto *r = static_cast<LVC_EvConnected *>(record);
        const unsigned char *a = reinterpret_cast<const unsigned char *>(&r->addr);
        char dotted[16];
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
        b.str("addr", dotted).num("port", r->port).num("socket", r->socket);
        std::lock_guard<std::mutex> guard(out_lock);
        closed_seen = false;
    } else if (code == LVC_EV_PROGRESS && record) {
        auto *r = static_cast<LVC_EvProgress *>(record);
        b.num("received", r->received).num("wanted", r->wanted).num("type", r->type);
    } else if (code == LVC_EV_WSA_STARTING && record) {
        b.num("version", static_cast<LVC_EvVersion *>(record)->version);
    }
    cli_print(b.text);
    if (code == LVC_EV_CLOSED) {
        std::lock_guard<std::mutex> guard(out_lock);
        closed_seen = true;
        closed_cv.notify_all();
    }
    return 0;
}

int cli_exception(int code, void *record)
{
    line_builder b("exception", code);
    if (record) {
        switch (code) {
        case LVC_ERR_WSASTARTUP: {
            auto *r = static_cast<LVC_ErrStartup *>(record);
            b.num("version", r->version).num("error", r->error);
            break;
        }
        case LVC_ERR_SHUTDOWN: case LVC_ERR_CLOSESOCKET:
            b.num("result", static_cast<LVC_ErrResult *>(record)->result);
            break;
        case LVC_ERR_HEADER: {
            auto *r = static_cast<LVC_ErrHeader *>(record);
            b.num("w0", r->words[0]).num("w1", r->words[1]).num("w2", r->words[2]).num("w3", r->words[3]);
            break;
        }
        case LVC_ERR_NICK_MISSING:
            b.num("userid", static_cast<LVC_ErrUser *>(record)->userid);
            break;
        default:
            break;  // failure 2 passes the socket library's own record
        }
    }
    cli_print(b.text);
    return 0;
}

int cli_wait_closed(int ms)
{
    std::unique_lock<std::mutex> guard(out_lock);
    return closed_cv.wait_for(guard, std::chrono::milliseconds(ms), [] { return closed_seen; }) ? 1 : 0;
}
