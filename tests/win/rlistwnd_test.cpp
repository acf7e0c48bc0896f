// The room list window under the platform: letters and sort order, the drawn colours,
// column 2 filling the width, selection, entering by name and by id, the not-logged-in
// box, and the progress texts while the list downloads.

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/util.h"
#include "ui/rlistwnd_rooms.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t T_ENTER_ = 5;

struct Rlistwnd : UiFrame {
    void SetUp() override
    {
        UiFrame::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        clear();
    }
    void TearDown() override
    {
        clear();
        rlistwnd_room_windows = {};
    }
    void clear()
    {
        rlistwnd_deleteall(rw);
        LVC_FreeRoomlist();
    }
    // A room in the directory and in the list.
    Room *add(int32_t id, const char *name, int32_t states, const char *theme = "", int32_t users = 3)
    {
        Room *room = room_add(id, name, theme, states, users);
        EXPECT_EQ(rlistwnd_add_room(rw, room), 1);
        return room;
    }
    std::vector<std::wstring> texts() const
    {
        std::vector<std::wstring> out;
        int n = vel_listview_getitemcount(rw->list);
        for (int i = 0; i < n; i++) {
            wchar_t buf[256];
            vel_listview_getitemtext(rw->list, i, 0, buf, 256);
            out.push_back(buf);
        }
        return out;
    }
    int column_sum() const
    {
        return vel_listview_getcolumnwidth(rw->list, 0) + vel_listview_getcolumnwidth(rw->list, 1) +
               vel_listview_getcolumnwidth(rw->list, 2);
    }
    int list_client_width() const
    {
        RECT rc;
        GetClientRect(rw->list->hwnd, &rc);
        return rc.right;
    }
    std::wstring caption() const
    {
        wchar_t buf[64] = {};
        GetWindowTextW(rw->wnd->hwnd, buf, 64);
        return buf;
    }
    std::wstring entry() const
    {
        wchar_t buf[64] = {};
        int item = mainwnd_find_listitem(mw, rw->wnd);
        if (item >= 0)
            vel_listview_getitemtext(mw->windowlist, item, 0, buf, 64);
        return buf;
    }
    std::wstring name_field() const
    {
        wchar_t buf[300] = {};
        vel_widget_gettext(rw->name_edit, buf, 300);
        return buf;
    }
    std::wstring tooltip() const
    {
        wchar_t tip[64] = {};
        vel_widget_gettooltiptext(rw->winlist_entry, tip, 64);
        return tip;
    }
    void select(int item)
    {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    }
};

