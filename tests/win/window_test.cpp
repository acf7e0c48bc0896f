#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/win/wintest.h"

#include <commctrl.h>
#include "toolkit/widget.h"

namespace {

// The probe window's procedure answers every message with `code` and the slot `slot`
// while `active`, and logs what it saw.
struct probe_state {
    bool active = false;
    int code = VEL_CONTINUE;
    LRESULT slot = 77;
    std::vector<UINT> seen;
    std::vector<std::pair<WPARAM, LPARAM>> commands;  // VEL_WM_COMMAND parameters
    int create_code = VEL_CONTINUE;
    LRESULT create_slot = 0;
} probe;

int probe_proc(vel_window *, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    if (msg == WM_CREATE) {
        *result = probe.create_slot;
        return probe.create_code;
    }
    if (msg == VEL_WM_COMMAND || msg == WM_COMMAND)
        probe.commands.emplace_back(wp, msg == WM_COMMAND ? -1 : lp);
    if (!probe.active)
        return VEL_CONTINUE;
    probe.seen.push_back(msg);
    *result = probe.slot;
    return probe.code;
}

// What the widgets of a window receive.
struct widget_log {
    std::vector<std::pair<UINT, WPARAM>> got;
    int draw_answer = 1;
    DRAWITEMSTRUCT last_draw{};
};

int logging_widget(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *log = static_cast<widget_log *>(self->data);
    if (msg < VEL_WM_COMMAND || msg > VEL_WM_MOUSELEAVE)
        return VEL_CONTINUE;
    log->got.emplace_back(msg, wp);
    if (msg == VEL_WM_DRAWITEM) {
        log->last_draw = *reinterpret_cast<DRAWITEMSTRUCT *>(lp);
        if (wp) {
            RECT rc{0, 0, 200, 200};
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            FillRect(reinterpret_cast<HDC>(wp), &rc, red);
            DeleteObject(red);
        }
        *result = log->draw_answer;
        return VEL_DONE;
    }
    if (msg == VEL_WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = 31;
        *result = 1;
        return VEL_DONE;
    }
    return VEL_CONTINUE;
}

class Window : public testing::Test {
protected:
    void SetUp() override
    {
        wintest_init();
        probe = probe_state{};
        win_ = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, L"probe", 50,
                                 50, 400, 300, nullptr, nullptr, probe_proc);
        ASSERT_NE(win_, nullptr);
        hwnd_ = win_->hwnd;
        widget_ = vel_widget_create(nullptr, win_, 0, 0, nullptr, 10, 10, 50, 20, 5, &log_, logging_widget,
                                    VEL_CUSTOM, nullptr);
        ASSERT_NE(widget_, nullptr);
        wintest_flush();
    }
    void TearDown() override
    {
        probe.active = false;
        if (IsWindow(hwnd_))
            DestroyWindow(hwnd_);
        wintest_flush();
    }
    bool parent_size_reached_widget() const
    {
        for (auto &g : log_.got)
            if (g.first == VEL_WM_PARENT_SIZE)
                return true;
        return false;
    }
    vel_window *win_ = nullptr;
    HWND hwnd_ = nullptr;
    vel_widget *widget_ = nullptr;
    widget_log log_;
};

