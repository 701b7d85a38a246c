#include "download/history_recorder.h"

#include <chrono>

#include "app/app_context.h"
#include "app/images.h"
#include "library/history_store.h"

namespace mm::download {

namespace {

using library::RecordUpdate;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void Update(app::AppContext& ctx, DownloadId id, RecordUpdate u) {
    library::HistoryStore* history = History(ctx);
    if (history && id != 0) history->Update(id, std::move(u));
}

DownloadState StateOf(JobResult::End end) {
    switch (end) {
        case JobResult::End::kDone:
            return DownloadState::kDone;
        case JobResult::End::kCancelled:
            return DownloadState::kCancelled;
        case JobResult::End::kPaused:
            return DownloadState::kPaused;
        case JobResult::End::kFailed:
            break;
    }
    return DownloadState::kFailed;
}

// The status a failure is listed with next time. An address failure the
// window told in a message box left the row empty; the history names it.
std::string RecordedText(const JobResult& r) {
    if (!r.statusText.empty() || r.end != JobResult::End::kFailed) return r.statusText;
    return r.statusIcon == app::kImgStatusConnectFailed ? kStatusConnectFailed : kStatusFailed;
}

}  // namespace

library::ResumeState ToHistory(const ResumeRecord& r) {
    return {r.url, r.partPath, r.bytes, r.total, r.etag, r.lastModified};
}

ResumeRecord FromHistory(const library::ResumeState& r) {
    return {r.url, r.partPath, r.bytes, r.total, r.etag, r.lastModified};
}

void RecordQueued(app::AppContext& ctx, DownloadId id, const search::TrackRecord& track, int tier,
                  const std::string& rowText, const std::string& badge) {
    library::HistoryStore* history = History(ctx);
    if (!history || id == 0) return;
    if (tier != 1 && tier != 2) tier = 0;
    library::DownloadRecord r;
    r.id = id;
    r.source = ctx.sources.Current();
    r.title = track.title;
    r.singer = track.singer;
    r.album = track.album;
    r.coverUrl = track.coverUrl;
    r.tier = tier;
    r.mid = track.mid[static_cast<std::size_t>(tier)];
    r.pmid = track.pmid[static_cast<std::size_t>(tier)];
    r.rowText = rowText;
    r.badge = badge;
    r.state = DownloadState::kQueued;
    r.queuedAt = NowMs();
    history->Insert(r);
}

void RecordState(app::AppContext& ctx, DownloadId id, DownloadState state, const std::string& text,
                 const std::string& icon) {
    RecordUpdate u;
    u.state = state;
    u.statusText = text;
    u.statusIcon = icon;
    u.error = "";
    u.finishedAt = 0;
    Update(ctx, id, std::move(u));
}

void RecordEnd(app::AppContext& ctx, DownloadId id, DownloadState state, const std::string& text,
               const std::string& icon, const std::string& error) {
    RecordUpdate u;
    u.state = state;
    u.statusText = text;
    u.statusIcon = icon;
    u.error = error;
    u.finishedAt = NowMs();
    Update(ctx, id, std::move(u));
}

JobEvents HistoryJobEvents(app::AppContext& ctx) {
    app::AppContext* c = &ctx;
    JobEvents events;
    events.addressed = [c](const DownloadSpec& spec) {
        RecordUpdate u;
        u.replyType = spec.song.fileType;
        u.trackId = spec.song.trackId;
        if (!spec.source.empty()) u.source = spec.source;
        Update(*c, spec.historyId, std::move(u));
    };
    events.transferring = [c](const DownloadSpec& spec, const ResumeRecord& record) {
        SetRowState(*c, spec.downloadRow, DownloadState::kRunning);
        RecordUpdate u;
        u.state = DownloadState::kRunning;
        u.statusText = kStatusDownloading;
        u.statusIcon = app::kImgStatusDownloading;
        u.resume = ToHistory(record);
        Update(*c, spec.historyId, std::move(u));
    };
    events.committing = [c](const DownloadSpec& spec, const std::string& target, std::int64_t size) {
        library::HistoryStore* history = History(*c);
        if (!history || spec.historyId == 0) return;
        RecordUpdate u;
        u.path = target;
        u.size = size;
        history->Update(spec.historyId, std::move(u));
        history->Flush();
    };
    events.finished = [c](const DownloadSpec& spec, const JobResult& result) {
        const DownloadState state = StateOf(result.end);
        SetRowState(*c, spec.downloadRow, state);
        RecordUpdate u;
        u.state = state;
        u.statusText = RecordedText(result);
        u.statusIcon = result.statusIcon;
        u.error = result.reason;
        u.resume = ToHistory(result.resume);
        if (state != DownloadState::kPaused) u.finishedAt = NowMs();
        if (state == DownloadState::kDone) {
            u.path = result.path;
            u.size = result.size;
        } else {
            // What the rename was about to make, if it came that far, is not there.
            u.path = "";
            u.size = -1;
        }
        if (!result.contentType.empty()) u.contentType = result.contentType;
        Update(*c, spec.historyId, std::move(u));
        // The song may be on the result list: it is downloaded now.
        if (state == DownloadState::kDone && c->actions.markDownloaded) {
            c->actions.markDownloaded(c->listGeneration.load());
        }
    };
    return events;
}

}  // namespace mm::download
