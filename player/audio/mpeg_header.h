#pragma once
// MPEG audio frame headers and the tags around them: what the engine needs to
// tell an MP3 stream's length without decoding it.
#include <cstdint>
#include <optional>
#include <span>

namespace mm::audio {

struct MpegHeader {
    int version = 0;       // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5
    int layer = 0;         // 1, 2 or 3
    uint32_t bitrate = 0;  // bits per second
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint32_t frame_bytes = 0;
    uint32_t samples_per_frame = 0;

    // Size of the layer III side information that follows the 4 header bytes.
    uint32_t SideInfoBytes() const;
    // True when the other header is a frame of the same stream.
    bool SameStream(const MpegHeader& o) const {
        return version == o.version && layer == o.layer && rate == o.rate;
    }
};

// Parses 4 header bytes; nullopt for anything that is not a usable frame
// header (free-format and reserved values included).
std::optional<MpegHeader> ParseMpegHeader(std::span<const uint8_t> bytes);

// Size of the ID3v2 tag at the start of bytes (header, body and footer), 0
// when there is none. Needs at least 10 bytes to tell.
uint64_t Id3v2TagSize(std::span<const uint8_t> bytes);

// What an encoder's first frame says about the whole stream.
struct VbrInfo {
    std::optional<uint32_t> frames;  // audio frames, the tag frame not counted
    uint32_t delay = 0;              // encoder delay in samples (LAME tag)
    uint32_t padding = 0;            // padding at the end in samples (LAME tag)
    bool lame_tag = false;
};

// Looks for a Xing/Info or VBRI tag in the first frame (all its bytes given).
std::optional<VbrInfo> ParseVbrTag(std::span<const uint8_t> frame, const MpegHeader& h);

// Finds the first frame header at or after `from`: a header whose successor
// is also a header of the same stream, or that ends exactly at the end.
// Returns its offset within bytes.
std::optional<size_t> FindFirstFrame(std::span<const uint8_t> bytes, size_t from);

// Counts the audio frames of a whole stream starting at `first` (the offset
// of its first frame), resynchronising over junk. The tag frame is counted
// too; the caller subtracts it.
uint64_t CountFrames(std::span<const uint8_t> bytes, size_t first);

}  // namespace mm::audio
