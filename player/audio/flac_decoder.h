#pragma once
// FLAC through libFLAC's stream decoder, reading the ByteSource through
// callbacks. The length is STREAMINFO's total sample count.
#include <vector>

#include "player/audio/decoder.h"

namespace mm::audio {

class FlacDecoder final : public Decoder {
  public:
    static std::unique_ptr<FlacDecoder> Open(std::shared_ptr<ByteSource> src, const StopFn& stop);
    ~FlacDecoder() override;

    PcmFormat Format() const override { return format_; }
    std::optional<uint64_t> TotalFrames() override;
    DecodeResult Decode(std::span<int16_t> out) override;
    bool Seek(uint64_t frame) override;
    uint64_t NeededOffset() const override { return cursor_ + guard_ - 1; }
    void SetStop(StopFn stop) override { stop_ = std::move(stop); }

    // libFLAC callbacks; public only so the C trampolines can reach them.
    int OnRead(uint8_t* buffer, size_t* bytes);
    void OnWrite(const void* frame, const int32_t* const* channels);
    void OnMetadata(const void* metadata);
    uint64_t cursor_ = 0;
    std::shared_ptr<ByteSource> src_;
    bool aborted_ = false;

  private:
    FlacDecoder() = default;

    void* dec_ = nullptr;  // FLAC__StreamDecoder*, an anonymous struct that cannot be declared here
    StopFn stop_;
    PcmFormat format_;
    uint32_t bits_ = 0;
    uint64_t total_ = 0;  // 0 when STREAMINFO does not say
    bool have_info_ = false;
    // Bytes that must have arrived beyond the cursor before a frame is
    // decoded, so that libFLAC never waits inside a frame.
    uint64_t guard_ = 0;
    std::vector<int16_t> pending_;  // decoded, not yet handed out
    size_t pending_at_ = 0;
};

}  // namespace mm::audio
