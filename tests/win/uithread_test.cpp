// Work handed to the user-interface thread: where each task runs, when the caller gets
// control back, and in which order runs and posts are carried out.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/win/wintest.h"
#include "toolkit/uithread.h"

namespace {

struct ran_log {
    std::string order;
    DWORD thread = 0;
};

ran_log ran;

template <char Name> void record(void *)
{
    ran.order += Name;
    ran.thread = GetCurrentThreadId();
}

struct UiThread : ::testing::Test {
    void SetUp() override
    {
        wintest_init();
        wintest_flush();
        ran = ran_log{};
    }
};

TEST_F(UiThread, OnTheInterfaceThreadARunIsDirectAndAPostWaitsForTheLoop)
{
    ASSERT_EQ(vel_ui_post(record<'a'>, nullptr), 1);
    ASSERT_EQ(vel_ui_run(record<'b'>, nullptr), 1);
    EXPECT_EQ(ran.order, "b");
    wintest_flush();
    EXPECT_EQ(ran.order, "ba");
    EXPECT_EQ(ran.thread, GetCurrentThreadId());
}

// Another thread's run returns only once the task has run, on the interface thread; its
// posts keep their order, and its run does not wait for its posts before it.
TEST_F(UiThread, AnotherThreadsRunWaitsForTheTaskAndOvertakesPosts)
{
    std::atomic<bool> posted{false};
    std::atomic<bool> done{false};
    std::string seen_after_run;
    std::thread worker([&] {
        vel_ui_post(record<'a'>, nullptr);
        vel_ui_post(record<'b'>, nullptr);
        vel_ui_post(record<'c'>, nullptr);
        posted = true;
        vel_ui_run(record<'r'>, nullptr);
        seen_after_run = ran.order;
        done = true;
    });
    while (!posted)
        Sleep(1);
    // The run is waiting in this thread's queue before anything is dispatched.
    for (int i = 0; i < 5000 && !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE); i++)
        Sleep(1);
    ASSERT_TRUE(wintest_pump_until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(seen_after_run.substr(0, 1), "r");
    wintest_flush();
    EXPECT_EQ(ran.order, "rabc");
    EXPECT_EQ(ran.thread, GetCurrentThreadId());
}

}  // namespace
