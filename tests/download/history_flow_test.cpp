// The download history through the whole program, headless, against the demo
// catalogue: what each download leaves in the history, the duplicate marks and
// question, the list's own commands (cancel, pause, continue, retry) and the
// history listed page by page.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "democatalogue/song_table.h"
#include "download/download_rows.h"
#include "download/duplicates.h"
#include "download/history_list.h"
#include "download/list_commands.h"
#include "library/history_store.h"
#include "platform/sys/files.h"
#include "search/track_menu.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

namespace fs = std::filesystem;
using democat::Endpoint;
using democat::Tier;
using library::DownloadState;
using namespace std::chrono_literals;

class HistoryFlowTest : public DownloadFlowTest {
protected:
    HistoryFlowTest() {
        dataDir = tempDir + "/data";
        ctx->dataDir = dataDir;
    }

    library::HistoryStore& History() { return *ctx->history; }

    // The record of a download-list row, as the history has it now.
    library::DownloadRecord RecordOfRow(int row) {
        std::optional<download::RowInfo> info = download::RowInfoAt(*ctx, row);
        if (!info) {
            ADD_FAILURE() << "no record for row " << row;
            return {};
        }
        return History().Get(info->id).value_or(library::DownloadRecord{});
    }

    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }

    std::vector<std::string> PartFiles() const {
        std::vector<std::string> parts;
        for (auto& e : fs::directory_iterator(saveDir)) {
            if (e.path().extension() == ".part") parts.push_back(e.path().string());
        }
        return parts;
    }

    void RowMenu(int row, int id) {
        Fire(app::kDownloadList, ui::EventType::RowRightClick, row);
        Menu(app::kDownloadMenu, id);
    }

    // Records what show-in-folder was asked to show; the request runs off
    // the UI thread, so Shown() waits for it first.
    void RecordShown() {
        ctx->shell.showInFolder = [this](const std::string& path) {
            std::lock_guard lk(shownMutex);
            shown.push_back(path);
            return true;
        };
    }
    std::vector<std::string> Shown() {
        EXPECT_TRUE(WaitIdle());
        std::lock_guard lk(shownMutex);
        return shown;
    }
    std::mutex shownMutex;
    std::vector<std::string> shown;

    bool MenuEnabled(int id) {
        auto item = model.menuItem(app::kDownloadMenu, id);
        return item && !item->disabled;
    }

    // Slow audio: a transfer that is still running when the test acts on it.
    void SlowAudio(int bytesPerSecond = 64 * 1024) {
        democat::Fault slow;
        slow.bytes_per_second = bytesPerSecond;
        catalogue.faults().Set(Endpoint::kAudio, slow);
    }

    // Queues a row and waits until its part file is growing.
    void QueueAndWaitForTransfer(const std::string& keyword, const std::string& title, int tier) {
        Search(keyword);
        int row = ResultRow(title);
        ASSERT_GE(row, 0);
        QueueFromTierWindow(row, tier);
        ASSERT_TRUE(WaitFor([&] { return Status(0) == download::kStatusDownloading; }));
        ASSERT_TRUE(WaitFor([&] {
            auto parts = PartFiles();
            return parts.size() == 1 && sys::FileSize(parts[0]) > 0;
        }));
    }

    std::string dataDir;
};

TEST_F(HistoryFlowTest, EachDownloadIsRecordedWithItsSongTierFileAndTimes) {
    StartProgram();
    DownloadByTitle("AC/DC", "AC*DC: Live?", 1);
    ASSERT_EQ(Status(0), "下载完成");
    library::DownloadRecord r = RecordOfRow(0);
    const auto* song = democat::FindSong(3);
    EXPECT_EQ(r.title, "AC*DC: Live?");
    EXPECT_EQ(r.singer, "X ");
    EXPECT_EQ(r.album, "Rock Test");
    EXPECT_EQ(r.coverUrl, catalogue.BaseUrl() + "/cover/0003.jpg");
    EXPECT_EQ(r.tier, 1);
    EXPECT_EQ(r.mid, song->Mid(Tier::kHigh));
    EXPECT_EQ(r.pmid, song->Pmid(Tier::kHigh));
    EXPECT_EQ(r.source, ctx->sources.Current());
    EXPECT_EQ(r.rowText, "AC-DC- Live- - X \r\n[Rock Test]");
    EXPECT_EQ(r.badge, app::kImgBadgeHigh);
    EXPECT_EQ(r.replyType, "mp3");
    EXPECT_EQ(r.path, saveDir + "AC-DC- Live- - X .mp3");
    EXPECT_EQ(r.size, sys::FileSize(r.path));
    EXPECT_EQ(r.state, DownloadState::kDone);
    EXPECT_EQ(r.statusText, "下载完成");
    EXPECT_EQ(r.statusIcon, app::kImgStatusDone);
    EXPECT_TRUE(r.error.empty());
    EXPECT_GT(r.queuedAt, 0);
    EXPECT_GE(r.finishedAt, r.queuedAt);
    // Nothing is left to resume.
    EXPECT_EQ(r.resume, library::ResumeState{});
}

