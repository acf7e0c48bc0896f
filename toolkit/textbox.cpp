#include "toolkit/textbox.h"

#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace {

constexpr wchar_t textbox_blank = L' ';
// The scroll bar is redrawn at most this often (ms), on its own timer (its id below).
constexpr DWORD textbox_bar_interval = 100;
constexpr UINT_PTR textbox_bar_timer = 0x7E5B;

// A text appended by another thread, waiting for the box's own thread.
struct pending_text {
    wchar_t *text;
    COLORREF *colours;
    int length;
    int colour_count;
    int style;
    int32_t userdata;
};

template <typename T>
T *textbox_calloc(size_t n)
{
    return static_cast<T *>(std::calloc(n ? n : 1, sizeof(T)));
}

int textbox_page(const vel_textbox *box)
{
    return box->page_rows > 0 ? box->page_rows : 1;
}

vel_textbox_line *textbox_oldest(const vel_textbox *box)
{
    return box->lines ? static_cast<vel_textbox_line *>(box->lines->prev->data) : nullptr;
}

int textbox_line_width(const vel_textbox_line *line)
{
    int sum = 0;
    for (int i = 0; i < line->length; i++)
        sum += line->widths[i];
    return sum;
}

int textbox_line_x(const vel_textbox_line *line, int client_width)
{
    if (line->style != 1 && line->style != 2)
        return 0;
    int x = client_width - textbox_line_width(line);
    if (line->style == 2)
        x /= 2;
    // A line wider than the box starts at its left edge rather than off screen.
    return x > 0 ? x : 0;
}

// Marks from `from` to the next blank or the end; returns that blank's index (or length).
int textbox_mark_word(vel_textbox_line *line, int from, uint8_t bits, bool skip_links)
{
    int i = from;
    for (; i < line->length && line->text[i] != textbox_blank; i++)
        if (!skip_links || !(line->flags[i] & VEL_TEXTBOX_LINK))
            line->flags[i] |= bits;
    return i;
}

void textbox_mark_addresses(vel_textbox_line *line)
{
    const wchar_t *t = line->text;
    int n = line->length;
    for (int i = 0; i < n; i++) {
        if (vel_util_url_class(t + i))
            i = textbox_mark_word(line, i, VEL_TEXTBOX_LINK, false);
    }
}

void textbox_mark_emails(vel_textbox_line *line)
{
    const wchar_t *t = line->text;
    int n = line->length;
    int last_blank = -1;
    int i = 0;
    while (i < n) {
        if (t[i] == textbox_blank) {
            last_blank = i;
            i++;
            continue;
        }
        if (t[i] != L'@' || i - last_blank < 2) {
            i++;
            continue;
        }
        int stop = i + 1;
        while (stop < n && t[stop] != L'.' && t[stop] != textbox_blank && !(stop + 1 < n && t[stop + 1] == L'@'))
            stop++;
        bool dot = stop < n && t[stop] == L'.';
        if (dot && stop != i + 1 && stop + 1 < n && t[stop + 1] != textbox_blank) {
            i = textbox_mark_word(line, last_blank + 1, VEL_TEXTBOX_LINK | VEL_TEXTBOX_EMAIL, true);
        } else {
            i = stop > i ? stop : i + 1;
        }
    }
}

void textbox_measure_dc(void *context, const wchar_t *text, int length, int *widths)
{
    HDC dc = static_cast<HDC>(context);
    GCP_RESULTSW res{};
    res.lStructSize = sizeof res;
    res.lpDx = widths;
    res.nGlyphs = static_cast<UINT>(length);
    if (length > 0 && GetCharacterPlacementW(dc, text, length, 0, &res, 0))
        return;
    // Without placement data, fall back to the plain character widths.
    for (int i = 0; i < length; i++) {
        SIZE sz{};
        GetTextExtentPoint32W(dc, text + i, 1, &sz);
        widths[i] = sz.cx;
    }
}

HFONT textbox_font(const vel_textbox *box)
{
    return box->widget && box->widget->font ? box->widget->font : nullptr;
}

