// The sound-card output through SDL2. SDL's "dummy" driver stands in for a
// card on machines without one: it pulls PCM at the real rate and discards it.
#include "player/audio/sdl_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "player/audio/audio_engine.h"
#include "tests/player/audio/audio_fixtures.h"

namespace mm::audio {
namespace {

using namespace std::chrono_literals;

class SdlOutputTest : public ::testing::Test {
  protected:
    void TearDown() override { ::unsetenv("SDL_AUDIODRIVER"); }
    testing::TempDir dir_;
};

TEST_F(SdlOutputTest, NoSoundOutputMeansInitFails) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    AudioEngine engine;
    EXPECT_EQ(engine.Init(-1), 0);
    EXPECT_EQ(engine.Init(5), 0);
    EXPECT_EQ(engine.StreamCreate(testing::MakeFlac(dir_, "x.flac", 44100, 2, 4410)), 0u);
    // The no-sound device needs no card.
    EXPECT_EQ(engine.Init(0), 1);
}

TEST_F(SdlOutputTest, PlaysInRealTimeOnTheDefaultDevice) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    AudioEngine engine;
    ASSERT_EQ(engine.Init(-1), 1);
    Handle h = engine.StreamCreate(testing::MakeFlac(dir_, "sdl.flac", 44100, 2, 44100 * 3));
    ASSERT_NE(h, 0u);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(engine.Play(h), 1);
    std::this_thread::sleep_for(400ms);
    double played = engine.Bytes2Seconds(h, engine.GetPosition(h));
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(played, 0.2);
    // At most one device buffer ahead of the clock.
    EXPECT_LT(played, elapsed + double(SdlBufferFrames(44100)) / 44100 + 0.01);
    ASSERT_EQ(engine.Pause(h), 1);
    std::this_thread::sleep_for(50ms);
    uint64_t paused_at = engine.GetPosition(h);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(engine.GetPosition(h), paused_at);
    EXPECT_EQ(engine.IsActive(h), StreamState::kPaused);
    // Seek close to the end and let it run out.
    ASSERT_EQ(engine.SetPosition(h, engine.GetLength(h) - 44100 / 5 * 4), 1);
    ASSERT_EQ(engine.Play(h, false), 1);
    auto until = std::chrono::steady_clock::now() + 3s;
    while (engine.IsActive(h) != StreamState::kStopped && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(engine.IsActive(h), StreamState::kStopped);
    EXPECT_EQ(engine.GetPosition(h), engine.GetLength(h));
}

TEST(SdlBufferTest, DeviceBufferStaysShort) {
    for (uint32_t rate : {8000u, 22050u, 44100u, 48000u, 96000u}) {
        uint16_t frames = SdlBufferFrames(rate);
        EXPECT_LE(double(frames) / rate, 0.1) << rate;
        EXPECT_GE(frames, 256u);
    }
}

}  // namespace
}  // namespace mm::audio