TEST_F(Rlistwnd, StateLettersAndColours)
{
    struct Case {
        int32_t id, states;
        char letter;
        COLORREF colour;
    };
    const Case cases[] = {
        {5, 0x00, 'y', RGB(0, 0, 0)},
        {5, 0x02, 'y', RGB(0, 0, 0)},
        {5, 0x01, 'c', RGB(0x31, 0x4B, 0x6A)},
        {5, 0x09, 'a', RGB(0xFF, 0, 0)},
        {999999, 0x10, 'd', RGB(0x4A, 0x41, 0xC6)},
        {1000000, 0x10, 'e', RGB(0x4A, 0x41, 0xC6)},
        {1000001, 0x10, 'e', RGB(0x8C, 0x18, 0xC6)},
        {5, 0x19, 'd', RGB(0x4A, 0x41, 0xC6)},
        {5, 0x1D, 'z', RGB(0x80, 0x80, 0x80)},
        {2000000, 0x04, 'z', RGB(0x80, 0x80, 0x80)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(rlistwnd_state_letter(c.id, c.states), c.letter) << c.id << " " << c.states;
        EXPECT_EQ(rlistwnd_text_colour(c.id, c.states), c.colour) << c.id << " " << c.states;
    }
}

TEST_F(Rlistwnd, SortedByGroupThenName)
{
    add(1, "Zeta", 0);
    add(2, "Alfa", 0x04);
    add(3, "Beta", 0x08);
    add(4, "Gamma", 0x01);
    add(1000005, "Delta", 0x10);
    add(6, "Epszilon", 0x10);
    add(7, "Alfa", 0);
    add(8, "\xc3\x81rv\xc3\xadz", 0x08);
    const std::vector<std::wstring> want = {L"a Beta",  L"a \u00c1rv\u00edz", L"c Gamma", L"d Epszilon",
                                            L"e Delta", L"y Alfa",            L"y Zeta",  L"z Alfa"};
    std::vector<std::wstring> got = texts();
    ASSERT_EQ(got.size(), want.size());
    // Within group a the platform's own comparison orders the accented name.
    EXPECT_EQ(got[0].substr(0, 2), L"a ");
    EXPECT_EQ(got[1].substr(0, 2), L"a ");
    for (size_t i = 2; i < want.size(); i++)
        EXPECT_EQ(got[i], want[i]) << i;
    EXPECT_EQ(rw->room_count, 8);
}

TEST_F(Rlistwnd, CountDeletionAndStateChanges)
{
    Room *a = add(1, "Egy", 0);
    Room *b = add(2, "Ketto", 0);
    add(3, "Harom", 0);
    EXPECT_EQ(rw->room_count, 3);
    rlistwnd_del_room(rw, b);
    EXPECT_EQ(rw->room_count, 2);
    Room stranger{};
    stranger.id = 99;
    rlistwnd_del_room(rw, &stranger);
    EXPECT_EQ(rw->room_count, 2) << "a room not listed changes nothing";

    // A new state moves the room to its group; topic and count changes leave it in place.
    a->states = 0x08;
    rlistwnd_chg_states(rw, a);
    EXPECT_EQ(texts(), (std::vector<std::wstring>{L"a Egy", L"y Harom"}));
    a->usercnt = 50;
    rlistwnd_chg_usercnt(rw, a);
    rlistwnd_chg_theme(rw, a);
    EXPECT_EQ(texts(), (std::vector<std::wstring>{L"a Egy", L"y Harom"}));
    EXPECT_EQ(rw->room_count, 2);

    rlistwnd_deleteall(rw);
    EXPECT_EQ(rw->room_count, 0);
    EXPECT_EQ(vel_listview_getitemcount(rw->list), 0);
    add(4, "Uj", 0);
    EXPECT_EQ(rw->room_count, 1) << "a fresh list counts only its own rooms";
    ASSERT_NE(rw->winlist_entry, nullptr);
    rlistwnd_update_tooltip(rw);
    wintest_flush();  // the tooltip follows with the refresh
    EXPECT_EQ(tooltip(), L"szobalista - 1");
}

// Rooms come, go and change in batches as the server sends them. After every batch the
// list shows each listed room once, in the platform's own order of the texts (group
// letter, then name), the room the user selected stays selected without his typed name
// being overwritten, and the counts agree.
TEST_F(Rlistwnd, ManyChangesKeepOrderSelectionAndCounts)
{
    const char *stems[] = {"Alfa", "alfa", "\xc3\x81rv\xc3\xadz", "Beta", "Zeta", "\xc3\x96" "b\xc3\xb6l", "Kert-Haz",
                           "szoba", "Szoba", "Tarsalgo"};
    const int32_t states[] = {0x00, 0x01, 0x08, 0x10, 0x04, 0x02};
    std::vector<Room *> listed;
    uint32_t seed = 7;
    auto random = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    int32_t next_id = 1;
    auto add_new = [&] {
        const int32_t id = next_id++;
        std::string name = std::string(stems[random(10)]) + " " + std::to_string(random(1000));
        listed.push_back(add(id, name.c_str(), states[random(6)], "", static_cast<int32_t>(random(50))));
    };
    auto text_of = [](const Room *room) {
        std::u16string name(std::strlen(room->name) + 1, u'\0');
        utf8_to_ucs2(name.data(), room->name);
        return std::wstring(1, rlistwnd_state_letter(room->id, room->states)) + L" " +
               reinterpret_cast<const wchar_t *>(name.c_str());
    };
    auto expected = [&] {
        std::vector<std::wstring> want;
        for (const Room *room : listed)
            want.push_back(text_of(room));
        std::stable_sort(want.begin(), want.end(),
                         [](const std::wstring &a, const std::wstring &b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
        return want;
    };
    for (int i = 0; i < 400; i++)
        add_new();
    wintest_flush();
    ASSERT_EQ(texts(), expected());
    select(7);
    wintest_flush();
    // The selected room, and any of the same text, are left alone until the end.
    const std::wstring chosen = texts()[7];
    vel_widget_settext(rw->name_edit, L"amit a user gepel");

    for (int round = 0; round < 12; round++) {
        SCOPED_TRACE(round);
        for (int op = 0; op < 30; op++) {
            const size_t at = random(static_cast<uint32_t>(listed.size()));
            Room *room = listed[at];
            if (text_of(room) == chosen)
                continue;
            switch (random(4)) {
            case 0:
                add_new();
                break;
            case 1:
                rlistwnd_del_room(rw, room);
                listed.erase(listed.begin() + static_cast<long>(at));
                break;
            case 2:
                room->states = states[random(6)];
                rlistwnd_chg_states(rw, room);
                break;
            default:
                room->usercnt++;
                rlistwnd_chg_usercnt(rw, room);
                break;
            }
        }
        rlistwnd_update_tooltip(rw);
        wintest_flush();
        const std::vector<std::wstring> shown = texts();
        ASSERT_EQ(shown, expected());
        EXPECT_EQ(rw->room_count, static_cast<int32_t>(listed.size()));
        EXPECT_EQ(tooltip(), L"szobalista - " + std::to_wstring(listed.size()));
        const int selected = vel_listview_getnextitem(rw->list, -1, LVNI_SELECTED);
        ASSERT_GE(selected, 0);
        EXPECT_EQ(shown[static_cast<size_t>(selected)], chosen);
        EXPECT_EQ(name_field(), L"amit a user gepel");
    }
    // The selected room goes: nothing stays selected.
    for (const Room *room : listed)
        if (text_of(room) == chosen)
            rlistwnd_del_room(rw, room);
    wintest_flush();
    EXPECT_EQ(vel_listview_getnextitem(rw->list, -1, LVNI_SELECTED), -1);
    EXPECT_EQ(vel_listview_getitemcount(rw->list), rw->room_count);
}

TEST_F(Rlistwnd, ColumnTwoFillsTheWidth)
{
    for (int i = 0; i < 40; i++)
        add(100 + i, ("Szoba " + std::to_string(i)).c_str(), 0);
    // The rows (and with them the scroll bar) come with the refresh.
    wintest_flush();
    EXPECT_EQ(column_sum(), list_client_width());
    HWND hwnd = rw->wnd->hwnd;
    for (SIZE size : {SIZE{600, 300}, SIZE{320, 200}, SIZE{800, 500}, SIZE{450, 270}}) {
        SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
        wintest_flush();
        EXPECT_EQ(column_sum(), list_client_width()) << size.cx;
    }
    // Removing rooms takes the scroll bar away: the column grows with the client area.
    clear();
    add(1, "Egyetlen", 0);
    wintest_flush();
    EXPECT_EQ(column_sum(), list_client_width());

    // A finished divider drag refits column 2 when the header reports the change.
    HWND header = reinterpret_cast<HWND>(SendMessageW(rw->list->hwnd, LVM_GETHEADER, 0, 0));
    NMHEADERW end{};
    end.hdr.hwndFrom = header;
    end.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(header));
    end.hdr.code = HDN_ENDTRACKW;
    SendMessageW(rw->list->hwnd, WM_NOTIFY, end.hdr.idFrom, reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(rw->header_dragged, 1);
    vel_listview_setcolumnwidth(rw->list, 0, 200);
    wintest_flush();
    EXPECT_EQ(rw->header_dragged, 0);
    EXPECT_EQ(vel_listview_getcolumnwidth(rw->list, 0), 200);
    EXPECT_EQ(column_sum(), list_client_width());
    vel_listview_setcolumnwidth(rw->list, 0, 146);
    rlistwnd_adjust_list(rw);
}

TEST_F(Rlistwnd, NarrowWindowNeverAutoSizesColumnTwo)
{
    add(1, "Egy", 0, "egy nagyon hosszu tema, ami nem fer ki");
    SetWindowPos(rw->wnd->hwnd, nullptr, 0, 0, 120, 120, SWP_NOZORDER | SWP_NOMOVE);
    wintest_flush();
    EXPECT_EQ(vel_listview_getcolumnwidth(rw->list, 2), 0);
    SetWindowPos(rw->wnd->hwnd, nullptr, 0, 0, 450, 270, SWP_NOZORDER | SWP_NOMOVE);
    wintest_flush();
    EXPECT_EQ(column_sum(), list_client_width());
}

// Draws one item into an off-screen canvas through the list's own drawing message.
struct DrawnItem {
    wintest_canvas canvas{400, 16};
    DrawnItem(const rlistwnd *rw, int item, int32_t id, bool selected)
    {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTVIEW;
        dis.itemID = static_cast<UINT>(item);
        dis.itemState = selected ? ODS_SELECTED : 0;
        dis.hDC = canvas.dc();
        dis.rcItem = {0, 0, 400, 16};
        dis.itemData = static_cast<ULONG_PTR>(id);
        SendMessageW(rw->list->hwnd, VEL_WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    }
    int count(COLORREF colour, int x0, int x1) const
    {
        int n = 0;
        for (int x = x0; x < x1; x++)
            for (int y = 0; y < 16; y++)
                n += canvas.at(x, y) == colour;
        return n;
    }
};

TEST_F(Rlistwnd, DrawnColours)
{
    struct Case {
        int32_t id, states;
        bool selected;
        COLORREF text, background;
    };
    const COLORREF bk = RGB(0xB4, 0xC5, 0xFA);
    const Case cases[] = {
        {10, 0x00, false, RGB(0, 0, 0), bk},
        {11, 0x01, false, RGB(0x31, 0x4B, 0x6A), bk},
        {12, 0x08, false, RGB(0xFF, 0, 0), bk},
        {1000000, 0x10, false, RGB(0x4A, 0x41, 0xC6), bk},
        {1000001, 0x10, false, RGB(0x8C, 0x18, 0xC6), bk},
        {13, 0x0C, false, RGB(0x80, 0x80, 0x80), bk},
        {14, 0x08, true, RGB(0xFF, 0xFF, 0xFF), RGB(0xFF, 0x86, 0x03)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        add(c.id, "WWWWWW", c.states, "$red$MMMM tema", 1234);
        DrawnItem drawn(rw, 0, c.id, c.selected);
        const int w0 = vel_listview_getcolumnwidth(rw->list, 0);
        const int w1 = vel_listview_getcolumnwidth(rw->list, 1);
        // Name, count and topic are all in the row's text colour (the topic's markup is gone).
        const auto font = reinterpret_cast<HFONT>(SendMessageW(rw->list->hwnd, WM_GETFONT, 0, 0));
        auto ink = [&](const wchar_t *text) { return wintest_text_ink(font, text, c.text, c.background); };
        const int name = ink(L"WWWWWW"), count = ink(L"1234"), topic = ink(L"MMMM tema");
        ASSERT_GT(name, 0);
        EXPECT_GE(drawn.count(c.text, 2, w0 - 2), name / 2);
        EXPECT_GE(drawn.count(c.text, w0, w0 + w1), count / 2);
        EXPECT_GE(drawn.count(c.text, w0 + w1 + 2, 399), topic / 2);
        EXPECT_EQ(drawn.count(RGB(0xFF, 0, 0), w0 + w1 + 2, 399) > 0, c.text == RGB(0xFF, 0, 0));
        EXPECT_EQ(drawn.canvas.at(w0 / 2, 14), c.background);
        // The two divider lines just left of column 2.
        EXPECT_EQ(drawn.canvas.at(w0 + w1 - 1, 8), RGB(0xFF, 0xFF, 0xFF));
        EXPECT_EQ(drawn.canvas.at(w0 + w1 - 2, 8), RGB(0x80, 0x80, 0xFF));
        // The selection frame.
        const COLORREF frame = RGB(0x8A, 0x61, 0x05);
        EXPECT_EQ(drawn.canvas.at(5, 0) == frame, c.selected);
        EXPECT_EQ(drawn.canvas.at(0, 8) == frame, c.selected);
        clear();
    }
}

TEST_F(Rlistwnd, NothingDrawnForAVanishedRoom)
{
    add(20, "Van", 0);
    DrawnItem gone(rw, 0, 21, false);
    EXPECT_EQ(gone.count(RGB(0, 0, 0), 0, 400), 400 * 16);
    DrawnItem none(rw, -1, 20, false);
    EXPECT_EQ(none.count(RGB(0, 0, 0), 0, 400), 400 * 16);
}

TEST_F(Rlistwnd, RowsAreSixteenPixelsHigh)
{
    add(1, "Egy", 0);
    add(2, "Ketto", 0);
    RECT r0{LVIR_BOUNDS, 0, 0, 0}, r1{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(rw->list->hwnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r0));
    SendMessageW(rw->list->hwnd, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r1));
    EXPECT_EQ(r1.top - r0.top, RLISTWND_ROW_HEIGHT);
}

TEST_F(Rlistwnd, SelectionCopiesTheName)
{
    add(1, "Egy", 0);
    add(2, "Masodik szoba", 0x08);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    wintest_flush();
    EXPECT_EQ(name_field(), L"Egy");

    // A left button press over an item copies that item's name.
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(rw->list->hwnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2);
    PostMessageW(rw->list->hwnd, WM_LBUTTONUP, 0, at);
    SendMessageW(rw->list->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    wintest_flush();
    EXPECT_EQ(name_field(), L"Masodik szoba");
}

TEST_F(Rlistwnd, ProgressTexts)
{
    struct Case {
        int32_t received, wanted;
        const wchar_t *caption;
    };
    const Case cases[] = {
        {0, 1, L"szobalista 0%"},
        {450, 1000, L"szobalista 45%"},
        {999, 1000, L"szobalista 99%"},
        {1000, 1000, L"szobalista"},
        {2000000000, 2100000000, L"szobalista 95%"},
        {0, 0, L"szobalista"},
        {5, 0, L"szobalista"},
    };
    for (const Case &c : cases) {
        rlistwnd_set_progress(rw, c.received, c.wanted);
        EXPECT_EQ(caption(), c.caption) << c.received << "/" << c.wanted;
        EXPECT_EQ(entry(), std::wstring(L"b ") + c.caption + L"_");
        wchar_t button[64] = {};
        vel_widget_gettext(rw->winlist_entry, button, 64);
        EXPECT_EQ(std::wstring(button), entry());
    }
}

TEST_F(Rlistwnd, NotLoggedInShowsTheBoxAndSendsNothing)
{
    add(5, "Fo", 0);
    vel_widget_settext(rw->name_edit, L"Fo");
    uitest_state state(1, 0);
    uitest_msgbox_watch watch(L"Error");
    rlistwnd_push_button(rw);
    watch.finish();
    EXPECT_TRUE(watch.found);
    EXPECT_EQ(watch.text, L"Not logged in.\nLog in with /login command!");
}

// While a whole list comes the list view keeps showing nothing: reading it places none of
// the rooms (the user sees none of them yet), and the rooms come into view, sorted, once
// the list is complete.
TEST_F(Rlistwnd, ADownloadingListIsShownWhenComplete)
{
    rlistwnd_list_begin(rw);
    for (int32_t id = 1; id <= 300; id++)
        add(id, ("szoba " + std::to_string(301 - id)).c_str(), 0);
    rlistwnd_update_tooltip(rw);
    EXPECT_EQ(vel_listview_getitemcount(rw->list), 0);
    wintest_flush();
    EXPECT_EQ(vel_listview_getitemcount(rw->list), 0);
    EXPECT_TRUE(rw->rooms->shown.empty());
    EXPECT_EQ(rw->room_count, 300);

    rlistwnd_list_end(rw);
    wintest_flush();
    const std::vector<std::wstring> shown = texts();
    ASSERT_EQ(shown.size(), 300u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](const std::wstring &a, const std::wstring &b) {
        return lstrcmpW(a.c_str(), b.c_str()) < 0;
    }));
    EXPECT_EQ(tooltip(), L"szobalista - 300");
    // Reading places changes at once again.
    add(400, "aaa elso", 0);
    EXPECT_EQ(vel_listview_getitemcount(rw->list), 301);
}

// A long list is placed a few keys a step while rooms keep coming and going: the rooms
// end where one sort of everything puts them, the shown ones first among equal texts and
// the added ones in the order they came.
TEST(RlistwndRooms, PlacingInStepsEndsAsOneSort)
{
    LVC_FreeRoomlist();
    const char *stems[] = {"Alfa", "alfa", "\xc3\x81rv\xc3\xadz", "Beta", "Zeta", "Kert-Haz", "szoba"};
    struct entry {
        int32_t id;
        std::wstring text;
    };
    std::vector<entry> shown, added;
    rlistwnd_rooms rooms;
    auto put = [&](int32_t id, bool now) {
        const std::string name = std::string(stems[id % 7]) + " " + std::to_string(id % 5);
        const char letter = "yca"[id % 3];
        room_add(id, name.c_str(), "", 0, 0);
        rlistwnd_rooms_add(&rooms, id, letter, name.c_str());
        std::u16string wide(name.size() + 1, u'\0');
        utf8_to_ucs2(wide.data(), name.c_str());
        (now ? shown : added).push_back({id, std::wstring(1, letter) + L" " + reinterpret_cast<const wchar_t *>(wide.c_str())});
    };
    auto drop = [&](std::vector<entry> *from, size_t at) {
        EXPECT_EQ(rlistwnd_rooms_del(&rooms, (*from)[at].id), 1);
        from->erase(from->begin() + static_cast<long>(at));
    };
    auto sorted = [](std::vector<entry> v) {
        std::stable_sort(v.begin(), v.end(),
                         [](const entry &a, const entry &b) { return lstrcmpW(a.text.c_str(), b.text.c_str()) < 0; });
        return v;
    };
    for (int32_t id = 1; id <= 40; id++)
        put(id, true);
    ASSERT_EQ(rlistwnd_rooms_place(&rooms, SIZE_MAX), 1);
    shown = sorted(shown);

    int32_t next = 100;
    for (int i = 0; i < 150; i++)
        put(next++, false);
    int steps = 0;
    while (!rlistwnd_rooms_place(&rooms, 16)) {
        steps++;
        put(next++, false);
        put(next++, false);
        if (steps == 3)
            drop(&added, 5);  // keyed and sorted already: the runs are made again
        if (steps == 5)
            drop(&added, added.size() - 1);  // not keyed yet
        if (steps == 6)
            drop(&shown, 3);
    }
    EXPECT_GT(steps, 8);

    // Shown rooms first among equals, then the added ones as they came.
    std::vector<entry> all = shown;
    all.insert(all.end(), added.begin(), added.end());
    const std::vector<entry> want = sorted(all);
    ASSERT_EQ(rooms.shown.size(), want.size());
    for (size_t i = 0; i < want.size(); i++)
        ASSERT_EQ(rooms.shown[i].id, want[i].id) << "at " << i;
    EXPECT_TRUE(rooms.added.empty());
    EXPECT_TRUE(rooms.sorted.empty());
    LVC_FreeRoomlist();
}

// ---------------------------------------------------------------- with a connection

struct RlistwndConnected : UiConnected<Rlistwnd> {
    void SetUp() override
    {
        UiConnected::SetUp();
        lvc.loginstate = 2;
    }
    void TearDown() override
    {
        lvc.loginstate = 0;
        UiConnected::TearDown();
    }
    fakepeer_bytes next_enter()
    {
        fakepeer_packet p = next();
        EXPECT_EQ(p.type, T_ENTER_);
        return p.payload;
    }
    static fakepeer_bytes by_id(int32_t id)
    {
        fakepeer_bytes b;
        fakepeer_put_int(&b, id);
        return b;
    }
    static fakepeer_bytes by_name(const std::string &name)
    {
        fakepeer_bytes b;
        fakepeer_put_int(&b, 0);
        fakepeer_put_utf(&b, name);
        return b;
    }
};

TEST_F(RlistwndConnected, EnterByIdOrByName)
{
    add(5, "Fo", 0);
    add(6, "Zart", 0x04);
    add(1000007, "Sajat", 0x10);
    add(8, "Klub", 0x08);
    struct Case {
        const wchar_t *typed;
        fakepeer_bytes request;
    };
    const Case cases[] = {
        {L"Fo", by_id(5)},
        {L"fo", by_id(5)},
        {L"Sajat", by_id(1000007)},
        {L"Klub", by_id(8)},
        // Rooms of group z are asked for by name, like rooms not listed.
        {L"Zart", by_name("Zart")},
        {L"Nincs ilyen", by_name("Nincs ilyen")},
        {L"\u00c1rv\u00edz", by_name("\xc3\x81rv\xc3\xadz")},
    };
    for (const Case &c : cases) {
        vel_widget_settext(rw->name_edit, c.typed);
        rlistwnd_push_button(rw);
        EXPECT_EQ(next_enter(), c.request);
    }
}

TEST_F(RlistwndConnected, EveryWayOfEnteringGoesThroughTheButton)
{
    add(5, "Fo", 0);
    add(9, "Masik", 0);
    // Enter in the name field.
    vel_widget_settext(rw->name_edit, L"Masik");
    SendMessageW(rw->name_edit->hwnd, WM_CHAR, VK_RETURN, 0);
    EXPECT_EQ(next_enter(), by_id(9));
    // A click on the button.
    vel_widget_settext(rw->name_edit, L"Fo");
    SendMessageW(rw->enter_button->hwnd, BM_CLICK, 0, 0);
    EXPECT_EQ(next_enter(), by_id(5));
    // Selecting an item copies its name; the context menu's "enter" and Enter in the list.
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    wintest_flush();
    SendMessageW(rw->list->hwnd, WM_COMMAND, RLISTWND_CMD_ENTER, 0);
    EXPECT_EQ(next_enter(), by_id(9));
    SendMessageW(rw->list->hwnd, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(next_enter(), by_id(9));
    // A double click on an item.
    uitest_list_dblclk(rw->list, 1);
    EXPECT_EQ(next_enter(), by_id(9));
    // A double click on the empty space below the items enters nothing, whatever the
    // name field holds: the next request is the one of the button after it.
    RECT rc;
    GetClientRect(rw->list->hwnd, &rc);
    SendMessageW(rw->list->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, rc.bottom - 4));
    SendMessageW(rw->list->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, rc.bottom - 4));
    SendMessageW(rw->list->hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, rc.bottom - 4));
    SendMessageW(rw->list->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, rc.bottom - 4));
    wintest_flush();
    vel_widget_settext(rw->name_edit, L"Fo");
    rlistwnd_push_button(rw);
    EXPECT_EQ(next_enter(), by_id(5));
}

