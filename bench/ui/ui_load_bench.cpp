// The UI thread and the memory under the heaviest load a user makes: a search
// scrolled out to 1,000 rows with their covers, 20 single downloads and a
// preview, then the 45-song playlist imported and downloaded whole while
// those downloads and the preview go on. Runs the whole
// program against the demo catalogue and prints the UI thread's stalls (how
// long each handler, queued call, timer tick and, in the window, each window
// event ran; how late timer ticks fired) and where the memory went.
// Measures and prints; asserts nothing.
//
//   ui_load_bench [--qt] [--rows N] [--downloads N] [--kbps N]
//
// The memory figures are taken once every cover is in, with the 1,000 rows
// listed, the preview playing and the single downloads running.
//
// --qt runs the real window on the offscreen platform (set QT_QPA_PLATFORM);
// without it the headless UI thread of the automation mode runs. --kbps
// throttles every audio body (default 600 KiB/s) so the downloads and the
// preview are still running while the list fills.
//
// The catalogue runs in a child process forked before any thread starts, so
// the resident memory reported is the program's alone.
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

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
#include "platform/ui/stall_probe.h"
#include "player/audio/audio_engine.h"
#include "search/list_lock.h"
#include "search/track_menu.h"

#ifdef MM_HAVE_QT
#include <QCoreApplication>
#include <QMetaObject>

#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/probed_application.h"
#include "platform/ui/qt/qt_ui_thread.h"
#include "platform/ui/qt/skin.h"
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace ui = mm::ui;
namespace app = mm::app;

struct Options {
    bool qt = false;
    int rows = 1000;
    int downloads = 20;
    int kbps = 600;
};

// ---- the catalogue in a child process

struct CatalogueChild {
    pid_t pid = -1;
    int keepAlive = -1;  // the child serves until this pipe closes
    std::string base;
};

CatalogueChild StartCatalogue(int kbps) {
    int urlPipe[2], lifePipe[2];
    if (pipe(urlPipe) != 0 || pipe(lifePipe) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        close(urlPipe[0]);
        close(lifePipe[1]);
        mm::democat::DemoCatalogue catalogue;
        if (kbps > 0) {
            mm::democat::Fault slow;
            slow.bytes_per_second = kbps * 1024;
            catalogue.faults().Set(mm::democat::Endpoint::kAudio, slow);
        }
        if (!catalogue.Start(0)) _exit(1);
        const std::string line = catalogue.BaseUrl() + "\n";
        if (write(urlPipe[1], line.data(), line.size()) < 0) _exit(1);
        close(urlPipe[1]);
        char c;
        while (read(lifePipe[0], &c, 1) > 0) {
        }
        catalogue.Stop();
        _exit(0);
    }
    close(urlPipe[1]);
    close(lifePipe[0]);
    CatalogueChild child{pid, lifePipe[1], {}};
    char c;
    while (read(urlPipe[0], &c, 1) == 1 && c != '\n') child.base += c;
    close(urlPipe[0]);
    return child;
}

// ---- memory figures

struct Memory {
    double rssMb = 0, anonMb = 0, fileMb = 0, peakMb = 0;
    int threads = 0;
    double heapInUseMb = 0, heapFreeMb = 0;
};

Memory ReadMemory() {
    Memory m;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kb = 0;
        if (key == "VmRSS:") status >> kb, m.rssMb = kb / 1024;
        else if (key == "RssAnon:") status >> kb, m.anonMb = kb / 1024;
        else if (key == "RssFile:") status >> kb, m.fileMb = kb / 1024;
        else if (key == "VmHWM:") status >> kb, m.peakMb = kb / 1024;
        else if (key == "Threads:") status >> m.threads;
        std::getline(status, key);
    }
    const struct mallinfo2 mi = mallinfo2();
    m.heapInUseMb = static_cast<double>(mi.uordblks + mi.hblkhd) / 1048576.0;
    m.heapFreeMb = static_cast<double>(mi.fordblks) / 1048576.0;
    return m;
}

// What the program itself holds for the result list.
struct ListBytes {
    int rows = 0;
    std::size_t covers = 0;    // picture bytes kept in the records
    std::size_t texts = 0;     // the records' other strings
    std::size_t cells = 0;     // the control model's cell texts
};

