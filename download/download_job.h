#pragma once
// The download job: one track whose address is known, from the catalogue to a
// tagged file in the save folder, its progress shown in its download row.
#include <functional>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Runs on a download-pool worker. trackRow is 1-based in the active list of
// the given generation; a row of a replaced list ends in "解析失败". counted:
// the queueing added this row to 标签_下载列表歌曲, so tagging counts it down
// again (rows queued by a preview were never counted).
void RunDownloadJob(app::AppContext& ctx, int downloadRow, int trackRow, unsigned generation,
                    bool counted = true);

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
