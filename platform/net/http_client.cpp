#include "platform/net/http_client.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/net/curl_share.h"
#include "platform/net/http_options.h"
#include "platform/net/jmap.h"
#include "platform/net/user_agent.h"

namespace mm::net {
namespace detail {

// State of one request while curl runs it; the callbacks see only this.
struct Transfer {
    const std::string* url = nullptr;
    const std::string* postBody = nullptr;
    const std::string* headerText = nullptr;
    bool download = false;
    std::string* body = nullptr;           // Get/Post
    std::size_t maxBody = 0;               // Get/Post
    PartFile* file = nullptr;              // Download
    const ProgressFn* progress = nullptr;  // Download
    int tag = 0;
    const std::function<bool()>* cancelled = nullptr;
    bool aborted = false;  // the cancel check or the progress callback said stop

    // Download: the bytes already in the file, and what became of the answer.
    const ResumeFrom* from = nullptr;
    DownloadAnswer* answer = nullptr;
    const std::function<void(const DownloadAnswer&)>* answered = nullptr;
    bool judged = false;
    detail::Verdict verdict = detail::Verdict::kNotTheFile;
    std::int64_t base = 0;  // where this body starts in the file

    int code = 0;
    std::string codeText;
    HeaderList headers;
    std::int64_t received = 0;
    bool writeFailed = false;
    bool tooLarge = false;
    std::int64_t lastNow = -1;
    std::int64_t lastTotal = -1;

    // Stall watch: the request fails when nothing moved for stallLimit (before
    // the first byte: firstByteLimit, which leaves room for connecting).
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastActivity = Clock::now();
    bool anyByte = false;
    Clock::duration stallLimit{};
    Clock::duration firstByteLimit{};
    curl_off_t lastUp = 0;
    bool stalled = false;
};

}  // namespace detail

namespace {

using detail::Transfer;

std::atomic<int> gDefaultConnectSec{15};
std::atomic<int> gDefaultStallSec{30};

bool is2xx(int code) {
    return code >= 200 && code < 300;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->lastActivity = Transfer::Clock::now();
    t->anyByte = true;
    std::string_view line(data, n);
    int code = 0;
    std::string text;
    if (detail::parseStatusLine(line, code, text)) {
        // A new answer (after a redirect or a 100 Continue) replaces the last.
        t->code = code;
        t->codeText = std::move(text);
        t->headers.clear();
        t->judged = false;
        return n;
    }
    std::string name, value;
    if (!detail::parseHeaderLine(line, name, value)) return n;
    if (!t->download && detail::equalsIgnoreCase(name, "Content-Length")) {
        // Announced too large: cut off before a byte of the body is read.
        char* end = nullptr;
        const unsigned long long length = std::strtoull(value.c_str(), &end, 10);
        if (end != value.c_str() && length > t->maxBody) {
            t->tooLarge = true;
            return 0;
        }
    }
    for (auto& [k, v] : t->headers) {
        if (k == name) {
            v += ", " + value;
            return n;
        }
    }
    t->headers.emplace_back(std::move(name), std::move(value));
    return n;
}

// Decides what the answer does to the file before its first byte is written:
// continue it, rewrite it, or (an answer that does not fit) ask again. False
// stops the transfer.
bool judgeDownload(Transfer& t) {
    t.judged = true;
    t.verdict = detail::judgeAnswer(*t.from, t.code, t.headers, *t.answer);
    switch (t.verdict) {
        case detail::Verdict::kAppend:
        case detail::Verdict::kStartOver:
            t.base = t.verdict == detail::Verdict::kAppend ? t.from->offset : 0;
            if (!t.file->CutTo(t.base)) {
                t.writeFailed = true;
                return false;
            }
            if (t.answered && *t.answered) (*t.answered)(*t.answer);
            return true;
        case detail::Verdict::kAskAgain:
            return false;
        case detail::Verdict::kComplete:
        case detail::Verdict::kNotTheFile:
            return true;
    }
    return true;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->lastActivity = Transfer::Clock::now();
    t->anyByte = true;
    if (t->download) {
        if (!t->judged && !judgeDownload(*t)) return 0;
        // An error page (or the body of a 416) is not the file.
        if (t->verdict != detail::Verdict::kAppend && t->verdict != detail::Verdict::kStartOver) {
            t->received += static_cast<std::int64_t>(n);
            return n;
        }
        if (!t->file->Write(data, n)) {
            t->writeFailed = true;
            return 0;
        }
    } else {
        if (t->body->size() + n > t->maxBody) {
            t->tooLarge = true;
            return 0;
        }
        t->body->append(data, n);
    }
    t->received += static_cast<std::int64_t>(n);
    return n;
}

// curl's own low-speed check averages over several seconds and can both cut a
// slow but steady download and overlook a stall for seconds, so the client
// watches the time since the last byte itself. curl calls this at least about
// once a second, also while nothing arrives.
int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    const auto now = Transfer::Clock::now();
    if (ulnow != t->lastUp) {
        t->lastUp = ulnow;
        t->lastActivity = now;
        t->anyByte = true;
    }
    if (now - t->lastActivity > (t->anyByte ? t->stallLimit : t->firstByteLimit)) {
        t->stalled = true;
        return 1;
    }
    if (t->cancelled != nullptr && *t->cancelled && (*t->cancelled)()) {
        t->aborted = true;
        return 1;
    }
    if (t->progress == nullptr || !*t->progress || !is2xx(t->code)) return 0;
    if (t->download &&
        (!t->judged || (t->verdict != detail::Verdict::kAppend && t->verdict != detail::Verdict::kStartOver)))
        return 0;
    // The whole file: what was kept plus what arrives.
    const std::int64_t total = dltotal > 0 ? t->base + dltotal : -1;
    const std::int64_t done = t->base + dlnow;
    // curl calls this many times a second even when nothing moved.
    if (done == t->lastNow && total == t->lastTotal) return 0;
    t->lastNow = done;
    t->lastTotal = total;
    if ((*t->progress)(t->tag, done, total)) return 0;
    t->aborted = true;
    return 1;
}

bool hasHeader(const detail::HeaderList& list, std::string_view name) {
    for (const auto& [k, v] : list)
        if (detail::equalsIgnoreCase(k, name)) return true;
    return false;
}

Failure failureOf(CURLcode rc, CURL* c) {
    switch (rc) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Failure::kResolve;
        case CURLE_COULDNT_CONNECT:
            return Failure::kConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return Failure::kTimeout;
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
            return Failure::kCutShort;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR: {
            long err = 0;
            curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &err);
            return err == ECONNRESET || err == EPIPE || err == 0 ? Failure::kReset : Failure::kOther;
        }
        default:
            return Failure::kOther;
    }
}

