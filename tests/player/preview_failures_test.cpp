// The preview player when things go wrong: a catalogue that cannot be
// reached, rows with nothing to play, a sound device that cannot play, a
// local file that is gone, an address that only the whole-file fallback can
// fetch, and a list replaced under the player bar.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>

#include "app/control_names.h"
#include "download/download_rows.h"
#include "platform/net/user_agent.h"
#include "platform/sys/files.h"
#include "player/preview_player.h"
#include "resources/resources.h"
#include "search/track_menu.h"
#include "tests/flow/flow_fixture.h"
#include "tests/player/audio/loopback_server.h"

using namespace mm;
using namespace std::chrono_literals;
using mm::democat::Endpoint;
using ui::EventType;

namespace {

class PreviewFailures : public test::FlowFixture {
protected:
    void StartWith(const std::string& config = "[其他设置]\n边听边下载=0\n") {
        extraConfig = config;
        StartProgram();
        Search("demo");
        ASSERT_GE(model.rowCount(app::kResultList), 20);
    }
    void DoubleClick(int row) {
        Fire(app::kResultList, EventType::RowDoubleClick, row);
        ASSERT_TRUE(WaitIdle());
    }
    int AddressRequests() { return catalogue.stats().Count(Endpoint::kTrackAddress); }
    int AudioRequests() { return catalogue.stats().Count(Endpoint::kAudio); }
    std::string Title(int row) {
        const auto& t = ctx->searchResults.at(static_cast<size_t>(row));
        return t.title + " - " + t.singer;
    }
    // The first song of the catalogue at 128K.
    std::string SongBytes() {
        auto file = catalogue.FileOf(catalogue.songs().at(0).id, democat::Tier::kStandard);
        std::string bytes;
        EXPECT_TRUE(file && sys::ReadFile(file->path, bytes));
        return bytes;
    }
    // Nothing plays and nothing waits: the state every failure must leave.
    void ExpectIdleBar() {
        EXPECT_EQ(model.interval(app::kTimerPlay), 0);
        EXPECT_EQ(model.interval(app::kTimerCoverSpin), 0);
        EXPECT_EQ(model.picture(app::kPlayerPlay), std::string(Resource("play.png")));
        EXPECT_EQ(model.maximum(app::kPlayerProgress), 0);
        EXPECT_EQ(model.text(app::kPlayerTime), "00:00");
        EXPECT_TRUE(ctx->previewPool.IsIdle());
    }
};

TEST_F(PreviewFailures, AnUnreachableCatalogueStopsTheSkipAtOnce) {
    StartWith();
    democat::Fault reset;
    reset.reset_mid_body = true;  // every address request loses its connection
    catalogue.faults().Set(Endpoint::kTrackAddress, reset);
    const int asked = AddressRequests();
    const size_t boxes = MessageBoxes().size();
    DoubleClick(4);
    EXPECT_EQ(AddressRequests(), asked + 1) << "no walk through the following rows";
    ASSERT_EQ(MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(MessageBoxes().back().title, "code:886");
    EXPECT_EQ(MessageBoxes().back().text, download::kConnectFailedText);
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");
    ExpectIdleBar();

    // The controls work again: the next double-click is a new start.
    catalogue.faults().Clear(Endpoint::kTrackAddress);
    DoubleClick(6);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(6));
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000);
}

TEST_F(PreviewFailures, RowsWithoutAnAddressAreTriedThreeTimesInAll) {
    StartWith();
    democat::Fault refused;
    refused.code = 500;
    refused.msg = "服务繁忙";
    catalogue.faults().Set(Endpoint::kTrackAddress, refused);
    const int asked = AddressRequests();
    DoubleClick(2);
    EXPECT_EQ(AddressRequests(), asked + 3) << "rows 3, 4 and 5, then it gives up";
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");
    EXPECT_EQ(model.selection(app::kResultList), 4);
    ExpectIdleBar();

    // The last row counts the same way: tried three times, then given up.
    const int rows = model.rowCount(app::kResultList);
    const int before = AddressRequests();
    DoubleClick(rows - 1);
    EXPECT_EQ(AddressRequests(), before + 3);
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");
    ExpectIdleBar();
}

