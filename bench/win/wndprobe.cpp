// wndprobe: looks at a running lvchat.exe from outside, for the end-to-end scripts and the
// flood figures under Wine. MDI children are no X windows, so X tools cannot see them;
// this program, run in the same Wine prefix, walks the real window tree.
//
//   wndprobe tree                       every window under the main frame, one a line:
//                                       depth hwnd class "caption" left top right bottom visible
//   wndprobe ping HWND MS INTERVAL      times SendMessageTimeout(WM_NULL) to the window for MS
//                                       milliseconds, INTERVAL ms apart; prints a summary line
//   wndprobe rows HWND                  a list view's item count and the screen rectangle of
//                                       its first visible row
//   wndprobe load HWND COUNT MS         waits (at most MS ms) until a list view holds COUNT
//                                       items, asking all the time; prints when (Unix ms) and
//                                       the longest time the window took to answer
//   wndprobe move HWND X Y W H          places a window (an MDI child inside its client area)
//   wndprobe hold                       keeps Wine's desktop up until killed, with a hidden
//                                       window of its own: a series of programs (the window
//                                       suites) then does not start the desktop process
//                                       afresh each time, each one holding the output pipe
//                                       of the program that started it for some 20 s
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// The main frame's caption contains this.
constexpr wchar_t WNDPROBE_FRAME_TITLE[] = L"lorvando cset";
// A window that does not answer within this long counts as a timeout.
constexpr UINT WNDPROBE_PING_TIMEOUT_MS = 5000;

struct wndprobe_walk {
    HWND parent;
    int depth;
};

void wndprobe_print_window(HWND w, int depth)
{
    wchar_t cls[128] = L"", cap[256] = L"";
    GetClassNameW(w, cls, 128);
    // WM_GETTEXT with a timeout: a hung window must not hang the probe.
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(cap), SMTO_ABORTIFHUNG, 1000, &got);
    cap[255] = 0;
    for (wchar_t *c = cap; *c; c++)
        if (*c == L'\r' || *c == L'\n' || *c == L'"')
            *c = L' ';
    char ucls[256], ucap[768];
    WideCharToMultiByte(CP_UTF8, 0, cls, -1, ucls, sizeof ucls, nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, cap, -1, ucap, sizeof ucap, nullptr, nullptr);
    RECT r{};
    GetWindowRect(w, &r);
    std::printf("%d %p %s \"%s\" %ld %ld %ld %ld %d\n", depth, static_cast<void *>(w), ucls, ucap, r.left, r.top,
                r.right, r.bottom, IsWindowVisible(w) ? 1 : 0);
}

// Direct children only: EnumChildWindows would visit grandchildren too, without depth.
void wndprobe_tree(HWND w, int depth)
{
    wndprobe_print_window(w, depth);
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        wndprobe_tree(c, depth + 1);
}

BOOL CALLBACK wndprobe_top(HWND w, LPARAM found)
{
    wchar_t cap[256] = L"";
    GetWindowTextW(w, cap, 256);
    if (wcsstr(cap, WNDPROBE_FRAME_TITLE)) {
        wndprobe_tree(w, 0);
        *reinterpret_cast<int *>(found) = 1;
    }
    return TRUE;
}

HWND wndprobe_hwnd(const char *text)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 16)));
}

int wndprobe_ping(HWND w, int duration, int interval)
{
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    int timeouts = 0;
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    const LONGLONG span = LONGLONG(duration) * freq.QuadPart / 1000;
    for (QueryPerformanceCounter(&now); now.QuadPart - start.QuadPart < span; QueryPerformanceCounter(&now)) {
        DWORD_PTR res = 0;
        QueryPerformanceCounter(&a);
        LRESULT ok = SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, WNDPROBE_PING_TIMEOUT_MS, &res);
        QueryPerformanceCounter(&b);
        if (!ok) {
            if (!IsWindow(w))
                break;
            timeouts++;
        }
        ms.push_back(double(b.QuadPart - a.QuadPart) * 1000.0 / double(freq.QuadPart));
        if (interval > 0)
            Sleep(DWORD(interval));
    }
    if (ms.empty()) {
        std::printf("ping: no window\n");
        return 1;
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("ping n=%zu median_ms=%.3f p90_ms=%.3f max_ms=%.3f mean_ms=%.3f timeouts=%d\n", ms.size(),
                sorted[sorted.size() / 2], sorted[sorted.size() * 9 / 10], sorted.back(), sum / double(ms.size()),
                timeouts);
    return 0;
}

