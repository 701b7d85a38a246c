#include "download/download_rows.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "search/list_lock.h"

namespace mm::download {

namespace {

struct FileTable {
    std::mutex mu;
    std::map<const app::AppContext*, std::map<int, std::string>> files;
};

FileTable& Files() {
    static FileTable t;
    return t;
}

struct InfoTable {
    std::mutex mu;
    std::map<const app::AppContext*, std::map<int, RowInfo>> rows;
};

InfoTable& Infos() {
    static InfoTable t;
    return t;
}

// The counter is a label, read and written back; queueing and jobs change it
// under different locks, so its read-modify-write has a lock of its own.
std::mutex& CounterMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

bool IsEndStatus(const std::string& text) {
    return !text.empty() && text != kStatusDownloading && text != kStatusWaiting;
}

// Nobody holds the list lock across network I/O, so this bound is generous.
ListGuard::ListGuard(app::AppContext& ctx) : lock_(search::LockList(ctx.listLock, search::kTaskLockWait)) {}

int AppendDownloadRow(app::AppContext& ctx, const std::string& text, const std::string& badge) {
    int row = ctx.ui.insertRow(app::kDownloadList, ctx.ui.rowCount(app::kDownloadList));
    ctx.ui.setCellText(app::kDownloadList, row, 0, text);
    ctx.ui.setCellIcon(app::kDownloadList, row, 0, badge);
    return row;
}

void SetRowStatus(app::AppContext& ctx, int row, const std::string& text, const std::string& icon,
                  const std::string& tip) {
    std::lock_guard lk(ctx.downloadLock);
    ctx.ui.setCellText(app::kDownloadList, row, 1, text);
    ctx.ui.setCellIcon(app::kDownloadList, row, 1, icon);
    ctx.ui.setCellTip(app::kDownloadList, row, 1, tip);
    if (text != kStatusDownloading) ctx.ui.setRowProgress(app::kDownloadList, row, -1);
}

void AdjustDownloadCounter(app::AppContext& ctx, int delta) {
    std::lock_guard lk(CounterMutex());
    long n = std::strtol(ctx.ui.text(app::kDownloadCount).c_str(), nullptr, 10);
    ctx.ui.setText(app::kDownloadCount, std::to_string(n + delta));
}

std::optional<search::TrackRecord> CopyRecord(app::AppContext& ctx, int row, unsigned generation) {
    ListGuard guard(ctx);
    if (!guard.locked() || ctx.listGeneration.load() != generation) return std::nullopt;
    auto& list = ctx.ActiveList();
    if (row < 1 || static_cast<std::size_t>(row) > list.size()) return std::nullopt;
    return list[row - 1];
}

void RememberFile(app::AppContext& ctx, int downloadRow, const std::string& path) {
    auto& t = Files();
    std::lock_guard lk(t.mu);
    t.files[&ctx][downloadRow] = path;
}

std::string RememberedFile(app::AppContext& ctx, int downloadRow) {
    auto& t = Files();
    std::lock_guard lk(t.mu);
    auto it = t.files.find(&ctx);
    if (it == t.files.end()) return {};
    auto f = it->second.find(downloadRow);
    return f == it->second.end() ? std::string() : f->second;
}

void ForgetFiles(app::AppContext& ctx) {
    {
        auto& t = Files();
        std::lock_guard lk(t.mu);
        t.files.erase(&ctx);
    }
    InfoTable& t = Infos();
    std::lock_guard lk(t.mu);
    t.rows.erase(&ctx);
}

void SetRowInfo(app::AppContext& ctx, int downloadRow, const RowInfo& info) {
    InfoTable& t = Infos();
    std::lock_guard lk(t.mu);
    t.rows[&ctx][downloadRow] = info;
}

std::optional<RowInfo> RowInfoAt(app::AppContext& ctx, int downloadRow) {
    InfoTable& t = Infos();
    std::lock_guard lk(t.mu);
    auto c = t.rows.find(&ctx);
    if (c == t.rows.end()) return std::nullopt;
    auto it = c->second.find(downloadRow);
    if (it == c->second.end()) return std::nullopt;
    return it->second;
}

void SetRowState(app::AppContext& ctx, int downloadRow, DownloadState state) {
    InfoTable& t = Infos();
    std::lock_guard lk(t.mu);
    auto c = t.rows.find(&ctx);
    if (c == t.rows.end()) return;
    auto it = c->second.find(downloadRow);
    if (it != c->second.end()) it->second.state = state;
}

std::vector<std::pair<int, RowInfo>> KnownRows(app::AppContext& ctx) {
    InfoTable& t = Infos();
    std::lock_guard lk(t.mu);
    auto c = t.rows.find(&ctx);
    if (c == t.rows.end()) return {};
    return {c->second.begin(), c->second.end()};
}

void AppendHistoryRows(app::AppContext& ctx, const std::vector<HistoryRow>& rows) {
    std::vector<DownloadId> listed;
    for (const auto& [row, info] : KnownRows(ctx)) listed.push_back(info.id);
    for (const HistoryRow& h : rows) {
        if (std::find(listed.begin(), listed.end(), h.info.id) != listed.end()) continue;
        const int row = AppendDownloadRow(ctx, h.text, h.badge);
        ctx.ui.setCellText(app::kDownloadList, row, 1, h.statusText);
        ctx.ui.setCellIcon(app::kDownloadList, row, 1, h.statusIcon);
        RowInfo info = h.info;
        info.fromHistory = true;
        SetRowInfo(ctx, row, info);
        if (!h.file.empty()) RememberFile(ctx, row, h.file);
    }
}

void ShowRowStatus(app::AppContext& ctx, int downloadRow, const std::string& text, const std::string& icon) {
    std::lock_guard lk(ctx.downloadLock);
    ctx.ui.setCellText(app::kDownloadList, downloadRow, 1, text);
    ctx.ui.setCellIcon(app::kDownloadList, downloadRow, 1, icon);
    ctx.ui.setCellTip(app::kDownloadList, downloadRow, 1, "");
    ctx.ui.setRowProgress(app::kDownloadList, downloadRow, -1);
}

library::HistoryStore* History(app::AppContext& ctx) { return ctx.history.get(); }

DownloadId NewDownloadId(app::AppContext& ctx) {
    library::HistoryStore* history = History(ctx);
    return history ? history->NewId() : 0;
}

}  // namespace mm::download