std::vector<std::wstring> tried_urls;

// Opens only what looks like an address, as the toolkit's opener does.
INT_PTR record_url(const wchar_t *url)
{
    tried_urls.emplace_back(url);
    return vel_util_url_class(url) ? 42 : 0;
}

// The list's right-click menu on the selected room: enter, info, and "follow url", which
// opens the first address in the topic.
TEST_F(RlistwndConnected, ContextMenuOfTheSelectedRoom)
{
    add(5, "Fo", 0, "$red$nezd meg: $blue$www.pelda.hu/x es mas http://masik.hu");
    auto pick = [&](UINT id) { uitest_list_menu_pick(rw->list, 0, id); };
    vel_widget_settext(rw->name_edit, L"Nincs ilyen");
    pick(RLISTWND_CMD_ENTER);
    EXPECT_EQ(next_enter(), by_id(5)) << "the selected room, not the name field's";

    pick(RLISTWND_CMD_INFO);
    const int info = vel_listview_findtext(mw->windowlist, L"c Fo_");
    ASSERT_GE(info, 0);
    SendMessageW(reinterpret_cast<vel_window *>(vel_listview_getlparam(mw->windowlist, info))->hwnd, WM_CLOSE, 0, 0);

    rlistwnd_url_opener = record_url;
    tried_urls.clear();
    pick(RLISTWND_CMD_URL);
    rlistwnd_url_opener = vel_util_open_url;
    ASSERT_FALSE(tried_urls.empty());
    EXPECT_EQ(tried_urls.back(), L"www.pelda.hu/x");
}

