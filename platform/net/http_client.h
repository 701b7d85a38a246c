#pragma once
// HTTP client over libcurl. One object per task: configure, send, read the
// status. Every client shares one connection cache with all others, so creating
// a client per request is cheap.
//
// Every request has a connect time-out and a stall time-out (no data for that
// long), even when the caller sets none, so no request can hang forever.
// Redirects are not followed unless asked: the caller sees 301/302 and Location.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/download_file.h"

namespace mm::net {

class JMap;
namespace detail {
struct Transfer;
}

// Download progress: the client's tag, bytes received so far and the total
// (-1 while unknown). Returning false aborts the download. Called on the
// downloading thread; it must not throw.
using ProgressFn = std::function<bool(int tag, std::int64_t now, std::int64_t total)>;

// A download into a file, continuing a part file when resume says so.
struct DownloadOptions {
    ProgressFn progress;     // counts the whole file: bytes kept plus bytes received
    std::string headerText;  // extra request headers, one "Name: value" a line
    // offset > 0: ask for the rest with "Range: bytes=offset-" (and If-Range
    // with the validators). The answer continues the file only when it is a
    // 206 for exactly that range of a file of the same size (and validators);
    // a 200 rewrites the file from its start, and any other answer to the
    // range is asked again without one.
    ResumeFrom resume;
    // Told once the answer whose body will be written is known, before its
    // first byte lands (on the downloading thread).
    std::function<void(const DownloadAnswer&)> answered;
};

// Why the last request failed, as far as the program tells the user.
enum class Failure {
    kNone,
    kCancelled,    // the cancel check or the progress callback said stop
    kCannotOpen,   // the file could not be opened (LastErrno)
    kWriteFailed,  // writing the file failed (LastErrno: ENOSPC for a full disk)
    kResolve,      // the host name is unknown
    kConnect,      // nobody answered at that address
    kTimeout,      // no connection or no data within the time-outs
    kReset,        // the connection was reset
    kCutShort,     // the connection ended before the whole body
    kHttpStatus,   // an answer other than 2xx (GetRepoHTTPCode)
    kTooLarge,     // a text answer over the size limit
    kOther,
};

class HTTPWebClient {
  public:
    HTTPWebClient() = default;
    HTTPWebClient(const HTTPWebClient&) = delete;
    HTTPWebClient& operator=(const HTTPWebClient&) = delete;

    // Seconds; 0 keeps the default. For Get and Post the transfer time-out
    // limits the whole request; for Download it is the longest stretch without
    // data, so a long download that keeps flowing is never cut.
    void SetupTimeout(int connectSec, int transferSec);
    // Kept for every later request of this client; a second call with the same
    // name (any case) replaces the value, an empty value removes the header. A
    // name that is not an HTTP token or a value with a line break is ignored.
    void SetRequestHeader(const std::string& name, const std::string& value);
    void SetFollowRedirects(bool follow) { followRedirects_ = follow; }
    // Largest answer body Get and Post keep in memory, in bytes. A longer
    // answer is cut off at once (when its Content-Length says so, before any
    // of the body is read; otherwise when the cap is passed) and the request
    // fails with ReplyTooLarge(). Download writes to disk and has no cap.
    void SetMaxReplyBytes(std::size_t bytes) { maxReplyBytes_ = bytes; }
    static constexpr std::size_t kDefaultMaxReplyBytes = std::size_t{64} << 20;
    // Most redirects followed in one request (10 unless set).
    void SetMaxRedirects(int count) { maxRedirects_ = count < 0 ? 0 : count; }
    void SetTag(int tag) { tag_ = tag; }
    int Tag() const { return tag_; }
    // Asked about once a second while a request waits and at every piece of a
    // body: true stops the request (Failure::kCancelled). Called on the
    // requesting thread; it must not throw.
    void SetCancelCheck(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }

    // GET. With autoTranscode the body comes back as UTF-8 whatever charset the
    // server declared; without it, as the raw bytes. headerText holds extra
    // headers, one "Name: value" a line. True for a complete 2xx answer; any
    // other complete answer still fills out and the status. out is empty when
    // no complete answer arrived.
    bool Get(const std::string& url, std::string& out, bool autoTranscode = true,
             const std::string& headerText = {});
    // POST of body as is. Without a Content-Type among the headers the body goes
    // as application/x-www-form-urlencoded. Results as for Get.
    bool Post(const std::string& url, const std::string& body, std::string& out, bool autoTranscode = true,
              const std::string& headerText = {});
    // GET into the file at path (created or truncated first). True only for a
    // 2xx answer whose whole body reached the disk. On failure the file is left
    // as it is (empty or partial) for the caller to remove; the body of a non-2xx
    // answer is never written.
    bool Download(const std::string& url, const std::string& path, const ProgressFn& progress = {},
                  const std::string& headerText = {});
    // The same, resuming when options.resume says so. The part file is never
    // opened through a symbolic link. True when the file holds the whole body;
    // answer (when given) gets what the last answer said of the file.
    bool Download(const std::string& url, const std::string& path, const DownloadOptions& options,
                  DownloadAnswer* answer = nullptr);

    // Status of the last answer: 0 and "" when no answer arrived (see LastError).
    int GetRepoHTTPCode() const { return code_; }
    const std::string& GetRepoHTTPCodeText() const { return codeText_; }
    // Response headers of the last answer, by name as sent (lookups ignore case).
    // Repeated headers are joined with ", ".
    bool GetResponseHeaders(JMap& out) const;
    // One response header by name, any case; "" when missing.
    std::string GetResponseHeader(const std::string& name) const;
    // Why the last request failed, for logs; "" after a success.
    const std::string& LastError() const { return lastError_; }
    // The last answer was cut off for passing the reply cap.
    bool ReplyTooLarge() const { return tooLarge_; }
    Failure LastFailure() const { return failure_; }
    // errno behind kCannotOpen and kWriteFailed; 0 otherwise.
    int LastErrno() const { return errno_; }

    // Defaults for requests that set no time-out (seconds): 15 to connect, 30
    // without data. Process-wide; tests lower them.
    static void SetDefaultTimeouts(int connectSec, int stallSec);

  private:
    bool perform(detail::Transfer& t);
    bool downloadOnce(const std::string& url, const std::string& path, const DownloadOptions& options,
                      ResumeFrom& from, DownloadAnswer& answer, bool& askAgain);
    void fail(Failure f, std::string text, int err = 0);

    int connectSec_ = 0;
    int transferSec_ = 0;
    bool followRedirects_ = false;
    std::size_t maxReplyBytes_ = kDefaultMaxReplyBytes;
    int maxRedirects_ = 10;
    int tag_ = 0;
    std::function<bool()> cancelled_;
    std::vector<std::pair<std::string, std::string>> requestHeaders_;

    int code_ = 0;
    std::string codeText_;
    std::vector<std::pair<std::string, std::string>> responseHeaders_;
    std::string lastError_;
    bool tooLarge_ = false;
    Failure failure_ = Failure::kNone;
    int errno_ = 0;
};

}  // namespace mm::net
