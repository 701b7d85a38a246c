#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::ui {
namespace {

using namespace std::chrono_literals;

// Polls until pred holds or two seconds pass.
template <class Pred>
bool eventually(Pred pred) {
    auto until = std::chrono::steady_clock::now() + 2s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(EventTypes, NamesRoundTrip) {
    for (int i = 0; i <= static_cast<int>(EventType::WindowClose); ++i) {
        auto t = static_cast<EventType>(i);
        EventType back = EventType::Click;
        ASSERT_TRUE(eventTypeFromName(eventTypeName(t), back)) << i;
        EXPECT_EQ(back, t);
    }
    EventType out = EventType::KeyUp;
    EXPECT_FALSE(eventTypeFromName("click", out));
    EXPECT_FALSE(eventTypeFromName("", out));
    EXPECT_EQ(out, EventType::KeyUp);
}

TEST(EventDispatcher, HandlersRunOnTheUiThreadInOrder) {
    HeadlessUiThread ui;
    EventDispatcher events(ui);
    ui.Start();
    std::vector<std::string> log;  // touched only on the UI thread
    std::atomic<bool> offThread{false};
    events.on("控制_搜索", EventType::Click, [&](const Event& e) {
        if (!ui.isCurrent()) offThread = true;
        log.push_back("click " + e.control);
    });
    events.on("编辑框_搜索歌曲名", EventType::KeyUp, [&](const Event& e) {
        if (!ui.isCurrent()) offThread = true;
        log.push_back("key " + std::to_string(e.arg));
        // A handler may register handlers and fire further events without deadlock.
        events.on("late", EventType::Click, [&](const Event&) { log.push_back("late"); });
        events.fire({"late", EventType::Click, 0, {}});
    });
    events.fire({"控制_搜索", EventType::Click, 0, {}});
    events.fire({"nobody", EventType::Click, 0, {}});  // no handler: ignored
    events.dispatch({"控制_搜索", EventType::Click, 0, {}});  // off the UI thread: queued, not run here
    events.fire({"编辑框_搜索歌曲名", EventType::KeyUp, 13, {}});
    ASSERT_TRUE(ui.WaitIdle(2s));
    std::vector<std::string> got;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] { got = log; }));
    EXPECT_EQ(got, (std::vector<std::string>{"click 控制_搜索", "click 控制_搜索", "key 13", "late"}));
    EXPECT_FALSE(offThread.load());
    EXPECT_FALSE(ui.isCurrent());
}

TEST(HeadlessUiThread, TasksPostedBeforeStartRunAfterIt) {
    HeadlessUiThread ui;
    std::atomic<int> ran{0};
    ui.post([&] { ++ran; });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran.load(), 0);
    ui.Start();
    EXPECT_TRUE(ui.WaitIdle(2s));
    EXPECT_EQ(ran.load(), 1);
}

TEST(HeadlessUiThread, StopDropsPendingTasksAndLaterWaitsDoNotHang) {
    HeadlessUiThread ui;
    ui.Start();
    std::atomic<int> ran{0};
    std::atomic<bool> started{false};
    ui.post([&] {
        started = true;
        std::this_thread::sleep_for(50ms);
        ++ran;
    });
    for (int i = 0; i < 100; ++i) ui.post([&] { ++ran; });
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    ui.Stop();
    EXPECT_EQ(ran.load(), 1);  // the running task finished, the rest were dropped
    EXPECT_FALSE(ui.IsRunning());
    EXPECT_FALSE(ui.RunOnUiThreadAndWait([&] { ++ran; }));
    EXPECT_TRUE(ui.WaitIdle(100ms));
    EXPECT_EQ(ran.load(), 1);
    ui.Stop();  // twice is harmless
}

TEST(HeadlessUiThread, WaitingFromTheUiThreadItselfDoesNotDeadlock) {
    HeadlessUiThread ui;
    ui.Start();
    bool inner = false, idle = false, queuedRan = false;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] {
        ui.post([&] { queuedRan = true; });
        ui.RunOnUiThreadAndWait([&] { inner = true; });
        idle = ui.WaitIdle(1s);  // runs what is queued instead of waiting for itself
    }));
    EXPECT_TRUE(inner);
    EXPECT_TRUE(idle);
    EXPECT_TRUE(queuedRan);
}

TEST(HeadlessUiThread, WaitIdleTimesOutWhileATaskRuns) {
    HeadlessUiThread ui;
    ui.Start();
    std::atomic<bool> release{false};
    ui.post([&] {
        while (!release) std::this_thread::sleep_for(1ms);
    });
    EXPECT_FALSE(ui.WaitIdle(50ms));
    release = true;
    EXPECT_TRUE(ui.WaitIdle(2s));
}

class Timers : public ::testing::Test {
  protected:
    void SetUp() override {
        model.define("时钟_试听封面旋转", Kind::Timer);
        ui.AttachTimers(model, events);
        events.on("时钟_试听封面旋转", EventType::TimerTick, [&](const Event&) {
            if (!ui.isCurrent()) offThread = true;
            ++ticks;
        });
    }
    // The loop uses the dispatcher: stop it before the members go.
    void TearDown() override { ui.Stop(); }
    ControlModel model;
    HeadlessUiThread ui;
    EventDispatcher events{ui};
    std::atomic<int> ticks{0};
    std::atomic<bool> offThread{false};
};

TEST_F(Timers, ManualModeTicksOnlyWhenAsked) {
    ui.SetAutoTimers(false);
    ui.Start();
    model.setInterval("时钟_试听封面旋转", 5);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(ticks.load(), 0);
    ui.Tick("时钟_试听封面旋转");
    ui.Tick("时钟_试听封面旋转");
    ASSERT_TRUE(ui.WaitIdle(2s));
    EXPECT_EQ(ticks.load(), 2);
    EXPECT_FALSE(offThread.load());
}

TEST_F(Timers, AutomaticTicksFollowTheInterval) {
    ui.Start();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 0);  // interval 0: stopped

    model.setInterval("时钟_试听封面旋转", 10);
    ASSERT_TRUE(eventually([&] { return ticks.load() >= 3; }));

    model.setInterval("时钟_试听封面旋转", 0);
    ASSERT_TRUE(ui.WaitIdle(2s));
    int stoppedAt = ticks.load();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(ticks.load(), stoppedAt);
    EXPECT_FALSE(offThread.load());
}

TEST_F(Timers, ShorteningALongIntervalTakesEffectAtOnce) {
    model.setInterval("时钟_试听封面旋转", 60'000);
    ui.Start();
    std::this_thread::sleep_for(20ms);  // the loop now sleeps toward a minute away
    model.setInterval("时钟_试听封面旋转", 5);
    EXPECT_TRUE(eventually([&] { return ticks.load() >= 1; }));
}

TEST_F(Timers, AHandlerCanStopItsOwnTimer) {
    events.on("时钟_试听封面旋转", EventType::TimerTick, [&](const Event&) {
        if (++ticks == 2) model.setInterval("时钟_试听封面旋转", 0);
    });
    model.setInterval("时钟_试听封面旋转", 5);
    ui.Start();
    ASSERT_TRUE(eventually([&] { return ticks.load() >= 2; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ticks.load(), 2);
}

}  // namespace
}  // namespace mm::ui
