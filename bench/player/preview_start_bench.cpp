// Time from a double-click on a result row to the first decoded PCM the
// no-sound device plays, through the whole headless program against the
// in-process demo catalogue on 127.0.0.1. Measures and prints; asserts nothing.
//
//   preview_start_bench [RUNS]      (default 30, at least 20)
//
// Stamps, all on the steady clock:
//   click   just before the RowDoubleClick event is posted to the UI thread;
//   reply   the "adding to downloads" picture is hidden again: the address
//           reply has arrived and been parsed;
//   opened  the first player-bar badge, download button or time is set after
//           the reply: StreamCreateURL has returned with the stream's format;
//   PCM     the engine's pcm_tap sees its first block.
// The no-sound device hands PCM over only when a stream's position is asked,
// so this thread asks it every 0.2 ms (the program's own 1 s tick is stopped).
// "First PCM" is thus the first poll after play starts that finds decoded
// frames, late by at most one poll interval plus the sleep's overshoot.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "app/handlers.h"
#include "app/headless_pump.h"
#include "app/startup.h"
#include "democatalogue/democatalogue.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"
#include "player/audio/audio_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace ui = mm::ui;
namespace app = mm::app;

int64_t Now() {
    return Clock::now().time_since_epoch().count();
}
double Ms(int64_t from, int64_t to) {
    return std::chrono::duration<double, std::milli>(Clock::duration(to - from)).count();
}

struct Series {
    explicit Series(const char* l) : label(l) {}
    const char* label;
    std::vector<double> v;
    // Nearest rank: the smallest value with at least p of the runs at or below it.
    double Rank(double p) const {
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        size_t k = static_cast<size_t>(std::ceil(p * static_cast<double>(s.size())));
        return s[std::clamp<size_t>(k, 1, s.size()) - 1];
    }
    void Print() const {
        if (v.empty()) return;
        std::printf("%-26s median %7.2f  min %7.2f  max %7.2f  p90 %7.2f ms\n", label, Rank(0.5), Rank(0),
                    Rank(1), Rank(0.9));
    }
};

// Stamps written from the preview worker and the decoder side; 0 = not yet.
struct Stamps {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> click{0}, reply{0}, opened{0}, pcm{0};
    void Reset() {
        armed = false;
        click = reply = opened = pcm = 0;
    }
};

bool Idle(app::AppContext& ctx, ui::HeadlessUiThread& uiThread) {
    return ctx.searchPool.IsIdle() && ctx.detailPool.IsIdle() && ctx.downloadPool.IsIdle() &&
           ctx.playlistPool.IsIdle() && ctx.previewPool.IsIdle() && ctx.oneOffThreads.load() == 0 &&
           uiThread.WaitIdle(1ms);
}

