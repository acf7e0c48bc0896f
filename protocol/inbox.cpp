// The inbox: how what the client's own threads receive and raise reaches the thread that
// runs the application's callbacks. With a dispatch hook set, the reader queues every
// packet it frames (its type and a copy of its payload) and every event and failure it
// raises, in order; the keep-alive and login threads queue their failures the same way.
// LVC_Drain delivers them on its caller's thread, decoding the packets there. The hook is
// called once when the inbox goes from empty to non-empty; a full inbox stops the reader
// until the drain has taken it below half, so the server is held back by TCP and memory
// stays bounded. Without a hook everything runs where it is raised.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>

#include "protocol/internal.h"

namespace {

enum : uint8_t { ITEM_PACKET, ITEM_PACKET_EVENT, ITEM_EVENT, ITEM_FAILURE };

constexpr size_t ITEM_RECORD_MAX = 16;

// One queued packet or callback. The record is a copy: the raiser's is gone by the time
// the item is delivered.
struct lvc_item {
    uint8_t kind;
    bool has_record;
    bool resumed;     // a packet paused before: offset and length are what is left of it
    int32_t code;     // the packet's type, or the callback's code
    uint32_t offset;  // a packet's payload in its batch's bytes
    uint32_t length;
    alignas(8) unsigned char record[ITEM_RECORD_MAX];
};

// The records the client's own threads raise, by callback and code; 0 for none. Every
// other record belongs to packet decoding, which never runs on those threads while a hook
// is set.
size_t item_record_size(uint8_t kind, int code)
{
    if (kind == ITEM_EVENT) {
        switch (code) {
        case LVC_EV_CONNECTED: return sizeof(LVC_EvConnected);
        case LVC_EV_PROGRESS: return sizeof(LVC_EvProgress);
        case LVC_EV_WSA_STARTING: return sizeof(LVC_EvVersion);
        default: return 0;
        }
    }
    if (kind == ITEM_FAILURE) {
        switch (code) {
        case LVC_ERR_WSASTARTUP: return sizeof(LVC_ErrStartup);
        case LVC_ERR_SHUTDOWN:
        case LVC_ERR_CLOSESOCKET: return sizeof(LVC_ErrResult);
        case LVC_ERR_HEADER: return sizeof(LVC_ErrHeader);
        case LVC_ERR_NICK_MISSING: return sizeof(LVC_ErrUser);
        default: return 0;
        }
    }
    return 0;
}

static_assert(sizeof(LVC_EvConnected) <= ITEM_RECORD_MAX && sizeof(LVC_EvProgress) <= ITEM_RECORD_MAX &&
              sizeof(LVC_ErrStartup) <= ITEM_RECORD_MAX && sizeof(LVC_ErrHeader) <= ITEM_RECORD_MAX);

// The undelivered progress item of one packet type (-1: headers) in a batch. A newer
// progress of that type overwrites it: a flood queues no progress per line, while a room
// list's last progress is never lost to the header of the packet after it.
struct lvc_progress_slot {
    int32_t type;
    uint32_t index;
};

struct lvc_batch {
    std::vector<lvc_item> items;
    std::vector<uint8_t> bytes;
    std::vector<lvc_progress_slot> progress;
    size_t next = 0;  // the next item to deliver
    int users = 0;    // deliveries from this batch still running (a drain inside a callback)
};

struct lvc_drained {
    size_t bytes = 0;
    size_t items = 0;
};

struct lvc_inbox {
    std::mutex m;
    std::condition_variable room;  // a reader waiting for the inbox to empty below half
    // Under m: the batch the producers append to, emptied batches kept for reuse, what is
    // queued and not yet delivered, and the limits.
    lvc_batch *filling = nullptr;
    std::vector<lvc_batch *> spare;
    size_t bytes = 0;
    size_t items = 0;
    size_t max_bytes = LVC_INBOX_MAX_BYTES;
    size_t max_items = LVC_INBOX_MAX_ITEMS;
    bool armed = true;  // the next item calls the hook: the drain found the inbox empty
    bool reader_waiting = false;
    // The draining thread's own: batches taken from the producers, oldest first, and a
    // paused packet, delivered before them (its batch counts it as a user).
    std::deque<lvc_batch *> ready;
    lvc_batch *paused_from = nullptr;
    lvc_item paused{};
};

// Never destroyed: a reader given up at exit may still be on its way out.
lvc_inbox &inbox = *new lvc_inbox;

thread_local bool tl_queues = false;
thread_local bool tl_holding = false;  // this thread holds inbox.m (lvc_inbox_hold)
thread_local int tl_draining = 0;      // deliveries of LVC_Drain running on this thread
// The drain's end, which a long packet of the outermost drain may pause at, and what the
// packet being delivered learns and tells about pausing.
thread_local std::chrono::steady_clock::time_point tl_pause_at;
thread_local bool tl_resumed = false;
thread_local bool tl_paused = false;

// What a delivery raises (the callbacks of a packet being decoded) runs at once, on
// whichever thread drains.
bool inbox_queued()
{
    return tl_queues && tl_draining == 0 && lvc.hook.load() != nullptr;
}

LVC_Callback inbox_callback(uint8_t kind)
{
    switch (kind) {
    case ITEM_PACKET_EVENT: return lvc.packet_cb;
    case ITEM_EVENT: return lvc.event_cb;
    default: return lvc.exception_cb;
    }
}

bool inbox_full_locked()
{
    return inbox.bytes >= inbox.max_bytes || inbox.items >= inbox.max_items;
}

bool inbox_below_half_locked()
{
    return inbox.bytes <= inbox.max_bytes / 2 && inbox.items <= inbox.max_items / 2;
}

lvc_batch *inbox_filling_locked()
{
    if (!inbox.filling) {
        if (inbox.spare.empty()) {
            inbox.filling = new lvc_batch;
        } else {
            inbox.filling = inbox.spare.back();
            inbox.spare.pop_back();
        }
    }
    return inbox.filling;
}

void inbox_recycle_locked(lvc_batch *b)
{
    b->items.clear();
    b->bytes.clear();
    b->progress.clear();
    b->next = 0;
    // One batch fills while another drains: a single spare serves them, and a burst's
    // third buffer goes. A room list of many megabytes leaves a large buffer behind: it
    // goes with its batch.
    if (!inbox.spare.empty() || b->bytes.capacity() > inbox.max_bytes) {
        delete b;
        return;
    }
    inbox.spare.push_back(b);
}

void inbox_append_locked(uint8_t kind, int32_t code, const void *record, const uint8_t *payload, uint32_t length)
{
    lvc_batch *b = inbox_filling_locked();
    lvc_item item{kind, false, false, code, 0, 0, {}};
    if (record) {
        if (size_t n = item_record_size(kind, code)) {
            std::memcpy(item.record, record, n);
            item.has_record = true;
        }
    }
    if (kind == ITEM_EVENT && code == LVC_EV_PROGRESS && item.has_record) {
        const auto *p = static_cast<const LVC_EvProgress *>(record);
        for (const lvc_progress_slot &slot : b->progress) {
            if (slot.type == p->type) {
                std::memcpy(b->items[slot.index].record, p, sizeof *p);
                return;
            }
        }
        b->progress.push_back({p->type, uint32_t(b->items.size())});
    }
    if (kind == ITEM_PACKET) {
        item.offset = uint32_t(b->bytes.size());
        item.length = length;
        b->bytes.insert(b->bytes.end(), payload, payload + length);
        inbox.bytes += length;
    }
    b->items.push_back(item);
    inbox.items++;
}

// 1 when the caller is to call the hook: the inbox went from empty to non-empty.
bool inbox_disarm_locked()
{
    if (!inbox.armed || inbox.items == 0)
        return false;
    inbox.armed = false;
    return true;
}

void inbox_wake()
{
    if (LVC_DispatchHook hook = lvc.hook.load())
        hook();
}

void inbox_put(uint8_t kind, int32_t code, const void *record, const uint8_t *payload, uint32_t length)
{
    if (tl_holding) {
        inbox_append_locked(kind, code, record, payload, length);
        return;
    }
    bool wake;
    {
        std::lock_guard lock(inbox.m);
        inbox_append_locked(kind, code, record, payload, length);
        wake = inbox_disarm_locked();
    }
    if (wake)
        inbox_wake();
}

void inbox_raise(uint8_t kind, int code, void *record)
{
    if (inbox_queued()) {
        inbox_put(kind, code, record, nullptr, 0);
        return;
    }
    if (LVC_Callback cb = inbox_callback(kind))
        cb(code, record);
}

void inbox_release_locked(lvc_drained *done)
{
    inbox.bytes -= std::min(inbox.bytes, done->bytes);
    inbox.items -= std::min(inbox.items, done->items);
    *done = {};
    if (inbox.reader_waiting && inbox_below_half_locked())
        inbox.room.notify_all();
}

// The next item to deliver, oldest first; false when the inbox is empty, which re-arms the
// hook. Batches are taken from the producers whole, so the lock is taken once per batch.
bool inbox_next(lvc_batch **from, lvc_item *item, lvc_drained *done)
{
    if (inbox.paused_from) {
        *from = inbox.paused_from;
        *item = inbox.paused;
        inbox.paused_from->users--;
        inbox.paused_from = nullptr;
        return true;
    }
    for (;;) {
        for (lvc_batch *b : inbox.ready) {
            if (b->next < b->items.size()) {
                *from = b;
                *item = b->items[b->next++];
                return true;
            }
        }
        std::lock_guard lock(inbox.m);
        inbox_release_locked(done);
        // Every taken batch is delivered; one still in use by an outer delivery stays until
        // that delivery has returned.
        for (auto it = inbox.ready.begin(); it != inbox.ready.end();) {
            if ((*it)->users == 0) {
                inbox_recycle_locked(*it);
                it = inbox.ready.erase(it);
            } else {
                ++it;
            }
        }
        if (!inbox.filling || inbox.filling->items.empty()) {
            inbox.armed = true;
            return false;
        }
        inbox.ready.push_back(inbox.filling);
        inbox.filling = nullptr;
    }
}

// Delivers an item: false when it is a packet that paused, with the item made what is
// left of it and *taken the bytes read.
bool inbox_deliver(const lvc_batch *b, lvc_item *item, uint32_t *taken)
{
    if (item->kind == ITEM_PACKET) {
        const bool outer_resumed = tl_resumed;
        tl_resumed = item->resumed;
        tl_paused = false;
        *taken = lvc_dispatch_packet(item->code, b->bytes.data() + item->offset, item->length);
        tl_resumed = outer_resumed;
        const bool paused = tl_paused && *taken > 0 && *taken < item->length;
        tl_paused = false;
        if (!paused)
            return true;
        item->offset += *taken;
        item->length -= *taken;
        item->resumed = true;
        return false;
    }
    if (LVC_Callback cb = inbox_callback(item->kind))
        cb(item->code, item->has_record ? item->record : nullptr);
    return true;
}

}  // namespace

