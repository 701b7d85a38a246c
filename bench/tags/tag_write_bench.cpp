// Time to write a download's tags (title, singer, album, credit, 2 KB of
// lyrics, a 100 KB cover) into an untagged 40 MB FLAC and 10 MB MP3, each run
// on a fresh copy, against a plain `cp` of the same file and other writers.
// Prints medians; asserts nothing.
//
//   bench_tag_write [--runs N] [--dir DIR]   (DIR: where the files go, default /tmp)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/tags/bench_inputs.h"
#include "tags/flac.h"
#include "tags/id3v2.h"

#ifdef MM_HAVE_TAGLIB
#include "bench/tags/taglib_writers.h"
#endif

extern char** environ;

namespace {

using namespace mm::bench;
using Clock = std::chrono::steady_clock;

// A fresh copy of src at dst, flushed, so that writeback of the copy does not
// land inside the timed step.
bool freshCopy(const std::string& src, const std::string& dst) {
    std::filesystem::remove(dst);
    int in = ::open(src.c_str(), O_RDONLY);
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = in >= 0 && out >= 0;
    off_t left = ok ? lseek(in, 0, SEEK_END) : 0;
    lseek(in, 0, SEEK_SET);
    while (ok && left > 0) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
        ok = n > 0;
        left -= n;
    }
    ok = ok && fdatasync(out) == 0;
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    return ok;
}

bool spawnWait(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Method {
    std::string name;
    // Prepares the run (untimed) and returns the timed step.
    std::function<bool(const std::string& work)> step;
    bool needsCopy = true;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void measure(const std::string& label, const std::string& src, const std::string& dir, int runs,
             const std::vector<Method>& methods) {
    const std::string work = dir + "/work" + std::filesystem::path(src).extension().string();
    const uint64_t size = std::filesystem::file_size(src);
    std::printf("\n%s: %s, %.1f MB, %d runs each, median\n", label.c_str(), src.c_str(), size / 1e6, runs);
    double cpMs = 0;
    for (const auto& m : methods) {
        std::vector<double> times;
        bool ok = true;
        for (int i = 0; i < runs && ok; ++i) {
            if (m.needsCopy) ok = freshCopy(src, work);
            else std::filesystem::remove(work);
            auto t0 = Clock::now();
            ok = ok && m.step(work);
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        double ms = median(times);
        if (m.name == "cp") cpMs = ms;
        if (!ok) {
            std::printf("  %-28s failed\n", m.name.c_str());
            continue;
        }
        std::printf("  %-28s %8.2f ms  %5.2fx cp\n", m.name.c_str(), ms, cpMs > 0 ? ms / cpMs : 0.0);
    }
    std::filesystem::remove(work);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 9;
    std::string base = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--dir") == 0) base = argv[i + 1];
    }
    std::string dir = base + "/mm-tag-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);

    const TagValues v = makeValues();
    writeAll(dir + "/lyrics.txt", v.lyrics);
    writeAll(dir + "/cover.jpg", v.cover);
    mm::tags::TagRequest request;
    request.set(mm::tags::Slot::Title, v.title);
    request.set(mm::tags::Slot::Artist, v.artist);
    request.set(mm::tags::Slot::Album, v.album);
    request.set(mm::tags::Slot::Copyright, v.credit);
    request.set(mm::tags::Slot::Lyrics, v.lyrics);
    request.set(mm::tags::Slot::Picture, v.cover);
    std::printf("values: lyrics %zu bytes, cover %zu bytes\n", v.lyrics.size(), v.cover.size());

    const std::string flac = makeFlac(dir, 40'000'000), mp3 = makeMp3(dir, 10'000'000);
    if (flac.empty() || mp3.empty()) {
        std::fprintf(stderr, "could not make the inputs (flac, metaflac and lame are needed)\n");
        return 1;
    }

    auto cpOf = [](const std::string& src) {
        return Method{"cp", [src](const std::string& work) { return spawnWait({"cp", src, work}); }, false};
    };
    std::vector<Method> flacMethods{
        cpOf(flac),
        {"WriteFlacTags (in place)", [&](const std::string& w) { return mm::tags::WriteFlacTags(w, request); }},
        {"metaflac",
         [&](const std::string& w) {
             return spawnWait({"metaflac", "--set-tag=TITLE=" + v.title, "--set-tag=ARTIST=" + v.artist,
                               "--set-tag=ALBUM=" + v.album, "--set-tag=COPYRIGHT=" + v.credit,
                               "--set-tag-from-file=LYRICS=" + dir + "/lyrics.txt",
                               "--import-picture-from=3|image/jpeg|||" + dir + "/cover.jpg", w});
         }},
#ifdef MM_HAVE_TAGLIB
        {"TagLib", [&](const std::string& w) { return taglibWriteFlac(w, v); }},
#endif
    };
    std::vector<Method> mp3Methods{
        cpOf(mp3),
        {"WriteId3v2 (in place)", [&](const std::string& w) { return mm::tags::WriteId3v2(w, request); }},
#ifdef MM_HAVE_TAGLIB
        {"TagLib", [&](const std::string& w) { return taglibWriteMp3(w, v); }},
#endif
    };
    measure("FLAC", flac, dir, runs, flacMethods);
    measure("MP3", mp3, dir, runs, mp3Methods);
    std::filesystem::remove_all(dir);
    return 0;
}
