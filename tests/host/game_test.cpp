// Five-in-a-row messages as the server receives them, and the conversation log files.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/internal.h"
#include "tests/support/eventlog.h"
#include "tests/support/loopchat.h"

namespace {

namespace fs = std::filesystem;

std::string utf_at(const fakepeer_bytes &b, size_t at)
{
    size_t n = size_t(b[at]) << 8 | b[at + 1];
    return std::string(b.begin() + long(at) + 2, b.begin() + long(at + 2 + n));
}

TEST(Game, MessagesTravelAsPrivateMessages)
{
    fakepeer chat;
    ASSERT_EQ(loopchat_connect(&chat), 1);
    struct Case {
        void (*send)();
        int kind;
        const char *text;
    } cases[] = {
        {[] { LVC_amoba_request(4711, 'X', 15); }, 6, "15\tX"},
        {[] { LVC_amoba_accept(4711); }, 7, "Elfogadom"},
        {[] { LVC_amoba_refuse(4711); }, 7, "Elutasitom"},
        {[] { LVC_amoba_move(4711, 3, 10); }, 8, "\t3\t10\t\t"},
        {[] { LVC_amoba_move(4711, -1, 0); }, 8, "\t-1\t0\t\t"},
        {[] { LVC_amoba_abort(4711); }, 12, "STOP_GAME"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        c.send();
        fakepeer_packet p;
        ASSERT_EQ(loopchat_next(&chat, &p), 1);
        EXPECT_EQ(p.type, 8);
        ASSERT_GE(p.payload.size(), 7u);
        EXPECT_EQ(p.payload[0], c.kind);
        EXPECT_EQ(wire_get32(p.payload.data() + 1), 4711u);
        EXPECT_EQ(utf_at(p.payload, 5), c.text);
        EXPECT_EQ(p.payload.size(), 7 + std::strlen(c.text));
    }
    // Each one waits in the sent list for the server's confirmation.
    int queued = 0;
    for (strlist *n = lvc.sent; n; n = n->next)
        queued++;
    EXPECT_EQ(queued, 6);
    loopchat_close(&chat);
    lvc.sent = strlist_free(lvc.sent);

    // Disconnected: nothing is sent or queued.
    LVC_amoba_abort(4711);
    EXPECT_EQ(lvc.sent, nullptr);
}

struct LogFiles : ::testing::Test {
    fs::path old, dir;
    void SetUp() override
    {
        old = fs::current_path();
        dir = fs::temp_directory_path() / ("lvlog-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                                           std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    void TearDown() override
    {
        fs::current_path(old);
        fs::remove_all(dir);
    }
    // The file as text: line ends as the platform writes text files, read back the same way.
    static std::string text(const char *name)
    {
        std::ifstream in(name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string bytes(const char *name)
    {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(LogFiles, LinesAreAppendedPerRoomAndPerUser)
{
    log_debug('s', 12, L"%s\n", L"hello");
    EXPECT_EQ(text("s12.log"), "hello\n");
    log_debug('s', 12, L"[%s - %s]\n", L"Szoba", L"tema");
    log_debug('p', 4711, L"[%s]\n", L"bob");
    log_debug('s', -3, L"%d%%%c|%u\n", -42, L'Z', 7u);
    EXPECT_EQ(text("s12.log"), "hello\n[Szoba - tema]\n");
    EXPECT_EQ(text("p4711.log"), "[bob]\n");
    EXPECT_EQ(text("s-3.log"), "-42%Z|7\n");
}

TEST_F(LogFiles, TextIsWrittenInTheAnsiCodePage)
{
    // Windows-1250: Á C1, í ED, ű FB, ő F5; a character it lacks becomes its replacement.
    log_debug('p', 1, L"%s", L"\u00c1rv\u00edzt\u0171r\u0151 \u4e2d!");
    EXPECT_EQ(bytes("p1.log"), "\xC1rv\xEDzt\xFBr\xF5 ?!");
}

TEST_F(LogFiles, LongLinesAreCutAndUnopenableFilesAreSkipped)
{
    std::wstring longline(70000, L'w');
    log_debug('s', 1, L"%s", longline.c_str());
    EXPECT_EQ(bytes("s1.log"), std::string(65535, 'w'));

    fs::create_directory("s2.log");  // cannot be opened as a file
    log_debug('s', 2, L"%s\n", L"lost");
    EXPECT_TRUE(fs::is_directory("s2.log"));
}

}  // namespace