// How often a request that can be cancelled looks at its cancel check while
// it waits for the network: a user's cancel takes effect within this.
constexpr long kCancelPollMs = 50;

// Runs the transfer the way curl_easy_perform does (on a multi handle of its
// own, the connections still shared), but wakes at least every kCancelPollMs
// to see whether the request was cancelled: curl's own loop would wait for
// up to a second before it called the progress callback again.
CURLcode run(CURL* c, Transfer& t) {
    const bool cancellable = t.cancelled != nullptr && *t.cancelled;
    if (!cancellable) return curl_easy_perform(c);
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
    CURLcode rc = CURLE_OK;
    if (curl_multi_add_handle(multi, c) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_FAILED_INIT;
    }
    int running = 1;
    for (;;) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_RECV_ERROR;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
                if (m->msg == CURLMSG_DONE) rc = m->data.result;
            }
            break;
        }
        if ((*t.cancelled)()) {
            t.aborted = true;
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, kCancelPollMs, nullptr);
    }
    curl_multi_remove_handle(multi, c);
    curl_multi_cleanup(multi);
    return rc;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

void HTTPWebClient::SetDefaultTimeouts(int connectSec, int stallSec) {
    gDefaultConnectSec = connectSec > 0 ? connectSec : 15;
    gDefaultStallSec = stallSec > 0 ? stallSec : 30;
}

void HTTPWebClient::SetupTimeout(int connectSec, int transferSec) {
    connectSec_ = connectSec > 0 ? connectSec : 0;
    transferSec_ = transferSec > 0 ? transferSec : 0;
}

void HTTPWebClient::SetRequestHeader(const std::string& name, const std::string& value) {
    if (!detail::validHeader(name, value)) return;
    for (auto it = requestHeaders_.begin(); it != requestHeaders_.end(); ++it) {
        if (detail::equalsIgnoreCase(it->first, name)) {
            requestHeaders_.erase(it);
            break;
        }
    }
    if (!value.empty()) requestHeaders_.emplace_back(name, value);
}

bool HTTPWebClient::Get(const std::string& url, std::string& out, bool autoTranscode,
                        const std::string& headerText) {
    std::string raw;
    Transfer t;
    t.url = &url;
    t.headerText = &headerText;
    t.body = &raw;
    t.maxBody = maxReplyBytes_;
    const bool ok = perform(t);
    out = code_ == 0 || !lastError_.empty() ? std::string()
          : autoTranscode ? detail::bodyToUtf8(raw, detail::charsetOf(GetResponseHeader("Content-Type")))
                          : std::move(raw);
    return ok;
}

