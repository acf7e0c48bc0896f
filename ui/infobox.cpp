#include "ui/infobox.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/richedit.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <richedit.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

INT_PTR (*infobox_url_opener)(const wchar_t *url) = vel_util_open_url;

namespace {

constexpr int margin = 2;

// Names of the permission bits of a User's perms, by bit number; null: no name.
constexpr const char *perm_names[32] = {
    "canChTheme", "canClose",  "canGetIP",       "canKickUser", "canChPerm", "Unremovable", "AutoIP",
    "canBabel",   "canInvite", "canKickAndBan",  nullptr,       nullptr,     nullptr,       nullptr,
    nullptr,      "isEgyesuletTag", "canSpeak",  "isAsleep2",   "isAsleep",  nullptr,       nullptr,
    nullptr,      nullptr,     nullptr,          nullptr,       nullptr,     nullptr,       nullptr,
    "SzOP",       "ROP",       "MEGAOP",         "VIP",
};

constexpr const char *week_days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// printf onto the end of a string, of any length.
void infobox_append(std::string *out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        size_t at = out->size();
        out->resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(out->data() + at, static_cast<size_t>(n) + 1, format, again);
        out->resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

std::wstring infobox_wide(const std::string &utf8)
{
    std::u16string wide(utf8.size() + 1, u'\0');
    utf8_to_ucs2(wide.data(), utf8.c_str());
    return reinterpret_cast<const wchar_t *>(wide.c_str());
}

// The topic without its colour markup, as UTF-8.
std::string infobox_plain(const char *marked)
{
    const char *src = marked ? marked : "";
    std::u16string plain(std::strlen(src) + 1, u'\0');
    LVC_CStringParserW(plain.data(), nullptr, src, 0);
    std::string utf8(std::char_traits<char16_t>::length(plain.c_str()) * 3 + 1, '\0');
    ucs2_to_utf8(utf8.data(), plain.c_str());
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

const char *infobox_or_empty(const char *text)
{
    return text ? text : "";
}

void infobox_room_text(const Room *room, std::string *caption, std::string *text)
{
    *caption = infobox_or_empty(room->name);
    infobox_append(text, "name:\t%s\ndate:\t%s\nid:\t%d\nstates:\t0x%08x\nusers:\t%d\ntopic:\t%s\n\n%s",
                   caption->c_str(), infobox_date(room->id, "állandó szoba").c_str(), room->id,
                   static_cast<unsigned>(room->states), room->usercnt, infobox_plain(room->theme).c_str(),
                   infobox_or_empty(room->theme));
}

void infobox_user_text(const User *user, std::string *caption, std::string *text)
{
    // The nick is kept terminated within its field; the bound only guards a stray record.
    const std::string nick(user->nick, strnlen(user->nick, sizeof user->nick));
    *caption = nick + " @ " + (user->room ? infobox_or_empty(user->room->name) : "");
    infobox_append(text, "name:\t%s\ndate:\t%s\nid:\t%d\nperms:\t0x%08x\n\t", nick.c_str(),
                   infobox_date(user->id, "regisztrált user").c_str(), user->id, static_cast<unsigned>(user->perms));
    for (int bit = 0; bit < 32; bit++) {
        if (!(static_cast<uint32_t>(user->perms) & (uint32_t{1} << bit)))
            continue;
        if (const char *name = infobox_perm_name(bit))
            infobox_append(text, "%s\n\t", name);
        else
            infobox_append(text, "bit #%d\n\t", bit);
    }
}

void infobox_open_selection(const infobox *ib)
{
    if (!ib->text_view)
        return;
    CHARRANGE sel{};
    vel_widget_sendmessage(ib->text_view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    if (sel.cpMax <= sel.cpMin)
        return;
    // A line break may come out as two units: room for that, and the terminator.
    std::wstring text(static_cast<size_t>(sel.cpMax - sel.cpMin) * 2 + 1, L'\0');
    vel_widget_sendmessage(ib->text_view, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
    if (text[0] && infobox_url_opener)
        infobox_url_opener(text.c_str());
}

int text_view_wdgproc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    auto *ib = static_cast<infobox *>(self->ext);
    if (ib && ib->wnd && msg == WM_KEYDOWN && wp == VK_ESCAPE) {
        PostMessageW(ib->wnd->hwnd, WM_CLOSE, 0, 0);
        *result = 0;
        return VEL_DONE;
    }
    return VEL_CONTINUE;
}

int infobox_build(infobox *ib, vel_window *self)
{
    ib->wnd = self;
    ib->text_view = vel_widget_create(ib, self, 0,
                                      WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                                      L"", margin, margin, margin, margin,
                                      VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM,
                                      nullptr, text_view_wdgproc, VEL_RICHEDIT, L"RichEdit20W");
    if (!ib->text_view)
        return 0;
    vel_richedit_setbkgndcolor(ib->text_view, GetSysColor(COLOR_BTNFACE));
    vel_widget_create_and_set_font(ib->text_view, 15, L"Arial", 700);
    return 1;
}

void infobox_detach(infobox *ib)
{
    if (ib->main_frame && ib->wnd)
        mainwnd_del_childwindow(ib->main_frame, ib->wnd);
    ib->winlist_entry = nullptr;
}

}  // namespace

std::string infobox_date(int32_t id, const char *permanent)
{
    if (id < INFOBOX_DATED_ID)
        return permanent ? permanent : "";
    const time_t when = id;
    const std::tm *local = std::localtime(&when);
    if (!local)
        return std::to_string(id);
    // The form of ctime without its line break, built here so that it never depends on the
    // locale and always has a weekday and a month name to show.
    char text[32];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", week_days[(local->tm_wday % 7 + 7) % 7],
                  months[(local->tm_mon % 12 + 12) % 12], local->tm_mday, local->tm_hour, local->tm_min,
                  local->tm_sec, local->tm_year + 1900);
    return text;
}

const char *infobox_perm_name(int bit)
{
    return bit >= 0 && bit < 32 ? perm_names[bit] : nullptr;
}

int infobox_describe(int kind, const void *subject, std::wstring *caption, std::wstring *text)
{
    if (!subject)
        return 0;
    std::string caption8, text8;
    if (kind == INFOBOX_ROOM)
        infobox_room_text(static_cast<const Room *>(subject), &caption8, &text8);
    else if (kind == INFOBOX_USER)
        infobox_user_text(static_cast<const User *>(subject), &caption8, &text8);
    else
        return 0;
    *caption = infobox_wide(caption8);
    *text = infobox_wide(text8);
    return 1;
}

int infobox_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *ib = static_cast<infobox *>(self->user);
    if (!ib)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!infobox_build(ib, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_CLOSE:
        infobox_detach(ib);
        break;
    case WM_DESTROY:
        infobox_detach(ib);
        if (ib->text_view)
            ib->text_view->ext = nullptr;
        self->user = nullptr;
        std::free(ib);
        return VEL_CONTINUE;
    case WM_KEYDOWN:
        if (wp != VK_ESCAPE)
            return VEL_CONTINUE;
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        *result = 0;
        return VEL_DONE;
    case WM_SYSCOMMAND:
        if (wp != IDC_KEY_CTRL_O)
            return VEL_CONTINUE;
        infobox_open_selection(ib);
        *result = 0;
        return VEL_DONE;
    default:
        break;
    }
    const childwnd_common common{ib->main_frame, ib->winlist_entry, nullptr, CHILDWND_CLOSE_LEAVES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

infobox *infobox_create(mainwnd *main_frame, int kind, const void *subject)
{
    if (!main_frame || !main_frame->frame)
        return nullptr;
    std::wstring caption, text;
    if (!infobox_describe(kind, subject, &caption, &text))
        return nullptr;
    auto *ib = static_cast<infobox *>(std::calloc(1, sizeof(infobox)));
    if (!ib)
        return nullptr;
    ib->main_frame = main_frame;
    ib->icon = lvc_loadicon(kind == INFOBOX_ROOM ? IDI_INFO_ROOM : IDI_INFO_USER);
    vel_window *wnd = vel_mdichild_create(ib, ib->icon, ib->icon, WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                          caption.c_str(), CW_USEDEFAULT, CW_USEDEFAULT, 240, 180, main_frame->frame,
                                          infobox_wndproc);
    if (!wnd) {
        std::free(ib);
        return nullptr;
    }
    ib->wnd = wnd;
    ib->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_POPUP, caption.c_str(), caption.c_str());
    vel_widget_settext(ib->text_view, text.c_str());
    return ib;
}
