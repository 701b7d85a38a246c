#pragma once
// The built-in demo catalogue: a real HTTP service on 127.0.0.1 speaking the
// catalogue protocol (update notice, sources, search, track addresses,
// playlists, share pages, start-up report, covers and audio files).
//
// Addresses, with B = BaseUrl():
//   GET  B/VOKA/voka.json                    update notice
//   GET  B/api/source.php                    source list; each `url` is B/song/<code>/
//   POST B/api                               start-up report
//   GET  B/song/<code>/?name=K&page=N        search, 20 songs a page
//   GET  B/song/<code>/?type=list&id=I       playlist (reply text needs the quote repair)
//   POST B/song/<code>/?type=song            track address (form body mid, pmid, q, lyr)
//   GET  B/share/…                           share pages (200, 301, 302 with Location)
//   GET  B/cover/NNNN.jpg, B/audio/NNNN-t.ext
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "democatalogue/faults.h"
#include "democatalogue/song_store.h"
#include "democatalogue/song_table.h"
#include "democatalogue/stats.h"

namespace mm::democat {

struct Options {
    std::string cache_dir{};     // empty: DefaultCacheDir()
    int background_workers = 1;  // threads encoding songs nobody asked for yet
};

class DemoCatalogue {
public:
    explicit DemoCatalogue(Options options = {});
    ~DemoCatalogue();
    DemoCatalogue(const DemoCatalogue&) = delete;
    DemoCatalogue& operator=(const DemoCatalogue&) = delete;

    // Listens on 127.0.0.1:port (0 = a free port). Returns at once; audio is
    // encoded when first needed.
    bool Start(int port = 0);
    void Stop();
    bool Running() const;

    int Port() const;
    std::string BaseUrl() const;                         // "http://127.0.0.1:PORT"
    std::string SongBase() const;                        // BaseUrl() + "/song/"
    std::string SourceUrl(std::string_view code) const;  // BaseUrl() + "/song/<code>/"

    Faults& faults();
    Stats& stats();

    const std::vector<Song>& songs() const { return Songs(); }
    // The file served for this song and tier (encoding it if needed).
    std::optional<AudioFile> FileOf(int song_id, Tier tier);
    const std::string& cache_dir() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace mm::democat
