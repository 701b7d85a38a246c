// Windows bitmaps: uncompressed 1/4/8-bit paletted, 16/24/32-bit, bottom-up
// or top-down. Every offset and size from the headers is checked against the
// bytes before use.
#include <cstring>

#include "support/image_codecs.h"

namespace mm::support::codecs {
namespace {

uint32_t Le16(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

// Extracts a channel with `mask` from a pixel value, scaled to 0..255.
uint8_t Channel(uint32_t value, uint32_t mask, uint8_t if_no_mask) {
    if (mask == 0) return if_no_mask;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    uint32_t bits = mask >> shift;
    uint32_t v = (value & mask) >> shift;
    return static_cast<uint8_t>(v * 255 / bits);
}

}  // namespace

std::optional<Image> DecodeBmp(std::span<const uint8_t> b) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    const uint32_t data_offset = Le32(&b[10]);
    const uint32_t header = Le32(&b[14]);
    if (header < 12 || 14 + uint64_t{header} > b.size()) return std::nullopt;
    int64_t width, height;
    uint32_t bpp, compression = 0, colors_used = 0;
    if (header == 12) {  // BITMAPCOREHEADER
        width = Le16(&b[18]);
        height = static_cast<int16_t>(Le16(&b[20]));
        bpp = Le16(&b[24]);
    } else {
        if (header < 40) return std::nullopt;
        width = static_cast<int32_t>(Le32(&b[18]));
        height = static_cast<int32_t>(Le32(&b[22]));
        bpp = Le16(&b[28]);
        compression = Le32(&b[30]);
        colors_used = Le32(&b[46]);
    }
    const bool top_down = height < 0;
    if (top_down) height = -height;
    if (width <= 0 || !SizeAllowed(uint64_t(width), uint64_t(height))) return std::nullopt;

    // 0 = BI_RGB, 3 = BI_BITFIELDS, 6 = BI_ALPHABITFIELDS; run-length and
    // embedded JPEG/PNG forms are not read.
    uint32_t rmask = 0, gmask = 0, bmask = 0, amask = 0;
    if (compression == 3 || compression == 6) {
        // Masks follow a 40-byte header, or sit inside a larger one.
        size_t m = 14 + 40;
        if (m + 12 > b.size()) return std::nullopt;
        rmask = Le32(&b[m]);
        gmask = Le32(&b[m + 4]);
        bmask = Le32(&b[m + 8]);
        if ((compression == 6 || header >= 56) && m + 16 <= b.size()) amask = Le32(&b[m + 12]);
        if (bpp != 16 && bpp != 32) return std::nullopt;
    } else if (compression != 0) {
        return std::nullopt;
    } else if (bpp == 16) {
        rmask = 0x7C00, gmask = 0x03E0, bmask = 0x001F;
    } else if (bpp == 32) {
        rmask = 0x00FF0000, gmask = 0x0000FF00, bmask = 0x000000FF;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;

    // Palette: after the header (and the masks of a 40-byte BITFIELDS header).
    std::vector<uint8_t> palette;  // RGBA entries
    if (bpp <= 8) {
        uint64_t count = colors_used ? colors_used : (1u << bpp);
        if (count > 256) return std::nullopt;
        size_t entry = header == 12 ? 3 : 4;
        uint64_t at = 14 + uint64_t{header};
        if (at + count * entry > b.size()) return std::nullopt;
        palette.resize(256 * 4, 0);
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* p = &b[at + i * entry];
            palette[i * 4] = p[2];
            palette[i * 4 + 1] = p[1];
            palette[i * 4 + 2] = p[0];
            palette[i * 4 + 3] = 255;
        }
    }

    const uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
    if (data_offset > b.size() || stride * uint64_t(height) > b.size() - data_offset) return std::nullopt;

    Image img;
    img.width = static_cast<uint32_t>(width);
    img.height = static_cast<uint32_t>(height);
    img.rgba.resize(size_t{img.width} * img.height * 4);
    bool any_alpha = false;
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = &b[data_offset + stride * uint64_t(top_down ? y : height - 1 - y)];
        uint8_t* out = &img.rgba[size_t(y) * img.width * 4];
        for (int64_t x = 0; x < width; ++x, out += 4) {
            if (bpp <= 8) {
                uint32_t bit = uint32_t(x) * bpp;
                uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                std::memcpy(out, &palette[index * 4], 4);
                if (out[3] == 0) out[3] = 255;  // an index past the palette reads black
            } else if (bpp == 24) {
                const uint8_t* p = row + x * 3;
                out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
            } else {
                uint32_t v = bpp == 16 ? Le16(row + x * 2) : Le32(row + x * 4);
                out[0] = Channel(v, rmask, 0);
                out[1] = Channel(v, gmask, 0);
                out[2] = Channel(v, bmask, 0);
                out[3] = Channel(v, amask, 255);
                any_alpha = any_alpha || (amask && out[3] != 0);
            }
        }
    }
    // A 32-bit file whose alpha mask reads 0 everywhere means "no alpha".
    if (amask && !any_alpha)
        for (size_t i = 3; i < img.rgba.size(); i += 4) img.rgba[i] = 255;
    return img;
}

}  // namespace mm::support::codecs