bool WaitIdle(app::AppContext& ctx, ui::HeadlessUiThread& uiThread, std::chrono::seconds limit = 30s) {
    auto end = Clock::now() + limit;
    for (int quiet = 0; Clock::now() < end; std::this_thread::sleep_for(5ms)) {
        quiet = Idle(ctx, uiThread) ? quiet + 1 : 0;
        if (quiet >= 3) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = std::max(20, argc > 1 ? std::atoi(argv[1]) : 30);

    char tmpl[] = "/tmp/mm-preview-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string config = dir + "/config.ini";
    // Listening without downloading: the measured path alone uses the network.
    std::ofstream(config) << "[音乐保存路径]\n路径=" << dir << "/save/\n[其他设置]\n边听边下载=0\n";

    mm::democat::DemoCatalogue catalogue;
    if (!catalogue.Start(0)) {
        std::fprintf(stderr, "demo catalogue did not start\n");
        return 1;
    }
    // Every standard-tier file encoded before any clock runs.
    for (const auto& song : catalogue.songs()) {
        if (song.tier(mm::democat::Tier::kStandard).present)
            catalogue.FileOf(song.id, mm::democat::Tier::kStandard);
    }

    Stamps st;
    mm::audio::EngineOptions options;  // the steady clock
    options.pcm_tap = [&st](const mm::audio::PcmFormat&, std::span<const int16_t>) {
        int64_t zero = 0;
        if (st.armed) st.pcm.compare_exchange_strong(zero, Now());
    };
    mm::audio::AudioEngine engine(options);

    ui::ControlModel model;
    app::DefineMainWindowControls(model);
    ui::HeadlessUiThread uiThread;
    ui::EventDispatcher events(uiThread);
    uiThread.AttachTimers(model, events);
    uiThread.SetAutoTimers(false);
    uiThread.Start();
    app::HeadlessPump pump(uiThread);
    auto ctx = std::make_unique<app::AppContext>(model, events, &pump);
    ctx->configPath = config;
    ctx->engine = &engine;
    ctx->audioDevice = 0;
    ctx->deployment.catalogueBase = catalogue.BaseUrl();
    ctx->deployment.songBase = catalogue.SongBase();
    ctx->deployment.updateHost = catalogue.BaseUrl();
    ctx->deployment.statsHost = catalogue.BaseUrl();
    ctx->shell.openUrl = [](const std::string&) {};
    ctx->shell.chooseFolder = [](const std::string&, const std::string&) { return std::string(); };
    ctx->shell.exitProgram = [](int) {};

    const std::string badges[] = {app::kPlayerBadgeStandard, app::kPlayerBadgeHigh, app::kPlayerBadgeLossless,
                                  app::kPlayerDownload};
    model.subscribe([&](const ui::Change& c) {
        if (!st.armed || c.what != ui::Change::What::Property) return;
        if (c.control == app::kAddToDownloadsAnimation && st.reply == 0 && !model.visible(c.control)) {
            st.reply = Now();
        } else if (st.reply != 0 && st.opened == 0) {
            bool shown = c.control == app::kPlayerTime;
            for (const auto& b : badges) shown = shown || (c.control == b && model.visible(b));
            if (shown) st.opened = Now();
        }
    });

    auto fire = [&](const std::string& control, ui::EventType type, int arg) {
        ui::Event e{control, type, arg, {}};
        ui::RunAndWait(uiThread, [&] { events.dispatch(e); });
    };
    ui::RunAndWait(uiThread, [&] {
        app::RegisterHandlers(*ctx);
        app::RunCreationSequence(*ctx);
    });
    WaitIdle(*ctx, uiThread);
    model.setText(app::kSearchBox, "demo");
    fire(app::kSearchButton, ui::EventType::Click, 0);
    WaitIdle(*ctx, uiThread);

    // Rows whose standard tier has an address; more pages until there are enough.
    auto playable = [&] {
        std::vector<int> rows;
        for (size_t i = 0; i < ctx->searchResults.size(); ++i) {
            const auto& t = ctx->searchResults[i];
            int id = 0;
            mm::democat::Tier tier{};
            if (t.mid[0].empty() || !mm::democat::ParseMid(t.mid[0], &id, &tier)) continue;
            const auto* song = mm::democat::FindSong(id);
            if (song && !song->empty_purl) rows.push_back(static_cast<int>(i));
        }
        return rows;
    };
    for (int page = 0; page < 5 && static_cast<int>(playable().size()) < runs + 1; ++page) {
        fire(app::kResultList, ui::EventType::ScrolledPastEnd, 0);
        WaitIdle(*ctx, uiThread);
    }
    std::vector<int> rows = playable();
    if (rows.size() < 2) {
        std::fprintf(stderr, "no rows to preview\n");
        return 1;
    }

    Series total{"click -> first PCM"}, toReply{"click -> address reply"}, toOpen{"reply -> stream opened"},
        toPcm{"opened -> first PCM"}, openCum{"click -> stream opened"};
    mm::audio::Handle nextHandle = 1;
    int done = 0, failed = 0;
    // The first preview warms the connection pool and the decoder's code paths.
    for (int i = 0; done < runs && i < static_cast<int>(rows.size()) * 3; ++i) {
        const int row = rows[static_cast<size_t>(i) % rows.size()];
        st.Reset();
        st.armed = true;
        st.click = Now();
        fire(app::kResultList, ui::EventType::RowDoubleClick, row);
        const int64_t deadline = Now() + std::chrono::nanoseconds(10s).count();
        while (st.pcm == 0 && Now() < deadline) {
            for (mm::audio::Handle h = nextHandle; h < nextHandle + 4; ++h) engine.GetPosition(h);
            std::this_thread::sleep_for(200us);
        }
        st.armed = false;
        WaitIdle(*ctx, uiThread);
        // The stream of this preview: the newest handle the engine still knows.
        for (mm::audio::Handle h = nextHandle + 3; h >= nextHandle; --h) {
            if (engine.GetLength(h) != mm::audio::kUnknown) {
                nextHandle = h + 1;
                break;
            }
        }
        const auto& t = ctx->searchResults[static_cast<size_t>(row)];
        const bool right = model.text(app::kPlayerTitle) == t.title + " - " + t.singer;
        if (!right || st.pcm == 0 || st.reply == 0 || st.opened == 0) {
            ++failed;
            std::fprintf(stderr, "row %d: no complete preview (title \"%s\")\n", row,
                         model.text(app::kPlayerTitle).c_str());
            continue;
        }
        if (i == 0) continue;
        ++done;
        total.v.push_back(Ms(st.click, st.pcm));
        toReply.v.push_back(Ms(st.click, st.reply));
        toOpen.v.push_back(Ms(st.reply, st.opened));
        openCum.v.push_back(Ms(st.click, st.opened));
        toPcm.v.push_back(Ms(st.opened, st.pcm));
    }

    std::printf(
        "%d previews, rows taken in turn from %zu playable ones, against %s; %d incomplete; the first "
        "(warm-up) not counted\n",
        done, rows.size(), catalogue.BaseUrl().c_str(), failed);
    total.Print();
    toReply.Print();
    toOpen.Print();
    toPcm.Print();
    openCum.Print();

    ui::RunAndWait(uiThread, [&] { app::RunClosing(*ctx); });
    WaitIdle(*ctx, uiThread, 10s);
    uiThread.Stop();
    ctx->previewPool.Destroy(app::WorkerPool::kDropAndWait);
    ctx.reset();
    catalogue.Stop();
    std::filesystem::remove_all(dir);
    return 0;
}
