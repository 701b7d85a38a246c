#pragma once
// Telling the desktop how downloads ended: one notification when every row of
// a download-all run has ended ("45 首下载完成，2 首失败"), and one for a
// single download that failed while the window was in the background. Both
// only while 选择框_桌面通知 is checked; without a notification service
// nothing is shown and nothing complains.
#include <memory>
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// "45 首下载完成，2 首失败"; the failure part is left out when none failed.
std::string DownloadAllSummary(int done, int failed);

// The rows one download-all run queued, and how they ended.
class DownloadRun {
public:
    explicit DownloadRun(app::AppContext& ctx);
    // A download row of this run (before its address request starts).
    void Add(int downloadRow);
    // No further rows come. The summary goes out when the last row has ended,
    // at once when they all have; a run that queued nothing tells nothing.
    void Close();

    struct State;

private:
    std::shared_ptr<State> state_;
};

// Called once for every download row when it has come to its end, whatever
// ended it; its status column tells whether it was a success.
void RowEnded(app::AppContext& ctx, int downloadRow);

// Forgets the runs of ctx (at registration: a new window).
void ForgetRuns(app::AppContext& ctx);

}  // namespace mm::download
