#pragma once
// Encoded audio of the demo songs, made on first use and kept in a cache
// folder across runs. Requests wait only for the songs they need; background
// workers encode the rest. A song is encoded once however many requests want
// it, and cache files appear whole (written aside, then linked into place).
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "democatalogue/song_table.h"
#include "democatalogue/stats.h"

namespace mm::democat {

struct AudioFile {
    std::string path;
    std::uint64_t size = 0;
};

class SongStore {
public:
    SongStore(std::string cache_dir, Stats* stats);
    ~SongStore();
    SongStore(const SongStore&) = delete;
    SongStore& operator=(const SongStore&) = delete;

    void StartWorkers(int count);
    // Cancels work in progress and joins the workers; waiting requests get false.
    void Stop();

    // Blocks until every listed song has its files; false if any could not be made.
    bool Ensure(const std::vector<int>& ids);
    std::optional<AudioFile> File(int id, Tier tier);

    const std::string& dir() const { return dir_; }
    std::string CacheName(const Song& song, Tier tier) const;

private:
    enum class State { kIdle, kBusy, kReady, kFailed };
    struct Entry {
        State state = State::kIdle;
        std::array<AudioFile, 3> files;
    };

    bool Claim(int id);
    void Produce(int id);
    bool ProduceFiles(const Song& song, std::array<AudioFile, 3>& files);
    void WorkerLoop();

    const std::string dir_;
    Stats* const stats_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;  // index = song id
    std::deque<int> wanted_;      // asked for by requests; workers take these first
    int next_background_ = 1;
    std::vector<std::thread> workers_;
};

// $MM_DEMOCAT_CACHE, else $XDG_CACHE_HOME/morvane-music/democatalogue/v1, else
// ~/.cache/morvane-music/democatalogue/v1.
std::string DefaultCacheDir();

}  // namespace mm::democat
