// What the window tells and shows: the lines in the lists, the download list
// following new rows, long texts shortened with their whole text in a tool
// tip, the folder chooser refusing a read-only folder, and the window at its
// smallest and on a large screen.
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolTip>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <filesystem>

#include "app/control_names.h"
#include "platform/sys/files.h"
#include "platform/ui/qt/elided_label.h"
#include "platform/ui/qt/folder_chooser.h"
#include "platform/ui/qt/list_box.h"
#include "platform/ui/qt/message_box.h"
#include "platform/ui/qt/selector_combo.h"
#include "platform/ui/qt/window_placement.h"
#include "tests/app/window/window_fixture.h"

namespace mm::test {
namespace {

using ui::EventType;
using ui::qt::ListBoxView;

class WindowFeedback : public WindowFixture {
protected:
    ListBoxView* List(const char* name) { return Widget<ListBoxView>(name); }
    void ListSongs(const char* keyword) {
        Search(keyword);
        ASSERT_TRUE(PumpUntil(
            [&] { return List(app::kResultList)->model()->rowCount() == model.rowCount(app::kResultList); }));
        view->flushChanges();
        Pump(30);
    }
    // The notice's rectangle in the window's picture.
    QRect NoticeInWindow(ListBoxView* list) {
        const QRect r = list->noticeRect().intersected(list->viewport()->rect());
        return QRect(list->viewport()->mapTo(view.get(), r.topLeft()), r.size());
    }
    // Whether the widget lies wholly inside the window, every part of it shown.
    // A widget of a fixed size is drawn for that size.
    bool WhollyShown(QWidget* w) {
        const QRect inWindow(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        if (!view->rect().contains(inWindow)) return false;
        if (w->minimumSize() == w->maximumSize()) return true;
        return w->width() >= w->minimumSizeHint().width() && w->height() >= w->minimumSizeHint().height();
    }
};

TEST_F(WindowFeedback, EmptySearchSaysSoInTheList) {
    StartProgram();
    ListSongs("zzzz-no-such-song");
    ListBoxView* list = List(app::kResultList);
    EXPECT_EQ(list->notice(), QStringLiteral("没有找到相关歌曲"));
    EXPECT_EQ(Widget<QLabel>(app::kListHeading)->text().toStdString(),
              "搜索: zzzz-no-such-song · " + model.comboItem(app::kSourceCombo, 0)->text);
    const QImage img = Shot("empty-search");
    EXPECT_GT(DifferentPixels(img, NoticeInWindow(list)), 100) << "the line is painted in the list";
}

TEST_F(WindowFeedback, LoadingPictureStandsOverTheListWhileSearching) {
    StartProgram();
    democat::Fault slow;
    slow.delay_ms = 1200;
    catalogue.faults().Set(democat::Endpoint::kSearch, slow);
    model.setText(app::kSearchBox, "demo");
    events.fire({app::kSearchButton, EventType::Click, 0, {}});
    QWidget* loading = Widget(app::kLoading);
    ASSERT_TRUE(PumpUntil([&] { return loading->isVisible(); }));
    ListBoxView* list = List(app::kResultList);
    const QRect inList(loading->mapTo(list, QPoint(0, 0)), loading->size());
    EXPECT_TRUE(list->rect().contains(inList)) << "over the list, in its middle";
    EXPECT_TRUE(list->notice().isEmpty());
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_FALSE(loading->isVisible());
}

TEST_F(WindowFeedback, EndOfALongListHasItsLastLine) {
    StartProgram();
    ListSongs("demo");
    for (int i = 0; i < 3; ++i) {
        Fire(app::kResultList, EventType::ScrolledPastEnd);
        ASSERT_TRUE(PumpUntilIdle());
    }
    ListBoxView* list = List(app::kResultList);
    ASSERT_TRUE(PumpUntil([&] { return list->model()->rowCount() == model.rowCount(app::kResultList); }));
    EXPECT_EQ(list->notice(), QStringLiteral("已经到底了，没有更多歌曲了"));
    // Scrolled to the very end, the line stands below the last row.
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    Pump(50);
    const int last = list->model()->rowCount() - 1;
    const QRect lastRow = list->visualRect(list->model()->index(last, 0));
    const QRect line = list->noticeRect();
    EXPECT_TRUE(list->viewport()->rect().contains(lastRow));
    EXPECT_TRUE(list->viewport()->rect().contains(line)) << "the end line can be scrolled into view";
    EXPECT_GE(line.top(), lastRow.bottom());
    const QImage img = Shot("end-of-list");
    EXPECT_GT(DifferentPixels(img, NoticeInWindow(list)), 100);
}

TEST_F(WindowFeedback, DownloadListFollowsANewRowAndSaysHowToAddSongs) {
    StartProgram();
    model.setSelection(app::kTabs, 1);
    ListBoxView* downloads = List(app::kDownloadList);
    ASSERT_TRUE(PumpUntil([&] { return downloads->isVisible(); }));
    EXPECT_FALSE(downloads->notice().isEmpty()) << "the empty list says how to add songs";
    EXPECT_TRUE(downloads->notice().contains(QStringLiteral("下载 - 单曲")));
    Shot("empty-download-list");

    // Rows of earlier downloads fill the list past its end...
    for (int i = 0; i < 20; ++i) {
        const int r = model.insertRow(app::kDownloadList, -1);
        model.setCellText(app::kDownloadList, r, 0, "早先的下载 " + std::to_string(i + 1) + "\r\n[专辑]");
        model.setCellText(app::kDownloadList, r, 1, "下载完成");
    }
    ASSERT_TRUE(PumpUntil([&] { return downloads->model()->rowCount() == 20; }));
    downloads->scrollToTop();
    Pump(30);
    ASSERT_GT(downloads->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(downloads->notice().isEmpty());

    // ... and a real download queued from the search page shows its row.
    model.setSelection(app::kTabs, 0);
    Search("Nora");
    model.setSelection(app::kResultList, 0);
    Fire(app::kWindow, EventType::Shortcut, 0, "Ctrl+D");
    Click(Widget(app::kTierButtonStandard));
    ASSERT_TRUE(PumpUntilIdle());
    ASSERT_EQ(model.rowCount(app::kDownloadList), 21);
    model.setSelection(app::kTabs, 1);
    ASSERT_TRUE(PumpUntil([&] { return downloads->isVisible(); }));
    Pump(50);
    const QRect newRow = downloads->visualRect(downloads->model()->index(20, 0));
    EXPECT_TRUE(downloads->viewport()->rect().contains(newRow)) << "the list scrolled to the new row";
    Shot("download-list-new-row");
}

TEST_F(WindowFeedback, RunningDownloadsAreCountedOnTheDownloadPageEntry) {
    StartProgram();
    QLabel* badge = Widget<QLabel>(app::kRunningDownloads);
    EXPECT_FALSE(badge->isVisible());
    democat::Fault slow;
    slow.delay_ms = 1500;
    catalogue.faults().Set(democat::Endpoint::kAudio, slow);
    Search("Nora");
    model.setSelection(app::kResultList, 0);
    Fire(app::kWindow, EventType::Shortcut, 0, "Ctrl+D");
    Click(Widget(app::kTierButtonStandard));
    ASSERT_TRUE(PumpUntil([&] { return badge->isVisible(); }));
    EXPECT_EQ(badge->text(), QStringLiteral("1"));
    EXPECT_TRUE(Widget(app::kToolDownloads)->isAncestorOf(badge));
    Shot("running-downloads");
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_FALSE(badge->isVisible());
}

TEST_F(WindowFeedback, LongPlayerTitleIsShortenedAtACharacterBoundary) {
    StartProgram();
    auto* title = Widget<ui::qt::ElidedLabel>(app::kPlayerTitle);
    ASSERT_NE(title, nullptr);
    const QString full = QStringLiteral("很长很长的歌名🎵用来测试列表里的截断显示 - 周杰伦与他的朋友们超级乐队合唱团 ");
    model.setText(app::kPlayerTitle, full.toStdString());
    view->flushChanges();
    EXPECT_TRUE(title->isElided());
    const int width = title->width();
    int elided = 0;
    for (int w = 40; w <= width; w += 3) {
        title->setFixedWidth(w);
        const QString shown = title->shownText();
        if (shown == full) continue;
        ++elided;
        ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << w;
        const QString kept = shown.chopped(1);
        ASSERT_TRUE(full.startsWith(kept)) << w;
        ASSERT_TRUE(kept.isEmpty() || !kept.back().isHighSurrogate()) << "a character cut in two at " << w;
        ASSERT_LE(title->fontMetrics().horizontalAdvance(shown), title->contentsRect().width()) << w;
    }
    EXPECT_GT(elided, 20);
    title->setFixedWidth(width);

    // The whole title in the tool tip.
    QHelpEvent help(QEvent::ToolTip, title->rect().center(), title->mapToGlobal(title->rect().center()));
    QApplication::sendEvent(title, &help);
    ASSERT_TRUE(PumpUntil([&] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text(), full);
    QToolTip::hideText();
    Shot("player-title-elided");
}

TEST_F(WindowFeedback, ShortenedCellsShowTheirWholeTextInAToolTip) {
    StartProgram();
    ListSongs("很长很长");
    ListBoxView* list = List(app::kResultList);
    ASSERT_EQ(list->model()->rowCount(), 1);
    const QModelIndex singer = list->model()->index(0, 2);
    EXPECT_EQ(list->toolTipAt(singer), QStringLiteral("周杰伦与他的朋友们超级乐队合唱团 "));
    const QRect cell = list->visualRect(singer);
    QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(list->viewport(), &help);
    ASSERT_TRUE(PumpUntil([&] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("周杰伦与他的朋友们超级乐队合唱团 "));
    // The tip wears the skin's colours.
    const QColor tipBack = QToolTip::palette().color(QPalette::ToolTipBase);
    EXPECT_EQ(tipBack, QColor(0xFF, 0xF7, 0xEF));
    QToolTip::hideText();

    // A title the column is too narrow for: the tip shows it whole; the row number needs none.
    const QModelIndex titleCell = list->model()->index(0, 1);
    list->setColumnWidth(1, 90);
    list->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Interactive);
    list->setColumnWidth(1, 90);
    Pump(30);
    EXPECT_EQ(list->toolTipAt(titleCell), QString::fromStdString(ctx->searchResults[0].title));
    EXPECT_EQ(list->toolTipAt(list->model()->index(0, 0)), QString());
}

TEST_F(WindowFeedback, FolderChooserInChineseRefusesAReadOnlyFolder) {
    StartProgram();
    RealMessageBoxes();
    // A folder no file can be created in: read-only for a user, immutable for root.
    const std::string readOnly = tempDir + "/只读文件夹";
    std::filesystem::create_directories(readOnly);
    chmod(readOnly.c_str(), 0555);
    bool immutable = false;
    if (sys::CanCreateFilesIn(readOnly))
        immutable = std::system(("chattr +i '" + readOnly + "' 2>/dev/null").c_str()) == 0;
    if (sys::CanCreateFilesIn(readOnly)) GTEST_SKIP() << "no way to make a read-only folder here";

    // The real chooser, on the GUI thread, as the program's window uses it.
    QPointer<ui::qt::MainWindowView> owner = view.get();
    ctx->shell.chooseFolder = [owner](const std::string& title, const std::string& start) {
        std::string chosen;
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                chosen = ui::qt::ChooseFolder(owner, QString::fromStdString(title), QString::fromStdString(start))
                             .toStdString();
            },
            Qt::BlockingQueuedConnection);
        return chosen;
    };

    QObject scope;
    QPointer<QFileDialog> chooser;
    QPointer<ui::qt::MessageBoxDialog> box;
    bool chooserSeen = false, boxSeen = false;
    std::function<void()> act = [&] {
        if (!chooserSeen) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == ui::qt::kFolderChooserName && w->isVisible())
                    chooser = qobject_cast<QFileDialog*>(w);
            }
            if (chooser) {
                chooserSeen = true;
                Pump(300);
                EXPECT_EQ(chooser->windowTitle(), QStringLiteral("选择保存音乐的路径"));
                EXPECT_EQ(QDir(chooser->directory()).absolutePath().toStdString() + "/", saveDir)
                    << "it opens in the folder in use";
                bool chinese = false;
                for (QPushButton* b : chooser->findChildren<QPushButton*>())
                    chinese = chinese || b->text() == QStringLiteral("取消");
                EXPECT_TRUE(chinese) << "Qt's own texts in Chinese";
                // Qt's plain look, not the window's dark sidebar.
                QWidget* places = chooser->findChild<QWidget*>("sidebar");
                ASSERT_NE(places, nullptr);
                EXPECT_GT(places->grab().toImage().pixelColor(5, 5).lightness(), 200);
                EXPECT_TRUE(chooser->styleSheet().isEmpty());
                const QImage shot = Shot("folder-chooser", {chooser});
                (void)shot;
                // The user goes into the folder and presses 选择.
                chooser->setDirectory(QString::fromStdString(readOnly));
                Pump(100);
                QPushButton* choose = nullptr;
                for (QPushButton* b : chooser->findChildren<QPushButton*>())
                    if (b->text().startsWith(QStringLiteral("选择"))) choose = b;
                ASSERT_NE(choose, nullptr);
                choose->click();
            }
        } else if (!boxSeen) {
            box = qobject_cast<ui::qt::MessageBoxDialog*>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                boxSeen = true;
                Pump(100);
                Shot("folder-refused", {box});
                box->accept();
                return;
            }
        }
        if (!boxSeen) QTimer::singleShot(30, &scope, act);
    };
    QTimer::singleShot(0, &scope, act);
    events.fire({app::kButtonChangeFolder, EventType::Click, 0, {}});
    ASSERT_TRUE(PumpUntil([&] { return boxSeen && !box; }, 20000));
    ASSERT_TRUE(PumpUntil([&] { return WaitIdle(std::chrono::milliseconds(50)); }));

    ASSERT_EQ(model.messageBoxLog().size(), 1u);
    EXPECT_EQ(model.messageBoxLog()[0].title, "code:403");
    EXPECT_NE(model.messageBoxLog()[0].text.find(readOnly), std::string::npos);
    EXPECT_EQ(model.text(app::kLabelSavePath), saveDir) << "the folder in use stays";
    if (immutable) std::system(("chattr -i '" + readOnly + "'").c_str());
}

