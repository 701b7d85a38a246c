#pragma once
// The sound card through SDL2's audio (PulseAudio, PipeWire, ALSA). Each
// voice opens its own device stream in the stream's own format; SDL converts
// when the card wants another.
#include <string>

#include "player/audio/output.h"

namespace mm::audio {

class SdlOutput final : public Output {
  public:
    // device -1 (or 1) is the default output, n > 1 the (n-1)-th device SDL
    // lists. nullptr when the machine has no usable sound output.
    static std::unique_ptr<SdlOutput> Open(int device);
    ~SdlOutput() override;
    std::unique_ptr<Voice> OpenVoice(const PcmFormat& format, PcmProvider* provider) override;

  private:
    SdlOutput() = default;
    std::string device_name_;  // empty for the default device
};

// Device buffer length asked of SDL, in frames: a power of two near 20 ms.
uint16_t SdlBufferFrames(uint32_t rate);

}  // namespace mm::audio
