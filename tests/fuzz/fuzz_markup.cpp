// One input is a line with colour markup, parsed with and without colours; its pieces
// also go through the room and private line layouts and the hidden-prefix rule.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *src = text.c_str();
    size_t n = std::strlen(src);

    std::vector<char16_t> coloured(n + 1), plain(n + 1);
    std::vector<uint32_t> colours(n);
    uint32_t final_colour = 0;
    size_t count = markup_parse(coloured.data(), colours.data(), src, 0x00ABCDEF, &final_colour);
    if (count > n)
        std::abort();
    // Stripping gives the same text as colouring; every colour is a 24-bit one.
    if (markup_parse(plain.data(), nullptr, src, 0, nullptr) != count ||
        std::memcmp(plain.data(), coloured.data(), count * sizeof(char16_t)) != 0)
        std::abort();
    for (size_t i = 0; i < count; i++) {
        if (colours[i] > 0xFFFFFF)
            std::abort();
    }

    std::vector<char> ansi(n + 1);
    LVC_CStringParserA(ansi.data(), colours.data(), src, 0);

    // Split the input at its first two "\x1F" bytes into nick, prefix and text.
    std::string fields[3];
    size_t field = 0;
    for (char c : std::string(src)) {
        if (c == '\x1F' && field < 2)
            field++;
        else
            fields[field] += c;
    }
    char hidden[LVC_HIDDEN_PREFIX_SIZE];
    LVC_FormatHiddenPrefix(hidden, size ? data[0] : 0, fields[1].c_str());
    std::vector<char> line(LVC_LINE_SIZE);
    for (int kind = 0; kind <= 5; kind++) {
        LVC_FormatMessage(line.data(), kind, fields[0].c_str(), hidden, fields[1].c_str(), fields[2].c_str(),
                          "[10:00:00] ");
        if (std::strlen(line.data()) >= LVC_LINE_SIZE)
            std::abort();
        LVC_FormatPrivateLine(line.data(), kind, fields[1].c_str(), fields[0].c_str(), fields[2].c_str(), "");
    }
    return 0;
}
