#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "tests/win/wintest.h"
#include "toolkit/textbox.h"
#include "toolkit/util.h"

namespace {

// Run as the "registered browser" of the URL tests, the program writes its command line
// into the file named by this variable and ends.
constexpr wchar_t record_var[] = L"LV_URL_RECORD";

COLORREF sys(int index)
{
    return GetSysColor(index) & 0xFFFFFF;
}

TEST(UtilFont, CreatesFontWithTheGivenHeightWeightAndDraftQuality)
{
    HFONT font = vel_util_create_font(-13, L"Arial", FW_BOLD);
    ASSERT_NE(font, nullptr);
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfQuality, DRAFT_QUALITY);
    EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    DeleteObject(font);
}

TEST(UtilDraw, LinesPutShadowAndHighlightInTheirPlaces)
{
    const COLORREF light = sys(COLOR_BTNHIGHLIGHT), shadow = sys(COLOR_BTNSHADOW);
    ASSERT_NE(light, shadow);
    struct row {
        bool horizontal;
        int style;
        COLORREF first, second;
    } const rows[] = {
        {true, 1, shadow, light}, {true, 0, light, shadow}, {true, 2, light, shadow},
        {false, 1, shadow, light}, {false, 0, light, shadow},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << "horizontal " << r.horizontal << " style " << r.style);
        wintest_canvas c(40, 40);
        if (r.horizontal)
            vel_util_draw_hline(c.dc(), 5, 10, 20, r.style);
        else
            vel_util_draw_vline(c.dc(), 10, 5, 20, r.style);
        for (int along : {5, 14, 24}) {
            const int x0 = r.horizontal ? along : 10, y0 = r.horizontal ? 10 : along;
            EXPECT_EQ(c.at(x0, y0), r.first);
            EXPECT_EQ(c.at(r.horizontal ? x0 : x0 + 1, r.horizontal ? y0 + 1 : y0), r.second);
        }
        // Nothing past the length or beside the two lines.
        EXPECT_EQ(c.at(r.horizontal ? 25 : 10, r.horizontal ? 10 : 25), RGB(0, 0, 0));
        EXPECT_EQ(c.at(r.horizontal ? 14 : 12, r.horizontal ? 12 : 14), RGB(0, 0, 0));
    }
}

TEST(UtilDraw, EdgeIsRaisedOnePixelFrame)
{
    wintest_canvas c(30, 20);
    RECT rc{0, 0, 30, 20};
    vel_util_draw_edge(c.dc(), &rc);
    EXPECT_EQ(c.at(0, 10), sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.at(15, 0), sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.at(29, 10), sys(COLOR_BTNSHADOW));
    EXPECT_EQ(c.at(15, 19), sys(COLOR_BTNSHADOW));
    EXPECT_EQ(c.at(15, 10), RGB(0, 0, 0));
}

TEST(UtilDraw, TextPaintsEveryPixelOfItsRectangleAndNothingElse)
{
    HFONT font = vel_util_create_font(-12, L"Tahoma", FW_NORMAL);
    for (UINT format : {UINT(DT_LEFT | DT_SINGLELINE), UINT(DT_CENTER | DT_SINGLELINE), UINT(DT_RIGHT),
                        UINT(DT_LEFT | DT_SINGLELINE | DT_VCENTER), UINT(DT_LEFT | DT_SINGLELINE | DT_BOTTOM)}) {
        SCOPED_TRACE(format);
        wintest_canvas c(120, 80);
        RECT rc{10, 5, 110, 75};
        vel_util_draw_text(c.dc(), font, RGB(0, 0, 255), RGB(255, 255, 255), L"Hello", 5, &rc, format);
        int text_pixels = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                const bool inside = x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
                const COLORREF p = c.at(x, y);
                if (!inside) {
                    ASSERT_EQ(p, RGB(0, 0, 0)) << x << "," << y;
                    continue;
                }
                ASSERT_NE(p, RGB(0, 0, 0)) << "unpainted at " << x << "," << y;
                text_pixels += p != RGB(255, 255, 255);
            }
        EXPECT_GE(text_pixels, wintest_text_ink(font, L"Hello", RGB(0, 0, 255), RGB(255, 255, 255)));
    }
    DeleteObject(font);
}

