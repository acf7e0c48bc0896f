// minimdi: the floor of a start-up under Wine. A minimal MDI program of the same build:
// a frame with a client area, one child holding a rich edit, shown at once. The start-up
// figures compare lvchat.exe's time to a mapped frame with this program's, started the
// same way in the same prefix. Built as minimdi_cc it also loads the common controls
// (version 6, through the same manifest as lvchat.exe) and registers the list view and bar
// classes, as any program with a list view or a status bar must: the floor for such a
// program.
#include <windows.h>
#ifdef MINIMDI_COMMON_CONTROLS
#include <commctrl.h>
#endif

#include "message_loop.h"

namespace {

HWND minimdi_client;

LRESULT CALLBACK minimdi_child(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CREATE) {
        CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 300, 200, hwnd, nullptr,
                        GetModuleHandleW(nullptr), nullptr);
        return 0;
    }
    return DefMDIChildProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK minimdi_frame(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CREATE) {
        CLIENTCREATESTRUCT ccs{nullptr, 1000};
        minimdi_client = CreateWindowExW(0, L"MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 0, 0,
                                         hwnd, nullptr, GetModuleHandleW(nullptr), &ccs);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefFrameProcW(hwnd, minimdi_client, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int)
{
#ifdef MINIMDI_COMMON_CONTROLS
    INITCOMMONCONTROLSEX common{sizeof common, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);
    const wchar_t *caption = L"minimdi cc";
#else
    const wchar_t *caption = L"minimdi";
#endif
    LoadLibraryW(L"riched20.dll");
    WNDCLASSW wc{};
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpfnWndProc = minimdi_frame;
    wc.lpszClassName = L"minimdi_frame";
    RegisterClassW(&wc);
    wc.lpfnWndProc = minimdi_child;
    wc.lpszClassName = L"minimdi_child";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, L"minimdi_frame", caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800,
                                 600, nullptr, nullptr, inst, nullptr);
    MDICREATESTRUCTW mcs{L"minimdi_child", L"child", inst, 0, 0, 400, 300, 0, 0};
    SendMessageW(minimdi_client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs));
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    return bench_message_loop();
}
