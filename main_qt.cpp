#include "main_qt.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

#include "app/handlers.h"
#include "app/startup.h"
#include "platform/ui/qt/run_window.h"

namespace {

// Keeps Qt's event queue running while the UI thread waits.
class QtPump : public mm::app::MessagePump {
public:
    explicit QtPump(mm::ui::UiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }

private:
    mm::ui::UiThread& ui_;
};

}  // namespace

int RunMainWindow(int argc, char** argv, mm::ui::ControlModel& model,
                  const std::function<void(mm::app::AppContext&)>& wire) {
    std::unique_ptr<QtPump> pump;
    std::unique_ptr<mm::app::AppContext> ctx;
    int rc = mm::ui::qt::RunQtWindow(argc, argv, model, [&](mm::ui::UiThread& ui, mm::ui::EventDispatcher& events) {
        pump = std::make_unique<QtPump>(ui);
        ctx = std::make_unique<mm::app::AppContext>(model, events, pump.get());
        wire(*ctx);
        ctx->shell.chooseFolder = [](const std::string& title) {
            return QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(title)).toStdString();
        };
        ctx->shell.systemMessageBox = [](const std::string& caption, const std::string& text) {
            QMessageBox::information(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
        };
        mm::app::RegisterHandlers(*ctx);
        mm::app::RunCreationSequence(*ctx);
    });
    // Tasks that outlived the window may still hold the context; the process
    // ends right after this, so it is left to the end instead of destroyed.
    (void)ctx.release();
    (void)pump.release();
    return rc;
}
