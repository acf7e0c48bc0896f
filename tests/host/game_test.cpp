// Five-in-a-row messages as the server receives them, and the conversation log files.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#endif

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
        log_close_all();
        log_set_idle_ms(1000);
        fs::current_path(old);
        fs::remove_all(dir);
    }
    // The file as text once the logs have written their lines: line ends as the platform
    // writes text files, read back the same way.
    static std::string text(const char *name)
    {
        log_flush();
        std::ifstream in(name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string bytes(const char *name)
    {
        log_flush();
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
    log_flush();
    EXPECT_TRUE(fs::is_directory("s2.log"));
    EXPECT_EQ(log_is_open('s', 2), 0);
}

// Lines wait for the end of their batch; every flush appends in one piece, in order, to
// the file kept open, and a log closed and reopened goes on where it stopped.
TEST_F(LogFiles, LinesKeepTheirOrderAcrossFlushesAndReopenings)
{
    std::string want;
    for (int i = 0; i < 300; i++) {
        log_debug('s', 7, L"sor %d\n", i);
        want += "sor " + std::to_string(i) + "\n";
        if (i == 0) {
            EXPECT_FALSE(fs::exists("s7.log")) << "nothing is written before the batch ends";
        }
        if (i % 7 == 6)
            log_flush();
        if (i % 50 == 49)
            log_close('s', 7);
        if (i % 60 == 59) {
            log_flush();
            EXPECT_EQ(text("s7.log"), want);
        }
    }
    log_debug('s', 7, L"vege\n");
    log_debug('p', 7, L"masik\n");
    EXPECT_EQ(text("s7.log"), want + "vege\n");
    EXPECT_EQ(text("p7.log"), "masik\n");
    EXPECT_EQ(log_is_open('s', 7), 1);
    log_close('s', 7);
    EXPECT_EQ(log_is_open('s', 7), 0);
    EXPECT_EQ(log_is_open('p', 7), 1) << "closing one log leaves the others open";
}

// A log closes by itself after a quiet spell, writing what it still held (a line logged
// outside any batch); the next line opens it again and appends.
TEST_F(LogFiles, QuietLogClosesAndTheNextLineReopensIt)
{
    log_set_idle_ms(50);
    log_debug('s', 8, L"fejlec\n");
    auto closed = [] {
        for (int i = 0; i < 400; i++) {
            if (fs::exists("s8.log") && !log_is_open('s', 8))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    ASSERT_TRUE(closed());
    EXPECT_EQ(bytes("s8.log"), std::string("fejlec") + lvfile_line_end);
    log_debug('s', 8, L"ujra\n");
    log_flush();
    EXPECT_EQ(log_is_open('s', 8), 1);
    EXPECT_EQ(text("s8.log"), "fejlec\nujra\n");
    ASSERT_TRUE(closed());
    EXPECT_EQ(text("s8.log"), "fejlec\nujra\n");
}

// While the program keeps a log open, the user may rename or delete it: the renamed file
// takes the lines until the log closes, and the next line starts a new file.
TEST_F(LogFiles, AnOpenLogCanBeRenamedOrDeleted)
{
    log_debug('s', 9, L"egy\n");
    log_flush();
    ASSERT_EQ(log_is_open('s', 9), 1);
    std::error_code error;
    fs::rename("s9.log", "regi.log", error);
    ASSERT_FALSE(error) << error.message();
    log_debug('s', 9, L"ketto\n");
    log_flush();
    log_close('s', 9);
    EXPECT_EQ(text("regi.log"), "egy\nketto\n");
    log_debug('s', 9, L"harom\n");
    EXPECT_EQ(text("s9.log"), "harom\n");

    ASSERT_EQ(log_is_open('s', 9), 1);
    EXPECT_TRUE(fs::remove("s9.log", error)) << error.message();
    log_close('s', 9);
    EXPECT_FALSE(fs::exists("s9.log"));
    log_debug('s', 9, L"negy\n");
    EXPECT_EQ(text("s9.log"), "negy\n");
}

#ifndef _WIN32
// A program killed in a flood loses only the lines of its unfinished batch: everything a
// flush wrote is in the file, whole and in order. The killed program is this suite run
// again with LV_LOG_ABANDON set (in the log folder, which it inherits).
TEST_F(LogFiles, AKilledProgramLosesOnlyItsUnfinishedBatch)
{
    char arg0[] = "game_test";
    char env0[] = "LV_LOG_ABANDON=1";
    char *argv[] = {arg0, nullptr};
    char *envp[] = {env0, nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    std::string want;
    for (int i = 0; i < 100; i++)
        want += "sor " + std::to_string(i) + "\n";
    EXPECT_EQ(text("s10.log"), want);
}

// The killed program: ten batches of ten lines, then half a batch, then SIGKILL.
const int log_abandoned = [] {
    if (!std::getenv("LV_LOG_ABANDON"))
        return 0;
    for (int i = 0; i < 100; i++) {
        log_debug('s', 10, L"sor %d\n", i);
        if (i % 10 == 9)
            log_flush();
    }
    for (int i = 0; i < 5; i++)
        log_debug('s', 10, L"elveszett %d\n", i);
    raise(SIGKILL);
    return 1;
}();
#endif

}  // namespace
