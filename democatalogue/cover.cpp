#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "democatalogue/encoders.h"

namespace mm::democat {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb Hue(double h) {
    h = h - std::floor(h);
    double r = std::fabs(h * 6 - 3) - 1, g = 2 - std::fabs(h * 6 - 2), b = 2 - std::fabs(h * 6 - 4);
    auto c = [](double v) { return v < 0 ? 0.0 : v > 1 ? 1.0 : v; };
    return {c(r), c(g), c(b)};
}

}  // namespace

std::optional<std::string> MakeCoverJpeg(int seed) {
    constexpr int kSize = 300;
    const double hue = (seed * 0.618034);
    const Rgb a = Hue(hue), b = Hue(hue + 0.35);
    const int style = seed % 3;
    const double freq = 3 + seed % 5;
    std::vector<unsigned char> pixels(kSize * kSize * 3);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            double u = x / double(kSize) - 0.5, v = y / double(kSize) - 0.5, t;
            if (style == 0) {
                t = 0.5 + 0.5 * std::sin(2 * M_PI * freq * std::sqrt(u * u + v * v));  // rings
            } else if (style == 1) {
                t = 0.5 + 0.5 * std::sin(2 * M_PI * freq * (u + v));  // stripes
            } else {
                t = (static_cast<int>((u + 0.5) * freq) + static_cast<int>((v + 0.5) * freq)) % 2;  // squares
            }
            unsigned char* p = &pixels[(y * kSize + x) * 3];
            p[0] = static_cast<unsigned char>(255 * (a.r * t + b.r * (1 - t)));
            p[1] = static_cast<unsigned char>(255 * (a.g * t + b.g * (1 - t)));
            p[2] = static_cast<unsigned char>(255 * (a.b * t + b.b * (1 - t)));
        }
    }

    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    // The default error handler exits the process; our input is always valid,
    // so the only failure left is memory, which we do not try to survive.
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long mem_size = 0;
    jpeg_mem_dest(&cinfo, &mem, &mem_size);
    cinfo.image_width = kSize;
    cinfo.image_height = kSize;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &pixels[cinfo.next_scanline * kSize * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(mem), mem_size);
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return out;
}

}  // namespace mm::democat
