// Thumbnails from real encoded pictures: JPEG made with libjpeg, GIF with
// giflib, BMP assembled byte by byte; the PNG results read back by libpng.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstring>

#include "support/image.h"

namespace mm::support {
namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

// Left half red, right half blue.
Rgba SplitColour(uint32_t x, uint32_t w) {
    return x < w / 2 ? Rgba{220, 20, 20, 255} : Rgba{20, 20, 220, 255};
}

std::vector<uint8_t> MakeJpeg(uint32_t w, uint32_t h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(w * 3);
    while (c.next_scanline < h) {
        for (uint32_t x = 0; x < w; ++x) {
            Rgba p = SplitColour(x, w);
            row[x * 3] = p.r, row[x * 3 + 1] = p.g, row[x * 3 + 2] = p.b;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    free(mem);
    return out;
}

struct Decoded {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgba At(uint32_t x, uint32_t y) const {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

// Reads a PNG with libpng directly, apart from our own decoders.
std::optional<Decoded> ReadPng(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return std::nullopt;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return std::nullopt;
    img.format = PNG_FORMAT_RGBA;
    Decoded d{img.width, img.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(img))};
    if (!png_image_finish_read(&img, nullptr, d.rgba.data(), 0, nullptr)) return std::nullopt;
    return d;
}

void ExpectNear(Rgba got, Rgba want, int tolerance) {
    EXPECT_NEAR(got.r, want.r, tolerance);
    EXPECT_NEAR(got.g, want.g, tolerance);
    EXPECT_NEAR(got.b, want.b, tolerance);
    EXPECT_NEAR(got.a, want.a, tolerance);
}

TEST(ThumbnailTest, JpegIsScaledToExactlyTheRequestedSize) {
    auto jpeg = MakeJpeg(300, 200);
    auto png = MakeThumbnail(jpeg, 80, 80);
    auto d = ReadPng(png);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->width, 80u);
    EXPECT_EQ(d->height, 80u);
    // Proportions are not kept: the halves stay halves across the width.
    ExpectNear(d->At(10, 40), {220, 20, 20, 255}, 12);
    ExpectNear(d->At(70, 40), {20, 20, 220, 255}, 12);
    ExpectNear(d->At(10, 0), {220, 20, 20, 255}, 12);
    ExpectNear(d->At(70, 79), {20, 20, 220, 255}, 12);
}

TEST(ThumbnailTest, ZeroOrNegativeKeepsThePicturesOwnSize) {
    auto jpeg = MakeJpeg(300, 200);
    struct Case {
        int w, h;
        uint32_t want_w, want_h;
    };
    for (Case c :
         {Case{0, 0, 300, 200}, Case{0, 50, 300, 50}, Case{120, -1, 120, 200}, Case{640, 480, 640, 480}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        auto d = ReadPng(MakeThumbnail(jpeg, c.w, c.h));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->width, c.want_w);
        EXPECT_EQ(d->height, c.want_h);
        ExpectNear(d->At(2, d->height / 2), {220, 20, 20, 255}, 12);
        ExpectNear(d->At(d->width - 3, d->height / 2), {20, 20, 220, 255}, 12);
    }
}

TEST(ThumbnailTest, BytesThatAreNoPictureGiveNothing) {
    auto jpeg = MakeJpeg(64, 64);
    std::vector<uint8_t> garbage(4000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 131 + 7);
    EXPECT_TRUE(MakeThumbnail(garbage, 80, 80).empty());
    EXPECT_TRUE(MakeThumbnail({}, 80, 80).empty());
    std::vector<uint8_t> only_magic = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};
    EXPECT_TRUE(MakeThumbnail(only_magic, 80, 80).empty());
    std::vector<uint8_t> jpeg_head(jpeg.begin(), jpeg.begin() + 20);
    EXPECT_TRUE(MakeThumbnail(jpeg_head, 80, 80).empty());
    EXPECT_FALSE(GetImageSize(garbage));
}

TEST(ThumbnailTest, PngKeepsItsTransparencyAndRoundTrips) {
    Image src{4, 2, {}};
    for (uint32_t i = 0; i < 8; ++i) {
        uint8_t a = i < 4 ? 255 : 0;
        src.rgba.insert(src.rgba.end(), {uint8_t(i * 30), 100, 200, a});
    }
    auto png = EncodePng(src);
    auto size = GetImageSize(png);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 4u);
    EXPECT_EQ(size->height, 2u);
    auto back = DecodeImage(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rgba, src.rgba);
    // Scaled down, transparent pixels do not darken the opaque row.
    auto d = ReadPng(MakeThumbnail(png, 2, 2));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->At(0, 0).a, 255);
    EXPECT_EQ(d->At(0, 1).a, 0);
    EXPECT_EQ(d->At(0, 0).g, 100);
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// A w × h GIF whose rows alternate between palette entries 0 (red) and 1
// (green); entry 2 is transparent and fills the last column.
std::vector<uint8_t> MakeGif(int w, int h, bool interlace) {
    std::vector<uint8_t> out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, WriteToVector, &err);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 2, 0, map);
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = 2;
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
    EGifPutImageDesc(gif, 0, 0, w, h, interlace, nullptr);
    std::vector<GifPixelType> row(w);
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    std::vector<int> order;
    if (interlace) {
        for (int p = 0; p < 4; ++p)
            for (int y = start[p]; y < h; y += step[p]) order.push_back(y);
    } else {
        for (int y = 0; y < h; ++y) order.push_back(y);
    }
    for (int y : order) {
        for (int x = 0; x < w; ++x) row[x] = x == w - 1 ? 2 : GifPixelType(y % 2);
        EGifPutLine(gif, row.data(), w);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

TEST(ThumbnailTest, GifFirstFrameWithTransparencyAndInterlacing) {
    for (bool interlace : {false, true}) {
        SCOPED_TRACE(interlace ? "interlaced" : "progressive");
        auto gif = MakeGif(6, 10, interlace);
        auto img = DecodeImage(gif);
        ASSERT_TRUE(img);
        ASSERT_EQ(img->width, 6u);
        ASSERT_EQ(img->height, 10u);
        auto px = [&](uint32_t x, uint32_t y) {
            const uint8_t* p = &img->rgba[(y * 6 + x) * 4];
            return Rgba{p[0], p[1], p[2], p[3]};
        };
        for (uint32_t y = 0; y < 10; ++y) {
            Rgba want = y % 2 ? Rgba{0, 255, 0, 255} : Rgba{255, 0, 0, 255};
            ExpectNear(px(0, y), want, 0);
            EXPECT_EQ(px(5, y).a, 0) << "transparent column, row " << y;
        }
        auto d = ReadPng(MakeThumbnail(gif, 80, 80));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->width, 80u);
    }
    auto gif = MakeGif(6, 10, false);
    gif.resize(gif.size() / 2);  // cut inside the image data
    auto cut = DecodeImage(gif);
    if (cut) {
        EXPECT_EQ(cut->width, 6u);
        EXPECT_EQ(cut->rgba.size(), 6u * 10 * 4);
    }
}

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF), Put16(b, at + 2, v >> 16);
}

