// Time from asking for a network stream to its first decoded PCM reaching an
// output, on loopback, for a 4-minute 128 kbit/s MP3: our engine on the
// no-sound device and on SDL (its "dummy" driver when no card is there),
// against mpv opening the same address. Measures and prints; asserts nothing.
//
//   first_pcm_bench [runs]        (default 30)
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "player/audio/audio_engine.h"
#include "player/audio/sdl_output.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using mm::audio::AudioEngine;
using mm::audio::EngineOptions;
using mm::audio::Handle;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Stats {
    std::vector<double> v;
    void Add(double x) { v.push_back(x); }
    double Pct(double p) {
        if (v.empty()) return NAN;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
    }
};

bool Run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A 4-minute two-tone MP3 at 128 kbit/s CBR, made once and kept in /tmp.
std::string MakeSong() {
    std::string mp3 = "/tmp/mm-bench-4min-128k.mp3";
    if (std::filesystem::exists(mp3)) return mp3;
    const uint32_t rate = 44100, frames = rate * 240;
    std::string wav = "/tmp/mm-bench-4min.wav";
    {
        std::ofstream f(wav, std::ios::binary);
        auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
        f.write("RIFF", 4), u32(36 + frames * 4), f.write("WAVEfmt ", 8), u32(16), u16(1), u16(2), u32(rate),
            u32(rate * 4), u16(4), u16(16), f.write("data", 4), u32(frames * 4);
        std::vector<int16_t> block(2 * 4096);
        for (uint32_t i = 0; i < frames; i += 4096) {
            uint32_t n = std::min<uint32_t>(4096, frames - i);
            for (uint32_t k = 0; k < n; ++k) {
                block[2 * k] = int16_t(9000 * std::sin(2 * M_PI * 440 * (i + k) / rate));
                block[2 * k + 1] = int16_t(9000 * std::sin(2 * M_PI * 660 * (i + k) / rate));
            }
            f.write(reinterpret_cast<const char*>(block.data()), n * 4);
        }
    }
    bool ok = Run({"lame", "--quiet", "-b", "128", "--cbr", wav, mp3});
    std::filesystem::remove(wav);
    return ok ? mp3 : "";
}

// Engine on the given device; returns request -> first PCM handed over.
void MeasureEngine(const char* label, int device, const std::string& url, int runs) {
    std::atomic<int64_t> first_pcm{0};
    EngineOptions o;
    o.pcm_tap = [&](const mm::audio::PcmFormat&, std::span<const int16_t>) {
        int64_t zero = 0;
        first_pcm.compare_exchange_strong(zero, Clock::now().time_since_epoch().count());
    };
    AudioEngine engine(o);
    if (!engine.Init(device)) {
        std::printf("%-34s  (no such output here)\n", label);
        return;
    }
    Stats create, pcm;
    for (int i = 0; i < runs + 2; ++i) {
        first_pcm = 0;
        auto t0 = Clock::now();
        Handle h = engine.StreamCreateURL(url);
        auto t1 = Clock::now();
        if (!h) {
            std::printf("%s: stream failed\n", label);
            return;
        }
        engine.Play(h);
        // The no-sound device hands PCM over when it is looked at; SDL's
        // device thread takes it on its own. Either way: first PCM out.
        Clock::time_point t2;
        while (true) {
            uint64_t pos = engine.GetPosition(h);
            if (device == 0 ? first_pcm.load() != 0 : pos > 0) {
                t2 = device == 0 ? Clock::time_point(Clock::duration(first_pcm.load())) : Clock::now();
                break;
            }
            if (Clock::now() - t0 > std::chrono::seconds(5)) break;
        }
        engine.FreeStream(h);
        if (i < 2) continue;  // warm-up
        create.Add(Ms(t1 - t0));
        pcm.Add(Ms(t2 - t0));
    }
    std::printf("%-34s  open %6.2f ms (p90 %6.2f)   first PCM out %6.2f ms (p90 %6.2f)\n", label,
                create.Pct(0.5), create.Pct(0.9), pcm.Pct(0.5), pcm.Pct(0.9));
}

// mpv with the null audio output; its own log gives the time from opening
// the address to starting audio, the wall clock the whole process.
void MeasureMpv(const std::string& url, int runs) {
    if (!Run({"sh", "-c", "command -v mpv >/dev/null"})) {
        std::printf("%-34s  (mpv not installed)\n", "mpv --ao=null");
        return;
    }
    Stats log_open_to_audio, wall;
    std::regex stamp(R"(^\[\s*([0-9.]+)\])");
    for (int i = 0; i < runs; ++i) {
        std::string log = "/tmp/mm-bench-mpv.log";
        std::filesystem::remove(log);
        auto t0 = Clock::now();
        Run({"mpv", "--no-config", "--ao=null", "--vo=null", "--no-video", "--end=0.05", "--really-quiet",
             "--log-file=" + log, url});
        wall.Add(Ms(Clock::now() - t0));
        std::ifstream f(log);
        std::string line;
        double opened = -1, started = -1;
        while (std::getline(f, line)) {
            std::smatch m;
            if (!std::regex_search(line, m, stamp)) continue;
            double t = std::stod(m[1]) * 1000;
            if (opened < 0 && line.find("Opening ") != std::string::npos) opened = t;
            if (started < 0 && (line.find("starting audio playback") != std::string::npos ||
                                line.find("audio ready") != std::string::npos))
                started = t;
        }
        if (opened >= 0 && started >= opened) log_open_to_audio.Add(started - opened);
    }
    std::printf("%-34s  log: opening -> audio start %6.2f ms (p90 %6.2f)   whole process %7.2f ms\n",
                "mpv --ao=null", log_open_to_audio.Pct(0.5), log_open_to_audio.Pct(0.9), wall.Pct(0.5));
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    std::string song = MakeSong();
    if (song.empty()) {
        std::fprintf(stderr, "could not make the test song (lame missing?)\n");
        return 1;
    }
    std::ifstream f(song, std::ios::binary);
    auto bytes =
        std::make_shared<std::string>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    httplib::Server server;
    server.Get("/song.mp3", [bytes](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(bytes->size(), "audio/mpeg",
                                 [bytes](size_t off, size_t len, httplib::DataSink& s) {
                                     return s.write(bytes->data() + off, std::min<size_t>(len, 64 * 1024));
                                 });
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread t([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/song.mp3";

    std::printf("%s: %zu bytes, %d runs, medians\n", url.c_str(), bytes->size(), runs);
    MeasureEngine("engine, no-sound device", 0, url, runs);
    if (!std::getenv("SDL_AUDIODRIVER")) {
        AudioEngine probe;
        if (!probe.Init(-1)) setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    std::string sdl_label =
        std::string("engine, SDL (") + (std::getenv("SDL_AUDIODRIVER") ?: "default") + ")";
    MeasureEngine(sdl_label.c_str(), -1, url, runs);
    std::printf("%-34s  %u frames = %.1f ms at 44.1 kHz\n", "SDL device buffer",
                unsigned(mm::audio::SdlBufferFrames(44100)), mm::audio::SdlBufferFrames(44100) / 44.1);
    MeasureMpv(url, std::min(runs, 10));
    server.stop();
    t.join();
    return 0;
}