TEST(UtilDraw, HalftoneLineDrawnTwiceRestoresThePicture)
{
    for (RECT rc : {RECT{20, 0, 26, 60}, RECT{0, 20, 60, 26}}) {
        wintest_canvas c(60, 60);
        for (int i = 0; i < 60; i += 7) {
            RECT band{i, 0, i + 3, 60};
            FillRect(c.dc(), &band, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        auto snapshot = [&] {
            std::wstring s;
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 60; ++x)
                    s.push_back(static_cast<wchar_t>(c.at(x, y) & 0xFFFF));
            return s;
        };
        const std::wstring before = snapshot();
        vel_util_draw_halftone_rect(c.dc(), &rc);
        const std::wstring once = snapshot();
        EXPECT_NE(once, before);
        // Only the rectangle changes.
        EXPECT_EQ(once[10 * 60 + 10], before[10 * 60 + 10]);
        vel_util_draw_halftone_rect(c.dc(), &rc);
        EXPECT_EQ(snapshot(), before);
    }
}

TEST(UtilClipboard, TextRoundTripAndEmptyClipboard)
{
    const wchar_t text[] = L"árvíztűrő tükörfúrógép\r\nline 2";
    ASSERT_EQ(vel_util_set_clipboard_text(nullptr, text, wcslen(text)), 1);
    wchar_t *got = vel_util_get_clipboard_text(nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got, text);
    std::free(got);
    // The clipboard was closed again: it can be opened and emptied.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(vel_util_get_clipboard_text(nullptr), nullptr);
}

struct clip_holder {
    HANDLE opened, release;
};

DWORD WINAPI hold_clipboard(void *p)
{
    auto *x = static_cast<clip_holder *>(p);
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    OpenClipboard(owner);
    SetEvent(x->opened);
    WaitForSingleObject(x->release, 5000);
    CloseClipboard();
    DestroyWindow(owner);
    return 0;
}

TEST(UtilClipboard, FailsWhileAnotherOwnerHoldsItOpen)
{
    ASSERT_EQ(vel_util_set_clipboard_text(nullptr, L"x", 1), 1);
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    clip_holder c{opened, release};
    HANDLE th = CreateThread(nullptr, 0, hold_clipboard, &c, 0, nullptr);
    WaitForSingleObject(opened, 5000);
    EXPECT_EQ(vel_util_get_clipboard_text(nullptr), nullptr);
    SetEvent(release);
    WaitForSingleObject(th, 5000);
    CloseHandle(th);
    CloseHandle(opened);
    CloseHandle(release);
    wchar_t *again = vel_util_get_clipboard_text(nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, L"x");
    std::free(again);
}

TEST(UtilString, WcsdupCopiesAndHandlesNull)
{
    EXPECT_EQ(vel_wcsdup(nullptr), nullptr);
    const wchar_t empty[] = L"";
    wchar_t *e = vel_wcsdup(empty);
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e, empty);
    EXPECT_EQ(e[0], 0);
    std::free(e);
    wchar_t *s = vel_wcsdup(L"szia");
    EXPECT_STREQ(s, L"szia");
    std::free(s);
}

TEST(UtilWindow, SizeOfAWindowAndOfNone)
{
    wintest_init();
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 10, 10, 300, 200, nullptr, nullptr, nullptr, nullptr);
    vel_size size{-1, -1};
    ASSERT_EQ(vel_util_getwindowsize(w, &size), 1);
    EXPECT_EQ(size.width, 300);
    EXPECT_EQ(size.height, 200);
    DestroyWindow(w);
    size = {-1, -2};
    EXPECT_EQ(vel_util_getwindowsize(w, &size), 0);
    EXPECT_EQ(size.width, -1);
    EXPECT_EQ(size.height, -2);
}

TEST(UtilUrl, SchemeClassByPrefixIgnoringCase)
{
    struct row {
        const wchar_t *url, *cls;
    } const rows[] = {
        {L"mailto:a@b.hu", L"mailto"}, {L"http://x.hu", L"http"}, {L"HTTPS://x.hu", L"https"},
        {L"https://x", L"https"},      {L"ftp://f.hu", L"ftp"},   {L"WWW.Example.com", L"http"},
        {L"ftp.gnu.org", L"ftp"},      {L"gopher://x", nullptr},  {L"htt", nullptr},
        {L"xhttp://x", nullptr},       {L"", nullptr},            {nullptr, nullptr},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.url ? r.url : L"(null)");
        const wchar_t *cls = vel_util_url_class(r.url);
        if (r.cls) {
            EXPECT_STREQ(cls, r.cls);
        } else {
            EXPECT_EQ(cls, nullptr);
        }
    }
}

