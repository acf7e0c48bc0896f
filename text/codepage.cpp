// The ANSI code page: the system's own on Windows, a built-in Windows-1250 (the code page
// of a Hungarian system) everywhere else.
#include "text/string.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UCS-2 text is passed as WCHAR");

size_t codepage_from_ucs2(char *dst, size_t cap, const char16_t *src)
{
    if (cap == 0)
        return 0;
    // ASCII is the same in every ANSI code page: most lines need no call.
    size_t ascii = 0;
    while (ascii + 1 < cap && src[ascii] && src[ascii] < 0x80) {
        dst[ascii] = static_cast<char>(src[ascii]);
        ascii++;
    }
    if (!src[ascii] || ascii + 1 >= cap) {
        dst[ascii] = 0;
        return ascii;
    }
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t *>(src), -1, dst,
                                static_cast<int>(cap), nullptr, nullptr);
    if (n <= 0) {
        // Too long for the buffer (a multi-byte code page): keep what was written.
        dst[cap - 1] = 0;
        return std::strlen(dst);
    }
    return static_cast<size_t>(n - 1);
}

size_t codepage_to_ucs2(char16_t *dst, size_t cap, const char *src)
{
    int n = MultiByteToWideChar(CP_ACP, 0, src, -1, reinterpret_cast<wchar_t *>(dst), static_cast<int>(cap));
    if (n <= 0) {
        dst[cap - 1] = 0;
        return std::char_traits<char16_t>::length(dst);
    }
    return static_cast<size_t>(n - 1);
}

#else

namespace {

// Bytes 0x80-0xFF of Windows-1250. The five bytes the code page leaves undefined map to
// the C1 controls of the same value, as Windows maps them.
constexpr char16_t cp1250_high[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// What Windows writes for a character the code page lacks.
constexpr char cp1250_replacement = '?';

char cp1250_encode(char16_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    for (int i = 0; i < 128; i++) {
        if (cp1250_high[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return cp1250_replacement;
}

}  // namespace

size_t codepage_from_ucs2(char *dst, size_t cap, const char16_t *src)
{
    size_t n = 0;
    for (; src[n] && n + 1 < cap; n++)
        dst[n] = cp1250_encode(src[n]);
    dst[n] = 0;
    return n;
}

size_t codepage_to_ucs2(char16_t *dst, size_t cap, const char *src)
{
    size_t n = 0;
    for (; src[n] && n + 1 < cap; n++) {
        auto b = static_cast<unsigned char>(src[n]);
        dst[n] = b < 0x80 ? static_cast<char16_t>(b) : cp1250_high[b - 0x80];
    }
    dst[n] = 0;
    return n;
}

#endif
