// Text handling throughput: the colour markup parser against plain UTF-8 decoding of the
// same text, and the building of room lines.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "text/string.h"

namespace {

// Room traffic as it looks on the wire: Hungarian text, prefixes and colour changes.
std::string chat_text()
{
    const char *lines[] = {
        "$red$<anna> $ff8000$szia mindenki, hogy vagytok? ",
        "$MAGENTA$kata $MAGENTA$\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91 t\xC3\xBCk\xC3\xB6rf\xC3\xBAr\xC3\xB3g\xC3\xA9p ",
        "$a8d1fd$*** p\xC3\xA9" "ter bej\xC3\xB6tt. ",
        "<zoli> ez 5$$ volt, nem t\xC3\xB6" "bb :) $00ff00$>> ",
        "$ddccff$>>> $blue$tipp:$ddccff$ a /help seg\xC3\xADt ",
        "sima sor markup n\xC3\xA9lk\xC3\xBCl, csak sz\xC3\xB6veg \xE2\x82\xAC ",
    };
    std::string text;
    while (text.size() < 64 * 1024) {
        for (const char *line : lines)
            text += line;
    }
    return text;
}

void BM_MarkupParse(benchmark::State &state)
{
    std::string text = chat_text();
    std::vector<char16_t> out(text.size() + 1);
    std::vector<uint32_t> colours(text.size());
    for (auto _ : state) {
        LVC_CStringParserW(out.data(), colours.data(), text.c_str(), 0xFFFFFF);
        benchmark::DoNotOptimize(out.data());
        benchmark::DoNotOptimize(colours.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MarkupParse);

void BM_MarkupStrip(benchmark::State &state)
{
    std::string text = chat_text();
    std::vector<char16_t> out(text.size() + 1);
    for (auto _ : state) {
        LVC_CStringParserW(out.data(), nullptr, text.c_str(), 0xFFFFFF);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MarkupStrip);

void BM_Utf8Decode(benchmark::State &state)
{
    std::string text = chat_text();
    std::vector<char16_t> out(text.size() + 1);
    for (auto _ : state) {
        utf8_to_ucs2(out.data(), text.c_str());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8Decode);

// One room line as a room window builds it: the layout with a hidden prefix.
void BM_RoomLineLayout(benchmark::State &state)
{
    std::vector<char> line(LVC_LINE_SIZE);
    char hidden[LVC_HIDDEN_PREFIX_SIZE];
    const char *stamp = "[14:05:09] ";
    const char *text = "szia mindenki, hogy vagytok? \xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91 t\xC3\xBCk\xC3\xB6rf\xC3\xBAr\xC3\xB3g\xC3\xA9p";
    int kind = 2;
    for (auto _ : state) {
        LVC_FormatHiddenPrefix(hidden, kind, "$00ff00$>>");
        LVC_FormatMessage(line.data(), kind, "anna", hidden, "", text, stamp);
        benchmark::DoNotOptimize(line.data());
        kind = kind == 2 ? 3 : 2;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_RoomLineLayout);

// The same line with its prefix shown, then parsed for display.
void BM_RoomLineToScreen(benchmark::State &state)
{
    std::vector<char> line(LVC_LINE_SIZE);
    std::vector<char16_t> out(LVC_LINE_SIZE);
    std::vector<uint32_t> colours(LVC_LINE_SIZE);
    const char *text = "szia mindenki, hogy vagytok? \xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91 t\xC3\xBCk\xC3\xB6rf\xC3\xBAr\xC3\xB3g\xC3\xA9p";
    for (auto _ : state) {
        LVC_FormatMessage(line.data(), 2, "anna", "$00ff00$>> ", "", text, "[14:05:09] ");
        LVC_CStringParserW(out.data(), colours.data(), line.data(), 0xFFFFFF);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_RoomLineToScreen);

}  // namespace
