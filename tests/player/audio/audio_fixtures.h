#pragma once
// Real audio for the engine's tests: PCM synthesized here, encoded by the
// lame and flac command-line encoders into a temporary folder.
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "player/audio/pcm_format.h"

namespace mm::audio::testing {

// A folder under /tmp removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Two tones, one per channel, so left and right differ.
std::vector<int16_t> Tone(uint32_t rate, uint16_t channels, size_t frames, double amplitude = 0.5);
bool WriteWav(const std::string& path, std::span<const int16_t> pcm, uint32_t rate, uint16_t channels);
std::vector<uint8_t> ReadFile(const std::string& path);

// Encodes frames of Tone() and returns the file's path ("" on failure).
// lame_args e.g. "-b 128 --cbr" or "-b 128 --cbr -t" (no Info frame).
std::string MakeMp3(const TempDir& dir, const std::string& name, uint32_t rate, uint16_t channels,
                    size_t frames, const std::string& lame_args = "-b 128 --cbr");
std::string MakeFlac(const TempDir& dir, const std::string& name, uint32_t rate, uint16_t channels,
                     size_t frames, const std::string& flac_args = "");

// Collects what the no-sound device plays.
class Tap {
  public:
    void Add(std::span<const int16_t> s) {
        std::lock_guard lk(mu_);
        samples_.insert(samples_.end(), s.begin(), s.end());
    }
    std::vector<int16_t> Samples() {
        std::lock_guard lk(mu_);
        return samples_;
    }
    size_t Count() {
        std::lock_guard lk(mu_);
        return samples_.size();
    }
    void Clear() {
        std::lock_guard lk(mu_);
        samples_.clear();
    }

  private:
    std::mutex mu_;
    std::vector<int16_t> samples_;
};

}  // namespace mm::audio::testing
