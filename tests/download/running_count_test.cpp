// The number of running downloads beside the download page's tool bar entry,
// and the empty download list's hint, through real downloads.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/control_names.h"
#include "download/running_count.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST_F(DownloadFlowTest, RunningDownloadsAreCountedUntilTheyEnd) {
    StartProgram();
    EXPECT_TRUE(model.visible(app::kDownloadListHint)) << "an empty list says how to add songs";
    EXPECT_FALSE(model.visible(app::kRunningDownloads));

    Search("Nora");
    ASSERT_GE(model.rowCount(app::kResultList), 3);
    // The audio answers slowly, so all three are running at once.
    democat::Fault slow;
    slow.delay_ms = 1500;
    catalogue.faults().Set(democat::Endpoint::kAudio, slow);
    for (int row = 0; row < 3; ++row) {
        QueueFromTierWindow(row, 0);
        ASSERT_TRUE(Eventually([&] { return model.rowCount(app::kDownloadList) == row + 1; }));
        // The next choice is taken only once this one is queued.
        ASSERT_TRUE(Eventually([&] { return ctx->searchPool.IsIdle(); }));
    }
    EXPECT_FALSE(model.visible(app::kDownloadListHint));
    ASSERT_TRUE(Eventually([&] { return model.text(app::kRunningDownloads) == "3"; }));
    EXPECT_TRUE(model.visible(app::kRunningDownloads));
    EXPECT_EQ(download::RunningDownloads(model), 3);

    ASSERT_TRUE(WaitIdle(60s));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Status(row), "下载完成");
    EXPECT_EQ(model.text(app::kRunningDownloads), "0");
    EXPECT_FALSE(model.visible(app::kRunningDownloads));
    EXPECT_FALSE(model.visible(app::kDownloadListHint));
}

TEST_F(DownloadFlowTest, FailedDownloadIsNoLongerRunning) {
    StartProgram();
    democat::Fault gone;
    gone.http_status = 404;
    catalogue.faults().Set(democat::Endpoint::kAudio, gone);
    DownloadByTitle("Nora", "Morning Light", 0);
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_NE(Status(0), "正在下载");
    EXPECT_EQ(model.text(app::kRunningDownloads), "0");
    EXPECT_FALSE(model.visible(app::kRunningDownloads));
}

}  // namespace
}  // namespace mm::test
