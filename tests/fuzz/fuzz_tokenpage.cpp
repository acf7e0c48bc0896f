// The token page reader with every kind of response: the first byte chooses how many
// bytes each read returns (1 to 256), the rest is the web server's response. The page
// must stay terminated inside its buffer, and both parameters are taken out of it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "protocol/internal.h"

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    size_t pos;
    size_t piece;
};

long input_recv(void *ctx, void *buf, size_t n)
{
    auto *in = static_cast<Input *>(ctx);
    size_t k = n < in->piece ? n : in->piece;
    if (k > in->size - in->pos)
        k = in->size - in->pos;
    std::memcpy(buf, in->data + in->pos, k);
    in->pos += k;
    return long(k);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Input in{data + 1, size - 1, 0, size_t(data[0]) + 1};
    login_source src{input_recv, &in};
    static auto page = std::make_unique<login_page>();
    login_read_page(&src, page.get());
    if (page->bodylen >= LOGIN_PAGE_SIZE || page->body[page->bodylen] != 0)
        __builtin_trap();
    char *token9 = get_param(page->body, page->bodylen, "<param name='token9' value='");
    char *token13 = get_param(page->body, page->bodylen, "<param name='token13' value='");
    if (token9)
        (void)std::strlen(token9);
    if (token13)
        (void)std::strlen(token13);
    return 0;
}
