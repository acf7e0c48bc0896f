// Helpers of the text box and input line suites: waiting on a condition, the clipboard,
// the keyboard's modifier state, and a fixture that gives each test a fresh window.
#pragma once

#include "toolkit/window.h"

#include "wintest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Pumps until the condition holds or about five seconds have passed.
template <typename F>
bool ui_pump_until(F done)
{
    return wintest_pump_until(done, 5000);
}

inline std::wstring ui_clipboard_text()
{
    std::wstring out;
    if (!OpenClipboard(nullptr))
        return L"<no clipboard>";
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (auto *p = static_cast<const wchar_t *>(GlobalLock(h))) {
            out = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

inline void ui_clipboard_put_format(UINT format, const void *data, size_t size)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
    SetClipboardData(format, h);
}

// Puts Unicode text (and, when given, the same text as rich text) on the clipboard.
inline void ui_put_clipboard(const wchar_t *text, const char *rtf = nullptr)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    ui_clipboard_put_format(CF_UNICODETEXT, text, (wcslen(text) + 1) * sizeof(wchar_t));
    if (rtf)
        ui_clipboard_put_format(RegisterClipboardFormatW(L"Rich Text Format"), rtf, std::strlen(rtf) + 1);
    CloseClipboard();
}

// What GetKeyState reports for Control and Shift on this thread.
inline void ui_set_keys(bool control, bool shift)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A fresh hidden top-level window per test, destroyed afterwards.
class UiWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vel_init();
        vel_ui_start();
    }

    void make_window(const wchar_t *caption, int width, int height, DWORD style = WS_OVERLAPPEDWINDOW)
    {
        window = vel_window_create(nullptr, nullptr, nullptr, 0, style, caption, 0, 0, width, height, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        ui_set_keys(false, false);
        if (window)
            DestroyWindow(window->hwnd);
        wintest_flush();
    }

    vel_window *window = nullptr;
};
