// The player bar in the real Qt window (offscreen) while a preview plays: a row
// double-clicked in the window, a few seconds of the test's clock and a few
// turns of the cover, saved as PNG.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QSet>
#include <QSlider>
#include <QDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "app/worker_pool.h"
#include "download/download_all.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/main_window_view.h"
#include "platform/ui/qt/message_box.h"
#include "platform/ui/qt/picture_box.h"
#include "platform/ui/qt/seek_slider.h"
#include "platform/ui/qt/skin.h"
#include "resources/resources.h"
#include "tests/app/window/window_fixture.h"
#include "tests/flow/flow_fixture.h"
#include "tests/flow/qt_pump.h"

namespace mm::test {
namespace {

using namespace std::chrono_literals;
using ui::EventType;

void SendMouse(QWidget* w, QEvent::Type type, const QPoint& at, Qt::MouseButtons held) {
    const QPointF local(at);
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

// A double-click as the mouse gives it: press, release, double-click, release.
void DoubleClickAt(QWidget* w, const QPoint& at) {
    SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, at, Qt::NoButton);
    SendMouse(w, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

int Seconds(const std::string& mmss) {
    if (mmss.size() != 5 || mmss[2] != ':') return -1;
    return std::stoi(mmss.substr(0, 2)) * 60 + std::stoi(mmss.substr(3, 2));
}

int ColourCount(const QImage& img, const QRect& r) {
    QSet<QRgb> seen;
    for (int y = r.top(); y <= r.bottom(); y += 2) {
        for (int x = r.left(); x <= r.right(); x += 2) seen.insert(img.pixel(x, y));
    }
    return seen.size();
}

class PlayerWindow : public WindowFixture {
protected:
    bool PumpUntilIdle() {
        return PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(100)); }, 60000);
    }
    QRect InWindow(QWidget* w, const QImage& img) {
        const double dpr = img.devicePixelRatio();
        const QRect r(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        return QRect(QPoint(int(r.left() * dpr), int(r.top() * dpr)),
                     QSize(int(r.width() * dpr), int(r.height() * dpr)))
            .intersected(img.rect());
    }
};

TEST_F(PlayerWindow, PreviewPlayingWithTimeCoverAndBadges) {
    StartProgram();
    model.setText(app::kSearchBox, "demo");
    Click(app::kSearchButton);
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_GE(model.rowCount(app::kResultList), 20);

    auto* list = Widget<ui::qt::ListBoxView>(app::kResultList);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return list->model()->rowCount() >= 20; }));
    // The first row with a high tier, so that more than one badge shows.
    int row = -1;
    for (int r = 0; r < 20 && row < 0; ++r) {
        const auto& t = ctx->searchResults[static_cast<size_t>(r)];
        if (!t.mid[0].empty() && !t.mid[1].empty() && !t.coverUrl.empty()) row = r;
    }
    ASSERT_GE(row, 0);
    const auto& track = ctx->searchResults[static_cast<size_t>(row)];
    const std::string title = track.title + " - " + track.singer;

    list->scrollTo(list->model()->index(row, 2));
    Pump(50);
    const QRect cell = list->visualRect(list->model()->index(row, 2));
    ASSERT_TRUE(list->viewport()->rect().contains(cell.center()));
    DoubleClickAt(list->viewport(), cell.center());
    ASSERT_TRUE(PumpUntil([&] { return model.text(app::kPlayerTitle) == title; }))
        << model.text(app::kPlayerTitle);
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_TRUE(MessageBoxes().empty());

    const std::string length = model.text(app::kPlayerTime);
    const int total = Seconds(length);
    ASSERT_GT(total, 5) << length;

    // Three seconds of playback on the test's clock, and the ticks that follow them.
    for (int s = 0; s < 3; ++s) {
        clock->Advance(1s);
        Fire(app::kTimerPlay, EventType::TimerTick);
    }
    const int spins = 30;
    for (int i = 0; i < spins; ++i) Fire(app::kTimerCoverSpin, EventType::TimerTick);
    EXPECT_EQ(Seconds(model.text(app::kPlayerTime)), total - 3)
        << length << " then " << model.text(app::kPlayerTime);
    // The window's own cover timer turns it further while the window runs.
    EXPECT_GE(model.angle(app::kPlayerCover), spins);
    EXPECT_GT(model.position(app::kPlayerProgress), 0);

    view->flushChanges();
    Pump(150);
    const QImage shot = view->grab().toImage();
    QDir().mkpath(MM_SCREENSHOT_DIR);
    const QString path = QString(MM_SCREENSHOT_DIR) + "/player-preview-playing.png";
    ASSERT_TRUE(shot.save(path));
    std::printf("screenshot: %s\n", qPrintable(path));
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), view->size() * shot.devicePixelRatio());

    // What the window shows is what the program set.
    auto* time = Widget<QLabel>(app::kPlayerTime);
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->text().toStdString(), model.text(app::kPlayerTime));
    EXPECT_TRUE(time->isVisible());
    auto* name = Widget<QLabel>(app::kPlayerTitle);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text().toStdString(), title);

    auto* progress = Widget<QSlider>(app::kPlayerProgress);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->maximum(), model.maximum(app::kPlayerProgress));
    EXPECT_GT(progress->value(), 0);
    EXPECT_LT(progress->value(), progress->maximum());
    auto* volume = Widget<QSlider>(app::kPlayerVolume);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->value(), model.position(app::kPlayerVolume));
    EXPECT_TRUE(progress->isVisible() && volume->isVisible());

    auto* cover = Widget<ui::qt::PictureBox>(app::kPlayerCover);
    ASSERT_NE(cover, nullptr);
    EXPECT_TRUE(cover->isVisible());
    EXPECT_FALSE(cover->pixmap().isNull());
    // The window's spin timer keeps turning it; the picture lags the program by a tick or two at most.
    EXPECT_GE(cover->angle(), spins);
    EXPECT_LE(model.angle(app::kPlayerCover) - cover->angle(), 3);
    EXPECT_NE(model.picture(app::kPlayerCover), model.image(app::kImgDefaultCover))
        << "the track's own cover";
    EXPECT_GT(ColourCount(shot, InWindow(cover, shot)), 20) << "the cover area is flat";

    QWidget* play = view->controlWidget(app::kPlayerPlay);
    ASSERT_NE(play, nullptr);
    EXPECT_TRUE(play->isVisible());
    EXPECT_EQ(model.picture(app::kPlayerPlay), std::string(Resource("pause.png")));
    auto* playButton = qobject_cast<QAbstractButton*>(play);
    ASSERT_NE(playButton, nullptr);
    EXPECT_FALSE(playButton->icon().isNull()) << "the pause picture is drawn";

    EXPECT_TRUE(view->controlWidget(app::kPlayerBadgeStandard)->isVisible());
    EXPECT_TRUE(view->controlWidget(app::kPlayerBadgeHigh)->isVisible());
    EXPECT_EQ(view->controlWidget(app::kPlayerBadgeLossless)->isVisible(), !track.mid[2].empty());
    EXPECT_TRUE(view->controlWidget(app::kPlayerDownload)->isVisible());
    // The double-clicked row stays selected in the window.
    EXPECT_EQ(model.selection(app::kResultList), row);
}

