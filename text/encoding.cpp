// UTF-8 <-> UCS-2 and the ANSI conversions built on them.
#include "text/string.h"

#include <cstring>
#include <memory>
#include <new>

int utf8_decode_sequence(const char **p, uint16_t *unit)
{
    const auto *s = reinterpret_cast<const unsigned char *>(*p);
    unsigned lead = *s++;
    int ones = 0;
    while (ones < 8 && (lead & (0x80u >> ones)))
        ones++;
    // The lead byte keeps the bits below its length marker; a stray continuation byte
    // (one top bit) keeps its low six bits.
    uint32_t value = lead & (0x3Fu >> (ones - 1));
    for (int i = 1; i < ones; i++) {
        if (*s == 0) {
            // Cut short by the end of the text: the partial character is dropped.
            *p = reinterpret_cast<const char *>(s);
            return 0;
        }
        value = value * 64 + (*s++ & 0x3Fu);
    }
    *p = reinterpret_cast<const char *>(s);
    *unit = static_cast<uint16_t>(value);
    return 1;
}

char16_t *utf8_to_ucs2(char16_t *dst, const char *src)
{
    char16_t *out = dst;
    uint16_t unit;
    while (*src) {
        if (utf8_decode_next(&src, &unit))
            *out++ = static_cast<char16_t>(unit);
    }
    *out = 0;
    return dst;
}

char *ucs2_to_utf8(char *dst, const char16_t *src)
{
    auto *out = reinterpret_cast<unsigned char *>(dst);
    for (; *src; src++) {
        unsigned c = *src;
        if (c < 0x80) {
            *out++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    *out = 0;
    return dst;
}

char *utf8_to_ansi(char *dst, const char *src)
{
    size_t n = std::strlen(src);
    std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[n + 1]);
    if (!wide) {
        dst[0] = 0;
        return dst;
    }
    utf8_to_ucs2(wide.get(), src);
    codepage_from_ucs2(dst, n + 1, wide.get());
    return dst;
}

char *ansi_to_utf8(char *dst, const char *src)
{
    size_t n = std::strlen(src);
    std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[n + 1]);
    if (!wide) {
        dst[0] = 0;
        return dst;
    }
    codepage_to_ucs2(wide.get(), n + 1, src);
    return ucs2_to_utf8(dst, wide.get());
}
