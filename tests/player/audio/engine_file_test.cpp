// The engine on local files and memory, played on the no-sound device with a
// clock the test moves by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "player/audio/audio_engine.h"
#include "tests/player/audio/audio_fixtures.h"

namespace mm::audio {
namespace {

using namespace std::chrono_literals;
using testing::MakeFlac;
using testing::MakeMp3;
using testing::ReadFile;

class EngineFileTest : public ::testing::Test {
  protected:
    EngineFileTest() {
        EngineOptions o;
        o.clock = clock_;
        o.pcm_tap = [this](const PcmFormat&, std::span<const int16_t> s) { tap_.Add(s); };
        engine_ = std::make_unique<AudioEngine>(o);
        EXPECT_EQ(engine_->Init(0), 1);
    }

    // Moves time on until the stream has played to its end.
    void PlayToEnd(Handle h) {
        for (int i = 0; i < 2000 && engine_->IsActive(h) != StreamState::kStopped; ++i) clock_->Advance(1s);
        ASSERT_EQ(engine_->IsActive(h), StreamState::kStopped);
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    testing::Tap tap_;
    testing::TempDir dir_;
    std::unique_ptr<AudioEngine> engine_;
};

struct LengthCase {
    const char* name;
    bool flac;
    uint32_t rate;
    uint16_t channels;
    size_t frames;
    const char* args;
    // No Info frame: the length is whole MPEG frames, encoder delay included.
    bool whole_frames;
};

// FLAC and LAME CBR files (with their Info frame) know their exact sample
// count; a CBR file without one is counted frame by frame once whole.
const LengthCase kLengthCases[] = {
    {"stereo.flac", true, 44100, 2, 44100 * 3 + 123, "", false},
    {"mono48.flac", true, 48000, 1, 48000 + 7, "", false},
    {"cbr128.mp3", false, 44100, 2, 44100 * 3 + 123, "-b 128 --cbr", false},
    {"mono22.mp3", false, 22050, 1, 22050 * 2 + 5, "-b 64 --cbr", false},
    {"vbr.mp3", false, 44100, 2, 44100 * 2 + 77, "-V 4", false},
    // -t leaves out the Info frame; at 32 kbit/s a frame is too small to hold one.
    {"notag.mp3", false, 44100, 2, 44100 * 2, "-b 128 --cbr -t", true},
    {"small22.mp3", false, 22050, 1, 22050 * 2 + 5, "-b 32 --cbr", true},
};

TEST_F(EngineFileTest, LengthIsExactAndEqualsWhatIsPlayed) {
    for (const auto& c : kLengthCases) {
        SCOPED_TRACE(c.name);
        std::string path = c.flac ? MakeFlac(dir_, c.name, c.rate, c.channels, c.frames, c.args)
                                  : MakeMp3(dir_, c.name, c.rate, c.channels, c.frames, c.args);
        ASSERT_FALSE(path.empty());
        Handle h = engine_->StreamCreate(path);
        ASSERT_NE(h, 0u);
        const uint64_t align = 2u * c.channels;
        uint64_t length = engine_->GetLength(h);
        ASSERT_NE(length, kUnknown);
        if (c.whole_frames) {
            // Whole MPEG frames covering the input plus the encoder's delay.
            const uint64_t spf = c.rate < 32000 ? 576 : 1152;
            EXPECT_EQ(length % (spf * align), 0u);
            EXPECT_GE(length, c.frames * align);
            EXPECT_LT(length, (c.frames + 4 * spf) * align);
        } else {
            EXPECT_EQ(length, c.frames * align);
        }
        EXPECT_NEAR(engine_->Bytes2Seconds(h, length), double(length / align) / c.rate, 1e-9);

        tap_.Clear();
        ASSERT_EQ(engine_->Play(h), 1);
        PlayToEnd(h);
        EXPECT_EQ(tap_.Count() * 2, length) << "bytes played differ from the length";
        EXPECT_EQ(engine_->GetPosition(h), length);
        EXPECT_EQ(engine_->FreeStream(h), 1);
    }
}

TEST_F(EngineFileTest, DecodedFlacIsTheEncodedPcm) {
    const size_t frames = 20000;
    std::string path = MakeFlac(dir_, "exact.flac", 44100, 2, frames);
    Handle h = engine_->StreamCreate(path);
    ASSERT_NE(h, 0u);
    engine_->Play(h);
    PlayToEnd(h);
    EXPECT_EQ(tap_.Samples(), testing::Tone(44100, 2, frames));
}

TEST_F(EngineFileTest, PositionFollowsTheClockAndHoldsWhilePaused) {
    std::string path = MakeFlac(dir_, "clock.flac", 44100, 2, 44100 * 5);
    Handle h = engine_->StreamCreate(path);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine_->IsActive(h), StreamState::kStopped);
    EXPECT_EQ(engine_->GetPosition(h), 0u);
    clock_->Advance(3s);  // not playing yet: nothing moves
    EXPECT_EQ(engine_->GetPosition(h), 0u);

