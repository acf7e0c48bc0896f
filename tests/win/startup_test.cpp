// The program's start-up in a process of its own each time (a death test's child): with a
// missing configuration file the defaults hold and the banner is followed by the error
// lines; with `autoconnect` on the client connects at once; with `console` off the console
// is gone once start-up has finished, and the shell's library is not loaded.

#include <gtest/gtest.h>

#include "app/dispatch.h"
#include "app/startup.h"
#include "protocol/lvc6b.h"
#include "settings/cfgproc.h"
#include "tests/support/fakepeer.h"
#include "tests/support/tempfile.h"
#include "tests/win/wintest.h"
#include "toolkit/textbox.h"
#include "toolkit/util.h"
#include "ui/mainwnd.h"
#include "ui/statwnd.h"

#include <commctrl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// The test's own error stream: the program's console takes over stderr.
int report_fd = -1;

// Ends the child: 0 when every check held, else 1 after naming the first that did not.
[[noreturn]] void child_exit(const std::string &failure)
{
    if (!failure.empty() && report_fd >= 0) {
        const std::string line = "startup check failed: " + failure + "\n";
        const int ignored = _write(report_fd, line.data(), static_cast<unsigned>(line.size()));
        (void)ignored;
    }
    std::_Exit(failure.empty() ? 0 : 1);
}

// Opens a console of the program's own, as the program does first: the test's console
// (when it has one) is left, so that the program's is the one start-up may close.
int open_console()
{
    report_fd = _dup(2);
    FreeConsole();
    return vel_util_console_open();
}

// Works in a fresh folder, so no friends file is there unless the case writes one.
void enter_fresh_folder()
{
    const std::string dir = test_temp_path("lvstart");
    CreateDirectoryA(dir.c_str(), nullptr);
    SetCurrentDirectoryA(dir.c_str());
}

// The status window's lines, oldest first, without their time stamps.
std::vector<std::string> status_lines()
{
    wintest_flush();
    std::vector<std::string> out;
    const vel_textbox *box = vel_textbox_get(status_window->textbox);
    // The list is a ring, newest first.
    const vel_list_node *head = box ? box->lines : nullptr;
    for (const vel_list_node *n = head; n; n = n->next == head ? nullptr : n->next) {
        std::wstring text = static_cast<const vel_textbox_line *>(n->data)->text;
        if (!text.empty() && text[0] == L'[' && text.find(L"] ") != std::wstring::npos)
            text = text.substr(text.find(L"] ") + 2);
        out.insert(out.begin(), std::string(text.begin(), text.end()));
    }
    return out;
}

std::string status_part(int part)
{
    wchar_t text[64] = {};
    SendMessageW(main_frame->statusbar->hwnd, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    std::wstring w = text;
    return std::string(w.begin(), w.end());
}

// Runs the start-up with `config_path` and checks the three banner lines that open the
// status window; its lines, oldest first.
std::vector<std::string> start(const char *config_path)
{
    HACCEL accel = nullptr;
    if (!startup_run(config_path, &accel))
        child_exit("no frame");
    std::vector<std::string> lines = status_lines();
    if (lines.size() < 3 || lines[0] != "*  lvchat - lorvando chat kliens" ||
        lines[1].compare(0, 15, "*  Compiled at ") != 0 || lines[2] != "*  http://www.lorvando.hu/")
        child_exit("banner: " + (lines.empty() ? std::string("none") : lines[0]));
    return lines;
}

void missing_configuration()
{
    enter_fresh_folder();
    const int console = open_console();
    const std::vector<std::string> lines = start("nincs-ilyen.cfg");
    if (lines.size() != 5 || lines[3] != "- error: loading config file [nincs-ilyen.cfg]" ||
        lines[4] != "- error: loading friends file")
        child_exit("error lines: " + std::to_string(lines.size()) + " lines, last " + lines.back());
    if (cfg_autoconnect != 0 || cfg_confirm_exit != 1 || cfg_console != 1)
        child_exit("the defaults do not hold");
    wintest_pump_for(300);
    if (LVC_IsConnected() || status_part(0) != "not connected.")
        child_exit("connected without autoconnect");
    // The console stays while the setting is on.
    if (!console || !GetConsoleWindow())
        child_exit("the console was closed");
    child_exit("");
}

void autoconnect_without_console()
{
    enter_fresh_folder();
    const int console = open_console();
    // The socket library runs before the fake server listens; start-up starts it again.
    LVC_Init(packet_handler, event_handler, exception_handler);
    fakepeer chat;
    if (!fakepeer_listen(&chat))
        child_exit("no listening socket");
    const std::string address = "127.0.0.1:" + std::to_string(chat.port);
    FILE *cfg = std::fopen("start.cfg", "w");
    std::fprintf(cfg, "server=%s\nautoconnect=1\nautologin=0\nconsole=0\n", address.c_str());
    std::fclose(cfg);
    FILE *friends = std::fopen("friends", "w");
    std::fputs("150 admin\n", friends);
    std::fclose(friends);

    const std::vector<std::string> lines = start("start.cfg");
    for (const std::string &line : lines)
        if (line.compare(0, 8, "- error:") == 0)
            child_exit("unexpected " + line);
    if (!console)
        child_exit("no console to close");
    if (GetConsoleWindow())
        child_exit("the console is still open");
    // Nobody typed anything: the connection is the start-up's own.
    if (!wintest_pump_until([&] { return lvsock_wait_readable(chat.listener, 0) == 1; }) ||
        !fakepeer_accept(&chat, 1000))
        child_exit("no connection");
    if (!wintest_pump_until([&] { return status_part(0) == address; }))
        child_exit("status bar part 0: " + status_part(0));
    // Other threads hand work to the interface thread from here on.
    DWORD ran_on = 0;
    int handed = 0;
    std::thread other([&] {
        handed = vel_ui_run([](void *arg) { *static_cast<DWORD *>(arg) = GetCurrentThreadId(); }, &ran_on);
    });
    wintest_pump_until([&] { return ran_on != 0; }, 2000);
    other.join();
    if (!handed || ran_on != GetCurrentThreadId())
        child_exit("work from another thread did not run on the interface thread");
    // The shell's library (tray icon, sound, opening links) costs a start-up tens of
    // milliseconds under Wine: nothing so far has needed it.
    if (GetModuleHandleW(L"shell32.dll"))
        child_exit("the shell's library was loaded at start-up");
    child_exit("");
}

TEST(Startup, MissingConfigurationRunsWithTheDefaults)
{
    EXPECT_EXIT(missing_configuration(), ::testing::ExitedWithCode(0), "");
}

TEST(Startup, AutoconnectWithoutConsole)
{
    EXPECT_EXIT(autoconnect_without_console(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