void lvc_packet_event(int code, void *record)
{
    inbox_raise(ITEM_PACKET_EVENT, code, record);
}

void lvc_connection_event(int code, void *record)
{
    inbox_raise(ITEM_EVENT, code, record);
}

void lvc_failure(int code, void *record)
{
    inbox_raise(ITEM_FAILURE, code, record);
}

bool lvc_packet_pause()
{
    // Only the outermost drain's own packet pauses: one delivered by a drain inside a
    // callback would come back after packets its caller has not finished.
    if (tl_draining != 1 || std::chrono::steady_clock::now() < tl_pause_at)
        return false;
    tl_paused = true;
    return true;
}

bool lvc_packet_resumed()
{
    return tl_resumed;
}

void lvc_thread_queues()
{
    tl_queues = true;
}

void lvc_packet_arrived(int32_t type, const uint8_t *payload, uint32_t length)
{
    if (inbox_queued())
        inbox_put(ITEM_PACKET, type, nullptr, payload, length);
    else
        lvc_dispatch_packet(type, payload, length);
}

lvc_inbox_hold::lvc_inbox_hold() : held(inbox_queued() && !tl_holding)
{
    if (!held)
        return;
    inbox.m.lock();
    tl_holding = true;
}

lvc_inbox_hold::~lvc_inbox_hold()
{
    if (!held)
        return;
    tl_holding = false;
    const bool wake = inbox_disarm_locked();
    inbox.m.unlock();
    if (wake)
        inbox_wake();
}

