#include "democatalogue/democatalogue.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <set>
#include <thread>

#include "democatalogue/server_parts.h"

namespace mm::democat {

namespace {

// The server's worker pool, counting every accepted connection: the server
// hands each new socket to the pool as one task.
class CountingPool : public httplib::TaskQueue {
public:
    CountingPool(std::size_t threads, Stats* stats) : pool_(threads), stats_(stats) {}
    void enqueue(std::function<void()> fn) override {
        stats_->CountConnection();
        pool_.enqueue(std::move(fn));
    }
    void shutdown() override { pool_.shutdown(); }

private:
    httplib::ThreadPool pool_;
    Stats* stats_;
};

// Runs each connection itself (the library's loop, rebuilt from its public
// parts) so that it knows every open socket: Stop() can wake idle keep-alive
// connections at once, and a handler can reset its own connection.
class Server : public httplib::Server {
public:
    // The library listens with a backlog of 5; clients that open many
    // connections at once (one per cover) would see SYNs dropped and retried.
    void WidenBacklog() { ::listen(svr_sock_, 256); }

    void ShutdownConnections() {
        std::lock_guard lock(mutex_);
        closing_ = true;
        for (int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
    }

private:
    bool process_and_close_socket(socket_t sock) override {
        {
            std::lock_guard lock(mutex_);
            if (closing_) ::shutdown(sock, SHUT_RDWR);
            sockets_.insert(sock);
        }
        CurrentSocket() = sock;
        bool ok = false;
        for (std::size_t left = keep_alive_max_count_;
             left > 0 && svr_sock_ != INVALID_SOCKET && WaitForRequest(sock); --left) {
            bool closed = false;
            ok = httplib::detail::process_client_socket(
                sock, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_, write_timeout_usec_,
                [&](httplib::Stream& strm) { return process_request(strm, left == 1, closed, nullptr); });
            if (!ok || closed) break;
        }
        CurrentSocket() = -1;
        {
            // Off the list before it is closed, so no shutdown hits a reused number.
            std::lock_guard lock(mutex_);
            sockets_.erase(sock);
        }
        ::shutdown(sock, SHUT_RDWR);
        httplib::detail::close_socket(sock);
        return ok;
    }

    // True when the next request (or the peer's close) has arrived.
    bool WaitForRequest(int sock) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (svr_sock_ != INVALID_SOCKET) {
            pollfd p{sock, POLLIN, 0};
            int r = ::poll(&p, 1, 50);
            if (r > 0) return true;
            if (r < 0 && errno != EINTR) return false;
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
        return false;
    }

    std::mutex mutex_;
    std::set<int> sockets_;
    bool closing_ = false;
};

constexpr std::size_t kServerThreads = 48;

}  // namespace

struct DemoCatalogue::Impl {
    Options options;
    std::string cache_dir;
    Faults faults;
    Stats stats;
    std::unique_ptr<SongStore> store;
    std::unique_ptr<Context> ctx;
    std::unique_ptr<Server> server;
    std::thread listener;
    int port = 0;

    void Dispatch(const httplib::Request& req, httplib::Response& res) {
        Endpoint e = Classify(req);
        Fault fault = faults.Take(e);
        Record(req, fault.Describe());
        if (e == Endpoint::kAudio) {
            // Audio answers ranges itself (If-Range, the faults); the library
            // would cut the body a second time. The request object is the
            // library's own, not a constant, so it may be changed here.
            const_cast<httplib::Request&>(req).ranges.clear();
        }
        Reply reply = BuildReply(e, *ctx, req, fault);
        SendReply(*ctx, res, std::move(reply), fault);
    }

    void Record(const httplib::Request& req, std::string fault = {}) {
        RequestRecord r;
        r.fault = std::move(fault);
        r.endpoint = Classify(req);
        r.method = req.method;
        r.path = req.path;
        r.target = req.target;
        for (const auto& [k, v] : req.headers) r.headers.emplace_back(k, v);
        r.body = req.body;
        r.remote_port = req.remote_port;
        stats.Record(std::move(r));
    }
};

DemoCatalogue::DemoCatalogue(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->cache_dir = impl_->options.cache_dir.empty() ? DefaultCacheDir() : impl_->options.cache_dir;
}

DemoCatalogue::~DemoCatalogue() {
    Stop();
}

bool DemoCatalogue::Start(int port) {
    if (Running()) return false;
    Impl& d = *impl_;
    d.store = std::make_unique<SongStore>(d.cache_dir, &d.stats);
    d.ctx = std::make_unique<Context>();
    d.ctx->faults = &d.faults;
    d.ctx->stats = &d.stats;
    d.ctx->store = d.store.get();
    d.server = std::make_unique<Server>();
    Stats* stats = &d.stats;
    d.server->new_task_queue = [stats] { return new CountingPool(kServerThreads, stats); };
    d.server->set_keep_alive_max_count(1000);
    // Small replies on kept-alive connections must not wait for the client's
    // delayed acknowledgement (about 40 ms each).
    d.server->set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share a port that is already taken.
    d.server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // GET and POST are recorded by Dispatch once their body has been read.
    d.server->set_pre_routing_handler([&d](const httplib::Request& req, httplib::Response&) {
        if (req.method != "GET" && req.method != "POST" && req.method != "HEAD") d.Record(req);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto handler = [&d](const httplib::Request& req, httplib::Response& res) { d.Dispatch(req, res); };
    d.server->Get(".*", handler);
    d.server->Post(".*", handler);

    int bound = port == 0 ? d.server->bind_to_any_port("127.0.0.1")
                          : (d.server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        d.server.reset();
        d.store.reset();
        d.ctx.reset();
        return false;
    }
    d.server->WidenBacklog();
    d.port = bound;
    d.ctx->base_url = BaseUrl();
    d.listener = std::thread([server = d.server.get()] { server->listen_after_bind(); });
    d.store->StartWorkers(d.options.background_workers);
    return true;
}

void DemoCatalogue::Stop() {
    Impl& d = *impl_;
    if (!d.server) return;
    d.ctx->WakeAll();
    d.store->Stop();
    d.server->stop();
    // Idle keep-alive connections would hold the server's threads for seconds.
    d.server->ShutdownConnections();
    if (d.listener.joinable()) d.listener.join();
    d.server.reset();
    d.store.reset();
    d.ctx.reset();
    d.port = 0;
}

bool DemoCatalogue::Running() const {
    return impl_->server != nullptr;
}
int DemoCatalogue::Port() const {
    return impl_->port;
}
std::string DemoCatalogue::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}
std::string DemoCatalogue::SongBase() const {
    return BaseUrl() + "/song/";
}
std::string DemoCatalogue::SourceUrl(std::string_view code) const {
    return SongBase() + std::string(code) + "/";
}
Faults& DemoCatalogue::faults() {
    return impl_->faults;
}
Stats& DemoCatalogue::stats() {
    return impl_->stats;
}
const std::string& DemoCatalogue::cache_dir() const {
    return impl_->cache_dir;
}

std::optional<AudioFile> DemoCatalogue::FileOf(int song_id, Tier tier) {
    if (!impl_->store) return std::nullopt;
    return impl_->store->File(song_id, tier);
}

}  // namespace mm::democat
