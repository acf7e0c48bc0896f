// The program's entry point: the console, the platform check, the start-up (toolkit,
// settings, protocol client, main frame with its banner, friends, optional auto-connect),
// the message loop, and the clean-up on the way out.
#include "app/startup.h"
#include "toolkit/util.h"
#include "toolkit/window.h"
#include "ui/mainwnd.h"

namespace {

constexpr const char *default_config = "lvchat.cfg";

bool is_nt_family()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *config_path = argc > 1 ? argv[1] : default_config;
    vel_util_buffer_output();
    // The console opens only when the settings keep it: a console opened just to be
    // closed again flashes on the screen, and starting one (a console host process under
    // Wine) costs a third of a second before the frame can appear.
    if (startup_wants_console(config_path))
        vel_util_console_open();
    if (!is_nt_family()) {
        MessageBoxA(nullptr, "windows nt required", "os version check failed", MB_ICONERROR);
        return 1;
    }
    HACCEL accel = nullptr;
    mainwnd *mw = startup_run(config_path, &accel);
    if (!mw) {
        MessageBoxA(nullptr, "the main window could not be created", "lvchat", MB_ICONERROR);
        return 1;
    }
    vel_run(mw->frame, accel);
    startup_finish(accel);
    return 0;
}
