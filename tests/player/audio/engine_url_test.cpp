// Network streams from a real server on loopback: playing while the file
// downloads, lengths with and without the server's help, servers that stall
// or die.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "player/audio/audio_engine.h"
#include "tests/player/audio/audio_fixtures.h"
#include "tests/player/audio/loopback_server.h"

namespace mm::audio {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;
using Mode = LoopbackServer::Mode;

class EngineUrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartEngine(kNeverStalls);
        // Ten seconds of 128 kbit/s: about 160 KB, 41 KB held back below.
        tagged_ = testing::ReadFile(testing::MakeMp3(dir_, "tag.mp3", 44100, 2, kFrames));
        plain_ = testing::ReadFile(testing::MakeMp3(dir_, "plain.mp3", 44100, 2, kFrames, "-b 128 --cbr -t"));
        ASSERT_GT(tagged_.size(), 100000u);
        ASSERT_GT(plain_.size(), 100000u);
    }
    void TearDown() override {
        server_.Release();
        engine_.reset();
    }

    // Only the tests of a silent server give up on one: elsewhere a loaded
    // machine may hold the server back for any time without ending a stream.
    static constexpr auto kNeverStalls = std::chrono::milliseconds(std::chrono::hours(1));
    void StartEngine(std::chrono::milliseconds stall_timeout) {
        engine_.reset();
        EngineOptions o;
        o.clock = clock_;
        o.pcm_tap = [this](const PcmFormat&, std::span<const int16_t> s) { tap_.Add(s); };
        o.net.stall_timeout = stall_timeout;
        o.open_timeout = 60s;
        engine_ = std::make_unique<AudioEngine>(o);
        ASSERT_EQ(engine_->Init(0), 1);
    }

    // Plays the stream to its end on the test's clock. The clock moves only
    // while the stream has PCM to play: while it waits for the network, the
    // test waits too, so the clock never outruns the download. (The device
    // itself waits for a decoder that is merely slow.)
    bool PlayToEnd(Handle h) {
        for (int advances = 0; advances < 10000;) {
            StreamState s = engine_->IsActive(h);
            if (s == StreamState::kStopped) return true;
            if (s == StreamState::kStalled) {
                std::this_thread::sleep_for(1ms);
            } else {
                clock_->Advance(100ms);
                ++advances;
            }
        }
        return false;
    }

    // Waits in real time until cond() holds; the limit only ends a test
    // whose event never comes.
    template <class F>
    bool WaitFor(F cond, std::chrono::milliseconds limit = 60s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!cond()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    static constexpr size_t kFrames = 44100 * 10;
    static constexpr size_t kHold = 40960;
    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    testing::Tap tap_;
    testing::TempDir dir_;
    LoopbackServer server_;
    std::vector<uint8_t> tagged_, plain_;
    std::unique_ptr<AudioEngine> engine_;
};

TEST_F(EngineUrlTest, PlaysBeforeTheDownloadEnds) {
    server_.Serve("/held.mp3", tagged_, Mode::kLength, kHold);
    std::atomic<bool> transfer_over{false};
    std::atomic<size_t> received{0};
    Handle h = engine_->StreamCreateURL(server_.Url("/held.mp3"), 0, 0, [&](const uint8_t* d, size_t n) {
        if (!d) transfer_over = true;
        received += n;
    });
    ASSERT_NE(h, 0u);
    EXPECT_FALSE(transfer_over.load());
    EXPECT_EQ(engine_->LastStream(), 0u) << "StreamCreateURL leaves the last stream alone";
    // The Info frame tells the exact length before the rest has arrived.
    EXPECT_EQ(engine_->GetLength(h), kFrames * 4);

    // Let the bytes up to the gate arrive, so the clock below never outruns
    // the network.
    ASSERT_TRUE(WaitFor([&] { return received.load() == kHold; }));
    ASSERT_EQ(engine_->Play(h), 1);
    clock_->Advance(1s);
    EXPECT_EQ(engine_->GetPosition(h), 44100u * 4);
    EXPECT_FALSE(transfer_over.load());

    // Past what has arrived the stream waits for the network.
    EXPECT_EQ(engine_->SetPosition(h, 8 * 44100 * 4), 0) << "seek beyond the bytes that are here";
    clock_->Advance(5s);
    EXPECT_LT(engine_->GetPosition(h), 3u * 44100 * 4);
    EXPECT_EQ(engine_->IsActive(h), StreamState::kStalled);

    server_.Release();
    ASSERT_TRUE(WaitFor([&] { return transfer_over.load(); }));
    EXPECT_EQ(received.load(), tagged_.size());
    EXPECT_EQ(engine_->SetPosition(h, 8 * 44100 * 4), 1);
    ASSERT_TRUE(PlayToEnd(h));
    EXPECT_EQ(engine_->GetPosition(h), kFrames * 4);
}