TEST_F(PreviewFailures, AnEngineThatDidNotStartFetchesNothing) {
    StartWith();
    engine.Free();  // as when the sound output could not be opened at start-up
    const int asked = AddressRequests(), audio = AudioRequests();
    const size_t boxes = MessageBoxes().size();
    DoubleClick(1);
    EXPECT_EQ(AddressRequests(), asked);
    EXPECT_EQ(AudioRequests(), audio);
    ASSERT_EQ(MessageBoxes().size(), boxes + 1) << "one message, and not the network's";
    EXPECT_EQ(MessageBoxes().back().title, "code:886");
    EXPECT_EQ(MessageBoxes().back().text, player::kDeviceUnavailable);
    EXPECT_EQ(model.text(app::kPlayerTitle), "");
    ExpectIdleBar();
}

TEST_F(PreviewFailures, ADeviceThatRefusesToPlayIsNotShownAsPlaying) {
    StartWith();
    *deviceLost = true;
    const size_t boxes = MessageBoxes().size();
    DoubleClick(1);
    ASSERT_EQ(MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(MessageBoxes().back().text, player::kDeviceUnavailable);
    EXPECT_EQ(model.text(app::kPlayerTitle), "");
    ExpectIdleBar();

    // The device is back: the same row plays.
    *deviceLost = false;
    DoubleClick(1);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(1));
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000);
}

TEST_F(PreviewFailures, NextStopsTheOldSongsTimersAndAFailedStartLeavesThemStopped) {
    StartWith();
    DoubleClick(0);
    ASSERT_EQ(model.interval(app::kTimerPlay), 1000);
    clock->Advance(2s);
    Fire(app::kTimerPlay, EventType::TimerTick);

    // The next song's file is held back by its host until the checks below
    // are done: no audio can play before that.
    audio::testing::LoopbackServer host;
    const std::string song = SongBytes();
    host.Serve("/next.mp3", std::vector<uint8_t>(song.begin(), song.end()),
               audio::testing::LoopbackServer::Mode::kLength, 64);
    democat::Fault held;
    held.purl = host.Url("/next.mp3");
    held.times = 1;
    catalogue.faults().Set(Endpoint::kTrackAddress, held);
    Click(app::kPlayerNext);
    // The next song is still on its way: nothing of the old one is shown.
    EXPECT_EQ(model.interval(app::kTimerPlay), 0);
    EXPECT_EQ(model.interval(app::kTimerCoverSpin), 0);
    EXPECT_EQ(model.text(app::kPlayerTime), "00:00");
    host.Release();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(1));
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000) << "audio plays: the timers run again";

    democat::Fault reset;
    reset.reset_mid_body = true;
    reset.times = 1;
    catalogue.faults().Set(Endpoint::kTrackAddress, reset);
    Click(app::kPlayerPrevious);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");
    ExpectIdleBar();
}

TEST_F(PreviewFailures, AFailedDownloadedFileLeavesTheBarIdle) {
    StartWith();
    Fire(app::kResultList, EventType::RowRightClick, 0);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.cellText(app::kDownloadList, 0, 1), "下载完成");
    // The file is still there but holds no audio any more.
    for (const auto& entry : std::filesystem::directory_iterator(saveDir)) {
        ASSERT_TRUE(sys::WriteFileAtomic(entry.path().string(), std::string(4096, 'x')));
    }

    const size_t boxes = MessageBoxes().size();
    Fire(app::kDownloadList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(MessageBoxes().back().text, "播放失败！本地文件可能损坏。请重新下载试试吧！");
    EXPECT_EQ(model.text(app::kPlayerTitle), "") << "no longer buffering";
    ExpectIdleBar();
}

TEST_F(PreviewFailures, TheBarsDownloadButtonOffersOnlyTheSongItShows) {
    StartWith();
    DoubleClick(3);
    ASSERT_TRUE(model.visible(app::kPlayerDownload));
    Click(app::kPlayerDownload);
    EXPECT_TRUE(model.visible(app::kTierPanel));
    EXPECT_EQ(model.text(app::kTierTitle), ctx->searchResults[3].title);
    model.setVisible(app::kTierPanel, false);

    Search("Nora");  // row 4 is another song now
    ASSERT_GE(model.rowCount(app::kResultList), 4);
    Click(app::kPlayerDownload);
    EXPECT_FALSE(model.visible(app::kTierPanel));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0);
}

// A file host of our own behind the catalogue's address replies: it refuses
// the first request for a file (the stream's), answers the later ones, and
// notes who asked.
class FallbackHost : public PreviewFailures {
protected:
    void SetUp() override {
        // One request per connection: the host stops at once at the end, not
        // after waiting out the client's kept-alive connections.
        host_.server().set_keep_alive_max_count(1);
        char spool[] = "/tmp/mm-spool-XXXXXX";
        spoolDir_ = mkdtemp(spool);
        const char* old = getenv("TMPDIR");
        if (old) oldTmp_ = old;
        setenv("TMPDIR", spoolDir_.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        }
        std::error_code ec;
        std::filesystem::remove_all(spoolDir_, ec);
    }

