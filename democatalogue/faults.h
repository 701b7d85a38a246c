#pragma once
// Bad-behaviour switches of the demo catalogue. Tests flip them while the
// server runs; every request takes a snapshot of the switch for its endpoint.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

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
    int stall_ms = 0;             // pause once at_percent of the body has gone out
    bool reset_mid_body = false;  // drop the connection (RST) once at_percent of the body has gone out
    int at_percent = 50;          // where stall_ms and reset_mid_body strike (0-100)
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
    // Audio: answer 200 with the whole file even to a Range request.
    bool ignore_range = false;
    // Audio: serve this song's file of this tier (0 standard, 1 high, 2
    // lossless) instead, with its own size, ETag and Last-Modified: the file
    // changed on the server. 0 = no change.
    int substitute_song = 0;
    int substitute_tier = 0;
    // Announce a Content-Length this many bytes longer than the body sent; the
    // connection then ends after the body.
    int length_surplus = 0;
    int times = -1;  // requests it applies to; -1 = until cleared

    bool Active() const;
    // A short description for the request log ("" when none).
    std::string Describe() const;
};

// Random faults for soak runs: each request of the chosen endpoints, when no
// fault is set for it, suffers one with probability `rate`, drawn from a
// generator seeded with `seed` (one sequence per endpoint, so a run can be
// repeated). The kinds: status 500, a non-JSON body (JSON endpoints), a stall
// longer than stall_ms, a slow body, a reset at a random point, a wrong
// Content-Length, a delay.
struct RandomFaults {
    std::uint64_t seed = 1;
    double rate = 0.0;  // 0 = off
    std::vector<Endpoint> endpoints{};
    int stall_ms = 3000;  // stalls last this long (beyond the client's time-out)
    int slow_bytes_per_second = 64 * 1024;
    int delay_ms = 300;
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

    // Random faults from now on (ClearAll ends them).
    void SetRandom(RandomFaults r);

private:
    Fault DrawLocked(Endpoint e);

    mutable std::mutex mutex_;
    std::array<Fault, kEndpointCount> faults_{};
    UpdateNotice notice_;
    std::chrono::milliseconds lifetime_{0};
    RandomFaults random_{};
    std::array<std::mt19937_64, kEndpointCount> generators_{};
};

}  // namespace mm::democat
