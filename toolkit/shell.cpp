#include "toolkit/shell.h"

namespace {

// The entry point `name` of a system library, loaded the first time it is asked for; null
// when either is missing. Only the user-interface thread calls these.
template <typename Fn>
Fn shell_entry(const wchar_t *library, const char *name)
{
    HMODULE module = GetModuleHandleW(library);
    if (!module)
        module = LoadLibraryW(library);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

HINSTANCE vel_shell_execute(HWND owner, const wchar_t *verb, const wchar_t *file, const wchar_t *parameters,
                            const wchar_t *folder, int show)
{
    using fn = HINSTANCE(WINAPI *)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static const fn call = shell_entry<fn>(L"shell32.dll", "ShellExecuteW");
    return call ? call(owner, verb, file, parameters, folder, show)
                : reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

BOOL vel_shell_notify_icon(DWORD message, NOTIFYICONDATAW *data)
{
    using fn = BOOL(WINAPI *)(DWORD, PNOTIFYICONDATAW);
    static const fn call = shell_entry<fn>(L"shell32.dll", "Shell_NotifyIconW");
    return call ? call(message, data) : FALSE;
}

BOOL vel_play_sound(const wchar_t *sound, HMODULE module, DWORD flags)
{
    using fn = BOOL(WINAPI *)(LPCWSTR, HMODULE, DWORD);
    static const fn call = shell_entry<fn>(L"winmm.dll", "PlaySoundW");
    return call ? call(sound, module, flags) : FALSE;
}
