#include "download/download_notices.h"

#include <map>
#include <mutex>
#include <utility>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/settings.h"
#include "download/download_rows.h"
#include "download/failure_text.h"
#include "download/job_control.h"
#include "support/desktop_bus.h"

namespace mm::download {

struct DownloadRun::State {
    app::AppContext* ctx = nullptr;
    std::mutex mu;
    int pending = 0, done = 0, failed = 0;
    bool closed = false, told = false;
};

namespace {

constexpr const char* kRunSummaryTitle = "全部下载已结束";
constexpr const char* kFailedTitle = "下载失败";

// Which run each queued row belongs to, until the row has ended.
struct Registry {
    std::mutex mu;
    std::map<std::pair<const app::AppContext*, int>, std::shared_ptr<DownloadRun::State>> rows;
};

Registry& Runs() {
    static Registry r;
    return r;
}

bool Succeeded(const std::string& status) { return FileKeptStatus(status); }

void Tell(app::AppContext& ctx, const std::string& summary, const std::string& body) {
    if (!app::DesktopNotices(ctx)) return;
    support::Notify(summary, body);
}

// Takes the summary out of a run whose rows have all ended; "" while some still run.
std::string TakeSummary(DownloadRun::State& s) {
    if (!s.closed || s.pending > 0 || s.told || s.done + s.failed == 0) return {};
    s.told = true;
    return DownloadAllSummary(s.done, s.failed);
}

}  // namespace

std::string DownloadAllSummary(int done, int failed) {
    std::string text = std::to_string(done) + " 首下载完成";
    if (failed > 0) text += "，" + std::to_string(failed) + " 首失败";
    return text;
}

DownloadRun::DownloadRun(app::AppContext& ctx) : state_(std::make_shared<State>()) { state_->ctx = &ctx; }

void DownloadRun::Add(int downloadRow) {
    {
        std::lock_guard lk(state_->mu);
        ++state_->pending;
    }
    auto& reg = Runs();
    std::lock_guard lk(reg.mu);
    reg.rows[{state_->ctx, downloadRow}] = state_;
}

void DownloadRun::Close() {
    std::string summary;
    {
        std::lock_guard lk(state_->mu);
        state_->closed = true;
        summary = TakeSummary(*state_);
    }
    if (!summary.empty()) Tell(*state_->ctx, kRunSummaryTitle, summary);
}

void RowEnded(app::AppContext& ctx, int downloadRow) {
    const bool ok = Succeeded(ctx.ui.cellText(app::kDownloadList, downloadRow, 1));
    std::shared_ptr<DownloadRun::State> run;
    {
        auto& reg = Runs();
        std::lock_guard lk(reg.mu);
        auto it = reg.rows.find({&ctx, downloadRow});
        if (it != reg.rows.end()) {
            run = it->second;
            reg.rows.erase(it);
        }
    }
    if (run) {
        std::string summary;
        {
            std::lock_guard lk(run->mu);
            --run->pending;
            ++(ok ? run->done : run->failed);
            summary = TakeSummary(*run);
        }
        if (!summary.empty()) Tell(ctx, kRunSummaryTitle, summary);
        return;
    }
    // A single download: the user sees its row unless the window is behind others.
    if (ok || (ctx.shell.windowActive && ctx.shell.windowActive())) return;
    const std::string title = ctx.ui.cellText(app::kDownloadList, downloadRow, 0);
    std::string status = ctx.ui.cellText(app::kDownloadList, downloadRow, 1);
    // The user stopped it: nothing went wrong to tell about.
    if (status == kStatusCancelled || status == kStatusPaused) return;
    if (status.empty()) status = kStatusFailed;
    Tell(ctx, kFailedTitle, title.substr(0, title.find("\r\n")) + "：" + status);
}

void ForgetRuns(app::AppContext& ctx) {
    auto& reg = Runs();
    std::lock_guard lk(reg.mu);
    for (auto it = reg.rows.begin(); it != reg.rows.end();) {
        it = it->first.first == &ctx ? reg.rows.erase(it) : std::next(it);
    }
}

}  // namespace mm::download
