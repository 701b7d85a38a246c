// The list boxes: rows written from workers, rows removed in the middle,
// icons and progress, and the row events.
#include <QContextMenuEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <mutex>
#include <thread>

#include "platform/ui/qt/list_box.h"
#include "view_fixture.h"

namespace mm::ui::qt::test {
namespace {

class ListBindingTest : public ViewFixture {
  protected:
    ListBoxView* results() { return widget<ListBoxView>("列表框_搜索"); }
    ListBoxView* downloads() { return widget<ListBoxView>("列表框_下载"); }
    static QString text(ListBoxView* v, int row, int col) {
        return v->model()->index(row, col).data(Qt::DisplayRole).toString();
    }
    std::mutex rowsMu_;
};

TEST_F(ListBindingTest, ColumnsAndRowHeightComeFromTheDesign) {
    ASSERT_EQ(results()->model()->columnCount(), 6);
    EXPECT_EQ(results()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("歌曲"));
    EXPECT_EQ(results()->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("时长"));
    EXPECT_EQ(results()->model()->headerData(5, Qt::Horizontal).toString(), QString());
    fillSearchRows(2);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 2; }));
    EXPECT_EQ(results()->rowHeight(0), 40);
}

TEST_F(ListBindingTest, RowsWrittenByManyWorkersAllArrive) {
    const std::string list = "列表框_搜索";
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 25; ++i) {
                std::lock_guard lk(rowsMu_);  // like the list lock of the program
                const int r = model.insertRow(list, -1);
                model.setCellText(list, r, 1, "w" + std::to_string(w) + "-" + std::to_string(i));
                model.setCellIcon(list, r, 1, "badge_high");
            }
        });
    }
    for (auto& t : workers) t.join();
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 100; }));
    pump(20);
    for (int r = 0; r < 100; ++r) {
        EXPECT_EQ(text(results(), r, 1).toStdString(), model.cellText(list, r, 1)) << r;
        EXPECT_FALSE(results()->model()->index(r, 1).data(Qt::DecorationRole).value<QPixmap>().isNull());
    }
}

TEST_F(ListBindingTest, DeletingAMiddleRowShiftsTheRowsBelow) {
    fillSearchRows(5);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 5; }));
    const QString third = text(results(), 2, 1);
    model.deleteRow("列表框_搜索", 1);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 4; }));
    EXPECT_EQ(text(results(), 1, 1), third);
    model.insertRow("列表框_搜索", 0);
    model.setCellText("列表框_搜索", 0, 1, "新的第一行");
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 5; }));
    EXPECT_EQ(text(results(), 0, 1), QStringLiteral("新的第一行"));
    EXPECT_EQ(text(results(), 2, 1), third);
    model.deleteRow("列表框_搜索", -1);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 0; }));
}

TEST_F(ListBindingTest, DownloadRowsShowTwoLinesStatusAndProgress) {
    fillDownloadRows();
    ASSERT_TRUE(waitUntil([&] { return downloads()->model()->rowCount() == 7; }));
    EXPECT_EQ(downloads()->rowHeight(0), 50);
    EXPECT_EQ(text(downloads(), 0, 0), QStringLiteral("晴天 - 周杰伦 \n[叶惠美]"));
    const auto progress = [&](int row) {
        return downloads()->model()->index(row, 1).data(ListTableModel::kProgressRole).toInt();
    };
    EXPECT_EQ(progress(0), -1);
    EXPECT_EQ(progress(1), 42);
    // A worker updating one row's status and bar.
    fromWorker([&] {
        model.setCellText("列表框_下载", 1, 1, "下载完成");
        model.setCellIcon("列表框_下载", 1, 1, "status_done");
        model.setRowProgress("列表框_下载", 1, -1);
        model.setRowProgress("列表框_下载", 2, 88);
    });
    ASSERT_TRUE(waitUntil([&] { return progress(2) == 88; }));
    EXPECT_EQ(progress(1), -1);
    EXPECT_EQ(text(downloads(), 1, 1), QStringLiteral("下载完成"));
    // A failed row says why in its tool tip, and only there.
    const auto tip = [&](int row) {
        return downloads()->model()->index(row, 1).data(Qt::ToolTipRole).toString();
    };
    EXPECT_TRUE(tip(1).isEmpty());
    fromWorker([&] {
        model.setCellText("列表框_下载", 3, 1, "下载失败");
        model.setCellTip("列表框_下载", 3, 1, "没有写入权限\r\n/music/a.mp3");
    });
    ASSERT_TRUE(waitUntil([&] { return !tip(3).isEmpty(); }));
    EXPECT_EQ(tip(3), QStringLiteral("没有写入权限\n/music/a.mp3"));
    EXPECT_EQ(text(downloads(), 3, 1), QStringLiteral("下载失败"));
    fromWorker([&] { model.setCellTip("列表框_下载", 3, 1, ""); });
    ASSERT_TRUE(waitUntil([&] { return tip(3).isEmpty(); }));
    // An icon re-registered under the same name is redrawn from the new bytes.
    const qint64 before =
        downloads()->model()->index(1, 1).data(Qt::DecorationRole).value<QPixmap>().cacheKey();
    model.registerImage("status_done", model.image("status_failed"));
    ASSERT_TRUE(waitUntil([&] {
        return downloads()->model()->index(1, 1).data(Qt::DecorationRole).value<QPixmap>().cacheKey() !=
               before;
    }));
}