TEST_F(PlayerWindow, AClickOnTheProgressBarJumpsThereAndADragSeeksWhenLetGo) {
    StartProgram();
    Search("demo");
    ASSERT_TRUE(PumpUntilIdle());
    Fire(app::kResultList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(PumpUntilIdle());
    const int total = Seconds(model.text(app::kPlayerTime));
    ASSERT_GT(total, 8) << model.text(app::kPlayerTime);
    auto* bar = Widget<ui::qt::SeekSlider>(app::kPlayerProgress);
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return bar->maximum() == model.maximum(app::kPlayerProgress); }));
    const int max = bar->maximum();
    const int y = bar->height() / 2;

    // A click at three quarters of the bar: the song goes there at once.
    QPoint at(bar->width() * 3 / 4, y);
    ASSERT_FALSE(bar->handleRect().contains(at));
    SendMouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    SendMouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    ASSERT_TRUE(PumpUntil([&] { return Seconds(model.text(app::kPlayerTime)) <= total / 2; }, 5000))
        << model.text(app::kPlayerTime) << " of " << total << " s: the click only stepped";
    EXPECT_NEAR(Seconds(model.text(app::kPlayerTime)), total / 4, 2);
    EXPECT_NEAR(model.position(app::kPlayerProgress), max * 3 / 4, max / 10);

    // A drag from the handle back to a quarter: the label follows the handle,
    // the song stays where it is until the handle is let go.
    Fire(app::kTimerPlay, EventType::TimerTick);  // the bar at the stream's own position
    ASSERT_TRUE(PumpUntil([&] { return bar->value() == model.position(app::kPlayerProgress); }));
    const int before = model.position(app::kPlayerProgress);
    int changes = 0;
    const int watch = model.subscribe([&](const ui::Change& c) {
        if (c.what == ui::Change::What::Property && c.control == app::kPlayerProgress) ++changes;
    });
    const QPoint from = bar->handleRect().center();
    SendMouse(bar, QEvent::MouseButtonPress, from, Qt::LeftButton);
    const QPoint to(bar->width() / 4, y);
    for (int step = 1; step <= 10; ++step) {
        const QPoint p(from.x() + (to.x() - from.x()) * step / 10, y);
        SendMouse(bar, QEvent::MouseMove, p, Qt::LeftButton);
        Pump(10);
    }
    ASSERT_TRUE(PumpUntil([&] { return Seconds(model.text(app::kPlayerTime)) >= total / 2; }, 5000))
        << model.text(app::kPlayerTime) << ": the label stood still";
    EXPECT_NEAR(Seconds(model.text(app::kPlayerTime)), total * 3 / 4, 2);
    EXPECT_EQ(model.position(app::kPlayerProgress), before);
    EXPECT_EQ(changes, 0) << "no seek while the handle is held";

    SendMouse(bar, QEvent::MouseButtonRelease, to, Qt::NoButton);
    ASSERT_TRUE(PumpUntil([&] { return model.position(app::kPlayerProgress) != before; }, 5000));
    model.unsubscribe(watch);
    EXPECT_NEAR(model.position(app::kPlayerProgress), max / 4, max / 10);
    // The stream is there now: the next tick reads the same time.
    Fire(app::kTimerPlay, EventType::TimerTick);
    EXPECT_NEAR(Seconds(model.text(app::kPlayerTime)), total * 3 / 4, 2);
}

