#pragma once
// The whole program, headless, against the demo catalogue on 127.0.0.1: the
// control model, the headless UI thread, the context with its pools, and a
// temporary folder holding the settings file and the save folder.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "app/headless_pump.h"
#include "democatalogue/democatalogue.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/headless_ui_thread.h"
#include "player/audio/audio_engine.h"

namespace mm::test {

class FlowFixture : public ::testing::Test {
protected:
    FlowFixture();
    ~FlowFixture() override;

    // Optional settings lines written before start ("[section]\nkey=value\n").
    std::string extraConfig;

    // Creation sequence and handlers on the UI thread; waits until the
    // bootstrap has finished.
    void StartProgram();
    // Fires an event and waits until the UI thread has handled it.
    void Fire(const std::string& control, ui::EventType type, int arg = 0, const std::string& text = {});
    void Click(const std::string& control) { Fire(control, ui::EventType::Click); }
    void Menu(const std::string& menu, int id) { Fire(menu, ui::EventType::MenuChoice, id); }
    // Waits until every pool, one-off thread and the UI thread are idle.
    bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Runs fn on the UI thread and waits for it.
    void OnUi(std::function<void()> fn);
    // Types a keyword and starts a search; waits until its rows are listed.
    void Search(const std::string& keyword);

    std::vector<ui::MessageBoxRequest> MessageBoxes() const { return model.messageBoxLog(); }
    std::vector<std::string> Column(const std::string& list, int col) const;
    std::vector<std::string> OpenedUrls() const;

    std::string tempDir;
    std::string saveDir;  // ends in "/"
    std::string configPath;

    democat::DemoCatalogue catalogue;
    ui::ControlModel model;
    ui::HeadlessUiThread uiThread;
    ui::EventDispatcher events{uiThread};
    app::HeadlessPump pump{uiThread};
    // Previews play on the no-sound device against a clock the test moves.
    std::shared_ptr<audio::ManualClock> clock = std::make_shared<audio::ManualClock>();
    // Set to make the no-sound device refuse to play.
    std::shared_ptr<std::atomic<bool>> deviceLost = std::make_shared<std::atomic<bool>>(false);
    audio::AudioEngine engine{audio::EngineOptions{clock, {}, {}, std::chrono::milliseconds(10000), deviceLost}};
    std::unique_ptr<app::AppContext> ctx;
    int exitCode = -1;

private:
    mutable std::mutex mu_;
    std::vector<std::string> openedUrls_;
    bool started_ = false;
};

}  // namespace mm::test
