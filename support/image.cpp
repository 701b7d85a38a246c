#include "support/image.h"

#include <algorithm>
#include <cmath>

#include "support/image_codecs.h"

namespace mm::support {
namespace {

struct Tap {
    uint32_t index;
    float weight;
};

// For each output position, the source positions it takes and their weights:
// the covered area when shrinking, the two neighbours when growing.
std::vector<std::vector<Tap>> Weights(uint32_t src, uint32_t dst) {
    std::vector<std::vector<Tap>> taps(dst);
    const double scale = double(src) / dst;
    for (uint32_t o = 0; o < dst; ++o) {
        auto& t = taps[o];
        if (scale >= 1.0) {
            double a = o * scale, b = a + scale;
            for (uint32_t i = static_cast<uint32_t>(a); i < src && i < b; ++i) {
                double w = std::min(b, i + 1.0) - std::max(a, double(i));
                if (w > 1e-9) t.push_back({i, float(w / scale)});
            }
        } else {
            double c = (o + 0.5) * scale - 0.5;
            double f = std::floor(c);
            float frac = float(c - f);
            int64_t i0 = std::clamp<int64_t>(int64_t(f), 0, src - 1);
            int64_t i1 = std::clamp<int64_t>(int64_t(f) + 1, 0, src - 1);
            t.push_back({uint32_t(i0), 1.0f - frac});
            t.push_back({uint32_t(i1), frac});
        }
    }
    return taps;
}

}  // namespace

std::optional<Image> DecodeImage(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return std::nullopt;
    if (bytes[0] == 0xFF && bytes[1] == 0xD8) return codecs::DecodeJpeg(bytes);
    if (bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return codecs::DecodePng(bytes);
    if (bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F') return codecs::DecodeGif(bytes);
    if (bytes[0] == 'B' && bytes[1] == 'M') return codecs::DecodeBmp(bytes);
    return std::nullopt;
}

std::optional<ImageSize> GetImageSize(std::span<const uint8_t> bytes) {
    auto img = DecodeImage(bytes);
    if (!img) return std::nullopt;
    return ImageSize{img->width, img->height};
}

Image ResizeImage(const Image& src, uint32_t width, uint32_t height) {
    if (src.width == width && src.height == height) return src;
    Image out;
    if (width == 0 || height == 0 || src.width == 0 || src.height == 0) return out;
    // Premultiplied alpha, so transparent pixels do not bleed their colour;
    // worked out per tap rather than for a whole copy of the picture, which
    // would take 16 bytes a pixel.
    auto wx = Weights(src.width, width), wy = Weights(src.height, height);
    std::vector<float> rows(size_t{width} * src.height * 4, 0.0f);  // scaled across, not yet down
    for (uint32_t y = 0; y < src.height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float* o = &rows[(size_t{y} * width + x) * 4];
            for (const Tap& t : wx[x]) {
                const uint8_t* p = &src.rgba[(size_t{y} * src.width + t.index) * 4];
                const float a = p[3] / 255.0f;
                o[0] += p[0] * a * t.weight;
                o[1] += p[1] * a * t.weight;
                o[2] += p[2] * a * t.weight;
                o[3] += p[3] * t.weight;
            }
        }
    }
    out.width = width;
    out.height = height;
    out.rgba.resize(size_t{width} * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (const Tap& t : wy[y]) {
                const float* p = &rows[(size_t{t.index} * width + x) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += p[c] * t.weight;
            }
            uint8_t* o = &out.rgba[(size_t{y} * width + x) * 4];
            float a = std::clamp(acc[3], 0.0f, 255.0f);
            float unpre = a > 0 ? 255.0f / a : 0.0f;
            for (int c = 0; c < 3; ++c) o[c] = uint8_t(std::lround(std::clamp(acc[c] * unpre, 0.0f, 255.0f)));
            o[3] = uint8_t(std::lround(a));
        }
    }
    return out;
}

std::vector<uint8_t> MakeThumbnail(std::span<const uint8_t> bytes, int width, int height) {
    auto img = DecodeImage(bytes);
    if (!img) return {};
    uint32_t w = width < 1 ? img->width : uint32_t(width);
    uint32_t h = height < 1 ? img->height : uint32_t(height);
    if (!codecs::SizeAllowed(w, h)) return {};
    return EncodePng(ResizeImage(*img, w, h));
}

}  // namespace mm::support
