#include "ui/drawing.h"

#include "ui/chatwnd.h"
#include "ui/drawwnd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::string_view drawing_prefix = "//";

bool drawing_is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int drawing_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// The colour from the first six characters of field 0: the hexadecimal digits there, up to
// the first other character, read as rrggbb.
COLORREF drawing_colour(std::string_view field)
{
    uint32_t value = 0;
    for (char c : field.substr(0, 6)) {
        int d = drawing_digit(c);
        if (d >= 16)
            break;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

struct drawing_point {
    int64_t x, y;
};

// What the platform is given of a line: the picture and, around it, the reach of the pen.
struct drawing_box {
    double left, top, right, bottom;
};

drawing_box drawing_box_for(int width)
{
    // Half the pen and its end cap can touch the picture. The wide margin beyond keeps a
    // line that is cut there less than half a pixel off the whole line's course through
    // the picture, while sparing the platform the miles beyond.
    const double reach = width / 2 + 1024;
    return {-reach, -reach, CHATWND_BOARD_WIDTH + reach, CHATWND_BOARD_HEIGHT + reach};
}

// Cuts the segment a-b to the box (Liang-Barsky); false when no part of it lies inside. An
// end inside the box is kept exactly; a cut end is rounded to the nearest point.
bool drawing_clip(const drawing_box &box, drawing_point a, drawing_point b, POINT *from, POINT *to)
{
    const double x0 = static_cast<double>(a.x), y0 = static_cast<double>(a.y);
    const double dx = static_cast<double>(b.x - a.x), dy = static_cast<double>(b.y - a.y);
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - box.left, box.right - x0, y0 - box.top, box.bottom - y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    auto at = [&](double t, drawing_point exact, bool inside) {
        if (inside)
            return POINT{static_cast<LONG>(exact.x), static_cast<LONG>(exact.y)};
        return POINT{static_cast<LONG>(std::lround(x0 + t * dx)), static_cast<LONG>(std::lround(y0 + t * dy))};
    };
    *from = at(t0, a, t0 == 0);
    *to = at(t1, b, t1 == 1);
    return true;
}

// A line far outside the picture still costs the platform its whole length in a wide pen,
// so only the part near the picture is drawn: along the same line, the cut ends rounded to
// whole pixels well outside the picture.
void drawing_segment(HDC dc, const drawing_box &box, drawing_point a, drawing_point b)
{
    // A line of no length covers no pixel. Some platforms still put a dot of the pen's
    // width there, which would make the start of every stroke depend on where it is shown.
    if (a.x == b.x && a.y == b.y)
        return;
    POINT from, to;
    if (!drawing_clip(box, a, b, &from, &to))
        return;
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
}

// Splits the text into its fields at every ";"; an empty last field is dropped.
std::vector<std::string_view> drawing_fields(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t semi = text.find(';', start);
        if (semi == std::string_view::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, semi - start));
        start = semi + 1;
    }
    if (fields.back().empty())
        fields.pop_back();
    return fields;
}

void drawing_stroke(HDC dc, const std::vector<std::string_view> &fields, COLORREF colour, int width)
{
    int x, y;
    if (fields.size() < 2 || !drawing_parse_pair(fields[1], &x, &y))
        return;
    // The sender's point (6, 25) is the picture's origin.
    drawing_point current{int64_t{x} - 6, int64_t{y} - 25};
    const int pen_width = std::clamp(width, 0, DRAWING_PEN_MAX);
    const drawing_box box = drawing_box_for(pen_width);
    HPEN pen = CreatePen(PS_SOLID, pen_width, colour);
    if (!pen)
        return;
    HGDIOBJ old = SelectObject(dc, pen);
    // The stroke starts with one pixel, whatever the pen's width: a line of no length there
    // would add nothing (drawing_segment).
    if (current.x >= 0 && current.x < CHATWND_BOARD_WIDTH && current.y >= 0 && current.y < CHATWND_BOARD_HEIGHT)
        SetPixel(dc, static_cast<int>(current.x), static_cast<int>(current.y), colour);
    for (size_t i = 2; i < fields.size(); i++) {
        int dx, dy;
        if (!drawing_parse_pair(fields[i], &dx, &dy))
            break;
        // A few thousand moves of 32-bit steps: the sum never leaves 64 bits.
        drawing_point next{current.x + dx, current.y + dy};
        drawing_segment(dc, box, current, next);
        current = next;
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

}  // namespace

std::string_view drawing_bounded(std::string_view body)
{
    if (body.size() <= DRAWING_TEXT_MAX)
        return body;
    // A ";" right after the limit still closes a field that fits.
    size_t semi = body.substr(0, DRAWING_TEXT_MAX + 1).rfind(';');
    return semi == std::string_view::npos ? std::string_view() : body.substr(0, semi);
}

size_t drawing_parse_int(std::string_view text, int *value)
{
    size_t i = 0;
    while (i < text.size() && drawing_is_space(text[i]))
        i++;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
    }
    int base = 10;
    if (i < text.size() && text[i] == '0') {
        // "0x" counts only with a hexadecimal digit after it; else the 0 is the number.
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && drawing_digit(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    const size_t first = i;
    const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : INT32_MAX;
    int64_t magnitude = 0;
    while (i < text.size()) {
        int d = drawing_digit(text[i]);
        if (d >= base)
            break;
        magnitude = std::min(magnitude * base + d, limit);
        i++;
    }
    if (i == first)
        return 0;
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    return i;
}

int drawing_parse_pair(std::string_view field, int *first, int *second)
{
    int a, b;
    size_t n = drawing_parse_int(field, &a);
    if (n == 0 || n >= field.size() || field[n] != ',')
        return 0;
    std::string_view rest = field.substr(n + 1);
    size_t m = drawing_parse_int(rest, &b);
    if (m == 0 || m != rest.size())
        return 0;
    *first = a;
    *second = b;
    return 1;
}

int get_int_pair(const char *field, int *first, int *second)
{
    if (!field || !first || !second)
        return 0;
    return drawing_parse_pair(field, first, second);
}

void drawing_paint(HDC dc, std::string_view body)
{
    std::string_view text = drawing_bounded(body);
    if (!dc || text.empty())
        return;
    const std::vector<std::string_view> fields = drawing_fields(text);
    if (fields.empty())
        return;
    const COLORREF colour = drawing_colour(fields[0]);
    int width = 0;
    size_t comma = fields[0].find(',');
    if (comma != std::string_view::npos)
        drawing_parse_int(fields[0].substr(comma + 1), &width);
    if (width == DRAWING_CLEAR_WIDTH) {
        HBRUSH brush = CreateSolidBrush(colour);
        if (!brush)
            return;
        RECT all{0, 0, CHATWND_BOARD_WIDTH, CHATWND_BOARD_HEIGHT};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        return;
    }
    drawing_stroke(dc, fields, colour, width);
}

void chatwnd_drawing_message(chatwnd *cw, int, const char *, const char *text, const time_t *, int32_t)
{
    if (!cw || !text)
        return;
    std::string_view message(text);
    if (message.substr(0, drawing_prefix.size()) != drawing_prefix)
        return;
    drawing_paint(cw->board_dc, message.substr(drawing_prefix.size()));
    if (cw->drawwnd) {
        drawwnd_log(cw->drawwnd, text);
        drawwnd_refresh(cw->drawwnd);
    }
}