bool HTTPWebClient::Post(const std::string& url, const std::string& body, std::string& out,
                         bool autoTranscode, const std::string& headerText) {
    std::string raw;
    Transfer t;
    t.url = &url;
    t.postBody = &body;
    t.headerText = &headerText;
    t.body = &raw;
    t.maxBody = maxReplyBytes_;
    const bool ok = perform(t);
    out = code_ == 0 || !lastError_.empty() ? std::string()
          : autoTranscode ? detail::bodyToUtf8(raw, detail::charsetOf(GetResponseHeader("Content-Type")))
                          : std::move(raw);
    return ok;
}

bool HTTPWebClient::Download(const std::string& url, const std::string& path, const ProgressFn& progress,
                             const std::string& headerText) {
    DownloadOptions options;
    options.progress = progress;
    options.headerText = headerText;
    return Download(url, path, options);
}

bool HTTPWebClient::Download(const std::string& url, const std::string& path, const DownloadOptions& options,
                             DownloadAnswer* answer) {
    DownloadAnswer local;
    DownloadAnswer& ans = answer != nullptr ? *answer : local;
    ResumeFrom from = options.resume;
    if (from.offset < 0) from.offset = 0;
    bool askAgain = false;
    bool ok = downloadOnce(url, path, options, from, ans, askAgain);
    if (askAgain) {
        // The answer to the range did not fit the bytes there: start over.
        from = ResumeFrom{};
        ok = downloadOnce(url, path, options, from, ans, askAgain);
    }
    return ok;
}

bool HTTPWebClient::downloadOnce(const std::string& url, const std::string& path,
                                 const DownloadOptions& options, ResumeFrom& from, DownloadAnswer& answer,
                                 bool& askAgain) {
    askAgain = false;
    answer = DownloadAnswer{};
    PartFile file;
    if (!file.Open(path, from.offset > 0)) {
        const int err = file.Error();
        code_ = 0;
        codeText_.clear();
        responseHeaders_.clear();
        fail(Failure::kCannotOpen, "cannot open " + path + " for writing: " + std::strerror(err), err);
        return false;
    }
    // Never more than the file holds: a shorter file continues where it ends.
    if (from.offset > file.Size()) from.offset = file.Size();
    std::string headers = options.headerText;
    if (from.offset > 0) {
        headers += "\nRange: bytes=" + std::to_string(from.offset) + "-";
        const std::string ifRange = detail::ifRangeValue(from);
        if (!ifRange.empty()) headers += "\nIf-Range: " + ifRange;
    }
    Transfer t;
    t.url = &url;
    t.headerText = &headers;
    t.download = true;
    t.file = &file;
    t.progress = &options.progress;
    t.tag = tag_;
    t.from = &from;
    t.answer = &answer;
    t.answered = &options.answered;
    bool ok = perform(t);
    if (!t.judged && code_ != 0 && (ok || failure_ == Failure::kHttpStatus)) {
        // An answer without a body: judged here, so that an empty file is still emptied.
        if (!judgeDownload(t)) {
            ok = false;
            if (!t.writeFailed)
                t.verdict = detail::Verdict::kAskAgain;
            else
                fail(Failure::kWriteFailed, "writing " + path + " failed", file.Error());
        }
    }
    if (t.verdict == detail::Verdict::kAskAgain && from.offset > 0 && !t.aborted && !t.writeFailed) {
        askAgain = true;
        file.Close();
        return false;
    }
    if (t.verdict == detail::Verdict::kComplete) {
        ok = true;
        failure_ = Failure::kNone;
        lastError_.clear();
    }
    if (!file.Close() && ok) {
        fail(Failure::kWriteFailed, "writing " + path + " failed: " + std::strerror(file.Error()),
             file.Error());
        ok = false;
    }
    return ok;
}

void HTTPWebClient::fail(Failure f, std::string text, int err) {
    failure_ = f;
    lastError_ = std::move(text);
    errno_ = err;
}

