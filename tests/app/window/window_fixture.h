#pragma once
// The whole program in its real Qt window on the offscreen platform: the
// handlers on the headless UI thread, the window on this (the GUI) thread,
// the demo catalogue behind it. Keys and clicks go to the widgets as Qt
// delivers them from the keyboard and the mouse.
#include <QApplication>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/qt/main_window_view.h"
#include "tests/flow/flow_fixture.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {

class WindowFixture : public FlowFixture {
public:
    // The application with the skin and Qt's Chinese texts, once per process.
    static void SetUpTestSuite();

protected:
    void SetUp() override;
    void TearDown() override;

    // Message boxes are logged and answered at once (a test that wants the
    // real dialog installs the window's own presenter with RealMessageBoxes).
    void RealMessageBoxes();

    template <class W = QWidget>
    W* Widget(const std::string& name) const {
        return qobject_cast<W*>(view->controlWidget(name));
    }
    // Keeps the window's events flowing while the program works.
    bool PumpUntilIdle(int ms = 60000);
    // A key pressed and released where the keyboard focus is (the window when none).
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier);
    QWidget* Focus() const { return QApplication::focusWidget(); }
    // Press and release of the left button in the middle of the widget, or at `at`.
    // The handler-level clicks of FlowFixture stay usable beside the widget ones.
    using FlowFixture::Click;
    void Click(QWidget* w);
    void ClickAt(QWidget* w, QPoint at);
    // The window made active, as a user's click on it would.
    void Activate();
    // Searches by typing into the search box and pressing Enter.
    void TypeSearch(const QString& keyword);

    // The window (and the top-level widgets given, painted where they stand) as PNG.
    QImage Shot(const QString& name, const std::vector<QWidget*>& overlays = {});

    std::unique_ptr<ui::qt::MainWindowView> view;
};

// Pixels of a picture inside a rectangle that differ from the colour at its first pixel.
int DifferentPixels(const QImage& img, const QRect& r);

}  // namespace mm::test
