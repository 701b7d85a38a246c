#include "main_qt.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
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

// The size and place of the last run, as far as the screens of this run allow:
// never below the window's minimum, never off every screen.
void PlaceWindow(QWidget& window, const mm::app::WindowPlacement& p) {
    if (p.hasSize) window.resize(window.minimumSize().expandedTo(QSize(p.width, p.height)));
    if (p.hasPosition) {
        const QRect at(QPoint(p.x, p.y), window.size());
        // The title bar at least must be on a screen, or the window could not be moved back.
        if (QGuiApplication::screenAt(at.topLeft() + QPoint(40, 10)) != nullptr) window.move(at.topLeft());
    }
    if (p.maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

mm::app::WindowPlacement ReadPlacement(const QWidget& window) {
    mm::app::WindowPlacement p;
    p.maximized = window.isMaximized();
    // A maximised window is remembered with the size it comes back to.
    const QRect normal = p.maximized ? window.normalGeometry() : window.geometry();
    p.hasSize = normal.isValid();
    p.width = normal.width();
    p.height = normal.height();
    p.hasPosition = true;
    p.x = p.maximized ? normal.x() : window.pos().x();
    p.y = p.maximized ? normal.y() : window.pos().y();
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
        PlaceWindow(window, mm::app::LoadWindowPlacement(ctx->configPath));
    };
    hooks.afterClose = [&](const QWidget& window) {
        mm::app::StoreWindowPlacement(ctx->configPath, ReadPlacement(window));
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
