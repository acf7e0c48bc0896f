#include "tests/support/lvcrecorder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "protocol/lvc6b.h"

namespace {

std::mutex rec_lock;
std::condition_variable rec_changed;
std::vector<lvcrec_entry> rec_entries;
std::function<void(int, void *)> rec_observer;

// The numeric fields of the records that hold nothing but numbers.
std::vector<int64_t> rec_fields(lvcrec_source source, int code, const void *record)
{
    if (!record)
        return {};
    if (source == LVCREC_EVENT) {
        switch (code) {
        case LVC_EV_CONNECTED: {
            auto *r = static_cast<const LVC_EvConnected *>(record);
            return {int64_t(r->addr), r->port, int64_t(r->socket)};
        }
        case LVC_EV_PROGRESS: {
            auto *r = static_cast<const LVC_EvProgress *>(record);
            return {r->received, r->wanted, r->type};
        }
        case LVC_EV_WSA_STARTING:
            return {static_cast<const LVC_EvVersion *>(record)->version};
        }
    } else if (source == LVCREC_FAILURE) {
        switch (code) {
        case LVC_ERR_WSASTARTUP: {
            auto *r = static_cast<const LVC_ErrStartup *>(record);
            return {r->version, r->error};
        }
        case LVC_ERR_SHUTDOWN:
        case LVC_ERR_CLOSESOCKET:
            return {static_cast<const LVC_ErrResult *>(record)->result};
        case LVC_ERR_HEADER: {
            auto *r = static_cast<const LVC_ErrHeader *>(record);
            return {r->words[0], r->words[1], r->words[2], r->words[3]};
        }
        case LVC_ERR_NICK_MISSING:
            return {static_cast<const LVC_ErrUser *>(record)->userid};
        }
    }
    return {};
}

int rec_add(lvcrec_source source, int code, void *record)
{
    std::function<void(int, void *)> observer;
    {
        std::lock_guard lock(rec_lock);
        observer = rec_observer;
    }
    if (source == LVCREC_PACKET && observer)
        observer(code, record);
    std::lock_guard lock(rec_lock);
    rec_entries.push_back({source, code, rec_fields(source, code, record), std::this_thread::get_id()});
    rec_changed.notify_all();
    return 0;
}

}  // namespace

void lvcrec_reset()
{
    std::lock_guard lock(rec_lock);
    rec_entries.clear();
    rec_observer = nullptr;
}

int lvcrec_init()
{
    return LVC_Init(lvcrec_packet, lvcrec_event, lvcrec_failure);
}

int lvcrec_packet(int code, void *record)
{
    return rec_add(LVCREC_PACKET, code, record);
}

int lvcrec_event(int code, void *record)
{
    return rec_add(LVCREC_EVENT, code, record);
}

int lvcrec_failure(int code, void *record)
{
    return rec_add(LVCREC_FAILURE, code, record);
}

void lvcrec_observe_packets(std::function<void(int code, void *record)> observer)
{
    std::lock_guard lock(rec_lock);
    rec_observer = std::move(observer);
}

std::vector<lvcrec_entry> lvcrec_log()
{
    std::lock_guard lock(rec_lock);
    return rec_entries;
}

std::vector<int> lvcrec_codes(lvcrec_source source, bool with_progress)
{
    std::vector<int> codes;
    for (const lvcrec_entry &e : lvcrec_log())
        if (e.source == source && (with_progress || source != LVCREC_EVENT || e.code != LVC_EV_PROGRESS))
            codes.push_back(e.code);
    return codes;
}

int lvcrec_wait(lvcrec_source source, int code, int count, int timeout_ms)
{
    std::unique_lock lock(rec_lock);
    return rec_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
        int n = 0;
        for (const lvcrec_entry &e : rec_entries)
            n += e.source == source && e.code == code;
        return n >= count;
    });
}

const lvcrec_entry *lvcrec_last(const std::vector<lvcrec_entry> &log, lvcrec_source source, int code)
{
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->source == source && it->code == code)
            return &*it;
    return nullptr;
}
