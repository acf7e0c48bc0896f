// The message loop of the start-up reference programs (minimdi, samescreen).
#pragma once
#include <windows.h>

inline int bench_message_loop()
{
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
