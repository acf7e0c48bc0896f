// Five-in-a-row game messages (private messages of reserved kinds with fixed texts) and
// the conversation logs ("%c%d.log", one line appended per call, in the ANSI code page).

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "protocol/internal.h"
#include "text/string.h"

namespace {

constexpr size_t GAME_TEXT_SIZE = 1024;

enum : int {
    GAME_KIND_REQUEST = 6,
    GAME_KIND_ANSWER = 7,
    GAME_KIND_MOVE = 8,
    GAME_KIND_ABORT = 12,
};

void game_send(int kind, int32_t userid, const char *format, ...)
{
    char text[GAME_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LVC_SendPrivateMessage(kind, userid, text);
}

// A log line is at most 64 K characters, its terminator included.
constexpr size_t LOG_LINE_UNITS = 65536;

// A bounded UCS-2 line under construction; what does not fit is dropped.
struct log_line {
    char16_t units[LOG_LINE_UNITS];
    size_t len = 0;
};

void log_put(log_line *line, char32_t c)
{
    // The callers' text is UTF-16 on Windows; elsewhere wchar_t holds whole code points,
    // which become surrogate pairs here so that both builds log the same units.
    if (c > 0xFFFF && c <= 0x10FFFF) {
        if (line->len + 2 >= LOG_LINE_UNITS)
            return;
        c -= 0x10000;
        line->units[line->len++] = char16_t(0xD800 + (c >> 10));
        line->units[line->len++] = char16_t(0xDC00 + (c & 0x3FF));
        return;
    }
    if (line->len + 1 < LOG_LINE_UNITS)
        line->units[line->len++] = char16_t(c);
}

void log_put_ascii(log_line *line, const char *s)
{
    while (*s)
        log_put(line, char32_t(uint8_t(*s++)));
}

// The conversions the callers use, as wvsprintfW has them: %s (a wide string), %d, %u,
// %c (a wide character) and %%. Anything else is copied as it stands.
void log_format(log_line *line, const wchar_t *format, va_list args)
{
    for (const wchar_t *f = format; *f; f++) {
        if (*f != L'%' || !f[1]) {
            log_put(line, char32_t(*f));
            continue;
        }
        char number[16];
        switch (*++f) {
        case L's': {
            const wchar_t *s = va_arg(args, const wchar_t *);
            for (s = s ? s : L"(null)"; *s; s++)
                log_put(line, char32_t(*s));
            break;
        }
        case L'd':
            std::snprintf(number, sizeof number, "%d", va_arg(args, int));
            log_put_ascii(line, number);
            break;
        case L'u':
            std::snprintf(number, sizeof number, "%u", va_arg(args, unsigned));
            log_put_ascii(line, number);
            break;
        case L'c':
            log_put(line, char32_t(va_arg(args, int)));
            break;
        case L'%':
            log_put(line, U'%');
            break;
        default:
            log_put(line, U'%');
            log_put(line, char32_t(*f));
            break;
        }
    }
    line->units[line->len] = 0;
}

}  // namespace

void LVC_amoba_request(int32_t userid, char character, int number)
{
    game_send(GAME_KIND_REQUEST, userid, "%d\t%c", number, character);
}

void LVC_amoba_accept(int32_t userid)
{
    game_send(GAME_KIND_ANSWER, userid, "%s", "Elfogadom");
}

void LVC_amoba_refuse(int32_t userid)
{
    game_send(GAME_KIND_ANSWER, userid, "%s", "Elutasitom");
}

void LVC_amoba_move(int32_t userid, int x, int y)
{
    game_send(GAME_KIND_MOVE, userid, "\t%d\t%d\t\t", x, y);
}

void LVC_amoba_abort(int32_t userid)
{
    game_send(GAME_KIND_ABORT, userid, "%s", "STOP_GAME");
}

void log_debug(char letter, int32_t id, const wchar_t *format, ...)
{
    char name[32];
    std::snprintf(name, sizeof name, "%c%d.log", letter, int(id));
    std::FILE *f = std::fopen(name, "a+t");
    if (!f)
        return;
    auto line = std::make_unique<log_line>();
    va_list args;
    va_start(args, format);
    log_format(line.get(), format, args);
    va_end(args);
    // Room for a double-byte code page; a single-byte one uses half of it.
    constexpr size_t cap = 2 * LOG_LINE_UNITS;
    auto ansi = std::make_unique<char[]>(cap);
    size_t n = codepage_from_ucs2(ansi.get(), cap, line->units);
    std::fwrite(ansi.get(), 1, n, f);
    std::fclose(f);
}
