#include "download/download_job.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/library_settings.h"
#include "app/settings.h"
#include "download/download_rows.h"
#include "download/file_naming.h"
#include "download/job_naming.h"
#include "download/library_files.h"
#include "download/target_file.h"
#include "platform/net/http_client.h"
#include "platform/sys/files.h"
#include "tags/flac.h"
#include "tags/id3v2.h"
#include "tags/tag_request.h"

namespace mm::download {

namespace {

constexpr int kStallTimeoutSec = 60;

std::function<void(int, JobStage)>& StageObserver() {
    static std::function<void(int, JobStage)> observer;
    return observer;
}

void Reached(int row, JobStage stage) {
    if (StageObserver()) StageObserver()(row, stage);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

tags::TagRequest MakeTagRequest(const search::TrackRecord& rec) {
    tags::TagRequest req;
    req.set(tags::Slot::Artist, rec.singer);
    req.set(tags::Slot::Title, rec.title);
    req.set(tags::Slot::Album, rec.album);
    req.set(tags::Slot::Copyright, kCreditText);
    req.set(tags::Slot::Lyrics, rec.lyrics);  // already UTF-8 inside the program
    req.set(tags::Slot::Picture, rec.cover);
    return req;
}

// Shows the percentage in the row, writing only when it changes. Returning
// false stops the transfer when the window closed.
net::ProgressFn RowProgress(app::AppContext& ctx, int row) {
    auto last = std::make_shared<int>(-1);
    return [&ctx, row, last](int, std::int64_t now, std::int64_t total) {
        int percent = total > 0 ? static_cast<int>(std::min<std::int64_t>(100, now * 100 / total)) : 0;
        if (percent != *last) {
            *last = percent;
            std::lock_guard lk(ctx.downloadLock);
            ctx.ui.setRowProgress(app::kDownloadList, row, percent);
        }
        return !ctx.closed.load();
    };
}

// The sub-folders a name template asks for, inside a save folder that must
// exist already: a missing one (an unplugged disk) is not made anew here.
bool MakeTemplateFolders(app::AppContext& ctx, const std::string& folder) {
    const std::string saveFolder = SaveFolderWithSlash(ctx);
    if (folder == saveFolder) return true;
    return sys::IsDirectory(saveFolder) && sys::MakeDirectories(folder);
}

}  // namespace

void SetJobStageObserver(std::function<void(int, JobStage)> observer) {
    StageObserver() = std::move(observer);
}

void RunDownloadJob(app::AppContext& ctx, int downloadRow, int trackRow, unsigned generation, bool counted) {
    std::optional<search::TrackRecord> rec = CopyRecord(ctx, trackRow, generation);
    if (!rec || rec->fileUrl.empty()) {
        SetRowStatus(ctx, downloadRow, kStatusNoAddress, app::kImgStatusParseFailed);
        return;
    }
    net::HTTPWebClient client;
    client.SetupTimeout(0, kStallTimeoutSec);
    client.SetTag(downloadRow);

    DownloadName name = NameForDownload(ctx, *rec, RowTier(ctx, downloadRow), trackRow);
    const std::string& folder = name.folder;
    if (folder.empty() || !MakeTemplateFolders(ctx, folder)) {
        // Never a name relative to wherever the program was started.
        SetRowStatus(ctx, downloadRow, kStatusFailed, app::kImgStatusFailed);
        return;
    }
    const std::string& base = name.base;
    std::string ext = SafeExtension(rec->fileType);
    TargetFiles& targets = TargetFiles::Shared();
    std::string target = targets.Claim(folder, base, ext);
    if (target.empty()) {
        SetRowStatus(ctx, downloadRow, kStatusFailed, app::kImgStatusFailed);
        return;
    }
    std::string part = target + kPartSuffix;

    SetRowStatus(ctx, downloadRow, kStatusDownloading, app::kImgStatusDownloading);
    {
        std::lock_guard lk(ctx.downloadLock);
        ctx.ui.setRowProgress(app::kDownloadList, downloadRow, 0);
    }
    Reached(downloadRow, JobStage::kTransfer);
    if (!client.Download(rec->fileUrl, part, RowProgress(ctx, downloadRow))) {
        sys::RemoveFile(part);
        targets.Release(target);
        SetRowStatus(ctx, downloadRow, kStatusFailed, app::kImgStatusFailed);
        return;
    }

    bool embed = app::EmbedTags(ctx);
    bool tagged = true;
    if (embed) {
        Reached(downloadRow, JobStage::kTagging);
        tags::TagRequest req = MakeTagRequest(*rec);
        tagged = Lower(rec->fileType) == "mp3" ? tags::WriteId3v2(part, req, app::TagTextEncoding(ctx))
                                               : tags::WriteFlacTags(part, req);
    }

    Reached(downloadRow, JobStage::kCommit);
    std::string finalPath = targets.Commit(part, target, folder, base, ext);
    if (finalPath.empty()) {
        sys::RemoveFile(part);
        SetRowStatus(ctx, downloadRow, kStatusFailed, app::kImgStatusFailed);
        return;
    }
    RememberFile(ctx, downloadRow, finalPath);
    WriteLibraryFiles(ctx, *rec, finalPath, name.albumFolder);
    if (!embed) {
        SetRowStatus(ctx, downloadRow, kStatusDone, app::kImgStatusDone);
        return;
    }
    if (counted) AdjustDownloadCounter(ctx, -1);
    if (tagged) {
        SetRowStatus(ctx, downloadRow, kStatusDone, app::kImgStatusDone);
    } else {
        // The audio itself arrived whole and is kept.
        SetRowStatus(ctx, downloadRow, kStatusNoCover, app::kImgStatusCoverFailed);
    }
}

}  // namespace mm::download
