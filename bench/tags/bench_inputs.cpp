#include "bench_inputs.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace mm::bench {
namespace {

std::string jpegOf(int side, std::mt19937& rng) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(side);
    c.image_height = static_cast<JDIMENSION>(side);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(side) * 3);
    while (c.next_scanline < c.image_height) {
        for (auto& p : row) p = static_cast<unsigned char>(rng() % 96 + 80);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<char*>(mem), size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// Raw 16-bit stereo noise: it does not compress, so the sizes are predictable.
bool writeNoisePcm(const std::string& path, uint64_t bytes) {
    std::mt19937 rng(5);
    std::string block(1 << 16, '\0');
    std::ofstream out(path, std::ios::binary);
    for (uint64_t done = 0; done < bytes; done += block.size()) {
        for (size_t i = 0; i < block.size(); i += 2) {
            auto v = static_cast<int16_t>(static_cast<int>(rng() % 8192) - 4096);
            block[i] = static_cast<char>(v & 0xFF);
            block[i + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

}  // namespace

TagValues makeValues() {
    TagValues v;
    for (int i = 0; v.lyrics.size() < 2048; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "[%02d:%02d.00]故事的小黄花 从出生那年就飘着\n", i / 60, i % 60);
        v.lyrics += line;
    }
    std::mt19937 rng(3);
    for (int side = 160; v.cover.size() < 100 * 1024; side += 8) v.cover = jpegOf(side, rng);
    return v;
}

std::string makeFlac(const std::string& dir, uint64_t approxBytes) {
    std::string raw = dir + "/noise.raw", out = dir + "/untagged.flac";
    if (!writeNoisePcm(raw, approxBytes * 100 / 87)) return {};
    bool ok = shell("flac --silent --force -0 --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
                    "--sample-rate=44100 --no-padding --no-seektable -o " +
                    quote(out) + " " + quote(raw)) &&
              shell("metaflac --remove-all --dont-use-padding " + quote(out));
    std::remove(raw.c_str());
    return ok ? out : std::string();
}

std::string makeMp3(const std::string& dir, uint64_t approxBytes) {
    // 320 kbit/s is 40000 bytes a second.
    std::string raw = dir + "/noise.raw", out = dir + "/untagged.mp3";
    if (!writeNoisePcm(raw, approxBytes / 40000 * 176400)) return {};
    bool ok = shell("lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 320 -q 9 " + quote(raw) + " " +
                    quote(out));
    std::remove(raw.c_str());
    return ok ? out : std::string();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace mm::bench