ListBytes MeasureList(app::AppContext& ctx, ui::ControlModel& model) {
    ListBytes b;
    {
        auto lock = mm::search::LockList(ctx.listLock, 10s);
        for (const auto& t : ctx.searchResults) {
            b.covers += t.cover.size();
            for (const std::string* s : {&t.title, &t.singer, &t.album, &t.coverUrl, &t.duration, &t.publish,
                                         &t.fileUrl, &t.lyrics, &t.fileType, &t.trackId})
                b.texts += s->size();
            for (int k = 0; k < 3; ++k) b.texts += t.size[k].size() + t.mid[k].size() + t.pmid[k].size();
        }
        b.rows = static_cast<int>(ctx.searchResults.size());
    }
    const int rows = model.rowCount(app::kResultList);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 6; ++c) b.cells += model.cellText(app::kResultList, r, c).size();
    return b;
}

// ---- the scenario, driven from a thread of its own as a user would

class Driver {
public:
    Driver(const Options& o, ui::UiThread& ui, ui::EventDispatcher& events, ui::ControlModel& model,
           app::AppContext& ctx, std::string base)
        : o_(o), ui_(ui), events_(events), model_(model), ctx_(ctx), base_(std::move(base)) {}

    void Run() {
        ui_.stallProbe().Reset();
        const auto start = Clock::now();
        Step("search scrolled out to the rows asked for");
        model_.setText(app::kSearchBox, "*" + std::to_string(o_.rows));
        Fire(app::kSearchButton, ui::EventType::Click);
        int listed = 0;
        while (listed < o_.rows) {
            const int before = listed;
            if (!WaitFor([&] { return ctx_.searchPool.IsIdle() && model_.rowCount(app::kResultList) > before; },
                         60s))
                Fail("a page of results did not come");
            listed = model_.rowCount(app::kResultList);
            if (listed < o_.rows) Fire(app::kResultList, ui::EventType::ScrolledPastEnd);
        }

        Step("single downloads and a preview");
        const char* buttons[3] = {app::kTierButtonStandard, app::kTierButtonHigh, app::kTierButtonLossless};
        for (int i = 0; i < o_.downloads; ++i) {
            Fire(app::kResultList, ui::EventType::RowRightClick, i);
            Fire(app::kTrackMenu, ui::EventType::MenuChoice, mm::search::kMenuDownloadOne);
            for (int k = 0; k < 3; ++k) {
                const char* b = buttons[(i + k) % 3];
                if (!model_.disabled(b)) {
                    Fire(b, ui::EventType::Click);
                    break;
                }
            }
        }
        Fire(app::kResultList, ui::EventType::RowDoubleClick, 0);

        Step("covers of every row");
        WaitFor([&] { return ctx_.detailPool.IsIdle(); }, 300s);
        atLoad_ = ReadMemory();
        list_ = MeasureList(ctx_, model_);
        downloadsAtLoad_ = Running();

        // The playlist replaces the result list; the single downloads go on.
        Step("download-all of the 45-song playlist");
        Fire(app::kImportNetEase, ui::EventType::Click);
        Fire(app::kPlaylistLink, ui::EventType::FocusIn);
        model_.setText(app::kPlaylistLink, base_ + "/share/wy/s/7045");
        Fire(app::kPlaylistImport, ui::EventType::Click);
        if (!WaitFor([&] { return model_.rowCount(app::kResultList) == 45 && ctx_.playlistPool.IsIdle(); }, 60s))
            Fail("the playlist was not listed");
        model_.setChecked(app::kPlaylistBestTier, true);
        Fire(app::kTrackMenu, ui::EventType::MenuChoice, mm::search::kMenuDownloadAll);

        Step("downloads to their end");
        if (!WaitFor([&] { return Idle(); }, 600s)) std::fprintf(stderr, "downloads still running at the end\n");
        seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
        summary_ = ui_.stallProbe().Snapshot();
        Step("done");
    }

