#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "support/image_codecs.h"

namespace mm::support::codecs {
namespace {

struct Reader {
    std::span<const uint8_t> bytes;
    size_t pos = 0;
};

int Read(GifFileType* gif, GifByteType* dst, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    size_t take = std::min<size_t>(static_cast<size_t>(std::max(n, 0)), r->bytes.size() - r->pos);
    std::memcpy(dst, r->bytes.data() + r->pos, take);
    r->pos += take;
    return static_cast<int>(take);
}

// Reads the first frame's indexes row by row (interlaced frames in their
// four passes). Rows after a decoding error stay at `fill`.
bool ReadRaster(GifFileType* gif, std::vector<GifPixelType>& raster, int w, int h, bool interlaced) {
    raster.assign(size_t(w) * h, 0);
    auto row = [&](int y) { return DGifGetLine(gif, &raster[size_t(y) * w], w) != GIF_ERROR; };
    if (!interlaced) {
        for (int y = 0; y < h; ++y)
            if (!row(y)) return y > 0;
        return true;
    }
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < h; y += step[pass])
            if (!row(y)) return pass > 0 || y > 0;
    return true;
}

}  // namespace

// The first frame only, drawn on the logical screen; pixels outside it and
// transparent ones are transparent.
std::optional<Image> DecodeGif(std::span<const uint8_t> bytes) {
    if (bytes.size() < 6 || std::memcmp(bytes.data(), "GIF8", 4) != 0) return std::nullopt;
    Reader reader{bytes};
    int err = 0;
    GifFileType* gif = DGifOpen(&reader, Read, &err);
    if (!gif) return std::nullopt;
    std::optional<Image> result;
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (!result && SizeAllowed(gif->SWidth, gif->SHeight) && DGifGetRecordType(gif, &type) != GIF_ERROR &&
           type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) break;
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
                DGifExtensionToGCB(ext[0], ext + 1, &gcb);
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) ext = nullptr;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) break;
        const GifImageDesc d = gif->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (!map || !map->Colors || !SizeAllowed(d.Width, d.Height)) break;
        std::vector<GifPixelType> raster;
        if (!ReadRaster(gif, raster, d.Width, d.Height, d.Interlace)) break;
        Image img;
        img.width = static_cast<uint32_t>(gif->SWidth);
        img.height = static_cast<uint32_t>(gif->SHeight);
        img.rgba.assign(size_t{img.width} * img.height * 4, 0);
        for (int y = 0; y < d.Height; ++y) {
            int sy = d.Top + y;
            if (sy < 0 || sy >= gif->SHeight) continue;
            for (int x = 0; x < d.Width; ++x) {
                int sx = d.Left + x;
                if (sx < 0 || sx >= gif->SWidth) continue;
                int index = raster[size_t(y) * d.Width + x];
                if (index == gcb.TransparentColor || index >= map->ColorCount) continue;
                const GifColorType& c = map->Colors[index];
                uint8_t* p = &img.rgba[(size_t(sy) * img.width + sx) * 4];
                p[0] = c.Red;
                p[1] = c.Green;
                p[2] = c.Blue;
                p[3] = 255;
            }
        }
        result = std::move(img);
    }
    DGifCloseFile(gif, &err);
    return result;
}

}  // namespace mm::support::codecs