TEST_F(EngineUrlTest, LengthFromTheTransferSizeUntilTheWholeFileIsHere) {
    server_.Serve("/plain.mp3", plain_, Mode::kLength, kHold);
    Handle h = engine_->StreamCreateURL(server_.Url("/plain.mp3"));
    ASSERT_NE(h, 0u);
    // No Info frame: estimated from Content-Length and the bitrate.
    uint64_t estimate = engine_->GetLength(h);
    ASSERT_NE(estimate, kUnknown);
    EXPECT_NEAR(double(estimate), double(kFrames * 4), kFrames * 4 * 0.01);

    server_.Release();
    // Once whole, the frames are counted: whole 1152-sample frames.
    ASSERT_TRUE(WaitFor([&] { return engine_->GetLength(h) % (1152 * 4) == 0; }));
    uint64_t exact = engine_->GetLength(h);
    EXPECT_GE(exact, kFrames * 4);
    engine_->Play(h);
    ASSERT_TRUE(PlayToEnd(h));
    EXPECT_EQ(tap_.Count() * 2, exact);
}

TEST_F(EngineUrlTest, ChunkedWithoutAnyLengthReadsUnknown) {
    server_.Serve("/chunked.mp3", plain_, Mode::kChunked, kHold);
    server_.Serve("/chunked-tag.mp3", tagged_, Mode::kChunked, kHold);
    Handle h = engine_->StreamCreateURL(server_.Url("/chunked.mp3"));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine_->GetLength(h), kUnknown);
    EXPECT_EQ(engine_->LengthText(h), "00:00");
    EXPECT_EQ(engine_->LengthSeconds(h), 0);
    // The file's own Info frame needs no help from the server.
    Handle tagged = engine_->StreamCreateURL(server_.Url("/chunked-tag.mp3"));
    ASSERT_NE(tagged, 0u);
    EXPECT_EQ(engine_->GetLength(tagged), kFrames * 4);
    EXPECT_EQ(engine_->LengthText(tagged), "00:10");
}

TEST_F(EngineUrlTest, AServerThatDiesEndsTheStream) {
    server_.Serve("/die.mp3", tagged_, Mode::kDie, kHold);
    Handle h = engine_->StreamCreateURL(server_.Url("/die.mp3"));
    ASSERT_NE(h, 0u);
    ASSERT_EQ(engine_->Play(h), 1);
    // The closed connection ends the transfer: no stall limit is needed.
    ASSERT_TRUE(PlayToEnd(h));
    uint64_t pos = engine_->GetPosition(h);
    EXPECT_GT(pos, 44100u * 4) << "what arrived was played";
    EXPECT_LT(pos, kFrames * 4);
    EXPECT_EQ(engine_->FreeStream(h), 1);
}

TEST_F(EngineUrlTest, AStalledServerIsGivenUp) {
    StartEngine(1s);
    server_.Serve("/stall.mp3", tagged_, Mode::kLength, kHold);
    Handle h = engine_->StreamCreateURL(server_.Url("/stall.mp3"));
    ASSERT_NE(h, 0u);
    ASSERT_EQ(engine_->Play(h), 1);
    // Plays what arrived, then waits on the network.
    ASSERT_TRUE(WaitFor([&] {
        clock_->Advance(1s);
        return engine_->IsActive(h) == StreamState::kStalled;
    }));
    // The one-second stall limit ends the transfer and so the stream.
    EXPECT_TRUE(WaitFor(
        [&] {
            clock_->Advance(100ms);
            return engine_->IsActive(h) == StreamState::kStopped;
        },
        60s));
    EXPECT_LT(engine_->GetPosition(h), kFrames * 4);
}

TEST_F(EngineUrlTest, OpeningGivesUpAfterItsTimeout) {
    server_.Serve("/slow-start.mp3", tagged_, Mode::kLength, 3);
    EngineOptions o;
    o.open_timeout = 300ms;
    o.net.stall_timeout = 30s;
    AudioEngine engine(o);
    ASSERT_EQ(engine.Init(0), 1);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.StreamCreateURL(server_.Url("/slow-start.mp3")), 0u);
    // The server never sends more: that the call returned at all is the
    // timeout at work, and it did not give up before its time.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 300ms);
}

