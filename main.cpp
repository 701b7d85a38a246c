// MorvaneMusic: composition root. Reads the deployment settings, starts the
// built-in demo catalogue when no catalogue is configured, and runs the program
// either in its Qt window or headless in automation mode.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/bootstrap.h"
#include "app/command_line.h"
#include "app/controls.h"
#include "app/deployment.h"
#include "app/handlers.h"
#include "app/headless_pump.h"
#include "app/settings.h"
#include "app/startup.h"
#include "democatalogue/democatalogue.h"
#include "platform/ui/automation.h"
#include "platform/ui/headless_ui_thread.h"
#include "player/audio/audio_engine.h"
#include "playlist/shared_link_launch.h"
#include "support/shell.h"

#ifdef MM_HAVE_QT
#include "main_qt.h"
#endif

namespace {

// Waits a moment for tasks that outlived the window; returns true when all ended.
bool PoolsEnded(mm::app::AppContext& ctx) {
    for (int i = 0; i < 200; ++i) {
        if (ctx.searchPool.State() == 0 && ctx.detailPool.State() == 0 && ctx.downloadPool.State() == 0 &&
            ctx.playlistPool.State() == 0 && ctx.oneOffThreads.load() == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int RunAutomation(mm::app::AppContext& ctx, mm::ui::HeadlessUiThread& ui, const std::vector<std::string>& shared) {
    mm::ui::Automation::Options options;
    options.waitIdle = [&](int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int quiet = 0;
        while (std::chrono::steady_clock::now() < end) {
            bool idle = ctx.searchPool.IsIdle() && ctx.detailPool.IsIdle() && ctx.downloadPool.IsIdle() &&
                        ctx.playlistPool.IsIdle() && ctx.previewPool.IsIdle() && ctx.oneOffThreads.load() == 0 &&
                        ui.WaitIdle(std::chrono::milliseconds(1));
            quiet = idle ? quiet + 1 : 0;
            if (quiet >= 3) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    // The folder chooser answers what the script said last ("folder" op).
    auto folders = std::make_shared<std::pair<std::mutex, std::deque<std::string>>>();
    options.answerFolder = [folders](const std::string& path) {
        std::lock_guard lk(folders->first);
        folders->second.push_back(path);
    };
    mm::ui::Automation automation(ctx.ui, ctx.events, options);
    ctx.shell.chooseFolder = [folders, &automation](const std::string& title, const std::string& start) {
        automation.reportFolderChooser(title, start);
        std::lock_guard lk(folders->first);
        if (folders->second.empty()) return std::string();
        std::string path = folders->second.front();
        folders->second.pop_front();
        return path;
    };
    const std::vector<std::string> sharedTexts = shared;
    // Message boxes of the creation sequence are reported too.
    automation.reportMessageBoxes(std::cout);
    ui.Start();
    mm::ui::RunAndWait(ui, [&] {
        mm::app::RegisterHandlers(ctx);
        mm::app::RunCreationSequence(ctx);
        for (const auto& text : sharedTexts) {
            if (!mm::playlist::OpenSharedText(ctx, text)) {
                std::fprintf(stderr, "morvane-music: not a share link or Kugou code: %s\n", text.c_str());
            }
        }
    });
    int rc = automation.run(std::cin, std::cout);
    mm::ui::RunAndWait(ui, [&] { mm::app::RunClosing(ctx); });
    ui.Stop();
    return rc == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const mm::app::CommandLineResult parsed = mm::app::ParseCommandLine({argv + 1, argv + argc});
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "morvane-music: %s\n%s", parsed.error.c_str(), mm::app::UsageText().c_str());
        return 2;
    }
    const mm::app::CommandLine& cmd = parsed.line;
    if (cmd.help) {
        std::fputs(mm::app::UsageText().c_str(), stdout);
        return 0;
    }
    if (cmd.version) {
        std::printf("morvane-music %s\n", mm::app::kProgramVersion);
        return 0;
    }

    mm::app::Deployment deployment = cmd.deployment;
    mm::app::FillDeploymentDefaults(deployment);
    mm::democat::DemoCatalogue demo;
    // Without a catalogue of its own the program uses the built-in one (in the
    // window only once it is sure to be the copy that runs).
    auto prepare = [&] {
        if (!deployment.catalogueBase.empty()) return true;
        if (!demo.Start(0)) {
            std::fprintf(stderr, "morvane-music: the demo catalogue could not start\n");
            return false;
        }
        deployment = {demo.BaseUrl(), demo.SongBase(), demo.BaseUrl(), demo.BaseUrl()};
        std::fprintf(stderr, "morvane-music: using the built-in demo catalogue at %s\n", demo.BaseUrl().c_str());
        return true;
    };

    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::audio::AudioEngine engine;

    auto wire = [&](mm::app::AppContext& ctx) {
        ctx.deployment = deployment;
        ctx.configPath = cmd.configPath.empty() ? mm::app::DefaultConfigPath() : cmd.configPath;
        ctx.dataDir = cmd.dataDir.empty() ? mm::app::DefaultDataDir() : cmd.dataDir;
        ctx.engine = &engine;
        ctx.audioDevice = cmd.noSound ? 0 : -1;
        ctx.shell.openUrl = [](const std::string& url) { mm::support::OpenUrl(url); };
        ctx.shell.exitProgram = [](int code) {
            std::fflush(nullptr);
            std::_Exit(code);
        };
    };

    int rc = 0;
    if (cmd.automation) {
        if (!prepare()) return 1;
        mm::ui::HeadlessUiThread ui;
        mm::ui::EventDispatcher events(ui);
        ui.AttachTimers(model, events);
        mm::app::HeadlessPump pump(ui);
        mm::app::AppContext ctx(model, events, &pump);
        wire(ctx);
        rc = RunAutomation(ctx, ui, cmd.sharedTexts);
        if (!PoolsEnded(ctx)) {
            // A task still waits on the network; its time-out would end it, but
            // closing must not wait for that.
            std::fflush(nullptr);
            std::_Exit(rc);
        }
        return rc;
    }

#ifdef MM_HAVE_QT
    rc = RunMainWindow(argc, argv, model, cmd.sharedTexts, prepare, [&](mm::app::AppContext& ctx) { wire(ctx); });
    std::fflush(nullptr);
    std::_Exit(rc);
#else
    std::fprintf(stderr, "morvane-music: built without the Qt window; use --automation\n");
    return 2;
#endif
}
