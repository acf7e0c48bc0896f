// One thread appends thousands of lines to a visible text box while the window's own
// thread resizes, scrolls, paints and appends too: nothing may crash, and no line may be
// lost or reordered. Also prints the box's throughput figures (no timing is asserted).
#include "toolkit/textbox.h"
#include "toolkit/textbox_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include "textui_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<const vel_textbox_line *> lines_oldest_first(const vel_textbox *box)
{
    std::vector<const vel_textbox_line *> out;
    if (!box->lines)
        return out;
    for (vel_list_node *n = box->lines->prev;; n = n->prev) {
        out.push_back(static_cast<const vel_textbox_line *>(n->data));
        if (n == box->lines)
            break;
    }
    return out;
}

class TextboxStress : public UiWindowTest {
protected:
    void SetUp() override
    {
        make_window(L"stress", 640, 480, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        widget = vel_textbox_create(nullptr, window, 0, WS_VSCROLL, L"", 0, 0, 600, 400, 5, nullptr, nullptr);
        ASSERT_NE(widget, nullptr);
        box = vel_textbox_get(widget);
        ASSERT_NE(vel_textbox_create_and_set_font(widget, 16, L"Arial", 700), nullptr);
        box->link_style = VEL_TEXTBOX_LINK_FONT;
        box->options |= VEL_TEXTBOX_LIVE_LINKS;
        wintest_flush();
    }

    // Runs the writer while this thread stirs the box; returns the UI lines added.
    int run(int writer_lines)
    {
        std::atomic<bool> done{false};
        std::thread writer([&] {
            std::vector<COLORREF> colours(200);
            for (int i = 0; i < writer_lines; i++) {
                std::wstring text = L"s" + std::to_wstring(i) + L" http://example.org/" + std::to_wstring(i) +
                                    L" a few words to wrap on a narrow box, and me@example.hu too";
                for (size_t k = 0; k < text.size() && k < colours.size(); k++)
                    colours[k] = RGB(k * 7 % 256, i % 256, 128);
                vel_textbox_add_text(widget, text.c_str(), static_cast<int>(text.size()), colours.data(),
                                     static_cast<int>(colours.size()), i % 3, i);
            }
            done = true;
        });
        int ui = 0;
        for (int step = 0; !done; step++) {
            switch (step % 8) {
            case 0:
                MoveWindow(widget->hwnd, 0, 0, 200 + step % 400, 100 + step % 300, TRUE);
                break;
            case 1:
                SendMessageW(widget->hwnd, WM_VSCROLL, SB_PAGEUP, 0);
                break;
            case 2:
                SendMessageW(widget->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
                break;
            case 3:
                InvalidateRect(widget->hwnd, nullptr, TRUE);
                UpdateWindow(widget->hwnd);
                break;
            case 4:
                SendMessageW(widget->hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, step % 50), 0);
                break;
            case 5: {
                std::wstring text = L"u" + std::to_wstring(ui);
                vel_textbox_add_text(widget, text.c_str(), static_cast<int>(text.size()), nullptr, 0, 0, -1 - ui);
                ui++;
                break;
            }
            case 6:
                SendMessageW(widget->hwnd, WM_VSCROLL, SB_BOTTOM, 0);
                break;
            default:
                SendMessageW(widget->hwnd, WM_RBUTTONDBLCLK, MK_SHIFT, MAKELPARAM(10, 10));
                break;
            }
            wintest_flush();
        }
        writer.join();
        wintest_flush();
        return ui;
    }

    void check_state()
    {
        int rows = 0, count = 0;
        for (const vel_textbox_line *l : lines_oldest_first(box)) {
            rows += l->rows;
            count++;
        }
        EXPECT_EQ(count, box->line_count);
        EXPECT_EQ(rows, box->total_rows);
        EXPECT_GE(box->scroll_pos, 0);
        EXPECT_LE(box->scroll_pos, vel_textbox_end_pos(box));
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(widget->hwnd, SB_VERT, &si);
        EXPECT_EQ(si.nMax, box->total_rows - 1);
        EXPECT_EQ(si.nPos, box->scroll_pos);
    }

    vel_widget *widget = nullptr;
    vel_textbox *box = nullptr;
};

TEST_F(TextboxStress, NoLineLostOrReorderedWhileTheBoxIsStirred)
{
    constexpr int kLines = 4000;
    box->max_lines = 100000;
    int ui = run(kLines);
    ASSERT_EQ(box->line_count, kLines + ui);
    int next_writer = 0, next_ui = 0;
    for (const vel_textbox_line *l : lines_oldest_first(box)) {
        std::wstring text(l->text, static_cast<size_t>(l->length));
        if (l->userdata >= 0) {
            ASSERT_EQ(l->userdata, next_writer);
            ASSERT_EQ(text.rfind(L"s" + std::to_wstring(next_writer) + L" ", 0), 0u) << testing::PrintToString(text);
            EXPECT_EQ(l->style, next_writer % 3);
            next_writer++;
        } else {
            ASSERT_EQ(text, L"u" + std::to_wstring(next_ui));
            next_ui++;
        }
    }
    EXPECT_EQ(next_writer, kLines);
    EXPECT_EQ(next_ui, ui);
    check_state();
}

TEST_F(TextboxStress, TheLimitKeepsExactlyTheNewestLines)
{
    constexpr int kLines = 3000;
    box->max_lines = 300;
    run(kLines);
    ASSERT_EQ(box->line_count, 300);
    // The writer's lines among the newest 300 are consecutive and end with its last.
    std::vector<int32_t> ids;
    for (const vel_textbox_line *l : lines_oldest_first(box))
        if (l->userdata >= 0)
            ids.push_back(l->userdata);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.back(), kLines - 1);
    for (size_t i = 1; i < ids.size(); i++)
        ASSERT_EQ(ids[i], ids[i - 1] + 1);
    check_state();
}

