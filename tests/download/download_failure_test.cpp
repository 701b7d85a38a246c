// Failures of the address step and the download job, in both list modes, and
// lists replaced while a download waits.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "democatalogue/faults.h"
#include "search/list_lock.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using democat::Fault;

class DownloadFailureTest : public DownloadFlowTest {
protected:
    // Lists the search results as if they were an imported playlist.
    void EnterPlaylistMode() {
        auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lk);
        ctx->playlist = ctx->searchResults;
        ctx->playlistMode = true;
        ctx->listGeneration.fetch_add(1);
    }
    // Queues the only listed row at the standard tier and waits.
    void QueueFirstRow() {
        QueueFromTierWindow(0, 0);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    }
    int AddressRequests() { return catalogue.stats().Count(Endpoint::kTrackAddress); }
};

TEST_F(DownloadFailureTest, ServiceErrorShowsItsMessageBoxInSearchMode) {
    StartProgram();
    Search("Morning");
    Fault f;
    f.code = 500;
    f.msg = "服务暂时不可用呢";
    catalogue.faults().Set(Endpoint::kTrackAddress, f);
    QueueFirstRow();
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:500");
    EXPECT_EQ(boxes[0].text, "服务暂时不可用呢");
    EXPECT_EQ(boxes[0].button, "好的");
    // The row ends with the message too, not blank as if still running.
    EXPECT_EQ(Status(0), "服务暂时");
    EXPECT_TRUE(SavedNames().empty());
    EXPECT_EQ(model.text(app::kDownloadCount), "1");
}

TEST_F(DownloadFailureTest, ServiceErrorInPlaylistModeShowsEightBytesOfTheMessageInTheRow) {
    StartProgram();
    Search("Morning");
    EnterPlaylistMode();
    Fault f;
    f.code = 403;
    f.msg = "服务暂时不可用呢";
    catalogue.faults().Set(Endpoint::kTrackAddress, f);
    QueueFirstRow();
    EXPECT_EQ(Status(0), "服务暂时");  // 8 GBK bytes: four Chinese characters
    EXPECT_EQ(StatusIcon(0), app::kImgStatusServiceFailed);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SavedNames().empty());

    // A Latin message is cut at 8 bytes, a mixed one never inside a character.
    f.msg = "abc晴天里的风";
    catalogue.faults().Set(Endpoint::kTrackAddress, f);
    QueueFirstRow();
    EXPECT_EQ(Status(1), "abc晴天");
}

TEST_F(DownloadFailureTest, NonJsonReplyIsAConnectionFailureInBothModes) {
    StartProgram();
    Search("Morning");
    Fault html;
    html.body = democat::BodyKind::kHtml;
    catalogue.faults().Set(Endpoint::kTrackAddress, html);
    QueueFirstRow();
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:886");
    EXPECT_EQ(boxes[0].text, "数据获取失败，请检查网络连接！");
    // The row ends too: a blank status would count as a download still running.
    EXPECT_EQ(Status(0), "连接失败");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusConnectFailed);

    EnterPlaylistMode();
    Fault garbage;
    garbage.body = democat::BodyKind::kGarbage;
    catalogue.faults().Set(Endpoint::kTrackAddress, garbage);
    QueueFirstRow();
    EXPECT_EQ(Status(1), "连接失败");
    EXPECT_EQ(StatusIcon(1), app::kImgStatusConnectFailed);
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_TRUE(SavedNames().empty());
}

TEST_F(DownloadFailureTest, EmptyAddressIsAParseFailure) {
    StartProgram();
    DownloadByTitle("空地址", "空地址", 1);
    EXPECT_EQ(Status(0), "解析失败");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusParseFailed);
    EXPECT_TRUE(SavedNames().empty());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kAudio), 0);
}

