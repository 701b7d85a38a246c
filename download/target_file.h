#pragma once
// Choosing the file a download lands in, and putting it there. A download is
// written to "<target>.part" and renamed to its target only when whole, and
// the rename never replaces a file: if the target appeared meanwhile, the
// file takes a dated name instead.
#include <ctime>
#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace mm::download {

class TargetFiles {
public:
    using Clock = std::function<std::tm()>;
    // clock gives the local time for dated names; unset = the real one.
    explicit TargetFiles(Clock clock = {});

    // Picks and reserves the target for base and extension in folder (ending
    // in "/"): the plain name, or the dated one when the plain name exists on
    // disk or is reserved by a download still running. Returns the full path.
    std::string Claim(const std::string& folder, const std::string& base, const std::string& ext);
    // Gives the reservation up (the download failed or was committed).
    void Release(const std::string& target);

    // Renames part to target without replacing anything; when target is taken
    // meanwhile, claims a dated name and moves there. Releases target either
    // way. Returns the path the file now has, or "" (errno says why) when it
    // could not be moved; part is then left as it is, whole.
    std::string Commit(const std::string& part, const std::string& target, const std::string& folder,
                       const std::string& base, const std::string& ext);

    // The one table every download of the process shares: names are a
    // property of the file system, not of one window.
    static TargetFiles& Shared();

private:
    bool TakenLocked(const std::string& path) const;
    std::string ClaimDatedLocked(const std::string& folder, const std::string& base, const std::string& ext);

    Clock clock_;
    mutable std::mutex mu_;
    std::set<std::string> inFlight_;
};

}  // namespace mm::download
