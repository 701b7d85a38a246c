#include "library/done_song_filter.h"

#include <functional>
#include <string>

#include "library/sqlite_db.h"

namespace mm::library {

std::uint64_t DoneSongFilter::Key(std::string_view mid, int tier) {
    // The tier goes into the low bits after a multiplicative mix, so the
    // three tiers of one song land on different keys.
    const std::uint64_t h = std::hash<std::string_view>{}(mid);
    return h * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(tier);
}

void DoneSongFilter::Add(std::string_view mid, int tier) {
    if (!mid.empty()) keys_.insert(Key(mid, tier));
}

bool DoneSongFilter::MayContain(std::string_view mid, int tier) const {
    if (!loaded_) return true;
    return keys_.count(Key(mid, tier)) != 0;
}

bool DoneSongFilter::LoadOnce(Database& db) {
    if (loaded_) return true;
    if (!db.isOpen()) return false;
    // Read through the partial index of finished downloads alone.
    Statement s(db.handle(), "SELECT mid, tier FROM downloads WHERE state = 'done' AND mid <> ''");
    if (!s.ok()) return false;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) Add(s.text(0), static_cast<int>(s.int64(1)));
    if (rc != SQLITE_DONE) {
        keys_.clear();
        return false;
    }
    loaded_ = true;
    return true;
}

}  // namespace mm::library
