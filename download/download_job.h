#pragma once
// The download job: one track whose address is known, from the catalogue to a
// tagged file in the save folder, its progress shown in its download row.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/job_control.h"
#include "download/resume.h"
#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Everything one download carries from its queueing to its end. It holds its
// own copy of the song and of the address reply it received, so that nothing
// another request stores into the shared track list can change it.
struct DownloadSpec {
    int downloadRow = 0;  // 0-based row of 列表框_下载
    int tier = 0;         // 0 standard, 1 high, 2 lossless
    // The song as queued; fileUrl, lyrics, fileType and trackId hold this
    // download's address reply once it arrived.
    search::TrackRecord song;
    // The row of the active list it came from (1-based) and that list's
    // generation: a cover that arrives meanwhile is taken from there. 0: none
    // (a download queued again from the history).
    int trackRow = 0;
    unsigned generation = 0;
    // The queueing added this row to 标签_下载列表歌曲, so tagging counts it
    // down again (rows queued by a preview were never counted).
    bool counted = true;
    // An address failure shows in the row instead of a message box (playlist
    // mode, or a download queued again from the history).
    bool failuresInRow = false;
    // What an earlier attempt left to continue; empty for a new download.
    ResumeRecord resume;
    // The download history's record of this row; 0 when it has none.
    std::int64_t historyId = 0;
    // The catalogue address its track address is asked of; "" the current
    // source (a download queued again from the history names its own).
    std::string source;
};

// How a download ended, for the download history.
struct JobResult {
    enum class End { kDone, kFailed, kCancelled, kPaused };
    End end = End::kFailed;
    std::string statusText;  // column 1 as shown
    std::string statusIcon;
    std::string reason;       // why it failed or what is odd about it (the row's tool tip)
    std::string path;         // the final file; "" when none
    std::int64_t size = -1;   // its bytes
    std::string contentType;  // "mp3", "flac" as found in the content; "" unknown
    ResumeRecord resume;      // the part file kept for the next attempt; empty when none
};

// What a download tells whoever keeps the history, as it goes. Each is called
// on the download's own threads, with no lock held; unset ones are skipped.
struct JobEvents {
    // The address reply arrived (spec.song holds it).
    std::function<void(const DownloadSpec& spec)> addressed;
    // The answer whose body is written is known (and the transfer is under
    // way); the record says how to continue it if it is cut.
    std::function<void(const DownloadSpec& spec, const ResumeRecord& record)> transferring;
    // The whole, tagged part file of size bytes is about to be renamed to
    // target; the rename waits until this returns, so what it records is
    // there before the file is (a kill in between must not make the next
    // start download the song again).
    std::function<void(const DownloadSpec& spec, const std::string& target, std::int64_t size)> committing;
    // The download ended, on any path, address failures included.
    std::function<void(const DownloadSpec& spec, const JobResult& result)> finished;
};
// Sets ctx's events (after RegisterDownloadHandlers, which forgets earlier ones).
void SetJobEvents(app::AppContext& ctx, JobEvents events);
JobEvents JobEventsOf(app::AppContext& ctx);
void ForgetJobEvents(app::AppContext& ctx);

// Runs on a download-pool worker: the transfer (continuing spec.resume when it
// can), the check of what arrived, the tags and the move into place. control
// is the row's stop switch (JobControls), closed when the job ends.
void RunDownloadJob(app::AppContext& ctx, DownloadSpec spec, std::shared_ptr<JobControl> control);

// The fixed credit written into every tagged file.
inline constexpr const char* kCreditText = "图片、歌词由 Vantorell 写入";

enum class JobStage {
    kTransfer,  // the part file is being written
    kTagging,   // the whole file is in the part file; tags go in next
    kCommit,    // about to rename the part file to its name
};
// Watches jobs reach their stages (crash tests stop a process there). Unset by
// default; set before any job runs.
void SetJobStageObserver(std::function<void(int downloadRow, JobStage stage)> observer);

}  // namespace mm::download
