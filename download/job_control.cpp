#include "download/job_control.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "download/download_rows.h"

namespace mm::download {

bool JobControl::RequestStop(StopKind kind) {
    if (kind == StopKind::kNone) return false;
    const int want = kind == StopKind::kCancel ? kCancel : kPause;
    int cur = state_.load();
    for (;;) {
        if ((cur & kEnded) || cur == kCommitting || cur == kCancel) return false;
        if (cur == kPause && want == kPause) return false;
        if (state_.compare_exchange_weak(cur, want)) return true;
    }
}

StopKind JobControl::KindOf(int bits) {
    switch (bits & kStopMask) {
        case kCancel:
            return StopKind::kCancel;
        case kPause:
            return StopKind::kPause;
        default:
            return StopKind::kNone;
    }
}

StopKind JobControl::Requested() const {
    return KindOf(state_.load());
}

bool JobControl::BeginCommit() {
    int expected = kRunning;
    return state_.compare_exchange_strong(expected, kCommitting);
}

StopKind JobControl::Finish() {
    return KindOf(state_.fetch_or(kEnded));
}

bool JobControl::Finished() const {
    return (state_.load() & kEnded) != 0;
}

namespace {

struct Table {
    std::mutex mu;
    std::map<const app::AppContext*, std::unique_ptr<JobControls>> windows;
};

Table& Windows() {
    static Table t;
    return t;
}

}  // namespace

JobControls& JobControls::Of(app::AppContext& ctx) {
    Table& t = Windows();
    std::lock_guard lk(t.mu);
    auto& slot = t.windows[&ctx];
    if (!slot) slot = std::make_unique<JobControls>();
    return *slot;
}

void JobControls::Forget(app::AppContext& ctx) {
    Table& t = Windows();
    std::lock_guard lk(t.mu);
    t.windows.erase(&ctx);
}

std::shared_ptr<JobControl> JobControls::Open(int downloadRow) {
    auto control = std::make_shared<JobControl>();
    std::lock_guard lk(mu_);
    live_[downloadRow] = control;
    return control;
}

std::shared_ptr<JobControl> JobControls::Find(int downloadRow) const {
    std::lock_guard lk(mu_);
    auto it = live_.find(downloadRow);
    return it == live_.end() ? nullptr : it->second;
}

void JobControls::Close(int downloadRow, const std::shared_ptr<JobControl>& control) {
    if (control) control->Finish();
    std::lock_guard lk(mu_);
    auto it = live_.find(downloadRow);
    if (it != live_.end() && it->second == control) live_.erase(it);
}

bool StopDownload(app::AppContext& ctx, int downloadRow, StopKind kind) {
    std::shared_ptr<JobControl> control = JobControls::Of(ctx).Find(downloadRow);
    if (!control) return false;
    // Under the download lock, so that no status of the job lands after this one
    // (the job writes its statuses under the same lock, and only while running).
    std::lock_guard lk(ctx.downloadLock);
    if (!control->RequestStop(kind)) return false;
    const bool cancel = kind == StopKind::kCancel;
    ctx.ui.setCellText(app::kDownloadList, downloadRow, 1, cancel ? kStatusCancelled : kStatusPaused);
    ctx.ui.setCellIcon(app::kDownloadList, downloadRow, 1, cancel ? app::kImgStatusCancelled : app::kImgStatusPaused);
    ctx.ui.setCellTip(app::kDownloadList, downloadRow, 1, "");
    ctx.ui.setRowProgress(app::kDownloadList, downloadRow, -1);
    return true;
}

}  // namespace mm::download