// A BITMAPINFOHEADER bitmap; pixel (x, y) counted from the top.
std::vector<uint8_t> MakeBmp(int w, int h, int bpp, bool top_down) {
    const uint32_t stride = (w * bpp + 31) / 32 * 4;
    const uint32_t palette = bpp == 8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + palette;
    std::vector<uint8_t> b(offset + stride * h, 0);
    b[0] = 'B', b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(w));
    Put32(b, 22, uint32_t(top_down ? -h : h));
    Put16(b, 26, 1);
    Put16(b, 28, uint32_t(bpp));
    for (int i = 0; i < (bpp == 8 ? 256 : 0); ++i) {
        b[54 + i * 4] = uint8_t(i);            // blue
        b[54 + i * 4 + 1] = uint8_t(255 - i);  // green
        b[54 + i * 4 + 2] = 7;                 // red
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = &b[offset + stride * (top_down ? y : h - 1 - y)];
        for (int x = 0; x < w; ++x) {
            if (bpp == 8) {
                row[x] = uint8_t(x * 10 + y);
            } else {
                uint8_t* p = row + x * (bpp / 8);
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 200;  // B, G, R
                if (bpp == 32) p[3] = 0;
            }
        }
    }
    return b;
}

TEST(ThumbnailTest, BmpInItsCommonForms) {
    for (int bpp : {8, 24, 32}) {
        for (bool top_down : {false, true}) {
            SCOPED_TRACE(std::to_string(bpp) + (top_down ? " top-down" : " bottom-up"));
            auto img = DecodeImage(MakeBmp(5, 3, bpp, top_down));
            ASSERT_TRUE(img);
            ASSERT_EQ(img->width, 5u);
            ASSERT_EQ(img->height, 3u);
            for (uint32_t y = 0; y < 3; ++y) {
                for (uint32_t x = 0; x < 5; ++x) {
                    const uint8_t* p = &img->rgba[(y * 5 + x) * 4];
                    if (bpp == 8) {
                        uint8_t i = uint8_t(x * 10 + y);
                        EXPECT_EQ(p[0], 7);
                        EXPECT_EQ(p[1], 255 - i);
                        EXPECT_EQ(p[2], i);
                    } else {
                        EXPECT_EQ(p[0], 200);
                        EXPECT_EQ(p[1], y);
                        EXPECT_EQ(p[2], x);
                    }
                    EXPECT_EQ(p[3], 255);
                }
            }
        }
    }
}