    ASSERT_EQ(engine_->Play(h), 1);
    EXPECT_EQ(engine_->IsActive(h), StreamState::kPlaying);
    clock_->Advance(1500ms);
    EXPECT_EQ(engine_->GetPosition(h), 66150u * 4);

    ASSERT_EQ(engine_->Pause(h), 1);
    EXPECT_EQ(engine_->IsActive(h), StreamState::kPaused);
    EXPECT_EQ(engine_->Pause(h), 0) << "pausing twice";
    clock_->Advance(2s);
    EXPECT_EQ(engine_->GetPosition(h), 66150u * 4);

    ASSERT_EQ(engine_->Play(h, false), 1);  // resume where it was
    clock_->Advance(500ms);
    EXPECT_EQ(engine_->GetPosition(h), 88200u * 4);

    ASSERT_EQ(engine_->Play(h, true), 1);  // from the start again
    EXPECT_EQ(engine_->GetPosition(h), 0u);
    clock_->Advance(250ms);
    EXPECT_EQ(engine_->GetPosition(h), 11025u * 4);

    ASSERT_EQ(engine_->Stop(h), 1);
    clock_->Advance(1s);
    EXPECT_EQ(engine_->IsActive(h), StreamState::kStopped);
    EXPECT_EQ(engine_->GetPosition(h), 11025u * 4);
}

TEST_F(EngineFileTest, SeekLandsOnTheExactSample) {
    for (const char* name : {"seek.flac", "seek.mp3"}) {
        SCOPED_TRACE(name);
        bool flac = std::string(name).ends_with(".flac");
        const size_t frames = 44100 * 4;
        std::string path =
            flac ? MakeFlac(dir_, name, 44100, 2, frames) : MakeMp3(dir_, name, 44100, 2, frames);
        Handle h = engine_->StreamCreate(path);
        ASSERT_NE(h, 0u);
        tap_.Clear();
        engine_->Play(h);
        PlayToEnd(h);
        std::vector<int16_t> whole = tap_.Samples();
        ASSERT_EQ(whole.size(), frames * 2);

        const uint64_t target = 100000;  // frames, not on a block boundary
        tap_.Clear();
        ASSERT_EQ(engine_->SetPosition(h, target * 4 + 3), 1);  // rounds down to a whole frame
        EXPECT_EQ(engine_->GetPosition(h), target * 4);
        ASSERT_EQ(engine_->Play(h, false), 1);
        clock_->Advance(100ms);
        EXPECT_EQ(engine_->GetPosition(h), (target + 4410) * 4);
        PlayToEnd(h);
        std::vector<int16_t> rest = tap_.Samples();
        ASSERT_EQ(rest.size(), (frames - target) * 2);
        EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.begin() + target * 2));