TEST_F(HistoryFlowTest, AFailedTransferIsRecordedWithItsError) {
    democat::Fault gone;
    gone.http_status = 404;
    catalogue.faults().Set(Endpoint::kAudio, gone);
    StartProgram();
    DownloadByTitle("Morning", "Morning Light", 1);
    ASSERT_EQ(Status(0), "下载失败");
    library::DownloadRecord r = RecordOfRow(0);
    EXPECT_EQ(r.state, DownloadState::kFailed);
    EXPECT_EQ(r.statusText, "下载失败");
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.path.empty());
    EXPECT_TRUE(PartFiles().empty());
}

TEST_F(HistoryFlowTest, DownloadedSongsAreMarkedAndAskedAboutBeforeTheyAreDownloadedAgain) {
    StartProgram();
    DownloadByTitle("Morning", "Morning Light", 1);
    ASSERT_EQ(Status(0), "下载完成");
    // The finished download marks its row at once.
    const int row = ResultRow("Morning Light");
    EXPECT_EQ(model.cellText(app::kResultList, row, download::kMarkColumn), download::kMarkDownloaded);

    // A new search marks it again, and only it.
    Search("Morning");
    for (int r = 0; r < model.rowCount(app::kResultList); ++r) {
        EXPECT_EQ(model.cellText(app::kResultList, r, download::kMarkColumn),
                  r == ResultRow("Morning Light") ? download::kMarkDownloaded : "")
            << model.cellText(app::kResultList, r, 1);
    }

    // The same tier again: the question, answered "跳过" (its default).
    const std::size_t boxes = MessageBoxes().size();
    QueueFromTierWindow(ResultRow("Morning Light"), 1);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(MessageBoxes().size(), boxes + 1);
    const ui::MessageBoxRequest q = MessageBoxes().back();
    EXPECT_EQ(q.buttons(), (std::vector<std::string>{"重新下载", "跳过"}));
    EXPECT_NE(q.text.find(saveDir + "Morning Light - Nora Vale .mp3"), std::string::npos) << q.text;
    EXPECT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_FALSE(model.visible(app::kTierPanel));

    // "重新下载": a second file.
    model.queueAnswer("重新下载");
    QueueFromTierWindow(ResultRow("Morning Light"), 1);
    ASSERT_TRUE(WaitIdle(60s));
    ASSERT_EQ(model.rowCount(app::kDownloadList), 2);
    EXPECT_EQ(Status(1), "下载完成");
    EXPECT_EQ(SavedNames().size(), 2u);

    // Another tier of the same song is no duplicate: no question.
    const std::size_t before = MessageBoxes().size();
    QueueFromTierWindow(ResultRow("Morning Light"), 0);
    ASSERT_TRUE(WaitIdle(60s));
    EXPECT_EQ(MessageBoxes().size(), before);
    EXPECT_EQ(model.rowCount(app::kDownloadList), 3);

    // Once its files are gone the song is not downloaded any more.
    for (const auto& name : SavedNames()) fs::remove(saveDir + name);
    Search("Morning");
    EXPECT_EQ(model.cellText(app::kResultList, ResultRow("Morning Light"), download::kMarkColumn), "");
}

