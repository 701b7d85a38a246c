#include "player/audio/mp3_decoder.h"

#include <mpg123.h>

#include <vector>

namespace mm::audio {
namespace {

constexpr size_t kFeedBlock = 16 * 1024;
constexpr size_t kProbeBytes = 4096;         // the first frame must start this close to the tags
constexpr uint64_t kOpenLimit = 256 * 1024;  // bytes fed before giving up on finding a format

std::once_flag g_mpg123_once;

}  // namespace

std::unique_ptr<Mp3Decoder> Mp3Decoder::Open(std::shared_ptr<ByteSource> src, uint64_t start,
                                             const StopFn& stop) {
    std::vector<uint8_t> probe(kProbeBytes + 4);
    probe.resize(ReadWaiting(*src, start, probe, stop));
    auto at = FindFirstFrame(probe, 0);
    if (!at || *at >= kProbeBytes) return nullptr;
    auto header = ParseMpegHeader(std::span(probe).subspan(*at));
    if (!header) return nullptr;

    std::unique_ptr<Mp3Decoder> d(new Mp3Decoder());
    d->src_ = src;
    d->first_ = *header;
    d->first_pos_ = start + *at;
    d->cursor_ = d->first_pos_;

    std::vector<uint8_t> frame(header->frame_bytes);
    frame.resize(ReadWaiting(*src, d->first_pos_, frame, stop));
    if (auto vbr = ParseVbrTag(frame, *header)) {
        d->tag_frame_ = true;
        if (vbr->frames) {
            // libmpg123 drops the encoder delay and padding that a LAME tag
            // declares (gapless decoding), so the length does the same.
            uint64_t total = uint64_t{*vbr->frames} * header->samples_per_frame;
            uint64_t trim = uint64_t{vbr->delay} + vbr->padding;
            d->exact_frames_ = total > trim ? total - trim : 0;
        }
    }

    std::call_once(g_mpg123_once, [] { mpg123_init(); });
    int err = 0;
    d->mh_ = mpg123_new(nullptr, &err);
    if (!d->mh_) return nullptr;
    mpg123_param(d->mh_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(d->mh_);
    const long* rates = nullptr;
    size_t rate_count = 0;
    mpg123_rates(&rates, &rate_count);
    for (size_t i = 0; i < rate_count; ++i)
        mpg123_format(d->mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(d->mh_) != MPG123_OK) return nullptr;

    // Feed until libmpg123 has seen the first audio frame's format.
    while (d->cursor_ - d->first_pos_ < kOpenLimit) {
        size_t done = 0;
        int r = mpg123_read(d->mh_, nullptr, 0, &done);
        if (r == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(d->mh_, &rate, &channels, &encoding);
            d->format_.rate = static_cast<uint32_t>(rate);
            d->format_.channels = static_cast<uint16_t>(channels);
            if (!d->format_.Valid() || encoding != MPG123_ENC_SIGNED_16) return nullptr;
            return d;
        }
        if (r != MPG123_NEED_MORE && r != MPG123_OK) return nullptr;
        if (d->FeedAvailable()) continue;
        if (src->Ended() || stop()) return nullptr;
        src->WaitBeyond(d->cursor_, stop);
    }
    return nullptr;
}

Mp3Decoder::~Mp3Decoder() {
    if (mh_) mpg123_delete(mh_);
}

bool Mp3Decoder::FeedAvailable() {
    uint8_t block[kFeedBlock];
    size_t n = src_->ReadAt(cursor_, block);
    if (n == 0) return false;
    mpg123_feed(mh_, block, n);
    cursor_ += n;
    return true;
}

DecodeResult Mp3Decoder::Decode(std::span<int16_t> out) {
    const size_t align = format_.BlockAlign();
    size_t want = out.size() / format_.channels * align;
    int idle = 0;
    while (true) {
        size_t done = 0;
        int r = mpg123_read(mh_, reinterpret_cast<unsigned char*>(out.data()), want, &done);
        if (done > 0) return {done / align, DecodeStatus::kOk};
        if (r == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(mh_, &rate, &channels, &encoding);
            // Our output keeps the format it opened with; a stream that
            // changes it midway ends there.
            if (static_cast<uint32_t>(rate) != format_.rate || channels != format_.channels)
                return {0, DecodeStatus::kEnd};
            continue;
        }
        if (r == MPG123_NEED_MORE) {
            if (FeedAvailable()) {
                idle = 0;
                continue;
            }
            if (src_->Ended() && cursor_ >= src_->Arrived()) return {0, DecodeStatus::kEnd};
            return {0, DecodeStatus::kNeedData};
        }
        if (r == MPG123_OK && ++idle < 64) continue;
        return {0, DecodeStatus::kEnd};  // MPG123_DONE, an error, or no progress
    }
}

bool Mp3Decoder::Seek(uint64_t frame) {
    off_t input = 0;
    off_t r = mpg123_feedseek(mh_, static_cast<off_t>(frame), SEEK_SET, &input);
    if (r < 0 || input < 0) return false;
    cursor_ = first_pos_ + static_cast<uint64_t>(input);
    return true;
}

std::optional<uint64_t> Mp3Decoder::TotalFrames() {
    if (exact_frames_) return exact_frames_;
    std::lock_guard lk(scan_mu_);
    if (scanned_frames_) return scanned_frames_;
    if (src_->Whole()) {
        // Every byte is here: walk the frames for the exact count.
        std::vector<uint8_t> all(src_->Arrived() - std::min(src_->Arrived(), first_pos_));
        all.resize(src_->ReadAt(first_pos_, all));
        uint64_t frames = CountFrames(all, 0);
        if (tag_frame_ && frames > 0) --frames;
        scanned_frames_ = frames * first_.samples_per_frame;
        return scanned_frames_;
    }
    if (auto size = src_->ExpectedSize(); size && *size > first_pos_ && first_.bitrate > 0) {
        // Constant bitrate assumed: the transfer's size over the first frame's rate.
        long double seconds = static_cast<long double>(*size - first_pos_) * 8 / first_.bitrate;
        return static_cast<uint64_t>(seconds * first_.rate);
    }
    return std::nullopt;
}

}  // namespace mm::audio
