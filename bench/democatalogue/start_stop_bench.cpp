// How long the demo catalogue takes to start on an empty song cache (the
// program waits for it before its window does anything) and to stop (the
// program waits for it when it closes). Prints the median and the slowest of
// RUNS starts and stops.
//
//   democat_start_bench [RUNS]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "democatalogue/democatalogue.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Print(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %8.2f ms   slowest %8.2f ms   (%zu runs)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("democat_start_bench." + std::to_string(::getpid()));
    std::vector<double> starts, stops;
    for (int i = 0; i < runs; ++i) {
        const std::string cache = (root / std::to_string(i)).string();  // empty every time
        mm::democat::DemoCatalogue c(mm::democat::Options{.cache_dir = cache, .background_workers = 1});
        auto t0 = Clock::now();
        if (!c.Start()) {
            std::fprintf(stderr, "the demo catalogue did not start\n");
            return 1;
        }
        starts.push_back(Ms(Clock::now() - t0));
        t0 = Clock::now();
        c.Stop();
        stops.push_back(Ms(Clock::now() - t0));
    }
    std::filesystem::remove_all(root);
    Print("Start() on an empty cache", starts);
    Print("Stop()", stops);
    return 0;
}