TEST_F(HistoryFlowTest, AFinishedRowWhoseFileIsGoneSaysSoOnPlayAndOnOpenFolder) {
    StartProgram();
    RecordShown();
    DownloadByTitle("Morning", "Morning Light", 1);
    RowMenu(0, search::kMenuOpenFolder);
    ASSERT_EQ(Shown(), std::vector<std::string>{saveDir + "Morning Light - Nora Vale .mp3"});

    fs::remove(saveDir + "Morning Light - Nora Vale .mp3");
    std::size_t boxes = MessageBoxes().size();
    RowMenu(0, search::kMenuOpenFolder);
    EXPECT_EQ(Shown().size(), 1u);
    ASSERT_EQ(MessageBoxes().size(), boxes + 1);
    EXPECT_NE(MessageBoxes().back().text.find("文件已丢失"), std::string::npos);
    EXPECT_EQ(Status(0), "文件已丢失");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusMissing);

    RowMenu(0, search::kMenuPlayFile);
    ASSERT_EQ(MessageBoxes().size(), boxes + 2);
    EXPECT_NE(MessageBoxes().back().text.find(saveDir + "Morning Light - Nora Vale .mp3"), std::string::npos);
    Fire(app::kDownloadList, ui::EventType::RowDoubleClick, 0);
    EXPECT_EQ(MessageBoxes().size(), boxes + 3);
}

TEST_F(HistoryFlowTest, CancelStopsTheTransferAtOnceAndRemovesThePartFile) {
    SlowAudio();
    StartProgram();
    QueueAndWaitForTransfer("晴天", "晴天里的风", 2);
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    EXPECT_TRUE(MenuEnabled(download::kMenuCancel));
    EXPECT_TRUE(MenuEnabled(download::kMenuPause));
    EXPECT_FALSE(MenuEnabled(download::kMenuRetry));
    EXPECT_FALSE(MenuEnabled(download::kMenuContinue));
    Menu(app::kDownloadMenu, download::kMenuCancel);
    // The row says so before the transfer has even noticed.
    EXPECT_EQ(Status(0), "已取消");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Status(0), "已取消");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusCancelled);
    EXPECT_EQ(model.rowProgress(app::kDownloadList, 0), -1);
    EXPECT_TRUE(SavedNames().empty()) << ::testing::PrintToString(SavedNames());
    library::DownloadRecord r = RecordOfRow(0);
    EXPECT_EQ(r.state, DownloadState::kCancelled);
    EXPECT_EQ(r.resume, library::ResumeState{});
    // A cancelled row can be tried again.
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    EXPECT_TRUE(MenuEnabled(download::kMenuRetry));
    EXPECT_FALSE(MenuEnabled(download::kMenuPause));
}

TEST_F(HistoryFlowTest, CancelWhileTheAddressIsAskedForDownloadsNothing) {
    democat::Fault late;
    late.delay_ms = 1500;
    catalogue.faults().Set(Endpoint::kTrackAddress, late);
    StartProgram();
    Search("Morning");
    QueueFromTierWindow(ResultRow("Morning Light"), 1);
    ASSERT_TRUE(WaitFor([&] { return model.rowCount(app::kDownloadList) == 1; }));
    const int audioBefore = catalogue.stats().Count(Endpoint::kAudio);
    RowMenu(0, download::kMenuCancel);
    EXPECT_EQ(Status(0), "已取消");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Status(0), "已取消");
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kAudio), audioBefore);
    EXPECT_TRUE(SavedNames().empty());
}

TEST_F(HistoryFlowTest, PauseKeepsThePartFileAndContinueFinishesTheDownload) {
    SlowAudio();
    StartProgram();
    QueueAndWaitForTransfer("晴天", "晴天里的风", 2);
    RowMenu(0, download::kMenuPause);
    EXPECT_EQ(Status(0), "已暂停");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Status(0), "已暂停");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusPaused);
    auto parts = PartFiles();
    ASSERT_EQ(parts.size(), 1u);
    library::DownloadRecord paused = RecordOfRow(0);
    EXPECT_EQ(paused.state, DownloadState::kPaused);
    EXPECT_EQ(paused.resume.partPath, parts[0]);

    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    EXPECT_TRUE(MenuEnabled(download::kMenuContinue));
    EXPECT_TRUE(MenuEnabled(download::kMenuCancel));
    EXPECT_FALSE(MenuEnabled(download::kMenuPause));
    catalogue.faults().ClearAll();
    const std::int64_t kept = sys::FileSize(parts[0]);
    Menu(app::kDownloadMenu, download::kMenuContinue);
    ASSERT_TRUE(WaitIdle(60s));
    EXPECT_EQ(Status(0), "下载完成");
    // It went on from the part file.
    EXPECT_EQ(catalogue.stats().Last(Endpoint::kAudio)->Header("Range"), "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(model.rowCount(app::kDownloadList), 1);  // the same row
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"晴天里的风 - 林小雨 .flac"});
    EXPECT_EQ(FlacFrames(Saved("晴天里的风 - 林小雨 .flac")), FlacFrames(ServerAudio(1, Tier::kLossless)));
    EXPECT_EQ(RecordOfRow(0).state, DownloadState::kDone);
}

