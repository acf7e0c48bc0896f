// A packet payload written field by field in wire order, for scripting a server's packets:
// P().byte(2).i(5).s("bob") is a byte, an int and a utf.
#pragma once

#include <string>

#include "tests/support/fakepeer.h"

struct P {
    fakepeer_bytes b;
    P &byte(uint8_t v) { fakepeer_put_byte(&b, v); return *this; }
    P &i(int32_t v) { fakepeer_put_int(&b, v); return *this; }
    P &s(const std::string &v) { fakepeer_put_utf(&b, v); return *this; }
    // The same payload without its last `drop` bytes, as a server that cut it short.
    P cut(size_t drop) const { P p = *this; p.b.resize(b.size() - drop); return p; }
};
