#pragma once
// One decoder per format, each bounds-checked against the bytes it is given.
#include "support/image.h"

namespace mm::support::codecs {

// Larger pictures are refused before they are decoded: a cover is never this
// big, and a forged header could ask for gigabytes. Up to 8192 on a side and
// 16.7 million pixels (4096 x 4096), 64 MiB once decoded; ten workers decoding
// at once stay within memory.
inline constexpr uint64_t kMaxSide = 8192;
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 24;

inline bool SizeAllowed(uint64_t w, uint64_t h) {
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

std::optional<Image> DecodeJpeg(std::span<const uint8_t> bytes);
std::optional<Image> DecodePng(std::span<const uint8_t> bytes);
std::optional<Image> DecodeGif(std::span<const uint8_t> bytes);
std::optional<Image> DecodeBmp(std::span<const uint8_t> bytes);

}  // namespace mm::support::codecs
