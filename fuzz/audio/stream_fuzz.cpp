// Arbitrary bytes through the memory-stream path: open, play to the end on
// the no-sound device with a hand-moved clock, seek, free. Must neither
// crash nor hang, whatever the MP3 or FLAC decoder is given.
#include <chrono>
#include <cstdint>
#include <span>

#include "player/audio/audio_engine.h"

using namespace mm::audio;

namespace {

struct Harness {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    AudioEngine engine;
    Harness() : engine(Options(clock)) { engine.Init(0); }
    static EngineOptions Options(std::shared_ptr<ManualClock> c) {
        EngineOptions o;
        o.clock = std::move(c);
        return o;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    Handle s = h.engine.StreamCreate({}, std::span(data, size));
    if (s == 0) return 0;
    uint64_t length = h.engine.GetLength(s);
    h.engine.LengthText(s);
    h.engine.Play(s);
    // Bounded: a stream at a tiny sample rate may be long in seconds.
    for (int i = 0; i < 64 && h.engine.IsActive(s) != StreamState::kStopped; ++i) {
        h.clock->Advance(std::chrono::seconds(30));
        if (i == 1 && length != kUnknown) h.engine.SetPosition(s, length / 2);
    }
    h.engine.GetPosition(s);
    h.engine.FreeStream(s);
    return 0;
}