TEST_F(WindowFeedback, SmallestWindowShowsEverythingAndALargeOneGrows) {
    StartProgram();
    ListSongs("demo");
    model.setText(app::kPlayerTitle, "很长很长的歌名用来测试列表里的截断显示 - 周杰伦与他的朋友们超级乐队合唱团 ");
    model.setText(app::kPlayerTime, "03:27");
    for (const char* b : {app::kPlayerBadgeStandard, app::kPlayerBadgeHigh, app::kPlayerBadgeLossless,
                          app::kPlayerDownload})
        model.setVisible(b, true);
    EXPECT_EQ(view->minimumSize(), QSize(900, 600));
    view->resize(view->minimumSize());
    Pump(100);
    ASSERT_EQ(view->size(), QSize(900, 600));
    const std::vector<const char*> controls = {
        app::kSearchBox,      app::kSearchButton,         app::kSourceCombo,         app::kImportQQ,
        app::kImportKugou,    app::kListHeading,          app::kResultList,          app::kPlayerTitle,
        app::kPlayerPrevious, app::kPlayerPlay,           app::kPlayerNext,          app::kPlayerProgress,
        app::kPlayerTime,     app::kPlayerMute,           app::kPlayerVolume,        app::kPlayerCover,
        app::kPlayerDownload, app::kPlayerBadgeLossless,  app::kToolSearch,          app::kToolSettings};
    std::vector<QRect> rects;
    for (const char* name : controls) {
        QWidget* w = Widget(name);
        ASSERT_TRUE(w->isVisible()) << name;
        EXPECT_TRUE(WhollyShown(w)) << name << " is cut at the smallest size";
        rects.emplace_back(w->mapTo(view.get(), QPoint(0, 0)), w->size());
    }
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size(); ++j)
            EXPECT_FALSE(rects[i].intersects(rects[j])) << controls[i] << " overlaps " << controls[j];
    // The list's columns fit its width: no sideways scrolling.
    EXPECT_EQ(List(app::kResultList)->horizontalScrollBar()->maximum(), 0);
    Shot("min-size");

    // Each page at the smallest size.
    for (int page : {1, 2}) {
        model.setSelection(app::kTabs, page);
        Pump(60);
        for (QWidget* w : view->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->window() != view.get() || w->width() == 0) continue;
            if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QLineEdit*>(w)) {
                EXPECT_TRUE(WhollyShown(w)) << "page " << page << ": " << w->metaObject()->className() << " "
                                            << qPrintable(w->objectName());
            }
        }
        Shot(QStringLiteral("min-size-page-%1").arg(page));
    }
    model.setSelection(app::kTabs, 0);

    view->resize(1920, 1080);
    Pump(100);
    ASSERT_EQ(view->size(), QSize(1920, 1080));
    ListBoxView* list = List(app::kResultList);
    EXPECT_GT(list->width(), 1500) << "the list takes the room";
    EXPECT_GT(list->viewport()->height(), 18 * 40) << "most of a page of results without scrolling";
    EXPECT_GT(Widget(app::kPlayerProgress)->width(), 900);
    for (int c = 1; c < 4; ++c) EXPECT_GT(list->columnWidth(c), 150) << "column " << c;
    Shot("1920x1080");
}

