// Sends a reply through the faults of its endpoint: other bodies, encodings,
// status codes, delays, stalls, throttling and connection resets.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "democatalogue/server_parts.h"
#include "platform/sys/text_encoding.h"

namespace mm::democat {

bool Context::Sleep(int ms) {
    std::unique_lock lock(mutex);
    return !stop_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

void Context::WakeAll() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    stop_cv.notify_all();
}

namespace {

// UTF-8 → GBK; a character GBK cannot hold becomes "?".
std::string ToGbkLossy(const std::string& utf8) {
    if (auto whole = sys::utf8ToGbk(utf8)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        n = std::min(n, utf8.size() - i);
        auto one = sys::utf8ToGbk(std::string_view(utf8).substr(i, n));
        out += one ? *one : "?";
        i += n;
    }
    return out;
}

std::string Garbage() {
    std::string g = "\x00\xff\xfe{\"code\":";
    std::uint32_t s = 0x9e3779b9u;
    for (int i = 0; i < 512; ++i) {
        s = s * 1664525u + 1013904223u;
        g += static_cast<char>(s >> 24);
    }
    return g;
}

// Where the body comes from: memory or a cache file.
struct BodySource {
    std::string memory;
    int fd = -1;
    std::size_t base = 0;  // file offset of the body's first byte
    std::size_t size = 0;

    ~BodySource() {
        if (fd >= 0) ::close(fd);
    }
    bool Read(std::size_t offset, std::size_t n, std::string& out) const {
        out.resize(n);
        if (fd < 0) {
            out.assign(memory, offset, n);
            return out.size() == n;
        }
        std::size_t got = 0;
        while (got < n) {
            ssize_t r = ::pread(fd, out.data() + got, n - got, static_cast<off_t>(base + offset + got));
            if (r <= 0) return false;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }
};

struct StreamState {
    std::shared_ptr<BodySource> source;
    Fault fault;
    Context* ctx = nullptr;
    bool half_done = false;
    std::size_t sent = 0;
    std::chrono::steady_clock::time_point started;
};

// Writes up to `length` bytes at `offset`. Returns false to abort the reply.
bool Pump(StreamState& st, std::size_t offset, std::size_t length, httplib::DataSink& sink) {
    // Asked past the real body (a Content-Length that promised more): it ends here.
    if (offset >= st.source->size && st.source->size > 0) return false;
    std::size_t chunk =
        std::min<std::size_t>({length, 16384, st.source->size - std::min(offset, st.source->size)});
    if (st.fault.bytes_per_second > 0) {
        chunk = std::min<std::size_t>(chunk, std::max(1, st.fault.bytes_per_second / 10));
    }
    const int percent = std::clamp(st.fault.at_percent, 0, 100);
    const std::size_t half = st.source->size * static_cast<std::size_t>(percent) / 100;
    const bool hold_at_half = !st.half_done && (st.fault.stall_ms > 0 || st.fault.reset_mid_body);
    if (hold_at_half && offset <= half && half < offset + chunk) chunk = half - offset;
    if (chunk > 0) {
        if (st.fault.bytes_per_second > 0) {
            // Paced from the first byte: n bytes never leave before n / rate seconds.
            if (st.sent == 0) st.started = std::chrono::steady_clock::now();
            auto due =
                st.started + std::chrono::milliseconds((st.sent + chunk) * 1000 /
                                                       static_cast<std::size_t>(st.fault.bytes_per_second));
            auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
            if (wait.count() > 0 && !st.ctx->Sleep(static_cast<int>(wait.count()))) return false;
        }
        std::string data;
        if (!st.source->Read(offset, chunk, data) || !sink.write(data.data(), data.size())) return false;
        st.sent += chunk;
    }
    if (hold_at_half && offset + chunk == half) {
        st.half_done = true;
        if (st.fault.stall_ms > 0 && !st.ctx->Sleep(st.fault.stall_ms)) return false;
        if (st.fault.reset_mid_body) {
            if (CurrentSocket() >= 0) ResetSocket(CurrentSocket());
            return false;
        }
    }
    // A Content-Length that promised more: the body ends here, and so does the connection.
    if (st.fault.length_surplus > 0 && offset + chunk >= st.source->size) return false;
    return true;
}

}  // namespace

int& CurrentSocket() {
    thread_local int sock = -1;
    return sock;
}

void ResetSocket(int fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    // Disconnecting a connected TCP socket sends RST at once; the descriptor
    // stays valid for the server, whose next write simply fails.
    sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    ::connect(fd, &unspec, sizeof unspec);
}

void SendReply(Context& ctx, httplib::Response& res, Reply reply, const Fault& fault) {
    if (fault.delay_ms > 0 && !ctx.Sleep(fault.delay_ms)) {
        res.status = 503;
        return;
    }
    switch (fault.body) {
        case BodyKind::kNormal:
            break;
        case BodyKind::kHtml:
            reply.file.reset();
            reply.content_type = "text/html; charset=utf-8";
            reply.body =
                "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>"
                "<body><center><h1>502 Bad Gateway</h1></center><hr><center>nginx</center></body></html>\n";
            break;
        case BodyKind::kGarbage:
            reply.file.reset();
            reply.content_type = "application/octet-stream";
            reply.body = Garbage();
            break;
        case BodyKind::kEmpty:
            reply.file.reset();
            reply.body.clear();
            break;
        case BodyKind::kTruncated:
            reply.body.resize(reply.body.size() / 2);
            break;
        case BodyKind::kRaw:
            reply.file.reset();
            reply.body = fault.raw_body;
            break;
    }
    if (fault.gbk && !reply.file) {
        reply.body = ToGbkLossy(reply.body);
        std::string type = reply.content_type.substr(0, reply.content_type.find(';'));
        reply.content_type = type + "; charset=GBK";
    }
    if (!fault.content_type.empty()) reply.content_type = fault.content_type;
    // Left unset, a plain 200 becomes 206 for range requests.
    int status = fault.http_status ? fault.http_status : reply.status;
    if (status != 200) res.status = status;
    for (auto& [k, v] : reply.headers) res.set_header(k, v);

    auto source = std::make_shared<BodySource>();
    if (reply.file) {
        source->fd = ::open(reply.file->path.c_str(), O_RDONLY | O_CLOEXEC);
        if (source->fd < 0) {
            res.status = 503;
            return;
        }
        source->base = static_cast<std::size_t>(reply.file_offset);
        source->size = static_cast<std::size_t>(reply.file->size - reply.file_offset);
    } else {
        source->memory = std::move(reply.body);
        source->size = source->memory.size();
    }
    const bool streamed = reply.file || fault.stall_ms > 0 || fault.reset_mid_body ||
                          fault.bytes_per_second > 0 || fault.chunked || fault.length_surplus > 0;
    if (!streamed) {
        res.set_content(source->memory, reply.content_type);
        return;
    }
    auto st = std::make_shared<StreamState>();
    st->source = source;
    st->fault = fault;
    st->ctx = &ctx;
    if (fault.chunked) {
        res.set_chunked_content_provider(reply.content_type,
                                         [st](std::size_t offset, httplib::DataSink& sink) {
                                             if (offset >= st->source->size) {
                                                 sink.done();
                                                 return true;
                                             }
                                             return Pump(*st, offset, st->source->size - offset, sink);
                                         });
    } else {
        const std::size_t announced =
            source->size + static_cast<std::size_t>(std::max(0, fault.length_surplus));
        res.set_content_provider(announced, reply.content_type,
                                 [st](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     return Pump(*st, offset, length, sink);
                                 });
    }
}

}  // namespace mm::democat