TEST(UtilUrl, ProgramOfARegisteredCommand)
{
    struct row {
        const wchar_t *command, *program;
    } const rows[] = {
        {L"\"C:\\Program Files\\Web Browser\\b.exe\" -url \"%1\"", L"C:\\Program Files\\Web Browser\\b.exe"},
        {L"C:\\b.exe %1", L"C:\\b.exe"},
        {L"C:\\b.exe", L"C:\\b.exe"},
        {L"\"C:\\only quoted", L"C:\\only quoted"},
        {L"", nullptr},
        {L"\"\" %1", nullptr},
        {L" %1", nullptr},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.command);
        wchar_t out[MAX_PATH];
        const int ok = vel_util_command_program(r.command, out, MAX_PATH);
        EXPECT_EQ(ok, r.program ? 1 : 0);
        if (r.program && ok) {
            EXPECT_STREQ(out, r.program);
        }
    }
    wchar_t tiny[4];
    EXPECT_EQ(vel_util_command_program(L"C:\\b.exe", tiny, 4), 0);
}

TEST(UtilUrl, QuotingRefusesWhatCouldBreakOutOfTheArgument)
{
    struct row {
        const wchar_t *url, *quoted;
    } const rows[] = {
        {L"http://x.hu/a?b=1&c=2", L"\"http://x.hu/a?b=1&c=2\""},
        {L"www.x.hu\\", L"\"www.x.hu\\\\\""},
        {L"http://x\\\\", L"\"http://x\\\\\\\\\""},
        {L"http://x\" --evil", nullptr},
        {L"http://x\r\n", nullptr},
        {L"http://x\t-y", nullptr},
        {L"", nullptr},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.url);
        wchar_t out[64];
        const int ok = vel_util_quote_url(r.url, out, 64);
        EXPECT_EQ(ok, r.quoted ? 1 : 0);
        if (r.quoted && ok) {
            EXPECT_STREQ(out, r.quoted);
        }
    }
    wchar_t small[8];
    EXPECT_EQ(vel_util_quote_url(L"http://long.example", small, 8), 0);
}

