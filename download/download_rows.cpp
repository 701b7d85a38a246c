#include "download/download_rows.h"

#include <chrono>
#include <cstdlib>
#include <map>

#include "app/app_context.h"
#include "app/control_names.h"
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

// The counter is a label, read and written back; queueing and jobs change it
// under different locks, so its read-modify-write has a lock of its own.
std::mutex& CounterMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

bool IsEndStatus(const std::string& text) {
    return !text.empty() && text != kStatusDownloading;
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
    auto& t = Files();
    std::lock_guard lk(t.mu);
    t.files.erase(&ctx);
}

}  // namespace mm::download
