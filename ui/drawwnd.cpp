#include "ui/drawwnd.h"

#include "protocol/lvc6b.h"
#include "resources/resource.h"
#include "settings/apputil.h"
#include "text/string.h"
#include "toolkit/mdichild.h"
#include "toolkit/richedit.h"
#include "toolkit/static.h"
#include "toolkit/widget.h"
#include "ui/chatwnd.h"
#include "ui/childwnd.h"
#include "ui/mainwnd.h"

#include <richedit.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The log starts below the picture and its frame.
constexpr int log_top = 362;

std::wstring drawwnd_caption_of(const chatwnd *chat)
{
    if (chat->wnd) {
        wchar_t text[512] = {};
        GetWindowTextW(chat->wnd->hwnd, text, static_cast<int>(std::size(text)));
        return text;
    }
    // A room window without a window of its own yet: the room's name, as its caption reads.
    const char *name = chat->room && chat->room->name ? chat->room->name : "";
    std::u16string wide(std::strlen(name) + 1, u'\0');
    utf8_to_ucs2(wide.data(), name);
    return reinterpret_cast<const wchar_t *>(wide.c_str());
}

// The room's picture is selected into the room window's surface, and a bitmap lives in one
// surface at a time, so the control cannot draw it from an image of its own: the picture
// is copied from that surface.
void drawwnd_paint_picture(const drawwnd *dw, HDC dc)
{
    const chatwnd *chat = dw->chat;
    if (chat && chat->board_dc) {
        BitBlt(dc, 0, 0, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT, chat->board_dc, 0, 0, SRCCOPY);
        return;
    }
    RECT all{0, 0, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
}

int picture_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    auto *dw = static_cast<drawwnd *>(self->ext);
    if (!dw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        drawwnd_paint_picture(dw, dc);
        EndPaint(hwnd, &ps);
        *result = 0;
        return VEL_DONE;
    }
    case WM_PRINTCLIENT:
        drawwnd_paint_picture(dw, reinterpret_cast<HDC>(wp));
        *result = 0;
        return VEL_DONE;
    case WM_ERASEBKGND:
        // The copy covers the whole control: erasing first would only flicker.
        *result = 1;
        return VEL_DONE;
    default:
        return VEL_CONTINUE;
    }
}

int drawwnd_build(drawwnd *dw, vel_window *self)
{
    dw->wnd = self;
    dw->log_view = vel_widget_create(dw, self, WS_EX_CLIENTEDGE,
                                     WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                                     L"", 0, log_top, 0, 0,
                                     VEL_ANCHOR_LEFT | VEL_ANCHOR_RIGHT | VEL_ANCHOR_TOP | VEL_ANCHOR_BOTTOM, nullptr,
                                     nullptr, VEL_RICHEDIT, L"RichEdit20W");
    dw->picture_view = vel_widget_create(dw, self, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | SS_BITMAP, L"", 0, 0,
                                         CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT,
                                         VEL_ANCHOR_LEFT | VEL_ANCHOR_TOP, nullptr, picture_wdgproc, VEL_STATIC,
                                         L"STATIC");
    if (!dw->log_view || !dw->picture_view)
        return 0;
    vel_widget_create_and_set_font(dw->log_view, 15, L"Arial", 500);
    // The control's own limit (32767 characters) would silently stop the log after a few
    // hundred strokes; the log keeps its newest lines instead (drawwnd_log).
    vel_widget_sendmessage(dw->log_view, EM_EXLIMITTEXT, 0, DRAWWND_LOG_MAX);
    if (dw->chat->board_bitmap) {
        vel_static_setimage(dw->picture_view, IMAGE_BITMAP, dw->chat->board_bitmap);
        // The control fits itself to a new image; the picture keeps its own place.
        vel_widget_adjust_placement(dw->picture_view, FALSE);
    }
    return 1;
}

// Where the paragraph holding character `at` ends (after its break), or `length`.
long drawwnd_paragraph_end(const vel_widget *log, long at, long length)
{
    wchar_t chunk[4096];
    for (long pos = at; pos < length; pos += static_cast<long>(std::size(chunk)) - 1) {
        TEXTRANGEW range{{static_cast<LONG>(pos), static_cast<LONG>(std::min<long>(length, pos + std::size(chunk) - 1))},
                         chunk};
        const long got = static_cast<long>(vel_widget_sendmessage(log, EM_GETTEXTRANGE, 0,
                                                                  reinterpret_cast<LPARAM>(&range)));
        for (long i = 0; i < got; i++)
            if (chunk[i] == L'\r' || chunk[i] == L'\n')
                return pos + i + 1;
        if (got <= 0)
            break;
    }
    return length;
}

