#include "download/address_request.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/one_off_thread.h"
#include "app/reply_caps.h"
#include "app/settings.h"
#include "download/address_reply.h"
#include "download/download_at_tier.h"
#include "download/download_job.h"
#include "download/download_notices.h"
#include "download/download_rows.h"
#include "download/duplicates.h"
#include "download/history_recorder.h"
#include "download/failure_text.h"
#include "download/file_naming.h"
#include "platform/net/http_client.h"
#include "platform/net/jmap.h"
#include "platform/sys/text_encoding.h"

namespace mm::download {

namespace {

constexpr int kAddressTimeoutSec = 10;

std::string FetchAddressReply(app::AppContext& ctx, net::HTTPWebClient& client, const std::string& mid,
                              const std::string& pmid, int tier, const std::string& source = {}) {
    client.SetupTimeout(kAddressTimeoutSec, kAddressTimeoutSec);
    client.SetMaxReplyBytes(app::kSmallReplyCap);
    std::string reply;
    // Success is judged by the reply text alone: an error page that is not
    // our JSON counts as a failed connection.
    client.Post((source.empty() ? ctx.sources.Current() : source) + "?type=song", AddressFormBody(mid, pmid, tier), reply, true,
                "Content-Type: application/x-www-form-urlencoded");
    return reply;
}

void ShowBox(app::AppContext& ctx, const std::string& heading, const std::string& text) {
    ctx.ui.messageBox({heading, text, "好的", app::kWindow});
}

// Column 1 of a download row written by the address step (list lock held).
void SetAddressStatus(app::AppContext& ctx, int row, const std::string& text, const char* icon,
                      const std::string& reason = {}) {
    ctx.ui.setCellText(app::kDownloadList, row, 1, text);
    ctx.ui.setCellIcon(app::kDownloadList, row, 1, icon);
    ctx.ui.setCellTip(app::kDownloadList, row, 1, reason);
}

// Stores the reply's values into the record, if the row is still the one
// asked about. Caller holds the list lock.
bool StoreReply(app::AppContext& ctx, int row, unsigned generation, const AddressReply& r) {
    if (ctx.listGeneration.load() != generation) return false;
    auto& list = ctx.ActiveList();
    if (row < 1 || static_cast<std::size_t>(row) > list.size()) return false;
    search::TrackRecord& rec = list[row - 1];
    rec.fileUrl = r.fileUrl;
    rec.lyrics = r.lyrics;
    rec.fileType = r.fileType;
    rec.trackId = r.trackId;
    return true;
}

void PostJob(app::AppContext& ctx, DownloadSpec spec, std::shared_ptr<JobControl> control) {
    app::AppContext* c = &ctx;
    ctx.downloadPool.Post([c, spec = std::move(spec), control = std::move(control)]() mutable {
        const int row = spec.downloadRow;
        RunDownloadJob(*c, std::move(spec), std::move(control));
        RowEnded(*c, row);
    });
}

// The address step ended without a job: the history hears of it, the row's
// stop switch goes.
void EndWithoutJob(app::AppContext& ctx, const DownloadSpec& spec, const std::shared_ptr<JobControl>& control,
                   const std::string& status, const std::string& icon, const std::string& reason) {
    JobResult result;
    StopKind stop = control ? control->Finish() : StopKind::kNone;
    if (stop == StopKind::kCancel) {
        result.end = JobResult::End::kCancelled;
        result.statusText = kStatusCancelled;
        result.statusIcon = app::kImgStatusCancelled;
    } else if (stop == StopKind::kPause) {
        result.end = JobResult::End::kPaused;
        result.statusText = kStatusPaused;
        result.statusIcon = app::kImgStatusPaused;
        result.resume = spec.resume;  // the part file of an earlier attempt stays
    } else {
        result.statusText = status;
        result.statusIcon = icon;
        result.reason = reason;
        result.resume = spec.resume;
    }
    if (control) JobControls::Of(ctx).Close(spec.downloadRow, control);
    const JobEvents events = JobEventsOf(ctx);
    if (events.finished) events.finished(spec, result);
    RowEnded(ctx, spec.downloadRow);
}

}  // namespace

void RunAddressRequest(app::AppContext& ctx, const std::string& jobJson, DownloadSpec spec,
                       std::shared_ptr<JobControl> control) {
    AddressJob job;
    if (!AddressJobFromJson(jobJson, job)) {
        EndWithoutJob(ctx, spec, control, kStatusConnectFailed, app::kImgStatusConnectFailed, {});
        return;
    }
    net::HTTPWebClient client;
    JobControl* stop = control.get();
    if (stop) client.SetCancelCheck([stop] { return stop->Stopping(); });
    AddressReply r =
        ParseAddressReply(FetchAddressReply(ctx, client, job.mid, job.pmid, job.tier, spec.source));
    if (stop && stop->Stopping()) {
        // Stopped by the user while it waited: the row already says so.
        EndWithoutJob(ctx, spec, control, {}, {}, {});
        return;
    }
    const bool inRow = spec.failuresInRow || ctx.playlistMode.load();
    if (r.status == AddressReply::Status::kNotJson) {
        std::string reason = client.LastFailure() == net::Failure::kNone ? "服务器的回答无法识别"
                                                                         : TransferFailureText(client);
        // The row always says how it ended (a row left blank reads as still
        // running, and a download-all waits for it); a single download from
        // a search list also shows a box.
        {
            ListGuard guard(ctx);
            SetAddressStatus(ctx, job.downloadRow, kStatusConnectFailed, app::kImgStatusConnectFailed,
                             reason);
        }
        if (!inRow) ShowBox(ctx, "code:886", kConnectFailedText);
        EndWithoutJob(ctx, spec, control, kStatusConnectFailed, app::kImgStatusConnectFailed, reason);
        return;
    }
    if (r.status == AddressReply::Status::kServiceError) {
        const std::string reason = "code:" + std::to_string(r.code) + " " + r.msg;
        std::string shown = sys::cutToGbkWidth(r.msg, 8);
        {
            ListGuard guard(ctx);
            SetAddressStatus(ctx, job.downloadRow, shown, app::kImgStatusServiceFailed, reason);
        }
        if (!inRow) ShowBox(ctx, "code:" + std::to_string(r.code), r.msg);
        EndWithoutJob(ctx, spec, control, shown, app::kImgStatusServiceFailed, reason);
        return;
    }
    {
        // The shared record gets the reply too (the player reads it from there);
        // the job goes with its own copy, so another tier's reply landing in the
        // record meanwhile cannot change what this download fetches.
        ListGuard guard(ctx);
        if (guard.locked() && spec.trackRow > 0) StoreReply(ctx, job.trackRow, spec.generation, r);
    }
    spec.song.fileUrl = r.fileUrl;
    spec.song.lyrics = r.lyrics;
    spec.song.fileType = r.fileType;
    spec.song.trackId = r.trackId;
    const JobEvents events = JobEventsOf(ctx);
    if (events.addressed) events.addressed(spec);
    PostJob(ctx, std::move(spec), std::move(control));
}

bool StartAddressRequest(app::AppContext& ctx, const std::string& jobJson, DownloadSpec spec,
                         std::shared_ptr<JobControl> control) {
    if (!control) control = JobControls::Of(ctx).Open(spec.downloadRow);
    const bool started = app::StartOneOffThread(
        ctx, [&ctx, jobJson, spec, control] { RunAddressRequest(ctx, jobJson, spec, control); });
    if (!started) JobControls::Of(ctx).Close(spec.downloadRow, control);
    return started;
}

bool RestartDownload(app::AppContext& ctx, DownloadSpec spec, std::shared_ptr<JobControl> control) {
    AddressJob job;
    const int tier = spec.tier == 1 || spec.tier == 2 ? spec.tier : 0;
    job.mid = spec.song.mid[static_cast<std::size_t>(tier)];
    job.pmid = spec.song.pmid[static_cast<std::size_t>(tier)];
    job.tier = tier;
    job.trackRow = 0;
    job.downloadRow = spec.downloadRow;
    spec.trackRow = 0;
    spec.failuresInRow = true;
    spec.counted = false;
    return StartAddressRequest(ctx, AddressJobToJson(job), std::move(spec), std::move(control));
}

PreviewAddress RequestAddressForPreview(app::AppContext& ctx, const std::string& mid, const std::string& pmid,
                                        int tier, const std::string& badge, int row) {
    PreviewAddress result;
    unsigned generation = ctx.listGeneration.load();
    {
        ListGuard guard(ctx);
        ctx.ui.setVisible(app::kAddToDownloadsAnimation, true);
    }
    net::HTTPWebClient client;
    AddressReply r = ParseAddressReply(FetchAddressReply(ctx, client, mid, pmid, tier));
    {
        ListGuard guard(ctx);
        ctx.ui.setVisible(app::kAddToDownloadsAnimation, false);
        ctx.ui.setVisible(app::kTierPanel, false);
    }
    if (r.status != AddressReply::Status::kOk) {
        if (ctx.playlistMode.load()) {
            ListGuard guard(ctx);
            ctx.ui.setText(app::kPlayerTitle, "获取失败！");
        }
        if (r.status == AddressReply::Status::kNotJson) {
            result.connectFailed = true;
            ShowBox(ctx, "code:886", kConnectFailedText);
        } else {
            ShowBox(ctx, "code:" + std::to_string(r.code), r.msg);
        }
        return result;
    }
    bool queue = app::ListenAndDownload(ctx);
    DownloadSpec spec;
    std::shared_ptr<JobControl> control;
    {
        ListGuard guard(ctx);
        if (!guard.locked() || !StoreReply(ctx, row, generation, r)) return result;
        result.ok = true;
        result.fileUrl = r.fileUrl;
        result.fileType = r.fileType;
        spec.song = ctx.ActiveList()[row - 1];  // the reply is in it now
    }
    // Listening to a song downloaded already does not download it again.
    if (queue && !DownloadedFile(ctx, spec.song, tier).empty()) queue = false;
    if (queue) {
        // Always "title - singer" here, whatever the naming setting.
        const std::string rowText = DownloadRowText(BaseName(spec.song.title, spec.song.singer, 0), spec.song.album);
        spec.historyId = NewDownloadId(ctx);
        RecordQueued(ctx, spec.historyId, spec.song, tier, rowText, badge);
        ListGuard guard(ctx);
        if (!guard.locked()) return result;
        result.downloadRow = AppendDownloadRow(ctx, rowText, badge);
        SetRowInfo(ctx, result.downloadRow, {spec.historyId, DownloadState::kQueued, false});
        ctx.ui.setRowHeight(app::kDownloadList, kDownloadRowHeight);
        spec.downloadRow = result.downloadRow;
        spec.tier = tier;
        spec.trackRow = row;
        spec.generation = generation;
        // The preview's rows are not in the counter, so their jobs leave it alone.
        spec.counted = false;
        control = JobControls::Of(ctx).Open(spec.downloadRow);
    }
    if (queue) {
        const JobEvents events = JobEventsOf(ctx);
        if (events.addressed) events.addressed(spec);
        PostJob(ctx, std::move(spec), std::move(control));
    }
    return result;
}

}  // namespace mm::download
