// Logging in: the login thread fetches the token page from the web server on the chat
// server's host, takes the applet parameters token9 and token13 out of it and sends them
// with the password in the login packet (type 1024). The server's answer arrives as a
// packet of type 0 to 3 on the chat connection.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/internal.h"
#include "text/string.h"

namespace {

constexpr int32_t LOGIN_PACKET = 1024;
constexpr uint16_t LOGIN_WEB_PORT = 80;
std::atomic<uint16_t> login_port{LOGIN_WEB_PORT};

// Everything the login thread needs, copied on the calling thread so that a later
// LVC_Connect cannot change it underneath.
struct login_request {
    std::string nick;
    std::string password;
    std::string host;
    uint16_t webport;
    int proxytype;
    std::string proxyhost;
    uint16_t proxyport;
};

// Buffered byte reader over a login_source: the response is read in blocks, but parsed
// byte by byte, so nothing after the body is ever taken from the stream.
struct login_stream {
    login_source *src;
    char buf[4096];
    size_t pos = 0;
    size_t len = 0;
    bool ended = false;
};

bool login_fill(login_stream *st)
{
    if (st->pos < st->len)
        return true;
    if (st->ended)
        return false;
    long n = st->src->recv(st->src->ctx, st->buf, sizeof st->buf);
    if (n <= 0) {
        st->ended = true;
        return false;
    }
    st->pos = 0;
    st->len = size_t(n);
    return true;
}

int login_getc(login_stream *st)
{
    return login_fill(st) ? uint8_t(st->buf[st->pos++]) : -1;
}

// Copies up to n bytes; returns how many arrived before the stream ended.
size_t login_take(login_stream *st, char *dst, size_t n)
{
    size_t got = 0;
    while (got < n && login_fill(st)) {
        size_t k = std::min(n - got, st->len - st->pos);
        std::memcpy(dst + got, st->buf + st->pos, k);
        st->pos += k;
        got += k;
    }
    return got;
}

bool login_has_header(std::string_view header, std::string_view name, std::string_view *value)
{
    // Header names are case-insensitive; servers differ in how they spell them.
    for (size_t at = 0; at + name.size() <= header.size(); at++) {
        if (at > 0 && header[at - 1] != '\n')
            continue;
        size_t i = 0;
        while (i < name.size() && std::tolower(uint8_t(header[at + i])) == name[i])
            i++;
        if (i < name.size())
            continue;
        size_t end = header.find('\n', at);
        *value = header.substr(at + i, end == std::string_view::npos ? std::string_view::npos : end - at - i);
        return true;
    }
    return false;
}

// The header ends at its blank line: LF CR LF as servers send it, or a bare LF LF.
bool login_read_header(login_stream *st, login_page *page)
{
    size_t n = 0;
    while (n < LOGIN_PAGE_SIZE - 1) {
        int c = login_getc(st);
        if (c < 0)
            break;
        page->header[n++] = char(c);
        if (n >= 2 && page->header[n - 2] == '\n' && (c == '\r' || c == '\n')) {
            if (c == '\r' && n < LOGIN_PAGE_SIZE - 1 && (c = login_getc(st)) >= 0)
                page->header[n++] = char(c);
            page->header[n] = 0;
            return c == '\n';
        }
    }
    page->header[n] = 0;
    return false;
}

constexpr size_t LOGIN_BODY_MAX = LOGIN_PAGE_SIZE - 1;

// One chunk-size line: the size, or -1 when the line is missing, malformed, too long,
// negative or beyond what a long holds; any of those ends the body.
long login_chunk_size(login_stream *st)
{
    char line[256];
    size_t n = 0;
    int c;
    while ((c = login_getc(st)) >= 0 && c != '\n') {
        if (n == sizeof line - 1)
            return -1;
        line[n++] = char(c);
    }
    if (c < 0)
        return -1;
    line[n] = 0;
    char *end;
    errno = 0;
    long size = std::strtol(line, &end, 16);
    if (end == line || errno == ERANGE || size < 0)
        return -1;
    return size;
}

int login_read_chunked(login_stream *st, login_page *page)
{
    while (page->bodylen < LOGIN_BODY_MAX) {
        long size = login_chunk_size(st);
        if (size <= 0)
            break;
        // A chunk that would overflow the page is cut; the page is full after it.
        size_t want = std::min(size_t(size), LOGIN_BODY_MAX - page->bodylen);
        size_t got = login_take(st, page->body + page->bodylen, want);
        page->bodylen += got;
        if (got < want)
            return 0;
        if (want < size_t(size))
            break;
        char crlf[2];
        login_take(st, crlf, sizeof crlf);
    }
    return 1;
}

void login_read_plain(login_stream *st, login_page *page, std::string_view header)
{
    size_t want = LOGIN_BODY_MAX;
    std::string_view length;
    // Servers keep HTTP/1.1 connections open after the body: reading to the end of the
    // stream would wait for their idle time-out, so a stated length is honoured.
    if (login_has_header(header, "content-length:", &length)) {
        std::string digits(length);
        char *end;
        errno = 0;
        long n = std::strtol(digits.c_str(), &end, 10);
        if (end != digits.c_str() && errno != ERANGE && n >= 0)
            want = std::min(want, size_t(n));
    }
    page->bodylen = login_take(st, page->body, want);
}

// Connects to the web server for the token page: directly, or to an HTTP proxy that
// forwards the absolute-URI request. Other proxy types cannot reach port 80.
lvsock login_connect(const login_request &req)
{
    int error = 0;
    if (req.proxytype == 0)
        return socket_connect_direct(req.host.c_str(), req.webport, &error);
    if (req.proxytype == 1)
        return socket_connect_direct(req.proxyhost.c_str(), req.proxyport, &error);
    return LVSOCK_INVALID;
}

std::string login_request_text(const login_request &req)
{
    std::vector<char> ansi(req.nick.size() + 1);
    utf8_to_ansi(ansi.data(), req.nick.c_str());
    std::string name;
    for (const char *p = ansi.data(); *p; p++) {
        if (*p == ' ')
            name += "%20";
        else
            name += *p;
    }
    std::string host = req.host;
    if (req.webport != LOGIN_WEB_PORT)
        host += ":" + std::to_string(req.webport);
    return "GET http://" + host + "/php/rurizu_clvh.php?ord=58203174469&username=" + name +
           " HTTP/1.1\nHost: " + host + "\n\n";
}

long login_sock_recv(void *ctx, void *buf, size_t n)
{
    return lvsock_recv(*static_cast<lvsock *>(ctx), buf, n);
}

bool login_send_all(lvsock s, const std::string &text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        long n = lvsock_send(s, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// Fetches the token page; false when the web server could not be reached or its answer
// broke off before the page was whole.
bool login_fetch(const login_request &req, login_page *page)
{
    lvsock s = login_connect(req);
    if (s == LVSOCK_INVALID)
        return false;
    bool ok = login_send_all(s, login_request_text(req));
    if (ok) {
        login_source src{login_sock_recv, &s};
        ok = login_read_page(&src, page);
    }
    lvsock_shutdown(s);
    lvsock_close(s);
    return ok;
}

void registernickThread(login_request *request)
{
    std::unique_ptr<login_request> req(request);
    lvc_thread_queues();
    lvc.loginstate = 1;
    LVC_Ping();
    auto page = std::make_unique<login_page>();
    page->header[0] = 0;
    bool ok = login_fetch(*req, page.get());
    if (page->header[0])
        std::printf("header:\n%s\ndata:\n", page->header);
    if (!ok) {
        // A page that never came whole is reported like an unreachable web server, so
        // that the user can try again instead of waiting on a login that cannot finish.
        lvc.loginstate = 0;
        lvc_failure(LVC_ERR_WEBHOST, nullptr);
        return;
    }
    char *token9 = get_param(page->body, page->bodylen, "<param name='token9' value='");
    char *token13 = get_param(page->body, page->bodylen, "<param name='token13' value='");
    // A missing token is sent empty: the server then refuses the login with its answer.
    std::string tokens = std::string(token9 ? token9 : "") + (token13 ? token13 : "");
    std::printf("\ntoken13: [%s]\ntoken9: [%s]", token13 ? token13 : "", token9 ? token9 : "");
    std::fflush(stdout);
    net_newpacket(LOGIN_PACKET);
    net_writeutf(tokens.c_str());
    net_writeutf(req->password.c_str());
    net_sendpacket();
}

}  // namespace

void login_set_webport(uint16_t port)
{
    login_port = port;
}

void LVC_SetWebPort(uint16_t port)
{
    login_set_webport(port);
}

uint16_t login_webport()
{
    return login_port;
}

int login_read_page(login_source *src, login_page *page)
{
    auto st = std::make_unique<login_stream>();
    st->src = src;
    page->bodylen = 0;
    page->body[0] = 0;
    if (!login_read_header(st.get(), page))
        return 0;
    std::string_view header(page->header);
    std::string_view encoding;
    int ok = 1;
    if (login_has_header(header, "transfer-encoding:", &encoding) &&
        encoding.find("chunked") != std::string_view::npos)
        ok = login_read_chunked(st.get(), page);
    else
        login_read_plain(st.get(), page, header);
    page->body[page->bodylen] = 0;
    return ok;
}

char *get_param(char *page, size_t length, const char *prefix)
{
    // The whole page is searched, not just up to its first NUL: a value already taken
    // out of the page has been terminated in place, and pages may hold stray NULs.
    std::string_view text(page, length);
    size_t at = text.find(prefix);
    if (at == std::string_view::npos)
        return nullptr;
    size_t start = at + std::strlen(prefix);
    size_t end = text.find('\'', start);
    if (end == std::string_view::npos)
        return nullptr;
    page[end] = 0;
    return page + start;
}

void LVC_RegisterNick(const char *nick, const char *password)
{
    if (!lvc.connected)
        return;
    auto *req = new login_request{nick ? nick : "", password ? password : "", lvc.serverhost, login_port,
                                  lvc.proxytype, lvc.proxyhost, lvc.proxyport};
    // Under way from now on, not only once the thread runs: a second /login typed in
    // between must already be refused.
    lvc.loginstate = 1;
    std::thread(registernickThread, req).detach();
}
