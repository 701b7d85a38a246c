#include "player/audio/flac_decoder.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>

namespace mm::audio {
namespace {

FlacDecoder* Self(void* client) {
    return static_cast<FlacDecoder*>(client);
}
FLAC__StreamDecoder* D(void* p) {
    return static_cast<FLAC__StreamDecoder*>(p);
}

FLAC__StreamDecoderReadStatus ReadCb(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                     void* c) {
    return static_cast<FLAC__StreamDecoderReadStatus>(Self(c)->OnRead(buffer, bytes));
}

FLAC__StreamDecoderSeekStatus SeekCb(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* c) {
    auto* d = Self(c);
    auto size = d->src_->ExpectedSize();
    if (size && offset > *size) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    d->cursor_ = offset;
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus TellCb(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* c) {
    *offset = Self(c)->cursor_;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus LengthCb(const FLAC__StreamDecoder*, FLAC__uint64* length, void* c) {
    auto size = Self(c)->src_->ExpectedSize();
    if (!size) return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
    *length = *size;
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool EofCb(const FLAC__StreamDecoder*, void* c) {
    auto* d = Self(c);
    return d->src_->Ended() && d->cursor_ >= d->src_->Arrived();
}

FLAC__StreamDecoderWriteStatus WriteCb(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* c) {
    Self(c)->OnWrite(frame, buffer);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void MetadataCb(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* c) {
    Self(c)->OnMetadata(m);
}

void ErrorCb(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
    // Lost sync and bad frames are skipped; libFLAC goes on with the next frame.
}

}  // namespace

std::unique_ptr<FlacDecoder> FlacDecoder::Open(std::shared_ptr<ByteSource> src, const StopFn& stop) {
    std::unique_ptr<FlacDecoder> d(new FlacDecoder());
    d->src_ = std::move(src);
    d->stop_ = stop;
    d->dec_ = FLAC__stream_decoder_new();
    if (!d->dec_) return nullptr;
    if (FLAC__stream_decoder_init_stream(D(d->dec_), ReadCb, SeekCb, TellCb, LengthCb, EofCb, WriteCb,
                                         MetadataCb, ErrorCb, d.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return nullptr;
    if (!FLAC__stream_decoder_process_until_end_of_metadata(D(d->dec_)) || !d->have_info_ || d->aborted_)
        return nullptr;
    d->stop_ = nullptr;
    return d;
}

FlacDecoder::~FlacDecoder() {
    if (D(dec_)) FLAC__stream_decoder_delete(D(dec_));
}

int FlacDecoder::OnRead(uint8_t* buffer, size_t* bytes) {
    size_t want = *bytes;
    *bytes = 0;
    while (true) {
        size_t n = src_->ReadAt(cursor_, std::span(buffer, want));
        if (n > 0) {
            cursor_ += n;
            *bytes = n;
            return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
        }
        if (src_->Ended()) return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        if (!stop_ || stop_()) {
            aborted_ = true;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
        src_->WaitBeyond(cursor_, stop_);
    }
}

void FlacDecoder::OnMetadata(const void* metadata) {
    auto* m = static_cast<const FLAC__StreamMetadata*>(metadata);
    if (m->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    const auto& si = m->data.stream_info;
    format_.rate = si.sample_rate;
    format_.channels = static_cast<uint16_t>(si.channels);
    bits_ = si.bits_per_sample;
    total_ = si.total_samples;
    guard_ = si.max_framesize > 0 ? si.max_framesize + 64 : 256 * 1024;
    have_info_ = format_.Valid() && bits_ >= 4 && bits_ <= 32;
}

void FlacDecoder::OnWrite(const void* f, const int32_t* const* channels) {
    auto* frame = static_cast<const FLAC__Frame*>(f);
    // A frame that disagrees with STREAMINFO is dropped rather than trusted.
    if (frame->header.channels != format_.channels || frame->header.bits_per_sample != bits_) return;
    uint32_t n = frame->header.blocksize;
    if (pending_at_ >= pending_.size()) {
        pending_.clear();
        pending_at_ = 0;
    }
    size_t base = pending_.size();
    pending_.resize(base + size_t{n} * format_.channels);
    int16_t* out = pending_.data() + base;
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t c = 0; c < format_.channels; ++c) {
            int32_t s = channels[c][i];
            if (bits_ > 16)
                s >>= (bits_ - 16);
            else if (bits_ < 16)
                s = static_cast<int32_t>(static_cast<uint32_t>(s) << (16 - bits_));
            *out++ = static_cast<int16_t>(std::clamp(s, -32768, 32767));
        }
    }
}

DecodeResult FlacDecoder::Decode(std::span<int16_t> out) {
    const size_t ch = format_.channels;
    const size_t want = out.size() / ch;
    int idle = 0;
    while (pending_at_ >= pending_.size()) {
        auto state = FLAC__stream_decoder_get_state(D(dec_));
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state >= FLAC__STREAM_DECODER_OGG_ERROR)
            return {0, DecodeStatus::kEnd};
        if (!src_->Ended() && src_->Arrived() < cursor_ + guard_) return {0, DecodeStatus::kNeedData};
        uint64_t before = cursor_;
        if (!FLAC__stream_decoder_process_single(D(dec_))) {
            if (aborted_) {
                // Interrupted while waiting for bytes (a seek or shutdown is
                // coming); the stream can be picked up again after a flush.
                aborted_ = false;
                FLAC__stream_decoder_flush(D(dec_));
                return {0, DecodeStatus::kNeedData};
            }
            return {0, DecodeStatus::kEnd};
        }
        if (pending_at_ >= pending_.size() && cursor_ == before && ++idle > 64)
            return {0, DecodeStatus::kEnd};
    }
    size_t frames = std::min(want, (pending_.size() - pending_at_) / ch);
    std::memcpy(out.data(), pending_.data() + pending_at_, frames * ch * sizeof(int16_t));
    pending_at_ += frames * ch;
    return {frames, DecodeStatus::kOk};
}

bool FlacDecoder::Seek(uint64_t frame) {
    pending_.clear();
    pending_at_ = 0;
    if (FLAC__stream_decoder_get_state(D(dec_)) == FLAC__STREAM_DECODER_ABORTED)
        FLAC__stream_decoder_flush(D(dec_));
    aborted_ = false;
    if (total_ > 0 && frame >= total_) {
        // The very end: land on the last sample and drop it, nothing is left.
        if (frame > total_ || !FLAC__stream_decoder_seek_absolute(D(dec_), total_ - 1)) return false;
        pending_.clear();
        pending_at_ = 0;
        return true;
    }
    if (FLAC__stream_decoder_seek_absolute(D(dec_), frame)) {
        // libFLAC decodes the target frame during the seek: its samples from
        // the target on are already in pending_ through the write callback.
        return true;
    }
    if (FLAC__stream_decoder_get_state(D(dec_)) == FLAC__STREAM_DECODER_SEEK_ERROR)
        FLAC__stream_decoder_flush(D(dec_));
    aborted_ = false;
    return false;
}

std::optional<uint64_t> FlacDecoder::TotalFrames() {
    if (total_ == 0) return std::nullopt;
    return total_;
}

}  // namespace mm::audio