TEST_F(HistoryFlowTest, CancellingAPausedRowRemovesItsPartFile) {
    SlowAudio();
    StartProgram();
    QueueAndWaitForTransfer("晴天", "晴天里的风", 2);
    RowMenu(0, download::kMenuPause);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(PartFiles().size(), 1u);
    RowMenu(0, download::kMenuCancel);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Status(0), "已取消");
    EXPECT_TRUE(PartFiles().empty());
    EXPECT_EQ(RecordOfRow(0).state, DownloadState::kCancelled);
}

TEST_F(HistoryFlowTest, RetryAfterTheAddressExpiredAsksForAFreshOne) {
    StartProgram();
    // Every address handed out is dead on arrival.
    catalogue.faults().SetAddressLifetime(std::chrono::milliseconds(-1));
    DownloadByTitle("Morning", "Morning Light", 1);
    ASSERT_EQ(Status(0), "下载失败");
    const int addresses = catalogue.stats().Count(Endpoint::kTrackAddress);
    const std::string deadUrl = catalogue.stats().Last(Endpoint::kAudio)->target;

    catalogue.faults().SetAddressLifetime(std::chrono::milliseconds(0));
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    ASSERT_TRUE(MenuEnabled(download::kMenuRetry));
    Menu(app::kDownloadMenu, download::kMenuRetry);
    EXPECT_EQ(Status(0), "排队中");
    ASSERT_TRUE(WaitIdle(60s));
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), addresses + 1);
    EXPECT_NE(catalogue.stats().Last(Endpoint::kAudio)->target, deadUrl);
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"Morning Light - Nora Vale .mp3"});
    EXPECT_EQ(AfterId3(Saved("Morning Light - Nora Vale .mp3")), ServerAudio(2, Tier::kHigh));
    EXPECT_EQ(RecordOfRow(0).state, DownloadState::kDone);
}

TEST_F(HistoryFlowTest, RetryAllTriesEveryFailedRowAgain) {
    democat::Fault gone;
    gone.http_status = 500;
    catalogue.faults().Set(Endpoint::kAudio, gone);
    StartProgram();
    Search("Morning");
    QueueFromTierWindow(ResultRow("Morning Light"), 1);
    ASSERT_TRUE(WaitIdle());
    QueueFromTierWindow(ResultRow("Morning Light"), 0);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(Column(app::kDownloadList, 1), (std::vector<std::string>{"下载失败", "下载失败"}));
    catalogue.faults().ClearAll();
    RowMenu(1, download::kMenuRetryAll);
    ASSERT_TRUE(WaitIdle(60s));
    EXPECT_EQ(Column(app::kDownloadList, 1), (std::vector<std::string>{"下载完成", "下载完成"}));
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    EXPECT_FALSE(MenuEnabled(download::kMenuRetryAll));
}

TEST_F(HistoryFlowTest, DownloadAllLeavesOutDownloadedSongsUnlessToldOtherwise) {
    StartProgram();
    Click(app::kImportQQ);
    model.setText(app::kPlaylistLink, catalogue.BaseUrl() + "/share/qq/s/8001");
    Click(app::kPlaylistImport);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 12);
    model.setChecked(app::kPlaylistBestTier, false);  // the standard tier of each
    Fire(app::kResultList, ui::EventType::RowRightClick, 4);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    ASSERT_TRUE(WaitIdle(60s));
    ASSERT_EQ(Status(0), "下载完成");
    EXPECT_EQ(model.cellText(app::kResultList, 4, download::kMarkColumn), download::kMarkDownloaded);

    ASSERT_TRUE(model.checked(app::kCheckSkipDownloaded));
    const std::string firstRow = model.cellText(app::kDownloadList, 0, 0);
    Menu(app::kTrackMenu, search::kMenuDownloadAll);
    ASSERT_TRUE(WaitIdle(120s));
    EXPECT_EQ(model.rowCount(app::kDownloadList), 12);  // 1 + the 11 others
    auto rows = Column(app::kDownloadList, 0);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), firstRow), 1);

    model.setChecked(app::kCheckSkipDownloaded, false);
    Click(app::kCheckSkipDownloaded);
    std::string ini;
    sys::ReadFile(configPath, ini);
    EXPECT_NE(ini.find("跳过已下载=0"), std::string::npos) << ini;
    auto questions = [&] {
        // The playlist file's box (code:200) tells; it asks nothing.
        const auto boxes = MessageBoxes();
        return std::count_if(boxes.begin(), boxes.end(), [](const auto& b) { return b.title != "code:200"; });
    };
    const auto asked = questions();
    Menu(app::kTrackMenu, search::kMenuDownloadAll);
    ASSERT_TRUE(WaitIdle(120s));
    EXPECT_EQ(model.rowCount(app::kDownloadList), 24);
    EXPECT_EQ(questions(), asked);  // nobody was asked
}

