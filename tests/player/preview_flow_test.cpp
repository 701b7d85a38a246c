// The preview player, headless on the no-sound device against the demo catalogue.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "platform/sys/files.h"
#include "resources/resources.h"
#include "search/track_menu.h"
#include "tests/flow/flow_fixture.h"

using namespace mm;
using namespace std::chrono_literals;
using mm::democat::Endpoint;
using ui::EventType;

namespace {

class PreviewFlow : public test::FlowFixture {
protected:
    void StartWith(const std::string& config = {}) {
        extraConfig = config;
        StartProgram();
        Search("demo");
        ASSERT_GE(model.rowCount(app::kResultList), 20);
    }
    void DoubleClick(int row) {
        Fire(app::kResultList, EventType::RowDoubleClick, row);
        ASSERT_TRUE(WaitIdle());
    }
    // One second of playback and the tick that follows it.
    std::string TickSecond() {
        clock->Advance(1s);
        Fire(app::kTimerPlay, EventType::TimerTick);
        return model.text(app::kPlayerTime);
    }
    std::string Title(int row) {
        const auto& t = ctx->searchResults.at(static_cast<size_t>(row));
        return t.title + " - " + t.singer;
    }
    bool ShowsPause() { return model.picture(app::kPlayerPlay) == std::string(Resource("pause.png")); }
};

TEST_F(PreviewFlow, CountsDownToTheEnd) {
    StartWith();
    DoubleClick(0);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(0));
    std::string length = model.text(app::kPlayerTime);
    const auto& song = catalogue.songs().at(0);
    EXPECT_EQ(length, song.Time()) << "the stream's length as the catalogue lists it";
    EXPECT_GT(model.maximum(app::kPlayerProgress), 0);
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000);
    EXPECT_EQ(model.interval(app::kTimerCoverSpin), 100);
    EXPECT_TRUE(ShowsPause());
    EXPECT_TRUE(model.visible(app::kPlayerBadgeStandard));
    EXPECT_TRUE(model.visible(app::kPlayerDownload));
    EXPECT_NE(model.picture(app::kPlayerCover), model.image(app::kImgDefaultCover)) << "the track's own cover";

    int seconds = std::stoi(length.substr(0, 2)) * 60 + std::stoi(length.substr(3, 2));
    std::string previous = length;
    int ticks = 0;
    for (; ticks < seconds + 5 && model.text(app::kPlayerTitle) != "播放完毕"; ++ticks) {
        std::string now = TickSecond();
        if (now != "00:00") {
            int left = std::stoi(now.substr(0, 2)) * 60 + std::stoi(now.substr(3, 2));
            int before = std::stoi(previous.substr(0, 2)) * 60 + std::stoi(previous.substr(3, 2));
            EXPECT_EQ(left, before - 1) << "tick " << ticks;
        }
        previous = now;
    }
    EXPECT_EQ(ticks, seconds) << "one tick a second down to 00:00";
    EXPECT_EQ(model.text(app::kPlayerTime), "00:00");
    EXPECT_EQ(model.text(app::kPlayerTitle), "播放完毕");
    EXPECT_EQ(model.interval(app::kTimerPlay), 0);
    EXPECT_EQ(model.interval(app::kTimerCoverSpin), 0);
    EXPECT_EQ(model.maximum(app::kPlayerProgress), 0);
    EXPECT_FALSE(ShowsPause());
}

