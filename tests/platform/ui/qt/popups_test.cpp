// Menus, message boxes, tips, the child panels and closing the window.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/ui/qt/list_box.h"
#include "view_fixture.h"

namespace mm::ui::qt::test {
namespace {

class PopupsTest : public ViewFixture {
  protected:
    static QAction* actionWithId(QMenu* m, int id) {
        for (QAction* a : m->actions()) {
            if (a->data().toInt() == id) return a;
        }
        return nullptr;
    }
};

TEST_F(PopupsTest, MenuShowsItemsAndReportsTheChoice) {
    defineTrackMenu();
    record("track_menu", EventType::MenuChoice);
    model.popUpMenu("track_menu");
    ASSERT_TRUE(
        waitUntil([&] { return view->openMenu("track_menu") && view->openMenu("track_menu")->isVisible(); }));
    QMenu* menu = view->openMenu("track_menu");
    ASSERT_EQ(menu->actions().size(), 7);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("试听"));
    EXPECT_FALSE(actionWithId(menu, 2)->isEnabled());  // "下载 - 歌单全部歌曲" starts disabled
    ASSERT_NE(actionWithId(menu, 1)->menu(), nullptr);
    EXPECT_EQ(actionWithId(menu, 1)->menu()->actions().size(), 3);

    // The program enables an entry while the menu is open.
    model.setMenuItemDisabled("track_menu", 2, false);
    ASSERT_TRUE(waitUntil([&] { return actionWithId(menu, 2)->isEnabled(); }));

    actionWithId(menu, 3)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !model.isMenuPoppedUp("track_menu"); }));
    ASSERT_TRUE(waitUntil([&] { return recorded("track_menu", EventType::MenuChoice).size() == 1; }));
    EXPECT_EQ(recorded("track_menu", EventType::MenuChoice)[0].arg, 3);
}

TEST_F(PopupsTest, SubmenuEntriesAreRewrittenBeforeTheyShow) {
    defineTrackMenu();
    std::vector<int> parents;
    events->on("track_menu", EventType::MenuAboutToShow, [&](const Event& e) {
        parents.push_back(e.arg);
        model.setMenuItemText("track_menu", 5002, "无资源");
        model.setMenuItemDisabled("track_menu", 5002, true);
    });
    model.popUpMenu("track_menu");
    ASSERT_TRUE(
        waitUntil([&] { return view->openMenu("track_menu") && view->openMenu("track_menu")->isVisible(); }));
    QMenu* sub = actionWithId(view->openMenu("track_menu"), 1)->menu();
    bool rewrittenWhenShown = false;
    QObject::connect(sub, &QMenu::aboutToShow, sub, [&] {
        // Connected after the view's handler, so this runs once it is done.
        QAction* high = actionWithId(sub, 5002);
        rewrittenWhenShown = high && high->text() == QStringLiteral("无资源") && !high->isEnabled();
    });
    sub->popup(view->mapToGlobal(QPoint(300, 200)));
    ASSERT_TRUE(waitUntil([&] { return sub->isVisible(); }));
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(parents[0], 1);
    EXPECT_TRUE(rewrittenWhenShown);
    EXPECT_TRUE(actionWithId(sub, 5001)->isEnabled());
}

TEST_F(PopupsTest, ClickingAnItemWithASubmenuChoosesIt) {
    defineTrackMenu();
    record("track_menu", EventType::MenuChoice);
    model.popUpMenu("track_menu");
    ASSERT_TRUE(
        waitUntil([&] { return view->openMenu("track_menu") && view->openMenu("track_menu")->isVisible(); }));
    QMenu* menu = view->openMenu("track_menu");
    const QRect r = menu->actionGeometry(actionWithId(menu, 1));
    QTest::mouseClick(menu, Qt::LeftButton, {}, r.center());
    ASSERT_TRUE(waitUntil([&] { return recorded("track_menu", EventType::MenuChoice).size() == 1; }));
    EXPECT_EQ(recorded("track_menu", EventType::MenuChoice)[0].arg, 1);
    EXPECT_TRUE(waitUntil([&] { return !model.isMenuPoppedUp("track_menu"); }));
}

TEST_F(PopupsTest, ProgramClosesItsMenu) {
    defineTrackMenu();
    model.popUpMenu("track_menu");
    ASSERT_TRUE(waitUntil([&] { return view->openMenu("track_menu") != nullptr; }));
    model.closeMenu("track_menu");
    EXPECT_TRUE(waitUntil([&] { return view->openMenu("track_menu") == nullptr; }));
}

