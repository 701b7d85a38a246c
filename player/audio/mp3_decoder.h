#pragma once
// MP3 (MPEG audio layers I-III) through libmpg123's feed mode. The length
// comes from our own reading of the first frame's Xing/Info/VBRI tag, since
// feed mode only knows what it has decoded so far.
#include <mutex>

#include "player/audio/decoder.h"
#include "player/audio/mpeg_header.h"

struct mpg123_handle_struct;

namespace mm::audio {

class Mp3Decoder final : public Decoder {
  public:
    // `start` is the offset just past any ID3v2 tags.
    static std::unique_ptr<Mp3Decoder> Open(std::shared_ptr<ByteSource> src, uint64_t start,
                                            const StopFn& stop);
    ~Mp3Decoder() override;

    PcmFormat Format() const override { return format_; }
    std::optional<uint64_t> TotalFrames() override;
    DecodeResult Decode(std::span<int16_t> out) override;
    bool Seek(uint64_t frame) override;
    uint64_t NeededOffset() const override { return cursor_; }
    void SetStop(StopFn) override {}

  private:
    Mp3Decoder() = default;
    // Feeds the next block that has arrived; false when nothing is there.
    bool FeedAvailable();

    std::shared_ptr<ByteSource> src_;
    mpg123_handle_struct* mh_ = nullptr;
    PcmFormat format_;
    MpegHeader first_;
    uint64_t first_pos_ = 0;  // offset of the first frame; mpg123 is fed from here
    uint64_t cursor_ = 0;     // next source offset to feed
    bool tag_frame_ = false;  // the first frame is a Xing/Info/VBRI tag, not audio
    std::optional<uint64_t> exact_frames_;

    std::mutex scan_mu_;
    std::optional<uint64_t> scanned_frames_;
};

}  // namespace mm::audio
