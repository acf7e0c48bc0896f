// The decoding of every server packet. One input is a stream of packets, each a type
// byte (taken modulo 26: 25 stands for the types without a handler), a 16-bit length and
// that many payload bytes. Every record the handlers raise is read in full during its
// callback; rooms that a "window" holds are let go at the end, so leaks show.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/internal.h"

namespace {

std::vector<Room *> held_rooms;

void touch(const char *s)
{
    if (s)
        (void)std::strlen(s);
}

void touch(const Room *r)
{
    if (!r)
        return;
    touch(r->name);
    touch(r->theme);
}

void touch(const User *u)
{
    if (!u)
        return;
    (void)std::strlen(u->nick);
    touch(u->room);
}

void touch(const LVC_Host *h)
{
    if (h)
        touch(h->text);
}

int on_packet(int code, void *rec)
{
    switch (code) {
    case 2: case 6: case 8: case 19: case 21: {
        Room *r = static_cast<LVC_EvRoom *>(rec)->room;
        touch(r);
        // Every room with an odd id gets a window, which keeps its record alive.
        if (code == 2 && r && (r->id & 1) && !r->chatwnd) {
            r->chatwnd = r;
            held_rooms.push_back(r);
        }
        break;
    }
    case 7: touch(static_cast<LVC_EvRoom *>(rec)->room); break;
    case 9: touch(static_cast<LVC_EvRoomState *>(rec)->room); break;
    case 15: touch(static_cast<LVC_EvLoggedIn *>(rec)->nick); break;
    case 16: {
        auto *e = static_cast<LVC_EvPopup *>(rec);
        touch(e->title);
        touch(e->text);
        break;
    }
    case 17: {
        auto *e = static_cast<LVC_EvEnter *>(rec);
        touch(e->room);
        touch(e->text1);
        touch(e->text2);
        break;
    }
    case 18: touch(static_cast<LVC_EvLeave *>(rec)->room); break;
    case 20: touch(static_cast<LVC_EvUser *>(rec)->user); break;
    case 23: case 24: case 26: case 27: case 28: {
        auto *e = static_cast<LVC_EvUserHost *>(rec);
        touch(e->room);
        touch(e->user);
        touch(e->host);
        break;
    }
    case 25: touch(static_cast<LVC_EvUserPerms *>(rec)->user); break;
    case 29: case 30: {
        auto *e = static_cast<LVC_EvUserBy *>(rec);
        touch(e->user);
        touch(e->other);
        touch(e->host);
        break;
    }
    case 31: case 32: {
        auto *e = static_cast<LVC_EvUserText *>(rec);
        touch(e->user);
        touch(e->text);
        touch(e->host);
        break;
    }
    case 33: {
        auto *e = static_cast<LVC_EvMessage *>(rec);
        touch(e->room);
        touch(e->user);
        touch(e->nick);
        touch(e->prefix);
        touch(e->suffix);
        touch(e->text);
        break;
    }
    case 34: case 35: {
        auto *e = static_cast<LVC_EvPrivate *>(rec);
        touch(e->nick);
        touch(e->text);
        break;
    }
    case 36: touch(static_cast<LVC_EvNick *>(rec)->nick); break;
    default: break;
    }
    return 0;
}

int on_other(int, void *)
{
    return 0;
}

void reset()
{
    // Rooms still listed are freed with the directory; the others by their "window".
    for (Room *r : held_rooms) {
        if (LVC_GetRoom(r->id) == r)
            r->chatwnd = nullptr;
    }
    for (Room *r : held_rooms) {
        if (r->chatwnd)
            LVC_FreeUnlinkedRoom(r);
    }
    held_rooms.clear();
    LVC_FreeRoomlist();
    nickcache_free();
    lvc.sent = strlist_free(lvc.sent);
    lvc.held = strlist_free(lvc.held);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    lvc.packet_cb = on_packet;
    lvc.event_cb = on_other;
    lvc.exception_cb = on_other;
    lvc.connected = 0;  // requests the handlers make are dropped
    lvc.ownid = 7;
    lvc.sent = strlist_add(lvc.sent, "elso", 3, 9, 0);
    lvc.sent = strlist_add(lvc.sent, "masodik", 2, 7, 0);
    nickcache_add(9, "bob");

    size_t at = 0;
    while (size - at >= 3) {
        int32_t type = data[at] % 26;
        size_t n = size_t(data[at + 1]) << 8 | data[at + 2];
        at += 3;
        if (n > size - at)
            n = size - at;
        // An exact-size copy, so that any read past the payload is caught.
        std::vector<uint8_t> payload(data + at, data + at + n);
        lvc_dispatch_packet(type, payload.data(), uint32_t(n));
        at += n;
    }
    reset();
    return 0;
}
