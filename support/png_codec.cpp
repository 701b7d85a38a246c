#include <png.h>

#include <algorithm>
#include <cstring>

#include "support/image_codecs.h"

namespace mm::support {

namespace codecs {

std::optional<Image> DecodePng(std::span<const uint8_t> bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return std::nullopt;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return std::nullopt;
    if (!SizeAllowed(png.width, png.height)) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGBA;
    Image img;
    img.width = png.width;
    img.height = png.height;
    img.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, img.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return img;
}

}  // namespace codecs

std::vector<uint8_t> EncodePng(const Image& image) {
    if (image.width == 0 || image.height == 0 || image.rgba.size() != size_t{image.width} * image.height * 4)
        return {};
    bool opaque = true;
    for (size_t i = 3; i < image.rgba.size() && opaque; i += 4) opaque = image.rgba[i] == 255;
    std::vector<uint8_t> pixels;
    const void* data = image.rgba.data();
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = PNG_FORMAT_RGBA;
    if (opaque) {
        pixels.resize(size_t{image.width} * image.height * 3);
        for (size_t i = 0, o = 0; i < image.rgba.size(); i += 4, o += 3)
            std::memcpy(&pixels[o], &image.rgba[i], 3);
        data = pixels.data();
        png.format = PNG_FORMAT_RGB;
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, data, 0, nullptr) || size == 0) return {};
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, data, 0, nullptr)) return {};
    out.resize(size);
    return out;
}

}  // namespace mm::support
