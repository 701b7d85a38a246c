#include "tests/flow/flow_fixture.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/control_names.h"
#include "app/controls.h"
#include "app/handlers.h"
#include "app/startup.h"

namespace mm::test {

using namespace std::chrono_literals;

FlowFixture::FlowFixture() {
    char tmpl[] = "/tmp/mm-flow-XXXXXX";
    tempDir = mkdtemp(tmpl);
    saveDir = tempDir + "/save/";
    configPath = tempDir + "/config/config.ini";
    EXPECT_TRUE(catalogue.Start(0)) << "demo catalogue did not start";
    app::DefineMainWindowControls(model);
    uiThread.AttachTimers(model, events);
    uiThread.SetAutoTimers(false);
    uiThread.Start();

    ctx = std::make_unique<app::AppContext>(model, events, &pump);
    ctx->configPath = configPath;
    ctx->engine = &engine;
    ctx->audioDevice = 0;
    ctx->deployment.catalogueBase = catalogue.BaseUrl();
    ctx->deployment.songBase = catalogue.BaseUrl() + "/song/";
    ctx->deployment.updateHost = catalogue.BaseUrl();
    ctx->deployment.statsHost = catalogue.BaseUrl();
    ctx->shell.openUrl = [this](const std::string& url) {
        std::lock_guard lk(mu_);
        openedUrls_.push_back(url);
    };
    ctx->shell.chooseFolder = [](const std::string&, const std::string&) { return std::string(); };
    ctx->shell.exitProgram = [this](int code) { exitCode = code; };
}

FlowFixture::~FlowFixture() {
    if (started_) {
        WaitIdle(20s);
        OnUi([this] { app::RunClosing(*ctx); });
    }
    uiThread.Stop();
    // Workers of pools destroyed without waiting, and one-off threads (a
    // history page, an address request), may still be ending: they use the
    // context, so it outlives them.
    for (int i = 0; i < 6000 && !(ctx->searchPool.State() == 0 && ctx->detailPool.State() == 0 &&
                                  ctx->downloadPool.State() == 0 && ctx->playlistPool.State() == 0 &&
                                  ctx->oneOffThreads.load() == 0);
         ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ctx->previewPool.Destroy(app::WorkerPool::kDropAndWait);
    ctx.reset();
    catalogue.Stop();
    std::error_code ec;
    std::filesystem::remove_all(tempDir, ec);
}

void FlowFixture::StartProgram() {
    std::filesystem::create_directories(tempDir + "/config");
    {
        std::ofstream f(configPath);
        f << "[音乐保存路径]\n路径=" << saveDir << "\n" << extraConfig;
    }
    OnUi([this] {
        app::RegisterHandlers(*ctx);
        app::RunCreationSequence(*ctx);
    });
    started_ = true;
    EXPECT_TRUE(WaitIdle());
}

void FlowFixture::OnUi(std::function<void()> fn) { ASSERT_TRUE(ui::RunAndWait(uiThread, std::move(fn))); }

void FlowFixture::Fire(const std::string& control, ui::EventType type, int arg, const std::string& text) {
    ui::Event e{control, type, arg, text};
    OnUi([this, e] { events.dispatch(e); });
}

bool FlowFixture::WaitIdle(std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    int quietRounds = 0;
    while (std::chrono::steady_clock::now() < end) {
        bool idle = ctx->searchPool.IsIdle() && ctx->detailPool.IsIdle() && ctx->downloadPool.IsIdle() &&
                    ctx->playlistPool.IsIdle() && ctx->previewPool.IsIdle() && ctx->oneOffThreads.load() == 0 &&
                    uiThread.WaitIdle(1ms);
        // Tasks post further tasks; idle must hold for a few rounds in a row.
        quietRounds = idle ? quietRounds + 1 : 0;
        if (quietRounds >= 3) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

void FlowFixture::Search(const std::string& keyword) {
    model.setText(app::kSearchBox, keyword);
    Click(app::kSearchButton);
    EXPECT_TRUE(WaitIdle());
}

std::vector<std::string> FlowFixture::Column(const std::string& list, int col) const {
    std::vector<std::string> out;
    for (int r = 0; r < model.rowCount(list); ++r) out.push_back(model.cellText(list, r, col));
    return out;
}

std::vector<std::string> FlowFixture::OpenedUrls() const {
    std::lock_guard lk(mu_);
    return openedUrls_;
}

}  // namespace mm::test
