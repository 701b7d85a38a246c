// Downloads 100 tracks (all tiers mixed) through the program's own pipeline
// (queueing, address request, download job with tags and part files) and
// fetches the same files with curl, ten at a time. Prints the median wall time
// of each, their ratio and the CPU time per megabyte.
//
// The demo catalogue runs in a child process, so the CPU time measured here is
// the pipeline's alone.
//
//   download_bench [RUNS]
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "democatalogue/democatalogue.h"
#include "download/download_at_tier.h"
#include "platform/net/http_client.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mm::democat::Song;
using mm::democat::Tier;

constexpr int kTracks = 100;

struct Item {
    const Song* song;
    Tier tier;
};

std::vector<Item> PickItems() {
    std::vector<const Song*> songs;
    for (const Song& s : mm::democat::Songs()) {
        if (!s.empty_purl) songs.push_back(&s);
    }
    std::vector<Item> items;
    for (int i = 0; static_cast<int>(items.size()) < kTracks; ++i) {
        const Song* s = songs[i % songs.size()];
        std::vector<Tier> tiers;
        for (Tier t : mm::democat::kTiers) {
            if (s->tier(t).present) tiers.push_back(t);
        }
        items.push_back({s, tiers[(s->id + i / songs.size()) % tiers.size()]});
    }
    return items;
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::uint64_t FolderBytes(const std::string& dir) {
    std::uint64_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) n += e.file_size();
    return n;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The catalogue in a child process; returns its base address.
std::string StartServer(pid_t* pid) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    *pid = fork();
    if (*pid == 0) {
        close(fds[0]);
        mm::democat::DemoCatalogue catalogue;
        if (!catalogue.Start(0)) _exit(1);
        for (const Song& s : mm::democat::Songs()) {
            for (Tier t : mm::democat::kTiers) {
                if (s.tier(t).present) catalogue.FileOf(s.id, t);  // encode before timing
            }
        }
        std::string base = catalogue.BaseUrl() + "\n";
        if (write(fds[1], base.data(), base.size()) < 0) _exit(1);
        close(fds[1]);
        pause();  // until the parent ends it
        _exit(0);
    }
    close(fds[1]);
    std::string base;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') base += c;
    close(fds[0]);
    return base;
}

struct Run {
    double wall = 0;
    double cpu = 0;
    std::uint64_t bytes = 0;
};

// One batch through the program: every item queued as the download-all job
// does, then wait until every row has ended.
Run PipelineRun(const std::string& base, const std::vector<Item>& items,
                const std::vector<std::string>& covers, const std::string& dir) {
    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::ui::HeadlessUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    mm::app::AppContext ctx(model, events, nullptr);
    model.setText(mm::app::kLabelSavePath, dir);
    model.setChecked(mm::app::kRadioNaming1, true);
    model.setChecked(mm::app::kCheckEmbed, true);
    ctx.sources.SetCurrent(base + "/song/wy/");
    ctx.downloadPool.Create(1, 10, 10000, true, true, 0, false);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Song& s = *items[i].song;
        mm::search::TrackRecord rec;
        rec.title = s.title;
        for (const auto& singer : s.singers) rec.singer += singer + " ";
        rec.album = s.album;
        for (Tier t : mm::democat::kTiers) {
            rec.mid[static_cast<int>(t)] = s.Mid(t);
            rec.pmid[static_cast<int>(t)] = s.Pmid(t);
        }
        rec.cover = covers[i];
        ctx.searchResults.push_back(rec);
    }

    double cpu0 = CpuSeconds(RUSAGE_SELF);
    auto t0 = Clock::now();
    for (std::size_t i = 0; i < items.size(); ++i) {
        mm::download::DownloadAtTier(ctx, static_cast<int>(items[i].tier), static_cast<int>(i + 1));
    }
    auto ended = [&] {
        for (int r = 0; r < model.rowCount(mm::app::kDownloadList); ++r) {
            std::string s = model.cellText(mm::app::kDownloadList, r, 1);
            if (s.empty() || s == "正在下载") return false;
        }
        return true;
    };
    while (!(ctx.oneOffThreads.load() == 0 && ctx.downloadPool.IsIdle() && ended())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Run run;
    run.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    run.cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    ctx.downloadPool.Destroy(mm::app::WorkerPool::kDropAndWait, false);
    run.bytes = FolderBytes(dir);
    for (int r = 0; r < model.rowCount(mm::app::kDownloadList); ++r) {
        std::string s = model.cellText(mm::app::kDownloadList, r, 1);
        // Files whose content is not what the catalogue named them still count as done.
        if (s.rfind("下载完成", 0) != 0 && s.rfind("音质不符", 0) != 0 && s != "完成,写入封面失败.")
            std::fprintf(stderr, "row %d: %s\n", r, s.c_str());
    }
    return run;
}

