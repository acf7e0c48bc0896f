#include "toolkit/uithread.h"

#include "toolkit/window.h"

#include <atomic>

namespace {

// wp the task, lp its argument.
constexpr UINT vel_ui_wm_run = WM_APP + 1;
constexpr UINT vel_ui_wm_post = WM_APP + 2;

std::atomic<HWND> vel_ui_hwnd{nullptr};

LRESULT CALLBACK vel_ui_wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == vel_ui_wm_run || msg == vel_ui_wm_post) {
        reinterpret_cast<vel_ui_task>(wp)(reinterpret_cast<void *>(lp));
        return 1;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int vel_ui_start()
{
    if (vel_ui_hwnd.load())
        return 1;
    static const wchar_t class_name[] = L"VEL_UITHREAD";
    WNDCLASSW wc{};
    wc.lpfnWndProc = vel_ui_wndproc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = class_name;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    vel_ui_hwnd = hwnd;
    return hwnd != nullptr;
}

int vel_ui_run(vel_ui_task task, void *arg)
{
    if (GetCurrentThreadId() == vel_ui_thread) {
        task(arg);
        return 1;
    }
    HWND hwnd = vel_ui_hwnd.load();
    // The helper answers 1; a window that is gone answers 0 without running anything.
    return hwnd && SendMessageW(hwnd, vel_ui_wm_run, reinterpret_cast<WPARAM>(task), reinterpret_cast<LPARAM>(arg));
}

int vel_ui_post(vel_ui_task task, void *arg)
{
    HWND hwnd = vel_ui_hwnd.load();
    return hwnd && PostMessageW(hwnd, vel_ui_wm_post, reinterpret_cast<WPARAM>(task), reinterpret_cast<LPARAM>(arg));
}