TEST_F(WindowFeedback, SourceSelectorHasItsArrowAndASkinnedList) {
    StartProgram();
    auto* combo = Widget<ui::qt::SelectorCombo>(app::kSourceCombo);
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return combo->count() == model.comboCount(app::kSourceCombo); }));
    ASSERT_GT(combo->count(), 1);
    const QImage plain = combo->grab().toImage();
    EXPECT_GT(DifferentPixels(plain, combo->arrowRect().adjusted(2, 8, -2, -8)), 8) << "a drop-down arrow";
    combo->showPopup();
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(PumpUntil([&] { return popup->isVisible(); }));
    // The list in the skin: the chosen source is marked in the skin's pale accent.
    const QImage list = combo->view()->grab().toImage();
    int marked = 0;
    for (int y = 0; y < list.height(); ++y)
        for (int x = 0; x < list.width(); ++x) marked += list.pixelColor(x, y) == QColor(0xFD, 0xEC, 0xEE);
    EXPECT_GT(marked, 100);
    Shot("source-selector-open", {popup});
    combo->hidePopup();
}

TEST(WindowPlacement, ComesBackWithinTheScreensAndTheMinimumSize) {
    WindowFixture::SetUpTestSuite();
    QWidget window;
    window.setMinimumSize(900, 600);
    ui::qt::Placement p;
    p.hasSize = true;
    p.size = QSize(1280, 800);
    p.hasPosition = true;
    p.position = QPoint(30, 20);
    ui::qt::PlaceWindow(window, p);
    EXPECT_EQ(window.size(), QSize(1280, 800));
    EXPECT_EQ(window.pos(), QPoint(30, 20));
    window.show();
    Pump(30);
    const ui::qt::Placement read = ui::qt::ReadPlacement(window);
    EXPECT_TRUE(read.hasSize && read.hasPosition);
    EXPECT_EQ(read.size, QSize(1280, 800));
    EXPECT_FALSE(read.maximized);

    // Smaller than the window may be, and on a screen that is no longer there.
    QWidget other;
    other.setMinimumSize(900, 600);
    other.move(10, 10);
    p.size = QSize(300, 200);
    p.position = QPoint(50000, 50000);
    ui::qt::PlaceWindow(other, p);
    EXPECT_EQ(other.size(), QSize(900, 600));
    EXPECT_EQ(other.pos(), QPoint(10, 10)) << "no position off every screen";

    // A maximised window is remembered with the size it returns to.
    QWidget big;
    big.setMinimumSize(900, 600);
    p.size = QSize(1000, 700);
    p.position = QPoint(20, 20);
    p.maximized = true;
    ui::qt::PlaceWindow(big, p);
    big.show();
    Pump(30);
    const ui::qt::Placement again = ui::qt::ReadPlacement(big);
    EXPECT_TRUE(again.maximized);
    EXPECT_EQ(again.size, QSize(1000, 700));
}

}  // namespace
}  // namespace mm::test
