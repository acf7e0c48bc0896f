// The version resource that the program's resources carry: what Explorer's properties and
// the installer's Programs list show.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "lvversion.h"

namespace {

std::vector<char> own_version_info()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data()))
        return {};
    return info;
}

std::wstring text_of(std::vector<char> &info, const wchar_t *name)
{
    void *value = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040E04B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0)
        return {};
    return static_cast<const wchar_t *>(value);
}

TEST(VersionResource, NumbersAndTextsComeFromTheProjectVersion)
{
    std::vector<char> info = own_version_info();
    ASSERT_FALSE(info.empty()) << "no version resource";

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD ms = (LV_VERSION_MAJOR << 16) | LV_VERSION_MINOR;
    const DWORD ls = static_cast<DWORD>(LV_VERSION_PATCH) << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);

    const std::string text = LV_VERSION_TEXT;
    const std::wstring version(text.begin(), text.end());
    EXPECT_EQ(text_of(info, L"FileVersion"), version);
    EXPECT_EQ(text_of(info, L"ProductVersion"), version);
    EXPECT_EQ(text_of(info, L"ProductName"), L"lvchat");
    EXPECT_EQ(text_of(info, L"FileDescription"), L"lvchat - lorvando chat kliens");
    EXPECT_EQ(text_of(info, L"OriginalFilename"), L"lvchat.exe");
}

}  // namespace
