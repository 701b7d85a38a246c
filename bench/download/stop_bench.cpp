// How soon a download stops when the user cancels or pauses it: from the stop
// request to the end of the job (its part file removed or kept), for a
// transfer in flight and for an address request still waiting for its answer.
// Prints the median and the worst of each.
//
//   stop_bench [RUNS]
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "democatalogue/democatalogue.h"
#include "download/download_at_tier.h"
#include "download/download_job.h"
#include "download/job_control.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
using mm::democat::Endpoint;
using mm::democat::Fault;
using mm::democat::Tier;

struct Sample {
    double transfer = 0;  // ms, stop of a running transfer
    double waiting = 0;   // ms, stop of a waiting address request
};

// Milliseconds from the stop to the job's end, for one download of song 18.
double StopOnce(mm::democat::DemoCatalogue& catalogue, const std::string& dir, bool whileWaiting,
                mm::download::StopKind kind) {
    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::ui::HeadlessUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    mm::app::AppContext ctx(model, events, nullptr);
    model.setText(mm::app::kLabelSavePath, dir);
    model.setChecked(mm::app::kRadioNaming1, true);
    ctx.sources.SetCurrent(catalogue.SourceUrl("wy"));
    ctx.downloadPool.Create(1, 10, 10000, true, true, 0, false);
    std::atomic<bool> ended{false};
    Clock::time_point endedAt;
    mm::download::JobEvents ev;
    ev.finished = [&](const mm::download::DownloadSpec&, const mm::download::JobResult&) {
        endedAt = Clock::now();
        ended = true;
    };
    mm::download::SetJobEvents(ctx, ev);
    const auto* song = mm::democat::FindSong(18);
    mm::search::TrackRecord rec;
    rec.title = song->title;
    rec.singer = song->singers[0] + " ";
    for (Tier t : mm::democat::kTiers) {
        rec.mid[static_cast<int>(t)] = song->Mid(t);
        rec.pmid[static_cast<int>(t)] = song->Pmid(t);
    }
    ctx.searchResults.push_back(rec);

    Fault f;
    if (whileWaiting) {
        f.delay_ms = 30000;
        catalogue.faults().Set(Endpoint::kTrackAddress, f);
    } else {
        f.bytes_per_second = 200 * 1024;
        catalogue.faults().Set(Endpoint::kAudio, f);
    }
    const int asked = catalogue.stats().Count(Endpoint::kTrackAddress);
    mm::download::DownloadAtTier(ctx, 2, 1);
    if (whileWaiting) {
        while (catalogue.stats().Count(Endpoint::kTrackAddress) == asked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well inside the wait
    } else {
        while (model.rowProgress(mm::app::kDownloadList, 0) < 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto t0 = Clock::now();
    mm::download::StopDownload(ctx, 0, kind);
    while (!ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
    double ms = std::chrono::duration<double, std::milli>(endedAt - t0).count();
    while (ctx.oneOffThreads.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ctx.downloadPool.Destroy(mm::app::WorkerPool::kDropAndWait, false);
    mm::download::JobControls::Forget(ctx);
    mm::download::ForgetJobEvents(ctx);
    catalogue.faults().ClearAll();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return ms;
}

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-34s median %7.1f ms   worst %7.1f ms   (%zu runs)\n", what, v[v.size() / 2], v.back(),
                v.size());
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    mm::democat::DemoCatalogue catalogue;
    if (!catalogue.Start(0)) return 1;
    catalogue.FileOf(18, Tier::kLossless);  // encoded before timing
    char tmpl[] = "/tmp/mm-stopbench-XXXXXX";
    std::string dir = std::string(mkdtemp(tmpl)) + "/";
    std::vector<double> cancelTransfer, pauseTransfer, cancelWaiting;
    for (int i = 0; i < runs; ++i) {
        cancelTransfer.push_back(StopOnce(catalogue, dir, false, mm::download::StopKind::kCancel));
        pauseTransfer.push_back(StopOnce(catalogue, dir, false, mm::download::StopKind::kPause));
        cancelWaiting.push_back(StopOnce(catalogue, dir, true, mm::download::StopKind::kCancel));
    }
    Report("cancel, transfer in flight", cancelTransfer);
    Report("pause, transfer in flight", pauseTransfer);
    Report("cancel, address request waiting", cancelWaiting);
    std::filesystem::remove_all(dir);
    catalogue.Stop();
    return 0;
}