int lvc_inbox_wait_room()
{
    if (!inbox_queued())
        return !lvc_reader_stopping();
    std::unique_lock lock(inbox.m);
    if (inbox_full_locked()) {
        inbox.reader_waiting = true;
        inbox.room.wait(lock, [] { return inbox_below_half_locked() || lvc_reader_stopping(); });
        inbox.reader_waiting = false;
    }
    return !lvc_reader_stopping();
}

void lvc_inbox_wake_reader()
{
    // Taken and released so that a reader between its look at the flags and its wait
    // cannot miss the notification.
    { std::lock_guard lock(inbox.m); }
    inbox.room.notify_all();
}

void lvc_inbox_clear()
{
    std::lock_guard lock(inbox.m);
    // Taken batches may still be in use by a delivery further up this thread's stack:
    // they are marked delivered and go at the next drain.
    for (lvc_batch *b : inbox.ready)
        b->next = b->items.size();
    if (inbox.paused_from) {
        inbox.paused_from->users--;
        inbox.paused_from = nullptr;
    }
    if (inbox.filling) {
        inbox_recycle_locked(inbox.filling);
        inbox.filling = nullptr;
    }
    inbox.bytes = 0;
    inbox.items = 0;
    inbox.armed = true;
    inbox.room.notify_all();
}

