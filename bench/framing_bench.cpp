// Framing and decoding of a stream of room-message packets, next to a plain copy of the
// same bytes: how far the client's reader is from the memory bandwidth.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/internal.h"

namespace {

// A stream of room messages (type 13): kind, room id, sender nick, attributes, text.
std::vector<uint8_t> framing_stream(int packets)
{
    std::vector<uint8_t> stream;
    uint8_t buf[WIRE_PACKET_MAX];
    for (int i = 0; i < packets; i++) {
        wire_writer w = wire_writer_make(buf, sizeof buf, WIRE_HEADER_SIZE);
        wire_write_byte(&w, 2);
        wire_write_int(&w, 1000 + i % 7);
        wire_write_utf(&w, ("nick" + std::to_string(i % 50)).c_str());
        wire_write_utf(&w, "$blue$\r");
        wire_write_utf(&w, std::string(40 + i % 80, 'x').c_str());
        wire_make_header(buf, 13, uint32_t(w.pos - WIRE_HEADER_SIZE));
        stream.insert(stream.end(), buf, buf + w.pos);
    }
    return stream;
}

constexpr int framing_packets = 10000;

// What a handler does with a room message: every field decoded, strings copied.
void framing_decode(const std::vector<uint8_t> &stream, benchmark::State &state)
{
    const uint8_t *at = stream.data();
    const uint8_t *end = at + stream.size();
    while (at < end) {
        int32_t type;
        uint32_t length;
        if (!wire_check_header(at, &type, &length, nullptr)) {
            state.SkipWithError("bad header");
            return;
        }
        at += WIRE_HEADER_SIZE;
        lvc.in = wire_reader_make(at, length);
        uint8_t kind = net_readbyte();
        int32_t room = net_readint();
        char *nick = net_readutf();
        char *attributes = net_readutf();
        char *text = net_readutf();
        benchmark::DoNotOptimize(kind + room + nick[0] + attributes[0] + text[0]);
        mem_free(&nick);
        mem_free(&attributes);
        mem_free(&text);
        at += length;
    }
}

void BM_FrameAndDecode(benchmark::State &state)
{
    std::vector<uint8_t> stream = framing_stream(framing_packets);
    for (auto _ : state)
        framing_decode(stream, state);
    state.SetItemsProcessed(state.iterations() * framing_packets);
    state.SetBytesProcessed(state.iterations() * int64_t(stream.size()));
}
BENCHMARK(BM_FrameAndDecode);

void BM_Memcpy(benchmark::State &state)
{
    std::vector<uint8_t> stream = framing_stream(framing_packets);
    std::vector<uint8_t> copy(stream.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), stream.data(), stream.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * framing_packets);
    state.SetBytesProcessed(state.iterations() * int64_t(stream.size()));
}
BENCHMARK(BM_Memcpy);

// Building and framing one outgoing room message under the send lock. There is no
// connection: the finished packet goes nowhere (and no callback is installed).
void BM_BuildRequest(benchmark::State &state)
{
    std::string text(100, 'y');
    for (auto _ : state) {
        net_newpacket(7);
        net_writebyte(2);
        net_writeint(1000);
        net_writeutf("$blue$");
        net_writeutf(text.c_str());
        benchmark::DoNotOptimize(net_sendpacket());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildRequest);

}  // namespace
