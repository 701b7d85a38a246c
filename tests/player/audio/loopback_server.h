#pragma once
// A real HTTP server on 127.0.0.1 that serves bytes in the ways a catalogue's
// file host may: with or without a length, held back at a gate, cut off.
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mm::audio::testing {

class LoopbackServer {
  public:
    enum class Mode {
        kLength,   // Content-Length, all at once
        kChunked,  // chunked, no length
        kDie,      // Content-Length, closes the connection after `hold_at` bytes
    };

    LoopbackServer();
    ~LoopbackServer();

    // Serves `bytes` at `path`. With hold_at > 0 the body stops after that
    // many bytes until Release() (kDie: the connection is dropped there).
    void Serve(const std::string& path, std::vector<uint8_t> bytes, Mode mode, size_t hold_at = 0);
    void Release();
    std::string Url(const std::string& path) const;
    httplib::Server& server() { return server_; }

  private:
    bool WaitGate();

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mu_;
    std::condition_variable cv_;
    bool released_ = false;
    bool stopping_ = false;
};

}  // namespace mm::audio::testing