// Row height of the font the box measures with (the system font until one is set).
int textbox_row_height(HWND hwnd, HFONT font)
{
    HDC dc = GetDC(hwnd);
    if (!dc)
        return 16;
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    int h = tm.tmHeight + tm.tmExternalLeading;
    return h > 0 ? h : 16;
}

// Redraws the vertical scroll bar alone. The bar lies in the frame, right of the client
// area: a region there (in client coordinates) with RDW_FRAME repaints just the bar,
// where a whole-window redraw would repaint every visible line too (under Wine that is
// some ten milliseconds for a room window, once per line of a flood).
void textbox_redraw_bar(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    RECT bar{client.right, client.top, client.right + GetSystemMetrics(SM_CXVSCROLL), client.bottom};
    RedrawWindow(hwnd, &bar, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

// Brings the bar up to date, at most once per textbox_bar_interval: drawing it costs some
// milliseconds under Wine, so during a flood of lines it follows at that pace (the text
// itself is painted at once); the last values always reach the screen by the timer.
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

void textbox_update_scrollbar(vel_textbox *box)
{
    if (!(GetWindowLongW(box->widget->hwnd, GWL_STYLE) & WS_VSCROLL))
        return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    // The bar stays (disabled when not needed), so showing it never changes the client
    // width and sets off another resize.
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = vel_textbox_max_row(box);
    si.nPage = static_cast<UINT>(box->page_rows);
    si.nPos = box->scroll_pos;
    // Drawing the bar costs far more than a line of text does, so a burst of lines sets
    // the values at once and redraws the bar once, when the posted message comes round.
    HWND hwnd = box->widget->hwnd;
    SetScrollInfo(hwnd, SB_VERT, &si, FALSE);
    if (box->bar_dirty)
        return;
    box->bar_dirty = true;
    if (!PostMessageW(hwnd, VEL_TEXTBOX_SYNC, 0, 0)) {
        box->bar_dirty = false;
        textbox_redraw_bar(hwnd);
    }
}

// Client y of the top of row `row` for the current scroll position.
int textbox_row_y(const vel_textbox *box, int row, int client_height)
{
    return client_height - 2 - (box->scroll_pos + textbox_page(box) - row) * box->row_height;
}

// Adds a batch of texts on the box's own thread and brings the screen up to date once.
struct textbox_batch {
    int old_pos;
    int removed_rows;
    int added;  // rows
};

void textbox_batch_begin(const vel_textbox *box, textbox_batch *b)
{
    b->old_pos = box->scroll_pos;
    b->removed_rows = 0;
    b->added = 0;
}

int textbox_batch_add(vel_textbox *box, HDC dc, textbox_batch *b, const wchar_t *text, int length,
                      const COLORREF *colours, int colour_count, int style, int32_t userdata)
{
    int added = 0;
    int removed = vel_textbox_append_text(box, text, length, colours, colour_count, style, userdata,
                                          textbox_measure_dc, dc, &added);
    b->added += added;
    if (removed < 0)
        return 0;
    b->removed_rows += removed;
    return 1;
}

void textbox_batch_end(vel_textbox *box, const textbox_batch *b)
{
    if (b->added == 0)
        return;
    HWND hwnd = box->widget->hwnd;
    textbox_update_scrollbar(box);
    RECT rc;
    GetClientRect(hwnd, &rc);
    int h = rc.bottom;
    int rh = box->row_height;
    int shift_rows = box->scroll_pos - b->old_pos + b->removed_rows;
    // The strip is painted when the thread next looks at its messages, so a burst of
    // lines costs one paint; ScrollWindowEx moves any region still waiting with the bits.
    if (b->added >= textbox_page(box) || shift_rows < 0 || shift_rows * rh >= h) {
        InvalidateRect(hwnd, nullptr, TRUE);
        return;
    }
    if (shift_rows > 0)
        ScrollWindowEx(hwnd, 0, -shift_rows * rh, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
    int first_new = box->total_rows - b->added;
    int top = textbox_row_y(box, first_new, h);
    int strip = h - 2 - shift_rows * rh;
    RECT dirty{0, std::max(0, std::min(top, strip)), rc.right, h};
    if (dirty.top < dirty.bottom)
        InvalidateRect(hwnd, &dirty, TRUE);
}

void textbox_take_pending(vel_textbox *box, vel_list_node **out)
{
    std::lock_guard<std::mutex> guard(box->pending_lock);
    *out = box->pending;
    box->pending = nullptr;
    box->sync_posted = false;
}

void textbox_free_pending(pending_text *p)
{
    std::free(p->text);
    std::free(p->colours);
    std::free(p);
}

// Adds the queued texts of other threads, oldest first, then `text` if any.
int textbox_add_here(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours, int colour_count,
                     int style, int32_t userdata)
{
    vel_list_node *queued = nullptr;
    textbox_take_pending(box, &queued);
    HWND hwnd = box->widget->hwnd;
    // Without a device context the lines still go in, unmeasured, rather than be lost.
    HDC dc = GetDC(hwnd);
    HFONT font = textbox_font(box);
    HGDIOBJ old = dc && font ? SelectObject(dc, font) : nullptr;
    textbox_batch b;
    textbox_batch_begin(box, &b);
    int ok = 1;
    if (queued) {
        for (vel_list_node *n = queued->prev;; n = n->prev) {
            auto *p = static_cast<pending_text *>(n->data);
            textbox_batch_add(box, dc, &b, p->text, p->length, p->colours, p->colour_count, p->style, p->userdata);
            if (n == queued)
                break;
        }
        while (queued)
            textbox_free_pending(static_cast<pending_text *>(vel_list_del(&queued, queued->key)));
    }
    if (text)
        ok = textbox_batch_add(box, dc, &b, text, length, colours, colour_count, style, userdata);
    if (old)
        SelectObject(dc, old);
    if (dc)
        ReleaseDC(hwnd, dc);
    textbox_batch_end(box, &b);
    return ok;
}

int textbox_queue(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours, int colour_count,
                  int style, int32_t userdata)
{
    auto *p = textbox_calloc<pending_text>(1);
    if (!p)
        return 0;
    p->text = textbox_calloc<wchar_t>(static_cast<size_t>(length) + 1);
    int cc = colours ? std::min(colour_count, length) : 0;
    p->colours = cc ? textbox_calloc<COLORREF>(static_cast<size_t>(cc)) : nullptr;
    if (!p->text || (cc && !p->colours)) {
        textbox_free_pending(p);
        return 0;
    }
    std::wmemcpy(p->text, text, static_cast<size_t>(length));
    if (cc)
        std::memcpy(p->colours, colours, static_cast<size_t>(cc) * sizeof(COLORREF));
    p->length = length;
    p->colour_count = cc;
    p->style = style;
    p->userdata = userdata;
    bool post;
    {
        std::lock_guard<std::mutex> guard(box->pending_lock);
        vel_list_add(&box->pending, reinterpret_cast<vel_list_key>(p), p);
        post = !box->sync_posted;
        box->sync_posted = true;
    }
    if (post && !PostMessageW(box->widget->hwnd, VEL_TEXTBOX_SYNC, 0, 0)) {
        // The next append (or its post) picks the queue up.
        std::lock_guard<std::mutex> guard(box->pending_lock);
        box->sync_posted = false;
    }
    return 1;
}

void textbox_free(vel_textbox *box)
{
    while (box->lines)
        vel_textbox_free_line(static_cast<vel_textbox_line *>(vel_list_del(&box->lines, box->lines->key)));
    vel_list_node *queued = nullptr;
    textbox_take_pending(box, &queued);
    while (queued)
        textbox_free_pending(static_cast<pending_text *>(vel_list_del(&queued, queued->key)));
    if (box->link_font)
        DeleteObject(box->link_font);
    delete box;
}

void textbox_set_pos(vel_textbox *box, int pos)
{
    HWND hwnd = box->widget->hwnd;
    int diff = pos - box->scroll_pos;
    if (diff == 0)
        return;
    if (std::abs(diff) > box->page_rows) {
        box->scroll_pos = pos;
        textbox_update_scrollbar(box);
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
        return;
    }
    ScrollWindowEx(hwnd, 0, -diff * box->row_height, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
    box->scroll_pos = pos;
    textbox_update_scrollbar(box);
    UpdateWindow(hwnd);
}

void textbox_resize(vel_textbox *box, int width, int height)
{
    box->page_rows = std::max(0, (height - 2) / box->row_height);
    box->wrap_width = width;
    vel_textbox_rewrap(box);
    box->scroll_pos = vel_textbox_end_pos(box);
    textbox_update_scrollbar(box);
    InvalidateRect(box->widget->hwnd, nullptr, TRUE);
}

void textbox_paint(vel_textbox *box, HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (box->lines) {
        int saved = SaveDC(dc);
        SetBkMode(dc, TRANSPARENT);
        if (HFONT font = textbox_font(box))
            SelectObject(dc, font);
        int row = box->total_rows;
        int limit = box->scroll_pos + textbox_page(box);
        vel_list_node *n = box->lines;
        do {
            auto *line = static_cast<vel_textbox_line *>(n->data);
            row -= line->rows;
            if (row <= limit) {
                int y = textbox_row_y(box, row, rc.bottom);
                if (y + line->height <= 0)
                    break;
                if (y < ps.rcPaint.bottom && y + line->height > ps.rcPaint.top)
                    vel_textbox_render_line(box, dc, line, y, rc.right);
            }
            n = n->next;
        } while (n != box->lines);
        RestoreDC(dc, saved);
    }
    EndPaint(hwnd, &ps);
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

} // namespace

vel_textbox_line *vel_textbox_process_text(const wchar_t *text, int length, const COLORREF *colours,
                                           int colour_count, int style, int32_t userdata,
                                           vel_textbox_measure measure, void *context, int *consumed)
{
    int end = 0;
    while (end < length && text[end] && text[end] != L'\n' && text[end] != L'\r')
        end++;
    int next = end;
    if (end < length && (text[end] == L'\n' || text[end] == L'\r')) {
        next = end + 1;
        if (next < length && ((text[end] == L'\r' && text[next] == L'\n') || (text[end] == L'\n' && text[next] == L'\r')))
            next++;
    }
    *consumed = next;

    bool blank = end == 0;
    int n = blank ? 1 : end;
    auto *line = textbox_calloc<vel_textbox_line>(1);
    if (!line)
        return nullptr;
    line->text = textbox_calloc<wchar_t>(static_cast<size_t>(n) + 1);
    line->colours = textbox_calloc<COLORREF>(static_cast<size_t>(n));
    line->flags = textbox_calloc<uint8_t>(static_cast<size_t>(n) + 1);
    line->widths = textbox_calloc<int>(static_cast<size_t>(n) + 1);
    line->row_lengths = textbox_calloc<int>(1);
    if (!line->text || !line->colours || !line->flags || !line->widths || !line->row_lengths) {
        vel_textbox_free_line(line);
        return nullptr;
    }
    if (blank) {
        line->text[0] = textbox_blank;
    } else {
        std::wmemcpy(line->text, text, static_cast<size_t>(n));
    }
    // Colours never read past the array, however short it is.
    if (colours) {
        int have = std::min(colour_count, blank ? 0 : n);
        for (int i = 0; i < have; i++)
            line->colours[i] = colours[i];
    }
    line->length = n;
    line->userdata = userdata;
    line->style = style;
    line->rows = 1;
    line->row_lengths[0] = n;
    if (measure)
        measure(context, line->text, n, line->widths);
    vel_textbox_mark_links(line);
    return line;
}

int vel_textbox_append_text(vel_textbox *box, const wchar_t *text, int length, const COLORREF *colours,
                            int colour_count, int style, int32_t userdata, vel_textbox_measure measure,
                            void *context, int *added_rows)
{
    int removed = 0;
    int pos = 0;
    bool more = true;
    while (more) {
        int consumed = 0;
        const COLORREF *c = colours && pos < colour_count ? colours + pos : nullptr;
        vel_textbox_line *line = vel_textbox_process_text(text + pos, length - pos, c, c ? colour_count - pos : 0,
                                                          style, userdata, measure, context, &consumed);
        if (!line)
            return -1;
        vel_textbox_process_line(box, line);
        *added_rows += line->rows;
        removed += vel_textbox_append(box, line);
        pos += consumed;
        // Text that ends with a line break still gets the (blank) line after it.
        more = consumed > 0 && (text[pos - 1] == L'\n' || text[pos - 1] == L'\r');
    }
    return removed;
}

void vel_textbox_mark_links(vel_textbox_line *line)
{
    textbox_mark_addresses(line);
    textbox_mark_emails(line);
}

int vel_textbox_process_line(const vel_textbox *box, vel_textbox_line *line)
{
    const int n = line->length;
    line->rows = 1;
    line->row_lengths[0] = n;
    line->height = box->row_height;
    line->x = textbox_line_x(line, box->wrap_width);
    if (!(box->options & VEL_TEXTBOX_WRAP))
        return 1;
    // At most one row per character: count first, then fill.
    int *rows = textbox_calloc<int>(static_cast<size_t>(n));
    if (!rows)
        return 0;
    int count = 0;
    int start = 0;
    int sum = 0;
    int last_blank = -1;
    for (int i = 0; i < n; i++) {
        sum += line->widths[i];
        if (line->text[i] == textbox_blank)
            last_blank = i;
        if (sum <= box->wrap_width)
            continue;
        int end;
        if (last_blank >= start) {
            end = last_blank + 1;
        } else {
            // No blank since the row began: the word is never split, it overflows.
            end = i;
            while (end < n && line->text[end] != textbox_blank)
                end++;
            end = end < n ? end + 1 : n;
        }
        rows[count++] = end - start;
        start = end;
        sum = 0;
        last_blank = -1;
        i = end - 1;
    }
    if (start < n)
        rows[count++] = n - start;
    std::free(line->row_lengths);
    line->row_lengths = rows;
    line->rows = count;
    line->height = count * box->row_height;
    return 1;
}

int vel_textbox_max_row(const vel_textbox *box)
{
    return box->total_rows > 0 ? box->total_rows - 1 : 0;
}

int vel_textbox_end_pos(const vel_textbox *box)
{
    return std::max(0, vel_textbox_max_row(box) - textbox_page(box) + 1);
}

int vel_textbox_append(vel_textbox *box, vel_textbox_line *line)
{
    // The view follows when its last row is the last row held (or beyond it, while the
    // lines do not yet fill the box).
    bool at_end = box->scroll_pos + textbox_page(box) - 1 >= vel_textbox_max_row(box);
    vel_list_add(&box->lines, reinterpret_cast<vel_list_key>(line), line);
    box->total_rows += line->rows;
    box->line_count++;
    int removed = 0;
    while (box->line_count > box->max_lines && box->line_count > 1) {
        vel_textbox_line *oldest = textbox_oldest(box);
        vel_list_del(&box->lines, reinterpret_cast<vel_list_key>(oldest));
        removed += oldest->rows;
        box->total_rows -= oldest->rows;
        box->line_count--;
        vel_textbox_free_line(oldest);
    }
    if (at_end)
        box->scroll_pos = vel_textbox_end_pos(box);
    else
        box->scroll_pos = std::max(0, box->scroll_pos - removed);
    return removed;
}

void vel_textbox_free_line(vel_textbox_line *line)
{
    if (!line)
        return;
    std::free(line->text);
    std::free(line->colours);
    std::free(line->flags);
    std::free(line->widths);
    std::free(line->row_lengths);
    std::free(line);
}

void vel_textbox_rewrap(vel_textbox *box)
{
    int total = 0;
    if (box->lines) {
        vel_list_node *n = box->lines;
        do {
            auto *line = static_cast<vel_textbox_line *>(n->data);
            vel_textbox_process_line(box, line);
            total += line->rows;
            n = n->next;
        } while (n != box->lines);
    }
    box->total_rows = total;
}

int vel_textbox_scroll_target(const vel_textbox *box, int code, int thumb)
{
    const int pos = box->scroll_pos;
    const int page = textbox_page(box);
    const int max = vel_textbox_max_row(box);
    const int last = vel_textbox_end_pos(box);
    switch (code) {
    case SB_LINEUP:
        return pos > 0 ? pos - 1 : 0;
    case SB_LINEDOWN:
        return pos + page <= max ? pos + 1 : pos;
    case SB_PAGEUP:
        return std::max(0, pos - page);
    case SB_PAGEDOWN:
        return pos + page <= max ? std::min(pos + page, last) : pos;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        return std::clamp(thumb, 0, last);
    case SB_TOP:
        return 0;
    case SB_BOTTOM:
        return last;
    default:
        return pos;
    }
}

vel_textbox_line *vel_textbox_get_line_from_pos(const vel_textbox *box, int x, int y, int client_width,
                                                int client_height, uint32_t *hit)
{
    *hit = 0;
    if (!box->lines || box->total_rows <= 0 || box->row_height <= 0)
        return nullptr;
    x = std::clamp(x, 0, std::max(0, client_width - 1));
    y = std::clamp(y, 0, std::max(0, client_height - 1));
    // Row under the point, counted as in drawing: row pos + page - 1 ends 2 pixels above
    // the bottom edge.
    int bottom = client_height - 2;
    int up = bottom - y;
    int from_bottom = up > 0 ? (up - 1) / box->row_height : 0;
    int row = box->scroll_pos + textbox_page(box) - 1 - from_bottom;
    uint32_t bits = 0;
    if (row < 0) {
        row = 0;
        bits |= VEL_TEXTBOX_HIT_OFFLINE;
    } else if (row >= box->total_rows) {
        row = box->total_rows - 1;
        bits |= VEL_TEXTBOX_HIT_OFFLINE;
    }
    // Find the line holding the row, walking from the newest.
    int start = box->total_rows;
    vel_list_node *n = box->lines;
    vel_textbox_line *line = nullptr;
    do {
        line = static_cast<vel_textbox_line *>(n->data);
        start -= line->rows;
        if (start <= row)
            break;
        n = n->next;
    } while (n != box->lines);
    int r = std::clamp(row - start, 0, line->rows - 1);
    int first = 0;
    for (int i = 0; i < r; i++)
        first += line->row_lengths[i];
    int count = line->row_lengths[r];
    int index = first;
    int edge = line->x;
    int i = 0;
    for (; i < count; i++) {
        edge += line->widths[first + i];
        if (x < edge)
            break;
    }
    if (i == count) {
        bits |= VEL_TEXTBOX_HIT_RIGHT;
        i = count - 1;
    }
    index = first + std::max(0, i);
    *hit = static_cast<uint32_t>(index) | bits;
    return line;
}

int vel_textbox_get_link(const vel_textbox_line *line, int index, wchar_t *out, int capacity, int *is_email)
{
    *is_email = 0;
    if (index < 0 || index >= line->length || !(line->flags[index] & VEL_TEXTBOX_LINK))
        return 0;
    int from = index;
    while (from > 0 && (line->flags[from - 1] & VEL_TEXTBOX_LINK))
        from--;
    int to = index;
    while (to < line->length && line->text[to] != textbox_blank)
        to++;
    int n = to - from;
    if (n + 1 > capacity)
        return 0;
    std::wmemcpy(out, line->text + from, static_cast<size_t>(n));
    out[n] = 0;
    *is_email = (line->flags[to - 1] & VEL_TEXTBOX_EMAIL) ? 1 : 0;
    return n;
}

wchar_t *vel_textbox_copy_text(const vel_textbox *box, const vel_textbox_line *line, size_t *length)
{
    *length = 0;
    if (line) {
        wchar_t *out = textbox_calloc<wchar_t>(static_cast<size_t>(line->length) + 1);
        if (out) {
            std::wmemcpy(out, line->text, static_cast<size_t>(line->length));
            *length = static_cast<size_t>(line->length);
        }
        return out;
    }
    if (!box->lines)
        return nullptr;
    size_t total = 0;
    vel_list_node *n = box->lines;
    do {
        total += static_cast<size_t>(static_cast<vel_textbox_line *>(n->data)->length) + 2;
        n = n->next;
    } while (n != box->lines);
    wchar_t *out = textbox_calloc<wchar_t>(total + 1);
    if (!out)
        return nullptr;
    size_t at = 0;
    for (n = box->lines->prev;; n = n->prev) {
        auto *l = static_cast<vel_textbox_line *>(n->data);
        std::wmemcpy(out + at, l->text, static_cast<size_t>(l->length));
        at += static_cast<size_t>(l->length);
        out[at++] = L'\r';
        out[at++] = L'\n';
        if (n == box->lines)
            break;
    }
    out[at] = 0;
    *length = at;
    return out;
}

void vel_textbox_render_line(const vel_textbox *box, HDC dc, vel_textbox_line *line, int y, int client_width)
{
    line->x = textbox_line_x(line, client_width);
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
            int j = i + 1;
            while (j < end && (!by_colour || line->colours[j] == line->colours[i]) &&
                   (!link_font || ((line->flags[j] & VEL_TEXTBOX_LINK) != 0) == link))
                j++;
            COLORREF colour = box->colour_mode == 0   ? line->colours[i]
                              : box->colour_mode == 1 ? line->colours[0]
                                                      : box->plain_colour;
            SetTextColor(dc, colour);
            if (link)
                SelectObject(dc, box->link_font);
            else if (normal)
                SelectObject(dc, normal);
            ExtTextOutW(dc, x, y, 0, nullptr, line->text + i, static_cast<UINT>(j - i), line->widths + i);
            for (int k = i; k < j; k++)
                x += line->widths[k];
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
    vel_widget *widget = vel_widget_create(box, parent, exstyle, style, text, x, y, w, h, anchors, data,
                                           vel_textbox_default_wdgproc, VEL_CUSTOM, L"VEL_WIDGET");
    if (!widget) {
        delete box;
        return nullptr;
    }
    box->widget = widget;
    box->row_height = textbox_row_height(widget->hwnd, nullptr);
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
    if (GetWindowThreadProcessId(widget->hwnd, nullptr) != GetCurrentThreadId())
        return textbox_queue(box, text, length, colours, colour_count, style, userdata);
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
        if (!self->background) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_WINDOW));
            *result = 1;
            code = VEL_HANDLED;
        }
        break;
    case VEL_TEXTBOX_SYNC:
        textbox_add_here(box, nullptr, 0, nullptr, 0, 0, 0);
        textbox_flush_bar(box, hwnd);
        *result = 0;
        code = VEL_HANDLED;
        break;
    case WM_TIMER:
        if (wp != textbox_bar_timer)
            break;
        KillTimer(hwnd, textbox_bar_timer);
        box->bar_timer = false;
        textbox_flush_bar(box, hwnd);
        *result = 0;
        return VEL_DONE;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && (box->options & VEL_TEXTBOX_LIVE_LINKS)) {
            POINT pt;
            GetCursorPos(&pt);
            ScreenToClient(hwnd, &pt);
            vel_textbox_line *line = nullptr;
            uint32_t hit = 0;
            if (textbox_hit_here(box, hwnd, pt, &line, &hit) && textbox_on_link(box, line, hit)) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                *result = TRUE;
                return VEL_DONE;
            }
        }
        break;
    case WM_LBUTTONDBLCLK: {
        vel_textbox_line *line = nullptr;
        uint32_t hit = 0;
        if (!textbox_hit_here(box, hwnd, textbox_point(lp), &line, &hit))
            break;
        if (textbox_on_link(box, line, hit))
            textbox_open_link(box, line, static_cast<int>(hit & VEL_TEXTBOX_HIT_INDEX));
        else
            SendMessageW(hwnd, VEL_TEXTBOX_DBLCLK, reinterpret_cast<WPARAM>(line), static_cast<LPARAM>(hit));
        *result = 0;
        code = VEL_HANDLED;
        break;
    }
    case WM_RBUTTONDBLCLK:
        textbox_copy(box, hwnd, textbox_point(lp), (wp & MK_SHIFT) != 0);
        *result = 0;
        code = VEL_HANDLED;
        break;
    case WM_MOUSEWHEEL: {
        int lines = static_cast<short>(HIWORD(wp)) / WHEEL_DELTA;
        for (; lines > 0; lines--)
            textbox_set_pos(box, vel_textbox_scroll_target(box, SB_LINEUP, 0));
        for (; lines < 0; lines++)
            textbox_set_pos(box, vel_textbox_scroll_target(box, SB_LINEDOWN, 0));
        *result = 0;
        code = VEL_HANDLED;
        break;
    }
    case WM_VSCROLL:
        textbox_set_pos(box, vel_textbox_scroll_target(box, LOWORD(wp), HIWORD(wp)));
        *result = 0;
        code = VEL_HANDLED;
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
