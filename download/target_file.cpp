#include "download/target_file.h"

#include <cerrno>

#include "download/file_naming.h"
#include "platform/sys/files.h"

namespace mm::download {

namespace {

std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

// Enough for any number of downloads of one name within one second.
constexpr int kMaxSameSecond = 10000;

}  // namespace

TargetFiles::TargetFiles(Clock clock) : clock_(clock ? std::move(clock) : Clock(LocalNow)) {}

TargetFiles& TargetFiles::Shared() {
    static TargetFiles shared;
    return shared;
}

bool TargetFiles::TakenLocked(const std::string& path) const {
    // A part file left by a crash does not count: the next download replaces it.
    return inFlight_.count(path) > 0 || sys::PathExists(path);
}

std::string TargetFiles::ClaimDatedLocked(const std::string& folder, const std::string& base,
                                          const std::string& ext) {
    std::size_t limit = static_cast<std::size_t>(sys::MaxNameBytes(folder));
    std::tm now = clock_();
    for (int n = 1; n <= kMaxSameSecond; ++n) {
        std::string path = folder + DatedFileName(base, ext, now, n, limit);
        if (!TakenLocked(path)) {
            inFlight_.insert(path);
            return path;
        }
    }
    return {};
}

std::string TargetFiles::Claim(const std::string& folder, const std::string& base, const std::string& ext) {
    std::size_t limit = static_cast<std::size_t>(sys::MaxNameBytes(folder));
    std::string plain = folder + PlainFileName(base, ext, limit);
    std::lock_guard lk(mu_);
    if (!TakenLocked(plain)) {
        inFlight_.insert(plain);
        return plain;
    }
    return ClaimDatedLocked(folder, base, ext);
}

void TargetFiles::Release(const std::string& target) {
    std::lock_guard lk(mu_);
    inFlight_.erase(target);
}

std::string TargetFiles::Commit(const std::string& part, const std::string& target, const std::string& folder,
                                const std::string& base, const std::string& ext) {
    std::string current = target;
    // A few rounds: each dated name is free when claimed, but another program
    // could still create it before the rename.
    for (int round = 0; round < 5 && !current.empty(); ++round) {
        if (sys::RenameNoReplace(part, current)) {
            Release(current);
            return current;
        }
        int err = errno;
        Release(current);
        if (err != EEXIST) {
            errno = err;  // the caller tells the user why
            return {};
        }
        std::lock_guard lk(mu_);
        current = ClaimDatedLocked(folder, base, ext);
    }
    if (!current.empty()) Release(current);
    errno = EEXIST;
    return {};
}

}  // namespace mm::download
