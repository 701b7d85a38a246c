// Model writes reach the widgets; the user's actions come back as events with
// the model already updated.
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <set>

#include "app/controls.h"
#include "platform/ui/qt/picture_box.h"
#include "resources/resources.h"
#include "view_fixture.h"

namespace mm::ui::qt::test {
namespace {

class BindingTest : public ViewFixture {};

TEST_F(BindingTest, EveryDesignedControlHasAWidget) {
    std::set<std::string> timers;
    for (const auto& [name, interval] : model.timers()) timers.insert(name);
    for (const std::string& name : mm::app::MainWindowControlNames()) {
        if (timers.count(name)) continue;
        EXPECT_NE(view->controlWidget(name), nullptr) << name;
    }
}

TEST_F(BindingTest, DesignStateShowsAtStart) {
    EXPECT_EQ(widget<QLineEdit>("编辑框_搜索歌曲名")->text(), QStringLiteral("搜点什么吧..."));
    EXPECT_EQ(widget<QPushButton>("按钮EX1")->text(), QStringLiteral("更改"));
    EXPECT_TRUE(widget<QRadioButton>("单选框_命名1")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>("单选框_命名2")->isChecked());
    // Hidden by design until the program shows them.
    for (const char* hidden : {"窗口_下载选择", "窗口_歌单解析", "图片框_加载动画", "标签EX4", "图片框_网易",
                               "图片框_企鹅", "图片框_酷我", "图片框_酷狗"}) {
        EXPECT_TRUE(view->controlWidget(hidden)->isHidden()) << hidden;
    }
    // The playlist link box holds several lines; the widget shows them without "\r".
    EXPECT_EQ(widget<QPlainTextEdit>("编辑框_歌单_链接")->toPlainText(),
              QStringLiteral("\n请输入完整歌单链接\n\n支持企鹅、网抑云、酷沃歌单"));
    EXPECT_FALSE(widget<QPushButton>("播放栏_播放")->icon().isNull());
    EXPECT_FALSE(widget<PictureBox>("图片框_音乐封面")->pixmap().isNull());
}

TEST_F(BindingTest, WorkerWritesReachWidgets) {
    fromWorker([&] {
        model.setText("播放栏_歌曲名", "缓冲中...");
        model.setVisible("标签EX4", true);
        model.setDisabled("控制_搜索", true);
        model.setChecked("单选框_命名1", false);
        model.setChecked("单选框_命名3", true);
        model.setMaximum("播放栏_进度", 5000);
        model.setPosition("播放栏_进度", 1250);
        model.setSelection("选择夹EX1", 2);
        model.addComboItem("组合框_音源选择", ComboItem{"logo_qq", "QQ音乐", 0xFF9FA4B4, 20});
        model.addComboItem("组合框_音源选择", ComboItem{"logo_netease", "网易云", 0xFF9FA4B4, 20});
        model.setSelection("组合框_音源选择", 1);
        model.setText("标签_下载路径", "/home/user/MorvaneMusic/");
    });
    auto* title = widget<QLabel>("播放栏_歌曲名");
    ASSERT_TRUE(waitUntil([&] { return title->text() == QStringLiteral("缓冲中..."); }));
    EXPECT_FALSE(view->controlWidget("标签EX4")->isHidden());
    EXPECT_FALSE(view->controlWidget("控制_搜索")->isEnabled());
    EXPECT_FALSE(widget<QRadioButton>("单选框_命名1")->isChecked());
    EXPECT_TRUE(widget<QRadioButton>("单选框_命名3")->isChecked());
    auto* progress = widget<QSlider>("播放栏_进度");
    EXPECT_EQ(progress->maximum(), 5000);
    EXPECT_EQ(progress->value(), 1250);
    EXPECT_EQ(widget<QStackedWidget>("选择夹EX1")->currentIndex(), 2);
    auto* combo = widget<QComboBox>("组合框_音源选择");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), QStringLiteral("网易云"));
    EXPECT_FALSE(combo->itemIcon(0).isNull());
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(widget<QLabel>("标签_下载路径")->text(), QStringLiteral("/home/user/MorvaneMusic/"));
}

TEST_F(BindingTest, PicturesAndAngleFollowTheModel) {
    auto* play = widget<QPushButton>("播放栏_播放");
    const qint64 before = play->icon().cacheKey();
    model.setPicture("播放栏_播放", std::string(mm::Resource("pause.png")));
    model.setAngle("图片框_音乐封面", 37);
    ASSERT_TRUE(waitUntil([&] { return play->icon().cacheKey() != before; }));
    EXPECT_EQ(widget<PictureBox>("图片框_音乐封面")->angle(), 37);
    // Bytes that are no picture leave an empty picture, not a crash.
    model.setPicture("图片框_音乐封面", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    ASSERT_TRUE(waitUntil([&] { return widget<PictureBox>("图片框_音乐封面")->pixmap().isNull(); }));
}

TEST_F(BindingTest, TypingWritesTheModelBeforeTheHandlerRuns) {
    std::vector<std::string> seenByHandler;
    events->on("编辑框_搜索歌曲名", EventType::TextChanged, [&](const Event& e) {
        seenByHandler.push_back(model.text("编辑框_搜索歌曲名") + "|" + e.text);
    });
    record("编辑框_搜索歌曲名", EventType::KeyUp);
    record("编辑框_搜索歌曲名", EventType::FocusIn);
    auto* box = widget<QLineEdit>("编辑框_搜索歌曲名");
    // Offscreen windows are not always activated, so focus arrives as the event itself.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(box, &focusIn);
    ASSERT_TRUE(waitUntil([&] { return !recorded("编辑框_搜索歌曲名", EventType::FocusIn).empty(); }));
    box->clear();
    QTest::keyClicks(box, "ab");
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return seenByHandler.size() == 2; }));
    EXPECT_EQ(seenByHandler[1], "ab|ab");
    // The model's own text is not echoed back as an edit.
    model.setText("编辑框_搜索歌曲名", "from the program");
    pump(50);
    EXPECT_EQ(seenByHandler.size(), 2u);
    EXPECT_EQ(box->text(), QStringLiteral("from the program"));
    ASSERT_TRUE(waitUntil([&] {
        for (const Event& e : recorded("编辑框_搜索歌曲名", EventType::KeyUp))
            if (e.arg == 13) return true;
        return false;
    }));
}