TEST_F(DownloadFailureTest, ConnectionResetMidBodyKeepsOnlyThePartFileAndSaysWhy) {
    StartProgram();
    Search("晴天");
    Fault reset;
    reset.reset_mid_body = true;
    reset.times = 1;
    catalogue.faults().Set(Endpoint::kAudio, reset);
    QueueFromTierWindow(ResultRow("晴天里的风"), 2);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(0), "下载失败");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusFailed);
    EXPECT_EQ(model.cellTip(app::kDownloadList, 0, 1), "连接被重置");
    EXPECT_EQ(model.rowProgress(app::kDownloadList, 0), -1);
    // Never a file under the song's name; the bytes that came wait for a resume.
    const std::string part = "晴天里的风 - 林小雨 .flac.part";
    ASSERT_EQ(SavedNames(), std::vector<std::string>{part});
    const std::string served = ServerAudio(1, democat::Tier::kLossless);
    const std::string kept = Saved(part);
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), served.size());
    EXPECT_EQ(kept, served.substr(0, kept.size()));

    // An error status is a failure too, its body never lands, and it says so.
    Fault gone;
    gone.http_status = 404;
    catalogue.faults().Set(Endpoint::kAudio, gone);
    Search("Morning");
    QueueFromTierWindow(0, 1);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(1), "下载失败");
    EXPECT_EQ(model.cellTip(app::kDownloadList, 1, 1), "服务器返回 HTTP 404");
    EXPECT_EQ(SavedNames(), std::vector<std::string>{part});
}

TEST_F(DownloadFailureTest, ListReplacedDuringTheAddressRequestDownloadsWhatWasQueuedAndTouchesNoNewRow) {
    StartProgram();
    Search("Morning");
    Fault slow;
    slow.delay_ms = 800;
    catalogue.faults().Set(Endpoint::kTrackAddress, slow);
    QueueFromTierWindow(0, 1);
    // The queueing task has run (its row is listed) and its request waits on
    // the slow service; now a new search replaces the list.
    for (int i = 0; i < 1000 && model.rowCount(app::kDownloadList) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1);
    Search("晴天");
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    // The download carries its own song and reply: the new list changes nothing.
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(SavedNames(), std::vector<std::string>{"Morning Light - Nora Vale .mp3"});
    auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
    EXPECT_TRUE(lk);
    ASSERT_FALSE(ctx->searchResults.empty());
    EXPECT_EQ(ctx->searchResults[0].fileUrl, "");
}

TEST_F(DownloadFailureTest, ListReplacedBeforeTheJobRunsStillDownloadsWhatWasQueued) {
    StartProgram();
    Search("Morning");
    ctx->downloadPool.Pause();
    QueueFromTierWindow(0, 1);
    // Wait for the address to arrive; the job then waits in the paused pool.
    for (int i = 0; i < 1000 && ctx->downloadPool.Queued() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(ctx->downloadPool.Queued(), 1);
    // A new search; the fixture's Search() would wait for the paused pool too.
    unsigned before = ctx->listGeneration.load();
    model.setText(app::kSearchBox, "晴天");
    Click(app::kSearchButton);
    for (int i = 0; i < 1000 && !(ctx->listGeneration.load() != before && ctx->searchPool.IsIdle()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(ctx->listGeneration.load(), before);
    ctx->downloadPool.Resume();
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(SavedNames(), std::vector<std::string>{"Morning Light - Nora Vale .mp3"});
}

TEST_F(DownloadFailureTest, RowOutsideTheListQueuesNothing) {
    StartProgram();
    Search("Morning");
    ASSERT_TRUE(ctx->actions.downloadAtTier);
    ctx->actions.downloadAtTier(1, 99);
    ctx->actions.downloadAtTier(1, 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0);
    EXPECT_EQ(model.text(app::kDownloadCount), "0");
    EXPECT_EQ(AddressRequests(), 0);
}

TEST_F(DownloadFailureTest, DownloadAllQueuesEveryRowInItsBestTier) {
    StartProgram();
    Search("测试歌手");
    int rows = model.rowCount(app::kResultList);
    ASSERT_GE(rows, 5);
    EnterPlaylistMode();
    model.setChecked(app::kPlaylistBestTier, true);
    ASSERT_TRUE(ctx->actions.downloadAll);
    ctx->actions.downloadAll();
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(120)));
    ASSERT_EQ(model.rowCount(app::kDownloadList), rows);
    // Counted down by every job that tagged (or tried to); the empty address was not.
    EXPECT_EQ(model.text(app::kDownloadCount), "1");
    // Each listed track was asked for in its best tier.
    std::multiset<std::string> asked, expected;
    for (const auto& r : catalogue.stats().Requests(Endpoint::kTrackAddress)) asked.insert(r.body);
    {
        auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lk);
        for (const auto& rec : ctx->playlist) {
            expected.insert("mid=" + rec.mid[rec.bestTier] + "&pmid=" + rec.pmid[rec.bestTier] +
                            "&q=" + std::to_string(rec.bestTier) + "&lyr=true");
        }
    }
    EXPECT_EQ(asked, expected);
    int done = 0;
    for (int r = 0; r < rows; ++r) {
        std::string s = Status(r);
        EXPECT_TRUE(s == "下载完成" || s == "解析失败" || s == "下载完成(实为MP3)" || s == "音质不符: 128K")
            << r << ": " << s;
        done += s != "解析失败";
    }
    EXPECT_EQ(done, rows - 1);
    EXPECT_EQ(static_cast<int>(SavedNames().size()), rows - 1);  // all but the empty address
}

