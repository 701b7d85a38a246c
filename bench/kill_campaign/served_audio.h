#pragma once
// The audio the demo catalogue serves for one playlist, kept in memory, and
// what a file of the save folder holds measured against it: a final file must
// carry one served file's audio whole behind its tags; a part file shows how
// far its download had got (transfer, tags, rename) when the program died.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "democatalogue/democatalogue.h"

namespace mm::bench {

struct ServedFile {
    int song = 0;
    democat::Tier tier = democat::Tier::kStandard;
    bool flac = false;
    std::string bytes;  // the file as served
    std::string audio;  // its audio without metadata: MP3 frames, FLAC frames
};

// The audio of a file with its tags taken off: for an MP3 what follows an
// ID3v2 tag (the whole file when there is none), for a FLAC file its frames
// after the last metadata block. "" when the file's structure is cut short.
std::string Mp3Audio(const std::string& file);
std::string FlacFrames(const std::string& file);

// How far a part file's download had got, judged by its bytes alone.
enum class PartStage {
    kTransfer,  // a strict beginning of a served file: bytes were arriving
    kFull,      // exactly a served file: the transfer was over, tags not yet begun
    kTagging,   // neither: the tags were being written into it
    kTagged,    // a served file's audio whole behind complete tags: the rename was next
};
const char* PartStageName(PartStage stage);

class ServedAudio {
public:
    // Loads every tier of every song of the playlist (encoding them if needed).
    bool Load(democat::DemoCatalogue& catalogue, const std::vector<int>& songs);

    // The served file whose audio this final file carries whole, or nullptr.
    const ServedFile* MatchWhole(const std::string& file) const;
    // A part file's stage and, where the bytes tell, the served file it is.
    PartStage Stage(const std::string& part, const ServedFile** match) const;
    // The served file a part file's first bytes belong to (nullptr when too
    // short to tell or of none); its size tells when the transfer is over.
    const ServedFile* ByBeginning(const std::string& head) const;

    const std::vector<ServedFile>& files() const { return files_; }

private:
    std::vector<ServedFile> files_;
    std::multimap<std::size_t, std::size_t> byAudioHash_;  // hash of audio -> index
};

}  // namespace mm::bench