TEST_F(Window, EveryDispatchCodeChoosesItsStages)
{
    const COLORREF red = RGB(255, 0, 0), face = GetSysColor(COLOR_BTNFACE) & 0xFFFFFF, none = RGB(0, 0, 0);
    struct row {
        int code;
        bool common_runs;        // WM_SIZE reaches the widgets
        bool default_runs;       // WM_SETTEXT changes the caption
        LRESULT settext_answer;
        COLORREF erased;         // WM_ERASEBKGND: red common handling, face default, black none
        LRESULT erase_answer;
        bool diagnostic;         // "wndproc hiba." on the console
    } const rows[] = {
        {VEL_NOPROC, true, true, TRUE, red, 1, false},
        {VEL_CONTINUE, true, true, TRUE, red, 1, false},
        {VEL_HANDLED, true, false, 77, red, 77, false},
        {VEL_CONTINUE2, true, true, TRUE, red, 1, false},
        {VEL_DEFAULT_AFTER, true, true, TRUE, face, 1, false},
        {VEL_DONE, false, false, 77, none, 77, false},
        {VEL_DEFAULT_ONLY, false, true, TRUE, face, 1, false},
        {9, true, false, 0, red, 0, true},
    };
    ASSERT_NE(vel_window_setbackground(win_, red), nullptr);
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << "code " << r.code);
        probe.active = false;
        SetWindowTextW(hwnd_, L"before");
        log_.got.clear();
        probe.code = r.code;
        probe.active = true;
        testing::internal::CaptureStdout();
        SendMessageW(hwnd_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(400, 300));
        const LRESULT settext = SendMessageW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"after"));
        wintest_canvas canvas(20, 20);
        const LRESULT erase = SendMessageW(hwnd_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        probe.active = false;
        wchar_t caption[32];
        GetWindowTextW(hwnd_, caption, 32);
        EXPECT_EQ(parent_size_reached_widget(), r.common_runs);
        EXPECT_EQ(std::wstring(caption) == L"after", r.default_runs);
        EXPECT_EQ(settext, r.settext_answer);
        EXPECT_EQ(canvas.at(5, 5), r.erased);
        EXPECT_EQ(erase, r.erase_answer);
        EXPECT_EQ(out.find("wndproc hiba.\n") != std::string::npos, r.diagnostic) << out;
        EXPECT_EQ(probe.seen, (std::vector<UINT>{WM_SIZE, WM_SETTEXT, WM_ERASEBKGND}));
        probe.seen.clear();
    }
}

TEST_F(Window, EraseWithoutBackgroundGoesToTheDefaultProcedure)
{
    wintest_canvas canvas(20, 20);
    EXPECT_EQ(SendMessageW(hwnd_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0), 1);
    EXPECT_EQ(canvas.at(5, 5), GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
}

TEST_F(Window, CloseWithHandledStillDestroysButDoneKeepsTheWindow)
{
    probe.active = true;
    probe.code = VEL_DONE;
    probe.slot = 5;
    EXPECT_EQ(SendMessageW(hwnd_, WM_CLOSE, 0, 0), 5);
    EXPECT_TRUE(IsWindow(hwnd_));
    probe.code = VEL_HANDLED;
    probe.slot = 6;
    EXPECT_EQ(SendMessageW(hwnd_, WM_CLOSE, 0, 0), 6);
    EXPECT_FALSE(IsWindow(hwnd_));
    // The application's procedure saw the destroy before the record was freed.
    EXPECT_NE(std::find(probe.seen.begin(), probe.seen.end(), UINT(WM_DESTROY)), probe.seen.end());
}

TEST_F(Window, ResizeReachesEveryWidgetNewestFirst)
{
    widget_log second;
    vel_widget *w2 = vel_widget_create(nullptr, win_, 0, 0, nullptr, 0, 0, 5, 5, 5, &second, logging_widget,
                                       VEL_CUSTOM, nullptr);
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(w2->id, widget_->id + 1);
    EXPECT_EQ(widget_->id, 6000);
    std::vector<vel_widget *> order;
    const vel_list_node *n = win_->widgets;
    do {
        order.push_back(static_cast<vel_widget *>(n->data));
        n = n->next;
    } while (n != win_->widgets);
    EXPECT_EQ(order, (std::vector<vel_widget *>{w2, widget_}));
    log_.got.clear();
    MoveWindow(hwnd_, 50, 50, 420, 320, TRUE);
    EXPECT_TRUE(parent_size_reached_widget());
    ASSERT_FALSE(second.got.empty());
    EXPECT_EQ(second.got.front().first, UINT(VEL_WM_PARENT_SIZE));
}

TEST_F(Window, CommandFromAWidgetComesBackAsToolkitCommand)
{
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(widget_->id, BN_CLICKED), reinterpret_cast<LPARAM>(widget_->hwnd));
    ASSERT_EQ(probe.commands.size(), 2u);
    EXPECT_EQ(probe.commands[1].first, MAKEWPARAM(widget_->id, BN_CLICKED));
    EXPECT_EQ(probe.commands[1].second, reinterpret_cast<LPARAM>(widget_));
    probe.commands.clear();
    // A menu command has no widget: no toolkit command.
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(123, 0), 0);
    ASSERT_EQ(probe.commands.size(), 1u);
}