TEST_F(ListBindingTest, RightClickDoubleClickAndSelection) {
    record("列表框_搜索", EventType::RowRightClick);
    record("列表框_搜索", EventType::RowDoubleClick);
    fillSearchRows(3);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 3; }));
    pump(30);
    QWidget* vp = results()->viewport();
    const QPoint row1 = results()->visualRect(results()->model()->index(1, 2)).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, row1, vp->mapToGlobal(row1));
    QCoreApplication::sendEvent(vp, &menuEvent);
    // A double click is a click followed by a second press that the platform marks as double.
    const QPoint row2 = results()->visualRect(results()->model()->index(2, 1)).center();
    QTest::mouseClick(vp, Qt::LeftButton, {}, row2);
    QTest::mouseDClick(vp, Qt::LeftButton, {}, row2);
    ASSERT_TRUE(waitUntil([&] { return recorded("列表框_搜索", EventType::RowDoubleClick).size() == 1; }));
    ASSERT_EQ(recorded("列表框_搜索", EventType::RowRightClick).size(), 1u);
    EXPECT_EQ(recorded("列表框_搜索", EventType::RowRightClick)[0].arg, 1);
    EXPECT_EQ(recorded("列表框_搜索", EventType::RowDoubleClick)[0].arg, 2);
    // Right-click below the last row: a negative row.
    const QPoint empty(20, vp->height() - 5);
    QContextMenuEvent emptyEvent(QContextMenuEvent::Mouse, empty, vp->mapToGlobal(empty));
    QCoreApplication::sendEvent(vp, &emptyEvent);
    ASSERT_TRUE(waitUntil([&] { return recorded("列表框_搜索", EventType::RowRightClick).size() == 2; }));
    EXPECT_LT(recorded("列表框_搜索", EventType::RowRightClick)[1].arg, 0);
    // The program selects the row being previewed.
    model.setSelection("列表框_搜索", 0);
    ASSERT_TRUE(waitUntil([&] { return results()->selectionModel()->isRowSelected(0, {}); }));
}

TEST_F(ListBindingTest, WheelPastTheLastRowAsksForMore) {
    record("列表框_搜索", EventType::ScrolledPastEnd);
    fillSearchRows(40);
    ASSERT_TRUE(waitUntil([&] { return results()->model()->rowCount() == 40; }));
    pump(30);
    QWidget* vp = results()->viewport();
    auto wheel = [&](int dy) {
        const QPointF at(vp->width() / 2.0, vp->height() / 2.0);
        QWheelEvent e(at, vp->mapToGlobal(at), {}, QPoint(0, dy), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &e);
        pump(10);
    };
    wheel(-120);  // the top of a long list: just scrolls
    pump(30);
    EXPECT_TRUE(recorded("列表框_搜索", EventType::ScrolledPastEnd).empty());
    QScrollBar* bar = results()->verticalScrollBar();
    bar->setValue(bar->maximum());
    wheel(120);  // upwards at the end: nothing
    bar->setValue(bar->maximum());
    wheel(-120);
    ASSERT_TRUE(waitUntil([&] { return recorded("列表框_搜索", EventType::ScrolledPastEnd).size() == 1; }));
    pump(50);
    EXPECT_EQ(recorded("列表框_搜索", EventType::ScrolledPastEnd).size(), 1u);  // one notch, one request
}

}  // namespace
}  // namespace mm::ui::qt::test