        EXPECT_EQ(engine_->SetPosition(h, engine_->GetLength(h) + 4), 0) << "past the end";
        EXPECT_EQ(engine_->SetPosition(h, engine_->GetLength(h)), 1) << "exactly the end";
        engine_->Play(h, false);
        clock_->Advance(1s);
        EXPECT_EQ(engine_->IsActive(h), StreamState::kStopped);
        engine_->FreeStream(h);
    }
}

TEST_F(EngineFileTest, VolumeScalesThePcm) {
    std::string path = MakeFlac(dir_, "vol.flac", 44100, 2, 8000);
    Handle h = engine_->StreamCreate(path);
    ASSERT_NE(h, 0u);
    ASSERT_EQ(engine_->SetVolume(h, 50), 1);
    EXPECT_EQ(engine_->GetVolume(h), 0.5f);
    EXPECT_EQ(engine_->SetVolume(h, -1), 0);
    EXPECT_EQ(engine_->GetVolume(h), 0.5f);
    engine_->Play(h);
    PlayToEnd(h);
    std::vector<int16_t> half = tap_.Samples(), full = testing::Tone(44100, 2, 8000);
    ASSERT_EQ(half.size(), full.size());
    for (size_t i = 0; i < full.size(); ++i) ASSERT_NEAR(half[i], full[i] * 0.5, 1.0) << i;

    ASSERT_EQ(engine_->SetVolume(h, 0), 1);
    tap_.Clear();
    engine_->Play(h, true);
    PlayToEnd(h);
    auto silent = tap_.Samples();
    EXPECT_EQ(silent.size(), full.size());
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(EngineFileTest, StreamCreateTakesTheFirstSourceThatIsThere) {
    EXPECT_EQ(engine_->StreamCreate(), 0u);
    EXPECT_EQ(engine_->StreamCreate(dir_.File("missing.mp3")), 0u);
    EXPECT_EQ(engine_->LastStream(), 0u);

    std::string flac = MakeFlac(dir_, "a.flac", 44100, 2, 44100);
    std::string mp3 = MakeMp3(dir_, "b.mp3", 44100, 1, 22050);
    std::vector<uint8_t> mp3_bytes = ReadFile(mp3);

    // An existing path wins over bytes and an address.
    Handle from_file = engine_->StreamCreate(flac, mp3_bytes, "http://127.0.0.1:1/none.mp3");
    ASSERT_NE(from_file, 0u);
    EXPECT_EQ(engine_->GetLength(from_file), 44100u * 4);
    EXPECT_EQ(engine_->LastStream(), from_file);

    // A missing path falls through to the bytes, which the engine copies.
    Handle from_bytes = engine_->StreamCreate(dir_.File("gone.flac"), mp3_bytes);
    ASSERT_NE(from_bytes, 0u);
    std::fill(mp3_bytes.begin(), mp3_bytes.end(), 0);
    mp3_bytes.clear();
    EXPECT_EQ(engine_->GetLength(from_bytes), 22050u * 2);
    EXPECT_EQ(engine_->LastStream(), from_bytes);
    engine_->Play(from_bytes);
    PlayToEnd(from_bytes);
    EXPECT_EQ(engine_->GetPosition(from_bytes), 22050u * 2);

    // Bytes that are no audio, a folder, an offset past the end.
    std::vector<uint8_t> junk(5000, 0x41);
    EXPECT_EQ(engine_->StreamCreate({}, junk), 0u);
    EXPECT_EQ(engine_->StreamCreate(dir_.path()), 0u);
    EXPECT_EQ(engine_->StreamCreate(flac, {}, {}, 1 << 30), 0u);
    EXPECT_EQ(engine_->StreamCreate(flac, {}, {}, -5), 0u);
    EXPECT_EQ(engine_->LastStream(), 0u) << "every creation sets the last stream, failures too";
}

TEST_F(EngineFileTest, LengthTextAndSecondsOfShortAndLongStreams) {
    struct Case {
        double seconds;
        const char* text;
        int32_t whole;
    };
    // 8 kHz mono keeps the ten-minute file small.
    for (Case c : {Case{59.9, "00:59", 59}, Case{600, "10:00", 600}, Case{61.5, "01:01", 61}}) {
        SCOPED_TRACE(c.text);
        size_t frames = static_cast<size_t>(std::lround(c.seconds * 8000));
        std::string path = MakeFlac(dir_, std::string(c.text).replace(2, 1, "_") + ".flac", 8000, 1, frames);
        Handle h = engine_->StreamCreate(path);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(engine_->LengthText(h), c.text);
        EXPECT_EQ(engine_->LengthSeconds(h), c.whole);
        EXPECT_EQ(engine_->LengthMinutes(h) * 60 + engine_->LengthSecondsPart(h), c.whole);
        engine_->FreeStream(h);
    }
    EXPECT_EQ(AudioEngine::SplitSeconds(125 * 60 + 7.9, 0), 125);
    EXPECT_EQ(AudioEngine::SplitSeconds(125 * 60 + 7.9, 1), 7);
    EXPECT_EQ(AudioEngine::SplitSeconds(59.999, 1), 59);
}

TEST_F(EngineFileTest, UnknownHandlesAndAFreedEngine) {
    EXPECT_EQ(engine_->GetLength(77), kUnknown);
    EXPECT_EQ(engine_->GetPosition(77), kUnknown);
    EXPECT_LT(engine_->Bytes2Seconds(77, 100), 0);
    EXPECT_EQ(engine_->Play(77), 0);
    EXPECT_EQ(engine_->FreeStream(77), 0);
    EXPECT_EQ(engine_->LengthText(77), "00:00");
    EXPECT_EQ(engine_->LengthSeconds(77), 0);

    std::string path = MakeFlac(dir_, "f.flac", 44100, 2, 4410);
    Handle h = engine_->StreamCreate(path);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine_->Init(0), 0) << "already running";
    engine_->Play(h);
    EXPECT_EQ(engine_->Stop(h), 1);
    EXPECT_EQ(engine_->FreeStream(h), 1);
    EXPECT_EQ(engine_->FreeStream(h), 0) << "freed twice";
    EXPECT_EQ(engine_->Free(), 1);
    EXPECT_EQ(engine_->Free(), 0);
    EXPECT_EQ(engine_->StreamCreate(path), 0u) << "no stream without an output";
    EXPECT_EQ(engine_->Init(0), 1);
    EXPECT_NE(engine_->StreamCreate(path), 0u);
}

