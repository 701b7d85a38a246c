#include "download/list_commands.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/one_off_thread.h"
#include "download/address_request.h"
#include "download/download_job.h"
#include "download/download_rows.h"
#include "download/history_recorder.h"
#include "download/job_control.h"
#include "library/history_store.h"
#include "platform/sys/files.h"

namespace mm::download {

namespace {

using library::DownloadRecord;

ui::MenuItem Entry(int id, const char* text, const char* icon) {
    ui::MenuItem m;
    m.id = id;
    m.text = text;
    m.icon = icon;
    m.width = 140;
    m.height = 40;
    m.disabledTextColor = 0xFF808080;
    return m;
}

bool Pausable(DownloadState s) { return s == DownloadState::kQueued || s == DownloadState::kRunning; }
bool Cancellable(DownloadState s) {
    return Pausable(s) || s == DownloadState::kPaused || s == DownloadState::kInterrupted;
}
bool Restartable(DownloadState s) { return library::IsRetryable(s) || s == DownloadState::kPaused; }

// "scheme://host[:port]" of an address, "" when it has none.
std::string Origin(const std::string& url) {
    auto scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    auto path = url.find('/', scheme + 3);
    return url.substr(0, path);
}

// A part file a stopped download left, removed when the row is cancelled.
// Only a name ending in ".part" is ever removed here.
void RemovePartFile(const std::string& part) {
    const std::string suffix = ".part";
    if (part.size() > suffix.size() && part.compare(part.size() - suffix.size(), suffix.size(), suffix) == 0) {
        sys::RemoveFile(part);
    }
}

// The download of a history record into its row again, as the job takes it.
DownloadSpec SpecOf(app::AppContext& ctx, const DownloadRecord& rec, int downloadRow) {
    DownloadSpec spec;
    spec.downloadRow = downloadRow;
    spec.tier = rec.tier == 1 || rec.tier == 2 ? rec.tier : 0;
    spec.historyId = rec.id;
    spec.source = RetrySource(ctx, rec.source);
    spec.resume = FromHistory(rec.resume);
    search::TrackRecord& song = spec.song;
    song.title = rec.title;
    song.singer = rec.singer;
    song.album = rec.album;
    song.mid[static_cast<std::size_t>(spec.tier)] = rec.mid;
    song.pmid[static_cast<std::size_t>(spec.tier)] = rec.pmid;
    song.coverUrl = rec.coverUrl;
    // A catalogue that moved host serves its covers from the new one too.
    const std::string from = Origin(rec.source), to = Origin(spec.source);
    if (!from.empty() && from != to && song.coverUrl.rfind(from + "/", 0) == 0) {
        song.coverUrl = to + song.coverUrl.substr(from.size());
    }
    return spec;
}

// Starts the download of each row again; on a thread of its own, since the
// records are read from the history. Each row has its stop switch already.
void RunRestarts(app::AppContext& ctx, std::vector<std::pair<int, RowInfo>> rows,
                 std::vector<std::shared_ptr<JobControl>> controls) {
    library::HistoryStore* history = History(ctx);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [row, info] = rows[i];
        const std::shared_ptr<JobControl>& control = controls[i];
        std::optional<DownloadRecord> rec = history ? history->Get(info.id) : std::nullopt;
        if (control->Stopping() || !rec) {
            // Stopped again before it started (the row says so), or nothing to go on.
            JobControls::Of(ctx).Close(row, control);
            if (!rec) {
                SetRowStatus(ctx, row, kStatusNoAddress, app::kImgStatusParseFailed);
                SetRowState(ctx, row, DownloadState::kFailed);
            }
            continue;
        }
        if (!RestartDownload(ctx, SpecOf(ctx, *rec, row), control)) {
            SetRowStatus(ctx, row, kStatusConnectFailed, app::kImgStatusConnectFailed);
            SetRowState(ctx, row, DownloadState::kFailed);
            RecordEnd(ctx, info.id, DownloadState::kFailed, kStatusConnectFailed, app::kImgStatusConnectFailed,
                      "no thread for the address request");
        }
    }
}

// Queues rows again: each reads "排队中" at once, gets its stop switch, and the
// restarts follow on a thread of their own.
void Restart(app::AppContext& ctx, const std::vector<std::pair<int, RowInfo>>& rows) {
    if (rows.empty() || !History(ctx)) return;
    std::vector<std::shared_ptr<JobControl>> controls;
    for (const auto& [row, info] : rows) {
        controls.push_back(JobControls::Of(ctx).Open(row));
        ShowRowStatus(ctx, row, kStatusWaiting, app::kImgStatusDownloading);
        SetRowState(ctx, row, DownloadState::kQueued);
        RecordState(ctx, info.id, DownloadState::kQueued, kStatusWaiting, app::kImgStatusDownloading);
    }
    app::AppContext* c = &ctx;
    if (!app::StartOneOffThread(ctx, [c, rows, controls] { RunRestarts(*c, rows, controls); })) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            JobControls::Of(ctx).Close(rows[i].first, controls[i]);
            SetRowStatus(ctx, rows[i].first, kStatusConnectFailed, app::kImgStatusConnectFailed);
            SetRowState(ctx, rows[i].first, DownloadState::kFailed);
        }
    }
}

