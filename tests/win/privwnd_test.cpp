// Private conversation windows under Wine: the registry and its windows, messages from the
// peer and the own echoes with their notifications, the input line and its commands, the
// menu, the log, closing, the event dispatch's private codes and calls from another thread.
#include <gtest/gtest.h>

#include "app/dispatch.h"
#include "resources/resource.h"
#include "settings/util.h"
#include "tests/support/fakepeer.h"
#include "tests/support/tempfile.h"
#include "tests/win/uitest.h"
#include "toolkit/listview.h"
#include "toolkit/mdichild.h"
#include "ui/privwnd.h"

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct sent_message {
    int kind;
    int32_t userid;
    std::string text;
    bool operator==(const sent_message &o) const { return kind == o.kind && userid == o.userid && text == o.text; }
};

std::vector<std::wstring> played;
std::vector<sent_message> sent;

int record_sound(const wchar_t *file)
{
    played.emplace_back(file);
    return 1;
}

int record_send(int kind, int32_t userid, const char *text)
{
    sent.push_back({kind, userid, text});
    return static_cast<int>(std::strlen(text));
}

std::wstring newest(const privwnd *pw)
{
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(pw->messages);
    if (!box || !box->lines)
        return L"";
    const auto *line = static_cast<const vel_textbox_line *>(box->lines->data);
    return std::wstring(line->text, static_cast<size_t>(line->length));
}

int line_count(const privwnd *pw)
{
    wintest_flush();
    const vel_textbox *box = vel_textbox_get(pw->messages);
    return box ? box->line_count : -1;
}

std::wstring caption_of(const privwnd *pw)
{
    wchar_t text[128] = {};
    GetWindowTextW(pw->wnd->hwnd, text, 128);
    return text;
}

// The child's window-list entry: kind letter, caption and the unseen-text marker.
std::wstring entry_of(const mainwnd *mw, const vel_window *child)
{
    const int item = mainwnd_find_listitem(mw, child);
    if (item < 0)
        return L"";
    wchar_t text[128] = {};
    vel_listview_getitemtext(mw->windowlist, item, 0, text, 128);
    return text;
}

int registry_size()
{
    const vel_list_node *head = private_list;
    if (!head)
        return 0;
    int n = 0;
    const vel_list_node *node = head;
    do {
        n++;
        node = node->next;
    } while (node != head);
    return n;
}

void type(const privwnd *pw, const std::wstring &text)
{
    vel_widget_settext(pw->input, text.c_str());
    SendMessageW(pw->input->hwnd, WM_CHAR, VK_RETURN, 0);
    wintest_flush();
}

void close_all()
{
    while (private_list) {
        auto *pw = static_cast<privwnd *>(private_list->data);
        SendMessageW(pw->wnd->hwnd, WM_CLOSE, 0, 0);
        wintest_flush();
    }
}

struct Privwnd : ::testing::Test {
    mainwnd *mw = nullptr;
    void SetUp() override
    {
        mw = uitest_frame();
        ASSERT_NE(mw, nullptr);
        ASSERT_EQ(mw->create_privwnd, privwnd_creator);
        privwnd_play_sound = record_sound;
        privwnd_send = record_send;
        played.clear();
        sent.clear();
        cfg_privat_log = 0;
        cfg_privat_timestamp = 0;
        config_set_string(&cfg_privat_soundfile, "csengo.wav");
        std::strcpy(lvc.ownnick, "en");
    }
    void TearDown() override
    {
        close_all();
        util_free_lists();
        privwnd_play_sound = privwnd_play_sound_file;
        privwnd_send = LVC_SendPrivateMessage;
    }
    // The status window in front, so that a private window is not the active child.
    void activate_status() const
    {
        vel_mdichild_activate(mw->statwnd->wnd);
        wintest_flush();
    }
};

