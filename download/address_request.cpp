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
#include "download/file_naming.h"
#include "platform/net/http_client.h"
#include "platform/net/jmap.h"
#include "platform/sys/text_encoding.h"

namespace mm::download {

namespace {

constexpr int kAddressTimeoutSec = 10;

std::string FetchAddressReply(app::AppContext& ctx, const std::string& mid, const std::string& pmid,
                              int tier) {
    net::HTTPWebClient client;
    client.SetupTimeout(kAddressTimeoutSec, kAddressTimeoutSec);
    client.SetMaxReplyBytes(app::kSmallReplyCap);
    std::string reply;
    // Success is judged by the reply text alone: an error page that is not
    // our JSON counts as a failed connection.
    client.Post(ctx.sources.Current() + "?type=song", AddressFormBody(mid, pmid, tier), reply, true,
                "Content-Type: application/x-www-form-urlencoded");
    return reply;
}

void ShowBox(app::AppContext& ctx, const std::string& heading, const std::string& text) {
    ctx.ui.messageBox({heading, text, "好的", app::kWindow});
}

// Column 1 of a download row written by the address step (list lock held).
void SetAddressStatus(app::AppContext& ctx, int row, const std::string& text, const char* icon) {
    ctx.ui.setCellText(app::kDownloadList, row, 1, text);
    ctx.ui.setCellIcon(app::kDownloadList, row, 1, icon);
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

void PostJob(app::AppContext& ctx, int downloadRow, int trackRow, unsigned generation, bool counted) {
    app::AppContext* c = &ctx;
    ctx.downloadPool.Post([c, downloadRow, trackRow, generation, counted] {
        RunDownloadJob(*c, downloadRow, trackRow, generation, counted);
        RowEnded(*c, downloadRow);
    });
}

// Asks for the address and posts the download job; false when the row ended here.
bool RequestAndPost(app::AppContext& ctx, const AddressJob& job, unsigned generation) {
    AddressReply r = ParseAddressReply(FetchAddressReply(ctx, job.mid, job.pmid, job.tier));
    bool playlist = ctx.playlistMode.load();
    if (r.status == AddressReply::Status::kNotJson) {
        if (playlist) {
            ListGuard guard(ctx);
            SetAddressStatus(ctx, job.downloadRow, kStatusConnectFailed, app::kImgStatusConnectFailed);
        } else {
            ShowBox(ctx, "code:886", kConnectFailedText);
        }
        return false;
    }
    if (r.status == AddressReply::Status::kServiceError) {
        if (playlist) {
            ListGuard guard(ctx);
            SetAddressStatus(ctx, job.downloadRow, sys::cutToGbkWidth(r.msg, 8),
                             app::kImgStatusServiceFailed);
        } else {
            ShowBox(ctx, "code:" + std::to_string(r.code), r.msg);
        }
        return false;
    }
    {
        ListGuard guard(ctx);
        if (!guard.locked() || !StoreReply(ctx, job.trackRow, generation, r)) {
            // The list was replaced while we asked: nothing to download into it.
            SetAddressStatus(ctx, job.downloadRow, kStatusConnectFailed, app::kImgStatusConnectFailed);
            return false;
        }
    }
    PostJob(ctx, job.downloadRow, job.trackRow, generation, true);
    return true;
}

}  // namespace

void RunAddressRequest(app::AppContext& ctx, const std::string& jobJson, unsigned generation) {
    AddressJob job;
    if (!AddressJobFromJson(jobJson, job)) return;
    if (!RequestAndPost(ctx, job, generation)) RowEnded(ctx, job.downloadRow);
}

bool StartAddressRequest(app::AppContext& ctx, const std::string& jobJson, unsigned generation) {
    return app::StartOneOffThread(
        ctx, [&ctx, jobJson, generation] { RunAddressRequest(ctx, jobJson, generation); });
}

PreviewAddress RequestAddressForPreview(app::AppContext& ctx, const std::string& mid, const std::string& pmid,
                                        int tier, const std::string& badge, int row) {
    PreviewAddress result;
    unsigned generation = ctx.listGeneration.load();
    {
        ListGuard guard(ctx);
        ctx.ui.setVisible(app::kAddToDownloadsAnimation, true);
    }
    AddressReply r = ParseAddressReply(FetchAddressReply(ctx, mid, pmid, tier));
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
            ShowBox(ctx, "code:886", kConnectFailedText);
        } else {
            ShowBox(ctx, "code:" + std::to_string(r.code), r.msg);
        }
        return result;
    }
    bool queue = app::ListenAndDownload(ctx);
    {
        ListGuard guard(ctx);
        if (!guard.locked() || !StoreReply(ctx, row, generation, r)) return result;
        result.ok = true;
        result.fileUrl = r.fileUrl;
        result.fileType = r.fileType;
        if (queue) {
            const search::TrackRecord& rec = ctx.ActiveList()[row - 1];
            // Always "title - singer" here, whatever the naming setting.
            result.downloadRow =
                AppendDownloadRow(ctx, DownloadRowText(BaseName(rec.title, rec.singer, 0), rec.album), badge);
            ctx.ui.setRowHeight(app::kDownloadList, kDownloadRowHeight);
        }
    }
    // The preview's rows are not in the counter, so their jobs leave it alone.
    if (queue) PostJob(ctx, result.downloadRow, row, generation, false);
    return result;
}

}  // namespace mm::download
