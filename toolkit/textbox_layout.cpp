#include "toolkit/textbox_layout.h"

#include "toolkit/util.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <iterator>

namespace {

constexpr wchar_t textbox_blank = L' ';
// Table entries: not measured yet, and taken into the call being made.
constexpr int32_t textbox_width_unknown = INT32_MIN;
constexpr int32_t textbox_width_asked = INT32_MIN + 1;
// The common range learnt when a font is set.
constexpr wchar_t textbox_common_first = 0x20;
constexpr wchar_t textbox_common_last = 0x17F;

template <typename T>
T *textbox_calloc(size_t n)
{
    return static_cast<T *>(std::calloc(n ? n : 1, sizeof(T)));
}

vel_textbox_line *textbox_oldest(const vel_textbox *box)
{
    return box->lines ? static_cast<vel_textbox_line *>(box->lines->prev->data) : nullptr;
}

int32_t *textbox_width_slot(vel_textbox_widths *table, wchar_t unit)
{
    const auto u = static_cast<uint16_t>(unit);
    int32_t *&page = table->pages[u >> 8];
    if (!page) {
        page = static_cast<int32_t *>(std::malloc(256 * sizeof(int32_t)));
        if (!page)
            return nullptr;
        std::fill_n(page, 256, textbox_width_unknown);
    }
    return page + (u & 0xFF);
}

// The width of a unit, or textbox_width_unknown.
int32_t textbox_width_of(const vel_textbox_widths *table, wchar_t unit)
{
    const auto u = static_cast<uint16_t>(unit);
    const int32_t *page = table->pages[u >> 8];
    return page ? page[u & 0xFF] : textbox_width_unknown;
}

// A line record and its arrays in one block, widest members first: the record, the colour
// runs, the single row length of an unwrapped line, widths (n + 1), text (n + 1 units) and
// flags (n + 1). One allocation per line instead of six; a box of 300 lines of 100
// characters holds some 160 KB of them.
struct textbox_line_layout {
    size_t runs, row, widths, text, flags, size;
};

textbox_line_layout textbox_line_offsets(int n, int run_count)
{
    static_assert(alignof(vel_textbox_line) >= alignof(vel_textbox_run) && alignof(vel_textbox_run) >= alignof(int) &&
                  alignof(int) >= alignof(uint16_t) && alignof(uint16_t) >= alignof(wchar_t));
    const auto count = static_cast<size_t>(n);
    textbox_line_layout l{};
    l.runs = sizeof(vel_textbox_line);
    l.row = l.runs + static_cast<size_t>(run_count) * sizeof(vel_textbox_run);
    l.widths = l.row + sizeof(int);
    l.text = l.widths + (count + 1) * sizeof(uint16_t);
    l.flags = l.text + (count + 1) * sizeof(wchar_t);
    l.size = l.flags + count + 1;
    return l;
}

int *textbox_single_row(vel_textbox_line *line)
{
    return reinterpret_cast<int *>(reinterpret_cast<char *>(line) +
                                   textbox_line_offsets(line->length, line->run_count).row);
}

vel_textbox_line *textbox_line_alloc(int n, int run_count)
{
    const textbox_line_layout l = textbox_line_offsets(n, run_count);
    auto *base = static_cast<char *>(std::calloc(1, l.size));
    if (!base)
        return nullptr;
    auto *line = reinterpret_cast<vel_textbox_line *>(base);
    line->widths = reinterpret_cast<uint16_t *>(base + l.widths);
    line->runs = reinterpret_cast<vel_textbox_run *>(base + l.runs);
    line->run_count = run_count;
    line->row_lengths = reinterpret_cast<int *>(base + l.row);
    line->text = reinterpret_cast<wchar_t *>(base + l.text);
    line->flags = reinterpret_cast<uint8_t *>(base + l.flags);
    line->length = n;
    return line;
}

// The runs of n characters whose first `have` colours are given and the rest black, into
// runs when it is not null; returns how many there are.
int textbox_runs(const COLORREF *colours, int have, int n, vel_textbox_run *runs)
{
    int count = 0;
    for (int i = 0; i < have; i++) {
        if (i > 0 && colours[i] == colours[i - 1])
            continue;
        if (runs)
            runs[count] = {i, colours[i]};
        count++;
    }
    if (have > 0 && have < n && colours[have - 1] != 0) {
        if (runs)
            runs[count] = {have, 0};
        count++;
    }
    return count;
}

// Measures a line's characters into its widths: the measure gives whole pixels, kept in 16
// bits (a character 65,535 pixels wide is wide enough). 0 when memory runs out.
bool textbox_measure_line(vel_textbox_line *line, vel_textbox_measure measure, void *context)
{
    const int n = line->length;
    int local[256];
    int *widths = local;
    if (n > static_cast<int>(std::size(local)) && !(widths = textbox_calloc<int>(static_cast<size_t>(n))))
        return false;
    std::fill_n(widths, n, 0);
    measure(context, line->text, n, widths);
    for (int i = 0; i < n; i++)
        line->widths[i] = static_cast<uint16_t>(std::clamp(widths[i], 0, 0xFFFF));
    if (widths != local)
        std::free(widths);
    return true;
}

// Wraps a line's characters to the width: the number of rows, and their lengths into
// rows when it is non-null.
int textbox_wrap(const vel_textbox *box, const vel_textbox_line *line, int *rows)
{
    const int n = line->length;
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
        if (rows)
            rows[count] = end - start;
        count++;
        start = end;
        sum = 0;
        last_blank = -1;
        i = end - 1;
    }
    if (start < n) {
        if (rows)
            rows[count] = n - start;
        count++;
    }
    return count;
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

// Whether the text holds a or b. Every web prefix has a ':' or a '.' (an e-mail address
// an '@'): most lines hold none, and one look at each character is cheaper than trying
// every prefix at every one.
bool textbox_has_any(const wchar_t *t, int n, wchar_t a, wchar_t b)
{
    for (int i = 0; i < n; i++)
        if (t[i] == a || t[i] == b)
            return true;
    return false;
}

void textbox_mark_addresses(vel_textbox_line *line)
{
    const wchar_t *t = line->text;
    int n = line->length;
    if (!textbox_has_any(t, n, L':', L'.'))
        return;
    for (int i = 0; i < n; i++) {
        if (vel_util_url_class(t + i))
            i = textbox_mark_word(line, i, VEL_TEXTBOX_LINK, false);
    }
}

void textbox_mark_emails(vel_textbox_line *line)
{
    const wchar_t *t = line->text;
    int n = line->length;
    if (!std::wmemchr(t, L'@', static_cast<size_t>(n)))
        return;
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

} // namespace

void vel_textbox_widths_init(vel_textbox_widths *table, vel_textbox_measure measure, void *context)
{
    std::fill(std::begin(table->pages), std::end(table->pages), nullptr);
    table->measure = measure;
    table->context = context;
}

void vel_textbox_widths_clear(vel_textbox_widths *table)
{
    for (int32_t *&page : table->pages) {
        std::free(page);
        page = nullptr;
    }
}

int vel_textbox_widths_reset(vel_textbox_widths *table)
{
    vel_textbox_widths_clear(table);
    wchar_t common[textbox_common_last - textbox_common_first + 1];
    for (wchar_t c = textbox_common_first; c <= textbox_common_last; c++)
        common[c - textbox_common_first] = c;
    return vel_textbox_widths_learn(table, common, static_cast<int>(std::size(common)));
}

int vel_textbox_widths_learn(vel_textbox_widths *table, const wchar_t *text, int length)
{
    // The unknown units in the order they first occur, so that a surrogate pair met whole
    // is measured whole, as in the line.
    wchar_t local[128];
    wchar_t *units = local;
    if (length > static_cast<int>(std::size(local)) && !(units = textbox_calloc<wchar_t>(static_cast<size_t>(length))))
        return 0;
    int n = 0;
    bool ok = true;
    for (int i = 0; i < length && ok; i++) {
        int32_t *slot = textbox_width_slot(table, text[i]);
        if (!slot) {
            ok = false;
        } else if (*slot == textbox_width_unknown) {
            *slot = textbox_width_asked;
            units[n++] = text[i];
        }
    }
    int *got = n > 0 && ok ? textbox_calloc<int>(static_cast<size_t>(n)) : nullptr;
    ok = ok && (n == 0 || (got && table->measure && table->measure(table->context, units, n, got)));
    for (int k = 0; k < n; k++)
        *textbox_width_slot(table, units[k]) = ok ? got[k] : textbox_width_unknown;
    std::free(got);
    if (units != local)
        std::free(units);
    return ok ? 1 : 0;
}

int vel_textbox_widths_measure(void *context, const wchar_t *text, int length, int *widths)
{
    auto *table = static_cast<vel_textbox_widths *>(context);
    for (int i = 0; i < length; i++) {
        int32_t w = textbox_width_of(table, text[i]);
        if (w == textbox_width_unknown) {
            if (!vel_textbox_widths_learn(table, text + i, length - i))
                return table->measure ? table->measure(table->context, text, length, widths) : 0;
            w = textbox_width_of(table, text[i]);
        }
        widths[i] = w;
    }
    return 1;
}

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
    // Colours never read past the array, however short it is; the characters beyond it
    // are black.
    const int have = colours ? std::min(colour_count, blank ? 0 : n) : 0;
    vel_textbox_line *line = textbox_line_alloc(n, textbox_runs(colours, have, n, nullptr));
    if (!line)
        return nullptr;
    if (blank) {
        line->text[0] = textbox_blank;
    } else {
        std::wmemcpy(line->text, text, static_cast<size_t>(n));
    }
    textbox_runs(colours, have, n, line->runs);
    line->userdata = userdata;
    line->style = style;
    line->rows = 1;
    line->row_lengths[0] = n;
    if (measure && !textbox_measure_line(line, measure, context)) {
        vel_textbox_free_line(line);
        return nullptr;
    }
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

COLORREF vel_textbox_colour_at(const vel_textbox_line *line, int i)
{
    COLORREF colour = 0;
    for (int r = 0; r < line->run_count && line->runs[r].start <= i; r++)
        colour = line->runs[r].colour;
    return colour;
}

int vel_textbox_run_end(const vel_textbox_line *line, int i)
{
    for (int r = 0; r < line->run_count; r++)
        if (line->runs[r].start > i)
            return line->runs[r].start;
    return line->length;
}

void vel_textbox_mark_links(vel_textbox_line *line)
{
    textbox_mark_addresses(line);
    textbox_mark_emails(line);
}

int vel_textbox_process_line(const vel_textbox *box, vel_textbox_line *line)
{
    const int n = line->length;
    int *single = textbox_single_row(line);
    if (line->row_lengths != single)
        std::free(line->row_lengths);
    line->row_lengths = single;
    line->rows = 1;
    single[0] = n;
    line->height = box->row_height;
    line->x = vel_textbox_line_x(line, box->wrap_width);
    if (!(box->options & VEL_TEXTBOX_WRAP))
        return 1;
    // Counted first, so that a line that stays on one row needs no array of its own.
    const int count = textbox_wrap(box, line, nullptr);
    if (count <= 1)
        return 1;
    int *rows = textbox_calloc<int>(static_cast<size_t>(count));
    if (!rows)
        return 0;
    textbox_wrap(box, line, rows);
    line->row_lengths = rows;
    line->rows = count;
    line->height = count * box->row_height;
    return 1;
}

int vel_textbox_append(vel_textbox *box, vel_textbox_line *line)
{
    // The view follows when its last row is the last row held (or beyond it, while the
    // lines do not yet fill the box).
    bool at_end = box->scroll_pos + vel_textbox_page(box) - 1 >= vel_textbox_max_row(box);
    vel_list_add(&box->lines, reinterpret_cast<vel_list_key>(line), line);
    box->total_rows += line->rows;
    box->line_count++;
    int removed = 0;
    while (box->line_count > box->max_lines && box->line_count > 1) {
        vel_textbox_line *oldest = textbox_oldest(box);
        // The search starts at the oldest node, which it finds at once (from the head it
        // would walk every line); that node is never the head, so box->lines stays.
        vel_list_node *from_oldest = box->lines->prev;
        vel_list_del(&from_oldest, reinterpret_cast<vel_list_key>(oldest));
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
    if (line->row_lengths != textbox_single_row(line))
        std::free(line->row_lengths);
    std::free(line);
}

void vel_textbox_free_lines(vel_textbox *box)
{
    while (box->lines)
        vel_textbox_free_line(static_cast<vel_textbox_line *>(vel_list_del(&box->lines, box->lines->key)));
    box->line_count = 0;
    box->total_rows = 0;
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

int vel_textbox_page(const vel_textbox *box)
{
    return box->page_rows > 0 ? box->page_rows : 1;
}

int vel_textbox_max_row(const vel_textbox *box)
{
    return box->total_rows > 0 ? box->total_rows - 1 : 0;
}

int vel_textbox_end_pos(const vel_textbox *box)
{
    return std::max(0, vel_textbox_max_row(box) - vel_textbox_page(box) + 1);
}

int vel_textbox_row_y(const vel_textbox *box, int row, int client_height)
{
    return client_height - 2 - (box->scroll_pos + vel_textbox_page(box) - row) * box->row_height;
}

int vel_textbox_line_x(const vel_textbox_line *line, int client_width)
{
    if (line->style != 1 && line->style != 2)
        return 0;
    int width = 0;
    for (int i = 0; i < line->length; i++)
        width += line->widths[i];
    int x = client_width - width;
    if (line->style == 2)
        x /= 2;
    // A line wider than the box starts at its left edge rather than off screen.
    return x > 0 ? x : 0;
}

int vel_textbox_scroll_target(const vel_textbox *box, int code, int thumb)
{
    const int pos = box->scroll_pos;
    const int page = vel_textbox_page(box);
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

int vel_textbox_wheel_target(const vel_textbox *box, int notches)
{
    const int pos = box->scroll_pos;
    if (notches >= 0)
        return std::max(0, pos - notches);
    // A step down moves only while the page's last row is not the last row held.
    const int last = vel_textbox_end_pos(box);
    return pos < last ? std::min(pos - notches, last) : pos;
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
    int row = box->scroll_pos + vel_textbox_page(box) - 1 - from_bottom;
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