double seconds_since(LARGE_INTEGER start)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Figures for a visible 300-line box; printed and recorded, never asserted.
TEST_F(TextboxStress, Figures)
{
    box->max_lines = 300;
    const std::wstring text = L"[12:00] <nick> a chat line with http://example.org/page and a few more words "
                              L"so that it wraps on the box, written to me@example.hu";
    std::vector<COLORREF> colours(text.size(), RGB(0, 0, 200));
    constexpr int kLines = 3000;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kLines; i++) {
        vel_textbox_add_text(widget, text.c_str(), static_cast<int>(text.size()), colours.data(),
                             static_cast<int>(colours.size()), 0, i);
        if (i % 50 == 0)
            wintest_flush();
    }
    double append = seconds_since(start);
    ASSERT_EQ(box->line_count, 300);
    EXPECT_GT(box->total_rows, 300);

    constexpr int kPaints = 20;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kPaints; i++) {
        InvalidateRect(widget->hwnd, nullptr, TRUE);
        UpdateWindow(widget->hwnd);
    }
    double paint = seconds_since(start) / kPaints;

    constexpr int kResizes = 20;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kResizes; i++)
        SendMessageW(widget->hwnd, WM_SIZE, 0, MAKELPARAM(300 + (i % 2) * 200, 400));
    double rewrap = seconds_since(start) / kResizes;

    // The same lines from another thread, each handed over to this one.
    QueryPerformanceCounter(&start);
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int i = 0; i < kLines; i++)
            vel_textbox_add_text(widget, text.c_str(), static_cast<int>(text.size()), colours.data(),
                                 static_cast<int>(colours.size()), 0, i);
        written = true;
    });
    // The writer's appends run here, one sent message each.
    ASSERT_TRUE(ui_pump_until([&] { return written.load(); }));
    writer.join();
    double threaded = seconds_since(start);
    EXPECT_EQ(static_cast<const vel_textbox_line *>(box->lines->data)->userdata, kLines - 1);

    std::printf("text box: %.0f lines/s appended (%.0f lines/s from another thread), full repaint %.2f ms, "
                "rewrap of 300 lines %.3f ms\n",
                kLines / append, kLines / threaded, paint * 1000, rewrap * 1000);
    RecordProperty("lines_per_second", static_cast<int>(kLines / append));
    RecordProperty("threaded_lines_per_second", static_cast<int>(kLines / threaded));
    RecordProperty("repaint_us", static_cast<int>(paint * 1e6));
    RecordProperty("rewrap_us", static_cast<int>(rewrap * 1e6));
}

} // namespace
