// The download list in the real Qt window (offscreen), filled by the whole
// program against the demo catalogue: finished, failed and running rows, saved
// as a screenshot for a person to look at.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QTableView>
#include <QThread>
#include <QToolTip>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "app/handlers.h"
#include "app/message_pump.h"
#include "app/startup.h"
#include "democatalogue/democatalogue.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/qt_ui_thread.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/skin.h"
#include "player/audio/audio_engine.h"
#include "search/current_record.h"
#include "tests/platform/ui/qt/picture_checks.h"

namespace {

using mm::democat::Endpoint;
using mm::democat::Fault;

class QtPump : public mm::app::MessagePump {
public:
    explicit QtPump(mm::ui::qt::QtUiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }

private:
    mm::ui::qt::QtUiThread& ui_;
};

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

TEST(DownloadWindow, ListWithFinishedFailedAndRunningRows) {
    static int argc = 1;
    static char name[] = "download_window_test";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    mm::ui::qt::skin::Apply(app);

    char tmpl[] = "/tmp/mm-dlwin-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string save = dir + "/save/";
    std::ofstream(dir + "/config.ini") << "[音乐保存路径]\n路径=" << save << "\n";

    mm::democat::DemoCatalogue catalogue;
    ASSERT_TRUE(catalogue.Start(0));
    mm::ui::ControlModel model;
    mm::app::DefineMainWindowControls(model);
    mm::ui::qt::QtUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    QtPump pump(uiThread);
    mm::audio::AudioEngine engine;
    auto ctx = std::make_unique<mm::app::AppContext>(model, events, &pump);
    ctx->engine = &engine;
    ctx->audioDevice = 0;  // the no-sound device
    ctx->configPath = dir + "/config.ini";
    ctx->deployment = {catalogue.BaseUrl(), catalogue.SongBase(), catalogue.BaseUrl(), catalogue.BaseUrl()};
    auto view = std::make_unique<mm::ui::qt::MainWindowView>(model, events);
    view->resize(1040, 680);
    // No dialog may stop the run; every box is checked at the end instead.
    model.setMessageBoxPresenter([](const mm::ui::MessageBoxRequest&) {});
    mm::app::RegisterHandlers(*ctx);
    mm::app::RunCreationSequence(*ctx);
    view->show();
    ASSERT_TRUE(
        WaitUntil([&] { return !ctx->sources.Current().empty() && ctx->searchPool.IsIdle(); }, 20000));

    auto search = [&](const std::string& keyword) {
        model.setText(mm::app::kSearchBox, keyword);
        events.dispatch({mm::app::kSearchButton, mm::ui::EventType::Click, 0, {}});
        return WaitUntil([&] { return model.rowCount(mm::app::kResultList) > 0 && ctx->searchPool.IsIdle(); },
                         20000);
    };
    // The tier window's button for the first listed row, as a click.
    auto download = [&](int tier) {
        const char* buttons[3] = {mm::app::kTierButtonStandard, mm::app::kTierButtonHigh,
                                  mm::app::kTierButtonLossless};
        ctx->panelSong = mm::search::RefOfRow(*ctx, 1);
        model.setDisabled(buttons[tier], false);
        events.dispatch({buttons[tier], mm::ui::EventType::Click, 0, {}});
    };
    auto status = [&](int row) { return model.cellText(mm::app::kDownloadList, row, 1); };

    ASSERT_TRUE(search("Morning"));
    download(1);
    ASSERT_TRUE(WaitUntil([&] { return status(0) == "下载完成"; }, 30000)) << status(0);

    Fault reset;
    reset.reset_mid_body = true;
    reset.times = 1;
    catalogue.faults().Set(Endpoint::kAudio, reset);
    ASSERT_TRUE(search("晴天"));
    download(2);
    ASSERT_TRUE(WaitUntil([&] { return status(1) == "下载失败"; }, 30000)) << status(1);

    ASSERT_TRUE(search("空地址"));
    download(0);
    ASSERT_TRUE(WaitUntil([&] { return status(2) == "解析失败"; }, 30000)) << status(2);

    ASSERT_TRUE(search("CAPS"));
    download(1);
    ASSERT_TRUE(WaitUntil([&] { return status(3) == "下载完成"; }, 30000)) << status(3);

    Fault slow;
    slow.bytes_per_second = 200 * 1024;
    catalogue.faults().Set(Endpoint::kAudio, slow);
    ASSERT_TRUE(search("Sixty"));
    download(2);
    ASSERT_TRUE(WaitUntil([&] { return model.rowProgress(mm::app::kDownloadList, 4) >= 20; }, 30000));
    EXPECT_EQ(status(4), "正在下载");

    model.setSelection(mm::app::kTabs, 1);
    WaitUntil([] { return false; }, 150);  // let the view apply the last changes
    QString shots = QString::fromUtf8(MM_SCREENSHOT_DIR);
    QDir().mkpath(shots);
    QString path = shots + "/download-list.png";
    ASSERT_TRUE(mm::ui::qt::SaveScreenshot(path, view.get()));
    QImage img(path);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), view->size() * img.devicePixelRatio());
    std::printf("screenshot: %s\n", qPrintable(path));
    // The download page is what the picture shows, every row with its status
    // icon (finished, running) in its cell.
    auto* rows = qobject_cast<QAbstractItemView*>(view->controlWidget(mm::app::kDownloadList));
    ASSERT_NE(rows, nullptr);
    EXPECT_GT(mm::ui::qt::test::ShownShare(img, view.get(), view->controlWidget(mm::app::kDownloadList)), 0.9);
    for (int r = 0; r < model.rowCount(mm::app::kDownloadList); ++r) {
        const std::string icon = model.cellIcon(mm::app::kDownloadList, r, 1);
        EXPECT_TRUE(mm::ui::qt::test::HasColour(img, mm::ui::qt::test::CellIn(img, view.get(), rows, r, 1),
                                                mm::ui::qt::test::MainColour(model.image(icon)), 10))
            << "row " << r << ": " << icon;
    }

    // The failed row says why in its status cell's tool tip, the status
    // itself staying the list's own text.
    auto* list = qobject_cast<QTableView*>(view->controlWidget(mm::app::kDownloadList));
    ASSERT_NE(list, nullptr);
    const QRect cell = list->visualRect(list->model()->index(1, 1));
    ASSERT_FALSE(cell.isEmpty());
    QHelpEvent hover(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(list->viewport(), &hover);
    QWidget* tip = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->inherits("QTipLabel") && w->isVisible()) tip = w;
            return tip != nullptr;
        },
        5000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("连接被重置"));
    EXPECT_EQ(status(1), "下载失败");
    ASSERT_TRUE(tip->grab().save(shots + "/download-failure-tip.png"));
    std::printf("screenshot: %s\n", qPrintable(shots + "/download-failure-tip.png"));
    QToolTip::hideText();

    EXPECT_TRUE(model.messageBoxLog().empty());

    // Closing stops the running transfer; its part file stays for a resume,
    // beside the one of the reset transfer, and no song's name holds a half file.
    mm::app::RunClosing(*ctx);
    ASSERT_TRUE(WaitUntil([&] { return ctx->oneOffThreads == 0 && ctx->downloadPool.Busy() == 0; }, 30000));
    std::vector<std::string> parts;
    for (auto& e : std::filesystem::directory_iterator(save)) {
        std::string name = e.path().filename().string();
        if (name.ends_with(".part")) {
            parts.push_back(name);
        } else {
            EXPECT_EQ(name.find("Sixty Seconds"), std::string::npos) << name;
        }
    }
    EXPECT_EQ(parts.size(), 2u) << ::testing::PrintToString(parts);
    view.reset();
    ctx->previewPool.Destroy(mm::app::WorkerPool::kDropAndWait);
    ctx.reset();
    catalogue.Stop();
    std::filesystem::remove_all(dir);
}

}  // namespace
