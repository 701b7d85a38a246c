#pragma once
// Which songs and tiers have a finished download, kept in memory as hashes so
// that the duplicate marks ask the database only about songs that may have
// been downloaded: on a long result list almost every row is a sure "no"
// answered without a look-up.
//
// A hash may stand for more than one (mid, tier), and a download that is no
// longer finished stays in: a match means "maybe, ask the database", a miss
// means "no finished download of it". Not thread-safe; the history store
// guards it with its connection's mutex.
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace mm::library {

class Database;

class DoneSongFilter {
public:
    void Add(std::string_view mid, int tier);
    bool MayContain(std::string_view mid, int tier) const;

    // Fills the filter from the finished downloads of the database, once;
    // later calls do nothing. False when the database could not be read (the
    // filter then stays unloaded and every question is a "maybe").
    bool LoadOnce(Database& db);
    bool loaded() const { return loaded_; }

private:
    static std::uint64_t Key(std::string_view mid, int tier);

    std::unordered_set<std::uint64_t> keys_;
    bool loaded_ = false;
};

}  // namespace mm::library
