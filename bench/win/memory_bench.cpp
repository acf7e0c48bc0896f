// What a listed room and a shown room line cost in memory, measured in-process: the private
// bytes of the process before and after 10,000 rooms are listed (directory records and
// the room list, drawn once), then after 10 room windows with 300 lines each. Run under
// Wine from the Windows build: wine64 memory_bench.exe [ROOMS] [WINDOWS] [LINES].
#include "bench/win/bench_win.h"
#include "tests/win/wintest.h"
#include "toolkit/mdichild.h"
#include "ui/chatwnd.h"
#include "ui/mainwnd.h"
#include "ui/rlistwnd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The committed private memory of the process (what Windows counts as its private bytes),
// summed over its address space: Wine leaves the counter itself at 0.
double bench_private_kib()
{
    double bytes = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char *at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<const char *>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            bytes += static_cast<double>(info.RegionSize);
        if (info.RegionSize == 0)
            break;
    }
    return bytes / 1024.0;
}

// A flood line as the server sends it: about 80 characters, every fourth one coloured.
std::string bench_line(int seq)
{
    std::string text = "flood line " + std::to_string(seq) + " lorem ipsum dolor sit amet, consectetur adipiscing";
    return seq % 4 == 0 ? "$red$" + text : text;
}

}  // namespace

int main(int argc, char **argv)
{
    const int rooms = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int windows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int lines = argc > 3 ? std::max(1, std::atoi(argv[3])) : 300;
    mainwnd *mw = bench_frame();
    if (!mw || !mw->rlistwnd) {
        std::fprintf(stderr, "memory_bench: no frame\n");
        return 1;
    }
    cfg_szoba_timestamp = 1;
    cfg_szoba_log = 0;
    vel_mdichild_activate(mw->rlistwnd->wnd);
    wintest_pump_for(300);

    const double start = bench_private_kib();
    packet_handler(1, nullptr);
    for (int i = 0; i < rooms; i++) {
        const std::string name = "Szoba " + std::to_string((i * 7919) % 100000);
        Room *room = room_add(1000 + i, name.c_str(), "$blue$a room's topic, as long as most", i % 3 ? 0 : 0x08, i % 40);
        LVC_EvRoom ev{room};
        packet_handler(2, &ev);
    }
    packet_handler(3, nullptr);
    wintest_pump_for(200);
    const double listed = bench_private_kib();

    std::vector<chatwnd *> open;
    for (int w = 0; w < windows; w++)
        if (chatwnd *cw = chatwnd_create(mw, LVC_GetRoom(1000 + w)))
            open.push_back(cw);
    wintest_pump_for(200);
    const double windows_open = bench_private_kib();
    for (chatwnd *cw : open)
        for (int i = 0; i < lines; i++)
            chatwnd_new_message(cw, 2, "flood", "", "", bench_line(i).c_str(), nullptr, 0);
    wintest_pump_for(300);
    const double filled = bench_private_kib();

    std::printf("private bytes: start %.0f KiB\n", start);
    std::printf("%d rooms listed: +%.0f KiB (%.0f bytes a room)\n", rooms, listed - start,
                (listed - start) * 1024.0 / rooms);
    std::printf("%zu room windows: +%.0f KiB\n", open.size(), windows_open - listed);
    std::printf("%d lines in each: +%.0f KiB (%.0f bytes a line)\n", lines, filled - windows_open,
                (filled - windows_open) * 1024.0 / (static_cast<double>(lines) * static_cast<double>(open.size())));
    std::printf("all together: +%.0f KiB\n", filled - start);
    for (chatwnd *cw : open)
        SendMessageW(cw->wnd->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    LVC_Cleanup();
    return 0;
}
