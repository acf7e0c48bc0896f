// The program's entry point: platform check, toolkit, settings, protocol client, main
// frame with its banner, friends, optional auto-connect, the message loop, and the clean-up
// on the way out.
#include "app/cfgproc.h"
#include "app/dispatch.h"
#include "app/util.h"
#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "toolkit/util.h"
#include "toolkit/window.h"
#include "ui/mainwnd.h"
#include "ui/statwnd.h"

namespace {

constexpr const char *friends_file = "friends";
constexpr const char *default_config = "lvchat.cfg";

bool is_nt_family()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void cleanup()
{
    save_friends(friends_file);
}

void abort_now()
{
    dispatch_stop();
    cleanup();
}

}  // namespace

int main(int argc, char **argv)
{
    vel_util_console_open();
    if (!is_nt_family()) {
        MessageBoxA(nullptr, "windows nt required", "os version check failed", MB_ICONERROR);
        return 1;
    }
    vel_init();
    config_setdefaults(config_table);
    LVC_Init(packet_handler, event_handler, exception_handler);
    dispatch_start();
    HACCEL accel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDA_MAIN));
    const char *config_path = argc > 1 ? argv[1] : default_config;
    const int config_ok = config_load(config_path, config_table);
    mainwnd *mw = mainwnd_create();
    if (!mw) {
        MessageBoxA(nullptr, "the main window could not be created", "lvchat", MB_ICONERROR);
        return 1;
    }
    statwnd_abort_handler = abort_now;
    statwnd_add_msg(status_window, "*  lvchat - lorvando chat kliens");
    statwnd_add_msg(status_window, "*  Compiled at %s on %s.", __DATE__, __TIME__);
    statwnd_add_msg(status_window, "*  $blue$http://www.lorvando.hu/");
    if (!config_ok)
        statwnd_add_msg(status_window, "$red$- error:$black$ loading config file [%s]", config_path);
    if (!load_friends(friends_file))
        statwnd_add_msg(status_window, "$red$- error:$black$ loading friends file");
    if (!cfg_console)
        vel_util_console_close();
    if (cfg_autoconnect)
        statwnd_inject(status_window, "/server");
    vel_run(mw->frame, accel);
    dispatch_stop();
    cleanup();
    // The ended reader threads are joined before the program's statics go.
    LVC_Cleanup();
    if (accel)
        DestroyAcceleratorTable(accel);
    return 0;
}
