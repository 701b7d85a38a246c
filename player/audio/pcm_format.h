#pragma once
// What a decoder hands out: interleaved signed 16-bit samples at the stream's
// own rate and channel count. Byte positions of a stream count these bytes.
#include <cstdint>

namespace mm::audio {

struct PcmFormat {
    uint32_t rate = 0;
    uint16_t channels = 0;

    uint32_t BlockAlign() const { return uint32_t{channels} * 2; }
    bool Valid() const { return rate > 0 && channels > 0 && channels <= 8; }
};

}  // namespace mm::audio