bool HTTPWebClient::perform(detail::Transfer& t) {
    code_ = 0;
    codeText_.clear();
    responseHeaders_.clear();
    lastError_.clear();
    tooLarge_ = false;
    failure_ = Failure::kNone;
    errno_ = 0;
    t.cancelled = &cancelled_;
    if (cancelled_ && cancelled_()) {
        fail(Failure::kCancelled, "cancelled");
        return false;
    }

    // Declared first so that it outlives the handle that writes into it.
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::unique_ptr<CURL, CurlDeleter> curl(detail::newSharedEasyHandle());
    if (!curl) {
        fail(Failure::kOther, "libcurl could not create a handle");
        return false;
    }
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_URL, t.url->c_str());
    // Addresses come from the network; nothing but the web may be fetched.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(maxRedirects_));

    const long connect = connectSec_ > 0 ? connectSec_ : gDefaultConnectSec.load();
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connect);
    long stall = gDefaultStallSec.load();
    if (t.download && transferSec_ > 0) stall = transferSec_;
    if (!t.download && transferSec_ > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(transferSec_));
    t.stallLimit = std::chrono::seconds(stall);
    t.firstByteLimit = std::chrono::seconds(stall + connect);
    t.lastActivity = detail::Transfer::Clock::now();
    // Enough idle connections for the detail pool's parallel cover requests.
    curl_easy_setopt(c, CURLOPT_MAXCONNECTS, 32L);

    detail::HeaderList headers = requestHeaders_;
    for (auto& h : detail::parseHeaderText(*t.headerText)) {
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (detail::equalsIgnoreCase(it->first, h.first)) {
                headers.erase(it);
                break;
            }
        }
        headers.push_back(std::move(h));
    }
    if (!hasHeader(headers, "User-Agent")) headers.emplace_back("User-Agent", kUserAgent);
    // Without this curl waits for a 100 Continue before sending a larger body.
    if (t.postBody != nullptr && !hasHeader(headers, "Expect")) headers.emplace_back("Expect", "");
    std::unique_ptr<curl_slist, CurlDeleter> slist;
    for (const auto& [name, value] : headers) {
        // For curl, "Name:" removes a header and "Name;" sends it with an empty value.
        std::string line = name == "Expect" && value.empty() ? name + ":"
                           : value.empty()                   ? name + ";"
                                                             : name + ": " + value;
        curl_slist* next = curl_slist_append(slist.get(), line.c_str());
        if (next == nullptr) {
            fail(Failure::kOther, "out of memory");
            return false;
        }
        if (!slist) slist.reset(next);  // later appends return the same head
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, slist.get());

    if (t.postBody != nullptr) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.postBody->size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, t.postBody->data());
    }
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

    const CURLcode rc = run(c, t);
    code_ = t.code;
    codeText_ = std::move(t.codeText);
    responseHeaders_ = t.headers;  // kept in t too: a download without a body is judged after this

    tooLarge_ = t.tooLarge;
    if (rc != CURLE_OK) {
        std::string curlText = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(rc);
        if (t.writeFailed) {
            const int err = t.file != nullptr ? t.file->Error() : 0;
            fail(Failure::kWriteFailed, std::string("writing the file failed: ") + std::strerror(err), err);
        } else if (t.tooLarge) {
            fail(Failure::kTooLarge, "answer too large");
        } else if (t.stalled) {
            fail(Failure::kTimeout, "no data for " + std::to_string(stall) + " s");
        } else if (t.aborted) {
            fail(Failure::kCancelled, "cancelled");
        } else if (t.download && t.judged && t.verdict == detail::Verdict::kAskAgain) {
            fail(Failure::kOther, "the answer does not continue the file");
        } else {
            fail(failureOf(rc, c), curlText.empty() ? "request failed" : curlText);
        }
        return false;
    }
    if (t.download) {
        curl_off_t expected = -1;
        curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        if (is2xx(code_) && expected >= 0 && expected != t.received) {
            fail(Failure::kCutShort, "incomplete body");
            return false;
        }
    }
    // A complete answer: its status says the rest (lastError_ stays empty).
    if (!is2xx(code_)) failure_ = Failure::kHttpStatus;
    return is2xx(code_);
}

bool HTTPWebClient::GetResponseHeaders(JMap& out) const {
    std::vector<std::string> datas;
    datas.reserve(responseHeaders_.size() * 2);
    for (const auto& [name, value] : responseHeaders_) {
        datas.push_back(name);
        datas.push_back(value);
    }
    out.CreateByDatas(datas);
    out.SetCaseInsensitiveKeys(true);
    return !responseHeaders_.empty();
}

std::string HTTPWebClient::GetResponseHeader(const std::string& name) const {
    for (const auto& [k, v] : responseHeaders_)
        if (detail::equalsIgnoreCase(k, name)) return v;
    return {};
}

}  // namespace mm::net
