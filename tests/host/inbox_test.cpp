// The reader's framing and the inbox, without a socket: a stream of packets is handed to
// the framer in pieces, as receives would deliver it, and what the callbacks see must not
// depend on where the pieces end, nor on whether the packets were queued and drained.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/internal.h"
#include "tests/support/eventlog.h"
#include "tests/support/payload.h"

namespace {

using Lines = std::vector<std::string>;

void add_packet(fakepeer_bytes *stream, int32_t type, const fakepeer_bytes &payload)
{
    const fakepeer_bytes frame = fakepeer_frame(type, payload);
    stream->insert(stream->end(), frame.begin(), frame.end());
}

fakepeer_bytes nick_answer(int32_t id, const std::string &nick)
{
    return P().i(id).s(nick).b;
}

// A room list of `rooms` rooms from id 5 on, padded to `size` bytes when asked (the bytes
// after the terminating 0 are not read).
fakepeer_bytes room_list(int rooms, size_t size = 0)
{
    P p;
    for (int i = 0; i < rooms; i++)
        p.i(5 + i).s("szoba").s("tema").i(0).i(3);
    p.i(0);
    if (p.b.size() < size)
        p.b.resize(size, 0xEE);
    return p.b;
}

// Nick answers of several sizes, a packet without a payload (and without a handler), a room
// list, and more answers.
fakepeer_bytes sample_stream()
{
    fakepeer_bytes s;
    add_packet(&s, 18, nick_answer(1, "anna"));
    add_packet(&s, 21, {});
    add_packet(&s, 18, nick_answer(2, std::string(300, 'b')));
    add_packet(&s, 9, room_list(2));
    add_packet(&s, 18, nick_answer(3, ""));
    add_packet(&s, 18, nick_answer(4, "dora"));
    return s;
}

// Hands `stream` to a fresh framer in pieces ending at `cuts` (and at its end), as
// receives would; the framer's answer to the last piece.
int feed(const fakepeer_bytes &stream, std::vector<size_t> cuts)
{
    net_framer framer;
    size_t at = 0;
    cuts.push_back(stream.size());
    int ok = 1;
    for (size_t end : cuts) {
        while (ok && at < end) {
            size_t room;
            uint8_t *dst = net_framer_space(&framer, &room);
            const size_t n = std::min(room, end - at);
            std::memcpy(dst, stream.data() + at, n);
            at += n;
            ok = net_framer_take(&framer, n);
        }
    }
    return ok;
}

int wakes;

void count_wake()
{
    wakes++;
}

struct Framing : ::testing::Test {
    void SetUp() override
    {
        eventlog_install();
        eventlog_keep_progress(false);
        wakes = 0;
    }
    void TearDown() override
    {
        eventlog_keep_progress(false);
        eventlog_react(0, nullptr);
        LVC_SetDispatchHook(nullptr);
        lvc_inbox_clear();
        LVC_FreeRoomlist();
        nickcache_free();
    }
    // Lines of the whole stream in one piece, straight through the callbacks.
    static Lines whole(const fakepeer_bytes &stream)
    {
        EXPECT_EQ(feed(stream, {}), 1);
        return eventlog_take();
    }
    // From now on this thread queues what it raises while a hook is set, like a reader.
    static void queue_like_a_reader()
    {
        lvc_thread_queues();
        LVC_SetDispatchHook(count_wake);
    }
};

TEST_F(Framing, EveryCutOfTheStreamGivesTheSamePackets)
{
    const fakepeer_bytes stream = sample_stream();
    const Lines expected = whole(stream);
    ASSERT_EQ(expected.size(), 8u) << testing::PrintToString(expected);
    EXPECT_EQ(expected.front(), "P36 id=1 \"anna\"");
    EXPECT_EQ(expected.back(), "P36 id=4 \"dora\"");
    // One cut anywhere: inside a header, on a boundary, inside a payload.
    for (size_t cut = 1; cut < stream.size(); cut++) {
        SCOPED_TRACE(cut);
        ASSERT_EQ(feed(stream, {cut}), 1);
        ASSERT_EQ(eventlog_take(), expected);
    }
    // A byte at a time.
    std::vector<size_t> every;
    for (size_t cut = 1; cut < stream.size(); cut++)
        every.push_back(cut);
    ASSERT_EQ(feed(stream, every), 1);
    EXPECT_EQ(eventlog_take(), expected);
}

TEST_F(Framing, QueuedPacketsWakeOnceAndDrainInOrder)
{
    const fakepeer_bytes stream = sample_stream();
    const Lines expected = whole(stream);
    queue_like_a_reader();
    // Three receives before the draining thread gets round to it: one wake.
    ASSERT_EQ(feed(stream, {40, 200}), 1);
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(eventlog_take().empty()) << "nothing runs before the drain";
    const lvc_inbox_state queued = lvc_inbox_get_state();
    EXPECT_EQ(queued.bytes, stream.size() - 6 * WIRE_HEADER_SIZE);
    EXPECT_EQ(LVC_Drain(1000), 0);
    EXPECT_EQ(eventlog_take(), expected);
    EXPECT_EQ(lvc_inbox_get_state().bytes, 0u);
    EXPECT_EQ(lvc_inbox_get_state().items, 0u);
    // Emptied, the inbox wakes again for the next packet.
    ASSERT_EQ(feed(stream, {}), 1);
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(LVC_Drain(1000), 0);
    EXPECT_EQ(eventlog_take(), expected);
}

// The progress of a room list is shown as its bytes arrive. Progress that was not
// delivered yet is replaced by the next of the same packet type only: the header of the
// packet after the list never hides that the list is complete.
TEST_F(Framing, ARoomListsProgressIsStepwiseAndItsEndIsNeverLost)
{
    eventlog_keep_progress(true);
    queue_like_a_reader();
    fakepeer_bytes stream;
    add_packet(&stream, 9, room_list(1, 1000));
    add_packet(&stream, 18, nick_answer(8, "hanna"));
    const size_t first = 16 + 450;
    const size_t second = 16 + 1000 + 16 + 4;
    for (bool drained_between : {true, false}) {
        SCOPED_TRACE(drained_between);
        net_framer framer;
        auto receive = [&](size_t from, size_t to) {
            size_t room;
            uint8_t *dst = net_framer_space(&framer, &room);
            ASSERT_GE(room, to - from);
            std::memcpy(dst, stream.data() + from, to - from);
            ASSERT_EQ(net_framer_take(&framer, to - from), 1);
        };
        receive(0, first);
        if (drained_between) {
            EXPECT_EQ(LVC_Drain(1000), 0);
            EXPECT_EQ(eventlog_take(), (Lines{"E8 16/16 type=-1", "P1", "E8 450/1000 type=9"}));
        }
        receive(first, second);
        EXPECT_EQ(LVC_Drain(1000), 0);
        const Lines tail = {"E8 1000/1000 type=9", "P2 r5", "P3", "E8 16/16 type=-1", "E8 4/11 type=18"};
        const Lines lines = eventlog_take();
        if (drained_between)
            EXPECT_EQ(lines, tail);
        else
            EXPECT_EQ(lines, (Lines{"E8 16/16 type=-1", "P1", "E8 1000/1000 type=9", "P2 r5", "P3",
                                    "E8 4/11 type=18"}));
    }
}

// A room list of many rooms is read in pieces, one a drain, when the drains have little
// time: the rooms of the earlier pieces stay, nothing after the list comes before its
// end, and the callbacks see what one delivery would have shown. A disconnection in the
// middle drops the rest.
TEST_F(Framing, ALongRoomListComesInPiecesBeforeWhatFollows)
{
    fakepeer_bytes stream;
    add_packet(&stream, 9, room_list(500));
    add_packet(&stream, 18, nick_answer(8, "hanna"));
    const Lines expected = whole(stream);
    queue_like_a_reader();
    ASSERT_EQ(feed(stream, {}), 1);
    int drains = 1;
    ASSERT_EQ(LVC_Drain(0), 1);
    Lines lines = eventlog_take();
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.size(), 100u);
    EXPECT_NE(LVC_GetRoom(5), nullptr);
    while (LVC_Drain(0) == 1) {
        drains++;
        const Lines piece = eventlog_take();
        lines.insert(lines.end(), piece.begin(), piece.end());
        ASSERT_LT(drains, 100);
    }
    const Lines rest = eventlog_take();
    lines.insert(lines.end(), rest.begin(), rest.end());
    EXPECT_GT(drains, 5);
    EXPECT_EQ(lines, expected);
    EXPECT_NE(LVC_GetRoom(5), nullptr);
    EXPECT_NE(LVC_GetRoom(504), nullptr);
    EXPECT_EQ(lvc_inbox_get_state().bytes, 0u);
    EXPECT_EQ(lvc_inbox_get_state().items, 0u);

