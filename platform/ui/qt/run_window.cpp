#include "platform/ui/qt/run_window.h"

#include <QApplication>
#include <QPixmap>

#include "platform/ui/qt/folder_chooser.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/probed_application.h"
#include "platform/ui/qt/qt_ui_thread.h"
#include "platform/ui/qt/skin.h"

namespace mm::ui::qt {

int RunQtWindow(int argc, char** argv, ControlModel& model,
                const std::function<void(UiThread&, EventDispatcher&)>& startApp,
                const std::function<int()>& beforeWindow, const WindowHooks& hooks) {
    ProbedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MorvaneMusic"));
    // The desktop finds the window's .desktop file (and icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.morvane.MorvaneMusic"));
    if (beforeWindow) {
        if (int code = beforeWindow(); code >= 0) return code;
    }
    skin::Apply(app);
    InstallQtTranslations();
    QtUiThread ui;
    EventDispatcher events(ui);
    app.setProbe(&ui.stallProbe());
    int code = 0;
    {
        MainWindowView window(model, events);
        if (startApp) startApp(ui, events);
        window.flushChanges();
        if (hooks.beforeShow) hooks.beforeShow(window);
        window.showAnimated();
        code = app.exec();
        if (hooks.afterClose) hooks.afterClose(window);
    }
    app.setProbe(nullptr);
    return code;
}

bool SaveScreenshot(const QString& path, QWidget* widget) {
    if (!widget) widget = MainWindowView::current();
    if (!widget) return false;
    return widget->grab().save(path, "PNG");
}

}  // namespace mm::ui::qt
