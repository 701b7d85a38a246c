#pragma once
// The download list's rows and counter, and what the program remembers of
// each row beside its cells: its record in the download history, where its
// download stands, the file it ended in. Rows are only ever appended (this
// run's downloads and older pages of the history alike), so a row number
// stays valid for as long as the list lives.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/history_store.h"
#include "search/list_lock.h"
#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Status texts of column 1.
inline constexpr const char* kStatusDownloading = "正在下载";
inline constexpr const char* kStatusDone = "下载完成";
inline constexpr const char* kStatusFailed = "下载失败";
inline constexpr const char* kStatusNoAddress = "解析失败";
inline constexpr const char* kStatusNoCover = "完成,写入封面失败.";
inline constexpr const char* kStatusConnectFailed = "连接失败";
inline constexpr const char* kConnectFailedText = "数据获取失败，请检查网络连接！";
inline constexpr const char* kStatusWaiting = "排队中";
inline constexpr const char* kStatusInterrupted = "已中断";
inline constexpr const char* kStatusFileMissing = "文件已丢失";
inline constexpr int kDownloadRowHeight = 50;

using DownloadId = std::int64_t;
using library::DownloadState;

// Whether a status text of column 1 is an end state of a row: anything but
// "" and "排队中" (queued) and "正在下载". A status added for a row that is
// still on its way belongs here too, or waiting for the row's end would stop
// too early.
bool IsEndStatus(const std::string& text);

// The list lock, taken with a bound so a stuck holder cannot hang a worker.
class ListGuard {
public:
    explicit ListGuard(app::AppContext& ctx);
    bool locked() const { return lock_.owns_lock(); }

private:
    search::ListLockGuard lock_;
};

// Appends a row (caller holds the list lock): column 0 text and badge.
// Returns its 0-based index.
int AppendDownloadRow(app::AppContext& ctx, const std::string& text, const std::string& badge);

// Column 1 text, icon and tool tip (why it failed; "" for none) under the
// download lock; ends the row's progress bar.
void SetRowStatus(app::AppContext& ctx, int row, const std::string& text, const std::string& icon,
                  const std::string& tip = {});

// Adds delta to the number shown in 标签_下载列表歌曲.
void AdjustDownloadCounter(app::AppContext& ctx, int delta);

// A copy of the record at the 1-based row of the active list, if that row
// still exists in the list of that generation (caller need not hold the lock).
std::optional<search::TrackRecord> CopyRecord(app::AppContext& ctx, int row, unsigned generation);

// The file a finished download row ended in (its real name, dated or
// shortened as it was); "" when the row has none yet.
void RememberFile(app::AppContext& ctx, int downloadRow, const std::string& path);
std::string RememberedFile(app::AppContext& ctx, int downloadRow);
// Forgets what was remembered for ctx, files and rows (at registration: a
// new window).
void ForgetFiles(app::AppContext& ctx);

// What the list knows of a row beside its cells.
struct RowInfo {
    DownloadId id = 0;  // its history record; 0: a row the history does not know
    DownloadState state = DownloadState::kQueued;
    bool fromHistory = false;  // listed from an earlier run's history
};
void SetRowInfo(app::AppContext& ctx, int downloadRow, const RowInfo& info);
std::optional<RowInfo> RowInfoAt(app::AppContext& ctx, int downloadRow);
void SetRowState(app::AppContext& ctx, int downloadRow, DownloadState state);
// Every row the list knows, with its number, top to bottom.
std::vector<std::pair<int, RowInfo>> KnownRows(app::AppContext& ctx);

// A row of the history as it is listed.
struct HistoryRow {
    RowInfo info;
    std::string text, badge;             // column 0
    std::string statusText, statusIcon;  // column 1
    std::string file;                    // its file, "" when none
};
// Appends rows of the history (caller holds the list lock); rows already
// listed are skipped.
void AppendHistoryRows(app::AppContext& ctx, const std::vector<HistoryRow>& rows);

// Only the row's column 1 text and icon, nothing recorded (a finished row's
// file found missing, a row queued again).
void ShowRowStatus(app::AppContext& ctx, int downloadRow, const std::string& text, const std::string& icon);

// The download history, if one is kept (null otherwise).
library::HistoryStore* History(app::AppContext& ctx);
// A fresh id for a new row's history record; 0 when no history is kept. May
// wait for the history to open: never call on the UI thread.
DownloadId NewDownloadId(app::AppContext& ctx);

}  // namespace mm::download
