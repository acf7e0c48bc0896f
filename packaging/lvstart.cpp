// lvstart.exe: what the Start-menu shortcut of the installed program starts. It prepares
// the user's own folder (with the sample settings on first start) and starts lvchat.exe
// from the same folder as itself, in the user's folder, with the arguments it was given.
#include <windows.h>

#include <string>

#include "packaging/launcher.h"

namespace {

int lvstart_fail(const wchar_t *what, const std::wstring &path)
{
    std::wstring text = std::wstring(what) + L"\n" + path;
    MessageBoxW(nullptr, text.c_str(), L"lvchat", MB_ICONERROR);
    return 1;
}

}  // namespace

int main()
{
    const std::wstring here = launcher_program_folder();
    const std::wstring folder = launcher_user_folder();
    if (folder.empty())
        return lvstart_fail(L"Nem található a felhasználó Application Data mappája.", L"");
    if (!launcher_prepare(folder, here + L"\\lvchat.cfg"))
        return lvstart_fail(L"Nem sikerült létrehozni a beállítások mappáját:", folder);
    const std::wstring program = here + L"\\lvchat.exe";
    if (!launcher_start(program, launcher_arguments(GetCommandLineW()), folder))
        return lvstart_fail(L"Nem sikerült elindítani a programot:", program);
    return 0;
}
