#pragma once
// Stopping a download on the user's word. Every queued download row has a
// control from the moment it is queued until its job ends; the address request
// and the transfer watch it and stop as soon as it is set:
//  - cancel: the transfer (or the address request still waiting) stops, the
//    part file is removed, the row reads "已取消";
//  - pause: the same, but the part file is kept for resuming, and the row
//    reads "已暂停".
// A stop asked once the file is being put in place is refused: the download
// is as good as done then.
//
// Threads: any thread may ask for a stop; the job's own threads poll it.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

inline constexpr const char* kStatusCancelled = "已取消";
inline constexpr const char* kStatusPaused = "已暂停";

enum class StopKind { kNone, kCancel, kPause };

class JobControl {
public:
    // Asks the download to stop. False when it already stopped or is putting
    // its file in place. A cancel may follow a pause that the job has not
    // acted on yet (the part file then goes as well); a pause never replaces a
    // cancel.
    bool RequestStop(StopKind kind);
    StopKind Requested() const;
    bool Stopping() const { return Requested() != StopKind::kNone; }
    // The job is about to put the file in place: from here on no stop is
    // accepted. False when a stop came first.
    bool BeginCommit();
    // The job has ended: later stops are refused. Returns the stop asked for
    // before that moment (the job acts on it: a cancel's part file goes).
    StopKind Finish();
    bool Finished() const;

private:
    // Low bits: the stop asked for (or committing); kEnded on top once over.
    enum Bits : int { kRunning = 0, kCancel = 1, kPause = 2, kCommitting = 3, kStopMask = 3, kEnded = 4 };
    static StopKind KindOf(int bits);
    std::atomic<int> state_{kRunning};
};

// The live controls of one window's download rows. A row that is queued again
// (retry, continue) gets a fresh control; the old one stays with its job.
class JobControls {
public:
    // The controls of ctx's window.
    static JobControls& Of(app::AppContext& ctx);
    // Forgets every control of ctx (a new window, or the end of a test).
    static void Forget(app::AppContext& ctx);

    // A new control for a download of this row, replacing any earlier one.
    std::shared_ptr<JobControl> Open(int downloadRow);
    // The row's control while its download is queued or running; null otherwise.
    std::shared_ptr<JobControl> Find(int downloadRow) const;
    // The job of this control ended: the row has no live control any more
    // (unless it was opened again meanwhile).
    void Close(int downloadRow, const std::shared_ptr<JobControl>& control);

private:
    mutable std::mutex mu_;
    std::map<int, std::shared_ptr<JobControl>> live_;
};

// What the download-list menu calls: asks the row's download to stop and, when
// it accepts, shows "已取消" / "已暂停" in the row at once. The job itself then
// removes the part file (cancel) and ends without writing the row again. False
// when the row has no download that can still stop.
bool StopDownload(app::AppContext& ctx, int downloadRow, StopKind kind);

}  // namespace mm::download
