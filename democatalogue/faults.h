#pragma once
// Bad-behaviour switches of the demo catalogue. Tests flip them while the
// server runs; every request takes a snapshot of the switch for its endpoint.
#include <array>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace mm::democat {

enum class Endpoint {
    kUpdate,        // GET /VOKA/voka.json
    kSourceList,    // GET /api/source.php
    kReport,        // POST /api
    kSearch,        // GET /song/<code>/?name=…&page=…
    kTrackAddress,  // POST /song/<code>/?type=song
    kPlaylist,      // GET /song/<code>/?type=list&id=…
    kShare,         // GET /share/…
    kCover,         // GET /cover/…
    kAudio,         // GET /audio/…
    kOther,         // anything else
};
inline constexpr int kEndpointCount = 10;
const char* EndpointName(Endpoint e);

enum class BodyKind {
    kNormal,
    kHtml,       // an HTML error page with status 200
    kGarbage,    // bytes that are neither JSON nor text
    kEmpty,      // no body at all
    kTruncated,  // the first half of the normal body, as a complete reply
    kRaw,        // Fault::raw_body verbatim
};

struct Fault {
    int delay_ms = 0;             // wait before answering at all
    int stall_ms = 0;             // pause after half of the body has gone out
    bool reset_mid_body = false;  // drop the connection (RST) after half of the body
    int bytes_per_second = 0;     // throttle the body; 0 = full speed
    bool chunked = false;         // send without Content-Length
    int http_status = 0;          // replace the status; 0 = keep
    BodyKind body = BodyKind::kNormal;
    std::string raw_body{};             // with BodyKind::kRaw
    std::string content_type{};         // replaces the Content-Type when not empty
    bool gbk = false;                   // body converted to GBK, charset=GBK
    std::optional<int> code{};          // replaces the envelope's `code`
    std::optional<std::string> msg{};   // replaces the envelope's `msg`
    std::optional<std::string> purl{};  // replaces data.purl of a track address
    std::optional<std::string> type{};  // replaces data.type of a track address
    int times = -1;                     // requests it applies to; -1 = until cleared

    bool Active() const;
};

// Fields of the update notice, all texts as the program reads them.
struct UpdateNotice {
    std::string code = "200";
    std::string version = "1.1";
    std::string msg{};
    std::string web{};
    std::string web2{};
    bool update = false;
};

class Faults {
public:
    void Set(Endpoint e, Fault f);
    void Clear(Endpoint e);
    void ClearAll();  // also restores the update notice and address lifetime
    Fault Get(Endpoint e) const;
    // The fault the next request of this endpoint suffers; counts down `times`.
    Fault Take(Endpoint e);

    void SetUpdateNotice(UpdateNotice n);
    UpdateNotice GetUpdateNotice() const;

    // Audio addresses handed out from now on stop working after this long
    // (403). Zero: they never expire; negative: they are expired at once.
    void SetAddressLifetime(std::chrono::milliseconds ms);
    std::chrono::milliseconds AddressLifetime() const;

private:
    mutable std::mutex mutex_;
    std::array<Fault, kEndpointCount> faults_{};
    UpdateNotice notice_;
    std::chrono::milliseconds lifetime_{0};
};

}  // namespace mm::democat