TEST_F(PreviewFlow, PauseHoldsAndSeekMoves) {
    StartWith();
    DoubleClick(1);
    std::string length = model.text(app::kPlayerTime);
    TickSecond();
    TickSecond();
    std::string atTwo = TickSecond();
    Click(app::kPlayerPlay);  // pause
    EXPECT_FALSE(ShowsPause());
    Fire(app::kTimerCoverSpin, EventType::TimerTick);
    int angle = model.angle(app::kPlayerCover);
    EXPECT_EQ(TickSecond(), atTwo);
    EXPECT_EQ(TickSecond(), atTwo) << "paused: the time stands still";
    Fire(app::kTimerCoverSpin, EventType::TimerTick);
    EXPECT_EQ(model.angle(app::kPlayerCover), angle) << "paused: the cover stands still";
    Fire(app::kPlayerProgress, EventType::SliderChanged, model.maximum(app::kPlayerProgress) / 2);
    EXPECT_EQ(model.position(app::kPlayerProgress), 0) << "seeking while paused puts the slider back";

    Click(app::kPlayerPlay);  // play again
    EXPECT_TRUE(ShowsPause());
    Fire(app::kTimerCoverSpin, EventType::TimerTick);
    EXPECT_EQ(model.angle(app::kPlayerCover), angle + 1);
    int total = std::stoi(length.substr(0, 2)) * 60 + std::stoi(length.substr(3, 2));
    Fire(app::kPlayerProgress, EventType::SliderChanged, model.maximum(app::kPlayerProgress) / 2);
    Fire(app::kTimerPlay, EventType::TimerTick);
    std::string half = model.text(app::kPlayerTime);
    int left = std::stoi(half.substr(0, 2)) * 60 + std::stoi(half.substr(3, 2));
    EXPECT_NEAR(left, total / 2, 1) << half;
}

TEST_F(PreviewFlow, NextOnTheLastRowAndPreviousOnTheFirstReplayTheRow) {
    extraConfig = "[其他设置]\n边听边下载=0\n";
    StartProgram();
    Search("Nora");  // a short list
    int rows = model.rowCount(app::kResultList);
    ASSERT_GE(rows, 2);
    DoubleClick(0);
    int asked = catalogue.stats().Count(Endpoint::kTrackAddress);
    Click(app::kPlayerPrevious);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), asked + 1);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(0));

    Fire(app::kResultList, EventType::RowDoubleClick, rows - 1);
    ASSERT_TRUE(WaitIdle());
    Click(app::kPlayerNext);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(rows - 1));
    Click(app::kPlayerPrevious);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(rows - 2));
    EXPECT_EQ(model.selection(app::kResultList), rows - 2);
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0) << "listening without downloading";
}

TEST_F(PreviewFlow, ExpiredStreamPlaysFromMemoryAndAMissingAddressSkips) {
    StartWith();
    democat::Fault once;
    once.http_status = 403;
    once.times = 1;
    catalogue.faults().Set(Endpoint::kAudio, once);
    DoubleClick(2);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(2)) << "played through the in-memory fallback";
    EXPECT_TRUE(ShowsPause());
    EXPECT_NE(model.text(app::kPlayerTime), "00:00");

    democat::Fault refused;
    refused.code = 500;
    refused.msg = "服务繁忙";
    refused.times = 1;
    catalogue.faults().Set(Endpoint::kTrackAddress, refused);
    DoubleClick(5);
    auto boxes = MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().title, "code:500");
    EXPECT_EQ(boxes.back().text, "服务繁忙");
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(6)) << "the row without an address is skipped";
    EXPECT_EQ(model.selection(app::kResultList), 6);
}

TEST_F(PreviewFlow, StartWhileATaskRunsIsIgnoredAndListeningQueuesADownload) {
    StartWith();
    democat::Fault slow;
    slow.delay_ms = 800;
    slow.times = 1;
    catalogue.faults().Set(Endpoint::kTrackAddress, slow);
    int asked = catalogue.stats().Count(Endpoint::kTrackAddress);
    Fire(app::kResultList, EventType::RowDoubleClick, 3);
    Fire(app::kResultList, EventType::RowDoubleClick, 4);
    Fire(app::kResultList, EventType::RowDoubleClick, 5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(3));
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), asked + 1) << "the later starts were dropped";
    // "边听边下载" is on by default: the previewed track is queued in the standard tier.
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_EQ(model.cellIcon(app::kDownloadList, 0, 0), app::kImgBadgeStandard);
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), "下载完成");
}

