#include "main_qt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/handlers.h"
#include "app/startup.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/qt_ui_thread.h"
#include "platform/ui/qt/skin.h"

namespace {

// Keeps Qt's event queue running while the UI thread waits.
class QtPump : public mm::app::MessagePump {
public:
    explicit QtPump(mm::ui::qt::QtUiThread& ui) : ui_(ui) {}
    bool OnUiThread() const override { return ui_.isCurrent(); }
    void Pump() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }

private:
    mm::ui::qt::QtUiThread& ui_;
};

}  // namespace

int RunMainWindow(int argc, char** argv, mm::ui::ControlModel& model,
                  const std::function<void(mm::app::AppContext&)>& wire) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("MorvaneMusic");
    mm::ui::qt::QtUiThread uiThread;
    mm::ui::EventDispatcher events(uiThread);
    QtPump pump(uiThread);
    mm::app::AppContext ctx(model, events, &pump);
    wire(ctx);

    mm::ui::qt::MainWindowView view(model, events);
    ctx.shell.chooseFolder = [&view](const std::string& title) {
        QString dir = QFileDialog::getExistingDirectory(&view, QString::fromStdString(title));
        return dir.toStdString();
    };
    ctx.shell.systemMessageBox = [](const std::string& caption, const std::string& text) {
        QMessageBox::information(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
    };

    mm::app::RegisterHandlers(ctx);
    mm::app::RunCreationSequence(ctx);
    view.showAnimated();
    return app.exec();
}