// Takes the oldest lines off the log so that `adding` more characters fit in `limit`; a
// line longer than that empties the log.
void drawwnd_make_room(const vel_widget *log, long adding, long limit)
{
    GETTEXTLENGTHEX how{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const long length = static_cast<long>(vel_widget_sendmessage(log, EM_GETTEXTLENGTHEX,
                                                                 reinterpret_cast<WPARAM>(&how), 0));
    const long excess = length + adding - limit;
    if (excess <= 0)
        return;
    CHARRANGE cut{0, static_cast<LONG>(drawwnd_paragraph_end(log, excess - 1, length))};
    vel_widget_sendmessage(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cut));
    vel_widget_sendmessage(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

// The window leaves the frame's list and the room window forgets it; the picture stays
// with the room window. Runs at the close request and again, harmlessly, at destruction.
void drawwnd_detach(drawwnd *dw)
{
    if (dw->main_frame && dw->wnd)
        mainwnd_del_childwindow(dw->main_frame, dw->wnd);
    dw->winlist_entry = nullptr;
    if (dw->chat && dw->chat->drawwnd == dw)
        dw->chat->drawwnd = nullptr;
}

}  // namespace

int drawwnd_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *dw = static_cast<drawwnd *>(self->user);
    if (!dw)
        return VEL_CONTINUE;
    switch (msg) {
    case WM_CREATE:
        if (!drawwnd_build(dw, self))
            return childwnd_refuse_creation(self, result);
        return VEL_CONTINUE;
    case WM_CLOSE:
        drawwnd_detach(dw);
        break;
    case WM_DESTROY:
        drawwnd_detach(dw);
        // The control must not paint from a record that is about to go.
        if (dw->picture_view)
            dw->picture_view->ext = nullptr;
        self->user = nullptr;
        std::free(dw);
        return VEL_CONTINUE;
    default:
        break;
    }
    const childwnd_common common{dw->main_frame, dw->winlist_entry, nullptr, CHILDWND_CLOSE_LEAVES};
    return childwnd_handle(&common, self, hwnd, msg, wp, lp, result);
}

drawwnd *drawwnd_create(mainwnd *main_frame, chatwnd *chat)
{
    if (!main_frame || !main_frame->frame || !chat)
        return nullptr;
    // One board per room window: a second one would outlive the room window's close,
    // which closes only the board it knows.
    if (chat->drawwnd) {
        if (chat->drawwnd->wnd)
            vel_mdichild_activate(chat->drawwnd->wnd);
        return chat->drawwnd;
    }
    auto *dw = static_cast<drawwnd *>(std::calloc(1, sizeof(drawwnd)));
    if (!dw)
        return nullptr;
    dw->chat = chat;
    dw->main_frame = main_frame;
    dw->log_max = DRAWWND_LOG_MAX;
    const std::wstring caption = drawwnd_caption_of(chat);
    HICON icon = lvc_loadicon(IDI_DRAWING);
    vel_window *wnd = vel_mdichild_create(dw, icon, icon, WS_OVERLAPPEDWINDOW | WS_VISIBLE, caption.c_str(),
                                          CW_USEDEFAULT, CW_USEDEFAULT, 440, 340, main_frame->frame, drawwnd_wndproc);
    if (!wnd) {
        // A refused window hands its record back: it is freed here, once.
        std::free(dw);
        return nullptr;
    }
    dw->wnd = wnd;
    const std::wstring tooltip = caption + L" - Rajztábla";
    dw->winlist_entry = mainwnd_add_childwindow(main_frame, wnd, MAINWND_KIND_DRAWING, caption.c_str(),
                                                tooltip.c_str());
    chat->drawwnd = dw;
    return dw;
}

void drawwnd_refresh(drawwnd *dw)
{
    if (!dw || !dw->wnd)
        return;
    // The picture control is a child: it is invalidated with the window.
    RedrawWindow(dw->wnd->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void drawwnd_log(drawwnd *dw, const char *text)
{
    if (!dw || !dw->log_view || !text)
        return;
    std::u16string line(std::strlen(text) + 1, u'\0');
    utf8_to_ucs2(line.data(), text);
    line.resize(std::char_traits<char16_t>::length(line.c_str()));
    line.insert(line.begin(), u'/');
    line += u"\r";
    drawwnd_make_room(dw->log_view, static_cast<long>(line.size()), dw->log_max);
    vel_richedit_add_line(dw->log_view, reinterpret_cast<const wchar_t *>(line.c_str()));
}
