#pragma once
// Asking the catalogue for a track's file address in one tier.
#include <cstdint>
#include <memory>
#include <string>

#include "download/address_reply.h"
#include "download/download_job.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Sends the address request for a queued download on a thread of its own
// (counted in ctx.oneOffThreads) and, on success, posts the download job with
// the reply it received. jobJson is the job description of the queueing step
// (AddressJobToJson); spec carries the song and the row. The row gets a fresh
// stop switch (JobControls), or keeps the one given (opened for the row by the
// caller). False when no thread could be started.
bool StartAddressRequest(app::AppContext& ctx, const std::string& jobJson, DownloadSpec spec,
                         std::shared_ptr<JobControl> control = nullptr);
// The same request, run on the calling thread, with the row's stop switch.
void RunAddressRequest(app::AppContext& ctx, const std::string& jobJson, DownloadSpec spec,
                       std::shared_ptr<JobControl> control);

// Queues a download of a song into an existing row again (retry, continue):
// a fresh address for spec's tier (addresses expire), then the job, which
// continues spec.resume when it can. Failures of the address show in the row.
bool RestartDownload(app::AppContext& ctx, DownloadSpec spec, std::shared_ptr<JobControl> control = nullptr);

struct PreviewAddress {
    bool ok = false;      // the record now holds the reply's values
    std::string fileUrl;  // data.purl (may be empty even when ok)
    std::string fileType;
    int downloadRow = -1;  // the row queued when "边听边下载" is on, else -1
    // No answer of the catalogue came back (no connection, or a body that is
    // not its JSON): asking for the next row would fail the same way.
    bool connectFailed = false;
};
// The preview player's request for a 1-based row: shows the failures as the
// player expects and, when "边听边下载" is on, queues the download as well.
PreviewAddress RequestAddressForPreview(app::AppContext& ctx, const std::string& mid, const std::string& pmid,
                                        int tier, const std::string& badge, int row);

}  // namespace mm::download
