// The part of the chat children's window procedure they share: commands passed on as
// system commands, the focus, activation clearing the unseen-text mark, and the two ways
// of answering a close request; on a child of its own and on the status window and the
// room list that use it.

#include <gtest/gtest.h>

#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "protocol/internal.h"
#include "ui/chatwnd.h"
#include "ui/childwnd.h"
#include "ui/drawwnd.h"
#include "ui/infobox.h"
#include "ui/msgbox.h"
#include "ui/privwnd.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// A child whose procedure is the shared part alone, recording the system commands it gets.
struct TestChild {
    childwnd_common common{};
    std::vector<WPARAM> syscommands;
    vel_window *wnd = nullptr;
    vel_widget *edit = nullptr;
};

int test_child_proc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *child = static_cast<TestChild *>(self->user);
    if (!child)
        return VEL_CONTINUE;
    if (msg == WM_SYSCOMMAND && wp < 0xF000)
        child->syscommands.push_back(wp);
    return childwnd_handle(&child->common, self, hwnd, msg, wp, lp, result);
}

struct Childwnd : UiFrame {
    TestChild child;
    void open(int close)
    {
        child.wnd = vel_mdichild_create(&child, nullptr, nullptr, WS_VISIBLE | WS_OVERLAPPEDWINDOW, L"gyerek",
                                        CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, mw->frame, test_child_proc);
        ASSERT_NE(child.wnd, nullptr);
        child.edit = vel_widget_create(&child, child.wnd, 0, WS_CHILD | WS_VISIBLE, L"", 0, 0, 100, 20, 0, nullptr,
                                       nullptr, VEL_CUSTOM, L"EDIT");
        ASSERT_NE(child.edit, nullptr);
        child.common = {mw, mainwnd_add_childwindow(mw, child.wnd, MAINWND_KIND_PRIVATE, L"gyerek", L"gyerek"),
                        child.edit, close};
        ASSERT_NE(child.common.winlist_entry, nullptr);
        wintest_flush();
    }
    void TearDown() override
    {
        if (child.wnd && IsWindow(child.wnd->hwnd)) {
            mainwnd_del_childwindow(mw, child.wnd);
            vel_mdichild_destroy(child.wnd);
        }
        wintest_flush();
    }
    std::wstring entry(vel_window *w) const
    {
        wchar_t text[64] = {};
        const int item = mainwnd_find_listitem(mw, w);
        if (item >= 0)
            vel_listview_getitemtext(mw->windowlist, item, 0, text, 64);
        return text;
    }
    void activate(vel_window *w) const
    {
        SendMessageW(mw->mdi_client->hwnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(w->hwnd), 0);
        wintest_flush();
    }
};

TEST_F(Childwnd, CommandsWithoutAControlBecomeSystemCommands)
{
    open(CHILDWND_CLOSE_MINIMISES);
    HWND hwnd = child.wnd->hwnd;
    // A menu item (high word 0) and a key (high word 1) keep their id.
    EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(3, 0), 0), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(6, 1), 0);
    // A control's notification is not a command of the window.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), reinterpret_cast<LPARAM>(child.edit->hwnd));
    EXPECT_EQ(child.syscommands, (std::vector<WPARAM>{3, 6}));
}

