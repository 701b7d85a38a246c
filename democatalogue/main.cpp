// morvane-democatalogue: the demo catalogue as a program of its own, so the
// app (or curl) can be pointed at it.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "democatalogue/democatalogue.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: morvane-democatalogue [--port N] [--cache DIR] [--workers N]\n"
                 "                             [--random-faults SEED --fault-rate P [--fault-endpoints a,b]\n"
                 "                              [--stall-ms MS]] [--address-lifetime MS]\n"
                 "Serves the demo catalogue on 127.0.0.1 until SIGINT or SIGTERM.\n"
                 "--random-faults: each request of the endpoints (default track-address,audio,cover)\n"
                 "suffers a random fault with probability P, drawn from SEED; SIGUSR1 ends them.\n"
                 "At the end one line tells the faults suffered: {\"faults\":{\"audio reset\":N,...}}\n");
}

bool ParseEndpoints(const std::string& list, std::vector<mm::democat::Endpoint>& out) {
    out.clear();
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string name = list.substr(start, end - start);
        bool known = false;
        for (int i = 0; i < mm::democat::kEndpointCount; ++i) {
            const auto e = static_cast<mm::democat::Endpoint>(i);
            if (name == mm::democat::EndpointName(e)) out.push_back(e), known = true;
        }
        if (!known) return false;
        start = end + 1;
    }
    return !out.empty();
}

// The tally as one JSON line; the keys are plain ASCII names.
void PrintFaults(const mm::democat::Stats& stats) {
    std::string line = "{\"faults\":{";
    bool first = true;
    for (const auto& [key, count] : stats.FaultCounts()) {
        line += (first ? "\"" : ",\"") + key + "\":" + std::to_string(count);
        first = false;
    }
    line += "},\"requests\":" + std::to_string(stats.Total()) + "}\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    mm::democat::Options options;
    mm::democat::RandomFaults random;
    random.endpoints = {mm::democat::Endpoint::kTrackAddress, mm::democat::Endpoint::kAudio,
                        mm::democat::Endpoint::kCover};
    bool randomFaults = false;
    long long lifetimeMs = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--port" && has_value) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--cache" && has_value) {
            options.cache_dir = argv[++i];
        } else if (arg == "--workers" && has_value) {
            options.background_workers = std::atoi(argv[++i]);
        } else if (arg == "--random-faults" && has_value) {
            random.seed = std::strtoull(argv[++i], nullptr, 10);
            randomFaults = true;
        } else if (arg == "--fault-rate" && has_value) {
            random.rate = std::atof(argv[++i]);
        } else if (arg == "--fault-endpoints" && has_value) {
            if (!ParseEndpoints(argv[++i], random.endpoints)) {
                Usage();
                return 2;
            }
        } else if (arg == "--stall-ms" && has_value) {
            random.stall_ms = std::atoi(argv[++i]);
        } else if (arg == "--address-lifetime" && has_value) {
            lifetimeMs = std::atoll(argv[++i]);
        } else {
            Usage();
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    if (port < 0 || port > 65535) {
        Usage();
        return 2;
    }
    // Block the signals before any thread starts, then wait for them here.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    mm::democat::DemoCatalogue catalogue(options);
    if (!catalogue.Start(port)) {
        std::fprintf(stderr, "morvane-democatalogue: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    if (randomFaults) catalogue.faults().SetRandom(random);
    if (lifetimeMs != 0) catalogue.faults().SetAddressLifetime(std::chrono::milliseconds(lifetimeMs));
    std::printf("%s\n", catalogue.BaseUrl().c_str());
    std::fflush(stdout);
    int sig = 0;
    while (sigwait(&stop_signals, &sig) == 0 && sig == SIGUSR1) {
        // The faulty spell is over: random faults and short-lived addresses end.
        catalogue.faults().SetRandom(mm::democat::RandomFaults{});
        catalogue.faults().SetAddressLifetime(std::chrono::milliseconds(0));
        std::fprintf(stderr, "morvane-democatalogue: faults off\n");
    }
    catalogue.Stop();
    if (randomFaults || lifetimeMs != 0) PrintFaults(catalogue.stats());
    return 0;
}
