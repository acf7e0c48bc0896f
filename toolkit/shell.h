// Shell and sound calls through libraries loaded on first use. shell32 (with the libraries
// it brings in) and winmm add to every start under Wine, yet the program needs them only
// when it opens an address, shows its tray icon or plays a sound.
#pragma once

#include <windows.h>

#include <shellapi.h>

// ShellExecuteW; a value of 32 or less on failure (SE_ERR_DLLNOTFOUND without shell32).
HINSTANCE vel_shell_execute(HWND owner, const wchar_t *verb, const wchar_t *file, const wchar_t *parameters,
                            const wchar_t *folder, int show);
// Shell_NotifyIconW; FALSE without shell32.
BOOL vel_shell_notify_icon(DWORD message, NOTIFYICONDATAW *data);
// PlaySoundW; FALSE without winmm.
BOOL vel_play_sound(const wchar_t *sound, HMODULE module, DWORD flags);
