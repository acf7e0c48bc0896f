// What the Windows benchmarks share: the clocks (wall time, and the process's CPU time,
// which on a busy machine leaves out other programs' time) and the program's frame.
#pragma once

#include "app/dispatch.h"
#include "protocol/internal.h"
#include "settings/cfgproc.h"
#include "toolkit/window.h"
#include "ui/mainwnd.h"

#include <cstdint>

inline double bench_now_us()
{
    static const double per_us = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1e6;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / per_us;
}

// All the process's threads, user and kernel time.
inline double bench_cpu_us()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto us = [](const FILETIME &t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10.0;
    };
    return us(kernel) + us(user);
}

// The frame as the program starts it (default settings, the program's callbacks), shown
// at 1000 x 750; null when it cannot be built.
inline mainwnd *bench_frame()
{
    vel_init();
    config_setdefaults(config_table);
    mainwnd *mw = mainwnd_create();
    if (!mw || !LVC_Init(packet_handler, event_handler, exception_handler))
        return nullptr;
    ShowWindow(mw->frame->hwnd, SW_SHOWNORMAL);
    SetWindowPos(mw->frame->hwnd, nullptr, 0, 0, 1000, 750, SWP_NOZORDER);
    return mw;
}
