#include "democatalogue/synth.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace mm::democat {

namespace {

constexpr int kTableSize = 4096;

const std::array<float, kTableSize + 1>& SineTable() {
    static const auto table = [] {
        std::array<float, kTableSize + 1> t{};
        for (int i = 0; i <= kTableSize; ++i)
            t[i] = static_cast<float>(std::sin(2.0 * M_PI * i / kTableSize));
        return t;
    }();
    return table;
}

// Sine of phase given in turns (0..1).
float Sin(double turns) {
    const auto& t = SineTable();
    double x = (turns - std::floor(turns)) * kTableSize;
    int i = static_cast<int>(x);
    float f = static_cast<float>(x - i);
    return t[i] + (t[i + 1] - t[i]) * f;
}

class Rng {
public:
    explicit Rng(std::uint32_t seed) : s_(seed ? seed : 1) {}
    std::uint32_t Next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t s_;
};

double MidiHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

struct Buffers {
    std::vector<float> left, right;
};

// Adds one note with a few harmonics, attack and exponential decay.
void AddNote(Buffers& b, double start_s, double length_s, double hz, float amp, float pan,
             const std::array<float, 3>& harmonics, double decay_s, double attack_s) {
    const double rate = Pcm::kRate;
    std::size_t first = static_cast<std::size_t>(start_s * rate);
    std::size_t count = static_cast<std::size_t>(length_s * rate);
    std::size_t release = static_cast<std::size_t>(0.02 * rate);
    float gl = amp * (1.0f - pan), gr = amp * (1.0f + pan);
    for (std::size_t i = 0; i < count + release && first + i < b.left.size(); ++i) {
        double t = i / rate;
        double env = t < attack_s ? t / attack_s : std::exp(-(t - attack_s) / decay_s);
        if (i >= count) env *= 1.0 - static_cast<double>(i - count) / release;
        double turns = hz * t;
        float v = harmonics[0] * Sin(turns) + harmonics[1] * Sin(2 * turns) + harmonics[2] * Sin(3 * turns);
        v *= static_cast<float>(env);
        b.left[first + i] += v * gl;
        b.right[first + i] += v * gr;
    }
}

void AddKick(Buffers& b, double start_s, float amp) {
    const double rate = Pcm::kRate;
    std::size_t first = static_cast<std::size_t>(start_s * rate);
    std::size_t count = static_cast<std::size_t>(0.14 * rate);
    double phase = 0;
    for (std::size_t i = 0; i < count && first + i < b.left.size(); ++i) {
        double t = i / rate;
        double hz = 50.0 + 90.0 * std::exp(-t / 0.03);
        phase += hz / rate;
        float v = amp * Sin(phase) * static_cast<float>(std::exp(-t / 0.05));
        b.left[first + i] += v;
        b.right[first + i] += v;
    }
}

}  // namespace

Pcm Synthesize(int song_id, int seconds) {
    static const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
    static const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
    static const int kProgressions[4][4] = {{0, 4, 5, 3}, {0, 5, 3, 4}, {5, 3, 0, 4}, {0, 3, 4, 4}};

    Rng rng(static_cast<std::uint32_t>(song_id) * 2654435761u + 12345u);
    const std::size_t frames = static_cast<std::size_t>(seconds) * Pcm::kRate;
    Buffers b{std::vector<float>(frames), std::vector<float>(frames)};

    const double beat = 60.0 / (84 + rng.Below(56));
    const int root = 45 + rng.Below(12);
    const int* scale = rng.Below(2) ? kMinor : kMajor;
    const int* prog = kProgressions[rng.Below(4)];
    const std::array<float, 3> lead = {1.0f, rng.Below(60) / 100.0f, rng.Below(35) / 100.0f};
    const double lead_decay = 0.12 + rng.Below(30) / 100.0;
    const float lead_pan = (rng.Below(81) - 40) / 100.0f;
    auto note = [&](int degree, int octave) {
        int o = octave + (degree >= 0 ? degree / 7 : (degree - 6) / 7);
        int d = ((degree % 7) + 7) % 7;
        return root + 12 * o + scale[d];
    };
    // A two-bar melody pattern (eighth notes) reused with the chord shifting under it.
    int pattern[16];
    for (int& p : pattern) p = rng.Below(5) == 0 ? -100 : rng.Below(8);

    const double bar = 4 * beat;
    const int bars = static_cast<int>(seconds / bar) + 1;
    for (int bi = 0; bi < bars; ++bi) {
        double t0 = bi * bar;
        int chord = prog[bi % 4];
        for (int k = 0; k < 3; ++k) {
            AddNote(b, t0, bar, MidiHz(note(chord + 2 * k, 1)), 0.07f, (k - 1) * 0.5f, {1.0f, 0.2f, 0.0f},
                    1.5, 0.25);
        }
        for (int q = 0; q < 4; ++q) {
            AddNote(b, t0 + q * beat, beat * 0.9, MidiHz(note(chord, -1)), 0.22f, 0.0f, {1.0f, 0.3f, 0.1f},
                    0.35, 0.005);
            AddKick(b, t0 + q * beat, 0.35f);
        }
        for (int e = 0; e < 8; ++e) {
            int p = pattern[(bi % 2) * 8 + e];
            if (p < 0) continue;
            AddNote(b, t0 + e * beat / 2, beat / 2, MidiHz(note(chord + p, 2)), 0.16f, lead_pan, lead,
                    lead_decay, 0.005);
        }
    }

    Pcm pcm;
    pcm.samples.resize(frames * 2);
    const double fade_in = 0.3 * Pcm::kRate, fade_out = 1.0 * Pcm::kRate;
    for (std::size_t i = 0; i < frames; ++i) {
        double g = std::min({1.0, i / fade_in, (frames - i) / fade_out});
        auto to16 = [g](float v) {
            double s = std::clamp(v * g, -1.0, 1.0) * 30000.0;
            return static_cast<std::int16_t>(std::lround(s));
        };
        pcm.samples[2 * i] = to16(b.left[i]);
        pcm.samples[2 * i + 1] = to16(b.right[i]);
    }
    return pcm;
}

}  // namespace mm::democat