// A frame header that claims another size, as a forged file would.
std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpeg, uint16_t w, uint16_t h) {
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = uint8_t(h >> 8), jpeg[i + 6] = uint8_t(h);
            jpeg[i + 7] = uint8_t(w >> 8), jpeg[i + 8] = uint8_t(w);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

TEST(ThumbnailTest, PicturesTooLargeForMemoryAreRefusedBeforeDecoding) {
    // 8192 on a side is allowed; one more is not.
    EXPECT_TRUE(DecodeImage(MakeJpeg(8192, 2)));
    EXPECT_FALSE(DecodeImage(MakeJpeg(8193, 1)));
    EXPECT_FALSE(DecodeImage(MakeJpeg(1, 8193)));
    EXPECT_TRUE(MakeThumbnail(MakeJpeg(8193, 1), 80, 80).empty());
    // A small file claiming 8000 x 8000 would take 256 MiB decoded (and over
    // a gigabyte more to scale): refused from its header.
    const auto forged = WithJpegSize(MakeJpeg(16, 16), 8000, 8000);
    EXPECT_FALSE(DecodeImage(forged));
    EXPECT_TRUE(MakeThumbnail(forged, 80, 80).empty());
    // The largest square that is allowed still decodes and scales.
    auto big = DecodeImage(MakeJpeg(4096, 4096));
    ASSERT_TRUE(big);
    auto thumb = ReadPng(EncodePng(ResizeImage(*big, 80, 80)));
    ASSERT_TRUE(thumb);
    ExpectNear(thumb->At(10, 40), SplitColour(0, 2), 12);
    ExpectNear(thumb->At(70, 40), SplitColour(1, 2), 12);
}

TEST(ThumbnailTest, BmpWhoseHeadersLieIsRefused) {
    auto good = MakeBmp(5, 3, 24, false);
    ASSERT_TRUE(DecodeImage(good));
    auto cut = good;
    cut.resize(cut.size() - 1);  // the last row is one byte short
    EXPECT_FALSE(DecodeImage(cut));
    auto far = good;
    Put32(far, 10, 0xFFFFFFF0);  // pixel data past the end
    EXPECT_FALSE(DecodeImage(far));
    auto huge = good;
    Put32(huge, 18, 0x7FFFFFFF);  // width beyond any cover
    EXPECT_FALSE(DecodeImage(huge));
    auto rle = good;
    Put32(rle, 30, 1);  // run-length compression is not read
    EXPECT_FALSE(DecodeImage(rle));
    auto palette = MakeBmp(5, 3, 8, false);
    Put32(palette, 46, 100000);  // more colours than a palette can hold
    EXPECT_FALSE(DecodeImage(palette));
}

}  // namespace
}  // namespace mm::support
