#include "democatalogue/song_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "democatalogue/encoders.h"
#include "democatalogue/synth.h"

namespace mm::democat {

namespace {

std::uint32_t Hash(const std::string& s) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

// Writes beside the target and links the whole file into place. If another
// process got there first its file wins: a cache file never changes once seen.
bool WriteWhole(const std::string& path, const std::string& bytes) {
    static std::atomic<int> counter{0};
    std::string tmp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            ::unlink(tmp.c_str());
            return false;
        }
    }
    bool ok = ::link(tmp.c_str(), path.c_str()) == 0 || errno == EEXIST;
    if (!ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;  // no hard links on this file system
    ::unlink(tmp.c_str());
    return ok;
}

}  // namespace

std::string DefaultCacheDir() {
    if (const char* d = std::getenv("MM_DEMOCAT_CACHE"); d && *d) return d;
    std::string base;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x) {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = std::string(h) + "/.cache";
    } else {
        base = "/tmp";
    }
    return base + "/morvane-music/democatalogue/v1";
}

SongStore::SongStore(std::string cache_dir, Stats* stats)
    : dir_(std::move(cache_dir)), stats_(stats), entries_(Songs().size() + 1) {}

SongStore::~SongStore() {
    Stop();
}

void SongStore::StartWorkers(int count) {
    for (int i = 0; i < count; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

void SongStore::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
}

std::string SongStore::CacheName(const Song& song, Tier tier) const {
    const TierSpec& spec = song.tier(tier);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%08x-%c.%s", song.id, Hash(song.AudioKey()), TierLetter(tier),
                  spec.codec == Codec::kFlac ? "flac" : "mp3");
    return buf;
}

bool SongStore::Claim(int id) {
    std::lock_guard lock(mutex_);
    if (id <= 0 || id >= static_cast<int>(entries_.size())) return false;
    if (entries_[id].state != State::kIdle || stopping_) return false;
    entries_[id].state = State::kBusy;
    return true;
}

void SongStore::Produce(int id) {
    std::array<AudioFile, 3> files;
    bool ok = ProduceFiles(*FindSong(id), files);
    {
        std::lock_guard lock(mutex_);
        Entry& e = entries_[id];
        e.files = files;
        // A song abandoned because of Stop() may be made by a later instance.
        e.state = ok ? State::kReady : stopping_ ? State::kIdle : State::kFailed;
    }
    changed_.notify_all();
}

bool SongStore::ProduceFiles(const Song& song, std::array<AudioFile, 3>& files) {
    std::optional<Pcm> pcm;
    bool encoded = false;
    for (Tier t : kTiers) {
        const TierSpec& spec = song.tier(t);
        if (!spec.present) continue;
        std::string path = dir_ + "/" + CacheName(song, t);
        auto size = FileSize(path);
        if (!size) {
            if (!pcm) {
                std::error_code ec;
                std::filesystem::create_directories(dir_, ec);
                pcm = Synthesize(song.id, song.seconds);
            }
            std::optional<std::string> bytes =
                spec.codec == Codec::kFlac
                    ? EncodeFlac(*pcm, &stopping_)
                    : EncodeMp3(*pcm, spec.codec == Codec::kMp3_320 ? 320 : 128, &stopping_);
            if (!bytes || !WriteWhole(path, *bytes)) return false;
            encoded = true;
            size = FileSize(path);
            if (!size) return false;
        }
        files[static_cast<int>(t)] = AudioFile{path, *size};
    }
    if (encoded && stats_) stats_->CountEncode();
    return true;
}

bool SongStore::Ensure(const std::vector<int>& ids) {
    {
        std::lock_guard lock(mutex_);
        for (int id : ids) {
            if (id > 0 && id < static_cast<int>(entries_.size()) && entries_[id].state == State::kIdle) {
                wanted_.push_back(id);
            }
        }
    }
    changed_.notify_all();
    for (int id : ids) {
        if (Claim(id)) Produce(id);
    }
    std::unique_lock lock(mutex_);
    for (int id : ids) {
        if (id <= 0 || id >= static_cast<int>(entries_.size())) return false;
        changed_.wait(lock, [&] {
            State s = entries_[id].state;
            return s == State::kReady || s == State::kFailed || (stopping_ && s != State::kBusy);
        });
        if (entries_[id].state != State::kReady) return false;
    }
    return true;
}

std::optional<AudioFile> SongStore::File(int id, Tier tier) {
    const Song* song = FindSong(id);
    if (!song || !song->tier(tier).present || !Ensure({id})) return std::nullopt;
    std::lock_guard lock(mutex_);
    return entries_[id].files[static_cast<int>(tier)];
}

void SongStore::WorkerLoop() {
    const int last = static_cast<int>(entries_.size()) - 1;
    for (;;) {
        int id = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !wanted_.empty() || next_background_ <= last; });
            if (stopping_) return;
            if (!wanted_.empty()) {
                id = wanted_.front();
                wanted_.pop_front();
            } else {
                id = next_background_++;
            }
        }
        if (Claim(id)) Produce(id);
    }
}

}  // namespace mm::democat
