// The token page reader and get_param on responses held in memory, delivered in pieces
// of every size, so that each bound and each way of ending is checked without sockets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "protocol/internal.h"

namespace {

struct Memory {
    std::string data;
    size_t pos = 0;
    size_t piece = 1;
};

long memory_recv(void *ctx, void *buf, size_t n)
{
    auto *m = static_cast<Memory *>(ctx);
    size_t k = std::min({n, m->piece, m->data.size() - m->pos});
    std::memcpy(buf, m->data.data() + m->pos, k);
    m->pos += k;
    return long(k);
}

struct Result {
    int ok;
    std::string body;
    std::string header;
};

Result read_page(const std::string &response, size_t piece)
{
    Memory m{response, 0, piece};
    login_source src{memory_recv, &m};
    auto page = std::make_unique<login_page>();
    int ok = login_read_page(&src, page.get());
    EXPECT_LT(page->bodylen, LOGIN_PAGE_SIZE);
    EXPECT_EQ(page->body[page->bodylen], 0);
    return {ok, std::string(page->body, page->bodylen), page->header};
}

const std::string CHUNKED = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string PLAIN = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string ALPHABET = "abcdefghijklmnopqrstuvwxyz";

TEST(TokenPage, BodiesAndTheirEnds)
{
    std::string big(70000, 'x');
    struct Case {
        const char *what;
        std::string response;
        int ok;
        std::string body;
    } cases[] = {
        {"chunked 1a example", CHUNKED + "1a\r\n" + ALPHABET + "\r\n0\r\n\r\n", 1, ALPHABET},
        {"chunks joined", CHUNKED + "3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n", 1, "abcde"},
        {"upper-case size", CHUNKED + "A\r\n0123456789\r\n0\r\n\r\n", 1, "0123456789"},
        {"header names in any case", "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 1,
         "abc"},
        {"cut in a chunk", CHUNKED + "1a\r\nabcdef", 0, "abcdef"},
        {"cut after a whole chunk", CHUNKED + "3\r\nabc\r\n", 1, "abc"},
        {"cut in the size line", CHUNKED + "3\r\nabc\r\n1", 1, "abc"},
        {"negative size ends the body", CHUNKED + "3\r\nabc\r\n-5\r\nxxxxx\r\n0\r\n\r\n", 1, "abc"},
        {"size that is no number", CHUNKED + "3\r\nabc\r\nzz\r\nxx\r\n0\r\n\r\n", 1, "abc"},
        {"size beyond a long", CHUNKED + "3\r\nabc\r\nffffffffffffffffffff\r\nxx\r\n", 1, "abc"},
        {"size line without end", CHUNKED + "3\r\nabc\r\n" + std::string(1000, '1'), 1, "abc"},
        {"plain to the end of the stream", PLAIN + "hello page", 1, "hello page"},
        {"plain with its length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", 1, "hello"},
        {"plain with a bad length", "HTTP/1.1 200 OK\r\nContent-Length: -3\r\n\r\nhello", 1, "hello"},
        {"plain larger than the page", PLAIN + big, 1, std::string(65535, 'x')},
        {"chunk larger than the page", CHUNKED + "11170\r\n" + big + "\r\n0\r\n\r\n", 1, std::string(65535, 'x')},
        {"chunks that fill the page",
         CHUNKED + "ffff\r\n" + std::string(65535, 'y') + "\r\n1\r\nz\r\n0\r\n\r\n", 1, std::string(65535, 'y')},
        {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nokay", 1, "ok"},
        {"header cut short", "HTTP/1.1 200 OK\r\nContent-Le", 0, ""},
        {"no response at all", "", 0, ""},
        {"header larger than its buffer", "HTTP/1.1 200 OK\r\nX: " + big + "\r\n\r\nbody", 0, ""},
    };
    for (size_t piece : {size_t(1), size_t(7), size_t(1) << 20}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            Result r = read_page(c.response, piece);
            EXPECT_EQ(r.ok, c.ok);
            EXPECT_EQ(r.body, c.body);
        }
    }
}

TEST(TokenPage, HeaderIsKeptForTheConsole)
{
    Result r = read_page(CHUNKED + "3\r\nabc\r\n0\r\n\r\n", 4096);
    EXPECT_EQ(r.header, CHUNKED);
}

TEST(TokenPage, ParamValues)
{
    const char *t9 = "<param name='token9' value='";
    const char *t13 = "<param name='token13' value='";
    struct Case {
        const char *what;
        std::string page;
        const char *token9;
        const char *token13;
    } cases[] = {
        {"both", "<applet><param name='token9' value='abc'><param name='token13' value='xyz'></applet>", "abc", "xyz"},
        {"other order", "<param name='token13' value='xyz'>\n<param name='token9' value='abc'>", "abc", "xyz"},
        {"empty value", "<param name='token9' value=''><param name='token13' value='q'>", "", "q"},
        {"missing", "<param name='token13' value='only'>", nullptr, "only"},
        {"unterminated", "<param name='token9' value='abc'><param name='token13' value='xyz", "abc", nullptr},
        {"after a NUL", std::string("junk\0", 5) + "<param name='token9' value='n'>", "n", nullptr},
        {"double quotes are not apostrophes", "<param name=\"token9\" value=\"abc\">", nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string page = c.page;
        char *v9 = get_param(page.data(), page.size(), t9);
        char *v13 = get_param(page.data(), page.size(), t13);
        if (c.token9)
            EXPECT_STREQ(v9, c.token9);
        else
            EXPECT_EQ(v9, nullptr);
        if (c.token13)
            EXPECT_STREQ(v13, c.token13);
        else
            EXPECT_EQ(v13, nullptr);
    }
}

}  // namespace
