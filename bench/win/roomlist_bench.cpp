// The room list with many rooms, measured in-process: the frame and its room list window,
// rooms put into the directory and listed one at a time as a downloaded list brings them
// (one task), then the thread's messages until the list is drawn. For each size: the
// time of the task, of the messages after it (the longest one alone), the whole way to
// the drawn list, and the CPU of the process over it. Run under Wine from the Windows
// build: wine64 roomlist_bench.exe [ROOMS...] (10000 and 50000 without arguments).
#include "bench/win/bench_win.h"
#include "tests/win/wintest.h"
#include "toolkit/mdichild.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double bench_now_ms()
{
    return bench_now_us() / 1e3;
}

// Room names as a server's list has them: groups of states, accented names, numbers.
std::string bench_name(int i)
{
    static const char *stems[] = {"Budapest", "\xc3\x81rv\xc3\xadzt\xc5\xb1r\xc5\x91", "Kulturkocsma", "szerelem",
                                  "Tarsalgo", "\xc3\x96r\xc3\xb6m", "Zene", "focis"};
    return std::string(stems[i % 8]) + " " + std::to_string((i * 7919) % 100000);
}

// Dispatches what is queued, timing each message; the longest one in *longest.
void bench_pump(double *longest)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        const double t0 = bench_now_ms();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        *longest = std::max(*longest, bench_now_ms() - t0);
    }
}

void bench_rooms(rlistwnd *rw, int rooms)
{
    static const int32_t states[] = {0x00, 0x00, 0x01, 0x08, 0x10, 0x04};
    LVC_FreeRoomlist();
    wintest_flush();
    const double cpu0 = bench_cpu_us(), t0 = bench_now_ms();
    // One task: the room list cleared, then every room listed as the dispatch lists it.
    packet_handler(1, nullptr);
    double directory = 0;
    for (int i = 0; i < rooms; i++) {
        const int32_t id = 1 + i;
        const std::string name = bench_name(i);
        const double d0 = bench_now_ms();
        Room *room = room_add(id, name.c_str(), "$red$tema", states[i % 6], i % 40);
        directory += bench_now_ms() - d0;
        LVC_EvRoom ev{room};
        packet_handler(2, &ev);
    }
    packet_handler(3, nullptr);
    const double t1 = bench_now_ms();
    double longest = 0;
    bench_pump(&longest);
    InvalidateRect(rw->list->hwnd, nullptr, FALSE);
    UpdateWindow(rw->list->hwnd);
    const double t2 = bench_now_ms(), cpu2 = bench_cpu_us();
    std::printf("%6d rooms: task %7.1f ms (directory %7.1f ms), after it %7.1f ms (longest message %6.1f ms), "
                "to the drawn list %7.1f ms, cpu %7.1f ms, listed %d\n",
                rooms, t1 - t0, directory, t2 - t1, longest, t2 - t0, (cpu2 - cpu0) / 1e3, rw->room_count);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    mainwnd *mw = bench_frame();
    if (!mw || !mw->rlistwnd) {
        std::fprintf(stderr, "roomlist_bench: no frame\n");
        return 1;
    }
    vel_mdichild_activate(mw->rlistwnd->wnd);
    wintest_pump_for(300);
    std::vector<int> sizes;
    for (int i = 1; i < argc; i++)
        sizes.push_back(std::max(1, std::atoi(argv[i])));
    if (sizes.empty())
        sizes = {10000, 50000};
    for (int rooms : sizes)
        bench_rooms(mw->rlistwnd, rooms);
    packet_handler(1, nullptr);
    LVC_FreeRoomlist();
    LVC_Cleanup();
    return 0;
}
