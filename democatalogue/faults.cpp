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
    return times != 0 && (delay_ms > 0 || stall_ms > 0 || reset_mid_body || bytes_per_second > 0 || chunked ||
                          http_status != 0 || body != BodyKind::kNormal || !content_type.empty() || gbk ||
                          code || msg || purl || type);
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
}

Fault Faults::Get(Endpoint e) const {
    std::lock_guard lock(mutex_);
    return faults_[static_cast<int>(e)];
}

Fault Faults::Take(Endpoint e) {
    std::lock_guard lock(mutex_);
    Fault& f = faults_[static_cast<int>(e)];
    if (f.times == 0) return Fault{};
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
