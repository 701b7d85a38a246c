#pragma once
// Decoders turn a ByteSource into 16-bit PCM. Each is used by one thread at a
// time, except TotalFrames, which any thread may ask.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "player/audio/byte_source.h"
#include "player/audio/pcm_format.h"

namespace mm::audio {

enum class DecodeStatus {
    kOk,        // more may follow at once
    kNeedData,  // the bytes needed next have not arrived yet
    kEnd,       // nothing more: end of the data, or data that cannot be decoded
};

struct DecodeResult {
    size_t frames = 0;
    DecodeStatus status = DecodeStatus::kOk;
};

// Returns true when a wait for bytes should give up.
using StopFn = std::function<bool()>;

class Decoder {
  public:
    virtual ~Decoder() = default;
    virtual PcmFormat Format() const = 0;
    // Frames of the whole stream, when the file tells it or the transfer's
    // size allows an estimate.
    virtual std::optional<uint64_t> TotalFrames() = 0;
    // Decodes up to out.size() / channels frames without waiting for bytes.
    virtual DecodeResult Decode(std::span<int16_t> out) = 0;
    // Moves so that the next frame decoded is `frame`.
    virtual bool Seek(uint64_t frame) = 0;
    // The source offset that must have arrived before decoding can go on
    // after kNeedData.
    virtual uint64_t NeededOffset() const = 0;
    // Condition that ends a wait for bytes inside the decoder library.
    virtual void SetStop(StopFn stop) = 0;
};

// Tells the format from the first bytes (fLaC, ID3, MPEG frame sync) and
// opens the matching decoder, waiting for bytes until `stop` says to give up.
// nullptr when the bytes are not audio we can play.
std::unique_ptr<Decoder> OpenDecoder(std::shared_ptr<ByteSource> src, const StopFn& stop);

// Reads `n` bytes from offset, waiting for them; fewer when the source ends
// first or stop() gives up.
size_t ReadWaiting(ByteSource& src, uint64_t offset, std::span<uint8_t> dst, const StopFn& stop);

}  // namespace mm::audio
