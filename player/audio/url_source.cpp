#include "player/audio/url_source.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace mm::audio {

struct UrlSource::Transfer {
    UrlSource* self = nullptr;
    CURL* easy = nullptr;
    uint64_t offset = 0;   // bytes asked to be skipped
    uint64_t to_skip = 0;  // bytes still to drop when the server ignored the range
    bool first_block = true;
};

namespace {
std::once_flag g_curl_once;
}  // namespace

std::unique_ptr<UrlSource> UrlSource::Start(const std::string& url, uint64_t offset,
                                            const UrlOptions& options, DownloadCallback callback) {
    // Only web addresses: file://, scp:// and the like must not be reachable
    // through a catalogue reply.
    std::string lower = url.substr(0, 8);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return nullptr;
    std::call_once(g_curl_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<UrlSource> src(new UrlSource());
    auto t = std::make_unique<Transfer>();
    t->self = src.get();
    t->offset = offset;
    t->easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!t->easy || !multi) {
        if (t->easy) curl_easy_cleanup(t->easy);
        if (multi) curl_multi_cleanup(multi);
        return nullptr;
    }
    CURL* e = t->easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    if (!options.user_agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, options.user_agent.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connect_timeout.count()));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteCb);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    // A plain range rather than a resume: curl gives up a resume that the
    // server ignores, while we can skip the bytes ourselves.
    std::string range = std::to_string(offset) + "-";
    if (offset > 0) curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
    curl_multi_add_handle(multi, e);

    src->multi_ = multi;
    src->max_bytes_ = options.max_bytes;
    src->stall_timeout_ = options.stall_timeout;
    src->callback_ = std::move(callback);
    src->thread_ = std::thread(&UrlSource::Run, src.get(), std::move(t));
    return src;
}

UrlSource::~UrlSource() {
    Cancel();
    if (thread_.joinable()) thread_.join();
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void UrlSource::Run(std::unique_ptr<Transfer> t) {
    CURLM* multi = static_cast<CURLM*>(multi_);
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    // Our own stall watch: curl's low-speed check averages over several
    // seconds and reacts far later than asked to a server that goes silent.
    using Clock = std::chrono::steady_clock;
    const int poll_ms = static_cast<int>(std::clamp<int64_t>(stall_timeout_.count() / 4, 10, 500));
    uint64_t seen = 0;
    auto last_progress = Clock::now();
    while (!cancel_.load()) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (running == 0) {
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi, &left))
                if (m->msg == CURLMSG_DONE) result = m->data.result;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, poll_ms, nullptr);
        uint64_t now_seen = bytes_seen_.load();
        if (now_seen != seen) {
            seen = now_seen;
            last_progress = Clock::now();
        } else if (Clock::now() - last_progress > stall_timeout_) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
    }
    curl_multi_remove_handle(multi, t->easy);
    curl_easy_cleanup(t->easy);
    {
        std::lock_guard lk(mu_);
        ended_ = true;
        failed_ = result != CURLE_OK || (expected_ && data_.size() != *expected_);
        if (!expected_ && !failed_) expected_ = data_.size();
    }
    cv_.notify_all();
    if (callback_) callback_(nullptr, 0);
}

size_t UrlSource::WriteCb(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    return t->self->OnData(data, size * n, *t);
}

size_t UrlSource::OnData(const char* data, size_t size, Transfer& t) {
    if (cancel_.load()) return 0;
    if (t.first_block) {
        t.first_block = false;
        long code = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &code);
        curl_off_t length = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        // A server that ignores the range sends the file from its start.
        if (t.offset > 0 && code != 206) t.to_skip = t.offset;
        std::lock_guard lk(mu_);
        if (length >= 0 && static_cast<uint64_t>(length) >= t.to_skip) {
            expected_ = static_cast<uint64_t>(length) - t.to_skip;
            data_.reserve(std::min<uint64_t>(*expected_, uint64_t{64} << 20));
        }
    }
    size_t total = size;
    bytes_seen_.fetch_add(size);
    if (t.to_skip > 0) {
        size_t skip = std::min<uint64_t>(t.to_skip, size);
        t.to_skip -= skip;
        data += skip;
        size -= skip;
    }
    if (size == 0) return total;
    {
        std::lock_guard lk(mu_);
        if (data_.size() + size > max_bytes_) return 0;
        data_.insert(data_.end(), data, data + size);
    }
    cv_.notify_all();
    if (callback_) callback_(reinterpret_cast<const uint8_t*>(data), size);
    return total;
}

size_t UrlSource::ReadAt(uint64_t offset, std::span<uint8_t> dst) {
    std::lock_guard lk(mu_);
    if (offset >= data_.size()) return 0;
    size_t n = std::min<uint64_t>(dst.size(), data_.size() - offset);
    std::memcpy(dst.data(), data_.data() + offset, n);
    return n;
}

uint64_t UrlSource::Arrived() {
    std::lock_guard lk(mu_);
    return data_.size();
}

bool UrlSource::Ended() {
    std::lock_guard lk(mu_);
    return ended_;
}

bool UrlSource::Whole() {
    std::lock_guard lk(mu_);
    return ended_ && !failed_;
}

bool UrlSource::Failed() {
    std::lock_guard lk(mu_);
    return failed_;
}

std::optional<uint64_t> UrlSource::ExpectedSize() {
    std::lock_guard lk(mu_);
    return expected_;
}

void UrlSource::WaitBeyond(uint64_t offset, const std::function<bool()>& stop) {
    std::unique_lock lk(mu_);
    ++waiting_;
    waiting_for_ = offset;
    // Woken by data, the end and Wake(); the short period also lets a stop
    // condition that is a deadline take effect on time.
    while (!(data_.size() > offset || ended_ || stop())) cv_.wait_for(lk, std::chrono::milliseconds(50));
    --waiting_;
}

bool UrlSource::ReaderWaiting() {
    std::lock_guard lk(mu_);
    // A reader whose bytes are here already is about to wake up, not waiting.
    return waiting_ > 0 && !ended_ && data_.size() <= waiting_for_;
}

void UrlSource::Wake() {
    { std::lock_guard lk(mu_); }
    cv_.notify_all();
}

void UrlSource::Cancel() {
    cancel_.store(true);
    if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
    Wake();
}

}  // namespace mm::audio