void lvc_inbox_set_limits(size_t bytes, size_t items)
{
    std::lock_guard lock(inbox.m);
    inbox.max_bytes = bytes;
    inbox.max_items = items;
    inbox.room.notify_all();
}

lvc_inbox_state lvc_inbox_get_state()
{
    std::lock_guard lock(inbox.m);
    return {inbox.bytes, inbox.items, inbox.reader_waiting};
}

void LVC_SetDispatchHook(LVC_DispatchHook wake)
{
    lvc.hook = wake;
}

int LVC_Drain(int budget_ms)
{
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(budget_ms);
    lvc_drained done;
    for (unsigned n = 1;; n++) {
        lvc_batch *b;
        lvc_item item;
        if (!inbox_next(&b, &item, &done))
            return 0;
        b->users++;
        const clock::time_point outer_pause_at = tl_pause_at;
        tl_pause_at = deadline;
        tl_draining++;
        uint32_t taken = 0;
        const bool whole = inbox_deliver(b, &item, &taken);
        tl_draining--;
        tl_pause_at = outer_pause_at;
        if (!whole) {
            // The rest of the packet comes first at the next drain; its batch stays.
            inbox.paused_from = b;
            inbox.paused = item;
            done.bytes += taken;
            break;
        }
        b->users--;
        done.items++;
        if (item.kind == ITEM_PACKET)
            done.bytes += item.length;
        // The clock is read once every 16 items: a room line costs little more than that.
        if (n % 16 == 0 && clock::now() >= deadline)
            break;
    }
    std::lock_guard lock(inbox.m);
    inbox_release_locked(&done);
    return 1;
}
