// Start-up of the real Qt window (offscreen) with a download history of
// 100,000 records against an empty one. Measures and prints; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen history_startup_bench [RUNS] [RECORDS]
//       (defaults 15 runs, 100000 records)
//
// Each run builds the program as main() does (control model, context, main
// window, handlers, creation sequence) against the in-process demo catalogue
// and stamps, from the first line of that work on the steady clock:
//   shown   the window is shown and its first frame painted;
//   listed  the download list's widget holds the history's newest page (500
//           rows), or, for the empty history, the history has been read.
// The runs alternate between the two histories, so both see the same machine.
// The history file with the records is written once before the runs.
#include <stdlib.h>

#include <QApplication>
#include <QTableView>
#include <QWindow>
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
#include "app/handlers.h"
#include "app/startup.h"
#include "democatalogue/democatalogue.h"
#include "library/history_store.h"
#include "platform/ui/control_model.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/qt_ui_thread.h"
#include "platform/ui/qt/skin.h"
#include "player/audio/audio_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

class QtPump : public mm::app::MessagePump {
public:
    explicit QtPump(mm::ui::UiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }

private:
    mm::ui::UiThread& ui_;
};

void FillHistory(const std::string& dataDir, int records) {
    auto store = mm::library::HistoryStore::Start(mm::library::HistoryStore::PathIn(dataDir));
    for (int i = 1; i <= records; ++i) {
        mm::library::DownloadRecord r;
        r.id = store->NewId();
        r.source = "http://127.0.0.1:1/song/qq/";
        r.title = "歌曲 " + std::to_string(i);
        r.singer = "歌手 " + std::to_string(i % 300);
        r.album = "专辑 " + std::to_string(i % 1000);
        r.coverUrl = "http://127.0.0.1:1/cover/" + std::to_string(i) + ".jpg";
        r.tier = i % 3;
        r.mid = "M" + std::to_string(i);
        r.pmid = "P" + std::to_string(i);
        r.rowText = r.title + " - " + r.singer + "\r\n[" + r.album + "]";
        r.badge = "badge_high";
        r.replyType = "mp3";
        r.path = "/nonexistent/" + r.title + ".mp3";  // listed as "文件已丢失": each file is looked at
        r.size = 4000000 + i;
        r.state = i % 10 == 0 ? mm::library::DownloadState::kFailed : mm::library::DownloadState::kDone;
        r.statusText = i % 10 == 0 ? "下载失败" : "下载完成";
        r.queuedAt = 1700000000000 + i;
        r.finishedAt = r.queuedAt + 5000;
        store->Insert(r);
    }
    store->Flush();
}

struct Run {
    double shown = 0;
    double listed = 0;
};

Run StartOnce(const std::string& catalogueBase, const std::string& configPath, const std::string& dataDir,
              int expectedRows) {
    Run out;
    const Clock::time_point t0 = Clock::now();
    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::audio::AudioEngine engine;
    auto ui = std::make_unique<mm::ui::qt::QtUiThread>();
    mm::ui::EventDispatcher events(*ui);
    auto window = std::make_unique<mm::ui::qt::MainWindowView>(model, events);
    QtPump pump(*ui);
    auto ctx = std::make_unique<mm::app::AppContext>(model, events, &pump);
    ctx->deployment = {catalogueBase, catalogueBase + "/song/", catalogueBase, catalogueBase};
    ctx->configPath = configPath;
    ctx->dataDir = dataDir;
    ctx->engine = &engine;
    ctx->audioDevice = 0;
    mm::app::RegisterHandlers(*ctx);
    mm::app::RunCreationSequence(*ctx);
    window->flushChanges();
    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    window->repaint();
    out.shown = Ms(t0, Clock::now());

    auto* list = qobject_cast<QTableView*>(window->controlWidget(mm::app::kDownloadList));
    const auto limit = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (list && list->model()->rowCount() == expectedRows && ctx->oneOffThreads.load() == 0) break;
    }
    out.listed = Ms(t0, Clock::now());

    // Closing as the window does, then everything that outlived it.
    mm::app::RunClosing(*ctx);
    for (int i = 0; i < 500 && !(ctx->searchPool.State() == 0 && ctx->detailPool.State() == 0 &&
                                 ctx->downloadPool.State() == 0 && ctx->playlistPool.State() == 0 &&
                                 ctx->oneOffThreads.load() == 0);
         ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ctx->previewPool.Destroy(mm::app::WorkerPool::kDropAndWait);
    window.reset();
    ctx.reset();
    return out;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Print(const char* label, const std::vector<Run>& runs) {
    std::vector<double> shown, listed;
    for (const Run& r : runs) {
        shown.push_back(r.shown);
        listed.push_back(r.listed);
    }
    std::printf(
        "%-18s shown: median %7.2f ms (min %7.2f, max %7.2f)   listed: median %7.2f ms (min %7.2f, max "
        "%7.2f)\n",
        label, Median(shown), *std::min_element(shown.begin(), shown.end()),
        *std::max_element(shown.begin(), shown.end()), Median(listed),
        *std::min_element(listed.begin(), listed.end()), *std::max_element(listed.begin(), listed.end()));
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    const int records = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    mm::ui::qt::skin::Apply(app);

    char tmpl[] = "/tmp/mm-startup-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string configPath = dir + "/config.ini";
    std::ofstream(configPath) << "[音乐保存路径]\n路径=" << dir << "/save/\n";
    const std::string emptyDir = dir + "/empty", fullDir = dir + "/full";
    fs::create_directories(emptyDir);

    const Clock::time_point fillStart = Clock::now();
    FillHistory(fullDir, records);
    std::printf("history of %d records written in %.0f ms (%.1f MB)\n", records, Ms(fillStart, Clock::now()),
                static_cast<double>(fs::file_size(mm::library::HistoryStore::PathIn(fullDir))) / 1e6);

    mm::democat::DemoCatalogue catalogue;
    if (!catalogue.Start(0)) {
        std::fprintf(stderr, "the demo catalogue did not start\n");
        return 1;
    }
    // One run of each first, unmeasured: caches, fonts and the catalogue warm up.
    StartOnce(catalogue.BaseUrl(), configPath, emptyDir, 0);
    StartOnce(catalogue.BaseUrl(), configPath, fullDir, 500);

    std::vector<Run> empty, full;
    for (int i = 0; i < runs; ++i) {
        empty.push_back(StartOnce(catalogue.BaseUrl(), configPath, emptyDir, 0));
        full.push_back(StartOnce(catalogue.BaseUrl(), configPath, fullDir, 500));
    }
    std::printf("%d runs each, start-up to the shown window and to the listed history:\n", runs);
    Print("empty history", empty);
    const std::string label = std::to_string(records) + " records";
    Print(label.c_str(), full);
    std::vector<double> shownE, shownF;
    for (const Run& r : empty) shownE.push_back(r.shown);
    for (const Run& r : full) shownF.push_back(r.shown);
    std::printf("difference of the medians, shown window: %+.2f ms\n", Median(shownF) - Median(shownE));
    catalogue.Stop();
    fs::remove_all(dir);
    return 0;
}