// A stand-in room window: its join state and whether it was activated.
struct FakeRoomWindow {
    int state = 0;
    int activated = 0;
};

TEST_F(RlistwndConnected, RoomWindowStateDecides)
{
    Room *room = add(5, "Fo", 0);
    add(6, "Masik", 0);
    FakeRoomWindow fake;
    room->chatwnd = &fake;
    rlistwnd_room_windows.join_state = [](void *w) { return static_cast<FakeRoomWindow *>(w)->state; };
    rlistwnd_room_windows.set_join_state = [](void *w, int s) { static_cast<FakeRoomWindow *>(w)->state = s; };
    rlistwnd_room_windows.activate = [](void *w) { static_cast<FakeRoomWindow *>(w)->activated++; };

    for (int state : {0, 1, 3}) {
        fake.state = state;
        vel_widget_settext(rw->name_edit, L"Fo");
        rlistwnd_push_button(rw);
        EXPECT_EQ(next_enter(), by_id(5));
        EXPECT_EQ(fake.state, 1) << "entry requested";
    }
    // Inside already: the window comes forward and nothing is sent, so the next request
    // seen is the one for the other room.
    fake.state = 2;
    rlistwnd_push_button(rw);
    EXPECT_EQ(fake.activated, 1);
    vel_widget_settext(rw->name_edit, L"Masik");
    rlistwnd_push_button(rw);
    EXPECT_EQ(next_enter(), by_id(6));
    room->chatwnd = nullptr;
}

