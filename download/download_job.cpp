#include "download/download_job.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/library_settings.h"
#include "app/settings.h"
#include "download/content_sniff.h"
#include "download/download_rows.h"
#include "download/failure_text.h"
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
// A retried download fetches its cover again; no cover comes near this.
constexpr int kCoverTimeoutSec = 10;

std::function<void(int, JobStage)>& StageObserver() {
    static std::function<void(int, JobStage)> observer;
    return observer;
}

void Reached(int row, JobStage stage) {
    if (StageObserver()) StageObserver()(row, stage);
}

struct EventTable {
    std::mutex mu;
    std::map<const app::AppContext*, JobEvents> events;
};

EventTable& Events() {
    static EventTable t;
    return t;
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

// One run of the job: its row, its stop switch, and what it reports at the end.
class Job {
public:
    Job(app::AppContext& ctx, DownloadSpec& spec, std::shared_ptr<JobControl> control)
        : ctx_(ctx), spec_(spec), control_(std::move(control)), row_(spec.downloadRow) {}

    void Run();
    // Reports how the job ended and lets go of its stop switch; after Run.
    void Finish();

private:
    // Writes the row's status unless the user stopped the download: a stop
    // writes its own status, and nothing may come after it.
    bool Status(const std::string& text, const std::string& icon, const std::string& tip = {});
    // Shows the percentage in the row, writing only when it changes. Returning
    // false stops the transfer (the window closed, the user stopped it).
    net::ProgressFn Progress();
    void TakeCover();
    bool Transfer();
    // Ends on the user's stop: a cancel removes the part file, a pause keeps it.
    void EndStopped(StopKind kind);
    void Fail(const std::string& reason);

    app::AppContext& ctx_;
    DownloadSpec& spec_;
    std::shared_ptr<JobControl> control_;
    const int row_;
    JobResult result_;
    TargetFiles& targets_ = TargetFiles::Shared();
    std::string folder_, base_, ext_, target_, part_;
    bool albumFolder_ = false;  // the name template put the file in its album's folder
    ResumeRecord record_;  // what this attempt leaves to continue
};

bool Job::Status(const std::string& text, const std::string& icon, const std::string& tip) {
    std::lock_guard lk(ctx_.downloadLock);
    if (control_ && control_->Stopping()) return false;
    ctx_.ui.setCellText(app::kDownloadList, row_, 1, text);
    ctx_.ui.setCellIcon(app::kDownloadList, row_, 1, icon);
    ctx_.ui.setCellTip(app::kDownloadList, row_, 1, tip);
    if (text != kStatusDownloading) ctx_.ui.setRowProgress(app::kDownloadList, row_, -1);
    result_.statusText = text;
    result_.statusIcon = icon;
    result_.reason = tip;
    return true;
}

net::ProgressFn Job::Progress() {
    auto last = std::make_shared<int>(-1);
    app::AppContext* ctx = &ctx_;
    JobControl* control = control_.get();
    int row = row_;
    return [ctx, control, row, last](int, std::int64_t now, std::int64_t total) {
        if (control && control->Stopping()) return false;
        int percent = total > 0 ? static_cast<int>(std::min<std::int64_t>(100, now * 100 / total)) : 0;
        if (percent != *last) {
            *last = percent;
            std::lock_guard lk(ctx->downloadLock);
            if (!control || !control->Stopping()) ctx->ui.setRowProgress(app::kDownloadList, row, percent);
        }
        return !ctx->closed.load();
    };
}

// The sub-folders a name template asks for, inside a save folder that must
// exist already: a missing one (an unplugged disk) is not made anew here.
bool MakeTemplateFolders(app::AppContext& ctx, const std::string& folder) {
    const std::string saveFolder = SaveFolderWithSlash(ctx);
    if (folder == saveFolder) return true;
    return sys::IsDirectory(saveFolder) && sys::MakeDirectories(folder);
}

void Job::TakeCover() {
    // The cover task of the listing may have finished while the address was asked.
    if (spec_.trackRow > 0) {
        std::optional<search::TrackRecord> rec = CopyRecord(ctx_, spec_.trackRow, spec_.generation);
        if (rec && !rec->cover.empty() && rec->title == spec_.song.title) spec_.song.cover = rec->cover;
    }
    if (!spec_.song.cover.empty() || spec_.song.coverUrl.empty() || spec_.trackRow > 0) return;
    // A download queued again from the history has only the cover's address.
    net::HTTPWebClient client;
    client.SetupTimeout(kCoverTimeoutSec, kCoverTimeoutSec);
    std::string cover;
    if (client.Get(spec_.song.coverUrl, cover, false)) spec_.song.cover = std::move(cover);
}

void Job::EndStopped(StopKind kind) {
    if (kind == StopKind::kCancel) {
        if (!part_.empty()) sys::RemoveFile(part_);
        record_ = ResumeRecord{};
        result_.end = JobResult::End::kCancelled;
        result_.statusText = kStatusCancelled;
    } else {
        if (!record_.partPath.empty())
            record_.bytes = std::max<std::int64_t>(0, sys::FileSize(record_.partPath));
        result_.end = JobResult::End::kPaused;
        result_.statusText = kStatusPaused;
    }
    result_.statusIcon = kind == StopKind::kCancel ? app::kImgStatusCancelled : app::kImgStatusPaused;
    result_.reason.clear();
    if (!target_.empty()) targets_.Release(target_);
}

void Job::Fail(const std::string& reason) {
    Status(kStatusFailed, app::kImgStatusFailed, reason);
    result_.end = JobResult::End::kFailed;
    if (!target_.empty()) targets_.Release(target_);
}

void Job::Finish() {
    // A stop that came in before the job was over is acted on here, whatever
    // the job was doing: the row already reads what the user asked for.
    StopKind stop = control_ ? control_->Finish() : StopKind::kNone;
    if (stop != StopKind::kNone && result_.end != JobResult::End::kDone) EndStopped(stop);
    if (control_) JobControls::Of(ctx_).Close(row_, control_);
    result_.resume = record_;
    const JobEvents events = JobEventsOf(ctx_);
    if (events.finished) events.finished(spec_, result_);
}

bool Job::Transfer() {
    net::HTTPWebClient client;
    client.SetupTimeout(0, kStallTimeoutSec);
    client.SetTag(row_);
    JobControl* control = control_.get();
    if (control) client.SetCancelCheck([control] { return control->Stopping(); });

    // A part file an earlier attempt left is continued, under this attempt's
    // name; until an answer says more, the earlier record still describes it.
    net::ResumeFrom from;
    if (!spec_.resume.partPath.empty() && AdoptPartFile(spec_.resume, part_))
        from = ContinueFrom(spec_.resume, part_);
    if (from.offset > 0) {
        record_ = spec_.resume;
        record_.partPath = part_;
        record_.bytes = from.offset;
    }
    net::DownloadOptions options;
    options.progress = Progress();
    options.resume = from;
    const std::string& url = spec_.song.fileUrl;
    const ResumeRecord before = spec_.resume;
    options.answered = [this, &url, before](const net::DownloadAnswer& answer) {
        record_ = RecordTransfer(url, part_, answer, answer.resumedAt, before);
        const JobEvents events = JobEventsOf(ctx_);
        if (events.transferring) events.transferring(spec_, record_);
    };
    Reached(row_, JobStage::kTransfer);
    net::DownloadAnswer answer;
    if (client.Download(url, part_, options, &answer)) {
        record_.bytes = sys::FileSize(part_);
        return true;
    }
    if (control_ && control_->Stopping()) return false;
    // What arrived is kept for the next attempt (a reset, a stall, a full disk
    // all leave good bytes); an empty file is not worth keeping. A file that
    // could not be opened is not ours to remove (a link of that name).
    if (client.LastFailure() != net::Failure::kCannotOpen) {
        const std::int64_t size = sys::FileSize(part_);
        if (size > 0 && !record_.partPath.empty()) {
            record_.bytes = size;
        } else {
            sys::RemoveFile(part_);
            record_ = ResumeRecord{};
        }
    } else {
        record_ = ResumeRecord{};
    }
    Fail(TransferFailureText(client));
    return false;
}

void Job::Run() {
    if (control_ && control_->Stopping()) return;
    TakeCover();
    const search::TrackRecord& rec = spec_.song;
    if (rec.fileUrl.empty()) {
        Status(kStatusNoAddress, app::kImgStatusParseFailed);
        return;
    }
    const DownloadName name = NameForDownload(ctx_, rec, spec_.tier, spec_.trackRow);
    folder_ = name.folder;
    if (folder_.empty() || !MakeTemplateFolders(ctx_, folder_)) {
        // Never a name relative to wherever the program was started.
        Fail(kReasonNoFolder);
        return;
    }
    base_ = name.base;
    albumFolder_ = name.albumFolder;
    ext_ = SafeExtension(rec.fileType);
    target_ = targets_.Claim(folder_, base_, ext_);
    if (target_.empty()) {
        Fail(kReasonNoName);
        return;
    }
    part_ = target_ + kPartSuffix;

    if (!Status(kStatusDownloading, app::kImgStatusDownloading)) return;
    {
        std::lock_guard lk(ctx_.downloadLock);
        if (!control_ || !control_->Stopping()) ctx_.ui.setRowProgress(app::kDownloadList, row_, 0);
    }
    if (!Transfer()) return;
    if (control_ && control_->Stopping()) return;

    // What arrived decides the name and the tags, not what the service called it.
    const ContentInfo content = SniffFile(part_);
    if (content.kind == ContentKind::kNotAudio) {
        sys::RemoveFile(part_);
        record_ = ResumeRecord{};
        Fail(kReasonNotAudio);
        return;
    }
    const std::string found = ExtensionFor(content);
    result_.contentType = found;
    const bool otherType = !found.empty() && found != Lower(ext_);
    if (otherType) {
        // The file takes the name its content asks for (the part file keeps its own).
        targets_.Release(target_);
        ext_ = found;
        target_ = targets_.Claim(folder_, base_, ext_);
        if (target_.empty()) {
            Fail(kReasonNoName);
            return;
        }
    }
    std::string note;  // what is odd about the file, for the status and its tip
    std::string doneText = kStatusDone;
    if (otherType) {
        doneText = found == "mp3" ? kStatusDoneReallyMp3 : kStatusDoneReallyFlac;
        note = doneText;
    } else if (BelowTier(content, spec_.tier)) {
        doneText = QualityMismatchText(content.bitrateKbps);
        note = doneText;
    }

    const bool embed = app::EmbedTags(ctx_);
    bool tagged = true;
    if (embed) {
        Reached(row_, JobStage::kTagging);
        tags::TagRequest req = MakeTagRequest(rec);
        const std::string format = found.empty() ? Lower(rec.fileType) : found;
        tagged = format == "mp3" ? tags::WriteId3v2(part_, req, app::TagTextEncoding(ctx_))
                                 : tags::WriteFlacTags(part_, req);
    }

    Reached(row_, JobStage::kCommit);
    if (control_ && !control_->BeginCommit()) return;
    if (const JobEvents events = JobEventsOf(ctx_); events.committing)
        events.committing(spec_, target_, sys::FileSize(part_));
    std::string finalPath = targets_.Commit(part_, target_, folder_, base_, ext_);
    target_.clear();  // Commit released the reservation either way
    if (finalPath.empty()) {
        // The whole file is in the part file: it stays there, never deleted.
        const int err = errno;
        record_.partPath = part_;
        record_.bytes = sys::FileSize(part_);
        if (record_.total < 0) record_.total = record_.bytes;
        Fail(CommitFailureText(err));
        return;
    }
    record_ = ResumeRecord{};
    RememberFile(ctx_, row_, finalPath);
    WriteLibraryFiles(ctx_, rec, finalPath, albumFolder_);
    result_.end = JobResult::End::kDone;
    result_.path = finalPath;
    result_.size = sys::FileSize(finalPath);
    if (!embed) {
        Status(doneText, app::kImgStatusDone, note);
        return;
    }
    if (spec_.counted) AdjustDownloadCounter(ctx_, -1);
    if (tagged) {
        Status(doneText, app::kImgStatusDone, note);
    } else {
        // The audio itself arrived whole and is kept.
        Status(kStatusNoCover, app::kImgStatusCoverFailed, note);
    }
}

}  // namespace

void SetJobStageObserver(std::function<void(int, JobStage)> observer) {
    StageObserver() = std::move(observer);
}

void SetJobEvents(app::AppContext& ctx, JobEvents events) {
    EventTable& t = Events();
    std::lock_guard lk(t.mu);
    t.events[&ctx] = std::move(events);
}

JobEvents JobEventsOf(app::AppContext& ctx) {
    EventTable& t = Events();
    std::lock_guard lk(t.mu);
    auto it = t.events.find(&ctx);
    return it == t.events.end() ? JobEvents{} : it->second;
}

void ForgetJobEvents(app::AppContext& ctx) {
    EventTable& t = Events();
    std::lock_guard lk(t.mu);
    t.events.erase(&ctx);
}

void RunDownloadJob(app::AppContext& ctx, DownloadSpec spec, std::shared_ptr<JobControl> control) {
    Job job(ctx, spec, std::move(control));
    job.Run();
    job.Finish();
}

}  // namespace mm::download
