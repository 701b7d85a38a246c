#include "tests/app/window/window_fixture.h"

#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <cstdio>

#include "app/control_names.h"
#include "platform/ui/qt/folder_chooser.h"
#include "platform/ui/qt/skin.h"

namespace mm::test {

void WindowFixture::SetUpTestSuite() {
    if (qApp) return;
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);
    ui::qt::skin::Apply(*app);
    ui::qt::InstallQtTranslations();
}

void WindowFixture::SetUp() {
    view = std::make_unique<ui::qt::MainWindowView>(model, events);
    model.setMessageBoxPresenter([](const ui::MessageBoxRequest&) {});
    view->resize(1040, 680);
    view->show();
    ASSERT_TRUE(PumpUntil([&] { return view->isVisible(); }));
    Activate();
}

void WindowFixture::TearDown() {
    // Boxes of tasks still running are answered at once from now on.
    model.setMessageBoxPresenter([](const ui::MessageBoxRequest&) {});
    view.reset();
}

void WindowFixture::RealMessageBoxes() {
    // The view installed its presenter when it was made; make it again to get it back.
    view.reset();
    view = std::make_unique<ui::qt::MainWindowView>(model, events);
    view->resize(1040, 680);
    view->show();
    ASSERT_TRUE(PumpUntil([&] { return view->isVisible(); }));
    Activate();
}

bool WindowFixture::PumpUntilIdle(int ms) {
    return PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }, ms) &&
           (view->flushChanges(), Pump(30), true);
}

void WindowFixture::Activate() {
    view->activateWindow();
    view->raise();
    PumpUntil([&] { return QApplication::activeWindow() == view.get(); }, 2000);
}

void WindowFixture::Key(int key, Qt::KeyboardModifiers mods) {
    QWidget* target = Focus() ? Focus() : view.get();
    QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
    Pump(20);
}

void WindowFixture::ClickAt(QWidget* w, QPoint at) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
    Pump(20);
}

void WindowFixture::Click(QWidget* w) {
    ClickAt(w, w->rect().center());
}

void WindowFixture::TypeSearch(const QString& keyword) {
    auto* box = Widget<QLineEdit>(app::kSearchBox);
    box->setFocus();
    Pump(30);
    // Whatever the box holds (the placeholder, when it had the focus already) is typed over.
    box->selectAll();
    QTest::keyClicks(box, keyword);
    QTest::keyClick(box, Qt::Key_Return);
}

QImage WindowFixture::Shot(const QString& name, const std::vector<QWidget*>& overlays) {
    view->flushChanges();
    Pump(120);
    QPixmap shot = view->grab();
    QPainter p(&shot);
    for (QWidget* w : overlays) {
        if (w && w->isVisible()) p.drawPixmap(view->mapFromGlobal(w->mapToGlobal(QPoint(0, 0))), w->grab());
    }
    p.end();
    QDir().mkpath(MM_SCREENSHOT_DIR);
    const QString path = QString(MM_SCREENSHOT_DIR) + "/window-" + name + ".png";
    EXPECT_TRUE(shot.save(path));
    std::printf("screenshot: %s\n", qPrintable(path));
    return shot.toImage();
}

int DifferentPixels(const QImage& img, const QRect& r) {
    const QRect area = r.intersected(img.rect());
    if (area.isEmpty()) return 0;
    const QRgb first = img.pixel(area.topLeft());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) n += img.pixel(x, y) != first;
    }
    return n;
}

}  // namespace mm::test
