// Five-in-a-row game messages (private messages of reserved kinds with fixed texts) and
// the conversation logs ("%c%d.log", lines appended in the ANSI code page). A log keeps
// its lines until the batch of packets that brought them ends (log_flush) and writes them
// in one piece; its file stays open while lines arrive and closes after a quiet second,
// when its window goes (log_close) and at program end.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
// Unwritten bytes a log may hold before a line writes them itself, for a program whose
// lines come without batch ends.
constexpr size_t LOG_PENDING_MAX = 256 * 1024;

using log_clock = std::chrono::steady_clock;

// One conversation's log: open while lines arrive, with the lines not yet written.
struct log_file {
    char letter;
    int32_t id;
    lvfile file;
    std::string pending;
    log_clock::time_point last;  // when its last line came
};

// Every log of the program. A closer thread closes a log after a quiet spell; everything
// else runs on the threads that log and flush. All of it under `lock`, so that the lines
// of a log reach its file whole and in order whoever writes them.
struct log_state {
    std::mutex lock;
    std::condition_variable wake;
    std::vector<log_file> files;  // open or holding lines; a handful
    std::thread closer;
    bool stopping = false;
    log_clock::duration idle = std::chrono::seconds(1);
    std::u16string line;  // the line being formatted, and converted
    std::string ansi;
    ~log_state();
};

log_state &log_get()
{
    static log_state state;
    return state;
}

void log_put(std::u16string *line, char32_t c)
{
    // The callers' text is UTF-16 on Windows; elsewhere wchar_t holds whole code points,
    // which become surrogate pairs here so that both builds log the same units.
    if (c > 0xFFFF && c <= 0x10FFFF) {
        if (line->size() + 2 >= LOG_LINE_UNITS)
            return;
        c -= 0x10000;
        line->push_back(char16_t(0xD800 + (c >> 10)));
        line->push_back(char16_t(0xDC00 + (c & 0x3FF)));
        return;
    }
    if (line->size() + 1 < LOG_LINE_UNITS)
        line->push_back(char16_t(c));
}

void log_put_wide(std::u16string *line, const wchar_t *s)
{
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        // UTF-16 already: the text goes in whole (every room line passes here).
        const size_t room = LOG_LINE_UNITS - 1 - std::min(line->size(), LOG_LINE_UNITS - 1);
        line->append(reinterpret_cast<const char16_t *>(s), std::min(std::wcslen(s), room));
    } else {
        for (; *s; s++)
            log_put(line, char32_t(*s));
    }
}

void log_put_ascii(std::u16string *line, const char *s)
{
    while (*s)
        log_put(line, char32_t(uint8_t(*s++)));
}

