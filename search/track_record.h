#pragma once
// One song of a result list or an imported playlist.
#include <array>
#include <string>

namespace mm::search {

// Quality tiers: 0 standard (128K MP3, "l"), 1 high (320K MP3, "h"), 2 lossless (FLAC, "s").
enum Tier { kStandard = 0, kHigh = 1, kLossless = 2 };
inline constexpr std::array<const char*, 3> kTierKeys = {"l", "h", "s"};

struct TrackRecord {
    std::string title;
    std::string singer;
    std::string album;
    std::array<std::string, 3> size;  // MB, rounded to 2 decimals, "%.13g"; "0" when missing
    std::array<std::string, 3> mid;
    std::array<std::string, 3> pmid;
    int bestTier = kStandard;
    std::string coverUrl;
    std::string cover;  // picture bytes, empty until fetched
    std::string duration;
    std::string publish;
    // Filled by the track address request.
    std::string fileUrl;
    std::string lyrics;
    std::string fileType;
    std::string trackId;
};

// A song as a command saw it: its 1-based row, the list generation it was
// listed in and its tier ids. A command acts on it only while that list is
// still shown and the row still holds those ids.
struct SongRef {
    int row = 0;  // 0: no song
    unsigned generation = 0;
    std::array<std::string, 3> mid;
};

}  // namespace mm::search