TEST_F(PopupsTest, WorkerWaitsForTheMessageBox) {
    std::atomic<bool> returned{false};
    QString title, buttonText;
    bool heldWhileShown = false;
    // The box runs its own event loop on this thread: look at it from a timer.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll.stop();
        title = box->windowTitle();
        QPushButton* button = box->findChild<QPushButton*>();
        if (button) buttonText = button->text();
        QTimer::singleShot(100, box, [&, box, button] {
            heldWhileShown = !returned.load();
            if (button) {
                QTest::mouseClick(button, Qt::LeftButton);
            } else {
                box->reject();
            }
        });
    });
    poll.start();
    std::thread worker([&] {
        model.messageBox(MessageBoxRequest{"code:886", "数据获取失败，请检查网络连接！", "好的", "窗口EX1"});
        returned = true;
    });
    const bool done = waitUntil([&] { return returned.load(); }, 5000);
    if (!done && QApplication::activeModalWidget()) QApplication::activeModalWidget()->close();
    worker.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(title, QStringLiteral("code:886"));
    EXPECT_EQ(buttonText, QStringLiteral("好的"));
    EXPECT_TRUE(heldWhileShown);
    EXPECT_EQ(model.messageBoxLog().size(), 1u);
}

TEST_F(PopupsTest, WorkerWaitingOnABoxIsReleasedWhenTheWindowGoes) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        model.messageBox(MessageBoxRequest{"code:404", "x", "好的", ""});
        returned = true;
    });
    // Give the worker time to queue its box, then drop the window before it runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(model.messageBoxLog().size(), 1u);
    view.reset();
    worker.join();
    EXPECT_TRUE(returned.load());
}

TEST_F(PopupsTest, TipShowsNearTheCursorAndCloses) {
    model.showTip("我是企鹅！\r\n\r\n复制好歌单链接点我，懂我意思吧？", "logo_qq", {3000, 10, 0xFFF7EFF7});
    ASSERT_TRUE(waitUntil([&] { return view->tipWidget()->isVisible(); }));
    bool found = false;
    for (QLabel* l : view->tipWidget()->findChildren<QLabel*>()) {
        if (l->text().startsWith(QStringLiteral("我是企鹅！\n"))) found = true;
    }
    EXPECT_TRUE(found);
    model.closeTip();
    EXPECT_TRUE(waitUntil([&] { return !view->tipWidget()->isVisible(); }));
    // A short display time hides it by itself.
    model.showTip("下拉选择更多音源哦！", "", {50});
    ASSERT_TRUE(waitUntil([&] { return view->tipWidget()->isVisible(); }));
    EXPECT_TRUE(waitUntil([&] { return !view->tipWidget()->isVisible(); }, 1000));
}

TEST_F(PopupsTest, PressOutsideTheTierPanelDeactivatesIt) {
    record("窗口_下载选择", EventType::ActivationChanged);
    model.setVisible("窗口_下载选择", true);
    QWidget* panel = view->controlWidget("窗口_下载选择");
    ASSERT_TRUE(waitUntil([&] { return panel->isVisible(); }));
    QTest::mouseClick(view->controlWidget("按钮_下载_高品音质"), Qt::LeftButton);  // inside
    pump(50);
    EXPECT_TRUE(recorded("窗口_下载选择", EventType::ActivationChanged).empty());
    auto* list = widget<ListBoxView>("列表框_搜索");
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
    ASSERT_TRUE(waitUntil([&] { return !recorded("窗口_下载选择", EventType::ActivationChanged).empty(); }));
    EXPECT_EQ(recorded("窗口_下载选择", EventType::ActivationChanged).size(), 1u);
    EXPECT_EQ(recorded("窗口_下载选择", EventType::ActivationChanged)[0].arg, 0);
}

TEST_F(PopupsTest, ClosingReportsWindowCloseAndEndsQuickly) {
    std::vector<int> args;
    events->on("窗口EX1", EventType::WindowClose, [&](const Event& e) {
        args.push_back(e.arg);
        model.playWindowAnimation("窗口EX1", {1000, -14, 34, -300, 70, 1, 1, 0});
    });
    view->close();
    EXPECT_TRUE(view->isVisible());  // fading out first
    ASSERT_TRUE(waitUntil([&] { return !view->isVisible(); }, 1500));
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], 0);
}

}  // namespace
}  // namespace mm::ui::qt::test
