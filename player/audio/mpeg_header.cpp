#include "player/audio/mpeg_header.h"

#include <cstring>

namespace mm::audio {
namespace {

// kbit/s by [mpeg1?0:1][layer-1][index]
constexpr uint16_t kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};
constexpr uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

uint32_t MpegHeader::SideInfoBytes() const {
    if (layer != 3) return 0;
    if (version == 1) return channels == 1 ? 17 : 32;
    return channels == 1 ? 9 : 17;
}

std::optional<MpegHeader> ParseMpegHeader(std::span<const uint8_t> b) {
    if (b.size() < 4) return std::nullopt;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    int version_bits = (b[1] >> 3) & 3;  // 0 = 2.5, 1 = reserved, 2 = 2, 3 = 1
    int layer_bits = (b[1] >> 1) & 3;    // 1 = III, 2 = II, 3 = I
    int bitrate_index = b[2] >> 4;
    int rate_index = (b[2] >> 2) & 3;
    if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3)
        return std::nullopt;
    MpegHeader h;
    h.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 3;
    h.layer = 4 - layer_bits;
    bool padding = (b[2] >> 1) & 1;
    h.channels = (b[3] >> 6) == 3 ? 1 : 2;
    h.bitrate = uint32_t{kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrate_index]} * 1000;
    h.rate = kRates[h.version - 1][rate_index];
    if (h.layer == 1) {
        h.samples_per_frame = 384;
        h.frame_bytes = (12 * h.bitrate / h.rate + (padding ? 1 : 0)) * 4;
    } else {
        h.samples_per_frame = (h.layer == 3 && h.version != 1) ? 576 : 1152;
        h.frame_bytes = h.samples_per_frame / 8 * h.bitrate / h.rate + (padding ? 1 : 0);
    }
    if (h.frame_bytes < 4) return std::nullopt;
    return h;
}

uint64_t Id3v2TagSize(std::span<const uint8_t> b) {
    if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3) != 0) return 0;
    if (b[3] == 0xFF || b[4] == 0xFF) return 0;
    for (int i = 6; i < 10; ++i)
        if (b[i] & 0x80) return 0;  // not a synchsafe size: not a tag
    uint64_t body = uint64_t{b[6]} << 21 | uint64_t{b[7]} << 14 | uint64_t{b[8]} << 7 | b[9];
    bool footer = b[5] & 0x10;
    return 10 + body + (footer ? 10 : 0);
}

std::optional<VbrInfo> ParseVbrTag(std::span<const uint8_t> f, const MpegHeader& h) {
    if (h.layer != 3) return std::nullopt;
    size_t x = 4 + h.SideInfoBytes();
    if (f.size() >= x + 8 && (std::memcmp(&f[x], "Xing", 4) == 0 || std::memcmp(&f[x], "Info", 4) == 0)) {
        VbrInfo info;
        uint32_t flags = Be32(&f[x + 4]);
        size_t p = x + 8;
        if (flags & 1) {
            if (f.size() < p + 4) return std::nullopt;
            info.frames = Be32(&f[p]);
            p += 4;
        }
        if (flags & 2) p += 4;    // byte count
        if (flags & 4) p += 100;  // seek table
        if (flags & 8) p += 4;    // quality
        // LAME extension: 9 bytes of encoder name, then the delays at byte 21.
        if (f.size() >= p + 24 && (std::memcmp(&f[p], "LAME", 4) == 0 || std::memcmp(&f[p], "Lavc", 4) == 0 ||
                                   std::memcmp(&f[p], "Lavf", 4) == 0)) {
            const uint8_t* d = &f[p + 21];
            info.delay = uint32_t{d[0]} << 4 | d[1] >> 4;
            info.padding = static_cast<uint32_t>(d[1] & 0x0F) << 8 | d[2];
            info.lame_tag = true;
        }
        return info;
    }
    size_t v = 4 + 32;
    if (f.size() >= v + 18 && std::memcmp(&f[v], "VBRI", 4) == 0) {
        VbrInfo info;
        info.frames = Be32(&f[v + 14]);
        return info;
    }
    return std::nullopt;
}

std::optional<size_t> FindFirstFrame(std::span<const uint8_t> b, size_t from) {
    for (size_t i = from; i + 4 <= b.size(); ++i) {
        if (b[i] != 0xFF) continue;
        auto h = ParseMpegHeader(b.subspan(i));
        if (!h) continue;
        size_t next = i + h->frame_bytes;
        if (next == b.size()) return i;
        if (next + 4 > b.size()) continue;
        auto n = ParseMpegHeader(b.subspan(next));
        if (n && n->SameStream(*h)) return i;
    }
    return std::nullopt;
}

uint64_t CountFrames(std::span<const uint8_t> b, size_t first) {
    auto h0 = ParseMpegHeader(b.subspan(std::min(first, b.size())));
    if (!h0) return 0;
    uint64_t count = 0;
    size_t pos = first;
    while (pos + 4 <= b.size()) {
        auto h = ParseMpegHeader(b.subspan(pos));
        if (h && h->SameStream(*h0) && pos + h->frame_bytes <= b.size()) {
            ++count;
            pos += h->frame_bytes;
            continue;
        }
        // Junk (or a trailing tag): look for the next pair of frames.
        auto again = FindFirstFrame(b, pos + 1);
        if (!again) break;
        auto h2 = ParseMpegHeader(b.subspan(*again));
        if (!h2 || !h2->SameStream(*h0)) break;
        pos = *again;
    }
    return count;
}

}  // namespace mm::audio
