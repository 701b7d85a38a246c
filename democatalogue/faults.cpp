#include "democatalogue/faults.h"

namespace mm::democat {

const char* EndpointName(Endpoint e) {
    switch (e) {
        case Endpoint::kUpdate:
            return "update";
        case Endpoint::kSourceList:
            return "source-list";
        case Endpoint::kReport:
            return "report";
        case Endpoint::kSearch:
            return "search";
        case Endpoint::kTrackAddress:
            return "track-address";
        case Endpoint::kPlaylist:
            return "playlist";
        case Endpoint::kShare:
            return "share";
        case Endpoint::kCover:
            return "cover";
        case Endpoint::kAudio:
            return "audio";
        case Endpoint::kOther:
            return "other";
    }
    return "other";
}

bool Fault::Active() const {
    return times != 0 &&
           (delay_ms > 0 || stall_ms > 0 || reset_mid_body || bytes_per_second > 0 || chunked ||
            http_status != 0 || body != BodyKind::kNormal || !content_type.empty() || gbk || code || msg ||
            purl || type || ignore_range || substitute_song != 0 || length_surplus != 0);
}

std::string Fault::Describe() const {
    if (!Active()) return {};
    std::string d;
    auto add = [&d](const std::string& part) { d += (d.empty() ? "" : " ") + part; };
    if (delay_ms > 0) add("delay=" + std::to_string(delay_ms));
    if (stall_ms > 0) add("stall=" + std::to_string(stall_ms) + "@" + std::to_string(at_percent) + "%");
    if (reset_mid_body) add("reset@" + std::to_string(at_percent) + "%");
    if (bytes_per_second > 0) add("rate=" + std::to_string(bytes_per_second));
    if (chunked) add("chunked");
    if (http_status != 0) add("status=" + std::to_string(http_status));
    if (body != BodyKind::kNormal) add("body=" + std::to_string(static_cast<int>(body)));
    if (gbk) add("gbk");
    if (code) add("code=" + std::to_string(*code));
    if (ignore_range) add("ignore-range");
    if (substitute_song != 0)
        add("substitute=" + std::to_string(substitute_song) + "/" + std::to_string(substitute_tier));
    if (length_surplus != 0) add("length+" + std::to_string(length_surplus));
    return d.empty() ? "other" : d;
}

void Faults::Set(Endpoint e, Fault f) {
    std::lock_guard lock(mutex_);
    faults_[static_cast<int>(e)] = std::move(f);
}

void Faults::Clear(Endpoint e) {
    Set(e, Fault{});
}

void Faults::ClearAll() {
    std::lock_guard lock(mutex_);
    faults_.fill(Fault{});
    notice_ = UpdateNotice{};
    lifetime_ = std::chrono::milliseconds{0};
    random_ = RandomFaults{};
}

void Faults::SetRandom(RandomFaults r) {
    std::lock_guard lock(mutex_);
    random_ = std::move(r);
    for (int i = 0; i < kEndpointCount; ++i)
        generators_[i].seed(random_.seed * 1000003u + static_cast<unsigned>(i));
}

Fault Faults::DrawLocked(Endpoint e) {
    bool chosen = false;
    for (Endpoint x : random_.endpoints) chosen = chosen || x == e;
    if (random_.rate <= 0 || !chosen) return Fault{};
    std::mt19937_64& g = generators_[static_cast<int>(e)];
    if (std::uniform_real_distribution<double>(0, 1)(g) >= random_.rate) return Fault{};
    const bool json = e != Endpoint::kAudio && e != Endpoint::kCover && e != Endpoint::kShare;
    Fault f;
    switch (std::uniform_int_distribution<int>(0, json ? 6 : 5)(g)) {
        case 0:
            f.http_status = 500;
            break;
        case 1:
            f.stall_ms = random_.stall_ms;
            f.at_percent = std::uniform_int_distribution<int>(0, 100)(g);
            break;
        case 2:
            f.bytes_per_second = random_.slow_bytes_per_second;
            break;
        case 3:
            f.reset_mid_body = true;
            f.at_percent = std::uniform_int_distribution<int>(1, 99)(g);
            break;
        case 4:
            f.length_surplus = std::uniform_int_distribution<int>(1, 4096)(g);
            break;
        case 5:
            f.delay_ms = random_.delay_ms;
            break;
        default:
            f.body = std::uniform_int_distribution<int>(0, 1)(g) ? BodyKind::kHtml : BodyKind::kGarbage;
            break;
    }
    return f;
}

Fault Faults::Get(Endpoint e) const {
    std::lock_guard lock(mutex_);
    return faults_[static_cast<int>(e)];
}

Fault Faults::Take(Endpoint e) {
    std::lock_guard lock(mutex_);
    Fault& f = faults_[static_cast<int>(e)];
    if (f.times == 0 || !f.Active()) return DrawLocked(e);
    Fault taken = f;
    if (f.times > 0 && --f.times == 0) f = Fault{};
    return taken;
}

void Faults::SetUpdateNotice(UpdateNotice n) {
    std::lock_guard lock(mutex_);
    notice_ = std::move(n);
}

UpdateNotice Faults::GetUpdateNotice() const {
    std::lock_guard lock(mutex_);
    return notice_;
}

void Faults::SetAddressLifetime(std::chrono::milliseconds ms) {
    std::lock_guard lock(mutex_);
    lifetime_ = ms;
}

std::chrono::milliseconds Faults::AddressLifetime() const {
    std::lock_guard lock(mutex_);
    return lifetime_;
}

}  // namespace mm::democat
