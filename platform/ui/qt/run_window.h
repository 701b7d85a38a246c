#pragma once
// Entry points of the windowed program.
#include <QString>
#include <functional>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"

class QWidget;

namespace mm::ui::qt {

// What the caller does with the window around its life: place it before it is
// shown (size and position remembered from the last run), and read where it
// stood once it has closed.
struct WindowHooks {
    std::function<void(QWidget& window)> beforeShow;
    std::function<void(const QWidget& window)> afterClose;
};

// Creates the QApplication with the skin and Qt's Chinese translations, the Qt
// UI thread, an event dispatcher and the main window over `model`; runs
// `startApp` on the GUI thread (the program's creation sequence: define
// handlers, load settings, post the bootstrap) before the window is shown;
// then runs the event loop until the window is closed. Returns the loop's
// exit code.
// `beforeWindow` runs first, once the application exists: a result of 0 or
// more ends the program there with that code (another copy runs already).
int RunQtWindow(int argc, char** argv, ControlModel& model,
                const std::function<void(UiThread&, EventDispatcher&)>& startApp,
                const std::function<int()>& beforeWindow = {}, const WindowHooks& hooks = {});

// Saves a picture of the widget (by default the main window alive now) as PNG.
bool SaveScreenshot(const QString& path, QWidget* widget = nullptr);

}  // namespace mm::ui::qt
