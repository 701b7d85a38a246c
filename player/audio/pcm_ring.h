#pragma once
// A fixed-size ring of interleaved samples between the decoder thread and
// the output. Not locked: the stream guards it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace mm::audio {

class PcmRing {
  public:
    PcmRing(size_t frames, uint16_t channels) : ch_(channels), buf_(frames * channels) {}

    size_t Frames() const { return size_ / ch_; }
    size_t FreeFrames() const { return (buf_.size() - size_) / ch_; }
    void Clear() { head_ = size_ = 0; }

    // Appends whole frames; returns how many fitted.
    size_t Write(std::span<const int16_t> src) {
        size_t n = std::min(src.size(), buf_.size() - size_) / ch_ * ch_;
        size_t tail = (head_ + size_) % buf_.size();
        size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(buf_.data() + tail, src.data(), first * sizeof(int16_t));
        std::memcpy(buf_.data(), src.data() + first, (n - first) * sizeof(int16_t));
        size_ += n;
        return n / ch_;
    }

    // Takes up to dst.size() samples in whole frames; returns frames taken.
    size_t Read(std::span<int16_t> dst) {
        size_t n = std::min(dst.size(), size_) / ch_ * ch_;
        size_t first = std::min(n, buf_.size() - head_);
        std::memcpy(dst.data(), buf_.data() + head_, first * sizeof(int16_t));
        std::memcpy(dst.data() + first, buf_.data(), (n - first) * sizeof(int16_t));
        head_ = (head_ + n) % buf_.size();
        size_ -= n;
        return n / ch_;
    }

  private:
    size_t ch_;
    std::vector<int16_t> buf_;
    size_t head_ = 0;
    size_t size_ = 0;
};

}  // namespace mm::audio
