#pragma once
// One decoder per format, each bounds-checked against the bytes it is given.
#include "support/image.h"

namespace mm::support::codecs {

// Larger pictures are refused: a cover is never this big, a forged header
// could ask for gigabytes.
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

inline bool SizeAllowed(uint64_t w, uint64_t h) {
    return w > 0 && h > 0 && w * h <= kMaxPixels;
}

std::optional<Image> DecodeJpeg(std::span<const uint8_t> bytes);
std::optional<Image> DecodePng(std::span<const uint8_t> bytes);
std::optional<Image> DecodeGif(std::span<const uint8_t> bytes);
std::optional<Image> DecodeBmp(std::span<const uint8_t> bytes);

}  // namespace mm::support::codecs
