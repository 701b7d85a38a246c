// morvane-democatalogue: the demo catalogue as a program of its own, so the
// app (or curl) can be pointed at it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "democatalogue/democatalogue.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: morvane-democatalogue [--port N] [--cache DIR] [--workers N]\n"
                 "Serves the demo catalogue on 127.0.0.1 until SIGINT or SIGTERM.\n");
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    mm::democat::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--port" && has_value) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--cache" && has_value) {
            options.cache_dir = argv[++i];
        } else if (arg == "--workers" && has_value) {
            options.background_workers = std::atoi(argv[++i]);
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
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    mm::democat::DemoCatalogue catalogue(options);
    if (!catalogue.Start(port)) {
        std::fprintf(stderr, "morvane-democatalogue: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("%s\n", catalogue.BaseUrl().c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stop_signals, &sig);
    catalogue.Stop();
    return 0;
}
