// Marking the songs downloaded already on a 1,000-row result list, against a
// download history of 100,000 records. Measures and prints; asserts nothing.
//
//   duplicate_marks_bench [RUNS] [RECORDS] [ROWS]   (defaults 200, 100000, 1000)
//
// Figures, medians over the runs:
//   mark rows    MarkDownloadedRows: the rows' mids copied under the list lock,
//                three look-ups per row through the (mid, tier) index, a look
//                at each file found, and the marks written into the list;
//   look-ups     DownloadedTracks alone (the look-ups and the file checks);
//   scan         the same look-ups forced past the index (NOT INDEXED), to
//                show what the index saves (20 rows asked, scaled to the list).
// Every tenth row of the list is downloaded (its file exists), and the
// history holds its songs among 100,000 other records.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "download/duplicates.h"
#include "library/history_store.h"
#include "library/sqlite_db.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string Mid(int song, int tier) {
    return "M" + std::to_string(song) + "lhs"[tier];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    const int records = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    const int rows = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;

    char tmpl[] = "/tmp/mm-marks-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string dbPath = mm::library::HistoryStore::PathIn(dir + "/data");
    fs::create_directories(dir + "/save");

    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::ui::HeadlessUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    mm::app::AppContext ctx(model, events, nullptr);
    ctx.history = mm::library::HistoryStore::Start(dbPath);

    // The history: songs 1 … records, each in one tier; list songs are 1 … rows.
    int downloaded = 0;
    for (int i = 1; i <= records; ++i) {
        mm::library::DownloadRecord r;
        r.id = ctx.history->NewId();
        r.tier = i % 3;
        r.mid = Mid(i, r.tier);
        r.state = mm::library::DownloadState::kDone;
        r.path = dir + "/save/" + std::to_string(i) + ".mp3";
        if (i <= rows && i % 10 == 0) {
            std::ofstream(r.path) << "x";
            ++downloaded;
        }
        ctx.history->Insert(r);
    }
    ctx.history->Flush();

    for (int i = 1; i <= rows; ++i) {
        mm::search::TrackRecord t;
        t.title = "Song " + std::to_string(i);
        for (int tier = 0; tier < 3; ++tier) t.mid[static_cast<std::size_t>(tier)] = Mid(i, tier);
        ctx.searchResults.push_back(t);
        model.insertRow(mm::app::kResultList, -1);
    }
    std::vector<mm::download::TierMids> mids;
    for (const auto& t : ctx.searchResults) mids.push_back(t.mid);

    std::vector<double> mark, lookups, scan;
    int marked = 0;
    for (int run = 0; run < runs; ++run) {
        // Half the runs start from an unmarked list, so writing marks is measured too.
        if (run % 2 == 0) {
            for (int r = 0; r < rows; ++r)
                model.setCellText(mm::app::kResultList, r, mm::download::kMarkColumn, "");
        }
        Clock::time_point a = Clock::now();
        mm::download::MarkDownloadedRows(ctx, ctx.listGeneration.load());
        Clock::time_point b = Clock::now();
        std::vector<bool> found = mm::download::DownloadedTracks(ctx, mids);
        Clock::time_point c = Clock::now();
        mark.push_back(Ms(a, b));
        lookups.push_back(Ms(b, c));
        marked = static_cast<int>(std::count(found.begin(), found.end(), true));
    }
    int shown = 0;
    for (int r = 0; r < rows; ++r) {
        shown += model.cellText(mm::app::kResultList, r, mm::download::kMarkColumn) ==
                 mm::download::kMarkDownloaded;
    }

    // The same questions without the index, on a connection of its own: a
    // full scan per look-up, so only the first rows are asked and the time
    // scaled to the whole list.
    const int scanRows = std::min(rows, 20);
    {
        mm::library::Database db;
        db.open(dbPath, SQLITE_OPEN_READONLY);
        mm::library::Statement s(db.handle(),
                                 "SELECT path FROM downloads NOT INDEXED WHERE mid = ? AND tier = ? AND state = 'done' "
                                 "ORDER BY id DESC LIMIT 1");
        for (int run = 0; run < 3; ++run) {
            Clock::time_point a = Clock::now();
            for (int r = 0; r < scanRows; ++r) {
                for (int tier = 0; tier < 3; ++tier) {
                    s.bind(1, mids[static_cast<std::size_t>(r)][static_cast<std::size_t>(tier)]).bind(2, tier);
                    s.step();
                    s.reset();
                }
            }
            scan.push_back(Ms(a, Clock::now()) * rows / scanRows);
        }
    }

    std::printf("%d-row list, %d history records, %d songs of the list downloaded (%d found, %d marked)\n",
                rows, records, downloaded, marked, shown);
    std::printf("mark rows: median %.3f ms (min %.3f)\n", Median(mark),
                *std::min_element(mark.begin(), mark.end()));
    std::printf("look-ups:  median %.3f ms (min %.3f)\n", Median(lookups),
                *std::min_element(lookups.begin(), lookups.end()));
    std::printf("scan without the index: median %.1f ms for the list (%d rows asked, scaled)\n", Median(scan),
                scanRows);
    ctx.history.reset();
    fs::remove_all(dir);
    return 0;
}
