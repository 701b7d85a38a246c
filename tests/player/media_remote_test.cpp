// The preview player as the desktop's media controls drive it, headless: the
// commands run the bar's own handlers, so what the snapshot tells and what
// the bar shows never differ.
#include "player/media_remote.h"

#include <gtest/gtest.h>

#include "app/control_names.h"
#include "app/images.h"
#include "resources/resources.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using namespace std::chrono_literals;
using player::PlaybackStatus;
using ui::EventType;

class MediaRemoteFlow : public FlowFixture {
protected:
    void SetUp() override {
        StartProgram();
        Search("demo");
        ASSERT_GE(model.rowCount(app::kResultList), 20);
        remote = ctx->media.get();
        ASSERT_NE(remote, nullptr);
    }
    // A command from another thread (as the bus delivers it), then its effects.
    void Do(const std::function<void()>& command) {
        command();
        ASSERT_TRUE(WaitIdle());
    }
    bool ShowsPause() { return model.picture(app::kPlayerPlay) == std::string(Resource("pause.png")); }
    std::string Title(int row) {
        const auto& t = ctx->searchResults.at(size_t(row));
        return t.title + " - " + t.singer;
    }
    player::MediaRemote* remote = nullptr;
};

TEST_F(MediaRemoteFlow, NothingToControlBeforeTheFirstPreview) {
    const player::MediaSnapshot s = remote->Snapshot();
    EXPECT_EQ(s.status, PlaybackStatus::kStopped);
    EXPECT_EQ(s.serial, 0u);
    EXPECT_FALSE(s.canPlay || s.canPause || s.canSeek || s.canGoNext);
    Do([&] { remote->PlayPause(); });
    Do([&] { remote->Next(); });
    Do([&] { remote->SetPositionUs(5000000); });
    EXPECT_EQ(remote->Snapshot().status, PlaybackStatus::kStopped);
    EXPECT_EQ(model.text(app::kPlayerTitle), "");
}

TEST_F(MediaRemoteFlow, SnapshotFollowsTheBarThroughPauseSeekAndStop) {
    Fire(app::kResultList, EventType::RowDoubleClick, 2);
    ASSERT_TRUE(WaitIdle());
    player::MediaSnapshot s = remote->Snapshot();
    ASSERT_EQ(s.status, PlaybackStatus::kPlaying);
    const auto& t = ctx->searchResults[2];
    EXPECT_EQ(s.title, t.title);
    EXPECT_EQ(s.singer, t.singer);
    EXPECT_EQ(s.album, t.album);
    EXPECT_EQ(s.cover, t.cover.empty() ? model.image(app::kImgDefaultCover) : t.cover);
    EXPECT_TRUE(s.canSeek && s.canGoNext && s.canPause);
    const std::uint64_t serial = s.serial;

    // Seeking lands on the slider as a drag would; the time shown follows at the tick.
    Do([&] { remote->SetPositionUs(7500000); });
    EXPECT_EQ(remote->Snapshot().positionUs, 7500000);
    const double perSecond = model.maximum(app::kPlayerProgress) / (s.lengthUs / 1e6);
    EXPECT_NEAR(model.position(app::kPlayerProgress), 7.5 * perSecond, 4);
    Do([&] { remote->SeekUs(-10000000); });
    EXPECT_EQ(remote->Snapshot().positionUs, 0) << "before the start is the start";

    // Paused, the bar's slider does not seek, and neither does the remote.
    Do([&] { remote->Pause(); });
    EXPECT_FALSE(ShowsPause());
    EXPECT_EQ(remote->Snapshot().status, PlaybackStatus::kPaused);
    Do([&] { remote->Pause(); });
    EXPECT_EQ(remote->Snapshot().status, PlaybackStatus::kPaused) << "pause twice stays paused";
    clock->Advance(2s);
    Do([&] { remote->SetPositionUs(20000000); });
    EXPECT_EQ(remote->Snapshot().positionUs, 0);
    EXPECT_EQ(model.position(app::kPlayerProgress), 0);
    Do([&] { remote->Play(); });
    EXPECT_TRUE(ShowsPause());
    Do([&] { remote->Play(); });
    EXPECT_TRUE(ShowsPause()) << "play while playing changes nothing";

    // Stop ends as a finished track; play starts the same row again.
    Do([&] { remote->Stop(); });
    s = remote->Snapshot();
    EXPECT_EQ(s.status, PlaybackStatus::kStopped);
    EXPECT_EQ(model.interval(app::kTimerPlay), 0);
    EXPECT_EQ(model.maximum(app::kPlayerProgress), 0);
    EXPECT_FALSE(ShowsPause());
    EXPECT_TRUE(s.canPlay);
    Do([&] { remote->PlayPause(); });
    s = remote->Snapshot();
    EXPECT_EQ(s.status, PlaybackStatus::kPlaying);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(2));
    EXPECT_GT(s.serial, serial) << "a new stream is a new track for the desktop";
}

TEST_F(MediaRemoteFlow, SeekingPastTheEndGoesToTheNextRowAndVolumeIsTheSlider) {
    Fire(app::kResultList, EventType::RowDoubleClick, 4);
    ASSERT_TRUE(WaitIdle());
    const player::MediaSnapshot s = remote->Snapshot();
    Do([&] { remote->SeekUs(s.lengthUs + 1); });
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(5));
    EXPECT_EQ(model.selection(app::kResultList), 5);
    EXPECT_EQ(remote->Snapshot().title, ctx->searchResults[5].title);

    Do([&] { remote->Previous(); });
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(4));

    Do([&] { remote->SetVolume(140); });
    EXPECT_EQ(model.position(app::kPlayerVolume), 100) << "kept within the slider";
    Do([&] { remote->SetVolume(25); });
    EXPECT_EQ(model.position(app::kPlayerVolume), 25);
    EXPECT_EQ(remote->Snapshot().volume, 25);
}

TEST_F(MediaRemoteFlow, WatcherHearsTheBarChange) {
    std::atomic<int> heard{0};
    remote->Watch([&] { ++heard; });
    Fire(app::kResultList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_GT(heard.load(), 0);
    remote->Watch(nullptr);
    const int before = heard.load();
    Do([&] { remote->PlayPause(); });
    EXPECT_EQ(heard.load(), before) << "no watcher after it was removed";
}

}  // namespace
}  // namespace mm::test
