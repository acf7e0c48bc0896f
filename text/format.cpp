// The layouts of room and private chat lines, and their time stamps.
#include "text/string.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

namespace {

// Appends pieces to a fixed buffer. A piece that does not fit is cut at a character
// boundary, and nothing after it is written: a line is never continued past a hole.
struct line_writer {
    char *dst;
    size_t cap;  // including the terminator
    size_t len;
    bool full;
};

line_writer line_begin(char *dst, size_t cap)
{
    dst[0] = 0;
    return {dst, cap, 0, false};
}

void line_put(line_writer *w, std::string_view s)
{
    if (w->full || s.empty())
        return;
    size_t room = w->cap - 1 - w->len;
    if (s.size() > room) {
        w->full = true;
        size_t cut = room;
        // Step back over a character whose continuation bytes would be lost.
        auto cont = [&](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
        while (cut > 0 && cont(cut))
            cut--;
        s = s.substr(0, cut);
    }
    std::memcpy(w->dst + w->len, s.data(), s.size());
    w->len += s.size();
    w->dst[w->len] = 0;
}

void line_put_int(line_writer *w, int value)
{
    char digits[16];
    auto res = std::to_chars(digits, digits + sizeof digits, value);
    line_put(w, std::string_view(digits, static_cast<size_t>(res.ptr - digits)));
}

std::string_view line_text(const char *s)
{
    return std::string_view(s ? s : "");
}

std::mutex format_time_lock;  // the standard library's local time is one shared record
// The stamp of the present second, made once however many lines it stamps: a flood of
// lines asks for the time thousands of times a second.
time_t format_now_second = -1;
char format_now_stamp[LVC_STAMP_SIZE];

void format_stamp(char *dst, time_t when)
{
    const std::tm *local = std::localtime(&when);
    if (!local)
        return;
    if (std::strftime(dst, LVC_STAMP_SIZE, "[%X] ", local) == 0) {
        // The locale's time form is too long for the field: fall back to 24-hour time.
        const int fields[3] = {local->tm_hour, local->tm_min, local->tm_sec};
        char *out = dst;
        *out++ = '[';
        for (int i = 0; i < 3; i++) {
            int v = fields[i] < 0 ? 0 : fields[i] % 100;
            *out++ = static_cast<char>('0' + v / 10);
            *out++ = static_cast<char>('0' + v % 10);
            *out++ = i < 2 ? ':' : ']';
        }
        *out++ = ' ';
        *out = 0;
    }
}

}  // namespace

char *LVC_FormatTimeStamp(char *dst, int enabled, const time_t *when)
{
    dst[0] = 0;
    if (!enabled)
        return dst;
    std::lock_guard<std::mutex> guard(format_time_lock);
    if (when) {
        format_stamp(dst, *when);
        return dst;
    }
    // The system clock, not time(): the C library may consult the time zone on every call.
    const time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    if (now != format_now_second) {
        format_now_stamp[0] = 0;
        format_stamp(format_now_stamp, now);
        format_now_second = now;
    }
    std::memcpy(dst, format_now_stamp, LVC_STAMP_SIZE);
    return dst;
}

char *LVC_FormatMessage(char *dst, int kind, const char *nick, const char *prefix, const char *suffix,
                        const char *text, const char *stamp)
{
    line_writer w = line_begin(dst, LVC_LINE_SIZE);
    int k = static_cast<int>(static_cast<unsigned>(kind) % 256);
    std::string_view body = line_text(text);
    line_put(&w, line_text(stamp));
    switch (k) {
    case 1:
        line_put(&w, "$a8d1fd$*** ");
        line_put(&w, line_text(nick));
        line_put(&w, body);
        return dst;
    case 2:
        line_put(&w, "<");
        line_put(&w, line_text(nick));
        line_put(&w, "> ");
        break;
    case 3: {
        // A leading 0x01 asks for pink instead of magenta.
        std::string_view colour = "$MAGENTA$";
        if (!body.empty() && body[0] == '\x01') {
            colour = "$ffafaf$";
            body.remove_prefix(1);
        }
        line_put(&w, colour);
        line_put(&w, line_text(nick));
        line_put(&w, " ");
        line_put(&w, colour);
        break;
    }
    case 4:
        line_put(&w, "$ddccff$>>> ");
        line_put(&w, line_text(prefix));
        line_put(&w, "$ddccff$");
        line_put(&w, body);
        line_put(&w, line_text(suffix));
        return dst;
    default:
        line_put(&w, "[");
        line_put_int(&w, k);
        line_put(&w, "] ");
        line_put(&w, line_text(nick));
        line_put(&w, ": ");
        line_put(&w, body);
        return dst;
    }
    line_put(&w, line_text(prefix));
    line_put(&w, body);
    line_put(&w, line_text(suffix));
    return dst;
}

char *LVC_FormatPrivateLine(char *dst, int kind, const char *own_nick, const char *peer_nick, const char *text,
                            const char *stamp)
{
    line_writer w = line_begin(dst, LVC_LINE_SIZE);
    line_put(&w, line_text(stamp));
    switch (kind) {
    case 1:
        line_put(&w, "$BLUE$*** ");
        break;
    case 2:
    case 4:
        line_put(&w, "$RED$");
        line_put(&w, line_text(kind == 2 ? peer_nick : own_nick));
        line_put(&w, " ");
        break;
    case 3:
    case 5:
        line_put(&w, "<");
        line_put(&w, line_text(kind == 3 ? peer_nick : own_nick));
        line_put(&w, "> ");
        break;
    default:
        line_put(&w, "$GRAY$[");
        line_put_int(&w, kind);
        line_put(&w, "] ");
        line_put(&w, line_text(peer_nick));
        line_put(&w, ": ");
        break;
    }
    line_put(&w, line_text(text));
    return dst;
}

char *LVC_FormatHiddenPrefix(char *dst, int kind, const char *prefix)
{
    dst[0] = 0;
    std::string_view p = line_text(prefix);
    // The prefix is parsed with a blank after it, as it stands before the text, and the
    // colour of the last character shown is the one the text keeps. An unclosed "$" at the
    // prefix's end swallows that blank too: the last character is then the prefix's own
    // last visible one (none at all: the line's default colour), never the colour the
    // swallowed name would read as.
    std::unique_ptr<char[]> spaced(new (std::nothrow) char[p.size() + 2]);
    std::unique_ptr<uint32_t[]> colours(new (std::nothrow) uint32_t[p.size() + 2]);
    if (!spaced || !colours)
        return dst;
    std::memcpy(spaced.get(), p.data(), p.size());
    spaced[p.size()] = ' ';
    spaced[p.size() + 1] = 0;
    const uint32_t start = static_cast<unsigned>(kind) % 256 == 3 ? 0xFF00FFu : 0xFFFFFFu;
    const size_t shown = markup_parse(nullptr, colours.get(), spaced.get(), start, nullptr);
    const uint32_t colour = shown ? colours[shown - 1] : start;
    uint32_t rgb = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    char *end = dst + LVC_HIDDEN_PREFIX_SIZE - 1;
    char *out = dst;
    *out++ = '$';
    out = std::to_chars(out, end - 1, rgb, 16).ptr;
    *out++ = '$';
    *out = 0;
    return dst;
}
