// The Start-menu launcher: the user's folder with a first copy of the sample settings that
// never replaces his own, the argument tail it passes on, and the start of a program in
// that folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "packaging/launcher.h"
#include "tests/support/tempfile.h"

namespace {

std::wstring wide(const std::string &s)
{
    return std::wstring(s.begin(), s.end());
}

std::string narrow(const std::wstring &s)
{
    return std::string(s.begin(), s.end());
}

struct LauncherFolder : testing::Test {
    std::string root = test_temp_path("lvstart");
    std::wstring folder = wide(root) + L"\\lvchat";
    std::string config = narrow(folder) + "\\lvchat.cfg";
    std::string sample = test_temp_file("lvsample", "# minta\r\nserver=minta:8888\r\n");

    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(wide(root).c_str(), nullptr)); }
    void TearDown() override
    {
        DeleteFileA(config.c_str());
        DeleteFileA((narrow(folder) + "\\mark.txt").c_str());
        RemoveDirectoryW(folder.c_str());
        DeleteFileW(folder.c_str());
        RemoveDirectoryA(root.c_str());
        DeleteFileA(sample.c_str());
    }
};

TEST_F(LauncherFolder, FirstStartMakesTheFolderWithTheSample)
{
    EXPECT_EQ(launcher_prepare(folder, wide(sample)), 1);
    EXPECT_EQ(test_read_file(config), "# minta\r\nserver=minta:8888\r\n");
    // Started again the folder is simply there.
    EXPECT_EQ(launcher_prepare(folder, wide(sample)), 1);
}

TEST_F(LauncherFolder, TheUsersOwnSettingsAreKept)
{
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::string own = "server=sajat:1\r\nautoconnect=1\r\n";
    HANDLE h = CreateFileA(config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, own.data(), static_cast<DWORD>(own.size()), &written, nullptr);
    CloseHandle(h);
    EXPECT_EQ(launcher_prepare(folder, wide(sample)), 1);
    EXPECT_EQ(test_read_file(config), own);
}

TEST_F(LauncherFolder, MissingSampleStillStarts)
{
    EXPECT_EQ(launcher_prepare(folder, wide(root) + L"\\nincs.cfg"), 1);
    EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(config.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LauncherFolder, NoFolderWhereThereCannotBeOne)
{
    // The parent is missing.
    EXPECT_EQ(launcher_prepare(folder + L"\\a\\b", wide(sample)), 0);
    // A file has the folder's name.
    HANDLE h = CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(launcher_prepare(folder, wide(sample)), 0);
}

TEST_F(LauncherFolder, StartsTheProgramInTheFolderWithTheArguments)
{
    ASSERT_EQ(launcher_prepare(folder, wide(sample)), 1);
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    // cmd writes its working folder into a file named by a relative path.
    ASSERT_EQ(launcher_start(std::wstring(system) + L"\\cmd.exe", L"/c cd > mark.txt", folder), 1);
    std::string mark = narrow(folder) + "\\mark.txt";
    std::string seen;
    for (int i = 0; i < 100 && seen.find('\n') == std::string::npos; i++) {
        Sleep(100);
        seen = test_read_file(mark);
    }
    ASSERT_NE(seen.find('\n'), std::string::npos) << "the program did not run in the folder";
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, seen.c_str(), static_cast<int>(narrow(folder).size()),
                             narrow(folder).c_str(), -1),
              CSTR_EQUAL)
        << seen;
    EXPECT_EQ(launcher_start(wide(root) + L"\\nincs.exe", L"", folder), 0);
}

TEST(Launcher, ArgumentsFollowTheProgramName)
{
    EXPECT_STREQ(launcher_arguments(L"\"C:\\Program Files\\lvchat\\lvstart.exe\" masik.cfg"), L"masik.cfg");
    EXPECT_STREQ(launcher_arguments(L"\"C:\\Program Files\\lvchat\\lvstart.exe\""), L"");
    EXPECT_STREQ(launcher_arguments(L"lvstart.exe  \t \"a b.cfg\""), L"\"a b.cfg\"");
    EXPECT_STREQ(launcher_arguments(L"lvstart.exe"), L"");
    EXPECT_STREQ(launcher_arguments(L""), L"");
    // A name whose quote never closes has no arguments.
    EXPECT_STREQ(launcher_arguments(L"\"C:\\lvstart.exe x"), L"");
}

}  // namespace