TEST_F(EngineFileTest, RealClockMovesThePosition) {
    AudioEngine engine;  // steady clock
    ASSERT_EQ(engine.Init(0), 1);
    std::string path = MakeFlac(dir_, "rt.flac", 44100, 2, 44100 * 2);
    Handle h = engine.StreamCreate(path);
    ASSERT_NE(h, 0u);
    auto t0 = std::chrono::steady_clock::now();
    engine.Play(h);
    std::this_thread::sleep_for(300ms);
    uint64_t pos = engine.GetPosition(h);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double played = engine.Bytes2Seconds(h, pos);
    EXPECT_GT(played, 0.25);
    EXPECT_LE(played, elapsed + 0.001);
    ASSERT_EQ(engine.Pause(h), 1);
    uint64_t paused_at = engine.GetPosition(h);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(engine.GetPosition(h), paused_at);
}

}  // namespace
}  // namespace mm::audio

namespace mm::audio {
namespace {

// The UI thread polls while preview workers open, play and free streams.
TEST(EngineConcurrencyTest, CallersOnManyThreadsAtOnce) {
    testing::TempDir dir;
    std::string path = testing::MakeMp3(dir, "c.mp3", 44100, 2, 44100);
    auto bytes = testing::ReadFile(path);
    AudioEngine engine;
    ASSERT_EQ(engine.Init(0), 1);
    std::atomic<Handle> current{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> pollers;
    for (int i = 0; i < 3; ++i) {
        pollers.emplace_back([&] {
            while (!done.load()) {
                Handle h = current.load();
                engine.GetPosition(h);
                engine.IsActive(h);
                engine.SetVolume(h, 40);
                engine.LengthText(h);
                engine.SetPosition(h, 4410 * 4);
                engine.Pause(h);
                engine.Play(h, false);
            }
        });
    }
    for (int round = 0; round < 40; ++round) {
        Handle h = round % 2 ? engine.StreamCreate(path) : engine.StreamCreate({}, bytes);
        ASSERT_NE(h, 0u);
        ASSERT_EQ(engine.Play(h), 1);
        current.store(h);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(engine.FreeStream(h), 1);
    }
    done.store(true);
    for (auto& t : pollers) t.join();
    EXPECT_EQ(engine.Free(), 1);
}

}  // namespace
}  // namespace mm::audio

namespace mm::audio {
namespace {

class DamagedFileTest : public EngineFileTest {
  protected:
    // Plays bytes from memory to their end; returns the bytes played.
    uint64_t PlayBytes(const std::vector<uint8_t>& bytes, uint64_t* length = nullptr) {
        Handle h = engine_->StreamCreate({}, bytes);
        EXPECT_NE(h, 0u);
        if (!h) return 0;
        if (length) *length = engine_->GetLength(h);
        tap_.Clear();
        engine_->Play(h);
        PlayToEnd(h);
        uint64_t played = engine_->GetPosition(h);
        EXPECT_EQ(played, tap_.Count() * 2);
        engine_->FreeStream(h);
        return played;
    }
};

TEST_F(DamagedFileTest, JunkInsideAnMp3IsSkipped) {
    auto mp3 = ReadFile(MakeMp3(dir_, "j.mp3", 44100, 2, 44100 * 3, "-b 128 --cbr -t"));
    uint64_t clean_length = 0;
    uint64_t clean = PlayBytes(mp3, &clean_length);
    EXPECT_EQ(clean, clean_length);
    std::vector<uint8_t> junk(1000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 37 + 11);
    mp3.insert(mp3.begin() + mp3.size() / 2, junk.begin(), junk.end());
    uint64_t length = 0;
    uint64_t played = PlayBytes(mp3, &length);
    // The frame cut by the junk is lost, the rest plays and the count agrees.
    EXPECT_LE(played, clean);
    EXPECT_GE(played, clean - 3 * 1152 * 4);
    EXPECT_NEAR(double(length), double(played), 2 * 1152 * 4);
}

TEST_F(DamagedFileTest, CutFilesPlayWhatIsThere) {
    auto flac = ReadFile(MakeFlac(dir_, "c.flac", 44100, 2, 44100 * 4));
    auto mp3 = ReadFile(MakeMp3(dir_, "c.mp3", 44100, 2, 44100 * 4));
    for (auto* bytes : {&flac, &mp3}) {
        bytes->resize(bytes->size() / 2);
        uint64_t length = 0;
        uint64_t played = PlayBytes(*bytes, &length);
        // The headers still tell the whole length; half of it is played.
        EXPECT_EQ(length, 44100u * 4 * 4);
        EXPECT_GT(played, length * 4 / 10);
        EXPECT_LT(played, length * 6 / 10);
    }
}

TEST_F(DamagedFileTest, DamagedFlacFramesKeepTheTimeline) {
    auto flac = ReadFile(MakeFlac(dir_, "d.flac", 44100, 2, 44100 * 2));
    for (size_t i = flac.size() / 2; i < flac.size() / 2 + 64; ++i) flac[i] ^= 0x5A;
    uint64_t length = 0;
    uint64_t played = PlayBytes(flac, &length);
    // A frame that fails its check plays as silence: the end is where it was.
    EXPECT_EQ(length, 44100u * 2 * 4);
    EXPECT_EQ(played, length);
    auto pcm = tap_.Samples();
    auto clean = testing::Tone(44100, 2, 44100 * 2);
    EXPECT_NE(pcm, clean);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 4096, clean.begin()));
}

}  // namespace
}  // namespace mm::audio