TEST_F(PreviewFlow, DownloadedFilesPlayWithTheirTagCovers) {
    StartWith("[其他设置]\n边听边下载=0\n");
    // A lossless and a standard download of two rows.
    int flacRow = -1;
    for (int r = 0; r < 20 && flacRow < 0; ++r) {
        if (ctx->searchResults[static_cast<size_t>(r)].bestTier == 2 &&
            !ctx->searchResults[static_cast<size_t>(r)].coverUrl.empty()) {
            flacRow = r;
        }
    }
    ASSERT_GE(flacRow, 0);
    Fire(app::kResultList, EventType::RowRightClick, flacRow);
    Menu(app::kTrackMenu, search::kMenuTierLossless);
    ASSERT_TRUE(WaitIdle());
    Fire(app::kResultList, EventType::RowRightClick, flacRow == 0 ? 1 : 0);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kDownloadList), 2);
    ASSERT_EQ(model.cellText(app::kDownloadList, 0, 1), "下载完成");
    ASSERT_EQ(model.cellText(app::kDownloadList, 1, 1), "下载完成");

    for (int row : {0, 1}) {
        SCOPED_TRACE(row);
        Fire(app::kDownloadList, EventType::RowDoubleClick, row);
        ASSERT_TRUE(WaitIdle());
        std::string first = model.cellText(app::kDownloadList, row, 0);
        EXPECT_EQ(model.text(app::kPlayerTitle), first.substr(0, first.find("\r\n")));
        EXPECT_TRUE(ShowsPause());
        EXPECT_NE(model.picture(app::kPlayerCover), model.image(app::kImgDefaultCover)) << "the cover from the tags";
        EXPECT_NE(model.text(app::kPlayerTime), "00:00");
    }

    // A file that is there but no audio: the player's own message.
    std::string first = model.cellText(app::kDownloadList, 0, 0);
    std::string file;
    for (const auto& entry : std::filesystem::directory_iterator(saveDir)) {
        if (entry.path().filename().string().rfind(first.substr(0, first.find("\r\n")), 0) == 0) file = entry.path();
    }
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(sys::WriteFileAtomic(file, "no audio at all"));
    size_t before = MessageBoxes().size();
    Fire(app::kDownloadList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(WaitIdle());
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().title, "code:886");
    EXPECT_EQ(boxes.back().text, "播放失败！本地文件可能损坏。请重新下载试试吧！");

    // The file is gone: the message says so, the row too, and nothing plays.
    for (const auto& entry : std::filesystem::directory_iterator(saveDir)) std::filesystem::remove(entry.path());
    before = MessageBoxes().size();
    Fire(app::kDownloadList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(WaitIdle());
    boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().text.rfind("文件已丢失", 0), 0u) << boxes.back().text;
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 1), "文件已丢失");
}

TEST_F(PreviewFlow, MuteRemembersTheVolume) {
    StartWith();
    DoubleClick(0);
    model.setPosition(app::kPlayerVolume, 40);
    Fire(app::kPlayerVolume, EventType::SliderChanged, 40);
    Click(app::kPlayerMute);
    EXPECT_EQ(model.position(app::kPlayerVolume), 0);
    EXPECT_EQ(model.picture(app::kPlayerMute), std::string(Resource("muted.png")));
    Click(app::kPlayerMute);
    EXPECT_EQ(model.position(app::kPlayerVolume), 40);
    EXPECT_EQ(model.picture(app::kPlayerMute), std::string(Resource("volume.png")));
}

}  // namespace

namespace {

TEST_F(PreviewFlow, ANewSearchDuringTheAddressRequestStopsThePreview) {
    StartWith("[其他设置]\n边听边下载=0\n");
    democat::Fault slow;
    slow.delay_ms = 600;
    slow.times = 1;
    catalogue.faults().Set(Endpoint::kTrackAddress, slow);
    int asked = catalogue.stats().Count(Endpoint::kTrackAddress);
    Fire(app::kResultList, EventType::RowDoubleClick, 2);
    std::this_thread::sleep_for(150ms);
    Search("Nora");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), asked + 1) << "no song of the new list was asked";
    EXPECT_EQ(model.interval(app::kTimerPlay), 0) << "nothing plays";
    EXPECT_EQ(model.text(app::kPlayerTitle), "");
}

}  // namespace