// A scheme's registered open command, set for a test and put back as it was afterwards.
class registered_command {
public:
    explicit registered_command(const wchar_t *scheme)
    {
        const std::wstring path = std::wstring(scheme) + L"\\shell\\open\\command";
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD size = sizeof saved_;
        had_value_ = RegQueryValueExW(key_, nullptr, nullptr, &saved_type_, reinterpret_cast<BYTE *>(saved_),
                                      &size) == ERROR_SUCCESS;
        saved_size_ = size;
    }
    ~registered_command()
    {
        if (had_value_)
            RegSetValueExW(key_, nullptr, 0, saved_type_, reinterpret_cast<const BYTE *>(saved_), saved_size_);
        else
            RegDeleteValueW(key_, nullptr);
        RegCloseKey(key_);
    }
    registered_command(const registered_command &) = delete;
    registered_command &operator=(const registered_command &) = delete;
    bool ok() const { return key_ != nullptr; }
    void set(const std::wstring &command, DWORD type = REG_SZ)
    {
        RegSetValueExW(key_, nullptr, 0, type, reinterpret_cast<const BYTE *>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    HKEY key() const { return key_; }

private:
    HKEY key_ = nullptr;
    wchar_t saved_[1024] = {};
    DWORD saved_type_ = REG_SZ, saved_size_ = 0;
    bool had_value_ = false;
};

// Registers a copy of this test program, under a folder name with a space, as the
// program that opens "http" and "mailto" addresses.
class UtilOpenUrl : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t self[MAX_PATH], temp[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"lv url test";
        CreateDirectoryW(dir_.c_str(), nullptr);
        program_ = dir_ + L"\\fake browser.exe";
        ASSERT_TRUE(CopyFileW(self, program_.c_str(), FALSE));
        record_ = dir_ + L"\\args.txt";
        DeleteFileW(record_.c_str());
        ASSERT_TRUE(http_.ok());
        ASSERT_TRUE(mailto_.ok());
        const std::wstring command = L"\"" + program_ + L"\" -nohome \"%1\"";
        http_.set(command);
        mailto_.set(command);
        SetEnvironmentVariableW(record_var, record_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(record_var, nullptr);
        DeleteFileW(record_.c_str());
        DeleteFileW(program_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    // The recorded command line, waiting at most ten seconds for the program to run.
    std::wstring recorded()
    {
        for (int i = 0; i < 200; ++i) {
            if (FILE *f = _wfopen(record_.c_str(), L"rb")) {
                wchar_t buf[1024] = {};
                const size_t n = fread(buf, sizeof(wchar_t), 1023, f);
                fclose(f);
                if (n > 0)
                    return std::wstring(buf, n);
            }
            Sleep(50);
        }
        return L"";
    }
    // Nothing was run: no command line recorded within half a second.
    bool nothing_ran()
    {
        Sleep(500);
        return GetFileAttributesW(record_.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    std::wstring dir_, program_, record_;
    registered_command http_{L"http"};
    registered_command mailto_{L"mailto"};
};

TEST_F(UtilOpenUrl, RunsTheRegisteredProgramWithTheAddressUnchangedAsOneArgument)
{
    const INT_PTR answer = vel_util_open_url(L"WWW.Example.com/a b");
    EXPECT_GT(answer, 32);
    const std::wstring line = recorded();
    EXPECT_NE(line.find(L"fake browser.exe"), std::wstring::npos) << std::string(line.begin(), line.end());
    EXPECT_NE(line.find(L" \"WWW.Example.com/a b\""), std::wstring::npos) << std::string(line.begin(), line.end());
}

TEST_F(UtilOpenUrl, RefusesAddressesThatWouldInjectArgumentsAndUnknownSchemes)
{
    EXPECT_EQ(vel_util_open_url(L"http://x.hu\" --remote-debugging-port=1"), 0);
    EXPECT_EQ(vel_util_open_url(L"gopher://x.hu"), 0);
    EXPECT_EQ(vel_util_open_url(nullptr), 0);
    EXPECT_TRUE(nothing_ran());
}

// A double-clicked mail address in a text box (the box hands "mailto:" and the word) goes
// through the same checks: a quote in the word cannot add arguments for the mail program.
TEST_F(UtilOpenUrl, MailAddressesFromATextBoxPassTheSameChecks)
{
    vel_textbox_open_address(L"mailto:x\"--profile=c:\\evil@x.hu", 1);
    EXPECT_TRUE(nothing_ran());
    vel_textbox_open_address(L"mailto:anna@pelda.hu", 1);
    const std::wstring line = recorded();
    EXPECT_NE(line.find(L"\"mailto:anna@pelda.hu\""), std::wstring::npos) << std::string(line.begin(), line.end());
}

// A command registered with environment variables in it is expanded before its program is
// taken out of it: here the variable holds the quoted program path.
TEST_F(UtilOpenUrl, AnExpandableCommandIsExpanded)
{
    SetEnvironmentVariableW(L"LV_URL_TEST_BROWSER", (L"\"" + program_ + L"\"").c_str());
    http_.set(L"%LV_URL_TEST_BROWSER% -nohome \"%1\"", REG_EXPAND_SZ);
    EXPECT_GT(vel_util_open_url(L"http://pelda.hu/"), 32);
    const std::wstring line = recorded();
    EXPECT_NE(line.find(L"fake browser.exe"), std::wstring::npos) << std::string(line.begin(), line.end());
    EXPECT_NE(line.find(L" \"http://pelda.hu/\""), std::wstring::npos) << std::string(line.begin(), line.end());
    SetEnvironmentVariableW(L"LV_URL_TEST_BROWSER", nullptr);
}

TEST_F(UtilOpenUrl, SchemeWithoutARegisteredProgramOpensNothing)
{
    http_.set(L"");
    EXPECT_EQ(vel_util_open_url(L"http://x.hu"), 0);
    const DWORD number = 7;
    RegSetValueExW(http_.key(), nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number);
    EXPECT_EQ(vel_util_open_url(L"http://x.hu"), 0);
}

}  // namespace

int main(int argc, char **argv)
{
    wchar_t record[MAX_PATH];
    if (GetEnvironmentVariableW(record_var, record, MAX_PATH)) {
        if (FILE *f = _wfopen(record, L"wb")) {
            const wchar_t *line = GetCommandLineW();
            fwrite(line, sizeof(wchar_t), wcslen(line), f);
            fclose(f);
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
