#include "toolkit/util.h"

#include "toolkit/shell.h"

#include <shellapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

namespace {

struct free_deleter {
    void operator()(void *p) const { std::free(p); }
};

// Restores a device context's selected object when it goes out of scope.
class dc_select {
public:
    dc_select(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~dc_select() { SelectObject(dc_, old_); }
    dc_select(const dc_select &) = delete;
    dc_select &operator=(const dc_select &) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

struct gdi_deleter {
    void operator()(HGDIOBJ obj) const { DeleteObject(obj); }
};
using gdi_ptr = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, gdi_deleter>;

// Closes the clipboard when the scope ends.
class clipboard_session {
public:
    explicit clipboard_session(HWND owner) : open_(OpenClipboard(owner) != 0) {}
    ~clipboard_session() { if (open_) CloseClipboard(); }
    clipboard_session(const clipboard_session &) = delete;
    clipboard_session &operator=(const clipboard_session &) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

struct reg_key {
    HKEY key = nullptr;
    ~reg_key() { if (key) RegCloseKey(key); }
};

// A registered command of the expandable kind ("%ProgramFiles%\\..."), with its
// environment variables put in; false when it cannot be expanded.
bool expand_environment(std::unique_ptr<wchar_t, free_deleter> *value)
{
    const DWORD units = ExpandEnvironmentStringsW(value->get(), nullptr, 0);
    if (units == 0)
        return false;
    std::unique_ptr<wchar_t, free_deleter> expanded(static_cast<wchar_t *>(std::calloc(units + 1, sizeof(wchar_t))));
    if (!expanded || ExpandEnvironmentStringsW(value->get(), expanded.get(), units + 1) == 0)
        return false;
    *value = std::move(expanded);
    return true;
}

struct url_prefix {
    std::wstring_view prefix;
    const wchar_t *cls;
};

// Searched in this order; shared in spirit with the text box's link marking.
constexpr url_prefix url_prefixes[] = {
    {L"mailto:", L"mailto"}, {L"http:", L"http"}, {L"https:", L"https"},
    {L"ftp:", L"ftp"},       {L"www.", L"http"},  {L"ftp.", L"ftp"},
};

// Whether url begins with the (lower-case) prefix, its letters compared without case as
// the C locale folds them. The colour text box asks this at every character of every line,
// so it reads no further than the prefix (a terminator never matches).
bool url_starts_with(const wchar_t *url, std::wstring_view prefix)
{
    for (size_t i = 0; i < prefix.size(); i++) {
        wchar_t c = url[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

void frame_line(HDC dc, int left, int top, int right, int bottom, HBRUSH brush)
{
    RECT rc{left, top, right, bottom};
    FrameRect(dc, &rc, brush);
}

// A thread's measuring context, deleted when the thread ends.
struct measure_dc {
    HDC dc = nullptr;
    ~measure_dc()
    {
        if (dc)
            DeleteDC(dc);
    }
};

}  // namespace

HDC vel_util_measure_dc()
{
    thread_local measure_dc context;
    if (!context.dc)
        context.dc = CreateCompatibleDC(nullptr);
    return context.dc;
}

HFONT vel_util_create_font(int height, const wchar_t *face, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DRAFT_QUALITY, DEFAULT_PITCH, face);
}

void vel_util_draw_edge(HDC dc, const RECT *rc)
{
    const int right = rc->right - 1, bottom = rc->bottom - 1;
    gdi_ptr light(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT)));
    gdi_ptr shadow(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
    if (!light || !shadow)
        return;
    POINT old;
    {
        dc_select sel(dc, light.get());
        MoveToEx(dc, 0, bottom, &old);
        LineTo(dc, 0, 0);
        LineTo(dc, right, 0);
    }
    {
        dc_select sel(dc, shadow.get());
        MoveToEx(dc, right, 0, nullptr);
        LineTo(dc, right, bottom);
        LineTo(dc, -1, bottom);
    }
    MoveToEx(dc, old.x, old.y, nullptr);
}

void vel_util_draw_hline(HDC dc, int x, int y, int length, int style)
{
    HBRUSH light = GetSysColorBrush(COLOR_BTNHIGHLIGHT), shadow = GetSysColorBrush(COLOR_BTNSHADOW);
    frame_line(dc, x, y, x + length, y + 1, style == 1 ? shadow : light);
    frame_line(dc, x, y + 1, x + length, y + 2, style == 1 ? light : shadow);
}

void vel_util_draw_vline(HDC dc, int x, int y, int length, int style)
{
    HBRUSH light = GetSysColorBrush(COLOR_BTNHIGHLIGHT), shadow = GetSysColorBrush(COLOR_BTNSHADOW);
    frame_line(dc, x, y, x + 1, y + length, style == 1 ? shadow : light);
    frame_line(dc, x + 1, y, x + 2, y + length, style == 1 ? light : shadow);
}

void vel_util_draw_text(HDC dc, HFONT font, COLORREF text_colour, COLORREF bk_colour, const wchar_t *text,
                        int length, const RECT *rc, UINT format)
{
    gdi_ptr brush(CreateSolidBrush(bk_colour));
    if (!brush)
        return;
    SetTextColor(dc, text_colour);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, bk_colour);
    dc_select sel(dc, font);
    RECT area = *rc;
    auto fill = [&](int l, int t, int r, int b) {
        RECT part{l, t, r, b};
        if (part.left < part.right && part.top < part.bottom)
            FillRect(dc, &part, static_cast<HBRUSH>(brush.get()));
    };
    if (format & (DT_CENTER | DT_RIGHT)) {
        FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
        DrawTextW(dc, text, length, &area, format);
        return;
    }
    // Paint the text once and only the uncovered rest with the brush, so nothing flickers.
    // Measured from the top; a single line centred or at the bottom is then moved to where
    // it is drawn, so the fill around it never paints over it.
    RECT measured = area;
    DrawTextW(dc, text, length, &measured, (format & ~(DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    if (format & DT_SINGLELINE) {
        const int spare = (area.bottom - area.top) - (measured.bottom - measured.top);
        const int shift = (format & DT_VCENTER) ? spare / 2 : (format & DT_BOTTOM) ? spare : 0;
        if (shift > 0)
            OffsetRect(&measured, 0, shift);
    }
    DrawTextW(dc, text, length, &area, format);
    const int text_bottom = measured.bottom < area.bottom ? measured.bottom : area.bottom;
    const int text_right = measured.right < area.right ? measured.right : area.right;
    fill(area.left, area.top, area.right, measured.top);
    fill(area.left, text_bottom, area.right, area.bottom);
    fill(text_right, measured.top, area.right, text_bottom);
}

void vel_util_draw_halftone_rect(HDC dc, const RECT *rc)
{
    const int width = rc->right - rc->left, height = rc->bottom - rc->top;
    if (width <= 0 || height <= 0)
        return;
    // Focus rectangles two pixels across, stacked along the narrow side.
    if (width < height) {
        for (int x = rc->left; x < rc->right; x += 2) {
            RECT r{x, rc->top, x + 2 < rc->right ? x + 2 : rc->right, rc->bottom};
            DrawFocusRect(dc, &r);
        }
    } else {
        for (int y = rc->top; y < rc->bottom; y += 2) {
            RECT r{rc->left, y, rc->right, y + 2 < rc->bottom ? y + 2 : rc->bottom};
            DrawFocusRect(dc, &r);
        }
    }
}

wchar_t *vel_util_get_clipboard_text(HWND owner)
{
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT))
        return nullptr;
    clipboard_session clip(owner);
    if (!clip.open())
        return nullptr;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return nullptr;
    const auto *text = static_cast<const wchar_t *>(GlobalLock(data));
    if (!text)
        return nullptr;
    // The clipboard block may lack a terminator: never read past its size.
    const size_t units = GlobalSize(data) / sizeof(wchar_t);
    const size_t length = wcsnlen(text, units);
    auto *copy = static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (copy) {
        std::wmemcpy(copy, text, length);
        copy[length] = 0;
    }
    GlobalUnlock(data);
    return copy;
}

int vel_util_set_clipboard_text(HWND owner, const wchar_t *text, size_t length)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
    if (!block)
        return 0;
    auto *dst = static_cast<wchar_t *>(GlobalLock(block));
    if (!dst) {
        GlobalFree(block);
        return 0;
    }
    std::wmemcpy(dst, text, length);
    dst[length] = 0;
    GlobalUnlock(block);
    clipboard_session clip(owner);
    if (!clip.open() || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, block)) {
        GlobalFree(block);
        return 0;
    }
    return 1;
}

const wchar_t *vel_util_url_class(const wchar_t *url)
{
    // The text box asks at every character of every line: most characters begin no
    // prefix, and one look at the first letter settles it.
    static constexpr auto first_letters = [] {
        std::array<bool, 128> letters{};
        for (const url_prefix &p : url_prefixes)
            letters[static_cast<size_t>(p.prefix[0])] = true;
        return letters;
    }();
    if (!url)
        return nullptr;
    wchar_t c = url[0];
    if (c >= L'A' && c <= L'Z')
        c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c >= 128 || !first_letters[static_cast<size_t>(c)])
        return nullptr;
    for (const url_prefix &p : url_prefixes)
        if (url_starts_with(url, p.prefix))
            return p.cls;
    return nullptr;
}

int vel_util_command_program(const wchar_t *command, wchar_t *out, size_t capacity)
{
    if (!command || !out || capacity == 0)
        return 0;
    std::wstring_view cmd(command);
    std::wstring_view program;
    if (!cmd.empty() && cmd.front() == L'"') {
        cmd.remove_prefix(1);
        program = cmd.substr(0, cmd.find(L'"'));
    } else {
        program = cmd.substr(0, cmd.find(L' '));
    }
    if (program.empty() || program.size() >= capacity)
        return 0;
    std::wmemcpy(out, program.data(), program.size());
    out[program.size()] = 0;
    return 1;
}

int vel_util_quote_url(const wchar_t *url, wchar_t *out, size_t capacity)
{
    const std::wstring_view u(url ? url : L"");
    if (u.empty())
        return 0;
    size_t trailing = 0;
    for (wchar_t c : u) {
        if (c == L'"' || c < 0x20 || c == 0x7F)
            return 0;
        trailing = c == L'\\' ? trailing + 1 : 0;
    }
    // Backslashes just before the closing quote are doubled so they cannot escape it.
    const size_t needed = u.size() + trailing + 3;
    if (needed > capacity)
        return 0;
    size_t n = 0;
    out[n++] = L'"';
    for (wchar_t c : u)
        out[n++] = c;
    for (size_t i = 0; i < trailing; ++i)
        out[n++] = L'\\';
    out[n++] = L'"';
    out[n] = 0;
    return 1;
}

INT_PTR vel_util_open_url(const wchar_t *url)
{
    const wchar_t *cls = vel_util_url_class(url);
    if (!cls)
        return 0;
    wchar_t quoted[4096];
    if (!vel_util_quote_url(url, quoted, std::size(quoted)))
        return 0;
    if (std::wstring_view(cls) == L"mailto") {
        vel_shell_execute(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    }
    wchar_t key_name[64];
    std::swprintf(key_name, std::size(key_name), L"%ls\\shell\\open\\command", cls);
    reg_key key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_name, 0, KEY_READ, &key.key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return 0;
    // One extra unit keeps the value terminated even when the registry stored it without.
    std::unique_ptr<wchar_t, free_deleter> value(
        static_cast<wchar_t *>(std::calloc(size / sizeof(wchar_t) + 1, sizeof(wchar_t))));
    if (!value)
        return 0;
    if (RegQueryValueExW(key.key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(value.get()), &size) !=
        ERROR_SUCCESS)
        return 0;
    if (type == REG_EXPAND_SZ && !expand_environment(&value))
        return 0;
    wchar_t program[MAX_PATH * 2];
    if (!vel_util_command_program(value.get(), program, std::size(program)))
        return 0;
    return reinterpret_cast<INT_PTR>(vel_shell_execute(nullptr, L"open", program, quoted, nullptr, SW_SHOWNORMAL));
}

int vel_messagebox(const vel_window *window, const wchar_t *text, const wchar_t *caption, UINT flags)
{
    return MessageBoxW(window ? window->hwnd : nullptr, text, caption, flags);
}

void vel_util_buffer_output()
{
    // Unbuffered, standard output is written a character at a time, and under Wine each
    // character asks the server whether it is a console (the settings alone print some
    // 700 characters at start); the message loop flushes it whenever the program goes idle.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14);
}

int vel_util_console_open()
{
    const int opened = AllocConsole() ? 1 : 0;
    if (opened) {
        FILE *ignored = nullptr;
        ignored = std::freopen("CONOUT$", "wta+", stdout);
        ignored = std::freopen("CONOUT$", "wta+", stderr);
        (void)ignored;
        vel_util_buffer_output();
    }
    return opened;
}

void vel_util_console_close()
{
    FreeConsole();
}

HBRUSH vel_util_replace_brush(HBRUSH *slot, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush)
        return nullptr;
    if (*slot)
        DeleteObject(*slot);
    *slot = brush;
    return brush;
}

int vel_util_getwindowsize(HWND hwnd, vel_size *size)
{
    RECT rc;
    if (!GetWindowRect(hwnd, &rc))
        return 0;
    size->width = rc.right - rc.left;
    size->height = rc.bottom - rc.top;
    return 1;
}

wchar_t *vel_wcsdup(const wchar_t *text)
{
    if (!text)
        return nullptr;
    const size_t length = std::wcslen(text);
    auto *copy = static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (copy)
        std::wmemcpy(copy, text, length + 1);
    return copy;
}
