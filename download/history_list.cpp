#include "download/history_list.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/one_off_thread.h"
#include "download/job_control.h"
#include "platform/sys/files.h"

namespace mm::download {

namespace {

using library::DownloadRecord;
using library::HistoryStore;
using OpenStatus = HistoryStore::OpenStatus;

// Paging of one context's history.
struct Paging {
    bool loading = false;
    bool exhausted = false;
    DownloadId oldestListed = 0;  // 0: nothing listed yet
};

struct PagingTable {
    std::mutex mu;
    std::map<const app::AppContext*, Paging> byContext;
};

PagingTable& Pages() {
    static PagingTable t;
    return t;
}

// Lists one page below what is listed. Runs on its own thread.
void LoadPage(app::AppContext& ctx) {
    HistoryStore* history = History(ctx);
    DownloadId before = 0;
    {
        std::lock_guard lk(Pages().mu);
        before = Pages().byContext[&ctx].oldestListed;
    }
    std::vector<DownloadRecord> records =
        history ? history->Page(before, kHistoryPageRows) : std::vector<DownloadRecord>{};
    std::vector<HistoryRow> rows;
    rows.reserve(records.size());
    for (const DownloadRecord& r : records) rows.push_back(ListedRow(r));
    if (!rows.empty()) {
        ListGuard guard(ctx);
        AppendHistoryRows(ctx, rows);
        ctx.ui.setRowHeight(app::kDownloadList, kDownloadRowHeight);
    }
    std::lock_guard lk(Pages().mu);
    Paging& p = Pages().byContext[&ctx];
    if (!records.empty()) p.oldestListed = records.back().id;
    p.exhausted = static_cast<int>(records.size()) < kHistoryPageRows;
    p.loading = false;
}

}  // namespace

std::string HistoryOpenMessage(const HistoryStore::OpenResult& result, const std::string& path) {
    const std::string notKept = "\r\n\r\n本次的下载不会记入下载记录，不影响下载功能！";
    switch (result.status) {
        case OpenStatus::kRecovered:
            return "下载记录文件已损坏，已改名保存为：\r\n" + result.movedAside +
                   "\r\n\r\n已新建下载记录，不影响下载功能！";
        case OpenStatus::kLocked:
            return "下载记录正被另一个运行中的 MorvaneMusic 使用：\r\n" + path + notKept;
        case OpenStatus::kTooNew:
            return "下载记录文件来自更新版本的 MorvaneMusic，本程序不会改动它：\r\n" + path + notKept;
        case OpenStatus::kFailed:
            return "下载记录文件无法打开：\r\n" + path + notKept;
        default:
            return {};
    }
}

void StartHistory(app::AppContext& ctx) {
    if (ctx.dataDir.empty()) return;
    ctx.history = HistoryStore::Start(HistoryStore::PathIn(ctx.dataDir));
    {
        std::lock_guard lk(Pages().mu);
        Pages().byContext[&ctx] = Paging{true, false, 0};
    }
    app::AppContext* c = &ctx;
    bool started = app::StartOneOffThread(ctx, [c] {
        HistoryStore::OpenResult r = c->history->WaitOpen();
        if (!r.persistent() || r.status == OpenStatus::kRecovered) {
            std::fprintf(stderr, "morvane-music: download history %s: %s\n", c->history->path().c_str(),
                         r.detail.c_str());
        }
        std::string message = HistoryOpenMessage(r, c->history->path());
        if (!message.empty()) c->ui.messageBox({"信息：", message, "好的", app::kWindow});
        LoadPage(*c);
    });
    if (!started) {
        std::lock_guard lk(Pages().mu);
        Pages().byContext[&ctx].loading = false;
    }
}

void LoadMoreHistory(app::AppContext& ctx) {
    if (!History(ctx)) return;
    {
        std::lock_guard lk(Pages().mu);
        Paging& p = Pages().byContext[&ctx];
        if (p.loading || p.exhausted) return;
        p.loading = true;
    }
    app::AppContext* c = &ctx;
    if (!app::StartOneOffThread(ctx, [c] { LoadPage(*c); })) {
        std::lock_guard lk(Pages().mu);
        Pages().byContext[&ctx].loading = false;
    }
}

void FlushHistory(app::AppContext& ctx) {
    if (HistoryStore* history = History(ctx)) history->Flush();
}

HistoryRow ListedRow(const DownloadRecord& r) {
    HistoryRow row;
    row.info.id = r.id;
    row.info.state = r.state;
    row.file = r.path;
    row.text = r.rowText;
    row.badge = r.badge;
    auto either = [](const std::string& a, const char* b) { return a.empty() ? std::string(b) : a; };
    switch (r.state) {
        case library::DownloadState::kDone:
            if (r.path.empty() || !sys::IsRegularFile(r.path)) {
                row.statusText = kStatusFileMissing;
                row.statusIcon = app::kImgStatusMissing;
            } else {
                row.statusText = either(r.statusText, kStatusDone);
                row.statusIcon = either(r.statusIcon, app::kImgStatusDone);
            }
            break;
        case library::DownloadState::kFailed:
            row.statusText = either(r.statusText, kStatusFailed);
            row.statusIcon = either(r.statusIcon, app::kImgStatusFailed);
            break;
        case library::DownloadState::kCancelled:
            row.statusText = kStatusCancelled;
            row.statusIcon = app::kImgStatusCancelled;
            break;
        case library::DownloadState::kPaused:
            row.statusText = kStatusPaused;
            row.statusIcon = app::kImgStatusPaused;
            break;
        case library::DownloadState::kQueued:
        case library::DownloadState::kRunning:
        case library::DownloadState::kInterrupted:
            // Unfinished records of an earlier run: nobody works on them now.
            row.info.state = library::DownloadState::kInterrupted;
            row.statusText = kStatusInterrupted;
            row.statusIcon = app::kImgStatusInterrupted;
            break;
    }
    return row;
}

}  // namespace mm::download
