// Helpers shared by the window suites: a bounded message flush and an off-screen canvas.
#pragma once

#include "toolkit/uithread.h"
#include "toolkit/window.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

// Dispatches what is queued for this thread, at most `limit` messages, so a window that
// keeps posting to itself can never hang a test.
inline int wintest_flush(int limit = 5000)
{
    MSG msg;
    int n = 0;
    while (n < limit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ++n;
    }
    return n;
}

// Flushes repeatedly for about `ms` milliseconds, for timers that must fire.
inline void wintest_pump_for(DWORD ms)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        wintest_flush();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    wintest_flush();
}

// Pumps this thread's messages until `done()` holds or `ms` milliseconds have passed; true
// when it held. A test that waits for another thread must wait this way: that thread may
// be handing work to this one with a sent message.
template <typename F>
bool wintest_pump_until(F done, DWORD ms = 10000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        wintest_flush();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    wintest_flush();
    return true;
}

// A 32-bit memory bitmap selected into its own device context.
class wintest_canvas {
public:
    wintest_canvas(int width, int height)
    {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bmp_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bmp_);
        RECT rc{0, 0, width, height};
        FillRect(dc_, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    ~wintest_canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    wintest_canvas(const wintest_canvas &) = delete;
    wintest_canvas &operator=(const wintest_canvas &) = delete;
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HDC dc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
};

// The pixels of exactly `fg` that TextOutW leaves when it draws `text` in `font`, `fg` on
// an opaque `bg`: what a correct drawing of that text leaves with the faces this machine
// has. Pixel checks of drawn text compare against it, never against a count that holds
// for one machine's fonts.
inline int wintest_text_ink(HFONT font, const wchar_t *text, COLORREF fg, COLORREF bg)
{
    wintest_canvas canvas(600, 60);
    HBRUSH brush = CreateSolidBrush(bg);
    RECT all{0, 0, 600, 60};
    FillRect(canvas.dc(), &all, brush);
    DeleteObject(brush);
    HGDIOBJ old = SelectObject(canvas.dc(), font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(canvas.dc(), fg);
    SetBkColor(canvas.dc(), bg);
    SetBkMode(canvas.dc(), OPAQUE);
    TextOutW(canvas.dc(), 2, 2, text, static_cast<int>(wcslen(text)));
    SelectObject(canvas.dc(), old);
    int n = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 600; ++x)
            n += canvas.at(x, y) == fg;
    return n;
}

// Blocks of a record's size taken right after the record was freed: the allocator hands the
// freed memory out again, so a late write through a stale pointer, or a second free of the
// record, shows in their pattern.
struct wintest_reused_blocks {
    static constexpr int count = 8;
    static constexpr unsigned char pattern = 0xAB;
    void *blocks[count] = {};
    size_t size = 0;
    wintest_reused_blocks() = default;
    wintest_reused_blocks(const wintest_reused_blocks &) = delete;
    wintest_reused_blocks &operator=(const wintest_reused_blocks &) = delete;
    void take(size_t bytes)
    {
        size = bytes;
        for (void *&b : blocks) {
            b = std::malloc(bytes);
            if (b)
                std::memset(b, pattern, bytes);
        }
    }
    bool untouched() const
    {
        for (void *b : blocks)
            for (size_t i = 0; b && i < size; i++)
                if (static_cast<const unsigned char *>(b)[i] != pattern)
                    return false;
        return true;
    }
    ~wintest_reused_blocks()
    {
        for (void *b : blocks)
            std::free(b);
    }
};

// Picks the item `id` from the next popup menu this thread opens, as a user does with the
// keyboard: Down over the items up to it (separators are passed over), then Enter. A menu
// still open after two seconds is closed, so that a pick that fails cannot hang a test.
class wintest_menu_pick {
public:
    explicit wintest_menu_pick(UINT id)
    {
        wanted() = id;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, on_call, nullptr, GetCurrentThreadId());
        guard_ = SetTimer(nullptr, 0, 2000, end_menu);
    }
    ~wintest_menu_pick()
    {
        KillTimer(nullptr, guard_);
        UnhookWindowsHookEx(hook_);
    }
    wintest_menu_pick(const wintest_menu_pick &) = delete;
    wintest_menu_pick &operator=(const wintest_menu_pick &) = delete;

private:
    static UINT &wanted()
    {
        static UINT id;
        return id;
    }
    static LRESULT CALLBACK on_call(int code, WPARAM wp, LPARAM lp)
    {
        const auto *call = reinterpret_cast<const CWPSTRUCT *>(lp);
        if (code == HC_ACTION && call->message == WM_INITMENUPOPUP && wanted()) {
            auto *menu = reinterpret_cast<HMENU>(call->wParam);
            for (int i = 0; i < GetMenuItemCount(menu); i++) {
                if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR)
                    continue;
                PostMessageW(call->hwnd, WM_KEYDOWN, VK_DOWN, 0);
                if (GetMenuItemID(menu, i) == wanted())
                    break;
            }
            PostMessageW(call->hwnd, WM_KEYDOWN, VK_RETURN, 0);
            wanted() = 0;
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static void CALLBACK end_menu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }
    HHOOK hook_;
    UINT_PTR guard_;
};

// The toolkit is started once per test program.
inline void wintest_init()
{
    static const int done = vel_init() && vel_ui_start();
    (void)done;
}
