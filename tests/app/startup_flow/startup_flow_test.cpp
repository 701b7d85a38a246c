// The start-up and closing of the whole program driven through the automation
// mode, in-process: a pool that cannot be created and an audio engine that
// cannot start each show their box, and the window still closes cleanly.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/control_names.h"
#include "app/handlers.h"
#include "app/startup.h"
#include "platform/ui/automation.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using nlohmann::json;

class StartupFlow : public FlowFixture {
protected:
    // The creation sequence, with the automation reporting from the start.
    void Start() {
        std::filesystem::create_directories(tempDir + "/config");
        std::ofstream(configPath) << "[音乐保存路径]\n路径=" << saveDir << "\n";
        ui::Automation::Options options;
        options.waitIdle = [this](int ms) { return WaitIdle(std::chrono::milliseconds(ms)); };
        automation = std::make_unique<ui::Automation>(model, events, options);
        automation->reportMessageBoxes(out);
        OnUi([this] {
            app::RegisterHandlers(*ctx);
            app::RunCreationSequence(*ctx);
        });
    }
    // Runs the script (its end closes the window); every line written so far.
    std::vector<json> Run(const std::string& script) {
        std::istringstream in(script);
        EXPECT_EQ(automation->run(in, out), 0) << out.str();
        std::vector<json> lines;
        for (std::string line; std::getline(out, line);) lines.push_back(json::parse(line));
        return lines;
    }
    std::stringstream out;
    std::unique_ptr<ui::Automation> automation;

    static std::vector<std::string> Boxes(const std::vector<json>& lines) {
        std::vector<std::string> boxes;
        for (const json& l : lines) {
            if (l.contains("messagebox")) {
                const json& b = l["messagebox"];
                boxes.push_back(b["title"].get<std::string>() + "|" + b["text"].get<std::string>() + "|" +
                                b["button"].get<std::string>());
            }
        }
        return boxes;
    }
};

TEST_F(StartupFlow, BothStartUpFailureBoxesAndTheWindowStillWorksAndCloses) {
    ctx->detailPool.FailNextThreadStarts(5);    // pool 2
    ctx->playlistPool.FailNextThreadStarts(5);  // pool 4
    // No sound system can be reached: the engine's start fails for real.
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ctx->audioDevice = -1;

    Start();
    const auto lines =
        Run("{\"op\":\"wait\",\"timeout_ms\":20000}\n"
            "{\"op\":\"dump\",\"control\":\"组合框_音源选择\"}\n"
            "{\"op\":\"click\",\"control\":\"工具栏_设置\"}\n"
            "{\"op\":\"close\"}\n");
    ::unsetenv("SDL_AUDIODRIVER");

    EXPECT_EQ(
        Boxes(lines),
        (std::vector<std::string>{
            "信息：|线程池创建失败！2|OK", "信息：|线程池创建失败！4|OK",
            "code:886|试听插件初始化失败,将歌曲无法试听。不影响下载功能！\r\n\r\n或者重启软件试试！|好的"}));
    // Start-up carried on: the bootstrap filled the source selector.
    bool sawSources = false;
    for (const json& l : lines) {
        if (l.contains("dump")) sawSources = l["dump"]["items"].size() == 5;
    }
    EXPECT_TRUE(sawSources);
    EXPECT_EQ(model.selection(app::kTabs), 2);
    EXPECT_EQ(ctx->detailPool.State(), app::WorkerPool::kNotCreated);
    EXPECT_FALSE(ctx->detailPool.Post([] {})) << "a pool that failed refuses its tasks";

    // The closing sequence ran: pools 1 to 4 gone, the preview pool left to the
    // program's end, the engine and the images freed, the closing animation.
    EXPECT_TRUE(ctx->closed.load());
    for (app::WorkerPool* p : {&ctx->searchPool, &ctx->detailPool, &ctx->downloadPool, &ctx->playlistPool}) {
        EXPECT_NE(p->State(), app::WorkerPool::kRunning);
        EXPECT_FALSE(p->Post([] {}));
    }
    EXPECT_EQ(ctx->previewPool.State(), app::WorkerPool::kRunning);
    EXPECT_EQ(engine.Free(), 0) << "already freed by the closing";
    EXPECT_TRUE(model.imageNames().empty());
    const auto animations = model.animations();
    ASSERT_EQ(animations.size(), 3u);
    EXPECT_EQ(animations.back().first, app::kWindow);
    EXPECT_EQ(animations.back().second, (std::vector<std::int64_t>{1000, -14, 34, -300, 70, 1, 1, 0}));
}

TEST_F(StartupFlow, OnlyTheClosingEventWithArgumentZeroCloses) {
    Start();
    ASSERT_TRUE(WaitIdle());
    Fire(app::kWindow, ui::EventType::WindowClose, 1);
    EXPECT_FALSE(ctx->closed.load());
    EXPECT_EQ(ctx->searchPool.State(), app::WorkerPool::kRunning);

    const auto lines = Run("{\"op\":\"wait\"}\n");  // the end of the input closes
    EXPECT_TRUE(Boxes(lines).empty());
    EXPECT_TRUE(ctx->closed.load());
    EXPECT_NE(ctx->searchPool.State(), app::WorkerPool::kRunning);
    const size_t animations = model.animations().size();
    Fire(app::kWindow, ui::EventType::WindowClose, 0);
    EXPECT_EQ(model.animations().size(), animations) << "a second closing does nothing more";
}

}  // namespace
}  // namespace mm::test
