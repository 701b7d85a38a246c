#pragma once
// A network stream's bytes: libcurl downloads on a thread of its own into a
// growing buffer while the decoder reads what has arrived.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/net/user_agent.h"
#include "player/audio/byte_source.h"

namespace mm::audio {

// Sees each downloaded block on the download thread; (nullptr, 0) once the
// transfer is over.
using DownloadCallback = std::function<void(const uint8_t* data, size_t size)>;

struct UrlOptions {
    std::chrono::milliseconds connect_timeout{5000};
    // A transfer that receives nothing for this long (connection, headers
    // or body) is given up.
    std::chrono::milliseconds stall_timeout{10000};
    // No preview is this large; a server that sends more is cut off.
    uint64_t max_bytes = uint64_t{1} << 30;
    // Sent with every request, as the program's HTTP client does.
    std::string user_agent = net::kUserAgent;
};

class UrlSource final : public ByteSource {
  public:
    // Starts the download; nullptr for an address that is not http(s).
    static std::unique_ptr<UrlSource> Start(const std::string& url, uint64_t offset,
                                            const UrlOptions& options, DownloadCallback callback);
    ~UrlSource() override;

    size_t ReadAt(uint64_t offset, std::span<uint8_t> dst) override;
    uint64_t Arrived() override;
    bool Ended() override;
    bool Whole() override;
    std::optional<uint64_t> ExpectedSize() override;
    void WaitBeyond(uint64_t offset, const std::function<bool()>& stop) override;
    void Wake() override;
    void Cancel() override;
    // True while a reader waits for bytes that have not arrived yet.
    bool ReaderWaiting() override;
    // True when the transfer ended in an error (HTTP status, reset, time-out).
    bool Failed();

  private:
    struct Transfer;
    UrlSource() = default;
    void Run(std::unique_ptr<Transfer> t);
    static size_t WriteCb(char* data, size_t size, size_t n, void* user);
    size_t OnData(const char* data, size_t size, Transfer& t);

    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<uint8_t> data_;
    std::optional<uint64_t> expected_;
    bool ended_ = false;
    bool failed_ = false;
    std::atomic<bool> cancel_{false};
    int waiting_ = 0;              // readers inside WaitBeyond
    uint64_t waiting_for_ = 0;     // the offset the last of them waits beyond
    void* multi_ = nullptr;        // CURLM*, woken by Cancel()
    uint64_t max_bytes_ = 0;
    std::chrono::milliseconds stall_timeout_{0};
    std::atomic<uint64_t> bytes_seen_{0};  // body bytes received, for the stall watch
    DownloadCallback callback_;
    std::thread thread_;
};

}  // namespace mm::audio