TEST_F(BindingTest, ClicksOnButtonsBoxesAndRadiosBecomeEvents) {
    std::vector<std::string> states;
    events->on("选择框_嵌入封面", EventType::Click,
               [&](const Event&) { states.push_back(model.checked("选择框_嵌入封面") ? "on" : "off"); });
    events->on("单选框_命名2", EventType::Click, [&](const Event&) {
        states.push_back(std::string("radios ") + (model.checked("单选框_命名1") ? "1" : "-") +
                         (model.checked("单选框_命名2") ? "2" : "-") +
                         (model.checked("单选框_命名3") ? "3" : "-"));
    });
    record("控制_搜索", EventType::Click);
    record("工具栏_设置", EventType::Click);
    model.setSelection("选择夹EX1", 2);
    pump(30);
    // Click on the box itself: the widget may be wider than its box and caption.
    auto* embed = widget<QCheckBox>("选择框_嵌入封面");
    auto* naming2 = widget<QRadioButton>("单选框_命名2");
    QTest::mouseClick(embed, Qt::LeftButton, {}, QPoint(8, embed->height() / 2));
    QTest::mouseClick(naming2, Qt::LeftButton, {}, QPoint(8, naming2->height() / 2));
    ASSERT_TRUE(waitUntil([&] { return states.size() == 2; }));
    EXPECT_EQ(states[0], "off");  // designed checked, one click unticks it
    EXPECT_EQ(states[1], "radios -2-");
    EXPECT_FALSE(widget<QRadioButton>("单选框_命名1")->isChecked());

    model.setSelection("选择夹EX1", 0);
    pump(30);
    QTest::mouseClick(widget<QPushButton>("控制_搜索"), Qt::LeftButton);
    QTest::mouseClick(view->controlWidget("工具栏_设置"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return recorded("工具栏_设置", EventType::Click).size() == 1; }));
    EXPECT_EQ(recorded("控制_搜索", EventType::Click).size(), 1u);
    // Switching pages is the program's business: the click alone changes nothing.
    EXPECT_EQ(widget<QStackedWidget>("选择夹EX1")->currentIndex(), 0);
}

TEST_F(BindingTest, OnlyTheUsersSliderAndComboChangesAreEvents) {
    std::vector<int> seen;
    events->on("播放栏_音乐音量", EventType::SliderChanged, [&](const Event& e) {
        EXPECT_EQ(model.position("播放栏_音乐音量"), e.arg);
        seen.push_back(e.arg);
    });
    record("组合框_音源选择", EventType::ComboChanged);
    model.setPosition("播放栏_音乐音量", 30);  // the program: no event
    model.addComboItem("组合框_音源选择", ComboItem{"logo_qq", "QQ", 0, 20});
    model.addComboItem("组合框_音源选择", ComboItem{"logo_kuwo", "酷我", 0, 20});
    model.setSelection("组合框_音源选择", 0);
    auto* volume = widget<QSlider>("播放栏_音乐音量");
    ASSERT_TRUE(waitUntil([&] { return volume->value() == 30; }));
    pump(30);
    EXPECT_TRUE(seen.empty());
    volume->triggerAction(QAbstractSlider::SliderPageStepAdd);  // as a click on the groove does
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0], 40);

    auto* combo = widget<QComboBox>("组合框_音源选择");
    ASSERT_TRUE(waitUntil([&] { return combo->count() == 2; }));
    QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_TRUE(waitUntil([&] { return recorded("组合框_音源选择", EventType::ComboChanged).size() == 1; }));
    EXPECT_EQ(recorded("组合框_音源选择", EventType::ComboChanged)[0].arg, 1);
    EXPECT_EQ(model.selection("组合框_音源选择"), 1);
}

TEST_F(BindingTest, ImportPicturesReportClicksAndHover) {
    record("图片框_企鹅", EventType::Click);
    record("图片框_企鹅", EventType::MouseEnter);
    model.setVisible("图片框_企鹅", true);
    auto* qq = widget<PictureBox>("图片框_企鹅");
    ASSERT_TRUE(waitUntil([&] { return qq->isVisible(); }));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), qq->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(qq, &enter);
    QTest::mouseClick(qq, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return recorded("图片框_企鹅", EventType::Click).size() == 1; }));
    EXPECT_EQ(recorded("图片框_企鹅", EventType::MouseEnter).size(), 1u);
}

TEST_F(BindingTest, TimersTickWhileTheirIntervalIsSet) {
    record("时钟_试听播放", EventType::TimerTick);
    model.setInterval("时钟_试听播放", 20);
    ASSERT_TRUE(waitUntil([&] { return recorded("时钟_试听播放", EventType::TimerTick).size() >= 3; }));
    model.setInterval("时钟_试听播放", 0);
    pump(30);
    const std::size_t stopped = recorded("时钟_试听播放", EventType::TimerTick).size();
    pump(120);
    EXPECT_EQ(recorded("时钟_试听播放", EventType::TimerTick).size(), stopped);
}

}  // namespace
}  // namespace mm::ui::qt::test