TEST_F(Window, NotifyIsReflectedToTheNotifyingControl)
{
    NMHDR hdr{widget_->hwnd, static_cast<UINT_PTR>(widget_->id), NM_CLICK};
    EXPECT_EQ(SendMessageW(hwnd_, WM_NOTIFY, widget_->id, reinterpret_cast<LPARAM>(&hdr)), 0);
    ASSERT_EQ(log_.got.size(), 1u);
    EXPECT_EQ(log_.got[0], (std::pair<UINT, WPARAM>{VEL_WM_NOTIFY, WPARAM(widget_->id)}));
}

TEST_F(Window, OwnerDrawingDirectAndThroughAMemoryBitmap)
{
    wintest_canvas canvas(40, 40);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(widget_->id);
    dis.hDC = canvas.dc();
    dis.rcItem = {0, 0, 30, 20};
    // Direct: the widget gets 0 and the structure.
    EXPECT_EQ(SendMessageW(hwnd_, WM_DRAWITEM, widget_->id, reinterpret_cast<LPARAM>(&dis)), 1);
    ASSERT_EQ(log_.got.size(), 1u);
    EXPECT_EQ(log_.got[0], (std::pair<UINT, WPARAM>{VEL_WM_DRAWITEM, 0}));
    EXPECT_EQ(canvas.at(5, 5), RGB(0, 0, 0));
    // Buffered: painted off screen, copied only when the widget says so, at the item size.
    widget_->draw_flags = 1;
    log_.draw_answer = 0;
    EXPECT_EQ(SendMessageW(hwnd_, WM_DRAWITEM, widget_->id, reinterpret_cast<LPARAM>(&dis)), 1);
    EXPECT_NE(log_.got.back().second, 0u);
    EXPECT_EQ(canvas.at(5, 5), RGB(0, 0, 0));
    log_.draw_answer = 1;
    SendMessageW(hwnd_, WM_DRAWITEM, widget_->id, reinterpret_cast<LPARAM>(&dis));
    EXPECT_EQ(canvas.at(29, 19), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(30, 19), RGB(0, 0, 0));
    EXPECT_EQ(canvas.at(29, 20), RGB(0, 0, 0));
    // No such widget: handled with 0.
    dis.CtlID = 999;
    EXPECT_EQ(SendMessageW(hwnd_, WM_DRAWITEM, 999, reinterpret_cast<LPARAM>(&dis)), 0);
}

TEST_F(Window, MeasureItemReachesTheWidget)
{
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_BUTTON;
    mis.CtlID = static_cast<UINT>(widget_->id);
    SendMessageW(hwnd_, WM_MEASUREITEM, widget_->id, reinterpret_cast<LPARAM>(&mis));
    EXPECT_EQ(mis.itemHeight, 31u);
    mis.CtlID = 4242;
    SendMessageW(hwnd_, WM_MEASUREITEM, 4242, reinterpret_cast<LPARAM>(&mis));
    EXPECT_EQ(log_.got.size(), 1u);
}

TEST_F(Window, ControlColourUsesTheWidgetBackground)
{
    wintest_canvas canvas(4, 4);
    HBRUSH brush = vel_widget_setbackground(widget_, RGB(10, 200, 30));
    ASSERT_NE(brush, nullptr);
    for (UINT msg : {WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT, WM_CTLCOLORBTN, WM_CTLCOLORLISTBOX}) {
        SetBkColor(canvas.dc(), RGB(1, 2, 3));
        EXPECT_EQ(SendMessageW(hwnd_, msg, reinterpret_cast<WPARAM>(canvas.dc()),
                               reinterpret_cast<LPARAM>(widget_->hwnd)),
                  reinterpret_cast<LRESULT>(brush));
        EXPECT_EQ(GetBkColor(canvas.dc()), RGB(10, 200, 30));
    }
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, hwnd_, nullptr, nullptr, nullptr);
    EXPECT_NE(SendMessageW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()),
                           reinterpret_cast<LPARAM>(other)),
              reinterpret_cast<LRESULT>(brush));
}