TEST_F(HistoryFlowTest, TheHistoryIsListedNewestFirstAndAPageMoreOnEachScrollPastTheEnd) {
    {
        auto store = library::HistoryStore::Start(library::HistoryStore::PathIn(dataDir));
        for (int i = 1; i <= 1200; ++i) {
            library::DownloadRecord r;
            r.id = store->NewId();
            r.rowText = "Song " + std::to_string(i) + "\r\n[Album]";
            r.badge = app::kImgBadgeStandard;
            r.state = i % 3 == 0 ? DownloadState::kFailed : DownloadState::kCancelled;
            r.statusText = i % 3 == 0 ? "下载失败" : "";
            store->Insert(r);
        }
    }
    StartProgram();
    ASSERT_EQ(model.rowCount(app::kDownloadList), download::kHistoryPageRows);
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 0), "Song 1200\r\n[Album]");
    EXPECT_EQ(Status(0), "下载失败");
    EXPECT_EQ(Status(1), "已取消");
    EXPECT_EQ(model.cellText(app::kDownloadList, 499, 0), "Song 701\r\n[Album]");

    // A download of this run goes below the listed history.
    DownloadByTitle("Morning", "Morning Light", 1);
    ASSERT_EQ(model.rowCount(app::kDownloadList), 501);
    EXPECT_EQ(Status(500), "下载完成");

    // Older pages come in at the end, below this run's rows: rows never move.
    Fire(app::kDownloadList, ui::EventType::ScrolledPastEnd);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1001);
    EXPECT_EQ(model.cellText(app::kDownloadList, 501, 0), "Song 700\r\n[Album]");
    EXPECT_EQ(model.cellText(app::kDownloadList, 1000, 0), "Song 201\r\n[Album]");
    EXPECT_EQ(Status(500), "下载完成");
    Fire(app::kDownloadList, ui::EventType::ScrolledPastEnd);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1201);
    EXPECT_EQ(model.cellText(app::kDownloadList, 1200, 0), "Song 1\r\n[Album]");
    Fire(app::kDownloadList, ui::EventType::ScrolledPastEnd);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kDownloadList), 1201);

    // The row of this run is still the one its commands act on.
    RecordShown();
    RowMenu(500, search::kMenuOpenFolder);
    EXPECT_EQ(Shown(), std::vector<std::string>{saveDir + "Morning Light - Nora Vale .mp3"});
}

TEST_F(HistoryFlowTest, TheSimultaneousDownloadsSettingLimitsTheDownloadPool) {
    extraConfig = "[下载管理]\n同时下载数=3\n";
    StartProgram();
    EXPECT_EQ(model.selection(app::kParallelCombo), 2);
    EXPECT_EQ(model.comboCount(app::kParallelCombo), 10);
    EXPECT_EQ(ctx->downloadPool.MaxWorkers(), 3);
    model.setSelection(app::kParallelCombo, 0);
    Fire(app::kParallelCombo, ui::EventType::ComboChanged, 0);
    EXPECT_EQ(ctx->downloadPool.MaxWorkers(), 1);
    std::string ini;
    sys::ReadFile(configPath, ini);
    EXPECT_NE(ini.find("同时下载数=1"), std::string::npos) << ini;
}

TEST_F(HistoryFlowTest, TheSimultaneousDownloadsSettingDefaultsToThePoolSize) {
    extraConfig = "[下载管理]\n同时下载数=many\n";
    StartProgram();
    EXPECT_EQ(model.selection(app::kParallelCombo), 9);
    EXPECT_EQ(ctx->downloadPool.MaxWorkers(), 10);
}

}  // namespace
}  // namespace mm::test
