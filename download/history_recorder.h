#pragma once
// Recording each download in the history as it goes: queued, addressed,
// transferring (with what a cut-off transfer needs to continue), and how it
// ended. The download job reports through its events (download_job.h); the
// list's own steps call the functions here. Every call only queues a change
// for the history's writer thread.
#include <string>

#include "download/download_job.h"
#include "download/download_rows.h"
#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Records a row just queued for the track in the given tier.
void RecordQueued(app::AppContext& ctx, DownloadId id, const search::TrackRecord& track, int tier,
                  const std::string& rowText, const std::string& badge);
// Records where a download stands without an end (queued again, running).
void RecordState(app::AppContext& ctx, DownloadId id, DownloadState state, const std::string& text,
                 const std::string& icon);
// Records an end that no job reported (no thread for the request, a row
// cancelled while nothing worked on it).
void RecordEnd(app::AppContext& ctx, DownloadId id, DownloadState state, const std::string& text,
               const std::string& icon, const std::string& error);

// The job events that record each download of ctx in its history and keep
// the rows' states (for the list's menu) in step.
JobEvents HistoryJobEvents(app::AppContext& ctx);

// A job's resume record as the history keeps it, and back.
library::ResumeState ToHistory(const ResumeRecord& r);
ResumeRecord FromHistory(const library::ResumeState& r);

}  // namespace mm::download
