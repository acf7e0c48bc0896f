// Colour markup: "$name$" and "$rrggbb$" colour changes, "$$" for a dollar sign.
#include "text/string.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace {

constexpr uint32_t markup_default = 0xFFFFFFFFu;  // "DEFAULT": the caller's colour

struct markup_name {
    std::string_view name;
    uint32_t rgb;  // as written in markup, 0xRRGGBB
};

constexpr markup_name markup_names[] = {
    {"WHITE", 0xFFFFFF},    {"LIGHTGRAY", 0xC0C0C0}, {"GRAY", 0x808080},     {"DARKGRAY", 0x404040},
    {"BLACK", 0x000000},    {"RED", 0xFF0000},       {"PINK", 0xFFAFAF},     {"ORANGE", 0xFFC800},
    {"YELLOW", 0xFFFF00},   {"GREEN", 0x00FF00},     {"MAGENTA", 0xFF00FF},  {"CYAN", 0x00FFFF},
    {"BLUE", 0x0000FF},     {"OPCOLOR1", 0x00FF00},  {"OPCOLOR2", 0xFF0000}, {"OPCOLOR3", 0xFFFF00},
    {"OPCOLOR4", 0xFFC800}, {"OPCOLOR5", 0x00FFFF},  {"DEFAULT", markup_default},
};
static_assert(std::size(markup_names) == 19);

constexpr char markup_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool markup_same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (markup_upper(a[i]) != markup_upper(b[i]))
            return false;
    }
    return true;
}

// 0xRRGGBB as written to the platform's 0x00BBGGRR.
constexpr uint32_t markup_swap(uint32_t rgb)
{
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

uint32_t markup_colour(std::string_view name, uint32_t default_colour)
{
    for (const markup_name &entry : markup_names) {
        if (markup_same_name(name, entry.name))
            return entry.rgb == markup_default ? default_colour : markup_swap(entry.rgb);
    }
    uint32_t value = 0;
    for (char c : name) {
        c = markup_upper(c);
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
        } else {
            value = 0xFFFFFF;  // not a colour: white
            break;
        }
    }
    return markup_swap(value & 0xFFFFFF);
}

}  // namespace

size_t markup_parse(char16_t *dst, uint32_t *colours, const char *src, uint32_t default_colour,
                    uint32_t *final_colour)
{
    uint32_t colour = default_colour;
    size_t n = 0;
    uint16_t unit;
    while (*src) {
        if (*src != '$') {
            if (!utf8_decode_next(&src, &unit))
                continue;
            if (dst)
                dst[n] = static_cast<char16_t>(unit);
            if (colours)
                colours[n] = colour;
            n++;
            continue;
        }
        src++;
        if (*src == 0)
            break;  // a lone "$" at the end disappears
        if (*src == '$') {
            src++;
            if (dst)
                dst[n] = u'$';
            if (colours)
                colours[n] = colour;
            n++;
            continue;
        }
        const char *name = src;
        while (*src && *src != '$')
            src++;
        std::string_view view(name, static_cast<size_t>(src - name));
        if (*src == '$')
            src++;
        // Stripping markup (no colours wanted) skips the lookup.
        if (colours || final_colour)
            colour = markup_colour(view, default_colour);
    }
    if (dst)
        dst[n] = 0;
    if (final_colour)
        *final_colour = colour;
    return n;
}

char16_t *LVC_CStringParserW(char16_t *dst, uint32_t *colours, const char *src, uint32_t default_colour)
{
    markup_parse(dst, colours, src, default_colour, nullptr);
    return dst;
}

char *LVC_CStringParserA(char *dst, uint32_t *colours, const char *src, uint32_t default_colour)
{
    size_t n = std::strlen(src);
    std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[n + 1]);
    if (!wide) {
        dst[0] = 0;
        return dst;
    }
    markup_parse(wide.get(), colours, src, default_colour, nullptr);
    codepage_from_ucs2(dst, n + 1, wide.get());
    return dst;
}
