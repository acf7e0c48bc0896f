#include "app/startup.h"

#include "app/dispatch.h"
#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/cfgproc.h"
#include "settings/util.h"
#include "toolkit/util.h"
#include "toolkit/window.h"
#include "ui/mainwnd.h"
#include "ui/statwnd.h"

namespace {

constexpr const char *friends_file = "friends";

void startup_abort()
{
    dispatch_stop();
    startup_cleanup();
}

}  // namespace

int startup_wants_console(const char *config_path)
{
    int32_t console = 0;
    for (const config_entry *row = config_table; row->key; row++)
        if (row->var == &cfg_console)
            console = row->int_default;
    const config_entry only[] = {{"console", CFG_BOOL, &console, console, nullptr}, {nullptr, 0, nullptr, 0, nullptr}};
    config_peek(config_path, only);
    return console != 0;
}

void startup_cleanup()
{
    save_friends(friends_file);
}

mainwnd *startup_run(const char *config_path, HACCEL *accel)
{
    vel_init();
    config_setdefaults(config_table);
    LVC_Init(packet_handler, event_handler, exception_handler);
    *accel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDA_MAIN));
    const int config_ok = config_load(config_path, config_table);
    mainwnd *mw = mainwnd_create();
    if (!mw)
        return nullptr;
    // The hand-over's helper window is made once the frame is on the screen: no other
    // thread runs before the first connection, which comes after this.
    dispatch_start();
    statwnd_abort_handler = startup_abort;
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
    return mw;
}

void startup_finish(HACCEL accel)
{
    dispatch_stop();
    startup_cleanup();
    // The ended reader threads are joined before the program's statics go.
    LVC_Cleanup();
    if (accel)
        DestroyAcceleratorTable(accel);
}
