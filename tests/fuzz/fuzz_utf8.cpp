// One input is one text: decoded to UCS-2, encoded back, and through the code page.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *src = text.c_str();  // up to the first NUL of the input
    size_t n = std::strlen(src);

    std::vector<char16_t> wide(n + 1);
    utf8_to_ucs2(wide.data(), src);
    size_t units = std::char_traits<char16_t>::length(wide.data());
    if (units > n)
        std::abort();

    // Encoding is exact: the units decode back to themselves.
    std::vector<char> utf8(units * 3 + 1);
    ucs2_to_utf8(utf8.data(), wide.data());
    std::vector<char16_t> again(std::strlen(utf8.data()) + 1);
    utf8_to_ucs2(again.data(), utf8.data());
    if (std::u16string(again.data()) != std::u16string(wide.data()))
        std::abort();

    std::vector<char> ansi(n + 1);
    utf8_to_ansi(ansi.data(), src);
    if (std::strlen(ansi.data()) > n)
        std::abort();
    std::vector<char> back(std::strlen(ansi.data()) * 3 + 1);
    ansi_to_utf8(back.data(), ansi.data());
    std::vector<char> fromansi(n * 3 + 1);
    ansi_to_utf8(fromansi.data(), src);
    return 0;
}
