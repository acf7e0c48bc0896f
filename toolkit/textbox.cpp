#include "toolkit/textbox.h"

#include "toolkit/textbox_layout.h"
#include "toolkit/uithread.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>

namespace {

// The scroll bar is redrawn at most this often (ms), on its own timer (its id below).
constexpr DWORD textbox_bar_interval = 100;
constexpr UINT_PTR textbox_bar_timer = 0x7E5B;
// Brings a paint that came too soon after the last one.
constexpr UINT_PTR textbox_frame_timer = 0x7E5C;

template <typename T>
T *textbox_calloc(size_t n)
{
    return static_cast<T *>(std::calloc(n ? n : 1, sizeof(T)));
}

HFONT textbox_font(const vel_textbox *box)
{
    return box->widget && box->widget->font ? box->widget->font : nullptr;
}

// Selects the box's font into the shared measuring context, or the system font (a window
// context's default) when the box has none; returns what was selected before.
HGDIOBJ textbox_select_font(HDC dc, HFONT font)
{
    return SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
}

// Measures with the box's font on the screen's measuring context: placement advance
// widths, or the plain character widths without them.
int textbox_measure_dc(void *context, const wchar_t *text, int length, int *widths)
{
    auto *box = static_cast<vel_textbox *>(context);
    HDC dc = box->widget ? vel_util_measure_dc() : nullptr;
    if (!dc)
        return 0;
    HGDIOBJ old = textbox_select_font(dc, textbox_font(box));
    GCP_RESULTSW res{};
    res.lStructSize = sizeof res;
    res.lpDx = widths;
    res.nGlyphs = static_cast<UINT>(length);
    if (length <= 0 || !GetCharacterPlacementW(dc, text, length, 0, &res, 0)) {
        for (int i = 0; i < length; i++) {
            SIZE sz{};
            GetTextExtentPoint32W(dc, text + i, 1, &sz);
            widths[i] = sz.cx;
        }
    }
    if (old)
        SelectObject(dc, old);
    return 1;
}

// Row height of the font the box measures with (the system font until one is set).
int textbox_row_height(HFONT font)
{
    HDC dc = vel_util_measure_dc();
    if (!dc)
        return 16;
    HGDIOBJ old = textbox_select_font(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    if (old)
        SelectObject(dc, old);
    int h = tm.tmHeight + tm.tmExternalLeading;
    return h > 0 ? h : 16;
}

// Redraws the vertical scroll bar alone. The bar lies in the frame, right of the client
// area: a region there (in client coordinates) with RDW_FRAME repaints just the bar,
// where a whole-window redraw would repaint every visible line too.
void textbox_redraw_bar(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    RECT bar{client.right, client.top, client.right + GetSystemMetrics(SM_CXVSCROLL), client.bottom};
    RedrawWindow(hwnd, &bar, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

// Brings the bar's picture up to date, at most once per textbox_bar_interval: drawing it
// costs some milliseconds under Wine, so during a flood it follows at that pace; the last
// values always reach the screen by the timer.
void textbox_flush_bar(vel_textbox *box, HWND hwnd)
{
    if (!box->bar_dirty || box->bar_timer)
        return;
    const DWORD since = GetTickCount() - box->bar_drawn_at;
    if (since < textbox_bar_interval && SetTimer(hwnd, textbox_bar_timer, textbox_bar_interval - since, nullptr)) {
        box->bar_timer = true;
        return;
    }
    box->bar_dirty = false;
    box->bar_drawn_at = GetTickCount();
    textbox_redraw_bar(hwnd);
}

// Gives the scroll bar the box's values when they changed; its picture follows with the
// next paint.
void textbox_update_scrollbar(vel_textbox *box)
{
    const int max = vel_textbox_max_row(box);
    if (max == box->bar_max && box->page_rows == box->bar_page && box->scroll_pos == box->bar_pos)
        return;
    HWND hwnd = box->widget->hwnd;
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_VSCROLL))
        return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    // The bar stays (disabled when not needed), so showing it never changes the client
    // width and sets off another resize.
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = max;
    si.nPage = static_cast<UINT>(box->page_rows);
    si.nPos = box->scroll_pos;
    SetScrollInfo(hwnd, SB_VERT, &si, FALSE);
    box->bar_max = max;
    box->bar_page = box->page_rows;
    box->bar_pos = box->scroll_pos;
    box->bar_dirty = true;
}

// Asks for one paint of the whole box: at once when the last one is frame_interval old,
// else by the frame timer. Appends until that paint ask for nothing more.
void textbox_request_frame(vel_textbox *box)
{
    if (box->frame_pending)
        return;
    box->frame_pending = true;
    HWND hwnd = box->widget->hwnd;
    const DWORD since = GetTickCount() - box->painted_at;
    const bool flood = box->frame_interval > 0 && box->flood_frame;
    const DWORD interval = static_cast<DWORD>(
        flood ? std::max(box->frame_interval, VEL_TEXTBOX_FLOOD_FRAME_MS) : std::max(0, box->frame_interval));
    if (since < interval && SetTimer(hwnd, textbox_frame_timer, interval - since, nullptr)) {
        box->frame_timer = true;
        return;
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

// The bitmap that the boxes of a thread paint into before one copy to the screen: one for
// them all (they paint one at a time), as large as the largest box painted, released with
// the thread's last box. A bitmap made for each paint would cost more than the paint.
struct textbox_back_buffer {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old_bitmap;
    int width, height;
    int boxes;  // live boxes of the thread
};
thread_local textbox_back_buffer textbox_buffer;

void textbox_buffer_release(textbox_back_buffer *b)
{
    if (b->dc) {
        SelectObject(b->dc, b->old_bitmap);
        DeleteDC(b->dc);
    }
    if (b->bitmap)
        DeleteObject(b->bitmap);
    b->dc = nullptr;
    b->bitmap = nullptr;
    b->width = b->height = 0;
}

// The back buffer's device context, at least width x height, compatible with screen; null
// when it cannot be made (the box then draws on the screen directly).
HDC textbox_buffer_get(HDC screen, int width, int height)
{
    textbox_back_buffer *b = &textbox_buffer;
    if (b->dc && width <= b->width && height <= b->height)
        return b->dc;
    const int w = std::max({1, width, b->width}), h = std::max({1, height, b->height});
    textbox_buffer_release(b);
    b->dc = CreateCompatibleDC(screen);
    b->bitmap = b->dc ? CreateCompatibleBitmap(screen, w, h) : nullptr;
    if (!b->bitmap) {
        textbox_buffer_release(b);
        return nullptr;
    }
    b->old_bitmap = SelectObject(b->dc, b->bitmap);
    b->width = w;
    b->height = h;
    return b->dc;
}

int textbox_append(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours, int colour_count,
                   int style, int32_t userdata, int *added)
{
    return vel_textbox_append_text(box, text, length, colours, colour_count, style, userdata,
                                   vel_textbox_widths_measure, &box->widths, added) >= 0;
}

// Adds `text`: arithmetic on the line store, then the scroll bar's values and one request
// for a paint.
int textbox_add_here(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours, int colour_count,
                     int style, int32_t userdata)
{
    // The widget's font was replaced behind the box's back: its widths start again.
    if (textbox_font(box) != box->measured_font) {
        vel_textbox_widths_clear(&box->widths);
        box->measured_font = textbox_font(box);
    }
    int added = 0;
    const int ok = textbox_append(box, text, length, colours, colour_count, style, userdata, &added);
    if (added > 0) {
        box->rows_since_paint += added;
        textbox_update_scrollbar(box);
        textbox_request_frame(box);
    }
    return ok;
}

// An append asked for on another thread, carried out on the box's own.
struct textbox_far_append {
    vel_textbox *box;
    const wchar_t *text;
    int length;
    const COLORREF *colours;
    int colour_count;
    int style;
    int32_t userdata;
    int ok;
};

void textbox_far_append_task(void *arg)
{
    auto *a = static_cast<textbox_far_append *>(arg);
    a->ok = textbox_add_here(a->box, a->text, a->length, a->colours, a->colour_count, a->style, a->userdata);
}

void textbox_free(vel_textbox *box)
{
    vel_textbox_free_lines(box);
    vel_textbox_widths_clear(&box->widths);
    if (box->link_font)
        DeleteObject(box->link_font);
    delete box;
    if (--textbox_buffer.boxes <= 0) {
        textbox_buffer.boxes = 0;
        textbox_buffer_release(&textbox_buffer);
    }
}

// A scroll the user asked for is shown at once.
void textbox_set_pos(vel_textbox *box, int pos)
{
    if (pos == box->scroll_pos)
        return;
    box->scroll_pos = pos;
    textbox_update_scrollbar(box);
    HWND hwnd = box->widget->hwnd;
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

void textbox_resize(vel_textbox *box, int width, int height)
{
    box->page_rows = std::max(0, (height - 2) / box->row_height);
    box->wrap_width = width;
    vel_textbox_rewrap(box);
    box->scroll_pos = vel_textbox_end_pos(box);
    textbox_update_scrollbar(box);
    InvalidateRect(box->widget->hwnd, nullptr, FALSE);
}

// Draws the background and every visible line, from the newest up.
void textbox_draw(const vel_textbox *box, HDC dc, const RECT &client)
{
    FillRect(dc, &client, box->widget->background ? box->widget->background : GetSysColorBrush(COLOR_WINDOW));
    if (!box->lines)
        return;
    int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    if (HFONT font = textbox_font(box))
        SelectObject(dc, font);
    int row = box->total_rows;
    const int limit = box->scroll_pos + vel_textbox_page(box);
    vel_list_node *n = box->lines;
    do {
        auto *line = static_cast<vel_textbox_line *>(n->data);
        row -= line->rows;
        if (row <= limit) {
            int y = vel_textbox_row_y(box, row, client.bottom);
            if (y + line->height <= 0)
                break;
            vel_textbox_render_line(box, dc, line, y, client.right);
        }
        n = n->next;
    } while (n != box->lines);
    RestoreDC(dc, saved);
}

// Draws characters [from, to) of a line at x with their measured advances, so that the
// drawn text lands where the layout put it; returns the x after them.
int textbox_draw_run(HDC dc, int x, int y, const vel_textbox_line *line, int from, int to)
{
    int advances[256];
    while (from < to) {
        const int n = std::min(to - from, static_cast<int>(std::size(advances)));
        int width = 0;
        for (int k = 0; k < n; k++)
            width += advances[k] = line->widths[from + k];
        ExtTextOutW(dc, x, y, 0, nullptr, line->text + from, static_cast<UINT>(n), advances);
        x += width;
        from += n;
    }
    return x;
}

// One paint shows the whole current state: drawn into the back buffer and copied in one
// go, so the background and the text never reach the screen apart.
void textbox_paint(vel_textbox *box, HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (HDC back = textbox_buffer_get(dc, rc.right, rc.bottom)) {
        textbox_draw(box, back, rc);
        const RECT &p = ps.rcPaint;
        BitBlt(dc, p.left, p.top, p.right - p.left, p.bottom - p.top, back, p.left, p.top, SRCCOPY);
    } else {
        textbox_draw(box, dc, rc);
    }
    EndPaint(hwnd, &ps);
    box->painted_at = GetTickCount();
    box->flood_frame = box->rows_since_paint > std::max(1, box->page_rows);
    box->rows_since_paint = 0;
    // A paint while the frame timer waits (the box uncovered) leaves that frame to come.
    if (!box->frame_timer)
        box->frame_pending = false;
    textbox_flush_bar(box, hwnd);
}

bool textbox_hit_here(const vel_textbox *box, HWND hwnd, POINT pt, vel_textbox_line **line, uint32_t *hit)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    *line = vel_textbox_get_line_from_pos(box, pt.x, pt.y, rc.right, rc.bottom, hit);
    return *line != nullptr;
}

bool textbox_on_link(const vel_textbox *box, const vel_textbox_line *line, uint32_t hit)
{
    return (box->options & VEL_TEXTBOX_LIVE_LINKS) && !(hit & (VEL_TEXTBOX_HIT_OFFLINE | VEL_TEXTBOX_HIT_RIGHT)) &&
           (line->flags[hit & VEL_TEXTBOX_HIT_INDEX] & VEL_TEXTBOX_LINK);
}

void textbox_open_link(const vel_textbox *box, const vel_textbox_line *line, int index)
{
    std::wstring target(7 + static_cast<size_t>(line->length) + 1, L'\0');
    int is_email = 0;
    int n = vel_textbox_get_link(line, index, target.data() + 7, line->length + 1, &is_email);
    if (n <= 0)
        return;
    const wchar_t *address = target.c_str() + 7;
    if (is_email) {
        std::wmemcpy(target.data(), L"mailto:", 7);
        address = target.c_str();
    }
    (box->opener ? box->opener : vel_textbox_open_address)(address, is_email);
}

void textbox_copy(const vel_textbox *box, HWND hwnd, POINT pt, bool one_line)
{
    if (!box->lines)
        return;
    const vel_textbox_line *line = nullptr;
    if (one_line) {
        vel_textbox_line *hit_line = nullptr;
        uint32_t hit = 0;
        if (!textbox_hit_here(box, hwnd, pt, &hit_line, &hit))
            return;
        line = hit_line;
    }
    size_t length = 0;
    wchar_t *text = vel_textbox_copy_text(box, line, &length);
    if (!text)
        return;
    vel_util_set_clipboard_text(hwnd, text, length);
    std::free(text);
}

POINT textbox_point(LPARAM lp)
{
    return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

// The box's own handling of the mouse: true when the message is handled.
bool textbox_mouse(vel_textbox *box, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_LBUTTONDBLCLK: {
        vel_textbox_line *line = nullptr;
        uint32_t hit = 0;
        if (!textbox_hit_here(box, hwnd, textbox_point(lp), &line, &hit))
            return false;
        if (textbox_on_link(box, line, hit))
            textbox_open_link(box, line, static_cast<int>(hit & VEL_TEXTBOX_HIT_INDEX));
        else
            SendMessageW(hwnd, VEL_TEXTBOX_DBLCLK, reinterpret_cast<WPARAM>(line), static_cast<LPARAM>(hit));
        return true;
    }
    case WM_RBUTTONDBLCLK:
        textbox_copy(box, hwnd, textbox_point(lp), (wp & MK_SHIFT) != 0);
        return true;
    case WM_MOUSEWHEEL:
        textbox_set_pos(box, vel_textbox_wheel_target(box, static_cast<short>(HIWORD(wp)) / WHEEL_DELTA));
        return true;
    case WM_VSCROLL:
        textbox_set_pos(box, vel_textbox_scroll_target(box, LOWORD(wp), HIWORD(wp)));
        return true;
    default:
        return false;
    }
}

// The hand cursor over a live link: true when it was set.
bool textbox_link_cursor(const vel_textbox *box, HWND hwnd, LPARAM lp)
{
    if (LOWORD(lp) != HTCLIENT || !(box->options & VEL_TEXTBOX_LIVE_LINKS))
        return false;
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(hwnd, &pt);
    vel_textbox_line *line = nullptr;
    uint32_t hit = 0;
    if (!textbox_hit_here(box, hwnd, pt, &line, &hit) || !textbox_on_link(box, line, hit))
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

} // namespace

void vel_textbox_render_line(const vel_textbox *box, HDC dc, vel_textbox_line *line, int y, int client_width)
{
    line->x = vel_textbox_line_x(line, client_width);
    const bool by_colour = box->colour_mode == 0;
    const bool link_font = (box->link_style & VEL_TEXTBOX_LINK_FONT) && box->link_font;
    HFONT normal = textbox_font(box);
    int first = 0;
    for (int r = 0; r < line->rows; r++, y += box->row_height) {
        const int end = first + line->row_lengths[r];
        int x = line->x;
        int i = first;
        while (i < end) {
            const bool link = link_font && (line->flags[i] & VEL_TEXTBOX_LINK);
            const int stop = by_colour ? std::min(end, vel_textbox_run_end(line, i)) : end;
            int j = i + 1;
            while (j < stop && (!link_font || ((line->flags[j] & VEL_TEXTBOX_LINK) != 0) == link))
                j++;
            COLORREF colour = box->colour_mode == 0   ? vel_textbox_colour_at(line, i)
                              : box->colour_mode == 1 ? vel_textbox_colour_at(line, 0)
                                                      : box->plain_colour;
            SetTextColor(dc, colour);
            if (link)
                SelectObject(dc, box->link_font);
            else if (normal)
                SelectObject(dc, normal);
            x = textbox_draw_run(dc, x, y, line, i, j);
            i = j;
        }
        first = end;
    }
}

void vel_textbox_open_address(const wchar_t *address, int)
{
    // Mail addresses ("mailto:" and the word) pass the same argument checks as web ones.
    vel_util_open_url(address);
}

vel_textbox *vel_textbox_get(const vel_widget *widget)
{
    if (!widget || widget->proc != vel_textbox_default_wdgproc)
        return nullptr;
    return static_cast<vel_textbox *>(widget->ext);
}

vel_widget *vel_textbox_create(void *userdata, vel_window *parent, DWORD exstyle, DWORD style, const wchar_t *text,
                               int x, int y, int w, int h, int anchors, void *data, vel_wdgproc owner_proc)
{
    auto *box = new (std::nothrow) vel_textbox{};
    if (!box)
        return nullptr;
    box->userdata = userdata;
    box->max_lines = 100;
    box->options = VEL_TEXTBOX_WRAP;
    box->owner_proc = owner_proc;
    box->opener = vel_textbox_open_address;
    box->frame_interval = VEL_TEXTBOX_FRAME_MS;
    // Nothing given to the bar yet: the first update sets it whatever the values.
    box->bar_max = box->bar_page = box->bar_pos = -1;
    vel_textbox_widths_init(&box->widths, textbox_measure_dc, box);
    vel_widget *widget = vel_widget_create(box, parent, exstyle, style, text, x, y, w, h, anchors, data,
                                           vel_textbox_default_wdgproc, VEL_CUSTOM, L"VEL_WIDGET");
    if (!widget) {
        delete box;
        return nullptr;
    }
    box->widget = widget;
    textbox_buffer.boxes++;
    box->row_height = textbox_row_height(nullptr);
    RECT rc;
    GetClientRect(widget->hwnd, &rc);
    box->page_rows = std::max(0, (static_cast<int>(rc.bottom) - 2) / box->row_height);
    box->wrap_width = rc.right;
    textbox_update_scrollbar(box);
    return widget;
}

HFONT vel_textbox_create_and_set_font(vel_widget *widget, int height, const wchar_t *face, int weight)
{
    vel_textbox *box = vel_textbox_get(widget);
    HFONT font = vel_widget_create_and_set_font(widget, height, face, weight);
    if (!box || !font)
        return font;
    HFONT link = CreateFontW(height, 0, 0, 0, weight, FALSE, TRUE, FALSE, 0, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DRAFT_QUALITY, DEFAULT_PITCH, face);
    if (link) {
        if (box->link_font)
            DeleteObject(box->link_font);
        box->link_font = link;
    }
    box->measured_font = font;
    vel_textbox_widths_reset(&box->widths);
    box->row_height = std::max(1, static_cast<int>(widget->metrics.tmHeight + widget->metrics.tmExternalLeading));
    RECT rc;
    GetClientRect(widget->hwnd, &rc);
    textbox_resize(box, rc.right, rc.bottom);
    return font;
}

int vel_textbox_add_text(vel_widget *widget, const wchar_t *text, int length, const COLORREF *colours,
                         int colour_count, int style, int32_t userdata)
{
    vel_textbox *box = vel_textbox_get(widget);
    if (!box || !text)
        return 0;
    if (length < 0)
        length = static_cast<int>(std::wcslen(text));
    if (!colours)
        colour_count = 0;
    if (GetWindowThreadProcessId(widget->hwnd, nullptr) != GetCurrentThreadId()) {
        textbox_far_append a{box, text, length, colours, colour_count, style, userdata, 0};
        return vel_ui_run(textbox_far_append_task, &a) ? a.ok : 0;
    }
    return textbox_add_here(box, text, length, colours, colour_count, style, userdata);
}

int vel_textbox_add_line_c(vel_widget *widget, const wchar_t *text, const COLORREF *colours, int style,
                           int32_t userdata)
{
    if (!text)
        return 0;
    int length = static_cast<int>(std::wcslen(text));
    return vel_textbox_add_text(widget, text, length, colours, colours ? length : 0, style, userdata);
}

int vel_textbox_default_wdgproc(vel_widget *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    auto *box = static_cast<vel_textbox *>(self->ext);
    if (!box)
        return VEL_CONTINUE;
    if (!box->widget)
        box->widget = self;
    int code = VEL_CONTINUE;
    switch (msg) {
    case WM_PAINT:
        textbox_paint(box, hwnd);
        *result = 0;
        return VEL_DONE;
    case WM_ERASEBKGND:
        // The paint covers every pixel, background included.
        *result = 1;
        return VEL_DONE;
    case WM_TIMER:
        if (wp == textbox_frame_timer) {
            KillTimer(hwnd, textbox_frame_timer);
            box->frame_timer = false;
            InvalidateRect(hwnd, nullptr, FALSE);
        } else if (wp == textbox_bar_timer) {
            KillTimer(hwnd, textbox_bar_timer);
            box->bar_timer = false;
            textbox_flush_bar(box, hwnd);
        } else {
            break;
        }
        *result = 0;
        return VEL_DONE;
    case WM_SETCURSOR:
        if (textbox_link_cursor(box, hwnd, lp)) {
            *result = TRUE;
            return VEL_DONE;
        }
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
    case WM_VSCROLL:
        if (textbox_mouse(box, hwnd, msg, wp, lp)) {
            *result = 0;
            code = VEL_HANDLED;
        }
        break;
    case WM_SIZE:
        textbox_resize(box, LOWORD(lp), HIWORD(lp));
        break;
    case WM_DESTROY: {
        // The owner sees the box whole once more, then it goes.
        if (box->owner_proc)
            code = box->owner_proc(self, hwnd, msg, wp, lp, result);
        self->ext = nullptr;
        textbox_free(box);
        return code;
    }
    default:
        break;
    }
    if (box->owner_proc)
        return box->owner_proc(self, hwnd, msg, wp, lp, result);
    return code;
}