TEST_F(EngineUrlTest, FreeStreamWhileDownloadingReturnsAtOnce) {
    server_.Serve("/stall.mp3", tagged_, Mode::kLength, kHold);
    Handle h = engine_->StreamCreateURL(server_.Url("/stall.mp3"));
    ASSERT_NE(h, 0u);
    engine_->Play(h);
    // The server holds the rest until the test ends, so returning at all
    // means the transfer was cut off rather than waited for.
    EXPECT_EQ(engine_->FreeStream(h), 1);
    EXPECT_EQ(engine_->GetLength(h), kUnknown);
}

TEST_F(EngineUrlTest, AddressesThatGiveNoAudio) {
    server_.server().Get("/missing.mp3", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/plain");
    });
    server_.server().Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>expired</body></html>", "text/html");
    });
    EXPECT_EQ(engine_->StreamCreateURL(server_.Url("/missing.mp3")), 0u);
    EXPECT_EQ(engine_->StreamCreateURL(server_.Url("/page.html")), 0u);
    EXPECT_EQ(engine_->StreamCreateURL("file:///etc/passwd"), 0u);
    EXPECT_EQ(engine_->StreamCreateURL(""), 0u);
    // Nothing listens on port 1.
    EXPECT_EQ(engine_->StreamCreateURL("http://127.0.0.1:1/a.mp3"), 0u);
    // StreamCreate's third source is the address.
    server_.Serve("/ok.mp3", tagged_, Mode::kLength);
    Handle h = engine_->StreamCreate({}, {}, server_.Url("/ok.mp3"));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine_->LastStream(), h);
}

TEST_F(EngineUrlTest, OffsetSkipsLeadingBytesWithOrWithoutRangeSupport) {
    std::vector<uint8_t> prefixed = tagged_;
    prefixed.insert(prefixed.begin(), 1000, 0x55);
    server_.Serve("/ranged.mp3", prefixed, Mode::kLength);  // answers a range with 206
    server_.Serve("/whole.mp3", prefixed, Mode::kLength);
    // This one ignores ranges: 200 and the whole file.
    server_.server().set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        if (req.path == "/whole.mp3") const_cast<httplib::Request&>(req).ranges.clear();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    for (const char* path : {"/ranged.mp3", "/whole.mp3"}) {
        SCOPED_TRACE(path);
        Handle h = engine_->StreamCreateURL(server_.Url(path), 1000);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(engine_->GetLength(h), kFrames * 4);
        EXPECT_EQ(engine_->FreeStream(h), 1);
    }
    // Memory and files take the same offset.
    Handle m = engine_->StreamCreate({}, prefixed, {}, 1000);
    ASSERT_NE(m, 0u);
    EXPECT_EQ(engine_->GetLength(m), kFrames * 4);
}

TEST_F(EngineUrlTest, FlacOverTheNetwork) {
    auto flac = testing::ReadFile(testing::MakeFlac(dir_, "n.flac", 44100, 2, 44100 * 3));
    server_.Serve("/n.flac", flac, Mode::kChunked);
    Handle h = engine_->StreamCreateURL(server_.Url("/n.flac"));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine_->GetLength(h), 44100u * 3 * 4);
    engine_->Play(h);
    ASSERT_TRUE(PlayToEnd(h));
    EXPECT_EQ(tap_.Samples(), testing::Tone(44100, 2, 44100 * 3));
}

TEST_F(EngineUrlTest, ANetworkThatFallsBehindLosesNoAudio) {
    const auto tone = testing::Tone(44100, 2, 44100 * 3);
    auto flac = testing::ReadFile(testing::MakeFlac(dir_, "late.flac", 44100, 2, 44100 * 3));
    const size_t gate = flac.size() / 3;
    server_.Serve("/late.flac", flac, Mode::kChunked, gate);
    std::atomic<size_t> received{0};
    Handle h = engine_->StreamCreateURL(server_.Url("/late.flac"), 0, 0,
                                        [&](const uint8_t*, size_t n) { received += n; });
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(WaitFor([&] { return received.load() == gate; }));
    ASSERT_EQ(engine_->Play(h), 1);
    // Far more clock than the third of the file that has arrived.
    ASSERT_TRUE(WaitFor([&] {
        clock_->Advance(1s);
        return engine_->IsActive(h) == StreamState::kStalled;
    }));
    clock_->Advance(5s);
    const auto early = tap_.Samples();
    ASSERT_GT(early.size(), 0u);
    ASSERT_LT(early.size(), tone.size());
    EXPECT_TRUE(std::equal(early.begin(), early.end(), tone.begin())) << "what played so far is the start";

    server_.Release();
    ASSERT_TRUE(PlayToEnd(h));
    EXPECT_EQ(tap_.Samples(), tone) << "the stall delayed the rest, it did not drop it";
}

}  // namespace
}  // namespace mm::audio