TEST_F(Privwnd, FirstMessageOpensACaptionedWindowAndTheSecondGoesToIt)
{
    private_private_message(mw, 4711, "anna", "szia", 3, 1);
    privwnd *pw = private_get_entry(4711);
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(caption_of(pw), L"anna [4711]");
    EXPECT_STREQ(pw->peer_nick, "anna");
    EXPECT_EQ(pw->main_frame, mw);
    // Opened behind the window the user types in, its first message is unseen.
    EXPECT_EQ(entry_of(mw, pw->wnd), L"e anna*");
    // The date line, then the message.
    EXPECT_EQ(line_count(pw), 2);
    EXPECT_EQ(newest(pw), L"<anna> szia");

    private_private_message(mw, 4711, "anna", "hogy vagy?", 2, 1);
    EXPECT_EQ(private_get_entry(4711), pw);
    EXPECT_EQ(registry_size(), 1);
    EXPECT_EQ(line_count(pw), 3);
    EXPECT_EQ(newest(pw), L"anna hogy vagy?");

    // Another peer, another window; a negative id is a key like any other.
    private_private_message(mw, -5, "bela", "x", 3, 1);
    ASSERT_NE(private_get_entry(-5), nullptr);
    EXPECT_NE(private_get_entry(-5), pw);
    EXPECT_EQ(caption_of(private_get_entry(-5)), L"bela [-5]");
    EXPECT_EQ(registry_size(), 2);
}

TEST_F(Privwnd, MessagesFromIgnoredUsersOpenNothing)
{
    ignore_user(77, 1);
    private_private_message(mw, 77, "troll", "hahaha", 3, 1);
    EXPECT_EQ(private_get_entry(77), nullptr);
    EXPECT_EQ(registry_size(), 0);
    EXPECT_TRUE(played.empty());

    // An open conversation stops receiving once the peer is ignored.
    private_private_message(mw, 78, "anna", "egy", 3, 1);
    privwnd *pw = private_get_entry(78);
    ASSERT_NE(pw, nullptr);
    ignore_user(78, 1);
    private_private_message(mw, 78, "anna", "ketto", 3, 1);
    EXPECT_EQ(newest(pw), L"<anna> egy");
}

TEST_F(Privwnd, OwnEchoesNeverFlashOrSoundAndPeerMessagesDo)
{
    private_private_message(mw, 300, "anna", "szia", 3, 0);
    privwnd *pw = private_get_entry(300);
    ASSERT_NE(pw, nullptr);
    pw->flags |= PRIVWND_FLASH | PRIVWND_SOUND;
    activate_status();
    ASSERT_EQ(entry_of(mw, pw->wnd).back(), L'_');

    // The server's confirmations of our own messages: kinds 4 and 5, with our nick.
    private_private_message(mw, 300, "anna", "hello", 5, 0);
    EXPECT_EQ(newest(pw), L"<en> hello");
    private_private_message(mw, 300, "anna", "integet", 4, 0);
    EXPECT_EQ(newest(pw), L"en integet");
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(entry_of(mw, pw->wnd).back(), L'_');

    // The peer's message plays the sound file and marks the window.
    private_private_message(mw, 300, "anna", "itt vagy?", 3, 1);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0], L"csengo.wav");
    EXPECT_EQ(entry_of(mw, pw->wnd).back(), L'*');

    // Without the sound bit nothing plays; the mark stays.
    pw->flags &= ~PRIVWND_SOUND;
    private_private_message(mw, 300, "anna", "halo", 3, 1);
    EXPECT_EQ(played.size(), 1u);

    // Activating the window clears its mark.
    vel_mdichild_activate(pw->wnd);
    wintest_flush();
    EXPECT_EQ(entry_of(mw, pw->wnd).back(), L'_');
}

TEST_F(Privwnd, NoSoundWhileTheWindowIsTheActiveChild)
{
    private_private_message(mw, 301, "anna", "szia", 3, 1);
    privwnd *pw = private_get_entry(301);
    ASSERT_NE(pw, nullptr);
    pw->flags |= PRIVWND_SOUND;
    vel_mdichild_activate(pw->wnd);
    wintest_flush();
    played.clear();
    private_private_message(mw, 301, "anna", "meg itt", 3, 1);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(entry_of(mw, pw->wnd).back(), L'_');

    activate_status();
    private_private_message(mw, 301, "anna", "es most", 3, 1);
    EXPECT_EQ(played.size(), 1u);

    // No sound file configured: nothing to play.
    config_set_string(&cfg_privat_soundfile, "");
    private_private_message(mw, 301, "anna", "csend", 3, 1);
    EXPECT_EQ(played.size(), 1u);
}

