// Room flood, measured in-process: the program's frame with one visible room window, and
// the time per room line of each stage a flooded line goes through, from the cheapest part
// to the whole path with the reader thread's hand-over in batches. Plain timed loops (the window stages
// need the UI thread and its message loop, which a benchmark library's loop does not pump);
// run it under Wine from the Windows build: wine64 flood_bench.exe [LINES].
#include "bench/win/bench_win.h"
#include "tests/support/fakepeer.h"
#include "tests/win/wintest.h"
#include "toolkit/textbox.h"
#include "ui/chatwnd.h"
#include "ui/mainwnd.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t bench_room_id = 2;
constexpr int32_t bench_t_message = 13;  // a room message
constexpr const char *bench_colours[] = {"$red$", "$blue$", "$green$", "$yellow$", "$magenta$"};

// The text of flood line `seq`, as the server floods it.
std::string bench_text(int seq)
{
    return std::string(bench_colours[seq % 5]) + "flood #" + std::to_string(seq);
}

// A room message packet's payload: kind, room, the sender's nick, attributes and the text.
fakepeer_bytes bench_packet(int seq)
{
    fakepeer_bytes b;
    fakepeer_put_byte(&b, 2);
    fakepeer_put_int(&b, bench_room_id);
    fakepeer_put_utf(&b, "flood");
    fakepeer_put_utf(&b, "");
    fakepeer_put_utf(&b, bench_text(seq) + " (packet)");
    return b;
}

void bench_report(const char *stage, int lines, double us, double cpu_us)
{
    std::printf("%-58s %8.1f us/line %9.0f lines/s %8.1f cpu us/line\n", stage, us / lines, lines * 1e6 / us,
                cpu_us / lines);
    std::fflush(stdout);
}

// Runs `step` for each line and times the loop.
template <typename Step> void bench_stage(const char *stage, int lines, Step step)
{
    wintest_flush();
    const double t0 = bench_now_us(), c0 = bench_cpu_us();
    for (int i = 0; i < lines; i++)
        step(i);
    const double t1 = bench_now_us(), c1 = bench_cpu_us();
    bench_report(stage, lines, t1 - t0, c1 - c0);
    wintest_flush();
}

