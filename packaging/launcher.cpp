#include "packaging/launcher.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace {

constexpr const wchar_t *launcher_folder_name = L"\\lvchat";
constexpr const wchar_t *launcher_config_name = L"\\lvchat.cfg";

bool launcher_is_folder(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool launcher_is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

}  // namespace

std::wstring launcher_user_folder()
{
    wchar_t path[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return {};
    return std::wstring(path) + launcher_folder_name;
}

std::wstring launcher_program_folder()
{
    // Long paths are allowed where the system allows them; MAX_PATH is not the limit.
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    std::wstring folder(path.data(), n);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

int launcher_prepare(const std::wstring &folder, const std::wstring &sample)
{
    // "Already there" is fine, but only when it is a folder: a file of that name would make
    // the program fail to start later, with a vaguer message.
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    if (!launcher_is_folder(folder))
        return 0;
    // Copying with "fail if it exists" makes the check and the copy one step.
    CopyFileW(sample.c_str(), (folder + launcher_config_name).c_str(), TRUE);
    return 1;
}

const wchar_t *launcher_arguments(const wchar_t *command_line)
{
    const wchar_t *p = command_line;
    // The program's name ends at its closing quote, or unquoted at the first blank.
    if (*p == L'"') {
        for (p++; *p && *p != L'"'; p++) {
        }
        if (*p)
            p++;
    } else {
        while (*p && !launcher_is_blank(*p))
            p++;
    }
    while (launcher_is_blank(*p))
        p++;
    return p;
}

int launcher_start(const std::wstring &program, const wchar_t *arguments, const std::wstring &folder)
{
    std::wstring line = L"\"" + program + L"\"";
    if (*arguments)
        line += std::wstring(L" ") + arguments;
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(0);

    // A shortcut set to start minimised or maximised passes that on to the program.
    STARTUPINFOW own{};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (own.dwFlags & STARTF_USESHOWWINDOW) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = own.wShowWindow;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
}
