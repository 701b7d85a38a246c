// The stop switch of a download: which stops are taken when, and the row's
// status written at once.
#include "download/job_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::download {
namespace {

TEST(JobControl, AStopIsTakenUntilTheFileGoesInPlace) {
    JobControl running;
    EXPECT_FALSE(running.RequestStop(StopKind::kNone));
    EXPECT_TRUE(running.RequestStop(StopKind::kPause));
    EXPECT_FALSE(running.RequestStop(StopKind::kPause));
    EXPECT_TRUE(running.RequestStop(StopKind::kCancel)) << "a cancel overrides a pause not yet acted on";
    EXPECT_FALSE(running.RequestStop(StopKind::kPause)) << "a pause never replaces a cancel";
    EXPECT_EQ(running.Requested(), StopKind::kCancel);
    EXPECT_FALSE(running.BeginCommit());
    EXPECT_EQ(running.Finish(), StopKind::kCancel);
    EXPECT_TRUE(running.Finished());

    JobControl committing;
    EXPECT_TRUE(committing.BeginCommit());
    EXPECT_FALSE(committing.RequestStop(StopKind::kCancel));
    EXPECT_FALSE(committing.Stopping());
    EXPECT_EQ(committing.Finish(), StopKind::kNone);

    JobControl ended;
    ended.RequestStop(StopKind::kPause);
    EXPECT_EQ(ended.Finish(), StopKind::kPause);
    EXPECT_FALSE(ended.RequestStop(StopKind::kCancel)) << "the job is over: nothing left to cancel";
}

TEST(JobControl, OfManyRacingStopsExactlyOneCancelWins) {
    for (int round = 0; round < 50; ++round) {
        JobControl c;
        std::atomic<int> accepted{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&] { accepted += c.RequestStop(StopKind::kCancel) ? 1 : 0; });
        for (auto& t : threads) t.join();
        EXPECT_EQ(accepted.load(), 1);
    }
}

class StopDownloadTest : public ::testing::Test {
protected:
    StopDownloadTest() {
        app::DefineMainWindowControls(model);
        model.insertRow(app::kDownloadList, 0);
        model.insertRow(app::kDownloadList, 1);
        model.setCellText(app::kDownloadList, 0, 1, "正在下载");
        model.setCellTip(app::kDownloadList, 0, 1, "old");
        model.setRowProgress(app::kDownloadList, 0, 40);
    }
    ~StopDownloadTest() override { JobControls::Forget(ctx); }
    ui::ControlModel model;
    ui::HeadlessUiThread uiThread;
    ui::EventDispatcher events{uiThread};
    app::AppContext ctx{model, events, nullptr};
};

TEST_F(StopDownloadTest, TheRowSaysSoAtOnceAndOnlyWhileTheDownloadLives) {
    EXPECT_FALSE(StopDownload(ctx, 0, StopKind::kCancel)) << "no download on that row";
    auto control = JobControls::Of(ctx).Open(0);
    EXPECT_EQ(JobControls::Of(ctx).Find(0), control);
    EXPECT_EQ(JobControls::Of(ctx).Find(1), nullptr);

    ASSERT_TRUE(StopDownload(ctx, 0, StopKind::kPause));
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), kStatusPaused);
    EXPECT_EQ(model.cellTip(app::kDownloadList, 0, 1), "");
    EXPECT_EQ(model.rowProgress(app::kDownloadList, 0), -1);
    EXPECT_EQ(control->Requested(), StopKind::kPause);
    ASSERT_TRUE(StopDownload(ctx, 0, StopKind::kCancel));
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), kStatusCancelled);

    // The job ends: the row has no live download any more.
    JobControls::Of(ctx).Close(0, control);
    EXPECT_EQ(JobControls::Of(ctx).Find(0), nullptr);
    EXPECT_FALSE(StopDownload(ctx, 0, StopKind::kCancel));

    // A row queued again gets a fresh switch; closing the old one leaves it.
    auto first = JobControls::Of(ctx).Open(1);
    auto second = JobControls::Of(ctx).Open(1);
    JobControls::Of(ctx).Close(1, first);
    EXPECT_EQ(JobControls::Of(ctx).Find(1), second);
}

}  // namespace
}  // namespace mm::download
