// Records what the protocol client reports through its three callbacks, for tests: the
// code, the record's fields for the codes whose records are plain numbers, and the thread
// each callback ran on. Callbacks may run on any thread; waits have time-outs.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

enum lvcrec_source : char { LVCREC_PACKET = 'p', LVCREC_EVENT = 'e', LVCREC_FAILURE = 'x' };

struct lvcrec_entry {
    lvcrec_source source;
    int code;
    std::vector<int64_t> fields;  // numeric record fields in order (see lvcrecorder.cpp)
    std::thread::id thread;
};

// Clears the log and the observer.
void lvcrec_reset();
// LVC_Init with the recorder's callbacks; its result.
int lvcrec_init();
int lvcrec_packet(int code, void *record);
int lvcrec_event(int code, void *record);
int lvcrec_failure(int code, void *record);
// Called inside every packet callback, on the callback's thread, before it is logged:
// the place to copy strings that live only during the callback.
void lvcrec_observe_packets(std::function<void(int code, void *record)> observer);

std::vector<lvcrec_entry> lvcrec_log();
// Codes of one source in order; progress events (8) are left out unless asked for.
std::vector<int> lvcrec_codes(lvcrec_source source, bool with_progress = false);
// Waits until `count` entries of (source, code) have been logged; 1, or 0 on time-out.
int lvcrec_wait(lvcrec_source source, int code, int count = 1, int timeout_ms = 5000);
// The last logged entry of (source, code), or null.
const lvcrec_entry *lvcrec_last(const std::vector<lvcrec_entry> &log, lvcrec_source source, int code);