// The window the user types in stays the active child, with the keyboard, so keys such as
// Alt+T act on it; the new conversation shows in front, and its first message sounds.
TEST_F(Privwnd, AnIncomingConversationLeavesTheKeyboardWhereTheUserTypes)
{
    cfg_privat_sound = 1;
    vel_mdichild_activate(mw->statwnd->wnd);
    vel_widget_setfocus(mw->statwnd->edit);
    wintest_flush();
    ASSERT_EQ(GetFocus(), mw->statwnd->edit->hwnd);
    private_private_message(mw, 302, "anna", "szia", 3, 1);
    privwnd *opened = private_get_entry(302);
    ASSERT_NE(opened, nullptr);
    wintest_flush();
    EXPECT_EQ(GetFocus(), mw->statwnd->edit->hwnd);
    EXPECT_EQ(mw->frame->active_child, mw->statwnd->wnd);
    EXPECT_TRUE(IsWindowVisible(opened->wnd->hwnd));
    EXPECT_EQ(GetWindow(mw->mdi_client->hwnd, GW_CHILD), opened->wnd->hwnd) << "shown in front";
    EXPECT_EQ(played.size(), 1u);
    EXPECT_EQ(entry_of(mw, opened->wnd), L"e anna*");
    const uint32_t stamp = opened->flags & PRIVWND_TIMESTAMP;
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_TIMESTAMP, 1), 0);  // Alt+T
    EXPECT_EQ(opened->flags & PRIVWND_TIMESTAMP, stamp);
    SendMessageW(mw->frame->hwnd, WM_COMMAND, MAKEWPARAM(IDC_TIMESTAMP, 1), 0);
    cfg_privat_sound = 0;

    // Opened by the user, the conversation takes the keyboard.
    privwnd *pw = private_add_private(mw, 303, "bela");
    ASSERT_NE(pw, nullptr);
    wintest_flush();
    EXPECT_EQ(GetFocus(), pw->input->hwnd);
    EXPECT_EQ(mw->frame->active_child, pw->wnd);
    EXPECT_EQ(private_add_private(mw, 303, "bela"), pw);
}

TEST_F(Privwnd, InputLineSendsMessagesAndCommands)
{
    privwnd *pw = private_add_private(mw, 4242, "anna");
    ASSERT_NE(pw, nullptr);
    struct row {
        const wchar_t *typed;
        std::vector<sent_message> want;
    };
    const row rows[] = {
        {L"szia", {{3, 4242, "szia"}}},
        {L"//x", {{3, 4242, "/x"}}},
        {L"árvíztűrő", {{3, 4242, "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91"}}},
        {L"/me integet", {{2, 4242, "integet"}}},
        {L"/ME", {{2, 4242, ""}}},
        {L"/raw 0x41 szia", {{65, 4242, "szia"}}},
        {L"/RAW 010 a b", {{8, 4242, "a b"}}},
        {L"/raw 300", {{44, 4242, ""}}},
        {L"/raw 7", {{7, 4242, ""}}},
        {L"/raw -1 x", {{255, 4242, "x"}}},
        {L"/raw 0x100000041 y", {{65, 4242, "y"}}},
        {L"/raw 7xy", {{7, 4242, "y"}}},
        {L"/nincsilyen parancs", {}},
        {L"/", {}},
    };
    for (const row &r : rows) {
        sent.clear();
        type(pw, r.typed);
        EXPECT_EQ(sent, r.want) << std::string(r.typed, r.typed + std::wcslen(r.typed));
        wchar_t left[16] = {L'?'};
        vel_widget_gettext(pw->input, left, 16);
        EXPECT_STREQ(left, L"");
    }
}