    ASSERT_EQ(feed(stream, {}), 1);
    ASSERT_EQ(LVC_Drain(0), 1);
    eventlog_take();
    lvc_inbox_clear();
    EXPECT_EQ(LVC_Drain(1000), 0);
    EXPECT_TRUE(eventlog_take().empty());
    EXPECT_EQ(LVC_GetRoom(504), nullptr);
}

int nested_drains;

void drain_inside(void *)
{
    if (nested_drains++ == 0)
        LVC_Drain(1000);
}

// A callback that runs a modal loop drains the same queue from inside: the packets after
// the current one are delivered once each, in order, and the current packet's decoding
// goes on where it was afterwards.
TEST_F(Framing, ADrainInsideACallbackGoesOnWithTheSameQueue)
{
    fakepeer_bytes stream;
    add_packet(&stream, 9, room_list(3));
    for (int i = 0; i < 3; i++)
        add_packet(&stream, 18, nick_answer(i, "n" + std::to_string(i)));
    queue_like_a_reader();
    nested_drains = 0;
    eventlog_react(2, drain_inside);
    ASSERT_EQ(feed(stream, {}), 1);
    EXPECT_EQ(LVC_Drain(1000), 0);
    EXPECT_EQ(eventlog_take(), (Lines{"P1", "P2 r5", "P36 id=0 \"n0\"", "P36 id=1 \"n1\"", "P36 id=2 \"n2\"",
                                      "P2 r6", "P2 r7", "P3"}));
    EXPECT_NE(LVC_GetRoom(7), nullptr);
}

}  // namespace
