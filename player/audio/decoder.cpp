#include "player/audio/decoder.h"

#include <cstring>
#include <vector>

#include "player/audio/flac_decoder.h"
#include "player/audio/mp3_decoder.h"
#include "player/audio/mpeg_header.h"

namespace mm::audio {

size_t ReadWaiting(ByteSource& src, uint64_t offset, std::span<uint8_t> dst, const StopFn& stop) {
    size_t got = 0;
    while (got < dst.size()) {
        size_t n = src.ReadAt(offset + got, dst.subspan(got));
        got += n;
        if (n > 0) continue;
        if (src.Ended() && src.Arrived() <= offset + got) break;
        if (stop()) break;
        src.WaitBeyond(offset + got, stop);
    }
    return got;
}

std::unique_ptr<Decoder> OpenDecoder(std::shared_ptr<ByteSource> src, const StopFn& stop) {
    uint64_t pos = 0;
    // ID3v2 tags may precede either format; several in a row are allowed.
    for (int tags = 0; tags < 4; ++tags) {
        uint8_t head[10];
        if (ReadWaiting(*src, pos, head, stop) < 10) break;
        uint64_t tag = Id3v2TagSize(head);
        if (tag == 0) break;
        pos += tag;
    }
    uint8_t magic[4];
    if (ReadWaiting(*src, pos, magic, stop) < 4) return nullptr;
    if (std::memcmp(magic, "fLaC", 4) == 0) return FlacDecoder::Open(std::move(src), stop);
    return Mp3Decoder::Open(std::move(src), pos, stop);
}

}  // namespace mm::audio
