#pragma once
// Pictures in memory: decoding the formats covers come in (JPEG, PNG, GIF,
// BMP), scaling, and PNG encoding. No UI toolkit is involved.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mm::support {

// 8-bit RGBA, rows top to bottom, no padding.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;
};

struct ImageSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// nullopt when the bytes are no picture we can read (or an absurdly large one).
std::optional<Image> DecodeImage(std::span<const uint8_t> bytes);
std::optional<ImageSize> GetImageSize(std::span<const uint8_t> bytes);

// Scales to exactly width × height (proportions are not kept): an area
// average when shrinking, bilinear when growing.
Image ResizeImage(const Image& src, uint32_t width, uint32_t height);

// A whole PNG file; empty on failure. Opaque pictures are written as RGB.
std::vector<uint8_t> EncodePng(const Image& image);

// The picture scaled to width × height as PNG. A width or height below 1
// keeps the picture's own. Empty when the bytes are not a picture.
std::vector<uint8_t> MakeThumbnail(std::span<const uint8_t> bytes, int width = 0, int height = 0);

}  // namespace mm::support