TEST_F(DownloadFailureTest, OpenFolderShowsTheFileTheJobReallyWroteOffTheUiThread) {
    std::mutex mu;
    std::vector<std::string> shown;
    std::thread::id uiThread;
    OnUi([&] { uiThread = std::this_thread::get_id(); });
    bool offUi = true;
    ctx->shell.showInFolder = [&](const std::string& path) {
        std::lock_guard lk(mu);
        shown.push_back(path);
        offUi = offUi && std::this_thread::get_id() != uiThread;
        return true;
    };
    StartProgram();
    DownloadByTitle("Morning", "Morning Light", 0);
    QueueFromTierWindow(ResultRow("Morning Light"), 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    auto names = SavedNames();
    ASSERT_EQ(names.size(), 2u);
    for (int row : {0, 1}) {
        Fire(app::kDownloadList, ui::EventType::RowRightClick, row);
        EXPECT_TRUE(model.isMenuPoppedUp(app::kDownloadMenu));
        Menu(app::kDownloadMenu, 12);
        ASSERT_TRUE(WaitIdle());
    }
    std::lock_guard lk(mu);
    // The second row's file is the dated one, not the name the row shows.
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], saveDir + names[0]);
    EXPECT_EQ(shown[1], saveDir + names[1]);
    EXPECT_TRUE(offUi) << "the desktop's helpers can take seconds: never on the UI thread";
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(DownloadFailureTest, OpenFolderThatOpensNothingSaysSoWithTheFolder) {
    std::atomic<int> asked{0};
    ctx->shell.showInFolder = [&](const std::string&) {
        ++asked;
        return false;  // no file manager, no xdg-open
    };
    StartProgram();
    DownloadByTitle("Morning", "Morning Light", 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    auto names = SavedNames();
    ASSERT_EQ(names.size(), 1u);

    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    Menu(app::kDownloadMenu, 12);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(asked.load(), 1);
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:404");
    EXPECT_EQ(boxes[0].text, "无法打开目录，请检查是否安装了文件管理器：\r\n" + saveDir);
    EXPECT_EQ(boxes[0].button, "好的");

    // The file is gone: nothing to show, and the box says why.
    std::filesystem::remove(saveDir + names[0]);
    Fire(app::kDownloadList, ui::EventType::RowRightClick, 0);
    Menu(app::kDownloadMenu, 12);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(asked.load(), 1);
    boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "文件已丢失，它可能已被删除或移动：\r\n" + saveDir + names[0]);
}

}  // namespace
}  // namespace mm::test
