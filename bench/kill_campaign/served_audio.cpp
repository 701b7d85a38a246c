#include "bench/kill_campaign/served_audio.h"

#include <functional>
#include <string_view>

#include "platform/sys/files.h"

namespace mm::bench {

namespace {

std::size_t Hash(std::string_view s) { return std::hash<std::string_view>{}(s); }

// A part file's first bytes name their served file once there are this many.
constexpr std::size_t kTellingBytes = 4096;

}  // namespace

std::string Mp3Audio(const std::string& file) {
    if (file.compare(0, 3, "ID3") != 0) return file;
    if (file.size() < 10) return {};
    const auto* h = reinterpret_cast<const unsigned char*>(file.data());
    std::size_t size = (std::size_t{h[6]} << 21) | (std::size_t{h[7]} << 14) | (std::size_t{h[8]} << 7) | h[9];
    size += 10;
    if (h[5] & 0x10) size += 10;  // footer
    return size <= file.size() ? file.substr(size) : std::string();
}

std::string FlacFrames(const std::string& file) {
    if (file.compare(0, 4, "fLaC") != 0) return {};
    std::size_t at = 4;
    for (;;) {
        if (at + 4 > file.size()) return {};
        const auto* h = reinterpret_cast<const unsigned char*>(file.data() + at);
        const std::size_t length = (std::size_t{h[1]} << 16) | (std::size_t{h[2]} << 8) | h[3];
        at += 4 + length;
        if (h[0] & 0x80) break;
    }
    return at <= file.size() ? file.substr(at) : std::string();
}

const char* PartStageName(PartStage stage) {
    switch (stage) {
        case PartStage::kTransfer:
            return "transfer";
        case PartStage::kFull:
            return "full, untagged";
        case PartStage::kTagging:
            return "tag write";
        case PartStage::kTagged:
            return "tagged, unrenamed";
    }
    return "?";
}

bool ServedAudio::Load(democat::DemoCatalogue& catalogue, const std::vector<int>& songs) {
    files_.clear();
    byAudioHash_.clear();
    for (int id : songs) {
        const democat::Song* song = democat::FindSong(id);
        if (!song) return false;
        for (democat::Tier tier : democat::kTiers) {
            if (!song->tier(tier).present) continue;
            auto served = catalogue.FileOf(id, tier);
            if (!served) return false;
            ServedFile f;
            f.song = id;
            f.tier = tier;
            if (!sys::ReadFile(served->path, f.bytes) || f.bytes.empty()) return false;
            f.flac = f.bytes.compare(0, 4, "fLaC") == 0;
            f.audio = f.flac ? FlacFrames(f.bytes) : Mp3Audio(f.bytes);
            if (f.audio.empty()) return false;
            files_.push_back(std::move(f));
        }
    }
    for (std::size_t i = 0; i < files_.size(); ++i) byAudioHash_.emplace(Hash(files_[i].audio), i);
    return !files_.empty();
}

const ServedFile* ServedAudio::MatchWhole(const std::string& file) const {
    const bool flac = file.compare(0, 4, "fLaC") == 0;
    const std::string audio = flac ? FlacFrames(file) : Mp3Audio(file);
    if (audio.empty()) return nullptr;
    auto [from, to] = byAudioHash_.equal_range(Hash(audio));
    for (auto it = from; it != to; ++it) {
        const ServedFile& f = files_[it->second];
        if (f.flac == flac && f.audio == audio) return &f;
    }
    return nullptr;
}

const ServedFile* ServedAudio::ByBeginning(const std::string& head) const {
    if (head.size() < kTellingBytes) return nullptr;
    const std::string_view start(head.data(), kTellingBytes);
    for (const ServedFile& f : files_) {
        if (f.bytes.size() >= kTellingBytes && std::string_view(f.bytes).substr(0, kTellingBytes) == start) return &f;
    }
    return nullptr;
}

PartStage ServedAudio::Stage(const std::string& part, const ServedFile** match) const {
    *match = nullptr;
    for (const ServedFile& f : files_) {
        if (part.size() <= f.bytes.size() && std::string_view(f.bytes).substr(0, part.size()) == part) {
            // An empty part file (just opened) is a beginning of every file.
            *match = part.empty() ? nullptr : &f;
            return part.size() == f.bytes.size() ? PartStage::kFull : PartStage::kTransfer;
        }
    }
    if (const ServedFile* f = MatchWhole(part)) {
        *match = f;
        return PartStage::kTagged;
    }
    return PartStage::kTagging;
}

}  // namespace mm::bench
