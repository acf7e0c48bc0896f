// The web endpoint: the token page that a login starts with (plain or chunked), and a
// small page per room (the address the client shows on entering a room).
#include "server/server.h"

#include <cstdio>
#include <cstdlib>

// Windows-1250 (the client sends its nick in the Hungarian ANSI code page), upper half.
static constexpr uint16_t WEB_CP1250[128] = {
    0x20AC, 0x003F, 0x201A, 0x003F, 0x201E, 0x2026, 0x2020, 0x2021,
    0x003F, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x003F, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x003F, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
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

// Bytes of a chunk in the chunked answer: small, so a client meets several chunks.
constexpr size_t WEB_CHUNK = 128;

static int web_hex(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

static std::string web_unescape(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        int hi, lo;
        if (s[i] == '%' && i + 2 < s.size() && (hi = web_hex(s[i + 1])) >= 0 && (lo = web_hex(s[i + 2])) >= 0) {
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

static bool web_is_utf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        unsigned char ch = uint8_t(s[i]);
        size_t len = ch < 0x80 ? 1 : (ch >> 5) == 6 ? 2 : (ch >> 4) == 14 ? 3 : (ch >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (size_t k = 1; k < len; k++)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

std::string web_decode_name(std::string_view raw)
{
    std::string bytes = web_unescape(raw);
    // A name in UTF-8 (a browser, lvcli) is kept; otherwise it is the client's ANSI text.
    if (web_is_utf8(bytes))
        return bytes;
    std::string out;
    for (unsigned char ch : bytes) {
        uint32_t u = ch < 0x80 ? ch : WEB_CP1250[ch - 0x80];
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// The value of one query key, or false when it is absent.
static bool web_query(std::string_view query, std::string_view key, std::string_view *value)
{
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key) {
            *value = eq == pair.npos ? std::string_view() : pair.substr(eq + 1);
            return true;
        }
        if (amp == query.npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return false;
}

static std::string web_escape_html(std::string_view s)
{
    std::string out;
    for (char ch : s) {
        switch (ch) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&#39;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

static void web_reply(srv_state *S, int status, std::string_view reason, const std::string &body, std::string *answer)
{
    char head[256];
    snprintf(head, sizeof head, "HTTP/1.1 %d %.*s\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n",
             status, int(reason.size()), reason.data());
    *answer = head;
    if (!S->opt.chunked) {
        *answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        return;
    }
    *answer += "Transfer-Encoding: chunked\r\n\r\n";
    for (size_t i = 0; i < body.size(); i += WEB_CHUNK) {
        size_t n = body.size() - i < WEB_CHUNK ? body.size() - i : WEB_CHUNK;
        char size[16];
        snprintf(size, sizeof size, "%zx\r\n", n);
        *answer += size;
        answer->append(body, i, n);
        *answer += "\r\n";
    }
    *answer += "0\r\n\r\n";
}

int web_answer(srv_state *S, std::string_view head, std::string *answer)
{
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    size_t sp1 = line.find(' '), sp2 = sp1 == line.npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == line.npos) {
        web_reply(S, 400, "Bad Request", "<html><body>bad request</body></html>\n", answer);
        return 0;
    }
    std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    if (method != "GET") {
        web_reply(S, 405, "Method Not Allowed", "<html><body>GET only</body></html>\n", answer);
        return 0;
    }
    // The absolute form, as a proxy passes it on: drop scheme and host.
    if (target.substr(0, 7) == "http://") {
        size_t slash = target.find('/', 7);
        target = slash == target.npos ? std::string_view("/") : target.substr(slash);
    }
    size_t q = target.find('?');
    std::string_view path = target.substr(0, q), query = q == target.npos ? std::string_view() : target.substr(q + 1);
    std::string_view value;
    if (path == "/php/rurizu_clvh.php") {
        if (!web_query(query, "username", &value) || value.empty()) {
            web_reply(S, 400, "Bad Request", "<html><body>username?</body></html>\n", answer);
            return 0;
        }
        std::string nick = web_decode_name(value);
        std::string t9, t13;
        accounts_issue(S, nick, &t9, &t13);
        std::string body = "<html><head><title>Lorvando chat</title></head><body>\n"
                           "<applet code='Chat.class' archive='chat.jar' width='1' height='1'>\n"
                           "<param name='nick' value='" + web_escape_html(nick) + "'>\n"
                           "<param name='token9' value='" + t9 + "'>\n"
                           "<param name='token13' value='" + t13 + "'>\n"
                           "</applet>\n</body></html>\n";
        web_reply(S, 200, "OK", body, answer);
        return 1;
    }
    if (path == "/szoba.php" && web_query(query, "id", &value)) {
        srv_room *r = rooms_get(S, int32_t(strtol(std::string(value).c_str(), nullptr, 10)));
        if (r) {
            std::string body = "<html><head><title>" + web_escape_html(r->name) + "</title></head><body>\n<h1>" +
                               web_escape_html(r->name) + "</h1>\n<p>" + web_escape_html(r->theme) + "</p>\n<ul>\n";
            for (auto &m : r->members)
                body += "<li>" + web_escape_html(m.sess->nick) + "</li>\n";
            body += "</ul>\n</body></html>\n";
            web_reply(S, 200, "OK", body, answer);
            return 1;
        }
    }
    web_reply(S, 404, "Not Found", "<html><body>nincs ilyen oldal</body></html>\n", answer);
    return 0;
}

void web_feed(srv_state *S, net_conn *c)
{
    if (c->close_after_flush)
        return;  // one request per connection; anything after it is ignored
    std::string_view in(reinterpret_cast<const char *>(c->in.data()), c->in.size());
    // The client ends its request with bare line feeds; browsers with CR LF.
    size_t end = in.find("\n\n");
    size_t crlf = in.find("\r\n\r\n");
    if (end == in.npos && crlf == in.npos)
        return;  // not complete yet; a head that fills the buffer closes the connection
    std::string answer;
    web_answer(S, in, &answer);
    net_send(S, c, answer.data(), answer.size());
    c->close_after_flush = true;
    c->in.clear();
}