TEST_F(Window, RefusedCreationLeavesNothingBehind)
{
    probe.create_code = VEL_HANDLED;
    probe.create_slot = -1;
    vel_window *refused = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"refused", 0, 0, 100,
                                            100, nullptr, nullptr, probe_proc);
    EXPECT_EQ(refused, nullptr);
    // The next window still works (the heap survived the refused one).
    probe.create_code = VEL_CONTINUE;
    vel_window *ok = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"ok", 0, 0, 100, 100,
                                       nullptr, nullptr, probe_proc);
    ASSERT_NE(ok, nullptr);
    DestroyWindow(ok->hwnd);
}

TEST_F(Window, CaptionIconsMenuAndSize)
{
    EXPECT_EQ(vel_window_setcaption(win_, L"Lorvando"), 1);
    wchar_t buf[4];
    EXPECT_EQ(vel_window_getcaption(win_, buf, 4), 3);
    EXPECT_STREQ(buf, L"Lor");
    vel_size size{};
    ASSERT_EQ(vel_window_getsize(win_, &size), 1);
    EXPECT_EQ(size.width, 400);
    EXPECT_EQ(size.height, 300);
    HICON big = LoadIconW(nullptr, IDI_APPLICATION), small = LoadIconW(nullptr, IDI_WARNING);
    vel_window_seticon(win_, big, small);
    EXPECT_EQ(SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(big));
    EXPECT_EQ(SendMessageW(hwnd_, WM_GETICON, ICON_SMALL, 0), reinterpret_cast<LRESULT>(small));
    vel_window_seticon(win_, nullptr, nullptr);
    EXPECT_EQ(SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(big));
    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 100, L"Fájl");
    EXPECT_EQ(vel_window_setmenu(win_, menu), 1);
    EXPECT_EQ(GetMenu(hwnd_), menu);
    vel_window_ontop(win_, 1);
    EXPECT_TRUE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    vel_window_ontop(win_, 0);
    EXPECT_FALSE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Window, FullScreenRoundTripsAndRestoreLeavesIt)
{
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    RECT before;
    GetWindowRect(hwnd_, &before);
    struct row {
        bool maximised_first;
        bool leave_by_restore_command;
    } const rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << "maximised " << r.maximised_first << " by SC_RESTORE "
                                        << r.leave_by_restore_command);
        ShowWindow(hwnd_, r.maximised_first ? SW_MAXIMIZE : SW_RESTORE);
        ASSERT_EQ(vel_window_fullscreen(win_, 1), 1);
        EXPECT_EQ(win_->state & 1u, 1u);
        EXPECT_FALSE(GetWindowLongW(hwnd_, GWL_STYLE) & WS_CAPTION);
        EXPECT_TRUE(IsZoomed(hwnd_));
        if (r.leave_by_restore_command) {
            probe.active = true;
            EXPECT_EQ(SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0), 0);
            probe.active = false;
        } else {
            ASSERT_EQ(vel_window_fullscreen(win_, 0), 1);
        }
        EXPECT_EQ(win_->state & 1u, 0u);
        EXPECT_EQ(GetWindowLongW(hwnd_, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
        // Had the restore command gone on to the default procedure, a window maximised
        // before full screen would end restored.
        EXPECT_EQ(IsZoomed(hwnd_) != 0, r.maximised_first);
    }
    ShowWindow(hwnd_, SW_RESTORE);
    RECT after;
    GetWindowRect(hwnd_, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    // Without full screen the restore command restores as usual.
    ShowWindow(hwnd_, SW_MAXIMIZE);
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsZoomed(hwnd_));
}

TEST_F(Window, FullScreenRefusesChildWindows)
{
    vel_window *child = vel_window_create(nullptr, nullptr, nullptr, 0, WS_CHILD | WS_VISIBLE, L"", 0, 0, 50, 50,
                                          hwnd_, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(vel_window_fullscreen(child, 1), 0);
    EXPECT_EQ(child->state, 0u);
}

int self_destroying(vel_window *, HWND hwnd, UINT msg, WPARAM wp, LPARAM, LRESULT *)
{
    if (msg == WM_COMMAND && LOWORD(wp) == 42)
        DestroyWindow(hwnd);
    return VEL_CONTINUE;
}

TEST(WindowLifetime, ProcedureDestroyingItsOwnWindowEndsTheDispatch)
{
    wintest_init();
    vel_window *w = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"exit", 0, 0, 100, 100,
                                      nullptr, nullptr, self_destroying);
    ASSERT_NE(w, nullptr);
    HWND h = w->hwnd;
    EXPECT_EQ(SendMessageW(h, WM_COMMAND, 42, 0), 0);
    EXPECT_FALSE(IsWindow(h));
}

