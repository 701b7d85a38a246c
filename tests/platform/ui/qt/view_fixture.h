#pragma once
// A real main window on the offscreen platform over a model defined like the
// program's, with the program's pictures registered and every event recorded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/qt_ui_thread.h"

namespace mm::ui::qt::test {

class ViewFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs the event loop until pred holds; false after timeoutMs.
    static bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 3000);
    static void pump(int ms);

    // Records every event of that control and type.
    void record(const std::string& control, EventType type);
    std::vector<Event> recorded(const std::string& control, EventType type) const;

    template <class W>
    W* widget(const std::string& name) {
        return qobject_cast<W*>(view->controlWidget(name));
    }

    // Writes from a thread other than the GUI thread, like a pool worker.
    static void fromWorker(const std::function<void()>& fn);

    // Rows with numbers, titles, badges, singers, albums and durations.
    void fillSearchRows(int n);
    // Download rows in every state, two of them with a progress bar.
    void fillDownloadRows();
    void defineTrackMenu();

    static QString screenshotPath(const QString& name);

    ControlModel model;
    std::unique_ptr<QtUiThread> ui;
    std::unique_ptr<EventDispatcher> events;
    std::unique_ptr<MainWindowView> view;
    std::vector<Event> log;
};

}  // namespace mm::ui::qt::test