// The framed bytes of `lines` packets of `type`, cycling through `payloads`.
fakepeer_bytes bench_stream(int lines, int32_t type, const std::vector<fakepeer_bytes> &payloads)
{
    fakepeer_bytes stream;
    for (int i = 0; i < lines; i++) {
        const fakepeer_bytes frame = fakepeer_frame(type, payloads[static_cast<size_t>(i) % payloads.size()]);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

// A second thread plays the connection's reader: it frames `stream` in receive-sized
// chunks, as if each had just arrived, and queues the packets for this thread, whose
// message loop drains them through the program's dispatch (woken once per batch). Timed
// until the last packet has been delivered; the process's CPU time is shown too (the
// wineserver's is not in it).
void bench_handover_stage(const char *stage, int lines, const fakepeer_bytes &stream)
{
    wintest_flush();
    std::atomic<bool> done{false};
    const double t0 = bench_now_us(), c0 = bench_cpu_us();
    std::thread reader([&] {
        lvc_thread_queues();
        net_framer framer;
        for (size_t at = 0; at < stream.size();) {
            lvc_inbox_wait_room();
            size_t room;
            uint8_t *dst = net_framer_space(&framer, &room);
            const size_t n = std::min(room, stream.size() - at);
            std::memcpy(dst, stream.data() + at, n);
            at += n;
            net_framer_take(&framer, n);
        }
        done = true;
        PostThreadMessageW(vel_ui_thread, WM_NULL, 0, 0);
    });
    MSG msg;
    while (!(done.load() && lvc_inbox_get_state().items == 0) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    reader.join();
    wintest_flush();
    const double t1 = bench_now_us(), c1 = bench_cpu_us();
    bench_report(stage, lines, t1 - t0, c1 - c0);
}

}  // namespace

int main(int argc, char **argv)
{
    const int lines = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    mainwnd *mw = bench_frame();
    if (!mw || !dispatch_start()) {
        std::fprintf(stderr, "flood_bench: no frame or no dispatcher\n");
        return 1;
    }
    cfg_szoba_timestamp = 1;
    cfg_szoba_kibe = 1;
    cfg_szoba_flash = 0;
    cfg_szoba_log = 0;
    Room *room = room_add(bench_room_id, "Budapest", "tema", 0, 0);
    chatwnd *cw = room ? chatwnd_create(mw, room) : nullptr;
    if (!cw) {
        std::fprintf(stderr, "flood_bench: no room window\n");
        return 1;
    }
    SetWindowPos(cw->wnd->hwnd, nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOMOVE);
    wintest_pump_for(500);

    std::vector<fakepeer_bytes> packets;
    std::vector<std::string> texts;
    for (int i = 0; i < 100; i++) {
        packets.push_back(bench_packet(i));
        texts.push_back(bench_text(i));
    }
    const std::wstring plain = L"[12:00.00] <flood> flood #1234";
    std::vector<COLORREF> colours(plain.size(), RGB(255, 0, 0));
    HWND box = cw->messages->hwnd;

    std::printf("lines per stage: %d, room window 400 x 300, time stamps on, log off\n", lines);
    bench_stage("text box append (no paint)", lines, [&](int) {
        vel_textbox_add_line_c(cw->messages, plain.c_str(), colours.data(), 0, 0);
    });
    bench_stage("text box append + paint of the new line", lines, [&](int) {
        vel_textbox_add_line_c(cw->messages, plain.c_str(), colours.data(), 0, 0);
        UpdateWindow(box);
    });
    bench_stage("text box append, idle after each", lines, [&](int) {
        vel_textbox_add_line_c(cw->messages, plain.c_str(), colours.data(), 0, 0);
        wintest_flush();
    });
    bench_stage("paint of the whole box", lines / 10, [&](int) {
        InvalidateRect(box, nullptr, TRUE);
        UpdateWindow(box);
    });
    // A frame of a flood: the lines that came since the last paint, then that one paint.
    bench_stage("text box: 1,000 appends, then one paint", lines, [&](int i) {
        vel_textbox_add_line_c(cw->messages, plain.c_str(), colours.data(), 0, 0);
        if (i % 1000 == 999) {
            InvalidateRect(box, nullptr, FALSE);
            UpdateWindow(box);
        }
    });
    bench_stage("chatwnd_new_message (no paint)", lines, [&](int i) {
        chatwnd_new_message(cw, 2, "flood", "", "", texts[static_cast<size_t>(i % 100)].c_str(), nullptr, 0);
    });
    cfg_szoba_log = 1;
    bench_stage("chatwnd_new_message (no paint), room log on", lines, [&](int i) {
        chatwnd_new_message(cw, 2, "flood", "", "", texts[static_cast<size_t>(i % 100)].c_str(), nullptr, 0);
        if (i % 100 == 99)
            log_flush();
    });
    cfg_szoba_log = 0;
    bench_stage("chatwnd_new_message, idle after each", lines, [&](int i) {
        chatwnd_new_message(cw, 2, "flood", "", "", texts[static_cast<size_t>(i % 100)].c_str(), nullptr, 0);
        wintest_flush();
    });
    bench_stage("packet -> lvc_dispatch_packet -> window, idle after each", lines, [&](int i) {
        const fakepeer_bytes &p = packets[static_cast<size_t>(i % 100)];
        lvc_dispatch_packet(bench_t_message, p.data(), static_cast<uint32_t>(p.size()));
        wintest_flush();
    });
    // Type 20 has no handler: the packets are framed, queued, drained and dropped.
    const fakepeer_bytes unhandled = bench_stream(lines, 20, packets);
    const fakepeer_bytes flood = bench_stream(lines, bench_t_message, packets);
    bench_handover_stage("hand-over alone (reader thread, queued, batches drained)", lines, unhandled);
    bench_handover_stage("whole path: reader thread -> dispatch -> window", lines, flood);
    bench_stage("room log line alone (written every 100 lines)", lines, [&](int i) {
        log_debug('s', bench_room_id, L"%s\n", plain.c_str());
        if (i % 100 == 99)
            log_flush();
    });
    cfg_szoba_log = 1;
    bench_stage("packet -> window, idle after each, room log on", lines, [&](int i) {
        const fakepeer_bytes &p = packets[static_cast<size_t>(i % 100)];
        lvc_dispatch_packet(bench_t_message, p.data(), static_cast<uint32_t>(p.size()));
        wintest_flush();
    });
    bench_handover_stage("whole path with the room log on", lines, flood);
    cfg_szoba_log = 0;
    log_close_all();
    std::remove("s2.log");
    const vel_textbox *tb = vel_textbox_get(cw->messages);
    if (tb && tb->lines) {
        const auto *line = static_cast<const vel_textbox_line *>(tb->lines->data);
        std::printf("newest line: %ls\n", std::wstring(line->text, static_cast<size_t>(line->length)).c_str());
    }
    SendMessageW(cw->wnd->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    dispatch_stop();
    LVC_Cleanup();
    return 0;
}
