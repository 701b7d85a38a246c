#pragma once
// Deterministic demo music: a short loop of chords, bass, a melody and a
// kick drum, different for every song id.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mm::democat {

struct Pcm {
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;
    std::vector<std::int16_t> samples;  // interleaved left, right

    std::size_t frames() const { return samples.size() / kChannels; }
};

Pcm Synthesize(int song_id, int seconds);

}  // namespace mm::democat