    void Report(const char* mode) const {
        std::printf("ui_load_bench (%s): %d rows with covers, %d single downloads, download-all of 45, a preview; "
                    "%.1f s\n",
                    mode, o_.rows, o_.downloads, seconds_);
        std::printf("\n%-14s %8s %8s %8s %8s %9s\n", "UI thread", "count", "p50 ms", "p90 ms", "p99 ms", "max ms");
        auto row = [](const char* name, const ui::StallProbe::Figures& f) {
            std::printf("%-14s %8llu %8.2f %8.2f %8.2f %9.2f\n", name, static_cast<unsigned long long>(f.count),
                        f.p50Ms, f.p90Ms, f.p99Ms, f.maxMs);
        };
        row("all work", summary_.work);
        for (int k = 0; k < ui::StallProbe::kKinds; ++k) {
            const auto& f = summary_.byKind[static_cast<std::size_t>(k)];
            if (f.count) row(ui::StallProbe::KindName(static_cast<ui::StallProbe::Kind>(k)), f);
        }
        row("timer late", summary_.timerLate);
        row("CPU of work", summary_.cpu);
        std::printf("\nslowest pieces of work (wall, CPU time of the thread):\n");
        for (const auto& w : summary_.worst) std::printf("  %9.2f ms %8.2f ms  %s\n", w.ms, w.cpuMs, w.what.c_str());

        const Memory end = ReadMemory();
        std::printf("\nmemory at full load (%d rows listed, %d downloads running or queued, preview on):\n",
                    list_.rows, downloadsAtLoad_);
        std::printf("  resident %.1f MB = anonymous %.1f MB + files %.1f MB; %d threads\n", atLoad_.rssMb,
                    atLoad_.anonMb, atLoad_.fileMb, atLoad_.threads);
        std::printf("  heap in use %.1f MB, free in the heap %.1f MB\n", atLoad_.heapInUseMb, atLoad_.heapFreeMb);
        std::printf("  covers in the records %.2f MB (%d rows), other record texts %.2f MB, list cells %.2f MB\n",
                    static_cast<double>(list_.covers) / 1048576.0, list_.rows,
                    static_cast<double>(list_.texts) / 1048576.0, static_cast<double>(list_.cells) / 1048576.0);
        std::printf("peak resident (VmHWM) %.1f MB\n", end.peakMb);
        std::map<std::string, int> statuses;
        for (int r = 0; r < model_.rowCount(app::kDownloadList); ++r)
            ++statuses[model_.cellText(app::kDownloadList, r, 1)];
        std::printf("download rows by status:");
        for (const auto& [status, n] : statuses) std::printf(" %s %d;", status.c_str(), n);
        std::printf("\n");
    }

private:
    void Step(const char* what) {
        std::fprintf(stderr, "[%7.1f s] %s\n", std::chrono::duration<double>(Clock::now() - t0_).count(), what);
    }
    [[noreturn]] void Fail(const char* what) {
        std::fprintf(stderr, "ui_load_bench: %s\n", what);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    void Fire(const std::string& control, ui::EventType type, int arg = 0) {
        ui::Event e{control, type, arg, {}};
        if (!ui::RunAndWait(ui_, [this, e] { events_.dispatch(e); })) Fail("the UI thread dropped an event");
    }
    static bool WaitFor(const std::function<bool()>& pred, std::chrono::seconds limit) {
        const auto end = Clock::now() + limit;
        while (!pred()) {
            if (Clock::now() > end) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    int Running() const {
        int n = 0;
        for (int r = 0; r < model_.rowCount(app::kDownloadList); ++r) {
            const std::string s = model_.cellText(app::kDownloadList, r, 1);
            n += s != "下载完成" && s != "下载失败" && s != "解析失败";
        }
        return n;
    }
    bool Idle() {
        // Tasks post further tasks: idle must hold a few looks in a row.
        for (int i = 0; i < 3; ++i) {
            if (!(ctx_.downloadPool.IsIdle() && ctx_.detailPool.IsIdle() && ctx_.searchPool.IsIdle() &&
                  ctx_.oneOffThreads.load() == 0))
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    const Options& o_;
    ui::UiThread& ui_;
    ui::EventDispatcher& events_;
    ui::ControlModel& model_;
    app::AppContext& ctx_;
    std::string base_;
    Clock::time_point t0_ = Clock::now();
    Memory atLoad_;
    ListBytes list_;
    int downloadsAtLoad_ = 0;
    double seconds_ = 0;
    ui::StallProbe::Summary summary_;
};

std::string MakeConfig() {
    char tmpl[] = "/tmp/mm-uiload-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/save");
    std::ofstream(dir + "/config.ini") << "[音乐保存路径]\n路径=" << dir << "/save/\n";
    return dir;
}

void Wire(app::AppContext& ctx, mm::audio::AudioEngine& engine, const std::string& base, const std::string& dir) {
    ctx.configPath = dir + "/config.ini";
    ctx.engine = &engine;
    ctx.audioDevice = 0;  // the no-sound device
    ctx.deployment = {base, base + "/song/", base, base};
    ctx.shell.openUrl = [](const std::string&) {};
    ctx.shell.chooseFolder = [](const std::string&, const std::string&) { return std::string(); };
    ctx.shell.exitProgram = [](int) {};
}

bool WaitStarted(app::AppContext& ctx) {
    const auto end = Clock::now() + 30s;
    while (Clock::now() < end) {
        if (!ctx.sources.Current().empty() && ctx.searchPool.IsIdle()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

int RunHeadless(const Options& o, const std::string& base, const std::string& dir) {
    ui::ControlModel model;
    app::DefineMainWindowControls(model);
    ui::HeadlessUiThread uiThread;
    ui::EventDispatcher events(uiThread);
    uiThread.AttachTimers(model, events);
    uiThread.Start();
    app::HeadlessPump pump(uiThread);
    mm::audio::AudioEngine engine;
    app::AppContext ctx(model, events, &pump);
    Wire(ctx, engine, base, dir);
    ui::RunAndWait(uiThread, [&] {
        app::RegisterHandlers(ctx);
        app::RunCreationSequence(ctx);
    });
    if (!WaitStarted(ctx)) {
        std::fprintf(stderr, "ui_load_bench: the program did not start\n");
        return 1;
    }
    Driver driver(o, uiThread, events, model, ctx, base);
    driver.Run();
    driver.Report("headless UI thread");
    return 0;
}

#ifdef MM_HAVE_QT
// Keeps Qt's event queue running while the UI thread waits, as the program does.
class QtPump : public app::MessagePump {
public:
    explicit QtPump(ui::UiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override {
        ui::StallProbe::YieldScope pumping(ui_.stallProbe());
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

private:
    ui::UiThread& ui_;
};

int RunQt(const Options& o, const std::string& base, const std::string& dir, int argc, char** argv) {
    mm::ui::qt::ProbedApplication qapp(argc, argv);
    mm::ui::qt::skin::Apply(qapp);
    ui::ControlModel model;
    app::DefineMainWindowControls(model);
    mm::ui::qt::QtUiThread uiThread;
    ui::EventDispatcher events(uiThread);
    qapp.setProbe(&uiThread.stallProbe());
    QtPump pump(uiThread);
    mm::audio::AudioEngine engine;
    app::AppContext ctx(model, events, &pump);
    Wire(ctx, engine, base, dir);
    mm::ui::qt::MainWindowView view(model, events);
    view.resize(1040, 680);
    model.setMessageBoxPresenter([](const ui::MessageBoxRequest&) {});
    app::RegisterHandlers(ctx);
    app::RunCreationSequence(ctx);
    view.show();

    int rc = 0;
    std::thread user([&] {
        if (!WaitStarted(ctx)) {
            std::fprintf(stderr, "ui_load_bench: the program did not start\n");
            rc = 1;
        } else {
            Driver driver(o, uiThread, events, model, ctx, base);
            driver.Run();
            driver.Report("Qt window, offscreen");
        }
        QMetaObject::invokeMethod(&qapp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    qapp.exec();
    user.join();
    return rc;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--qt") o.qt = true;
        else if (a == "--rows" && more) o.rows = std::atoi(argv[++i]);
        else if (a == "--downloads" && more) o.downloads = std::atoi(argv[++i]);
        else if (a == "--kbps" && more) o.kbps = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: ui_load_bench [--qt] [--rows N] [--downloads N] [--kbps N]\n");
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    CatalogueChild cat = StartCatalogue(o.kbps);
    if (cat.base.empty()) {
        std::fprintf(stderr, "ui_load_bench: the demo catalogue did not start\n");
        return 1;
    }
    const std::string dir = MakeConfig();
    int rc = 0;
    if (o.qt) {
#ifdef MM_HAVE_QT
        rc = RunQt(o, cat.base, dir, argc, argv);
#else
        std::fprintf(stderr, "ui_load_bench: built without the Qt window\n");
        rc = 2;
#endif
    } else {
        rc = RunHeadless(o, cat.base, dir);
    }
    std::fflush(nullptr);
    close(cat.keepAlive);
    waitpid(cat.pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    // Tasks may still wait on the network; the program ends the same way.
    std::_Exit(rc);
}
