// How downloads end, told to the desktop: the download-all summary counts
// every row of its run exactly once, whatever ended it, and single failures
// are told only while the window is in the background. The desktop bus is
// a recording stand-in here; the real one is tested on a private bus.
#include "download/download_notices.h"

#include <gtest/gtest.h>

#include <mutex>

#include "app/control_names.h"
#include "download/download_rows.h"
#include "download/failure_text.h"
#include "support/desktop_bus.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using democat::Endpoint;

class RecordingBus : public support::DesktopBus {
public:
    bool ShowItems(const std::vector<std::string>&) override { return false; }
    bool Notify(const std::string& summary, const std::string& body) override {
        std::lock_guard lk(mu);
        notes.push_back(summary + "|" + body);
        return true;
    }
    std::vector<std::string> Notes() {
        std::lock_guard lk(mu);
        return notes;
    }
    std::mutex mu;
    std::vector<std::string> notes;
};

class DownloadNotices : public FlowFixture {
protected:
    void SetUp() override {
        bus = std::make_shared<RecordingBus>();
        support::SetDesktopBus(bus);
        StartProgram();
        ctx->shell.windowActive = [this] { return active.load(); };
    }
    void TearDown() override { support::SetDesktopBus(nullptr); }
    // Downloads every row of the list and waits until all have ended.
    void DownloadAll() {
        OnUi([&] { ctx->actions.downloadAll(); });
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    }
    std::pair<int, int> Counts(int fromRow = 0) {
        int done = 0, failed = 0;
        for (int r = fromRow; r < model.rowCount(app::kDownloadList); ++r) {
            const std::string s = model.cellText(app::kDownloadList, r, 1);
            (download::FileKeptStatus(s) ? done : failed)++;
        }
        return {done, failed};
    }
    std::shared_ptr<RecordingBus> bus;
    std::atomic<bool> active{false};
};

TEST(DownloadAllSummaryText, LeavesOutFailuresWhenNoneFailed) {
    EXPECT_EQ(download::DownloadAllSummary(45, 2), "45 首下载完成，2 首失败");
    EXPECT_EQ(download::DownloadAllSummary(3, 0), "3 首下载完成");
    EXPECT_EQ(download::DownloadAllSummary(0, 4), "0 首下载完成，4 首失败");
}

TEST_F(DownloadNotices, AddressFailuresInThePlaylistCountAsFailedRows) {
    // An imported playlist: failed address requests end in the row, not a box.
    Click(app::kImportNetEase);
    model.setText(app::kPlaylistLink, catalogue.BaseUrl() + "/share/wy/s/7045");
    Click(app::kPlaylistImport);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 45);
    catalogue.faults().Set(Endpoint::kTrackAddress, democat::Fault{.http_status = 500, .body = democat::BodyKind::kHtml, .times = 5});
    DownloadAll();
    const auto [done, failed] = Counts();
    ASSERT_EQ(done + failed, 45);
    ASSERT_GE(failed, 5);
    EXPECT_EQ(bus->Notes(), std::vector<std::string>{"全部下载已结束|" + download::DownloadAllSummary(done, failed)})
        << "one summary, and no single-failure notice for the run's rows, though the window is behind";
}

TEST_F(DownloadNotices, EachRunTellsItsOwnRowsAndAnEmptyListTellsNothing) {
    DownloadAll();
    EXPECT_TRUE(bus->Notes().empty()) << "nothing queued, nothing to tell";

    Search("demo");
    const int rows = model.rowCount(app::kResultList);
    DownloadAll();
    const auto first = Counts();
    ASSERT_EQ(first.first + first.second, rows);
    DownloadAll();
    const auto second = Counts(rows);
    ASSERT_EQ(second.first + second.second, rows);
    const std::vector<std::string> notes = bus->Notes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], "全部下载已结束|" + download::DownloadAllSummary(first.first, first.second));
    EXPECT_EQ(notes[1], "全部下载已结束|" + download::DownloadAllSummary(second.first, second.second));
}

TEST_F(DownloadNotices, SingleDownloadsAreToldOnlyWhenTheyFailBehindOtherWindows) {
    Search("demo");
    int bad = -1, good = -1;
    for (int r = 0; r < model.rowCount(app::kResultList); ++r) {
        if (ctx->searchResults[size_t(r)].title == "空地址") bad = r;
        else if (good < 0) good = r;
    }
    ASSERT_GE(bad, 0);
    OnUi([&] { ctx->actions.downloadAtTier(0, good + 1); });
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), download::kStatusDone);
    EXPECT_TRUE(bus->Notes().empty()) << "a success is seen in the list";

    OnUi([&] { ctx->actions.downloadAtTier(0, bad + 1); });
    ASSERT_TRUE(WaitIdle());
    const std::string name = model.cellText(app::kDownloadList, 1, 0);
    EXPECT_EQ(bus->Notes(), std::vector<std::string>{"下载失败|" + name.substr(0, name.find("\r\n")) + "：" +
                                                     download::kStatusNoAddress});

    active = true;
    OnUi([&] { ctx->actions.downloadAtTier(0, bad + 1); });
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(bus->Notes().size(), 1u) << "the active window shows it";
}

}  // namespace
}  // namespace mm::test