Run CurlRun(const std::string& script, const std::string& list, const std::string& dir) {
    double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    auto t0 = Clock::now();
    int rc = std::system((script + " '" + list + "' '" + dir + "'").c_str());
    Run run;
    run.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    run.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (rc != 0) std::fprintf(stderr, "curl run failed: %d\n", rc);
    run.bytes = FolderBytes(dir);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    pid_t server = -1;
    std::string base = StartServer(&server);
    if (base.empty()) {
        std::fprintf(stderr, "demo catalogue did not start\n");
        return 1;
    }
    std::vector<Item> items = PickItems();
    char tmpl[] = "/tmp/mm-dlbench-XXXXXX";
    std::string root = mkdtemp(tmpl);
    std::string list = root + "/urls.txt";
    std::vector<std::string> covers;
    {
        std::ofstream f(list);
        mm::net::HTTPWebClient client;
        for (const Item& it : items) {
            f << base << it.song->AudioPath(it.tier) << "\n";
            std::string cover;
            if (it.song->has_cover) client.Get(base + it.song->CoverPath(), cover, false);
            covers.push_back(cover);
        }
    }
    std::string script = std::string(MM_BENCH_DIR) + "/curl_fetch.sh";

    std::vector<double> ourWall, curlWall, ourCpu, curlCpu;
    std::uint64_t ourBytes = 0, curlBytes = 0;
    for (int r = 0; r < runs; ++r) {
        std::string ours = root + "/ours" + std::to_string(r) + "/";
        std::string theirs = root + "/curl" + std::to_string(r) + "/";
        fs::create_directories(ours);
        // Alternate the order so neither always runs on a warmer cache.
        Run a, b;
        if (r % 2 == 0) {
            a = PipelineRun(base, items, covers, ours);
            b = CurlRun(script, list, theirs);
        } else {
            b = CurlRun(script, list, theirs);
            a = PipelineRun(base, items, covers, ours);
        }
        ourWall.push_back(a.wall);
        curlWall.push_back(b.wall);
        ourCpu.push_back(a.cpu / (a.bytes / 1048576.0));
        curlCpu.push_back(b.cpu / (b.bytes / 1048576.0));
        ourBytes = a.bytes;
        curlBytes = b.bytes;
        std::printf("run %d: program %.3f s, curl %.3f s\n", r + 1, a.wall, b.wall);
        fs::remove_all(ours);
        fs::remove_all(theirs);
    }
    std::printf("tracks: %d, program wrote %.1f MB (tags included), curl %.1f MB\n", kTracks,
                ourBytes / 1048576.0, curlBytes / 1048576.0);
    std::printf("median wall: program %.3f s, curl -P10 %.3f s, ratio %.2f\n", Median(ourWall),
                Median(curlWall), Median(ourWall) / Median(curlWall));
    std::printf("median CPU per MB: program %.1f ms, curl %.1f ms\n", Median(ourCpu) * 1000,
                Median(curlCpu) * 1000);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    fs::remove_all(root);
    return 0;
}
