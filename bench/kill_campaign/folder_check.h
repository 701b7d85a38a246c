#pragma once
// Looks at a save folder the way a user's player would: every file under a
// song's name must be whole and valid (its audio byte for byte as served,
// `flac -t` / mpg123 decode it, mutagen reads its tags back), and unfinished
// downloads may exist only under part names. Files already judged are not
// read again while their size, time and inode stay the same.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/kill_campaign/served_audio.h"

namespace mm::bench {

struct PartFile {
    std::string path;
    long long size = 0;
    long long mtimeNs = 0;
    PartStage stage = PartStage::kTransfer;
    const ServedFile* served = nullptr;
};

struct FolderReport {
    std::vector<std::string> problems;            // each a bad file and why; must stay empty
    std::map<int, std::vector<std::string>> whole;  // song id -> its whole files
    std::vector<PartFile> parts;
    int checkedNow = 0;  // song files read and decoded by this look
};

class FolderCheck {
public:
    // tagReader: the script printing a file's tags as JSON lines.
    FolderCheck(const ServedAudio& served, std::string tagReader) : served_(served), tagReader_(std::move(tagReader)) {}
    FolderReport Look(const std::string& folder);
    // Forgets the files judged (a fresh save folder).
    void Forget() { judged_.clear(); }

private:
    using Stamp = std::tuple<long long, long long, unsigned long long>;  // size, mtime ns, inode
    struct Verdict {
        Stamp stamp;
        std::string problem;  // "" when whole and valid
        int song = 0;
    };
    const ServedAudio& served_;
    std::string tagReader_;
    std::map<std::string, Verdict> judged_;
};

// Runs argv[0] with these arguments, its standard output into *out when given
// (else discarded, as is its standard error). The exit status, -1 when it did
// not run or ended by a signal.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr);

}  // namespace mm::bench