TEST_F(PlayerWindow, TheDownloadAllJobsBoxOpensOnTheWindowsThread) {
    StartProgram();
    // Boxes shown as dialogs again, as in the program.
    auto* host = new ui::qt::MessageBoxHost(model, view.get());
    std::atomic<bool> done{false};
    std::thread job([&] {
        app::WorkerPool batch(nullptr);
        batch.FailNextThreadStarts(1000);  // its pool cannot start a thread
        download::RunDownloadAll(*ctx, batch);
        done = true;
    });
    // The dialog runs its own event loop: look at it from a timer.
    QString title, text;
    bool onGuiThread = false, jobWaited = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll.stop();
        title = box->windowTitle();
        for (QLabel* l : box->findChildren<QLabel*>()) text += l->text();
        onGuiThread = box->thread() == QCoreApplication::instance()->thread();
        jobWaited = !done.load();
        box->findChild<QPushButton*>()->click();
    });
    poll.start();
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 20000)) << "no box came up, or it was never answered";
    poll.stop();
    job.join();
    delete host;
    EXPECT_EQ(title, QStringLiteral("信息："));
    EXPECT_TRUE(text.contains(QStringLiteral("线程池创建失败！2"))) << text.toStdString();
    EXPECT_TRUE(onGuiThread);
    EXPECT_TRUE(jobWaited) << "the job waits until the box is dismissed";
}

}  // namespace
}  // namespace mm::test
