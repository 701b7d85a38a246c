#include "tests/player/audio/audio_fixtures.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mm::audio::testing {

TempDir::TempDir() {
    char tmpl[] = "/tmp/mm-audio-XXXXXX";
    const char* p = ::mkdtemp(tmpl);
    path_ = p ? p : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

std::vector<int16_t> Tone(uint32_t rate, uint16_t channels, size_t frames, double amplitude) {
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            double f = 440.0 * (c + 1);
            pcm[i * channels + c] =
                static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(2 * M_PI * f * i / rate)));
        }
    }
    return pcm;
}

bool WriteWav(const std::string& path, std::span<const int16_t> pcm, uint32_t rate, uint16_t channels) {
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    f.write("RIFF", 4);
    u32(36 + data);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    f.write("data", 4);
    u32(data);
    f.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(data));
    return static_cast<bool>(f);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string MakeMp3(const TempDir& dir, const std::string& name, uint32_t rate, uint16_t channels,
                    size_t frames, const std::string& lame_args) {
    std::string wav = dir.File(name + ".wav"), out = dir.File(name);
    if (!WriteWav(wav, Tone(rate, channels, frames), rate, channels)) return "";
    std::string cmd = "lame --quiet " + lame_args + " '" + wav + "' '" + out + "'";
    if (std::system(cmd.c_str()) != 0) return "";
    return out;
}

std::string MakeFlac(const TempDir& dir, const std::string& name, uint32_t rate, uint16_t channels,
                     size_t frames, const std::string& flac_args) {
    std::string wav = dir.File(name + ".wav"), out = dir.File(name);
    if (!WriteWav(wav, Tone(rate, channels, frames), rate, channels)) return "";
    std::string cmd = "flac --silent -f " + flac_args + " -o '" + out + "' '" + wav + "'";
    if (std::system(cmd.c_str()) != 0) return "";
    return out;
}

}  // namespace mm::audio::testing