// The row rectangle lives in the other process: LVM_GETITEMRECT writes through a pointer,
// so the RECT is placed in that process's memory and read back.
int wndprobe_rows(HWND list)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!proc) {
        std::printf("rows: cannot open the process\n");
        return 1;
    }
    int result = 1;
    void *remote = VirtualAllocEx(proc, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    if (remote) {
        LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        RECT r{};
        r.left = LVIR_BOUNDS;
        SIZE_T done = 0;
        if (count > 0 && WriteProcessMemory(proc, remote, &r, sizeof r, &done) &&
            SendMessageW(list, LVM_GETITEMRECT, WPARAM(top), reinterpret_cast<LPARAM>(remote)) &&
            ReadProcessMemory(proc, remote, &r, sizeof r, &done)) {
            POINT tl{r.left, r.top}, br{r.right, r.bottom};
            ClientToScreen(list, &tl);
            ClientToScreen(list, &br);
            std::printf("rows count=%ld top=%ld first=%ld %ld %ld %ld\n", long(count), long(top), tl.x, tl.y, br.x,
                        br.y);
            result = 0;
        } else {
            std::printf("rows count=%ld (no row rectangle)\n", long(count));
        }
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    }
    CloseHandle(proc);
    return result;
}

long long wndprobe_unix_ms()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<long long>((t - 116444736000000000ULL) / 10000);
}

// A list view being filled: the UI thread answers the count between its batches, so the
// longest answer is the longest stall a user would feel while the list arrives.
int wndprobe_load(HWND list, long want, int timeout)
{
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    const DWORD start = GetTickCount();
    double worst = 0;
    int polls = 0, slow = 0;
    for (;;) {
        DWORD_PTR count = 0;
        QueryPerformanceCounter(&a);
        LRESULT ok = SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, WNDPROBE_PING_TIMEOUT_MS, &count);
        QueryPerformanceCounter(&b);
        const double ms = double(b.QuadPart - a.QuadPart) * 1000.0 / double(freq.QuadPart);
        polls++;
        worst = ms > worst ? ms : worst;
        slow += ms > 100;
        if (ok && long(count) == want) {
            std::printf("load reached_unix_ms=%lld polls=%d max_stall_ms=%.1f stalls_over_100ms=%d\n",
                        wndprobe_unix_ms(), polls, worst, slow);
            return 0;
        }
        if (!IsWindow(list) || GetTickCount() - start > DWORD(timeout)) {
            std::printf("load timeout count=%ld polls=%d max_stall_ms=%.1f\n", long(count), polls, worst);
            return 1;
        }
        Sleep(1);
    }
}

int wndprobe_hold()
{
    // A hidden top-level window makes this thread a user of the desktop, which Wine keeps
    // (with its desktop process) while it has users.
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"wndprobe hold", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd)
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

int wndprobe_usage()
{
    std::fprintf(stderr, "usage: wndprobe tree | ping HWND COUNT INTERVAL-MS | rows HWND | load HWND COUNT MS | "
                         "move HWND X Y W H | hold\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && !std::strcmp(argv[1], "hold"))
        return wndprobe_hold();
    if (argc >= 2 && !std::strcmp(argv[1], "tree")) {
        int found = 0;
        EnumWindows(wndprobe_top, reinterpret_cast<LPARAM>(&found));
        std::fflush(stdout);
        return found ? 0 : 1;
    }
    int rc;
    if (argc == 5 && !std::strcmp(argv[1], "ping"))
        rc = wndprobe_ping(wndprobe_hwnd(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    else if (argc == 3 && !std::strcmp(argv[1], "rows"))
        rc = wndprobe_rows(wndprobe_hwnd(argv[2]));
    else if (argc == 5 && !std::strcmp(argv[1], "load"))
        rc = wndprobe_load(wndprobe_hwnd(argv[2]), std::atol(argv[3]), std::atoi(argv[4]));
    else if (argc == 7 && !std::strcmp(argv[1], "move"))
        rc = SetWindowPos(wndprobe_hwnd(argv[2]), nullptr, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                          std::atoi(argv[6]), SWP_NOZORDER | SWP_NOACTIVATE)
                 ? 0
                 : 1;
    else
        return wndprobe_usage();
    std::fflush(stdout);
    return rc;
}