TEST_F(Privwnd, MenuEntriesTheirChecksAndTheirCommands)
{
    privwnd *pw = private_add_private(mw, 500, "anna");
    ASSERT_NE(pw, nullptr);
    HMENU system = GetSystemMenu(pw->wnd->hwnd, FALSE);
    wchar_t text[64];
    const wchar_t *top[] = {L"&Nézet", L"B&uffer", L"&Játekok", L"&Figyelmeztetés", L"&Barát", L"&Ignore"};
    for (int i = 0; i < 6; i++) {
        GetMenuStringW(system, i, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, top[i]);
    }
    EXPECT_NE(GetSubMenu(system, 0), nullptr);
    EXPECT_EQ(GetMenuState(system, 6, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_TRUE(GetMenuState(system, IDC_GAME_OPPOSITE, MF_BYCOMMAND) & MF_GRAYED);

    auto checked = [&](UINT id) {
        SendMessageW(pw->wnd->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(system), MAKELPARAM(0, TRUE));
        return (GetMenuState(system, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    pw->flags = 0;
    for (UINT id : {IDC_TIMESTAMP, IDC_COLOURS_OFF, IDC_FLASH, IDC_SOUND, IDC_PRIVATE_FRIEND, IDC_PRIVATE_IGNORE})
        EXPECT_FALSE(checked(id)) << id;
    // Each command (a key or menu command) turns its own check on, and off again.
    for (UINT id : {IDC_TIMESTAMP, IDC_COLOURS_OFF, IDC_FLASH, IDC_SOUND, IDC_PRIVATE_FRIEND, IDC_PRIVATE_IGNORE}) {
        SendMessageW(pw->wnd->hwnd, WM_COMMAND, MAKEWPARAM(id, 1), 0);
        EXPECT_TRUE(checked(id)) << id;
    }
    EXPECT_EQ(pw->flags, PRIVWND_TIMESTAMP | PRIVWND_FLASH | PRIVWND_SOUND);
    EXPECT_EQ(vel_textbox_get(pw->messages)->colour_mode, 2u);
    EXPECT_TRUE(is_user_friend(500));
    EXPECT_STREQ(static_cast<const char *>(vel_list_get(friends_list, 500)), "anna");
    EXPECT_TRUE(is_user_ignored(500));
    for (UINT id : {IDC_TIMESTAMP, IDC_COLOURS_OFF, IDC_FLASH, IDC_SOUND, IDC_PRIVATE_FRIEND, IDC_PRIVATE_IGNORE}) {
        SendMessageW(pw->wnd->hwnd, WM_SYSCOMMAND, id, 0);
        EXPECT_FALSE(checked(id)) << id;
    }
    EXPECT_EQ(pw->flags, 0u);
    EXPECT_FALSE(is_user_friend(500));
    EXPECT_FALSE(is_user_ignored(500));

    // The time stamp bit puts the time before the line.
    pw->flags = PRIVWND_TIMESTAMP;
    private_private_message(mw, 500, "anna", "ido", 3, 0);
    const std::wstring line = newest(pw);
    ASSERT_GE(line.size(), 11u);
    EXPECT_EQ(line[0], L'[');
    EXPECT_EQ(line.substr(line.size() - 10), L"<anna> ido");
}

TEST_F(Privwnd, SettingsGiveTheFirstFlags)
{
    struct row {
        int flash, sound, stamp;
        uint32_t want;
    };
    const row rows[] = {{0, 0, 0, 0},
                        {1, 0, 0, PRIVWND_FLASH},
                        {0, 1, 0, PRIVWND_SOUND},
                        {1, 1, 1, PRIVWND_FLASH | PRIVWND_SOUND | PRIVWND_TIMESTAMP}};
    int32_t id = 600;
    for (const row &r : rows) {
        cfg_privat_flash = r.flash;
        cfg_privat_sound = r.sound;
        cfg_privat_timestamp = r.stamp;
        privwnd *pw = private_add_entry(mw, id++, "x");
        ASSERT_NE(pw, nullptr);
        EXPECT_EQ(pw->flags, r.want);
    }
    config_setdefaults(config_table);
}

TEST_F(Privwnd, LogHoldsTheHeaderAndEveryLine)
{
    wchar_t old_dir[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old_dir);
    const std::string dir = test_temp_path("privlog");
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    cfg_privat_log = 1;
    // A nick with a character of the ANSI code page beyond ASCII.
    private_private_message(mw, 4711, "b\xC3\xA9la", "$red$szia $$5", 3, 1);
    private_broadcast_msg("$blue$vege");
    cfg_privat_log = 0;
    private_private_message(mw, 4711, "b\xC3\xA9la", "nem kerul be", 3, 1);
    log_flush();
    const std::string log = test_read_file("p4711.log");
    EXPECT_EQ(log_is_open('p', 4711), 1);
    SendMessageW(private_get_entry(4711)->wnd->hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    EXPECT_EQ(log_is_open('p', 4711), 0) << "closing the window closes its log";
    SetCurrentDirectoryW(old_dir);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = log.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string l = log.substr(start, nl - start);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        lines.push_back(l);
    }
    EXPECT_EQ(start, log.size()) << "every line ends with a line end";
    ASSERT_EQ(lines.size(), 4u) << log;
    EXPECT_EQ(lines[0], "[b\xE9la]");
    EXPECT_EQ(lines[1].substr(0, 2), "20");  // the date line, without its colour
    EXPECT_EQ(lines[2], "<b\xE9la> szia $5");
    EXPECT_EQ(lines[3], "vege");
}

TEST_F(Privwnd, CloseLeavesRegistryAndWindowListAndALaterMessageReopens)
{
    private_private_message(mw, 900, "anna", "szia", 3, 1);
    privwnd *pw = private_get_entry(900);
    ASSERT_NE(pw, nullptr);
    vel_window *wnd = pw->wnd;
    HWND hwnd = wnd->hwnd;
    ASSERT_GE(mainwnd_find_listitem(mw, wnd), 0);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    wintest_flush();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(private_get_entry(900), nullptr);
    EXPECT_EQ(mainwnd_get_button(mw, wnd), nullptr);

    private_private_message(mw, 900, "anna", "itt vagyok", 3, 1);
    privwnd *again = private_get_entry(900);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(line_count(again), 2);
    EXPECT_EQ(newest(again), L"<anna> itt vagyok");
}

TEST_F(Privwnd, DispatchDeliversPrivateCodesAndTheLostConnection)
{
    // Kinds g, f and d from the server's own senders are dropped; from users they show.
    LVC_EvPrivate notice{'g', 100, "rendszer", "jatek"};
    packet_handler(34, &notice);
    EXPECT_EQ(private_get_entry(100), nullptr);
    for (int kind : {'f', 'd'}) {
        notice.kind = kind;
        packet_handler(34, &notice);
    }
    EXPECT_EQ(private_get_entry(100), nullptr);
    LVC_EvPrivate game{'g', 200, "anna", "lep"};
    packet_handler(34, &game);
    privwnd *anna = private_get_entry(200);
    ASSERT_NE(anna, nullptr);
    EXPECT_EQ(newest(anna), L"[103] anna: lep");
    // Other kinds from a low id are ordinary messages.
    LVC_EvPrivate low{3, 100, "admin", "figyelem"};
    packet_handler(34, &low);
    ASSERT_NE(private_get_entry(100), nullptr);

    // The confirmation of our own message: kind + 2, our nick, no notification (the
    // conversation read first, so that nothing is unseen).
    anna->flags |= PRIVWND_SOUND;
    vel_mdichild_activate(anna->wnd);
    activate_status();
    played.clear();
    LVC_EvPrivate echo{3, 200, "anna", "valasz"};
    packet_handler(35, &echo);
    EXPECT_EQ(newest(anna), L"<en> valasz");
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(entry_of(mw, anna->wnd).back(), L'_');

    // The connection ends: every private window is told.
    event_handler(LVC_EV_CLOSED, nullptr);
    EXPECT_EQ(newest(anna), L"$ hiba: megszakadt a kapcsolat a szerverrel.");
    EXPECT_EQ(newest(private_get_entry(100)), L"$ hiba: megszakadt a kapcsolat a szerverrel.");
    const vel_textbox_line *line = static_cast<const vel_textbox_line *>(vel_textbox_get(anna->messages)->lines->data);
    EXPECT_EQ(vel_textbox_colour_at(line, 0), uitest_colour("$red$x"));
}

// Calls from another thread are carried over to the user-interface thread in order: the
// windows are that thread's, and every message arrives exactly once.
TEST_F(Privwnd, CallsFromAnotherThreadRunOnTheInterfaceThreadInOrder)
{
    constexpr int rounds = 40;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 0; i < rounds; i++) {
            const std::string text = std::to_string(i);
            private_private_message(mw, 1000 + i % 2, i % 2 ? "bela" : "anna", text.c_str(), 3, 1);
        }
        private_broadcast_msg("kesz");
        done = true;
    });
    while (!done) {
        wintest_flush();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    reader.join();
    for (int32_t id : {1000, 1001}) {
        privwnd *pw = private_get_entry(id);
        ASSERT_NE(pw, nullptr);
        EXPECT_EQ(GetWindowThreadProcessId(pw->wnd->hwnd, nullptr), GetCurrentThreadId());
        // The date line, the messages and the broadcast.
        ASSERT_EQ(line_count(pw), 2 + rounds / 2);
        const vel_textbox *box = vel_textbox_get(pw->messages);
        const vel_list_node *node = box->lines->next;  // the newest message, before "kesz"
        for (int i = rounds - 2 + (id - 1000); i >= 0; i -= 2, node = node->next) {
            const auto *line = static_cast<const vel_textbox_line *>(node->data);
            const std::wstring want = (id == 1000 ? L"<anna> " : L"<bela> ") + std::to_wstring(i);
            EXPECT_EQ(std::wstring(line->text, static_cast<size_t>(line->length)), want);
        }
        EXPECT_EQ(newest(pw), L"kesz");
    }
    EXPECT_EQ(registry_size(), 2);
}

// Messages from another thread while the user closes conversations: a message never
// reaches a window being closed or freed, and the registry holds only live windows.
TEST_F(Privwnd, ClosingWhileMessagesArriveFromAnotherThread)
{
    constexpr int rounds = 120;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 0; i < rounds; i++) {
            private_private_message(mw, 2000 + i % 3, "anna", "x", 3, 1);
            // Room for the user between messages.
            Sleep(1);
        }
        done = true;
    });
    int closed = 0;
    while (!done) {
        wintest_flush();
        for (int32_t id = 2000; id < 2003; id++) {
            privwnd *pw = private_get_entry(id);
            if (pw && line_count(pw) > 4) {
                SendMessageW(pw->wnd->hwnd, WM_CLOSE, 0, 0);
                closed++;
            }
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    reader.join();
    EXPECT_GT(closed, 0);
    EXPECT_LE(registry_size(), 3);
    for (int32_t id = 2000; id < 2003; id++) {
        if (privwnd *pw = private_get_entry(id)) {
            EXPECT_TRUE(IsWindow(pw->wnd->hwnd));
            EXPECT_EQ(pw->wnd->user, pw);
            EXPECT_GE(mainwnd_find_listitem(mw, pw->wnd), 0);
        }
    }
}

// With a connection: the raw command goes out as a private message of the kind given.
using PrivwndConnected = UiConnected<Privwnd>;

TEST_F(PrivwndConnected, RawCommandSendsItsKindToTheServer)
{
    privwnd_send = LVC_SendPrivateMessage;
    uitest_state state(1, 2);
    privwnd *pw = private_add_private(mw, 4242, "anna");
    ASSERT_NE(pw, nullptr);
    type(pw, L"/me");  // an empty text sends nothing
    type(pw, L"/raw 0x41 szia");
    type(pw, L"/me integet");
    fakepeer_packet p = next();
    fakepeer_bytes want;
    fakepeer_put_byte(&want, 65);
    fakepeer_put_int(&want, 4242);
    fakepeer_put_utf(&want, "szia");
    EXPECT_EQ(p.type, 8);
    EXPECT_EQ(p.payload, want);
    p = next();
    want.clear();
    fakepeer_put_byte(&want, 2);
    fakepeer_put_int(&want, 4242);
    fakepeer_put_utf(&want, "integet");
    EXPECT_EQ(p.type, 8);
    EXPECT_EQ(p.payload, want);
}

// A message longer than a packet holds goes out cut at a character boundary: the user is
// told once, and the server's confirmation shows the text as the peer got it.
TEST_F(PrivwndConnected, ALongMessageIsCutAndTheUserToldOnce)
{
    privwnd_send = LVC_SendPrivateMessage;
    uitest_state state(1, 2);
    privwnd *pw = private_add_private(mw, 4243, "anna");
    ASSERT_NE(pw, nullptr);
    std::wstring typed;
    while (typed.size() < 5000)
        typed += L"\x00e1";  // two bytes in UTF-8
    const int lines_before = line_count(pw);
    type(pw, typed);
    fakepeer_packet p = next();
    ASSERT_EQ(p.type, 8);
    // Kind, id and the text's length take 7 of the 8176 payload bytes: 8169 are left, and
    // a character is never split.
    const size_t text_bytes = p.payload.size() - 7;
    EXPECT_EQ(text_bytes, 8168u);
    EXPECT_EQ(line_count(pw), lines_before + 1);
    EXPECT_EQ(newest(pw), L"$ hiba: túl hosszú üzenet, csak az eleje ment el.");
    std::lock_guard lock(lvc.sentlock);
    int32_t kind = 0, user = 0;
    const char *recorded = strlist_get(lvc.sent, &kind, &user, nullptr);
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(std::strlen(recorded), text_bytes) << "the echo shows what went out";
    EXPECT_EQ(user, 4243);
}

}  // namespace