// The conversions the callers use, as wvsprintfW has them: %s (a wide string), %d, %u,
// %c (a wide character) and %%. Anything else is copied as it stands.
void log_format(std::u16string *line, const wchar_t *format, va_list args)
{
    line->clear();
    for (const wchar_t *f = format; *f; f++) {
        if (*f != L'%' || !f[1]) {
            log_put(line, char32_t(*f));
            continue;
        }
        char number[16];
        switch (*++f) {
        case L's': {
            const wchar_t *s = va_arg(args, const wchar_t *);
            log_put_wide(line, s ? s : L"(null)");
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
}

// Appends converted text with each line end in the platform's text form.
void log_append_text(std::string *out, const char *text, size_t n)
{
    const size_t end_len = std::strlen(lvfile_line_end);
    const char *stop = text + n;
    while (text < stop) {
        const char *nl = static_cast<const char *>(std::memchr(text, '\n', size_t(stop - text)));
        if (!nl || end_len == 1) {
            out->append(text, size_t(stop - text));
            return;
        }
        out->append(text, size_t(nl - text));
        out->append(lvfile_line_end, end_len);
        text = nl + 1;
    }
}

log_file *log_find(log_state &st, char letter, int32_t id)
{
    for (log_file &f : st.files)
        if (f.letter == letter && f.id == id)
            return &f;
    return nullptr;
}

// Writes a log's lines in one piece, opening its file first if need be. Lines of a file
// that cannot be opened are lost, silently.
void log_write(log_file *f)
{
    if (f->pending.empty())
        return;
    if (f->file == LVFILE_INVALID) {
        char name[32];
        std::snprintf(name, sizeof name, "%c%d.log", f->letter, int(f->id));
        f->file = lvfile_open_append(name);
    }
    if (f->file != LVFILE_INVALID)
        lvfile_write(f->file, f->pending.data(), f->pending.size());
    f->pending.clear();
}

// Writes and closes the logs that `which` picks; they leave the table.
template <typename Pick> void log_close_where(log_state &st, Pick which)
{
    for (size_t i = st.files.size(); i-- > 0;) {
        log_file &f = st.files[i];
        if (!which(f))
            continue;
        log_write(&f);
        if (f.file != LVFILE_INVALID)
            lvfile_close(f.file);
        st.files.erase(st.files.begin() + long(i));
    }
}

// The closer thread: sleeps until the log that has been quiet longest has been quiet for
// `idle`, closes every log that has, and sleeps again; without logs it waits for one.
void log_closer(log_state *st)
{
    std::unique_lock<std::mutex> guard(st->lock);
    while (!st->stopping) {
        if (st->files.empty()) {
            st->wake.wait(guard);
            continue;
        }
        log_clock::time_point due = log_clock::time_point::max();
        for (const log_file &f : st->files)
            due = std::min(due, f.last + st->idle);
        st->wake.wait_until(guard, due);
        const log_clock::time_point now = log_clock::now();
        log_close_where(*st, [&](const log_file &f) { return now - f.last >= st->idle; });
    }
}

log_state::~log_state()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (closer.joinable())
        closer.join();
    log_close_where(*this, [](const log_file &) { return true; });
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
    log_state &st = log_get();
    std::lock_guard<std::mutex> guard(st.lock);
    va_list args;
    va_start(args, format);
    log_format(&st.line, format, args);
    va_end(args);
    // Room for a double-byte code page; a single-byte one uses half of it.
    const size_t cap = 2 * st.line.size() + 1;
    if (st.ansi.size() < cap)
        st.ansi.resize(cap);
    const size_t n = codepage_from_ucs2(st.ansi.data(), cap, st.line.c_str());

    log_file *f = log_find(st, letter, id);
    if (!f) {
        st.files.push_back(log_file{letter, id, LVFILE_INVALID, {}, {}});
        f = &st.files.back();
        // Without a closer (no thread to be had) logs still write at batch ends and close
        // with their windows; nothing is thrown at the caller.
        if (!st.closer.joinable()) {
            try {
                st.closer = std::thread(log_closer, &st);
            } catch (const std::system_error &) {
            }
        }
        // The closer may be waiting for a first log.
        st.wake.notify_one();
    }
    f->last = log_clock::now();
    log_append_text(&f->pending, st.ansi.data(), n);
    if (f->pending.size() >= LOG_PENDING_MAX)
        log_write(f);
}

void log_flush()
{
    log_state &st = log_get();
    std::lock_guard<std::mutex> guard(st.lock);
    for (log_file &f : st.files)
        log_write(&f);
}

void log_close(char letter, int32_t id)
{
    log_state &st = log_get();
    std::lock_guard<std::mutex> guard(st.lock);
    log_close_where(st, [&](const log_file &f) { return f.letter == letter && f.id == id; });
}

void log_close_all()
{
    log_state &st = log_get();
    std::lock_guard<std::mutex> guard(st.lock);
    log_close_where(st, [](const log_file &) { return true; });
}

int log_is_open(char letter, int32_t id)
{
    log_state &st = log_get();
    std::lock_guard<std::mutex> guard(st.lock);
    const log_file *f = log_find(st, letter, id);
    return f && f->file != LVFILE_INVALID ? 1 : 0;
}

void log_set_idle_ms(int ms)
{
    log_state &st = log_get();
    {
        std::lock_guard<std::mutex> guard(st.lock);
        st.idle = std::chrono::milliseconds(ms);
    }
    st.wake.notify_one();
}
