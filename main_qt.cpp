#include "main_qt.h"

#include <QCoreApplication>
#include <QWidget>
#include <cstdio>
#include <memory>

#include "app/handlers.h"
#include "app/interface_state.h"
#include "app/startup.h"
#include "platform/ui/qt/desktop/mpris_service.h"
#include "platform/ui/qt/desktop/running_copy.h"
#include "platform/ui/qt/desktop/session_bus.h"
#include "platform/ui/qt/desktop/window_activity.h"
#include "platform/ui/qt/folder_chooser.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/run_window.h"
#include "platform/ui/qt/window_placement.h"
#include "playlist/shared_link_launch.h"
#include "support/desktop_bus.h"

namespace {

namespace desktop = mm::ui::qt::desktop;

// Keeps Qt's event queue running while the UI thread waits.
class QtPump : public mm::app::MessagePump {
public:
    explicit QtPump(mm::ui::UiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override {
        // The waiting task does not stall the window while events are processed here.
        mm::ui::StallProbe::YieldScope pumping(ui_.stallProbe());
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

private:
    mm::ui::UiThread& ui_;
};

// Share links given to this copy or handed over by a later launch (UI thread).
void OpenSharedTexts(mm::app::AppContext& ctx, const std::vector<std::string>& texts) {
    for (const auto& text : texts) {
        if (!mm::playlist::OpenSharedText(ctx, text)) {
            std::fprintf(stderr, "morvane-music: not a share link or Kugou code: %s\n", text.c_str());
        }
    }
}

mm::ui::qt::Placement ToQt(const mm::app::WindowPlacement& p) {
    mm::ui::qt::Placement q;
    q.hasPosition = p.hasPosition;
    q.position = QPoint(p.x, p.y);
    q.hasSize = p.hasSize;
    q.size = QSize(p.width, p.height);
    q.maximized = p.maximized;
    return q;
}

mm::app::WindowPlacement FromQt(const mm::ui::qt::Placement& q) {
    mm::app::WindowPlacement p;
    p.hasPosition = q.hasPosition;
    p.x = q.position.x();
    p.y = q.position.y();
    p.hasSize = q.hasSize;
    p.width = q.size.width();
    p.height = q.size.height();
    p.maximized = q.maximized;
    return p;
}

}  // namespace

int RunMainWindow(int argc, char** argv, mm::ui::ControlModel& model, const std::vector<std::string>& sharedTexts,
                  const std::function<bool()>& prepare, const std::function<void(mm::app::AppContext&)>& wire) {
    std::unique_ptr<QtPump> pump;
    std::unique_ptr<mm::app::AppContext> ctx;
    std::unique_ptr<desktop::RunningCopy> copy;
    std::unique_ptr<desktop::MprisService> mpris;

    mm::ui::qt::WindowHooks hooks;
    hooks.beforeShow = [&](QWidget& window) {
        mm::ui::qt::PlaceWindow(window, ToQt(mm::app::LoadWindowPlacement(ctx->configPath)));
    };
    hooks.afterClose = [&](const QWidget& window) {
        mm::app::StoreWindowPlacement(ctx->configPath, FromQt(mm::ui::qt::ReadPlacement(window)));
    };
    auto beforeWindow = [&]() -> int {
        copy = std::make_unique<desktop::RunningCopy>();
        if (copy->claimOrHandOver(sharedTexts) == desktop::RunningCopy::Start::kHandedOver) {
            std::fprintf(stderr, "morvane-music: handed over to the copy that runs already\n");
            return 0;
        }
        if (!prepare()) return 1;
        if (desktop::SessionDesktopBus::Available()) {
            mm::support::SetDesktopBus(std::make_shared<desktop::SessionDesktopBus>());
        }
        return -1;
    };

    int rc = mm::ui::qt::RunQtWindow(
        argc, argv, model,
        [&](mm::ui::UiThread& ui, mm::ui::EventDispatcher& events) {
            pump = std::make_unique<QtPump>(ui);
            ctx = std::make_unique<mm::app::AppContext>(model, events, pump.get());
            wire(*ctx);
            ctx->shell.chooseFolder = [](const std::string& title, const std::string& start) {
                return mm::ui::qt::ChooseFolder(mm::ui::qt::MainWindowView::current(),
                                                QString::fromStdString(title), QString::fromStdString(start))
                    .toStdString();
            };
            QWidget* window = mm::ui::qt::MainWindowView::current();
            if (window) ctx->shell.windowActive = (new desktop::WindowActivity(window))->probe();
            mm::app::RegisterHandlers(*ctx);
            mm::app::RunCreationSequence(*ctx);

            if (ctx->media) {
                mpris = std::make_unique<desktop::MprisService>(ctx->media, window);
                if (!mpris->registerOnSessionBus()) mpris.reset();
            }
            OpenSharedTexts(*ctx, sharedTexts);
            mm::app::AppContext* c = ctx.get();
            copy->setWindow(window);
            copy->setArgumentsHandler([c](const std::vector<std::string>& args) { OpenSharedTexts(*c, args); });
        },
        beforeWindow, hooks);
    // Tasks that outlived the window may still hold the context; the process
    // ends right after this, so it is left to the end instead of destroyed.
    (void)mpris.release();
    (void)copy.release();
    (void)ctx.release();
    (void)pump.release();
    return rc;
}
