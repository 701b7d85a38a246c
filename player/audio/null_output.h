#pragma once
// Device 0: plays in real time against a clock and sends nothing to a sound
// card. Consumption is worked out whenever the stream is looked at, so a
// manual clock gives exact, repeatable positions.
#include <atomic>
#include <functional>
#include <memory>

#include "player/audio/clock.h"
#include "player/audio/output.h"

namespace mm::audio {

// Sees every block of PCM the no-sound device plays.
using PcmTap = std::function<void(const PcmFormat& format, std::span<const int16_t> samples)>;

class NullOutput final : public Output {
  public:
    // While `lost` holds true, no voice opens (a device that went away).
    NullOutput(std::shared_ptr<Clock> clock, PcmTap tap, std::shared_ptr<std::atomic<bool>> lost = {})
        : clock_(std::move(clock)), tap_(std::move(tap)), lost_(std::move(lost)) {}
    std::unique_ptr<Voice> OpenVoice(const PcmFormat& format, PcmProvider* provider) override;

  private:
    std::shared_ptr<Clock> clock_;
    PcmTap tap_;
    std::shared_ptr<std::atomic<bool>> lost_;
};

}  // namespace mm::audio
