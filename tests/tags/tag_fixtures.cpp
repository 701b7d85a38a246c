#include "tag_fixtures.h"

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace mm::tags::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mm-tags-XXXXXX").string();
    if (char* made = mkdtemp(tmpl.data())) dir_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int run(const std::string& command, std::string* output) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        if (output) output->append(buf, n);
    }
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string tonePcm(double seconds, double hz) {
    const int rate = 44100;
    const auto frames = static_cast<size_t>(seconds * rate);
    std::string pcm;
    pcm.reserve(frames * 4);
    std::mt19937 noise(7);
    for (size_t i = 0; i < frames; ++i) {
        double v = 0.4 * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        auto s = static_cast<int16_t>(v * 32767 + static_cast<int>(noise() % 64) - 32);
        for (int ch = 0; ch < 2; ++ch) {
            pcm.push_back(static_cast<char>(s & 0xFF));
            pcm.push_back(static_cast<char>((s >> 8) & 0xFF));
        }
    }
    return pcm;
}

std::string makeMp3(const TempDir& dir, const std::string& name, double seconds) {
    std::string raw = dir.path(name + ".raw"), out = dir.path(name);
    writeFile(raw, tonePcm(seconds));
    std::string cmd = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 128 " +
                      quote(raw) + " " + quote(out) + " 2>&1";
    if (run(cmd) != 0) return {};
    std::remove(raw.c_str());
    return out;
}

std::string makeFlac(const TempDir& dir, const std::string& name, double seconds,
                     const std::string& extraMetaflac) {
    std::string raw = dir.path(name + ".raw"), out = dir.path(name);
    writeFile(raw, tonePcm(seconds));
    std::string cmd =
        "flac --silent --force --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
        "--sample-rate=44100 -o " +
        quote(out) + " " + quote(raw) + " 2>&1";
    if (run(cmd) != 0) return {};
    std::remove(raw.c_str());
    if (!extraMetaflac.empty() && run("metaflac " + extraMetaflac + " " + quote(out) + " 2>&1") != 0)
        return {};
    return out;
}

std::string makeJpeg(int width, int height) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    std::mt19937 noise(11);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<unsigned char>(x * 255 / width);
            row[x * 3 + 1] = static_cast<unsigned char>(c.next_scanline * 255 / c.image_height);
            row[x * 3 + 2] = static_cast<unsigned char>(noise());  // noise keeps big covers big
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<char*>(mem), size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

std::string makePng(int width, int height) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(width);
    img.height = static_cast<png_uint_32>(height);
    img.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7);
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&img, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&img, out.data(), &size, 0, pixels.data(), 0, nullptr)) return {};
    out.resize(size);
    return out;
}

std::vector<ListedBlock> metaflacList(const std::string& path) {
    std::string text;
    std::vector<ListedBlock> blocks;
    if (run("metaflac --list " + quote(path) + " 2>&1", &text) != 0) return blocks;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("METADATA block #")) blocks.emplace_back();
        if (blocks.empty()) continue;
        // PICTURE blocks list their picture type as "  type:" too, after the block type.
        if (line.starts_with("  type: ") && blocks.back().type < 0)
            blocks.back().type = std::atoi(line.c_str() + 8);
        if (line.starts_with("  is last: ")) blocks.back().last = line.find("true") != std::string::npos;
        if (line.starts_with("  length: "))
            blocks.back().length = static_cast<uint32_t>(std::atol(line.c_str() + 10));
    }
    return blocks;
}

bool flacTestPasses(const std::string& path) {
    return run("flac -t -s " + quote(path) + " 2>&1") == 0;
}

std::vector<std::string> metaflacTags(const std::string& path) {
    std::string text;
    std::vector<std::string> lines;
    if (run("metaflac --no-utf8-convert --export-tags-to=- " + quote(path) + " 2>&1", &text) != 0)
        return lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string metaflacVendor(const std::string& path) {
    std::string text;
    run("metaflac --show-vendor-tag " + quote(path) + " 2>&1", &text);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string mutagenDump(const std::string& path) {
    const char* src = std::getenv("MM_SOURCE_DIR");
    std::string script = std::string(src ? src : ".") + "/tests/tags/mutagen_dump.py";
    std::string out;
    if (run("/usr/bin/python3 " + quote(script) + " " + quote(path) + " 2>&1", &out) != 0)
        return "ERROR " + out;
    return out;
}

std::string tail(const std::string& bytes, size_t from) {
    return from <= bytes.size() ? bytes.substr(from) : "";
}

}  // namespace mm::tags::test
