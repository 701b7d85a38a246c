#pragma once
// The demo catalogue's content: songs, playlists, sources and share links.
// Everything here is fixed data; the audio behind it is made by SongStore.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mm::democat {

enum class Tier { kStandard = 0, kHigh = 1, kLossless = 2 };
inline constexpr std::array<Tier, 3> kTiers = {Tier::kStandard, Tier::kHigh, Tier::kLossless};
char TierLetter(Tier t);  // 'l', 'h', 's' as in the reply's `quality` object

enum class Codec { kMp3_128, kMp3_320, kFlac };

struct TierSpec {
    bool present = false;
    Codec codec = Codec::kMp3_128;
    std::string type;  // data.type of the track address ("mp3", "flac", or a quirk)
};

struct Song {
    int id = 0;
    std::string title;
    std::vector<std::string> singers;
    std::string album;
    int seconds = 24;
    std::string publish;
    bool has_cover = true;       // false: `pic` is empty
    bool cover_missing = false;  // `pic` names a cover the server does not have
    bool has_lyrics = true;
    bool empty_purl = false;  // the track address answers with an empty `purl`
    std::array<TierSpec, 3> tiers;

    const TierSpec& tier(Tier t) const { return tiers[static_cast<int>(t)]; }
    std::string Time() const;             // "MM:SS"
    std::string Mid(Tier t) const;        // empty for a missing tier
    std::string Pmid(Tier t) const;       // empty for a missing tier
    std::string AudioPath(Tier t) const;  // "/audio/0007-h.mp3"
    std::string CoverPath() const;        // "/cover/0007.jpg"
    std::string Lyrics() const;           // LRC text, empty without lyrics
    // Decides the synthesized audio and the encoders' settings; part of cache names.
    std::string AudioKey() const;
};

struct Playlist {
    std::string service;  // "wy", "qq", "kw", "kg"
    std::string id;
    std::vector<int> songs;
};

struct Source {
    std::string code;  // path part of its address: /song/<code>/
    std::string text;  // display name
};

// A share page of one of the music services: answers `status`, and for 301
// and 302 a Location of base address + `location`.
struct ShareLink {
    std::string path;
    int status = 200;
    std::string location;
};

const std::vector<Song>& Songs();
const Song* FindSong(int id);
// The song and tier named by a `mid`; false when the mid is unknown.
bool ParseMid(std::string_view mid, int* id, Tier* tier);

const std::vector<Playlist>& Playlists();
const Playlist* FindPlaylist(std::string_view service, std::string_view id);

const std::vector<Source>& Sources();
bool IsSourceCode(std::string_view code);

const std::vector<ShareLink>& ShareLinks();
const ShareLink* FindShareLink(std::string_view path);

// Songs whose title, a singer or the album holds the keyword (ASCII letters
// without regard to case). An empty keyword, "*" or "demo" matches every song.
// "*N" (N up to kMaxRepeatedRows) lists N rows: every song, again and again.
inline constexpr int kMaxRepeatedRows = 5000;
std::vector<int> MatchSongs(std::string_view keyword);

}  // namespace mm::democat
