#include "democatalogue/encoders.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <lame/lame.h>

#include <cstring>
#include <memory>
#include <vector>

namespace mm::democat {

namespace {

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

constexpr std::size_t kChunkFrames = 1152 * 32;

}  // namespace

std::optional<std::string> EncodeMp3(const Pcm& pcm, int kbps, const std::atomic<bool>* cancel) {
    Mp3Options options;
    options.kbps = kbps;
    options.infoTag = false;
    return EncodeMp3(pcm, options, cancel);
}

std::optional<std::string> EncodeMp3(const Pcm& pcm, const Mp3Options& options,
                                     const std::atomic<bool>* cancel) {
    std::unique_ptr<lame_global_flags, int (*)(lame_global_flags*)> gf(lame_init(), lame_close);
    if (!gf) return std::nullopt;
    lame_set_in_samplerate(gf.get(), Pcm::kRate);
    lame_set_out_samplerate(gf.get(), Pcm::kRate);
    lame_set_num_channels(gf.get(), 2);
    lame_set_mode(gf.get(), JOINT_STEREO);
    switch (options.mode) {
        case Mp3Options::Mode::kConstant:
            lame_set_VBR(gf.get(), vbr_off);
            lame_set_brate(gf.get(), options.kbps);
            break;
        case Mp3Options::Mode::kVariable:
            lame_set_VBR(gf.get(), vbr_default);
            lame_set_VBR_q(gf.get(), options.quality);
            break;
        case Mp3Options::Mode::kAverage:
            lame_set_VBR(gf.get(), vbr_abr);
            lame_set_VBR_mean_bitrate_kbps(gf.get(), options.kbps);
            break;
    }
    lame_set_quality(gf.get(), 7);  // fast; the music is plain tones
    lame_set_bWriteVbrTag(gf.get(), options.infoTag ? 1 : 0);
    lame_set_write_id3tag_automatic(gf.get(), 0);
    if (lame_init_params(gf.get()) < 0) return std::nullopt;

    std::string out;
    std::vector<unsigned char> buf(kChunkFrames * 5 / 4 + 7200);
    const std::size_t frames = pcm.frames();
    for (std::size_t at = 0; at < frames; at += kChunkFrames) {
        if (Cancelled(cancel)) return std::nullopt;
        int n = static_cast<int>(std::min(kChunkFrames, frames - at));
        // lame takes a non-const pointer but does not write through it.
        auto* interleaved = const_cast<short*>(pcm.samples.data() + 2 * at);
        int w = lame_encode_buffer_interleaved(gf.get(), interleaved, n, buf.data(),
                                               static_cast<int>(buf.size()));
        if (w < 0) return std::nullopt;
        out.append(reinterpret_cast<char*>(buf.data()), static_cast<std::size_t>(w));
    }
    int w = lame_encode_flush(gf.get(), buf.data(), static_cast<int>(buf.size()));
    if (w < 0) return std::nullopt;
    out.append(reinterpret_cast<char*>(buf.data()), static_cast<std::size_t>(w));
    if (options.infoTag) {
        // The first frame was kept free for the tag, which is known only now.
        std::size_t n = lame_get_lametag_frame(gf.get(), buf.data(), buf.size());
        if (n == 0 || n > out.size()) return std::nullopt;
        std::memcpy(out.data(), buf.data(), n);
    }
    return out;
}

namespace {

// The encoder writes into memory but can seek back, so that it fills in
// STREAMINFO (sizes, MD5) at the end as it does for a file.
struct MemorySink {
    std::string data;
    std::size_t pos = 0;
};

FLAC__StreamEncoderWriteStatus WriteCb(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                       uint32_t, uint32_t, void* client) {
    auto* sink = static_cast<MemorySink*>(client);
    if (sink->pos + bytes > sink->data.size()) sink->data.resize(sink->pos + bytes);
    std::memcpy(sink->data.data() + sink->pos, buffer, bytes);
    sink->pos += bytes;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus SeekCb(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client) {
    auto* sink = static_cast<MemorySink*>(client);
    if (offset > sink->data.size()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    sink->pos = static_cast<std::size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus TellCb(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client) {
    *offset = static_cast<MemorySink*>(client)->pos;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct FlacDeleter {
    void operator()(FLAC__StreamEncoder* e) const { FLAC__stream_encoder_delete(e); }
};
struct MetaDeleter {
    void operator()(FLAC__StreamMetadata* m) const { FLAC__metadata_object_delete(m); }
};

}  // namespace

std::optional<std::string> EncodeFlac(const Pcm& pcm, const std::atomic<bool>* cancel) {
    std::unique_ptr<FLAC__StreamEncoder, FlacDeleter> enc(FLAC__stream_encoder_new());
    std::unique_ptr<FLAC__StreamMetadata, MetaDeleter> comment(
        FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    std::unique_ptr<FLAC__StreamMetadata, MetaDeleter> padding(
        FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    if (!enc || !comment || !padding) return std::nullopt;
    padding->length = 1024;
    FLAC__StreamMetadata* blocks[2] = {comment.get(), padding.get()};

    const std::size_t frames = pcm.frames();
    FLAC__stream_encoder_set_channels(enc.get(), 2);
    FLAC__stream_encoder_set_bits_per_sample(enc.get(), 16);
    FLAC__stream_encoder_set_sample_rate(enc.get(), Pcm::kRate);
    FLAC__stream_encoder_set_compression_level(enc.get(), 5);
    FLAC__stream_encoder_set_total_samples_estimate(enc.get(), frames);
    FLAC__stream_encoder_set_metadata(enc.get(), blocks, 2);
    MemorySink sink;
    if (FLAC__stream_encoder_init_stream(enc.get(), WriteCb, SeekCb, TellCb, nullptr, &sink) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        return std::nullopt;
    }
    std::vector<FLAC__int32> chunk(kChunkFrames * 2);
    for (std::size_t at = 0; at < frames; at += kChunkFrames) {
        if (Cancelled(cancel)) {
            FLAC__stream_encoder_finish(enc.get());
            return std::nullopt;
        }
        std::size_t n = std::min(kChunkFrames, frames - at);
        for (std::size_t i = 0; i < 2 * n; ++i) chunk[i] = pcm.samples[2 * at + i];
        if (!FLAC__stream_encoder_process_interleaved(enc.get(), chunk.data(), static_cast<uint32_t>(n))) {
            FLAC__stream_encoder_finish(enc.get());
            return std::nullopt;
        }
    }
    if (!FLAC__stream_encoder_finish(enc.get())) return std::nullopt;
    return std::move(sink.data);
}

}  // namespace mm::democat