// Both windows with content, saved for a look (LV_UI_SHOT names the file; LV_UI_HOLD_MS
// keeps them on screen for a screen grab).
TEST_F(Rlistwnd, Gallery)
{
    const struct {
        int32_t id, states, users;
        const char *name, *theme;
    } rooms[] = {
        {1, 0x08, 31, "Fo szoba", "$red$Udv$blue$ mindenkinek! http://www.lorvando.hu"},
        {2, 0x01, 12, "Kulturkocsma", "zene, film, konyv"},
        {3, 0x00, 4, "Budapest", "Pesti pletyka"},
        {4, 0x10, 2, "Tarsalgo", "csak ugy"},
        {1000009, 0x10, 1, "Sajat szoba", "$green$Anna szobaja"},
        {5, 0x04, 0, "Zart terem", "zarva"},
        {6, 0x00, 57, "Szerelem", "$ff00ff$<3"},
    };
    for (const auto &r : rooms)
        add(r.id, r.name, r.states, r.theme, r.users);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(rw->list->hwnd, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    statwnd_add_msg(sw, "*  lvchat - lorvando chat kliens");
    statwnd_add_msg(sw, "$blue$- connected.");
    statwnd_add_msg(sw, "$magenta$- registernick ... %s [%d] %d %d", "anna", 1234, 1, 2);
    statwnd_inject(sw, "/help");
    statwnd_inject(sw, "/hello");
    statwnd_write_uptime(sw, 90061);
    rlistwnd_set_progress(rw, 450, 1000);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, IDC_WINDOW_TILE_VERTICAL, 0);
    wintest_flush();
    if (const char *hold = std::getenv("LV_UI_HOLD_MS"))
        wintest_pump_for(static_cast<DWORD>(std::atoi(hold)));
    rlistwnd_set_progress(rw, 1000, 1000);
    EXPECT_EQ(caption(), L"szobalista");
}

}  // namespace
