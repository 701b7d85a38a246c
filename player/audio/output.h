#pragma once
// Sound outputs. A voice plays one stream: it pulls PCM from the stream and
// counts what it has consumed, which is the stream's play position.
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "player/audio/pcm_format.h"

namespace mm::audio {

class PcmProvider {
  public:
    virtual ~PcmProvider() = default;
    // Fills up to dst.size() / channels frames; returns how many. Waits up
    // to `wait` while the decoder is still producing (never for the
    // network); with zero, returns at once with what is ready.
    virtual size_t Pull(std::span<int16_t> dst, std::chrono::milliseconds wait) = 0;
};

class Voice {
  public:
    virtual ~Voice() = default;
    virtual void Start() = 0;
    virtual void Pause() = 0;
    // Forgets what was consumed (after a seek); the count starts again at 0.
    virtual void Flush() = 0;
    // Frames consumed since opening or the last Flush.
    virtual uint64_t Consumed() = 0;
};

class Output {
  public:
    virtual ~Output() = default;
    // The provider outlives the voice. nullptr when the device refuses.
    virtual std::unique_ptr<Voice> OpenVoice(const PcmFormat& format, PcmProvider* provider) = 0;
};

}  // namespace mm::audio