// Ends a loop that failed to end by itself, so a broken loop fails instead of hanging.
void CALLBACK give_up(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

TEST_F(Window, LoopEndsOnlyWithTheMainWindowAndTranslatesAccelerators)
{
    vel_window *other = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"other", 0, 0, 100,
                                          100, nullptr, nullptr, probe_proc);
    ASSERT_NE(other, nullptr);
    HWND other_hwnd = other->hwnd;
    ACCEL accel{FCONTROL | FVIRTKEY, 'K', 123};
    HACCEL table = CreateAcceleratorTableW(&accel, 1);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(other_hwnd, WM_CLOSE, 0, 0);
    PostMessageW(hwnd_, WM_KEYDOWN, 'K', 0);
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 5000, give_up);
    const WPARAM exit_code = vel_run(win_, table);
    KillTimer(nullptr, timer);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    DestroyAcceleratorTable(table);
    EXPECT_EQ(exit_code, 0u);
    EXPECT_FALSE(IsWindow(other_hwnd));
    EXPECT_FALSE(IsWindow(hwnd_));
    // The accelerator arrived after the other window was gone: the loop went on.
    bool accelerated = false;
    for (auto &c : probe.commands)
        accelerated |= c.second == -1 && c.first == MAKEWPARAM(123, 1);
    EXPECT_TRUE(accelerated);
}


// A modal loop of the kind that drops the quit message: it takes every message until the
// loop's own end and dispatches it, the quit message too.
bool swallowing_loop_done;

void CALLBACK quit_inside_loop(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    vel_quit(7);
    swallowing_loop_done = true;
}

void run_swallowing_loop()
{
    swallowing_loop_done = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, quit_inside_loop);
    MSG msg;
    while (!swallowing_loop_done && GetMessageW(&msg, nullptr, 0, 0) >= 0) {
        if (msg.message == WM_QUIT)
            continue;  // dropped
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    // Whatever is left of the quit goes with the loop, as in a loop that eats it.
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

int loop_starter(vel_window *, HWND, UINT msg, WPARAM, LPARAM, LRESULT *result)
{
    if (msg != WM_APP)
        return VEL_CONTINUE;
    run_swallowing_loop();
    *result = 0;
    return VEL_DONE;
}

void CALLBACK give_up_menu(HWND, UINT, UINT_PTR, DWORD)
{
    EndMenu();
    PostQuitMessage(99);
}

void CALLBACK quit_in_menu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    vel_quit(5);
}

TEST_F(Window, QuitEndsTheLoopWhateverModalLoopIsRunning)
{
    // A loop that drops the quit message: the main loop ends as soon as it returns.
    vel_window *w = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW, L"modal", 0, 0, 100, 100,
                                      nullptr, nullptr, loop_starter);
    ASSERT_NE(w, nullptr);
    PostMessageW(w->hwnd, WM_APP, 0, 0);
    UINT_PTR timer = SetTimer(nullptr, 0, 5000, give_up_menu);
    EXPECT_EQ(vel_run(w, nullptr), 7u);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(swallowing_loop_done);
    DestroyWindow(w->hwnd);
    wintest_flush();

    // The menu bar in keyboard mode (Alt pressed and released): the menu closes and the
    // loop ends.
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 53, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    w = vel_window_create(nullptr, nullptr, nullptr, 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"menu", 0, 0, 200, 150,
                          nullptr, bar, probe_proc);
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd;
    wintest_flush();
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
    SetTimer(nullptr, 0, 200, quit_in_menu);
    timer = SetTimer(nullptr, 0, 5000, give_up_menu);
    EXPECT_EQ(vel_run(w, nullptr), 5u);
    KillTimer(nullptr, timer);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetCurrentThreadId(), &info);
    EXPECT_FALSE(info.flags & GUI_INMENUMODE);
    DestroyWindow(hwnd);
    wintest_flush();
}

}  // namespace