    void ServeOnceRefused(const std::string& path, std::shared_ptr<const std::string> bytes) {
        host_.server().Get(path, [this, bytes](const httplib::Request& req, httplib::Response& res) {
            Note(req);
            if (refused_.exchange(true) == false) {
                res.status = 403;
                res.set_content("expired", "text/plain");
                return;
            }
            res.set_content_provider(bytes->size(), "audio/mpeg",
                                     [bytes](size_t offset, size_t length, httplib::DataSink& sink) {
                                         return sink.write(bytes->data() + offset, length);
                                     });
        });
    }
    void Redirect(const std::string& from, const std::string& to) {
        host_.server().Get(from, [this, to](const httplib::Request& req, httplib::Response& res) {
            Note(req);
            res.set_redirect(to, 302);
        });
    }
    // Every address reply names this file.
    void AddressesPointTo(const std::string& path) {
        democat::Fault f;
        f.purl = host_.Url(path);
        catalogue.faults().Set(Endpoint::kTrackAddress, f);
    }
    std::vector<std::string> Agents() {
        std::lock_guard lk(mu_);
        return agents_;
    }
    bool SpoolEmpty() { return std::filesystem::is_empty(spoolDir_); }

private:
    void Note(const httplib::Request& req) {
        std::lock_guard lk(mu_);
        agents_.push_back(req.get_header_value("User-Agent"));
    }

    audio::testing::LoopbackServer host_;
    std::atomic<bool> refused_{false};
    std::mutex mu_;
    std::vector<std::string> agents_;
    std::string spoolDir_, oldTmp_;
};

TEST_F(FallbackHost, FollowsRedirectsAndSendsTheProgramsUserAgent) {
    StartWith();
    ServeOnceRefused("/file.mp3", std::make_shared<const std::string>(SongBytes()));
    Redirect("/moved", "/file.mp3");
    AddressesPointTo("/moved");
    DoubleClick(0);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(0)) << "played from the whole file";
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000);
    EXPECT_NE(model.text(app::kPlayerTime), "00:00");
    EXPECT_TRUE(MessageBoxes().empty());
    // The stream's redirect and refused file, then the fallback's two.
    const auto agents = Agents();
    ASSERT_EQ(agents.size(), 4u);
    for (const auto& agent : agents) EXPECT_EQ(agent, net::kUserAgent);
    EXPECT_TRUE(SpoolEmpty()) << "the spooled file is gone once the stream holds it";
}

TEST_F(FallbackHost, FollowsFiveRedirectsButNotSix) {
    StartWith();
    ServeOnceRefused("/file.mp3", std::make_shared<const std::string>(SongBytes()));
    for (int hop = 1; hop <= 6; ++hop) {
        Redirect("/hop" + std::to_string(hop), hop == 6 ? "/file.mp3" : "/hop" + std::to_string(hop + 1));
    }
    AddressesPointTo("/hop2");  // five redirects to the file
    DoubleClick(0);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(0));
    EXPECT_TRUE(MessageBoxes().empty());

    AddressesPointTo("/hop1");  // six
    DoubleClick(1);
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");
    ASSERT_FALSE(MessageBoxes().empty());
    EXPECT_EQ(MessageBoxes().back().text, "数据获取失败，请检查网络连接！");
    ExpectIdleBar();
}

TEST_F(FallbackHost, PlaysAFileLargerThanAnyReplyHeldInMemory) {
    StartWith();
    // A 65 MiB tag of padding in front of the song: far past any in-memory cap.
    const std::string song = SongBytes();
    const std::uint32_t pad = 65u << 20;
    std::string big = "ID3";
    big += std::string{'\x03', '\x00', '\x00'};
    for (int shift : {21, 14, 7, 0}) big += static_cast<char>((pad >> shift) & 0x7F);
    big += std::string(pad, '\0');
    big += song;
    ServeOnceRefused("/big.mp3", std::make_shared<const std::string>(std::move(big)));
    AddressesPointTo("/big.mp3");
    DoubleClick(0);
    EXPECT_EQ(model.text(app::kPlayerTitle), Title(0));
    EXPECT_EQ(model.interval(app::kTimerPlay), 1000);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SpoolEmpty());
}

}  // namespace