TEST_F(Childwnd, FocusGoesToTheNamedWidget)
{
    open(CHILDWND_CLOSE_MINIMISES);
    SetFocus(mw->frame->hwnd);
    SendMessageW(child.wnd->hwnd, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(GetFocus(), child.edit->hwnd);
    // The status window hands the focus to its input line the same way.
    SendMessageW(mw->statwnd->wnd->hwnd, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(GetFocus(), mw->statwnd->edit->hwnd);
}

TEST_F(Childwnd, ActivationClearsTheUnseenMark)
{
    open(CHILDWND_CLOSE_MINIMISES);
    activate(mw->statwnd->wnd);
    struct Case {
        vel_window *wnd;
        const wchar_t *clean;
    };
    const Case cases[] = {
        {child.wnd, L"e gyerek_"},
        {mw->rlistwnd->wnd, L"b szobalista_"},
        {mw->statwnd->wnd, L"a status_"},
    };
    for (const Case &c : cases) {
        activate(mw->statwnd->wnd == c.wnd ? child.wnd : mw->statwnd->wnd);
        mainwnd_set_dirty_flag(mw, c.wnd, 1, 0);
        std::wstring dirty = c.clean;
        dirty.back() = L'*';
        EXPECT_EQ(entry(c.wnd), dirty);
        activate(c.wnd);
        EXPECT_EQ(entry(c.wnd), c.clean);
    }
}

TEST_F(Childwnd, CloseMinimisesOrLeavesTheWindowList)
{
    open(CHILDWND_CLOSE_MINIMISES);
    // The status window and the room list only minimise, like a child that asks for it.
    for (vel_window *wnd : {child.wnd, sw->wnd, rw->wnd}) {
        HWND hwnd = wnd->hwnd;
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
        ASSERT_TRUE(IsWindow(hwnd));
        EXPECT_TRUE(IsIconic(hwnd));
        EXPECT_NE(mainwnd_get_button(mw, wnd), nullptr);
        if (wnd != child.wnd) {
            SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
            wintest_flush();
            EXPECT_FALSE(IsIconic(hwnd));
        }
    }
    HWND hwnd = child.wnd->hwnd;

    child.common.close = CHILDWND_CLOSE_LEAVES;
    const int buttons = mw->button_count;
    vel_window *wnd = child.wnd;
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(mainwnd_find_listitem(mw, wnd), -1);
    EXPECT_EQ(mw->button_count, buttons - 1);
    child.wnd = nullptr;
}

// The typed line comes as UTF-8, cut to the capacity in UTF-16 units, and the input line
// is empty afterwards.
TEST_F(Childwnd, TakeLineReadsUtf8WithinItsCapacityAndEmptiesTheInput)
{
    open(CHILDWND_CLOSE_MINIMISES);
    struct Case {
        const wchar_t *typed;
        size_t capacity;
        const char *want;
    };
    const Case cases[] = {
        {L"", 64, ""},
        {L"szia", 64, "szia"},
        {L"\x00e1rv\x00edzt\x0171r\x0151", 64, "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91"},
        // Each half of a surrogate pair on its own, as the server decodes it unit by unit.
        {L"\xD83D\xDE00!", 64, "\xED\xA0\xBD\xED\xB8\x80!"},
        {L"abcdef", 4, "abc"},
        {L"abc", 1, ""},
    };
    for (const Case &c : cases) {
        vel_widget_settext(child.edit, c.typed);
        EXPECT_EQ(childwnd_take_line(child.edit, c.capacity), c.want) << c.capacity;
        wchar_t left[8] = {L'x', 0};
        vel_widget_gettext(child.edit, left, 8);
        EXPECT_STREQ(left, L"");
    }
    EXPECT_EQ(childwnd_take_line(nullptr, 64), "");
}

// ---- A child that refuses its creation (a widget that cannot be made). Windows NT sends
// the refused window WM_DESTROY, which Wine leaves out: the hooks below send it as NT
// does. The record must be freed exactly once: blocks of its size taken right after that
// WM_DESTROY get its memory back if that message freed it, and a second free by the
// creator then lands on them.
// While it lives, chat children refuse their creation and get WM_DESTROY as on NT.
struct refusal {
    HHOOK cbt = nullptr, ret = nullptr;
    size_t record_size = 0;
    int destroys = 0;
    wintest_reused_blocks blocks;
    explicit refusal(size_t size);
    ~refusal();
    refusal(const refusal &) = delete;
    refusal &operator=(const refusal &) = delete;
};
refusal *refusing;

bool is_class(HWND hwnd, const wchar_t *name)
{
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    return std::wcscmp(cls, name) == 0;
}

// No widget of a chat child can be made.
LRESULT CALLBACK refuse_widgets(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND) {
        const auto *cbt = reinterpret_cast<const CBT_CREATEWNDW *>(lp);
        if (cbt->lpcs->hwndParent && is_class(cbt->lpcs->hwndParent, L"velc"))
            return 1;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK destroy_as_nt_does(int code, WPARAM wp, LPARAM lp)
{
    const auto *ret = reinterpret_cast<const CWPRETSTRUCT *>(lp);
    // Wine reports no result for WM_CREATE here; every chat child made while refusing is
    // a refused one.
    if (code == HC_ACTION && refusing && ret->message == WM_CREATE && is_class(ret->hwnd, L"velc")) {
        SendMessageW(ret->hwnd, WM_DESTROY, 0, 0);
        refusing->destroys++;
        refusing->blocks.take(refusing->record_size);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

refusal::refusal(size_t size) : record_size(size)
{
    refusing = this;
    cbt = SetWindowsHookExW(WH_CBT, refuse_widgets, nullptr, GetCurrentThreadId());
    ret = SetWindowsHookExW(WH_CALLWNDPROCRET, destroy_as_nt_does, nullptr, GetCurrentThreadId());
}

refusal::~refusal()
{
    UnhookWindowsHookEx(cbt);
    UnhookWindowsHookEx(ret);
    refusing = nullptr;
}

TEST_F(Childwnd, RefusedCreationFreesTheRecordOnce)
{
    Room room{};
    room.id = 4242;
    room.name = const_cast<char *>("Tilos");
    room.theme = const_cast<char *>("");
    chatwnd *chat = chatwnd_create(mw, &room);
    ASSERT_NE(chat, nullptr);
    const int buttons = mw->button_count;
    struct kind {
        const char *name;
        size_t size;
        void *(*create)(mainwnd *, Room *, chatwnd *);
    };
    const kind kinds[] = {
        {"popup", sizeof(msgbox), [](mainwnd *f, Room *, chatwnd *) -> void * {
             return msgbox_create(f, "Figyelem", "szoveg", 1, 1);
         }},
        {"information box", sizeof(infobox), [](mainwnd *f, Room *r, chatwnd *) -> void * {
             return infobox_create(f, INFOBOX_ROOM, r);
         }},
        {"drawing board", sizeof(drawwnd), [](mainwnd *f, Room *, chatwnd *c) -> void * {
             return drawwnd_create(f, c);
         }},
        {"room", sizeof(chatwnd), [](mainwnd *f, Room *, chatwnd *) -> void * {
             Room other{};
             other.id = 4243;
             other.name = const_cast<char *>("Masik");
             other.theme = const_cast<char *>("");
             return chatwnd_create(f, &other);
         }},
        {"private", sizeof(privwnd), [](mainwnd *f, Room *, chatwnd *) -> void * {
             return privwnd_create(f, 777, "anna");
         }},
    };
    for (const kind &k : kinds) {
        SCOPED_TRACE(k.name);
        refusal scope(k.size);
        EXPECT_EQ(k.create(mw, &room, chat), nullptr);
        EXPECT_EQ(scope.destroys, 1);
        EXPECT_TRUE(scope.blocks.untouched());
        EXPECT_EQ(mw->button_count, buttons);
    }
    EXPECT_EQ(chat->drawwnd, nullptr);
    SendMessageW(chat->wnd->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
}

}  // namespace