// Cancelling a row nobody works on: its part file (if any) goes.
void RunCancelStopped(app::AppContext& ctx, DownloadId id) {
    library::HistoryStore* history = History(ctx);
    if (!history) return;
    std::optional<DownloadRecord> rec = history->Get(id);
    if (!rec) return;
    RemovePartFile(rec->resume.partPath);
    library::RecordUpdate u;
    u.resume = library::ResumeState{};
    history->Update(id, std::move(u));
}

}  // namespace

std::string RetrySource(app::AppContext& ctx, const std::string& recorded) {
    if (recorded.empty()) return ctx.sources.Current();
    std::vector<std::string> known = ctx.sources.Urls();
    known.push_back(ctx.sources.Current());
    for (const std::string& k : known) {
        if (k == recorded) return recorded;
    }
    const std::string path = recorded.substr(Origin(recorded).size());
    for (const std::string& k : known) {
        if (!k.empty() && k.substr(Origin(k).size()) == path) return k;
    }
    // A playlist's service address, under the deployment's song base.
    const std::string songBase = ctx.deployment.songBase;
    const std::string songPath = songBase.substr(Origin(songBase).size());
    if (!songPath.empty() && path.rfind(songPath, 0) == 0) return songBase + path.substr(songPath.size());
    return recorded;
}

void AddListMenuEntries(app::AppContext& ctx) {
    const char* d = app::kDownloadMenu;
    ctx.ui.insertMenuItem(d, 3, Entry(kMenuRetry, "重试", "menu_retry"));
    ctx.ui.insertMenuItem(d, 4, Entry(kMenuRetryAll, "全部重试", "menu_retry_all"));
    ctx.ui.insertMenuItem(d, 5, Entry(kMenuPause, "暂停", "menu_pause"));
    ctx.ui.insertMenuItem(d, 6, Entry(kMenuContinue, "继续", "menu_continue"));
    ctx.ui.insertMenuItem(d, 7, Entry(kMenuCancel, "取消", "menu_cancel"));
}

void PrepareListMenu(app::AppContext& ctx, int downloadRow) {
    std::optional<RowInfo> info = RowInfoAt(ctx, downloadRow);
    const bool live = JobControls::Of(ctx).Find(downloadRow) != nullptr;
    bool anyRetryable = false;
    for (const auto& [row, r] : KnownRows(ctx)) anyRetryable = anyRetryable || library::IsRetryable(r.state);
    const char* d = app::kDownloadMenu;
    ctx.ui.setMenuItemDisabled(d, kMenuRetry, !(info && library::IsRetryable(info->state)));
    ctx.ui.setMenuItemDisabled(d, kMenuRetryAll, !anyRetryable);
    ctx.ui.setMenuItemDisabled(d, kMenuPause, !(info && live && Pausable(info->state)));
    ctx.ui.setMenuItemDisabled(d, kMenuContinue, !(info && info->state == DownloadState::kPaused));
    ctx.ui.setMenuItemDisabled(d, kMenuCancel, !(info && Cancellable(info->state)));
}

bool RunListCommand(app::AppContext& ctx, int id, int downloadRow) {
    switch (id) {
        case kMenuRetryAll:
            RetryAllDownloads(ctx);
            return true;
        case kMenuRetry:
        case kMenuContinue:
            RetryDownload(ctx, downloadRow);
            return true;
        case kMenuPause:
            PauseDownload(ctx, downloadRow);
            return true;
        case kMenuCancel:
            CancelDownload(ctx, downloadRow);
            return true;
        default:
            return false;
    }
}

void RetryDownload(app::AppContext& ctx, int downloadRow) {
    std::optional<RowInfo> info = RowInfoAt(ctx, downloadRow);
    if (!info || info->id == 0 || !Restartable(info->state)) return;
    Restart(ctx, {{downloadRow, *info}});
}

void RetryAllDownloads(app::AppContext& ctx) {
    std::vector<std::pair<int, RowInfo>> rows;
    for (const auto& [row, info] : KnownRows(ctx)) {
        if (info.id != 0 && library::IsRetryable(info.state)) rows.emplace_back(row, info);
    }
    Restart(ctx, rows);
}

void CancelDownload(app::AppContext& ctx, int downloadRow) {
    std::optional<RowInfo> info = RowInfoAt(ctx, downloadRow);
    if (!info || !Cancellable(info->state)) return;
    if (JobControls::Of(ctx).Find(downloadRow)) {
        // The download stops at its next step and removes its part file itself.
        if (StopDownload(ctx, downloadRow, StopKind::kCancel)) SetRowState(ctx, downloadRow, DownloadState::kCancelled);
        return;
    }
    if (Pausable(info->state)) return;  // between attempts: nothing to stop
    ShowRowStatus(ctx, downloadRow, kStatusCancelled, app::kImgStatusCancelled);
    SetRowState(ctx, downloadRow, DownloadState::kCancelled);
    RecordEnd(ctx, info->id, DownloadState::kCancelled, kStatusCancelled, app::kImgStatusCancelled, "");
    app::AppContext* c = &ctx;
    const DownloadId id = info->id;
    app::StartOneOffThread(ctx, [c, id] { RunCancelStopped(*c, id); });
}

void PauseDownload(app::AppContext& ctx, int downloadRow) {
    std::optional<RowInfo> info = RowInfoAt(ctx, downloadRow);
    if (!info || !Pausable(info->state)) return;
    if (StopDownload(ctx, downloadRow, StopKind::kPause)) SetRowState(ctx, downloadRow, DownloadState::kPaused);
}

}  // namespace mm::download
