// An imported playlist in the real Qt window (offscreen) with the import panel
// opened again over it by a click on the service picture, saved as PNG.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSet>
#include <QThread>
#include <cstdio>

#include "app/control_names.h"
#include "app/images.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/picture_box.h"
#include "platform/ui/qt/skin.h"
#include "tests/app/window/window_fixture.h"
#include "tests/flow/flow_fixture.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {
namespace {

using ui::EventType;

// A left click as the mouse gives it: press and release at the middle.
void ClickWidget(QWidget* w) {
    const QPointF local(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

// Distinct colours on a coarse grid: a blank or single-colour picture has one or two.
int ColourCount(const QImage& img) {
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 3) {
        for (int x = 0; x < img.width(); x += 3) seen.insert(img.pixel(x, y));
    }
    return seen.size();
}

// Pixels that differ between two pictures of one size inside `r`.
int ChangedPixels(const QImage& a, const QImage& b, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    }
    return n;
}

class PlaylistWindow : public WindowFixture {
protected:
    // Keeps the window's events flowing while the program works.
    bool PumpUntilIdle() {
        return PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(100)); }, 60000);
    }
    QImage Grab() {
        view->flushChanges();
        Pump(150);
        return view->grab().toImage();
    }
    // The widget's rectangle in the window's pixels.
    QRect InWindow(QWidget* w, const QImage& img) {
        const double dpr = img.devicePixelRatio();
        const QRect r(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        return QRect(QPoint(int(r.left() * dpr), int(r.top() * dpr)),
                     QSize(int(r.width() * dpr), int(r.height() * dpr)))
            .intersected(img.rect());
    }
};

TEST_F(PlaylistWindow, ImportedListWithThePanelOpenAgainOverIt) {
    StartProgram();
    ASSERT_TRUE(PumpUntilIdle());

    Click(app::kImportNetEase);
    Fire(app::kPlaylistLink, EventType::FocusIn);
    model.setText(app::kPlaylistLink, catalogue.BaseUrl() + "/share/wy/s/7045");
    Click(app::kPlaylistImport);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 45);
    ASSERT_FALSE(model.visible(app::kPlaylistPanel));

    auto* list = qobject_cast<ui::qt::ListBoxView*>(view->controlWidget(app::kResultList));
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return list->model()->rowCount() == 45; }));
    QWidget* panel = view->controlWidget(app::kPlaylistPanel);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !panel->isVisible(); }));
    const QImage listOnly = Grab();

    // The window's own picture, clicked as a user would.
    QWidget* picture = view->controlWidget(app::kImportNetEase);
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(picture->isVisible());
    ClickWidget(picture);
    ASSERT_TRUE(PumpUntil([&] { return model.visible(app::kPlaylistPanel) && panel->isVisible(); }));
    // The open window takes the focus, and gaining it empties the link box.
    EXPECT_TRUE(PumpUntil([&] { return model.text(app::kPlaylistLink).empty(); }));
    EXPECT_EQ(model.picture(app::kPlaylistLogo), model.image(app::kImgServiceNetEase));

    const QImage shot = Grab();
    QDir().mkpath(MM_SCREENSHOT_DIR);
    const QString path = QString(MM_SCREENSHOT_DIR) + "/playlist-imported-with-panel.png";
    ASSERT_TRUE(shot.save(path));
    std::printf("screenshot: %s\n", qPrintable(path));

    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), view->size() * shot.devicePixelRatio());
    EXPECT_GT(ColourCount(saved), 200) << "a blank or flat picture";

    // The panel stands over the list and was painted there.
    const QRect listRect(list->mapTo(view.get(), QPoint(0, 0)), list->size());
    const QRect panelRect(panel->mapTo(view.get(), QPoint(0, 0)), panel->size());
    EXPECT_TRUE(listRect.intersects(panelRect));
    const QRect panelPixels = InWindow(panel, shot);
    ASSERT_FALSE(panelPixels.isEmpty());
    EXPECT_GT(ChangedPixels(listOnly, shot, panelPixels), panelPixels.width() * panelPixels.height() / 10);

    // The panel's service picture and its hint.
    auto* logo = qobject_cast<ui::qt::PictureBox*>(view->controlWidget(app::kPlaylistLogo));
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(logo->isVisible());
    EXPECT_FALSE(logo->pixmap().isNull());
    QWidget* link = view->controlWidget(app::kPlaylistLink);
    ASSERT_NE(link, nullptr);
    // The service's prompt stays readable in the emptied box.
    QString shown;
    if (auto* e = qobject_cast<QLineEdit*>(link)) shown = e->text().isEmpty() ? e->placeholderText() : e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(link))
        shown = e->toPlainText().isEmpty() ? e->placeholderText() : e->toPlainText();
    EXPECT_EQ(shown.toStdString(), "请输入网易分享的链接。");

    // The list widget shows the program's rows, cell for cell, and the first rows are on screen.
    ASSERT_EQ(list->model()->rowCount(), 45);
    EXPECT_TRUE(list->isVisible());
    const int cols = std::min<int>(list->model()->columnCount(), model.columns(app::kResultList).size());
    ASSERT_GT(cols, 2);
    for (int r : {0, 1, 44}) {
        for (int c = 0; c < cols; ++c) {
            QString want = QString::fromStdString(model.cellText(app::kResultList, r, c));
            want.replace("\r\n", "\n");
            const QModelIndex at = list->model()->index(r, c);
            EXPECT_EQ(at.data(Qt::DisplayRole).toString().toStdString(), want.toStdString())
                << "row " << r << " col " << c;
            // A badge or cover named in the row is drawn from a real picture.
            if (!model.cellIcon(app::kResultList, r, c).empty()) {
                EXPECT_FALSE(at.data(Qt::DecorationRole).value<QPixmap>().isNull())
                    << "row " << r << " col " << c;
            }
        }
    }
    EXPECT_EQ(model.cellText(app::kResultList, 0, 0), "01");
    EXPECT_EQ(model.cellText(app::kResultList, 44, 0), "45");
    const QRect firstRow = list->visualRect(list->model()->index(0, 2));
    EXPECT_TRUE(list->viewport()->rect().intersects(firstRow));
    EXPECT_TRUE(MessageBoxes().empty());
}

}  // namespace
}  // namespace mm::test
