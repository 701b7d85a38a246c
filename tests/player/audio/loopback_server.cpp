#include "tests/player/audio/loopback_server.h"

#include <chrono>

namespace mm::audio::testing {

LoopbackServer::LoopbackServer() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard lk(mu_);
        stopping_ = true;
    }
    cv_.notify_all();
    server_.stop();
    thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Release() {
    {
        std::lock_guard lk(mu_);
        released_ = true;
    }
    cv_.notify_all();
}

bool LoopbackServer::WaitGate() {
    std::unique_lock lk(mu_);
    cv_.wait(lk, [this] { return released_ || stopping_; });
    return !stopping_;
}

void LoopbackServer::Serve(const std::string& path, std::vector<uint8_t> bytes, Mode mode, size_t hold_at) {
    auto data = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    server_.Get(path, [this, data, mode, hold_at](const httplib::Request&, httplib::Response& res) {
        // Sends [offset, end), stopping at the gate on the way.
        auto send = [this, data, mode, hold_at](size_t offset, size_t end, httplib::DataSink& sink) {
            const size_t block = 4096;
            while (offset < end) {
                if (hold_at > 0 && offset == hold_at) {
                    if (mode == Mode::kDie) return false;
                    if (!WaitGate()) return false;
                }
                size_t stop = std::min(end, offset + block);
                if (hold_at > 0 && offset < hold_at) stop = std::min(stop, hold_at);
                if (!sink.write(reinterpret_cast<const char*>(data->data() + offset), stop - offset))
                    return false;
                offset = stop;
            }
            return true;
        };
        if (mode == Mode::kChunked) {
            res.set_chunked_content_provider("audio/mpeg",
                                             [data, send](size_t offset, httplib::DataSink& sink) {
                                                 if (!send(offset, data->size(), sink)) return false;
                                                 sink.done();
                                                 return true;
                                             });
        } else {
            res.set_content_provider(data->size(), "audio/mpeg",
                                     [send](size_t offset, size_t length, httplib::DataSink& sink) {
                                         return send(offset, offset + length, sink);
                                     });
        }
    });
}

}  // namespace mm::audio::testing
