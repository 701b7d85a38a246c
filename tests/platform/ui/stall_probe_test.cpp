#include "platform/ui/stall_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::ui {
namespace {

using namespace std::chrono_literals;
using Kind = StallProbe::Kind;

TEST(LatencyHistogram, EveryValueFallsInABucketThatHoldsIt) {
    int last = -1;
    for (std::uint64_t us = 0; us < 5'000'000; us = us < 200 ? us + 1 : us + us / 7) {
        const int b = LatencyHistogram::BucketOf(us);
        EXPECT_GE(b, last) << us;  // buckets grow with the value
        EXPECT_GE(LatencyHistogram::UpperEdge(b), us) << us;
        if (b > 0) {
            EXPECT_LT(LatencyHistogram::UpperEdge(b - 1), us) << us;
        }
        // About 3 % wide, so a quantile is never far off.
        EXPECT_LE(static_cast<double>(LatencyHistogram::UpperEdge(b)), static_cast<double>(us) * 1.035 + 1) << us;
        last = b;
    }
}

TEST(LatencyHistogram, Quantiles) {
    LatencyHistogram h;
    EXPECT_EQ(h.Quantile(0.5), 0u);
    EXPECT_EQ(h.Max(), 0u);
    for (std::uint64_t us = 1; us <= 1000; ++us) h.Add(us * 10);  // 10 µs … 10 ms
    EXPECT_EQ(h.Count(), 1000u);
    EXPECT_EQ(h.Max(), 10000u);
    EXPECT_NEAR(static_cast<double>(h.Quantile(0.5)), 5000.0, 5000.0 * 0.035);
    EXPECT_NEAR(static_cast<double>(h.Quantile(0.99)), 9900.0, 9900.0 * 0.035);
    EXPECT_EQ(h.Quantile(1.0), 10000u);
    // One slow sample among many fast ones shows in the maximum, not the p99.
    LatencyHistogram mixed;
    for (int i = 0; i < 999; ++i) mixed.Add(100);
    mixed.Add(80'000);
    EXPECT_LE(mixed.Quantile(0.99), 103u);
    EXPECT_EQ(mixed.Max(), 80'000u);
    h.Merge(mixed);
    EXPECT_EQ(h.Count(), 2000u);
    EXPECT_EQ(h.Max(), 80'000u);
}

// A probe reading a clock the test moves by hand.
// Advance: the thread works; Wait: it is off the CPU (the clock moves alone).
struct ManualProbe {
    StallProbe::Clock::time_point t{};
    StallProbe::Clock::duration cpu{};
    std::unique_ptr<StallProbe> probe =
        std::make_unique<StallProbe>([this] { return t; }, [this] { return cpu; });
    void Advance(std::chrono::milliseconds ms) {
        t += ms;
        cpu += ms;
    }
    void Wait(std::chrono::milliseconds ms) { t += ms; }
};

TEST(StallProbe, NestedWorkBelongsToTheOuterPieceAndNamesIt) {
    ManualProbe m;
    StallProbe& p = *m.probe;
    p.Begin(Kind::kViewEvent, "QObject", "MetaCall", 1);
    m.Advance(1ms);
    p.Begin(Kind::kQueuedCall, "queued call", {}, 1);
    p.Begin(Kind::kHandler, "Click", "控制_搜索", 1);
    m.Advance(4ms);
    p.End();
    // A less telling nested piece does not rename it.
    p.Begin(Kind::kViewEvent, "QWidget", "Paint", 1);
    m.Advance(2ms);
    p.End();
    p.End();
    m.Advance(1ms);
    p.End();
    const auto s = p.Snapshot();
    EXPECT_EQ(s.work.count, 1u);
    EXPECT_DOUBLE_EQ(s.work.maxMs, 8.0);
    EXPECT_EQ(s.byKind[static_cast<int>(Kind::kHandler)].count, 1u);
    ASSERT_EQ(s.worst.size(), 1u);
    EXPECT_EQ(s.worst[0].what, "handler: Click 控制_搜索");
}

TEST(StallProbe, APumpingPieceStallsOnlyBetweenLooksAtTheQueue) {
    ManualProbe m;
    StallProbe& p = *m.probe;
    p.Begin(Kind::kQueuedCall, "queued call");
    m.Advance(3ms);
    for (int i = 0; i < 3; ++i) {
        p.Yield();
        p.Begin(Kind::kHandler, "TimerTick", "时钟_试听播放");  // served by the pump: a piece of its own
        m.Advance(1ms);
        p.End();
        m.Advance(500ms);  // waiting, the queue served: no stall
        p.Resume();
        m.Advance(2ms);
    }
    p.End();
    const auto s = p.Snapshot();
    EXPECT_EQ(s.work.count, 4u);
    EXPECT_DOUBLE_EQ(s.work.maxMs, 3.0);
    EXPECT_EQ(s.byKind[static_cast<int>(Kind::kHandler)].count, 3u);
    EXPECT_DOUBLE_EQ(s.byKind[static_cast<int>(Kind::kHandler)].maxMs, 1.0);
    // Unbalanced calls with nothing open are ignored.
    p.Resume();
    p.End();
    p.Yield();
    EXPECT_EQ(p.Snapshot().work.count, 4u);
}

TEST(StallProbe, ANestedEventLoopRunsPiecesOfItsOwn) {
    ManualProbe m;
    StallProbe& p = *m.probe;
    p.Begin(Kind::kHandler, "Click", "按钮_下载", 1);  // shows a modal dialog
    m.Advance(2ms);
    p.Yield();  // the dialog's loop waits for the user
    m.Advance(5000ms);
    p.Resume();
    p.Begin(Kind::kViewEvent, "QPushButton", "MouseButtonRelease", 2);
    m.Advance(6ms);
    p.End();
    m.Advance(1ms);
    p.End();
    const auto s = p.Snapshot();
    EXPECT_EQ(s.work.count, 2u);
    EXPECT_DOUBLE_EQ(s.work.maxMs, 6.0);
    ASSERT_EQ(s.worst.size(), 2u);
    EXPECT_EQ(s.worst[0].what, "view event: QPushButton MouseButtonRelease");
    EXPECT_DOUBLE_EQ(s.worst[1].ms, 2.0);
}

TEST(StallProbe, CpuTimeIsThatOfTheLongestStretch) {
    ManualProbe m;
    StallProbe& p = *m.probe;
    p.Begin(Kind::kViewEvent, "QWidget", "Paint", 1);
    m.Advance(2ms);
    m.Wait(40ms);  // descheduled: a stall the code did not cause
    m.Advance(1ms);
    p.End();
    p.Begin(Kind::kHandler, "Click", "按钮");
    m.Advance(10ms);
    p.Yield();
    p.Resume();
    m.Advance(5ms);
    p.End();
    const auto s = p.Snapshot();
    EXPECT_DOUBLE_EQ(s.work.maxMs, 43.0);
    EXPECT_DOUBLE_EQ(s.cpu.maxMs, 10.0);
    ASSERT_EQ(s.worst.size(), 2u);
    EXPECT_DOUBLE_EQ(s.worst[0].cpuMs, 3.0);
    EXPECT_DOUBLE_EQ(s.worst[1].ms, 10.0);
    EXPECT_DOUBLE_EQ(s.worst[1].cpuMs, 10.0);
}

TEST(StallProbe, TimerLatenessWorstListAndReset) {
    ManualProbe m;
    StallProbe& p = *m.probe;
    const auto due = m.t;
    m.Advance(30ms);
    p.TimerFired(due);
    p.TimerFired(m.t + 5ms);  // early counts as on time
    for (int i = 1; i <= 20; ++i) {
        p.Begin(Kind::kQueuedCall, "queued call", std::to_string(i));
        m.Advance(std::chrono::milliseconds(i));
        p.End();
    }
    auto s = p.Snapshot();
    EXPECT_EQ(s.timerLate.count, 2u);
    EXPECT_DOUBLE_EQ(s.timerLate.maxMs, 30.0);
    EXPECT_DOUBLE_EQ(s.timerLate.p50Ms, 0.0);
    ASSERT_EQ(s.worst.size(), StallProbe::kWorstKept);
    EXPECT_EQ(s.worst.front().what, "queued call: queued call 20");
    EXPECT_DOUBLE_EQ(s.worst.back().ms, 20.0 - StallProbe::kWorstKept + 1);
    p.Reset();
    s = p.Snapshot();
    EXPECT_EQ(s.work.count, 0u);
    EXPECT_EQ(s.timerLate.count, 0u);
    EXPECT_TRUE(s.worst.empty());
}

TEST(StallProbe, TheHeadlessThreadTimesHandlersTicksAndPumps) {
    ControlModel model;  // outlives the thread that ticks its timers
    HeadlessUiThread ui;
    EventDispatcher events(ui);
    ui.AttachTimers(model, events);
    ui.SetAutoTimers(false);
    ui.Start();
    events.on("按钮", EventType::Click, [&](const Event&) {
        // Keeps the queue running while it waits: the nested handler is its own piece.
        events.fire({"按钮", EventType::KeyUp, 13, {}});
        ui.RunPending();
    });
    int keys = 0;
    events.on("按钮", EventType::KeyUp, [&](const Event&) { ++keys; });
    events.fire({"按钮", EventType::Click, 0, {}});
    ui.Tick("时钟_测试");
    ASSERT_TRUE(ui.WaitIdle(5s));
    EXPECT_EQ(keys, 1);
    const auto s = ui.stallProbe().Snapshot();
    // The click, the key pressed while it pumped, and the tick (no handler: a queued call).
    EXPECT_EQ(s.byKind[static_cast<int>(Kind::kHandler)].count, 2u);
    EXPECT_EQ(s.work.count, 3u);
    std::vector<std::string> names;
    for (const auto& w : s.worst) names.push_back(w.what);
    EXPECT_NE(std::find(names.begin(), names.end(), "handler: Click 按钮"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "handler: KeyUp 按钮"), names.end());
    ui.Stop();
}

}  // namespace
}  // namespace mm::ui
